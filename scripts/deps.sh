#!/usr/bin/env bash
# Installs the Debian packages the build needs (as root), or prints the exact install line.
# Sourced by run.sh and test.sh.
set -euo pipefail

WAVORY_PACKAGES=(cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6dbus6
    libhivex-dev libhivex-bin libsqlite3-dev nlohmann-json3-dev libcli11-dev
    libgtest-dev libgmock-dev libbenchmark-dev fonts-dejavu-core dbus-daemon
    libnl-genl-3-dev libsystemd-dev libzxing-dev libpng-dev libjpeg-dev)

wavory_missing_packages() {
    local missing=() p
    for p in "${WAVORY_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    echo "${missing[@]:-}"
}

wavory_install_deps() {
    local missing
    missing=$(wavory_missing_packages)
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing missing packages: $missing"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        # shellcheck disable=SC2086
        apt-get install -y -qq --no-install-recommends $missing >/dev/null
    else
        echo "These Debian packages are missing. Install them with:" >&2
        echo "  sudo apt-get install -y $missing" >&2
        exit 1
    fi
}

# Configures and builds into the build folder (reused between runs). WAVORY_TARGETS, when set, names
# the targets to build (the run command builds only the programs); otherwise everything is built.
# One build at a time in a folder: the run command may still be building the command line in the
# background when the test command starts.
wavory_build() {
    local dir=${WAVORY_BUILD_DIR:-build} targets=()
    mkdir -p "$dir"
    (
        flock 9
        cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
        # shellcheck disable=SC2206
        [ -n "${WAVORY_TARGETS:-}" ] && targets=(--target ${WAVORY_TARGETS})
        cmake --build "$dir" -j"${WAVORY_JOBS:-2}" "${targets[@]}"
    ) 9>"$dir/.build-lock"
}
