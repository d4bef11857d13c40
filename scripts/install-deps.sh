#!/bin/sh
# Installs the Debian packages the build, the tests and the program need,
# and nothing when they are all present already.
set -e
PACKAGES="make cmake g++ qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libqt5charts5-dev libqt5svg5 fonts-wqy-microhei clang libclang-rt-14-dev"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing
