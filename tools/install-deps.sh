#!/bin/sh
# Installs the Debian 12 packages the build, the tests and the program need,
# asking apt-get only for those that are missing.
set -e
PACKAGES="g++ make cmake pkg-config clang-14 libclang-rt-14-dev
 libgtest-dev libgmock-dev libbenchmark-dev
 libsdl2-dev libcairo2-dev libpixman-1-dev zlib1g-dev libpng-dev libjpeg62-turbo-dev libgif-dev
 libx11-dev libxtst-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core fonts-liberation2 fonts-wqy-microhei
 xdg-utils xvfb"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends $missing
