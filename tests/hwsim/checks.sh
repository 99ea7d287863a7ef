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

# A stage may leave out the checks that show nothing new about its manager (STAGE_SKIP: names of
# check functions), to keep the whole run short.
skipped() {
    case " ${STAGE_SKIP:-} " in *" $1 "*) return 0 ;; esac
    return 1
}

run_checks() {
    # Each stage starts with empty settings of its own.
    export HOME=/tmp/home/$STAGE
    export XDG_CONFIG_HOME=$HOME/config
    mkdir -p "$XDG_CONFIG_HOME"
    export WAVORY_ADAPTER=$STA

    # HWSIM_ONLY (hwsim.only on the guest's command line): only these check functions, for working
    # on them; they must find their own footing.
    if [ -n "${ONLY:-}" ]; then
        local only
        for only in $(echo "$ONLY" | tr ',' ' '); do "$only"; done
        return
    fi

    # A stage whose manager joins only some kinds of network runs its own list of the checks.
    if type stage_run >/dev/null 2>&1; then
        stage_run
        return
    fi

    check_adapters
    skipped check_adapter_choice || check_adapter_choice
    check_idle_status
    check_rights
    check_scan
    check_join "open" "$OPEN_SSID" "$OPEN_BSSID" "$OPEN_CHANNEL" "$OPEN_NET" &&
        { skipped check_traffic || check_traffic "$OPEN_NET"; } &&
        { [ "$BENCH" = 0 ] || skipped check_bench || check_bench; }
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
    check_join_state
    check_today
    check_chosen_access_point
    check_eap
    check_adhoc
    check_adhoc_new_cell
    skipped check_rfkill || check_rfkill
    skipped check_removed_and_returned || check_removed_and_returned
    check_auto_selection
    check_history
    skipped check_random_address || check_random_address
    skipped check_stable_address || check_stable_address
    # A stage's own checks, when it has any.
    if type stage_checks >/dev/null 2>&1; then stage_checks; fi
}

# ---- helpers of the checks ----

# sta_on BSSID: the station is associated with, or has joined the cell of, BSSID.
sta_on() { same_mac "$(sta_link)" "$1"; }
# sta_off BSSID: the station stays away from BSSID for two seconds.
sta_off() {
    sleep 2
    ! sta_on "$1"
}

# connected_to BSSID: the last connect succeeded and the station is associated with BSSID; else the
# check fails, with the manager's view as evidence (status 1).
connected_to() {
    if [ "$CTL_RC" -ne 0 ]; then
        stage_state >>"$EVIDENCE" 2>&1
        bad "connect failed (exit $CTL_RC): $(ctl_message)"
        return 1
    fi
    if ! until_ok 20 sta_on "$1"; then
        run iw dev "$STA" link
        stage_state >>"$EVIDENCE" 2>&1
        bad "the station is not associated with $1"
        return 1
    fi
}

# refused_and_back REASON BSSID: the last connect failed (exit 1) with a message and REASON, and the
# station is back on BSSID, the network it was on.
refused_and_back() {
    if [ "$CTL_RC" -ne 1 ]; then
        bad "exit $CTL_RC, not 1 (failed)"
    elif [ ! -s "$CTL_ERR" ]; then
        bad "no message on standard error"
    elif ! jt '.reason == $r' --arg r "$1"; then
        bad "reason $(jv .reason), not $1"
    elif ! until_ok 30 sta_on "$2"; then
        run iw dev "$STA" link
        stage_state >>"$EVIDENCE" 2>&1
        bad "the station is not back on $2"
    else
        good
    fi
}

# join_open: the station on the open network, as the setup of a check (not a check itself).
join_open() {
    ctl connect --ssid "$OPEN_SSID" && until_ok 15 sta_on "$OPEN_BSSID"
}

# The radio status text of the status command (see the HW status converter): "HW Status:  Ready; …"
# or "HW Status: NOT Ready; …".
JQ_READY='(.radio_status | type == "string" and test("Ready") and (test("NOT") | not))'
JQ_NOT_READY='(.radio_status | type == "string" and test("NOT Ready"))'

# ---- adapters ----

check_adapters() {
    local sta_mac
    sta_mac=$(cat "/sys/class/net/$STA/address")
    begin "adapters: $STA is listed with its driver and MAC address"
    if ctl adapters; then
        cp "$CTL_OUT" /tmp/adapters.json
        verdict "$(jwhy --arg n "$STA" --arg m "$(mac "$sta_mac")" '
            ([.adapters[] | select(.name == $n)] | first) as $a
            | if $a == null then "no entry for \($n)"
              elif ($a.driver | tostring | test("hwsim")) | not then "the driver is \($a.driver | tojson)"
              elif ($a.mac | mac) != $m then "the MAC address is \($a.mac | tojson)"
              else "ok" end')"
    else
        bad "wavoryctl adapters failed (exit $CTL_RC): $(ctl_message)"
        : >/tmp/adapters.json
    fi

    cp /tmp/adapters.json "$CTL_OUT"
    begin "adapters: $STA is the one in use, run by $STAGE_MANAGER"
    say "$(cat "$CTL_OUT")"
    verdict "$(jwhy --arg n "$STA" --arg m "$STAGE_MANAGER" '
        ([.adapters[] | select(.name == $n)] | first) as $a
        | if $a == null then "no entry for \($n)"
          elif $a.in_use != true then "\($n) is not marked in use"
          elif ([.adapters[] | select(.in_use == true)] | length) != 1 then "more than one adapter is marked in use"
          elif $a.managed_by != $m then "managed_by is \($a.managed_by | tojson)"
          else "ok" end')"

    begin "adapters: $SPARE and the simulated adapter are listed, not in use"
    say "$(cat "$CTL_OUT")"
    verdict "$(jwhy --arg n "$SPARE" '
        if any(.adapters[]; .name == $n and .in_use == false and .managed_by == "nobody") | not
          then "no idle entry for \($n) run by nobody"
        elif any(.adapters[]; .name == "sim" and .in_use == false) | not then "no idle entry for the simulated adapter"
        else "ok" end')"
}

check_adapter_choice() {
    begin "adapters: --adapter $SPARE chooses $SPARE over WAVORY_ADAPTER"
    if ctl --adapter "$SPARE" adapters; then
        verdict "$(jwhy --arg n "$SPARE" \
            'if any(.adapters[]; .name == $n and .in_use == true) then "ok" else "\($n) is not in use" end')"
    else
        bad "wavoryctl --adapter $SPARE adapters failed (exit $CTL_RC): $(ctl_message)"
    fi

    begin "adapters: WAVORY_ADAPTER=sim chooses the simulated adapter"
    # A private simulated adapter: the settings of this stage stay as they are.
    (export WAVORY_ADAPTER=sim WAVORY_SIM=/wavory-hwsim && ctl adapters)
    CTL_RC=$?
    if [ "$CTL_RC" -eq 0 ]; then
        verdict "$(jwhy 'if any(.adapters[]; .name == "sim" and .in_use == true) then "ok"
            else "the simulated adapter is not in use" end')"
    else
        bad "wavoryctl adapters failed with WAVORY_ADAPTER=sim (exit $CTL_RC): $(ctl_message)"
    fi
}

# ---- rights ----

# A user without the stage's right (STAGE_RIGHT: what the message must name) cannot change the
# adapter: the change fails with a message that names the right, and nothing happens.
check_rights() {
    local home=/tmp/home/user-$STAGE
    mkdir -p "$home/config"
    chown -R "$USER_ID:$USER_ID" "$home"
    chmod 700 "$home" "$home/config"
    begin "rights: a user without $STAGE_RIGHT is refused, and told so"
    (
        export HOME=$home XDG_CONFIG_HOME=$home/config
        CTL_PREFIX=/hwsim/as-user
        ctl connect --ssid "$OPEN_SSID"
    )
    CTL_RC=$?
    if [ "$CTL_RC" -eq 0 ] || [ "$CTL_RC" -eq 2 ]; then
        bad "exit $CTL_RC, not a failure"
    elif ! grep -qi "$STAGE_RIGHT" "$CTL_ERR"; then
        bad "the message does not name $STAGE_RIGHT"
    elif ! sta_off "$OPEN_BSSID"; then
        bad "the station joined $OPEN_SSID all the same"
    else
        good
    fi
}

# ---- status and scan ----

check_idle_status() {
    begin "status before joining: not connected, radio ready"
    if ctl status; then
        verdict "$(jwhy 'if .connected != false then "connected is \(.connected | tojson)"
            elif '"$JQ_READY"' | not then "the radio status is \(.radio_status | tojson)"
            else "ok" end')"
    else
        bad "wavoryctl status failed (exit $CTL_RC): $(ctl_message)"
    fi
}

check_scan() {
    local b missing=0
    begin "scan: finishes and lists networks"
    if ctl scan --view ap --timeout 60; then
        # A scan under emulation can miss an access point's answer (each channel is listened to
        # for a few tens of milliseconds): a second one, as a user would ask for, adds it.
        for b in "$OPEN_BSSID" "$WEP64_BSSID" "$SHARED_BSSID" "$WPA2_BSSID" "$PEER_BSSID"; do
            jt 'any(.stations[]; (.bssid // "" | ascii_downcase | gsub("[:-]"; "")) == $b)' --arg b "$(mac "$b")" ||
                missing=1
        done
        [ $missing -eq 1 ] && ctl scan --view ap --timeout 60
        cp "$CTL_OUT" /tmp/scan.json
        verdict "$(jwhy 'if .scanning != false then "the scan is still running"
            elif (.stations | length) == 0 then "no networks listed" else "ok" end')"
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
    local ssid=$1 bssid=$2 channel=$3 security=$4 mode=$5 mode_pattern='^infra'
    [ "$mode" = ad-hoc ] && mode_pattern='^(ad.?hoc|ibss)$'
    begin "scan: $ssid ($bssid), $mode, channel $channel, security /$security/, signal in dBm"
    cp /tmp/scan.json "$CTL_OUT"
    say "$(jq -c --arg b "$(mac "$bssid")" '.stations[] | select((.bssid // "" | ascii_downcase |
        gsub("[:-]"; "")) == $b)' /tmp/scan.json 2>&1)"
    verdict "$(jwhy --arg b "$(mac "$bssid")" --arg s "$ssid" --argjson c "$channel" --arg p "$security" \
        --arg m "$mode_pattern" '
        [.stations[] | select((.bssid | mac) == $b)] | first as $e
        | if $e == null then "no entry with this BSSID"
          elif $e.ssid != $s then "the SSID is \($e.ssid | tojson)"
          elif $e.channel != $c then "the channel is \($e.channel | tojson)"
          elif ($e.security | tostring | ascii_downcase | test($p)) | not then "the security is \($e.security | tojson)"
          elif ($e.mode | tostring | ascii_downcase | test($m)) | not then "the mode is \($e.mode | tojson)"
          elif ($e.signal_dbm | type == "number" and . < 0 and . >= -100) | not
            then "the signal is \($e.signal_dbm | tojson), no dBm figure (-100 to -1)"
          else "ok" end')"
}

# status_shows SSID BSSID CHANNEL MODE-PATTERN: why the last status does not show that link, or "ok".
status_shows() {
    jwhy --arg s "$1" --arg b "$(mac "$2")" --argjson c "$3" --arg m "$4" '
        if .connected != true then "not connected"
        elif .ssid != $s then "the SSID is \(.ssid | tojson)"
        elif (.bssid | mac) != $b then "the BSSID is \(.bssid | tojson)"
        elif .channel != $c then "the channel is \(.channel | tojson)"
        elif (.network_mode | tostring | ascii_downcase | test($m)) | not
          then "the network mode is \(.network_mode | tojson)"
        elif (.signal_dbm | type == "number" and . < 0) | not then "the signal is \(.signal_dbm | tojson)"
        elif '"$JQ_READY"' | not then "the radio status is \(.radio_status | tojson)"
        else "ok" end'
}

# ---- joining ----

# status_connected: wavoryctl status says the adapter is connected.
status_connected() { wavoryctl status --json 2>/dev/null | jq -e '.connected == true' >/dev/null; }

# check_join LABEL SSID BSSID CHANNEL NET CONNECT-ARGS...: connect --ssid associates with the access
# point, status shows it, and a ping to NET.1 crosses. Fails (status 1) when the station did not join.
# The library answers the request that starts a join at once and joins meanwhile: a connect that
# says it has not associated yet is followed with status until it has.
check_join() {
    local label=$1 ssid=$2 bssid=$3 channel=$4 net=$5
    shift 5
    begin "join $label: $ssid associates with $bssid"
    ctl connect --ssid "$ssid" "$@"
    cp "$CTL_OUT" /tmp/connect.json
    connected_to "$bssid" || return 1
    # The utility must say so too: connect itself, or status once the attempt has ended.
    if ! jq -e '.associated == true' /tmp/connect.json >/dev/null 2>&1 && ! until_ok 20 status_connected; then
        bad "neither connect nor status reports the association"
        return 1
    fi
    good

    begin "join $label: status shows $ssid, its BSSID, channel $channel and a signal"
    if ctl status; then
        verdict "$(status_shows "$ssid" "$bssid" "$channel" '^infra')"
    else
        bad "wavoryctl status failed (exit $CTL_RC): $(ctl_message)"
    fi

    begin "join $label: traffic crosses (ping $net.1)"
    sta_address "$net"
    if run ping -c 4 -i 0.5 -W 5 "$net.1"; then good; else bad "no answer from $net.1"; fi
}

# check_chosen_access_point: one network on two access points; connect --channel (the dialog's
# access-point view) joins the access point chosen, each in turn, whichever the manager of the
# interface would prefer, and status names it.
check_chosen_access_point() {
    local channel bssid
    for channel in "$TWIN24_CHANNEL" "$TWIN5_CHANNEL" "$TWIN24_CHANNEL"; do
        bssid=$TWIN24_BSSID
        [ "$channel" = "$TWIN5_CHANNEL" ] && bssid=$TWIN5_BSSID
        begin "join the access point chosen: $TWIN_SSID on channel $channel ends on $bssid"
        ctl connect --ssid "$TWIN_SSID" --channel "$channel"
        connected_to "$bssid" || continue
        # Held there: the manager does not move to the other access point once the attempt has ended.
        if ! sta_off "$([ "$bssid" = "$TWIN5_BSSID" ] && echo "$TWIN24_BSSID" || echo "$TWIN5_BSSID")"; then
            run iw dev "$STA" link
            bad "the station moved to the other access point"
        elif ! ctl status; then
            bad "wavoryctl status failed (exit $CTL_RC): $(ctl_message)"
        else
            verdict "$(status_shows "$TWIN_SSID" "$bssid" "$channel" '^infra')"
        fi
    done
}

# check_band_choice: the profile's access point choice on the network of two access points. A pin
# to the 2.4 GHz one joins it and holds the station there although the 5 GHz one is as strong; a
# pin to one that is not in range fails with the reason and joins neither; the preference for
# 5 GHz (floor far below the air's signals) joins the 5 GHz one after the pinned 2.4 GHz join.
check_band_choice() {
    local why
    ctl disconnect >/dev/null 2>&1
    # Both access points in the kernel's list, where the utility makes its choice.
    ctl scan --view ap --timeout 60 >/dev/null 2>&1
    ctl profiles rm TwinPinned >/dev/null 2>&1
    ctl profiles rm TwinFive >/dev/null 2>&1

    begin "access point pin: $TWIN_SSID pinned to $TWIN24_BSSID (2.4 GHz) joins it and stays there"
    if ! ctl profiles new --name TwinPinned --ssid "$TWIN_SSID" --mode infrastructure --pin-bssid "$TWIN24_BSSID"; then
        bad "profiles new failed (exit $CTL_RC): $(ctl_message)"
        return 1
    fi
    ctl connect TwinPinned
    if connected_to "$TWIN24_BSSID"; then
        if ! sta_off "$TWIN5_BSSID"; then
            run iw dev "$STA" link
            bad "the station moved to the 5 GHz access point"
        else
            good
        fi
    fi

    begin "access point pin: a pin to an access point not in range fails with the reason and joins neither"
    ctl profiles edit TwinPinned --pin-bssid 02:00:00:00:99:01 >/dev/null 2>&1
    ctl disconnect >/dev/null 2>&1
    ctl connect TwinPinned
    why=$(jwhy '
        if .reason != "not_found" then "the join ended \(.reason // "joined" | tojson), not not_found"
        elif (tostring | test("02:00:00:00:99:01")) | not then "the message does not name the pin"
        else "ok" end')
    if [ "$why" = ok ] && { sta_on "$TWIN5_BSSID" || sta_on "$TWIN24_BSSID"; }; then
        why="the station is on $(sta_link)"
    fi
    verdict "$why"

    begin "band preference: $TWIN_SSID preferring 5 GHz joins $TWIN5_BSSID after the pinned 2.4 GHz join"
    ctl profiles edit TwinPinned --pin-bssid "$TWIN24_BSSID" >/dev/null 2>&1
    ctl connect TwinPinned
    if ! until_ok 20 sta_on "$TWIN24_BSSID"; then
        bad "the pinned join of $TWIN24_BSSID did not come first"
    elif ! ctl profiles new --name TwinFive --ssid "$TWIN_SSID" --mode infrastructure --prefer-band 5ghz \
        --band-floor -90; then
        bad "profiles new failed (exit $CTL_RC): $(ctl_message)"
    else
        ctl connect TwinFive
        if connected_to "$TWIN5_BSSID"; then good; fi
    fi
    ctl disconnect >/dev/null 2>&1
    ctl profiles rm TwinPinned >/dev/null 2>&1
    ctl profiles rm TwinFive >/dev/null 2>&1
}

# check_refused LABEL SSID BSSID CONNECT-ARGS...: connect with a wrong secret fails with a message, and
# the station does not associate. A wavoryctl that takes the started attempt for the join (it does
# not follow the join state yet) may end with 0 as long as the station stays off the network.
check_refused() {
    local label=$1 ssid=$2 bssid=$3
    shift 3
    begin "join $label: refused with a message, not associated"
    ctl connect --ssid "$ssid" "$@"
    if [ "$CTL_RC" -ne 1 ] && [ "$CTL_RC" -ne 0 ]; then
        bad "exit $CTL_RC, not 1 (failed)"
    elif [ "$CTL_RC" -eq 1 ] && [ ! -s "$CTL_ERR" ]; then
        bad "no message on standard error"
    elif ! sta_off "$bssid"; then
        bad "the station is associated with $bssid all the same"
    else
        good
    fi
}

# Without a supplicant nobody can do WPA2's handshake: the utility must fail and say what is missing.
check_wpa2_refused() {
    begin "join WPA2 with nobody running $STA: refused, naming wpa_supplicant"
    ctl connect --ssid "$WPA2_SSID" --passphrase "$WPA2_PASSPHRASE"
    if [ "$CTL_RC" -ne 1 ]; then
        bad "exit $CTL_RC, not 1 (failed)"
    elif ! grep -qi supplicant "$CTL_ERR"; then
        bad "the message does not name wpa_supplicant"
    elif ! sta_off "$WPA2_BSSID"; then
        bad "the station is associated with $WPA2_BSSID all the same"
    else
        good
    fi
}

# probe ARGS...: hwsim_probe join ARGS, its JSON in $CTL_OUT (the attempt followed to its end).
probe() {
    say "\$ hwsim_probe join $*"
    timeout "$CTL_TIMEOUT" hwsim_probe join "$@" >"$CTL_OUT" 2>"$CTL_ERR"
    CTL_RC=$?
    cat "$CTL_OUT" >>"$EVIDENCE"
    sed 's/^/stderr: /' "$CTL_ERR" >>"$EVIDENCE"
}

# The join state (OID_JOIN_STATE) through the library itself: the request that starts an attempt
# answers at once, and the attempt ends with the cause of its failure; the interface goes back to
# the network it was on where the way of control can do that.
check_join_state() {
    local restore=false
    # wpa_supplicant keeps the utility's entry of the last join until a new attempt has ended.
    [ "$STAGE_MANAGER" = wpa_supplicant ] && restore=true
    if [ "$STAGE_WPA2" = join ]; then
        begin "join state: a wrong passphrase is started at once and ends refused as a wrong key"
        probe --ssid "$WPA2_SSID" --passphrase another-wrong-passphrase
        verdict "$(jwhy --argjson r "$restore" '
            if .status != 2 then "the request answered \(.status), not 2 (started)"
            elif .answered_seconds > 3 then "the request took \(.answered_seconds) s to answer"
            elif .state != "failed" or .cause != "wrong_key" then "the attempt ended \(.state) (\(.cause))"
            elif .seconds > 15 then "the refusal took \(.seconds) s"
            elif $r and .restored != true then "the previous network was not restored"
            else "ok" end')"
    else
        begin "join state: WPA2 without a supplicant fails at once, naming what would join it"
        probe --ssid "$WPA2_SSID" --passphrase "$WPA2_PASSPHRASE"
        verdict "$(jwhy '
            if .status == 2 then "the attempt started"
            elif .answered_seconds > 3 then "the request took \(.answered_seconds) s to answer"
            elif .state != "failed" or .cause != "unsupported" then "the attempt ended \(.state) (\(.cause))"
            elif (.detail | test("wpa_supplicant")) | not then "the detail does not name wpa_supplicant"
            else "ok" end')"
    fi

    begin "join state: a network that is not there ends as not found"
    probe --ssid WavoryMissing
    verdict "$(jwhy --argjson r "$restore" '
        if .state != "failed" or .cause != "not_found" then "the attempt ended \(.state) (\(.cause))"
        elif $r and .restored != true then "the previous network was not restored"
        else "ok" end')"
}

# ---- the connection history ----

# history: a running watch records the connection and the access point's deauthentication with its
# reason code (7) in words, whoever runs the interface; wavoryctl history shows both.
check_history() {
    begin "history: a watch records the connection and the access point's deauthentication (reason 7)"
    if ! join_open; then
        bad "could not join $OPEN_SSID first"
        return 1
    fi
    local sta_mac watch why
    sta_mac=$(cat "/sys/class/net/$STA/address")
    wavoryctl watch --seconds 90 >/tmp/watch-history.out 2>&1 &
    watch=$!
    # The polling thread's quiet time after its start, then its first look at the link.
    sleep 8
    run ap hostapd_cli -p /run/hostapd -i "$OPEN_IF" deauthenticate "$sta_mac" reason=7
    # Recorded at the next look that sees the link go (or come back).
    until_ok 40 sh -c "wavoryctl history --json --since 10m --network '$OPEN_SSID' |
        jq -e '[.events[] | select(.kind == \"disconnect\" and .reason == 7)] | length > 0'"
    kill -TERM "$watch" 2>/dev/null
    wait "$watch"
    say "watch: $(tail -n 3 /tmp/watch-history.out)"
    ctl history --since 10m --network "$OPEN_SSID"
    why=$(jwhy --arg b "$OPEN_BSSID" '
        [.events[] | select(.kind == "connect" and (.bssid | mac) == ($b | mac))] as $on |
        [.events[] | select(.kind == "disconnect" and .reason == 7)] as $off |
        if ($on | length) == 0 then "no connection to \($b) recorded"
        elif ($off | length) == 0 then "no disconnect with reason 7 recorded"
        elif ($off | length) > 1 then "the disconnect was recorded \($off | length) times"
        elif $off[0].initiator != "access-point" then "initiator \($off[0].initiator), not access-point"
        elif ($off[0].detail | test("forgot")) | not then "detail \($off[0].detail) does not say it in words"
        elif ($off[0].bssid | mac) != ($b | mac) then "the disconnect names \($off[0].bssid), not \($b)"
        else "ok" end')
    verdict "$why"
}

# ---- leaving a network, and a network that hides its name ----

# disconnect: the station leaves the open network and stays away (nothing joins it again behind the
# user's back), and status says so.
check_disconnect() {
    begin "disconnect: the station leaves $OPEN_SSID and stays off it"
    if ! join_open; then
        bad "could not join $OPEN_SSID first"
        return 1
    fi
    if ! ctl disconnect; then
        bad "disconnect failed (exit $CTL_RC): $(ctl_message)"
    elif ! until_ok 10 sh -c "! iw dev $STA link | grep -q '^Connected'" || ! sta_off "$OPEN_BSSID"; then
        run iw dev "$STA" link
        stage_state >>"$EVIDENCE" 2>&1
        bad "the station is still (or again) associated with $OPEN_BSSID"
    elif ! ctl status || ! jt '.connected != true'; then
        bad "status does not say not connected"
    else
        good
    fi
}

# sta_address_now: the station interface's hardware address as the kernel has it.
sta_address_now() { cat "/sys/class/net/$STA/address"; }
# local_unicast MAC: locally administered (second-lowest bit of the first byte) and not a group address.
local_unicast() { [ $(((0x${1%%:*} & 3) == 2)) = 1 ]; }

# check_random_address: a profile that asks for a new random address joins the open network with a
# locally administered address that is not the radio's own, status says so, and a profile with the
# device's own address brings the radio's address back.
check_random_address() {
    local own now
    # The radio's own address; the interface's may be a made-up one already (an earlier stage's,
    # NetworkManager's scans).
    own=$(cat "/sys/class/net/$STA/phy80211/macaddress" 2>/dev/null || sta_address_now)
    begin "random address: the open network is joined with a random, locally administered address"
    ctl profiles new --name RandomAddr --ssid "$OPEN_SSID" --mode infrastructure --mac random >/dev/null
    ctl connect RandomAddr
    if connected_to "$OPEN_BSSID"; then
        now=$(sta_address_now)
        if same_mac "$now" "$own"; then
            bad "the station still uses its own address $own"
        elif ! local_unicast "$now"; then
            bad "$now is not a locally administered unicast address"
        elif ! ctl status || ! jt '.mac_random == true and (.mac_address | ascii_downcase) == $m' --arg m "$now"; then
            bad "status does not show the random address $now"
        else
            good
        fi
    fi
    begin "random address: a profile with the device's own address joins with $own again"
    ctl profiles new --name OwnAddr --ssid "$OPEN_SSID" --mode infrastructure --mac device >/dev/null
    ctl connect OwnAddr
    if connected_to "$OPEN_BSSID"; then
        if ! until_ok 10 sh -c "[ \"\$(cat /sys/class/net/$STA/address)\" = \"$own\" ]"; then
            bad "the station uses $(sta_address_now), not its own $own"
        elif ! ctl status || ! jt '.mac_random == false'; then
            bad "status says the address is random"
        else
            good
        fi
    fi
}

# check_stable_address: a profile with a stable address joins the open network with the same made-up
# address each time, and another network's profile with another one.
check_stable_address() {
    local own first again other
    own=$(cat "/sys/class/net/$STA/phy80211/macaddress" 2>/dev/null || sta_address_now)
    begin "stable address: the same at each join of $OPEN_SSID, another on $WEP64_SSID"
    ctl profiles new --name StableOpen --ssid "$OPEN_SSID" --mode infrastructure --mac stable >/dev/null
    ctl profiles new --name StableWep --ssid "$WEP64_SSID" --mode infrastructure --mac stable \
        --security wep --key1 "$WEP64_KEY" --active-key 1 >/dev/null
    ctl connect StableOpen
    connected_to "$OPEN_BSSID" || return 1
    first=$(sta_address_now)
    ctl connect StableWep
    connected_to "$WEP64_BSSID" || return 1
    other=$(sta_address_now)
    ctl connect StableOpen
    connected_to "$OPEN_BSSID" || return 1
    again=$(sta_address_now)
    if same_mac "$first" "$own" || ! local_unicast "$first"; then
        bad "$OPEN_SSID was joined with $first, not a made-up address (own: $own)"
    elif ! same_mac "$again" "$first"; then
        bad "the second join of $OPEN_SSID used $again, the first $first"
    elif same_mac "$other" "$first" || same_mac "$other" "$own"; then
        bad "$WEP64_SSID was joined with $other ($OPEN_SSID: $first, own: $own)"
    else
        good
    fi
}

# connect --hidden: a WPA2 network whose beacons carry no name is joined by name, with its
# passphrase read from a file, and traffic crosses.
check_hidden_join() {
    local secret=/tmp/hidden-passphrase
    printf '%s\n' "$HIDDEN_PASSPHRASE" >"$secret"
    check_join "hidden WPA2" "$HIDDEN_SSID" "$HIDDEN_BSSID" "$OPEN_CHANNEL" "$HIDDEN_NET" \
        --hidden --security wpa2 --passphrase-file "$secret"
    rm -f "$secret"
}

# ---- traffic ----

check_traffic() {
    local net=$1 rx0 tx0 rx_idle tx_idle pinger
    begin "traffic: the received and sent counters grow with a ping"
    if ctl status; then
        rx0=$(jv '.received // 0')
        tx0=$(jv '.sent // 0')
        run ping -q -c 20 -i 0.05 -s 1000 "$net.1"
        ctl status
        verdict "$(jwhy --argjson r "$rx0" --argjson t "$tx0" '
            if (.received | type) != "number" or .received <= $r
              then "received went from \($r) to \(.received | tojson)"
            elif (.sent | type) != "number" or .sent <= $t then "sent went from \($t) to \(.sent | tojson)"
            else "ok" end')"
    else
        bad "wavoryctl status failed (exit $CTL_RC): $(ctl_message)"
    fi

    begin "traffic: stats shows receive and send rates grow under a ping"
    if ! ctl stats --seconds 2; then
        bad "wavoryctl stats failed (exit $CTL_RC): $(ctl_message)"
        return
    fi
    rx_idle=$(jv '.receive_kbps // 0')
    tx_idle=$(jv '.send_kbps // 0')
    ping -q -A -w 6 -s 1400 "$net.1" >/dev/null 2>&1 &
    pinger=$!
    ctl stats --seconds 3
    wait "$pinger"
    verdict "$(jwhy --argjson r "$rx_idle" --argjson t "$tx_idle" '
        if (.receive_kbps | type) != "number" or .receive_kbps <= $r
          then "the receive rate went from \($r) to \(.receive_kbps | tojson) KB/s"
        elif (.send_kbps | type) != "number" or .send_kbps <= $t
          then "the send rate went from \($t) to \(.send_kbps | tojson) KB/s"
        else "ok" end')"
}

# ---- benchmark ----

# The status page's refresh and one scan merge on the station, joined to the open network. The
# figures go to the console ("--- bench" and the BM_ lines), which run.sh repeats at its end.
check_bench() {
    local rc
    begin "benchmark: the status page's refresh and a scan merge run on $STA"
    echo "--- bench ($STAGE, $STA joined to $OPEN_SSID)"
    bench_adapter --benchmark_min_time=0.2 >/tmp/bench.out 2>&1
    rc=$?
    grep -E '^(adapter:|BM_)' /tmp/bench.out
    say "$(cat /tmp/bench.out)"
    if [ $rc -ne 0 ]; then
        bad "the benchmark failed (exit $rc)"
    elif grep -q 'ERROR OCCURRED' /tmp/bench.out; then
        bad "$(grep -m 1 'ERROR OCCURRED' /tmp/bench.out)"
    elif ! grep -q '^BM_StatusPageRefresh' /tmp/bench.out || ! grep -q '^BM_ScanMerge' /tmp/bench.out; then
        bad "a benchmark did not run"
    else
        good
    fi
}

# ---- ad hoc ----

check_adhoc() {
    begin "ad hoc: joins the cell $PEER_SSID on channel $PEER_CHANNEL ($PEER_BSSID)"
    if ! ctl connect --ssid "$PEER_SSID" --mode adhoc --channel "$PEER_CHANNEL"; then
        bad "connect failed (exit $CTL_RC): $(ctl_message)"
    elif ! until_ok 20 sta_on "$PEER_BSSID"; then
        run iw dev "$STA" link
        bad "the station is not in the peer's cell"
    elif ! run iw dev "$STA" info || ! grep -q 'type IBSS' "$EVIDENCE" ||
        ! grep -q "channel $PEER_CHANNEL ($PEER_FREQ MHz)" "$EVIDENCE"; then
        bad "the interface is not in ad-hoc mode on $PEER_FREQ MHz"
    else
        good
    fi

    begin "ad hoc: status shows the cell, ad-hoc mode and channel $PEER_CHANNEL"
    if ctl status; then
        verdict "$(status_shows "$PEER_SSID" "$PEER_BSSID" "$PEER_CHANNEL" '^(ad.?hoc|ibss)$')"
    else
        bad "wavoryctl status failed (exit $CTL_RC): $(ctl_message)"
    fi

    begin "ad hoc: traffic crosses to the peer (ping $PEER_NET.1)"
    sta_address "$PEER_NET"
    if run ping -c 4 -i 0.5 -W 5 "$PEER_NET.1"; then good; else bad "no answer from the peer"; fi
}

# A profile's ad-hoc network that nobody has started yet: the station starts the cell itself, on
# the profile's channel.
check_adhoc_new_cell() {
    begin "ad hoc: a profile starts a new cell on its own channel (9, 2452 MHz)"
    if ! ctl profiles new --name Cell9 --ssid WavoryCell --mode adhoc --channel 9 --security none; then
        bad "profiles new failed (exit $CTL_RC): $(ctl_message)"
    elif ! ctl connect Cell9; then
        bad "connect Cell9 failed (exit $CTL_RC): $(ctl_message)"
    elif ! until_ok 20 sh -c "iw dev $STA info | grep -q 'channel 9 (2452 MHz)' &&
            iw dev $STA link | grep -q 'Joined IBSS'"; then
        run iw dev "$STA" info
        run iw dev "$STA" link
        bad "the station did not start a cell on channel 9"
    elif ! run iw dev "$STA" info || ! grep -q 'ssid WavoryCell' "$EVIDENCE"; then
        bad "the cell's SSID is not WavoryCell"
    else
        good
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
            verdict "$(jwhy 'if '"$JQ_NOT_READY"' | not then "the radio status is \(.radio_status | tojson)"
                elif .connected != false then "connected is \(.connected | tojson)" else "ok" end')"
        else
            bad "wavoryctl status failed (exit $CTL_RC): $(ctl_message)"
        fi
    fi

    begin "rfkill: unblocked, the radio is ready and the station joins again"
    [ -n "$soft" ] && echo 0 >"$soft"
    stage_unblocked >>"$EVIDENCE" 2>&1
    if ! until_ok 10 sh -c "wavoryctl status --json | jq -e '$JQ_READY'"; then
        ctl status
        bad "the radio status did not return to ready"
    elif ! join_open; then
        run iw dev "$STA" link
        stage_state >>"$EVIDENCE" 2>&1
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
        if [ -s "$CTL_ERR" ]; then good; else bad "no message on standard error"; fi
    elif [ "$CTL_RC" -eq 0 ]; then
        verdict "$(jwhy 'if .connected == false and .radio_status == null then "ok"
            else "status still reads a connection or a radio" end')"
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
        stage_state >>"$EVIDENCE" 2>&1
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
    elif ! ctl watch --seconds 30; then
        bad "watch failed (exit $CTL_RC): $(ctl_message)"
    elif ! run iw dev "$STA" link || ! sta_on "$SHARED_BSSID"; then
        stage_state >>"$EVIDENCE" 2>&1
        bad "the station is not associated with $SHARED_SSID ($SHARED_BSSID)"
    else
        # watch --json streams a status line each second: the last one is how it ended.
        tail -n 1 "$CTL_OUT" >/tmp/watch-last.json && cp /tmp/watch-last.json "$CTL_OUT"
        verdict "$(jwhy --arg s "$SHARED_SSID" \
            'if .ssid == $s then "ok" else "watch ends showing \(.ssid | tojson)" end')"
    fi
}
