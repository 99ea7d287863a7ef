#!/usr/bin/env bash
# Builds the utility and starts it on the simulated adapter.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
wavory_install_deps
# Only the programs and what they load; the test command builds the tests and benchmarks.
dir=${WAVORY_BUILD_DIR:-build}
bin=$dir/bin
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; then
    # The window first; the command line and the simulated adapter's tool are built after it, at
    # low priority, while the window runs (their output in build/build-programs.log).
    WAVORY_TARGETS="wavory wavory_ini" wavory_build
    if [ -x "$bin/wavory" ]; then
        nohup nice -n 19 bash -c '. scripts/deps.sh && WAVORY_TARGETS="wavoryctl wavory-sim" wavory_build' \
            >"$dir/build-programs.log" 2>&1 </dev/null &
        exec "$bin/wavory" "$@"
    fi
fi
WAVORY_TARGETS="wavory wavoryctl wavory-sim wavory_ini" wavory_build
if [ -x "$bin/wavory" ]; then
    echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset), so the window cannot open."
    echo "Run it on a desktop session, or with: xvfb-run ./scripts/run.sh (Debian package xvfb)"
else
    echo "The window is not built in $bin."
fi
echo "Here is the adapter's status from the command line ($bin/wavoryctl --help for more):"
echo
exec "$bin/wavoryctl" status
