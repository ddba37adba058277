#!/usr/bin/env bash
# Fuzzes the reply and record decoders with AFL++ for FUZZ_SECONDS (default 120).
set -euo pipefail
./scripts/install-deps.sh afl++
build=build-fuzz
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDLEBOX_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=afl-g++ >/dev/null
cmake --build "$build" -j "$(nproc)" --target reply_fuzz
rm -rf "$build/findings"
AFL_SKIP_CPUFREQ=1 AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES=1 AFL_NO_UI=1 \
  afl-fuzz -i fuzz/corpus -o "$build/findings" -V "${FUZZ_SECONDS:-120}" -- "$build/reply_fuzz" >/dev/null || true
stats="$build/findings/default/fuzzer_stats"
grep -E '^(execs_done|execs_per_sec|corpus_count|saved_crashes|saved_hangs) ' "$stats"
crashes=$(awk '/^saved_crashes/ {print $3}' "$stats")
[ "${crashes:-0}" -eq 0 ] || { echo "fuzz: crashes saved in $build/findings/default/crashes" >&2; exit 1; }
