#!/bin/bash
# Installs the Debian 12 packages that building, testing and the demo need; only those missing.
set -euo pipefail
packages=(build-essential cmake pkg-config libnetcdf-dev netcdf-bin libcli11-dev libfmt-dev
          libgtest-dev libgmock-dev grads time)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
