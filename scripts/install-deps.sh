#!/usr/bin/env bash
# Installs what wendlebox needs from Debian's packages, idempotently:
# apt-get runs only when something is missing, as root or through sudo.
#   install-deps.sh               to build the program
#   install-deps.sh --tests       also to run every test (Chromium, Node.js packages)
#   install-deps.sh PACKAGE...    also these packages
set -euo pipefail

packages=(cmake g++ make git pkg-config libfmt-dev nlohmann-json3-dev libutf8proc-dev nettle-dev libre2-dev libgtest-dev googletest)
with_tests=false
for argument in "$@"; do
  if [ "$argument" = --tests ]; then with_tests=true; else packages+=("$argument"); fi
done
if $with_tests; then
  # The shells and man check what setup installs as a new shell meets it.
  packages+=(chromium firefox-esr openssl iproute2 zsh fish man-db)
  # The extension's tests run on Node.js; install it only where the machine has none.
  command -v node >/dev/null 2>&1 || packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! command -v dpkg-query >/dev/null 2>&1 || ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if ! command -v apt-get >/dev/null 2>&1; then
    echo "install-deps: this script installs Debian packages with apt-get, which this machine lacks." >&2
    echo "install-deps: install these (or your system's equivalents), then run make again: ${missing[*]}" >&2
    exit 1
  fi
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
fi

if $with_tests; then
  folder="$(dirname "$0")/../tests/extension"
  if [ ! -f "$folder/node_modules/.package-lock.json" ] ||
     [ "$folder/package-lock.json" -nt "$folder/node_modules/.package-lock.json" ]; then
    echo "install-deps: installing the extension's test packages"
    npm ci --prefix "$folder" --no-audit --no-fund --loglevel=error
  fi
fi
