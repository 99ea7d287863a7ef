#!/usr/bin/env bash
# Time from a clean clone to the window on screen, as a newcomer gets it: the README's run command
# (packages, configure, build of the programs, start), then the window mapped on a private X server.
# With --remove-packages (root only) the build's packages that a fresh Debian image lacks are
# removed first, so that their install is timed too. Needs Xvfb and xdotool.
# usage: bench/build/fresh.sh [--remove-packages] [REPO]
set -euo pipefail
remove=0
[ "${1:-}" = "--remove-packages" ] && { remove=1; shift; }
repo=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
for tool in Xvfb xdotool git; do
    command -v "$tool" >/dev/null || { echo "fresh.sh: $tool is missing (apt-get install xvfb xdotool git)" >&2; exit 2; }
done

work=$(mktemp -d)
display=":$((120 + $$ % 100))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -f "/dev/shm/wavory-fresh-$$"
    rm -rf "$work"
}
trap cleanup EXIT

if [ "$remove" -eq 1 ]; then
    [ "$(id -u)" -eq 0 ] || { echo "fresh.sh: --remove-packages needs root" >&2; exit 2; }
    fresh_list=$repo/../shared/testdata/fresh-image-packages.txt
    # shellcheck disable=SC1091
    pkgs=$(bash -c ". '$repo/scripts/deps.sh' >/dev/null; echo \"\${WAVORY_PACKAGES[@]}\"")
    gone=()
    for p in $pkgs; do
        if [ -f "$fresh_list" ] && grep -qx "$p" "$fresh_list"; then continue; fi
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" && gone+=("$p")
    done
    if [ ${#gone[@]} -gt 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq "${gone[@]}" >/dev/null
        DEBIAN_FRONTEND=noninteractive apt-get autoremove -y -qq >/dev/null
    fi
fi

git clone -q --no-hardlinks "$repo" "$work/clone"
cd "$work/clone"
export DISPLAY=$display QT_XCB_GL_INTEGRATION=none WAVORY_ADAPTER=sim WAVORY_SIM=/wavory-fresh-$$
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# No compiler cache: a newcomer has none.
unset CMAKE_CXX_COMPILER_LAUNCHER CMAKE_C_COMPILER_LAUNCHER

start=$(date +%s.%N)
./scripts/run.sh > "$work/run.log" 2>&1 &
app=$!
mapped=""
while kill -0 "$app" 2>/dev/null; do
    if xdotool search --onlyvisible --class wavory >/dev/null 2>&1; then
        mapped=$(date +%s.%N)
        break
    fi
    sleep 0.2
done
if [ -z "$mapped" ]; then
    echo "fresh.sh: the window never showed; the run command said:" >&2
    tail -20 "$work/run.log" >&2
    exit 1
fi
built=$(stat -c %Y build/bin/wavory)
printf 'clone to window: %.0f s (until the program was linked: %.0f s)\n' \
    "$(echo "$mapped - $start" | bc)" "$(echo "$built - ${start%.*}" | bc)"
# The command line is built behind the window: wait for it, so that nothing builds in a removed folder.
for _ in $(seq 1800); do
    [ -x build/bin/wavoryctl ] && [ -x build/bin/wavory-sim ] && flock -n build/.build-lock true && break
    sleep 0.5
done
printf 'clone to every program built: %.0f s\n' "$(echo "$(date +%s.%N) - $start" | bc)"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg), cores: $(nproc)"
