#!/usr/bin/env bash
# Fuzzes every target (replies and records, the bridge, the state files, the
# path gate) with AFL++ for FUZZ_SECONDS each (default 120) and prints each
# one's figures.
set -euo pipefail
./scripts/install-deps.sh afl++
build=build-fuzz
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDLEBOX_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=afl-g++ >/dev/null
failed=0
for target in reply bridge state paths; do
  cmake --build "$build" -j "$(nproc)" --target "${target}_fuzz" >/dev/null
  findings="$build/findings-$target"
  rm -rf "$findings"
  AFL_SKIP_CPUFREQ=1 AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES=1 AFL_NO_UI=1 \
    afl-fuzz -i "fuzz/corpus/$target" -o "$findings" -t 30000 -V "${FUZZ_SECONDS:-120}" -- "$build/${target}_fuzz" \
    >/dev/null || true
  stats="$findings/default/fuzzer_stats"
  echo "fuzz: $target"
  grep -E '^(execs_done|execs_per_sec|corpus_count|saved_crashes|saved_hangs) ' "$stats" | sed 's/^/  /'
  crashes=$(awk '/^saved_crashes/ {print $3}' "$stats")
  hangs=$(awk '/^saved_hangs/ {print $3}' "$stats")
  if [ "${crashes:-0}" -ne 0 ] || [ "${hangs:-0}" -ne 0 ]; then
    echo "fuzz: $target saved crashes or hangs in $findings/default" >&2
    failed=1
  fi
done
exit $failed
