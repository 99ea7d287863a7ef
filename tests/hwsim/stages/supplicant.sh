# Stage "supplicant": wpa_supplicant runs the station interface, as on a system where it is started
# for the interface (wpa_supplicant@wlan1). The utility makes its changes through the control socket.
#
# What a stage provides (see checks.sh, which runs the same checks in every stage):
#   STAGE_MANAGER      who the adapters list must say runs the station
#   STAGE_RIGHT        what a user without the right to change the adapter must be told to get
#   STAGE_WPA2         "join" when WPA2 networks can be joined, "refuse" when the utility must say no
#   stage_start        make the station interface run by the stage's manager; fails when it cannot
#   stage_stop         undo stage_start
#   stage_drop_link    end the station's link behind the utility's back
#   stage_returned     what the system does when the removed interface is back
#   stage_unblocked    what the system does when the radio is unblocked
#   stage_state        the manager's view of the station, as evidence when a check fails
STAGE_MANAGER=wpa_supplicant
STAGE_RIGHT=netdev
STAGE_WPA2=join
WPAS_CONF=/tmp/wpa_supplicant.conf
WPAS_PID=/run/wpa_supplicant-$STA.pid

wpas_start() {
    mkdir -p /run/wpa_supplicant
    wpa_supplicant -B -i "$STA" -D nl80211 -c "$WPAS_CONF" -P "$WPAS_PID" -f /tmp/wpa_supplicant.log &&
        until_ok 10 test -S "/run/wpa_supplicant/$STA"
}

wpas_running() { [ -f "$WPAS_PID" ] && kill -0 "$(cat "$WPAS_PID")" 2>/dev/null; }

stage_start() {
    # The Debian layout: sockets under /run/wpa_supplicant, owned by the group netdev.
    printf 'ctrl_interface=DIR=/run/wpa_supplicant GROUP=netdev\nupdate_config=0\n' >"$WPAS_CONF"
    : >/tmp/wpa_supplicant.log
    wpas_start
}

stage_stop() {
    if wpas_running; then
        kill "$(cat "$WPAS_PID")"
        until_ok 10 sh -c "! kill -0 $(cat "$WPAS_PID") 2>/dev/null"
    fi
    rm -f "$WPAS_PID"
}

stage_drop_link() { wpa_cli -p /run/wpa_supplicant -i "$STA" disconnect >/dev/null; }

# wpa_supplicant may leave when its interface goes; the service manager starts it again.
stage_returned() {
    wpas_running && return 0
    rm -f "$WPAS_PID"
    wpas_start
}

# wpa_supplicant re-enables its interface when it sees the radio unblocked, but in this guest its
# rfkill watch does not start ("rfkill: Cannot get wiphy information"); the link coming up is what
# it would act on, so bring it up in its place.
stage_unblocked() { ip link set "$STA" up; }

stage_state() {
    echo "--- wpa_supplicant's state"
    wpa_cli -p /run/wpa_supplicant -i "$STA" status
    tail -n 15 /tmp/wpa_supplicant.log
}

# Checks of this stage only, after the common ones (run_checks calls stage_checks when defined).
stage_checks() {
    check_disconnect
    check_hidden_join
}
