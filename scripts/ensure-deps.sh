#!/usr/bin/env bash
# Makes sure the Debian packages that the build, the tests and the demo need
# are installed: installs the missing ones when run as root, otherwise names
# them and fails.
set -euo pipefail

packages=(cmake ninja-build g++ clang-14 libclang-rt-14-dev libsqlite3-dev libxml2-dev
          libxml2-utils libgtest-dev libgmock-dev libbenchmark-dev binutils time bc)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
else
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
