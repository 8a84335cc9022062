#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when one is missing.
set -euo pipefail

required=(cmake make g++ pkg-config libgtest-dev libgmock-dev unixodbc-dev tdsodbc qt6-base-dev xvfb xauth)
# clang builds the fuzz targets; the suite runs without them when it is absent.
optional=(clang)

missing_of() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}
mapfile -t missing < <(missing_of "${required[@]}")
mapfile -t missing_optional < <(missing_of "${optional[@]}")
[ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
if [ ${#missing_optional[@]} -gt 0 ]; then
  echo "Installing (optional): ${missing_optional[*]}"
  $SUDO apt-get install -y --no-install-recommends "${missing_optional[@]}" ||
    echo "optional packages not installed; fuzz targets will be skipped"
fi
