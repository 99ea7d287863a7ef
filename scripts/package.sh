#!/usr/bin/env bash
# Builds the utility for /usr and packs it as a Debian package:
# ${WAVORY_BUILD_DIR:-build}/wavory-utility_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh

# Packing needs dpkg-shlibdeps (dpkg-dev) and file besides the build's own packages.
WAVORY_PACKAGES+=(dpkg-dev file)
wavory_install_deps
# Installed under /usr: the library goes into the multiarch folder and the programs need no search
# path to find it.
wavory_build -DCMAKE_INSTALL_PREFIX=/usr
dir=${WAVORY_BUILD_DIR:-build}
rm -f "$dir"/wavory-utility_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/wavory-utility_*.deb)
echo "$deb"
dpkg-deb --field "$deb" Package Version Architecture Installed-Size Depends Recommends
