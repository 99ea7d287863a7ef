#!/usr/bin/env bash
# The Debian package as a user meets it: build it, lint it, validate its desktop entry and
# metainfo, install it with apt, use the installed programs and manual page, start the window the
# way the menu does, then purge it and check that nothing of it is left but the user's settings.
# Runs as root (apt); installs its own tools.   tests/package/run.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-${WAVORY_BUILD_DIR:-build}}
started=$(date +%s)
passed=0
failed=0
check() { # name command...
    local name=$1
    shift
    if "$@"; then
        echo "PASS: $name"
        passed=$((passed + 1))
    else
        echo "FAIL: $name"
        failed=$((failed + 1))
    fi
}

[ "$(id -u)" -eq 0 ] || { echo "tests/package/run.sh installs packages: run it as root" >&2; exit 2; }
export DEBIAN_FRONTEND=noninteractive
tools=(lintian desktop-file-utils appstream dpkg-dev file man-db)
missing=$(for p in "${tools[@]}"; do dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || echo "$p"; done)
if [ -n "$missing" ]; then
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# A package left over from an earlier run would hide what this one installs.
if dpkg-query -W -f='${Status}' wavory-utility 2>/dev/null | grep -q "ok installed"; then
    apt-get purge -y -qq wavory-utility >/dev/null
fi

WAVORY_BUILD_DIR=$build ./scripts/package.sh
deb=$(ls "$build"/wavory-utility_*_amd64.deb)
echo "package: $deb, $(stat -c %s "$deb") bytes"

echo "== lintian"
lint=0
lintian --fail-on error "$deb" || lint=$?
check "lintian reports no error" test "$lint" -eq 0

work=$(mktemp -d)
home=$work/home
trap 'rm -rf "$work"; rm -f /dev/shm/wavory-package-check' EXIT
dpkg-deb -x "$deb" "$work/root"
check "desktop entry is valid" desktop-file-validate "$work/root/usr/share/applications/wavory.desktop"
check "metainfo is valid, with its desktop entry and icon" appstreamcli validate-tree --no-net --pedantic "$work/root"
check "nothing setuid or setgid" test -z "$(find "$work/root" -perm /6000)"
check "no polkit rule installed active" test ! -e "$work/root/etc/polkit-1" -a ! -e "$work/root/usr/share/polkit-1"
check "the history's user service runs the installed wavoryctl, and is not enabled" \
    grep -qx "ExecStart=/usr/bin/wavoryctl history --record" "$work/root/usr/lib/systemd/user/wavory-history.service"

echo "== apt-get install"
apt-get install -y -qq "./$deb" >/dev/null
check "installed" dpkg-query -W wavory-utility
version=$(dpkg-deb --field "$deb" Version)
check "wavoryctl --version" grep -qx "wavoryctl (Wavory Utility) $version" <(/usr/bin/wavoryctl --version)
check "wavory --version" grep -qx "Wavory Utility $version" <(/usr/bin/wavory --version)
check "the library in the multiarch folder, found by the loader" \
    grep -qE "libkccl.so.1 => (/usr)?/lib/x86_64-linux-gnu/libkccl.so.1 " <(ldd /usr/bin/wavoryctl)

# The user's programs run on a private settings folder and simulated adapter.
export HOME=$home XDG_CONFIG_HOME=$home/.config WAVORY_SIM=/wavory-package-check
mkdir -p "$home"
check "wavoryctl --adapter sim status" /usr/bin/wavoryctl --adapter sim status
check "a profile stored" /usr/bin/wavoryctl --adapter sim profiles new --name Kept --ssid Harbour
# An earlier version's INI file moves in, read by the installed module (in a folder of its own).
old=$home/earlier
mkdir -p "$old/Wavory"
printf '[General]\nNumOfProfiles=1\n\n[Profile%%200]\nProfName=Earlier\nNetName=Harbour\n' \
    >"$old/Wavory/Wavory Utility.conf"
check "the earlier version's settings move in" \
    grep -q '"Earlier"' <(XDG_CONFIG_HOME=$old /usr/bin/wavoryctl --adapter sim profiles list --json)
check "man wavoryctl" grep -q "wavoryctl - configure and monitor" <(MANWIDTH=80 man wavoryctl 2>/dev/null)
check "bash completion installed" grep -q "complete -F _wavoryctl wavoryctl" \
    /usr/share/bash-completion/completions/wavoryctl

# The menu starts the desktop entry's Exec line: the window comes up and stays until it is closed.
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/wavory.desktop)
QT_QPA_PLATFORM=offscreen WAVORY_ADAPTER=sim $exec_line >"$work/window.log" 2>&1 &
window=$!
sleep 4
running=no
kill -0 "$window" 2>/dev/null && running=yes
kill -TERM "$window" 2>/dev/null || true
window_rc=0
wait "$window" || window_rc=$?
check "the menu's command opens the window" test "$running" = yes
check "and it closes cleanly" test "$window_rc" -eq 0
[ "$running" = yes ] && [ "$window_rc" -eq 0 ] || cat "$work/window.log"
settings_before=$(sha256sum "$XDG_CONFIG_HOME/Wavory/settings.db")

echo "== apt-get purge"
files=$(dpkg -L wavory-utility)
apt-get purge -y -qq wavory-utility >/dev/null
check "purged" test -z "$(dpkg-query -W -f='${Status}' wavory-utility 2>/dev/null | grep -v not-installed)"
left=""
while IFS= read -r path; do
    [ "$path" = "/." ] && continue
    if [ -d "$path" ] && [ ! -L "$path" ]; then
        # A folder may stay when another package owns it too.
        dpkg -S "$path" >/dev/null 2>&1 || left+="$path "
    elif [ -e "$path" ] || [ -L "$path" ]; then
        left+="$path "
    fi
done <<<"$files"
[ -z "$left" ] || echo "left behind: $left"
check "nothing of the package left" test -z "$left"
check "the loader forgot the library" test -z "$(ldconfig -p | grep libkccl || true)"
check "the user's settings are left alone" test "$settings_before" = "$(sha256sum "$XDG_CONFIG_HOME/Wavory/settings.db")"

echo "package stage: $(($(date +%s) - started)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
