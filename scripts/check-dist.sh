#!/usr/bin/env bash
# Checks that the release archive holds the executable and the extension
# side by side, and that the packed executable runs.
set -euo pipefail
archive=$(ls wendlebox-*-linux-*.tar.gz | head -n 1)
listing=$(tar -tzf "$archive")
top=${archive%.tar.gz}
for entry in "$top/wendlebox" "$top/extension/manifest.json" "$top/extension/content.js" "$top/extension/background.js" "$top/extension-firefox/manifest.json" "$top/README.md" "$top/LICENSE" "$top/wendlebox.1" "$top/completion/wendlebox.bash"; do
  grep -qx "$entry" <<<"$listing" || { echo "check-dist: $entry missing from $archive" >&2; exit 1; }
done
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
tar -C "$unpacked" -xzf "$archive"
"$unpacked/$top/wendlebox" --help >/dev/null
# The browser loads the extension's scripts as the build joined them: no module import is left.
if grep -l '^import ' "$unpacked/$top"/extension/*.js "$unpacked/$top"/extension-firefox/*.js; then
  echo "check-dist: the extension's scripts in $archive are not joined" >&2; exit 1
fi
echo "check-dist: $archive is complete"
