#!/usr/bin/env bash
# Checks the Debian package: lintian, down to its informational tags, finds
# nothing, and the program runs from the unpacked tree.
set -euo pipefail
build=${1:-build}
package=$(ls "$build"/wendlebox_*.deb | head -n 1)
report=$(lintian -I --tag-display-limit 0 "$package" 2>&1 | grep -E '^[EWIPX]: ' || true)
if [ -n "$report" ]; then
  echo "check-deb: lintian reports:" >&2
  echo "$report" >&2
  exit 1
fi
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$package" "$unpacked"
test -f "$unpacked/usr/share/wendlebox/extension/manifest.json"
test -f "$unpacked/usr/share/man/man1/wendlebox.1.gz"
test -f "$unpacked/usr/share/wendlebox/extension-firefox/manifest.json"
ls "$unpacked"/usr/share/wendlebox/wendlebox-*.xpi >/dev/null
test -f "$unpacked/usr/share/bash-completion/completions/wendlebox"
test -f "$unpacked/usr/share/doc/wendlebox/copyright"
# doctor fails on a machine without a browser opener; what it says still counts.
report=$(HOME="$unpacked" "$unpacked/usr/bin/wendlebox" doctor || true)
grep -q "Extension folder: $unpacked/usr/share/wendlebox/extension" <<<"$report"
echo "check-deb: $package has no lintian report, and its program runs"
