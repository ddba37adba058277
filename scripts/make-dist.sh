#!/usr/bin/env bash
# Packs the release archive a user downloads: the executable and the
# browser extension side by side, so `./wendlebox setup` finds both.
set -euo pipefail
build=${1:-build}
version=$(sed -n 's/^project(wendlebox VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name="wendlebox-${version}-linux-$(uname -m)"
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
mkdir -p "$staging/$name"
cp "$build/wendlebox" "$staging/$name/wendlebox"
strip "$staging/$name/wendlebox" 2>/dev/null || true
cp -R "$build/extension" "$staging/$name/extension"
cp -R packaging/completion "$staging/$name/completion"
cp -R "$build/extension-firefox" "$staging/$name/extension-firefox"
cp "$build"/wendlebox-*.xpi "$staging/$name/"
cp "$build/wendlebox.1" "$staging/$name/wendlebox.1"
cp README.md "$staging/$name/README.md"
cp LICENSE "$staging/$name/LICENSE"
tar -C "$staging" -czf "$name.tar.gz" "$name"
echo "$name.tar.gz"
