# The checks of the hardware stage (sourced by the guest's /init). Every stage runs the same checks
# on the station interface; the stage (stages/NAME.sh) says who runs the interface and what that
# changes (STAGE_MANAGER, STAGE_WPA2, the stage_* hooks). The utility is asked only through
# `wavoryctl --json`; what the station really did is read back with iw, so that a program that says
# "associated" without being so fails.
#
# The checks build on each other in this order: the adapters and the idle status, a scan, joining
# each network (the open one also carries the traffic checks and the benchmark), an ad-hoc cell,
# rfkill, the interface going and coming back, and auto-selection from fresh settings. A check that
# fails leaves the next ones to find their own footing: each joins what it needs first.

run_checks() {
    # Each stage starts with empty settings of its own.
    export HOME=/tmp/home/$STAGE
    export XDG_CONFIG_HOME=$HOME/config
    mkdir -p "$XDG_CONFIG_HOME"
    export WAVORY_ADAPTER=$STA

    check_adapters
    check_adapter_choice
    check_idle_status
    check_scan
    check_join "open" "$OPEN_SSID" "$OPEN_BSSID" "$OPEN_CHANNEL" "$OPEN_NET" &&
        check_traffic "$OPEN_NET" &&
        { [ "$BENCH" = 0 ] || check_bench; }
    # WEP-64 uses open-system authentication: the access point lets any key associate and only the
    # traffic shows a wrong one, so the ping of check_join is what proves the key.
    check_join "WEP-64" "$WEP64_SSID" "$WEP64_BSSID" "$OPEN_CHANNEL" "$WEP64_NET" --key "$WEP64_KEY"
    check_refused "WEP-128 shared key, wrong key" "$SHARED_SSID" "$SHARED_BSSID" \
        --key ffffffffffffffffffffffffff
    check_join "WEP-128 shared key" "$SHARED_SSID" "$SHARED_BSSID" "$OPEN_CHANNEL" "$SHARED_NET" \
        --key "$SHARED_KEY"
    if [ "$STAGE_WPA2" = join ]; then
        check_refused "WPA2, wrong passphrase" "$WPA2_SSID" "$WPA2_BSSID" --passphrase wrong-passphrase
        check_join "WPA2" "$WPA2_SSID" "$WPA2_BSSID" "$WPA2_CHANNEL" "$WPA2_NET" \
            --passphrase "$WPA2_PASSPHRASE"
    else
        check_wpa2_refused
    fi
    check_adhoc
    check_rfkill
    check_removed_and_returned
    check_auto_selection
}

# ---- helpers of the checks ----

# sta_on BSSID: the station is associated with, or has joined the cell of, BSSID.
sta_on() { same_mac "$(sta_link)" "$1"; }
sta_linked() { [ -n "$(sta_link)" ]; }

# join_open: the station on the open network, as the setup of a check (not a check itself).
join_open() {
    ctl connect --ssid "$OPEN_SSID" && until_ok 15 sta_on "$OPEN_BSSID"
}

# The radio status text the status command shows (see the HW status converter).
radio_ready() { jt '.radio_status | type == "string" and test("Ready") and (test("NOT") | not)'; }
radio_not_ready() { jt '.radio_status | type == "string" and test("NOT Ready")'; }

# ---- adapters ----

check_adapters() {
    local sta_mac
    sta_mac=$(cat "/sys/class/net/$STA/address")
    begin "adapters: $STA is listed with its driver and MAC address"
    if ctl adapters; then
        cp "$CTL_OUT" /tmp/adapters.json
        expect "no entry for $STA" jt 'any(.[]; .name == $n)' --arg n "$STA" &&
            expect "the driver is not mac80211_hwsim" \
                jt 'any(.[]; .name == $n and (.driver | tostring | test("hwsim")))' --arg n "$STA" &&
            expect "the MAC address is not $sta_mac" \
                same_mac "$(jv ".[] | select(.name == \"$STA\") | .mac")" "$sta_mac" &&
            good
    else
        bad "wavoryctl adapters failed (exit $CTL_RC)"
        : >/tmp/adapters.json
    fi

    cp /tmp/adapters.json "$CTL_OUT"
    begin "adapters: $STA is the one in use, run by $STAGE_MANAGER"
    say "$(cat "$CTL_OUT")"
    expect "$STA is not marked in use" jt 'any(.[]; .name == $n and .in_use == true)' --arg n "$STA" &&
        expect "another adapter is marked in use too" jt '[.[] | select(.in_use == true)] | length == 1' &&
        expect "managed_by is not \"$STAGE_MANAGER\"" \
            jt 'any(.[]; .name == $n and .managed_by == $m)' --arg n "$STA" --arg m "$STAGE_MANAGER" &&
        good

    begin "adapters: $SPARE and the simulated adapter are listed, not in use"
    say "$(cat "$CTL_OUT")"
    expect "no idle entry for $SPARE run by nobody" \
        jt 'any(.[]; .name == $n and .in_use == false and .managed_by == "nobody")' --arg n "$SPARE" &&
        expect "no idle entry for the simulated adapter" jt 'any(.[]; .name == "sim" and .in_use == false)' &&
        good
}

check_adapter_choice() {
    begin "adapters: --adapter $SPARE chooses $SPARE over WAVORY_ADAPTER"
    if ctl --adapter "$SPARE" adapters; then
        expect "$SPARE is not in use" jt 'any(.[]; .name == $n and .in_use == true)' --arg n "$SPARE" && good
    else
        bad "wavoryctl --adapter $SPARE adapters failed (exit $CTL_RC)"
    fi

    begin "adapters: WAVORY_ADAPTER=sim chooses the simulated adapter"
    if (WAVORY_ADAPTER=sim WAVORY_SIM=/wavory-hwsim ctl adapters); then
        expect "the simulated adapter is not in use" jt 'any(.[]; .name == "sim" and .in_use == true)' && good
    else
        bad "wavoryctl adapters failed with WAVORY_ADAPTER=sim"
    fi
}

# ---- status and scan ----

check_idle_status() {
    begin "status before joining: not connected, radio ready"
    if ctl status; then
        expect "connected is not false" jt '.connected == false' &&
            expect "the radio status is not ready" radio_ready &&
            good
    else
        bad "wavoryctl status failed (exit $CTL_RC): $(ctl_message)"
    fi
}

check_scan() {
    begin "scan: finishes and lists networks"
    if ctl scan --view ap --timeout 60; then
        cp "$CTL_OUT" /tmp/scan.json
        expect "the scan is still running" jt '.scanning == false' &&
            expect "no networks listed" jt '.stations | length > 0' &&
            good
    else
        bad "wavoryctl scan failed (exit $CTL_RC): $(ctl_message)"
        echo '{"stations": []}' >/tmp/scan.json
    fi
    scan_entry "$OPEN_SSID" "$OPEN_BSSID" "$OPEN_CHANNEL" '^(none|open)$' infrastructure
    scan_entry "$WEP64_SSID" "$WEP64_BSSID" "$OPEN_CHANNEL" '^wep' infrastructure
    scan_entry "$SHARED_SSID" "$SHARED_BSSID" "$OPEN_CHANNEL" '^wep' infrastructure
    scan_entry "$WPA2_SSID" "$WPA2_BSSID" "$WPA2_CHANNEL" 'wpa2' infrastructure
    scan_entry "$PEER_SSID" "$PEER_BSSID" "$PEER_CHANNEL" '^(none|open)$' ad-hoc
}

# scan_entry SSID BSSID CHANNEL SECURITY-PATTERN MODE: the last scan lists that network as it is.
scan_entry() {
    local ssid=$1 bssid=$2 channel=$3 security=$4 mode=$5 entry
    begin "scan: $ssid ($bssid), $mode, channel $channel, security /$security/, signal in dBm"
    entry=$(jq -c --arg b "$(mac "$bssid")" \
        '.stations[] | select((.bssid // "" | ascii_downcase | gsub("[:-]"; "")) == $b)' /tmp/scan.json)
    say "entry: $entry"
    echo "${entry:-null}" >"$CTL_OUT"
    local mode_pattern='^infra'
    [ "$mode" = ad-hoc ] && mode_pattern='^(ad.?hoc|ibss)$'
    expect "no entry with this BSSID" [ -n "$entry" ] &&
        expect "the SSID differs" jt '.ssid == $s' --arg s "$ssid" &&
        expect "the channel is not $channel" jt ".channel == $channel" &&
        expect "the security is not /$security/" jt '.security | ascii_downcase | test($p)' --arg p "$security" &&
        expect "the mode is not $mode" jt '.mode | ascii_downcase | test($p)' --arg p "$mode_pattern" &&
        expect "the signal is no dBm figure (-100 to -1)" \
            jt '.signal_dbm | type == "number" and . < 0 and . >= -100' &&
        good
}

# ---- joining ----

# check_join LABEL SSID BSSID CHANNEL NET CONNECT-ARGS...: connect --ssid associates with the access
# point, status shows it, and a ping to NET.1 crosses. Fails (status 1) when the station did not join.
check_join() {
    local label=$1 ssid=$2 bssid=$3 channel=$4 net=$5
    shift 5
    begin "join $label: $ssid associates with $bssid"
    if ! ctl connect --ssid "$ssid" "$@"; then
        bad "connect failed (exit $CTL_RC): $(ctl_message)"
        return 1
    fi
    expect "connect does not report the association" jt '.associated == true' || return 1
    if ! until_ok 20 sta_on "$bssid"; then
        run iw dev "$STA" link
        bad "the station is not associated with $bssid"
        return 1
    fi
    good

    begin "join $label: status shows $ssid, its BSSID, channel $channel and a signal"
    if ctl status; then
        expect "not connected" jt '.connected == true' &&
            expect "the SSID is not $ssid" jt '.ssid == $s' --arg s "$ssid" &&
            expect "the BSSID is not $bssid" same_mac "$(jv .bssid)" "$bssid" &&
            expect "the channel is not $channel" jt ".channel == $channel" &&
            expect "the signal is no dBm figure" jt '.signal_dbm | type == "number" and . < 0' &&
            good
    else
        bad "wavoryctl status failed (exit $CTL_RC): $(ctl_message)"
    fi

    begin "join $label: traffic crosses (ping $net.1)"
    sta_address "$net"
    if run ping -c 4 -i 0.5 -W 5 "$net.1"; then good; else bad "no answer from $net.1"; fi
}

# check_refused LABEL SSID BSSID CONNECT-ARGS...: connect with a wrong secret fails with a message, and
# the station does not associate.
check_refused() {
    local label=$1 ssid=$2 bssid=$3
    shift 3
    begin "join $label: refused with a message, not associated"
    ctl connect --ssid "$ssid" "$@"
    expect "exit $CTL_RC, not 1 (failed)" [ "$CTL_RC" -eq 1 ] &&
        expect "no message on standard error" [ -s "$CTL_ERR" ] &&
        expect "the station is associated with $bssid all the same" sh -c "sleep 2; ! iw dev $STA link | grep -qi '$bssid'" &&
        good
}

# Without a supplicant nobody can do WPA2's handshake: the utility must fail and say what is missing.
check_wpa2_refused() {
    begin "join WPA2 with nobody running $STA: refused, naming wpa_supplicant"
    ctl connect --ssid "$WPA2_SSID" --passphrase "$WPA2_PASSPHRASE"
    expect "exit $CTL_RC, not 1 (failed)" [ "$CTL_RC" -eq 1 ] &&
        expect "the message does not name wpa_supplicant" grep -qi supplicant "$CTL_ERR" &&
        expect "the station is associated all the same" sh -c "! iw dev $STA link | grep -qi '$WPA2_BSSID'" &&
        good
}

# ---- traffic ----

check_traffic() {
    local net=$1 rx0 tx0
    begin "traffic: the received and sent counters grow with a ping"
    ctl status
    rx0=$(jv .received)
    tx0=$(jv .sent)
    run ping -q -c 20 -i 0.05 -s 1000 "$net.1"
    ctl status
    expect "received did not grow from $rx0" jt '(.received | type == "number") and .received > ($r | tonumber)' --arg r "${rx0:-0}" &&
        expect "sent did not grow from $tx0" jt '(.sent | type == "number") and .sent > ($t | tonumber)' --arg t "${tx0:-0}" &&
        good

    begin "traffic: stats shows receive and send rates grow under a ping"
    local rx_idle tx_idle
    if ! ctl stats --seconds 2; then
        bad "wavoryctl stats failed (exit $CTL_RC): $(ctl_message)"
        return
    fi
    rx_idle=$(jv '.receive_kbps // 0')
    tx_idle=$(jv '.send_kbps // 0')
    ping -q -A -w 6 -s 1400 "$net.1" >/dev/null 2>&1 &
    ctl stats --seconds 3
    wait
    expect "the receive rate did not grow from $rx_idle KB/s" \
        jt '(.receive_kbps | type == "number") and .receive_kbps > ($r | tonumber)' --arg r "$rx_idle" &&
        expect "the send rate did not grow from $tx_idle KB/s" \
            jt '(.send_kbps | type == "number") and .send_kbps > ($t | tonumber)' --arg t "$tx_idle" &&
        good
}

# ---- benchmark ----

# The status page's refresh and one scan merge on the station, joined to the open network. The
# figures go to the console ("--- bench" and the BM_ lines), which run.sh repeats at its end.
check_bench() {
    begin "benchmark: the status page's refresh and a scan merge run on $STA"
    echo "--- bench ($STAGE, $STA joined to $OPEN_SSID)"
    bench_adapter --benchmark_min_time=0.2 >/tmp/bench.out 2>&1
    local rc=$?
    grep -E '^(adapter|BM_|Run on|-----|Benchmark)' /tmp/bench.out
    say "$(cat /tmp/bench.out)"
    expect "the benchmark failed (exit $rc)" [ $rc -eq 0 ] &&
        expect "a benchmark reported an error" sh -c "! grep -q 'ERROR OCCURRED' /tmp/bench.out" &&
        expect "the status page's refresh did not run" grep -q '^BM_StatusPageRefresh' /tmp/bench.out &&
        expect "the scan merge did not run" grep -q '^BM_ScanMerge' /tmp/bench.out &&
        good
}

# ---- ad hoc ----

check_adhoc() {
    begin "ad hoc: joins the cell $PEER_SSID on channel $PEER_CHANNEL ($PEER_BSSID)"
    if ! ctl connect --ssid "$PEER_SSID" --mode adhoc --channel "$PEER_CHANNEL"; then
        bad "connect failed (exit $CTL_RC): $(ctl_message)"
    elif ! until_ok 20 sta_on "$PEER_BSSID"; then
        run iw dev "$STA" link
        bad "the station is not in the peer's cell"
    else
        expect "the interface is not on $PEER_FREQ MHz in ad-hoc mode" \
            sh -c "iw dev $STA info | tee /dev/stderr | grep -q 'type IBSS' && iw dev $STA info | grep -q 'channel $PEER_CHANNEL ($PEER_FREQ MHz)'" &&
            good
    fi

    begin "ad hoc: status shows the cell, ad-hoc mode and channel $PEER_CHANNEL"
    if ctl status; then
        expect "not connected" jt '.connected == true' &&
            expect "the SSID is not $PEER_SSID" jt '.ssid == $s' --arg s "$PEER_SSID" &&
            expect "the mode is not ad hoc" jt '.network_mode | ascii_downcase | test("ad.?hoc|ibss")' &&
            expect "the channel is not $PEER_CHANNEL" jt ".channel == $PEER_CHANNEL" &&
            good
    else
        bad "wavoryctl status failed (exit $CTL_RC): $(ctl_message)"
    fi

    begin "ad hoc: traffic crosses to the peer (ping $PEER_NET.1)"
    sta_address "$PEER_NET"
    if run ping -c 4 -i 0.5 -W 5 "$PEER_NET.1"; then good; else bad "no answer from the peer"; fi

    begin "ad hoc: a profile starts a new cell on the channel it chooses (9, 2452 MHz)"
    if ! ctl profiles new --name Cell9 --ssid WavoryCell --mode adhoc --channel 9 --security none; then
        bad "profiles new failed (exit $CTL_RC): $(ctl_message)"
    elif ! ctl connect Cell9; then
        bad "connect Cell9 failed (exit $CTL_RC): $(ctl_message)"
    elif ! until_ok 20 sh -c "iw dev $STA info | grep -q 'channel 9 (2452 MHz)' && iw dev $STA link | grep -q 'Joined IBSS'"; then
        run iw dev "$STA" info
        run iw dev "$STA" link
        bad "the station did not start a cell on channel 9"
    else
        run iw dev "$STA" info
        expect "the cell's SSID is not WavoryCell" sh -c "iw dev $STA info | grep -q 'ssid WavoryCell'" && good
    fi
}

# ---- the radio and the interface going away ----

check_rfkill() {
    local soft
    soft=$(ls /sys/class/ieee80211/"$STA_PHY"/rfkill*/soft 2>/dev/null | head -n 1)
    begin "rfkill: a blocked radio shows the hardware as not ready"
    join_open || say "(could not join $OPEN_SSID first; going on)"
    if [ -z "$soft" ]; then
        bad "$STA_PHY has no rfkill switch"
    else
        echo 1 >"$soft"
        sleep 1
        if ctl status; then
            expect "the radio status is not \"NOT Ready\"" radio_not_ready &&
                expect "connected is not false" jt '.connected == false' &&
                good
        else
            bad "wavoryctl status failed (exit $CTL_RC): $(ctl_message)"
        fi
    fi

    begin "rfkill: unblocked, the radio is ready and the station joins again"
    [ -n "$soft" ] && echo 0 >"$soft"
    if ! until_ok 10 sh -c "wavoryctl status --json | jq -e '.radio_status | test(\"Ready\") and (test(\"NOT\") | not)'"; then
        ctl status
        bad "the radio status did not return to ready"
    elif ! join_open; then
        run iw dev "$STA" link
        bad "the station did not join $OPEN_SSID again"
    else
        good
    fi
}

check_removed_and_returned() {
    begin "interface removed: requests fail"
    run iw dev "$STA" del
    sleep 1
    ctl status
    # Failing outright, or answering that nothing could be read, both tell the truth.
    if [ "$CTL_RC" -eq 1 ]; then
        expect "no message on standard error" [ -s "$CTL_ERR" ] && good
    elif [ "$CTL_RC" -eq 0 ]; then
        expect "status still reads a connection or a radio" \
            jt '.connected == false and .radio_status == null' && good
    else
        bad "exit $CTL_RC, neither a failure (1) nor an answer"
    fi

    begin "interface returned: requests work again and the station joins"
    run iw phy "$STA_PHY" interface add "$STA" type managed
    stage_returned >>"$EVIDENCE" 2>&1
    if ! until_ok 20 sh -c "wavoryctl status --json >/dev/null"; then
        ctl status
        bad "status still fails"
    elif ! join_open; then
        run iw dev "$STA" link
        bad "the station did not join $OPEN_SSID again"
    else
        good
    fi
}

# ---- auto-selection ----

# From fresh settings: an order of three, whose first member is out of range. The core, running
# headless, must join the second one and stay there.
check_auto_selection() {
    export XDG_CONFIG_HOME=$HOME/auto-config
    mkdir -p "$XDG_CONFIG_HOME"
    begin "auto-selection: joins the first reachable member of the order ($SHARED_SSID)"
    if ! ctl profiles new --name Missing --ssid WavoryMissing --mode infrastructure --auto-select ||
        ! ctl profiles new --name Shared --ssid "$SHARED_SSID" --mode infrastructure --security wep \
            --key1 "$SHARED_KEY" --active-key 1 --auto-select ||
        ! ctl profiles new --name Open --ssid "$OPEN_SSID" --mode infrastructure --auto-select; then
        bad "profiles new failed (exit $CTL_RC): $(ctl_message)"
        return
    fi
    ctl profiles list
    stage_drop_link
    if ! until_ok 10 sh -c "! iw dev $STA link | grep -q 'Connected to'"; then
        bad "the station did not leave its network"
        return
    fi
    if ! ctl watch --seconds 30; then
        bad "watch failed (exit $CTL_RC): $(ctl_message)"
    else
        run iw dev "$STA" link
        expect "the station is not associated with $SHARED_BSSID" sta_on "$SHARED_BSSID" &&
            expect "watch's status does not show $SHARED_SSID" jt '.ssid == $s' --arg s "$SHARED_SSID" &&
            good
    fi
}
