# Stage "nm": NetworkManager runs the station interface, as on a desktop. The utility makes its
# changes through NetworkManager's D-Bus API; the hooks are described in supplicant.sh. A user other
# than root is refused by NetworkManager's authorisation ("root-only" in the guest).
STAGE_MANAGER=NetworkManager
STAGE_RIGHT=network-control
STAGE_WPA2=join
# Reads go to the kernel whoever runs the interface, and the other stages check them (traffic, the
# benchmark, rfkill, the interface going away); this stage checks what goes through NetworkManager.
STAGE_SKIP="check_adapter_choice check_traffic check_bench check_rfkill check_removed_and_returned"
export PATH=/bin:/sbin:/usr/bin:/usr/sbin:/lib/systemd
export PAGER=cat TERM=dumb
# The library names NetworkManager's answers on standard error: evidence when a check fails.
export WAVORY_KCCL_TRACE=1

# NetworkManager runs the station: nmcli sees it, and its state file says it manages it.
nm_runs_sta() {
    nmcli -t -f DEVICE,STATE device 2>/dev/null | grep -Eq "^$STA:(disconnected|connected|connecting)" &&
        grep -qx 'managed=true' "/run/NetworkManager/devices/$(cat "/sys/class/net/$STA/ifindex")" 2>/dev/null
}

stage_start() {
    mkdir -p /run/dbus /run/udev /run/NetworkManager /run/wpa_supplicant /var/lib/NetworkManager
    dbus-daemon --system --fork --nopidfile --nosyslog || return 1
    until_ok 10 test -S /run/dbus/system_bus_socket || return 1
    systemd-udevd --daemon >/tmp/udevd.log 2>&1 || return 1
    udevadm trigger --action=add --type=subsystems
    udevadm trigger --action=add --type=devices
    udevadm settle --timeout=30
    # As Debian starts it for NetworkManager: D-Bus control, and control sockets for netdev.
    # (Debian adds -s, the system log, which this guest does not have: its log goes to a file.)
    wpa_supplicant -u -O "DIR=/run/wpa_supplicant GROUP=netdev" >/tmp/wpa_supplicant.log 2>&1 &
    # DHCP on the access points' side: NetworkManager's connections ask for addresses.
    local x i n
    for x in "$OPEN_IF:$OPEN_NET" "$WEP64_IF:$WEP64_NET" "$SHARED_IF:$SHARED_NET" "$WPA2_IF:$WPA2_NET" \
        "$FIVE_IF:$FIVE_NET" "$SIX_IF:$SIX_NET" "$CORP_IF:$CORP_NET"; do
        i=${x%%:*}
        n=${x#*:}
        printf 'start %s.100\nend %s.110\ninterface %s\nlease_file /tmp/udhcpd-%s.leases\npidfile /tmp/udhcpd-%s.pid\noption subnet 255.255.255.0\noption lease 600\n' \
            "$n" "$n" "$i" "$i" "$i" >"/tmp/udhcpd-$i.conf"
        : >"/tmp/udhcpd-$i.leases"
        ap udhcpd -f "/tmp/udhcpd-$i.conf" >"/tmp/udhcpd-$i.log" 2>&1 &
    done
    NetworkManager --no-daemon --debug --log-level=INFO >/tmp/nm.log 2>&1 &
    NM_PID=$!
    if ! until_ok 40 nm_runs_sta; then
        nmcli device
        tail -n 30 /tmp/nm.log
        return 1
    fi
}

stage_stop() {
    [ -n "$NM_PID" ] && kill "$NM_PID" 2>/dev/null && until_ok 10 sh -c "! kill -0 $NM_PID 2>/dev/null"
    killall wpa_supplicant udhcpd systemd-udevd dbus-daemon 2>/dev/null
    ap killall udhcpd 2>/dev/null
    return 0
}

stage_drop_link() { nmcli device disconnect "$STA" >/dev/null; }

# The interface is back: udev announces it and NetworkManager takes it again.
stage_returned() {
    udevadm settle --timeout=10
    until_ok 30 nm_runs_sta
}

# Checks of this stage only, after the common ones (run_checks calls stage_checks when defined).
stage_checks() {
    local left
    check_band_choice
    begin "NetworkManager: at most the utility's one connection is in its settings, and no file"
    run nmcli -t -f NAME,UUID,TYPE,DEVICE connection show
    left=$(nmcli -t -f NAME connection show | grep -c '^Wavory Utility$')
    if [ "$left" -gt 1 ]; then
        bad "$left connections named \"Wavory Utility\""
    elif [ -n "$(ls -A /etc/NetworkManager/system-connections)" ]; then
        run ls -l /etc/NetworkManager/system-connections
        bad "a connection was written to /etc/NetworkManager/system-connections"
    else
        good
    fi

    begin "NetworkManager: disconnected, status says so and its settings keep no connection"
    join_open || say "(could not join $OPEN_SSID first; going on)"
    if ! ctl disconnect; then
        bad "disconnect failed (exit $CTL_RC): $(ctl_message)"
    elif ! until_ok 10 sh -c "! iw dev $STA link | grep -q 'Connected to'"; then
        run iw dev "$STA" link
        bad "the station is still associated"
    elif ! ctl status || ! jt '.connected == false'; then
        bad "status does not say disconnected"
    elif ! until_ok 10 sh -c "! nmcli -t -f NAME connection show | grep -q '^Wavory Utility$'"; then
        run nmcli -t -f NAME,UUID,DEVICE connection show
        bad "a connection of the utility is left in NetworkManager's settings"
    else
        good
    fi
    check_user_drop
    user_connection_checks
    stack_checks
    check_hotspot_nm
    check_hotspot_kept
}

# The user ends the connection from the desktop (nmcli here): the kernel says only that this machine
# ended it; NetworkManager's reason names the user, and the history says so.
check_user_drop() {
    local rec t0 why
    begin "NetworkManager: a disconnect from the desktop is recorded as the user's"
    if ! join_open; then
        bad "could not join $OPEN_SSID first"
        return
    fi
    wavoryctl history --record >/tmp/record-drop.out 2>&1 &
    rec=$!
    sleep 3
    t0=$(($(date +%s) * 1000 - 1000))
    run nmcli device disconnect "$STA"
    until_ok 20 sh -c "wavoryctl history --json --since 1m --network '$OPEN_SSID' |
        jq -e --argjson t0 $t0 '[.events[] | select(.kind == \"disconnect\" and .time_ms >= \$t0)] | length > 0'"
    kill -TERM "$rec" 2>/dev/null
    wait "$rec"
    # nmcli's disconnect also keeps the device from connecting by itself: the user's own
    # connection must come up again in the checks that follow.
    run nmcli device set "$STA" autoconnect yes
    ctl history --since 1m --network "$OPEN_SSID"
    why=$(jwhy --argjson t0 "$t0" '
        [.events[] | select(.kind == "disconnect" and .time_ms >= $t0)] as $d |
        if ($d | length) == 0 then "no disconnect recorded"
        elif $d[-1].initiator != "user" then "the disconnect is by \($d[-1].initiator), not the user"
        else "ok" end')
    verdict "$why"
}

# Networks carried between NetworkManager and the utility: the user's connections read over D-Bus,
# and a profile handed to NetworkManager with --install, then activated by nmcli.
stack_checks() {
    local dir=/etc/NetworkManager/system-connections
    begin "NetworkManager: the user's connections are imported over D-Bus, with their passphrase"
    # The user's connection is made as NetworkManager keeps it (its secret never on a command line).
    printf '[connection]\nid=UserWPA2\ntype=wifi\nautoconnect=false\n\n[wifi]\nssid=%s\n\n[wifi-security]\nkey-mgmt=wpa-psk\npsk=%s\n\n[ipv4]\nmethod=auto\n' \
        "$WPA2_SSID" "$WPA2_PASSPHRASE" >"$dir/UserWPA2.nmconnection"
    chmod 600 "$dir/UserWPA2.nmconnection"
    run nmcli connection load "$dir/UserWPA2.nmconnection"
    if ! ctl profiles import --from networkmanager; then
        bad "import failed (exit $CTL_RC): $(ctl_message)"
    elif ! jt '.networks[] | select(.network == "UserWPA2") | .profile == "UserWPA2"'; then
        bad "UserWPA2 was not imported: $(jv '.networks')"
    elif ! ctl profiles show UserWPA2 --show-keys; then
        bad "profiles show failed (exit $CTL_RC): $(ctl_message)"
    else
        verdict "$(jwhy --arg s "$WPA2_SSID" --arg p "$WPA2_PASSPHRASE" \
            'if .ssid != $s then "the SSID is \(.ssid)" elif .passphrase != $p then "the passphrase did not come along"
             else "ok" end')"
    fi

    begin "NetworkManager: a profile exported with --install is activated by nmcli"
    nmcli connection delete UserWPA2 >/dev/null 2>&1
    if ! ctl profiles export --to networkmanager --install UserWPA2; then
        bad "export --install failed (exit $CTL_RC): $(ctl_message)"
    elif ! jt '.installed | length == 1'; then
        bad "nothing was installed: $(jv '.skipped')"
    elif ! run nmcli connection up UserWPA2 ifname "$STA" || ! until_ok 30 sta_on "$WPA2_BSSID"; then
        stage_state >>"$EVIDENCE" 2>&1
        bad "nmcli did not bring the installed connection up on $WPA2_SSID"
    elif ctl profiles export --to networkmanager --install UserWPA2; then
        bad "a second install of the same name was not refused"
    elif [ "$CTL_RC" -ne 1 ]; then
        bad "a second install of the same name: exit $CTL_RC, not 1"
    elif ! grep -q -- '--force' "$CTL_ERR"; then
        bad "a second install of the same name does not say --force replaces it: $(ctl_message)"
    else
        good
    fi
    nmcli connection down UserWPA2 >/dev/null 2>&1
    nmcli connection delete UserWPA2 >/dev/null 2>&1
    rm -f "$dir"/*.nmconnection
    ctl profiles rm UserWPA2 >/dev/null 2>&1
}

# The user's own connection, an autoconnect one, beside the utility's; and a secret agent of the
# user's (as the desktop has one) that must never be asked on the utility's behalf.
user_active() { nmcli -t -f NAME connection show --active | grep -qx UserOpen; }

user_connection_checks() {
    local agent asked
    begin "NetworkManager: a test secret agent of the user's is registered"
    : >/tmp/agent.log
    hwsim_probe agent /tmp/agent.log 2>>/tmp/agent.log &
    agent=$!
    if until_ok 10 grep -q '^registered' /tmp/agent.log; then good; else bad "the agent did not register"; fi

    begin "NetworkManager: the user's own connection comes up by itself"
    run nmcli connection add type wifi ifname "$STA" con-name UserOpen ssid "$OPEN_SSID" autoconnect yes
    if until_ok 60 user_active && until_ok 20 sta_on "$OPEN_BSSID"; then
        good
    else
        stage_state >>"$EVIDENCE" 2>&1
        bad "UserOpen did not come up on $OPEN_SSID"
    fi

    begin "NetworkManager: a wrong passphrase is refused within 15 s, no agent asked, the user's connection back"
    probe --ssid "$WPA2_SSID" --passphrase wrong-passphrase-nm
    asked=$(grep -c '^GetSecrets' /tmp/agent.log)
    run cat /tmp/agent.log
    if [ "$asked" -ne 0 ]; then
        bad "the user's secret agent was asked $asked times"
    elif ! until_ok 20 user_active; then
        stage_state >>"$EVIDENCE" 2>&1
        bad "the user's connection is not active again"
    else
        verdict "$(jwhy 'if .state != "failed" or .cause != "wrong_key" then "the attempt ended \(.state) (\(.cause))"
            elif .seconds > 15 then "the refusal took \(.seconds) s"
            elif .restored != true then "the attempt does not say it restored the user'"'"'s connection"
            else "ok" end')"
    fi

    begin "NetworkManager: disconnect ends the utility's connection, and autoconnect brings the user's back"
    if ! ctl connect --ssid "$WEP64_SSID" --key "$WEP64_KEY" || ! until_ok 30 sta_on "$WEP64_BSSID"; then
        stage_state >>"$EVIDENCE" 2>&1
        bad "could not join $WEP64_SSID first"
    elif ! ctl disconnect; then
        bad "disconnect failed (exit $CTL_RC): $(ctl_message)"
    elif ! until_ok 60 user_active || ! until_ok 20 sta_on "$OPEN_BSSID"; then
        stage_state >>"$EVIDENCE" 2>&1
        bad "NetworkManager did not bring the user's connection back"
    else
        good
    fi

    begin "NetworkManager: disconnect leaves the user's own connection alone, and says how to end it"
    ctl disconnect
    if [ "$CTL_RC" -ne 1 ]; then
        bad "exit $CTL_RC, not 1 (failed)"
    elif ! grep -q nmcli "$CTL_ERR"; then
        bad "the message does not say how to end it: $(ctl_message)"
    elif ! sta_on "$OPEN_BSSID" || ! user_active; then
        bad "the user's connection went"
    else
        good
    fi

    kill "$agent" 2>/dev/null
    nmcli connection delete UserOpen >/dev/null 2>&1
    begin "NetworkManager: nothing of the utility's is left in its connections or on disk"
    run nmcli -t -f NAME,UUID,TYPE,DEVICE connection show
    if nmcli -t -f NAME connection show | grep -q '^Wavory Utility$'; then
        bad "a connection of the utility is left"
    elif [ -n "$(ls -A /etc/NetworkManager/system-connections)" ]; then
        run ls -l /etc/NetworkManager/system-connections
        bad "a connection file is left in /etc/NetworkManager/system-connections"
    else
        good
    fi
}

# NetworkManager follows the radio switch itself.
stage_unblocked() { :; }

stage_state() {
    echo "--- NetworkManager's state"
    nmcli -f GENERAL.STATE,GENERAL.REASON,GENERAL.CONNECTION device show "$STA"
    nmcli -t -f NAME,UUID,DEVICE connection show
    grep -E 'wlan1|<warn>|<error>' /tmp/nm.log | tail -n 25
}
