# The two commands a fresh machine needs: `make setup` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
# The project's own builds link the two small libraries statically (a
# faster start); a distribution's build leaves WENDLEBOX_STATIC_LIBS off.
CONFIGURE = -DWENDLEBOX_STATIC_LIBS=ON

.PHONY: deps test-deps build test test-sanitize setup bench dist deb fuzz clean

deps:
	./scripts/install-deps.sh

test-deps:
	./scripts/install-deps.sh --tests

$(BUILD)/Makefile: CMakeLists.txt
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDLEBOX_WERROR=ON $(CONFIGURE)

build: deps $(BUILD)/Makefile
	cmake -S . -B $(BUILD) -DWENDLEBOX_WERROR=ON $(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS)

test: test-deps build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure

# Every test against a build with the address and undefined-behaviour sanitizers.
test-sanitize: test-deps
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DWENDLEBOX_SANITIZE=ON -DWENDLEBOX_WERROR=ON
	cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && ctest -j $(JOBS) --output-on-failure

# Only the program and its extension, and warnings only warn: a user's
# compiler may be newer than the one the project is built with.
setup: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDLEBOX_WERROR=OFF $(CONFIGURE)
	cmake --build $(BUILD) -j $(JOBS) --target wendlebox extension completion manual
	$(BUILD)/wendlebox setup

bench: test-deps build
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	./scripts/run-benchmarks.sh $(BUILD)

dist: build
	./scripts/make-dist.sh $(BUILD)
	./scripts/check-dist.sh

# A Debian package, checked with lintian and by running doctor from it.
deb: build
	./scripts/install-deps.sh lintian
	cd $(BUILD) && cpack -G DEB
	./scripts/check-deb.sh $(BUILD)

fuzz:
	./scripts/fuzz.sh

clean:
	rm -rf $(BUILD) build-sanitize build-fuzz
