#!/usr/bin/env bash
# Installs the Debian packages needed to build and test wendlebox.
# Idempotent: apt-get runs only when something is missing.
set -euo pipefail

packages=(cmake g++ make git pkg-config libfmt-dev nlohmann-json3-dev libutf8proc-dev libgtest-dev googletest "$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "install-deps: missing packages (${missing[*]}) and no root or sudo to install them" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
