#!/usr/bin/env bash
# Checks the Debian package: lintian finds no error but the missing licence
# (none has been chosen yet), and the program runs from the unpacked tree.
set -euo pipefail
build=${1:-build}
package=$(ls "$build"/wendlebox_*.deb | head -n 1)
errors=$(lintian --no-tag-display-limit "$package" 2>&1 | grep '^E:' | grep -v -E 'copyright' || true)
if [ -n "$errors" ]; then
  echo "check-deb: lintian reports errors:" >&2
  echo "$errors" >&2
  exit 1
fi
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$package" "$unpacked"
test -f "$unpacked/usr/share/wendlebox/extension/manifest.json"
HOME="$unpacked" "$unpacked/usr/bin/wendlebox" doctor | grep -q "Extension folder: $unpacked/usr/share/wendlebox/extension"
echo "check-deb: $package is clean and its program runs"
