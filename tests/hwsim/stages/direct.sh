# Stage "direct": nobody runs the station interface; it is up, and the utility (running as root)
# drives it through nl80211 itself. WPA2 needs a supplicant, which is not there: the utility must say
# so rather than pretend. The interface of hooks is described in supplicant.sh.
STAGE_MANAGER=nobody
STAGE_RIGHT=CAP_NET_ADMIN
STAGE_WPA2=refuse
# The reads are the kernel's whoever runs the interface: the supplicant stage's benchmark measures
# them already.
STAGE_SKIP="check_bench"

stage_start() {
    ip link set "$STA" down
    iw dev "$STA" set type managed
    ip link set "$STA" up
}

stage_stop() {
    iw dev "$STA" disconnect 2>/dev/null
    iw dev "$STA" ibss leave 2>/dev/null
    return 0
}

stage_drop_link() {
    iw dev "$STA" disconnect 2>/dev/null
    iw dev "$STA" ibss leave 2>/dev/null
    return 0
}

# A returned interface comes back down; the system brings it up, as hotplug does.
stage_returned() { ip link set "$STA" up; }

# Nobody brings an unblocked radio's interface up: the utility must, when asked to join.
stage_unblocked() { :; }

stage_state() {
    echo "--- the interface"
    ip link show "$STA"
    iw dev "$STA" info
}

# Checks of this stage only, after the common ones: no access point daemon runs here; the access
# point choice through the kernel itself.
stage_checks() {
    check_hotspot_refused "no access point daemon"
    check_band_choice
}
