#!/usr/bin/env bash
# The window's start (time to map, CPU until then, RSS) and idle cost (wake-ups, CPU share) on a
# private X server without GL, joined to a simulated network with traffic, General page shown;
# then the same for wpa_gui where Debian's wpagui is installed (it is the peer; it runs without a
# wpa_supplicant here). Each also idles once started hidden in the notification area (wavory
# --tray, wpa_gui -t), which a stand-in owner of the tray selection provides.
# Needs Xvfb (Debian package xvfb).
# usage: bench/window/compare.sh [BUILD_DIR] [RUNS] [IDLE_SECONDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
runs=${2:-11}
secs=${3:-20}
command -v Xvfb >/dev/null || { echo "compare.sh: Xvfb is missing (apt-get install xvfb)" >&2; exit 2; }

work=$(mktemp -d)
display=":$((90 + $$ % 100))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    rm -f "/dev/shm$WAVORY_SIM"
    rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY=$display WAVORY_ADAPTER=sim WAVORY_SIM=/wavory-compare-$$ XDG_CONFIG_HOME=$work
export QT_XCB_GL_INTEGRATION=none
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# Joined to an open network with traffic, as the window finds it at start.
"$build/bin/wavory-sim" reset >/dev/null
"$build/bin/wavoryctl" connect --ssid Boatyard >/dev/null

echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== wavory"
python3 "$here/window_costs.py" start --runs "$runs" -- "$build/bin/wavory" | tail -1
python3 "$here/window_costs.py" idle --secs "$secs" -- "$build/bin/wavory"
echo -n "hidden "
python3 "$here/window_costs.py" idle --secs "$secs" --tray 1 -- "$build/bin/wavory" --tray
if command -v wpa_gui >/dev/null; then
    echo "== wpa_gui"
    python3 "$here/window_costs.py" start --runs "$runs" -- wpa_gui | tail -1
    python3 "$here/window_costs.py" idle --secs "$secs" -- wpa_gui
    echo -n "hidden "
    python3 "$here/window_costs.py" idle --secs "$secs" --tray 1 -- wpa_gui -t
fi
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
