#!/usr/bin/env bash
# Runs every benchmark of the build folder given as $1 and prints its figures.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)  # absolute: the extension bench runs the program from other folders
"$build/startup_bench"
"$build/bridge_bench"
"$build/run_output_bench"
"$build/turn_bench"
"$build/reply_bench"
"$build/undo_bench"
"$build/search_bench"
"$build/edit_bench"
"$build/change_view_bench"
# The extension in headless Chromium, with the script playing the program.
WENDLEBOX_BUILD_DIR="$build" node "$(dirname "$0")/../bench/extension_bench.mjs"
