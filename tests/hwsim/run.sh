#!/usr/bin/env bash
# The hardware stage: the utility's own programs against virtual radios.
#
# Builds a small guest (the distribution's kernel, mac80211_hwsim radios, hostapd access points and an
# ad-hoc peer in a network namespace, the project's programs), boots it headless under QEMU's software
# emulation and runs the checks of tests/hwsim/checks.sh inside it, once per stage: first with
# wpa_supplicant running the station interface, then with nobody running it (direct control), then
# with NetworkManager running it, then with iwd running it.
#
# Usage: tests/hwsim/run.sh [BUILD_DIR]          (default: build)
# Environment:
#   HWSIM_STAGES   stages to run, in order (default: supplicant,direct,nm,iwd; see tests/hwsim/stages/)
#   HWSIM_BENCH    0 leaves the benchmark out (default 1)
#   HWSIM_ONLY     check functions to run instead of all (comma-separated, e.g. stage_checks), for
#                  working on them
#   HWSIM_OUT      where the image and the console log go (default: BUILD_DIR-hwsim beside the build folder, so the
#                  build folder holds only what the build made)
#   HWSIM_TIMEOUT  seconds the guest may run (default 1800; a loaded machine slows the emulation)
#   HWSIM_MEMORY   guest memory (default 768M)
# Every check prints one PASS or FAIL line; the run ends with "N passed, M failed" and exits 1 when a
# check failed or the guest did not finish.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
REPO=$(cd "$HERE/../.." && pwd)
BUILD=$(cd "${1:-$REPO/build}" 2>/dev/null && pwd) || { echo "hwsim: no build folder ${1:-$REPO/build}" >&2; exit 1; }
OUT=${HWSIM_OUT:-$BUILD-hwsim}
STAGES=${HWSIM_STAGES:-supplicant,direct,nm,iwd}
TIMEOUT=${HWSIM_TIMEOUT:-1800}
started=$(date +%s)

# What the host needs to build and boot the guest. These serve this stage only; the build does not
# need them.
HWSIM_PACKAGES=(qemu-system-x86 linux-image-amd64 busybox-static hostapd iw wpasupplicant
    wireless-regdb kmod cpio gzip jq network-manager dbus-daemon udev openssl iwd dnsmasq-base nftables)

install_packages() {
    local missing=() p
    for p in "${HWSIM_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local line="apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "hwsim: these Debian packages are missing. Install them with:" >&2
        echo "  sudo $line" >&2
        exit 1
    fi
    echo "hwsim: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get -o DPkg::Lock::Timeout=600 update -qq
    # shellcheck disable=SC2086
    $line -qq >/dev/null
}

install_packages

# The programs the guest runs, up to date with the sources. A build without benchmarks leaves
# bench_adapter out, and its check then fails.
targets=(wavoryctl hwsim_probe)
cmake --build "$BUILD" --target help | grep -qw bench_adapter && targets+=(bench_adapter)
cmake --build "$BUILD" -j"${WAVORY_JOBS:-2}" --target "${targets[@]}" >/dev/null

HWSIM_OUT=$OUT HWSIM_STAGES=$STAGES "$HERE/image.sh" "$BUILD"

# Software emulation: /dev/kvm on these machines is nested (kvm_pvm) and a stock kernel hangs in it.
append="console=ttyS0 quiet panic=-1 hwsim.stages=$STAGES hwsim.bench=${HWSIM_BENCH:-1}"
[ -n "${HWSIM_ONLY:-}" ] && append="$append hwsim.only=$HWSIM_ONLY"
log=$OUT/console.log
echo "hwsim: booting the guest (stages $STAGES; console in $log)"
set +e
timeout "$TIMEOUT" qemu-system-x86_64 -accel tcg -cpu max -m "${HWSIM_MEMORY:-768M}" -smp 2 \
    -nographic -nic none -no-reboot \
    -kernel "$OUT/vmlinuz" -initrd "$OUT/initramfs.cpio.gz" -append "$append" </dev/null |
    sed -u 's/\r//g' | tee "$log"
qemu_rc=${PIPESTATUS[0]}
set -e

# The verdict comes from the console: every check's line, and the guest's end marker.
passed=$(grep -c '^PASS ' "$log" || true)
failed=$(grep -c '^FAIL ' "$log" || true)
echo
echo "== hardware stage summary"
grep -E '^(PASS|FAIL) ' "$log" || true
if ! grep -q '^HWSIM-END$' "$log"; then
    if [ "$qemu_rc" -eq 124 ]; then
        echo "FAIL guest: did not finish within $TIMEOUT s"
    else
        echo "FAIL guest: ended before its last check (qemu exit $qemu_rc)"
    fi
    failed=$((failed + 1))
fi
if grep -q '^BM_' "$log"; then
    echo "== benchmark in the guest"
    grep -E '^(--- bench|BM_|adapter:)' "$log"
fi
echo "hwsim: took $(($(date +%s) - started)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
