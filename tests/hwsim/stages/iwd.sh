# Stage "iwd": iwd runs the station interface, as on systems without wpa_supplicant or
# NetworkManager. The utility makes its changes through iwd's D-Bus API; the hooks are described in
# supplicant.sh. iwd's own D-Bus policy answers root and the group netdev, which the guest's user
# without rights is not in. iwd has no WEP and takes 802.1X networks only from files root writes: its
# own list of checks joins what iwd joins and checks that the rest is refused with a reason.
STAGE_MANAGER=iwd
STAGE_RIGHT=netdev
STAGE_WPA2=join
export PATH=/usr/libexec:/bin:/sbin:/usr/bin:/usr/sbin
# The library names iwd's answers on standard error: evidence when a check fails.
export WAVORY_KCCL_TRACE=1
IWD_PID=
# Two known networks of the user's, made before the utility starts: one out of range, one in range
# that iwd does not join by itself. Both must be there as they were after the stage, and nothing else.
IWD_DIR=/var/lib/iwd

iwd_runs_sta() { iwctl station list 2>/dev/null | grep -q "$STA"; }
iwd_files() { (cd "$IWD_DIR" && md5sum -- * 2>/dev/null); }

stage_start() {
    mkdir -p /run/dbus "$IWD_DIR"
    # An earlier stage's bus has left its socket: the wait below must see this one's.
    rm -f /run/dbus/system_bus_socket
    dbus-daemon --system --fork --nopidfile --nosyslog || return 1
    until_ok 10 test -S /run/dbus/system_bus_socket || return 1
    printf '[Security]\nPassphrase=user-kept-passphrase\n' >"$IWD_DIR/UserKept.psk"
    printf '[Settings]\nAutoConnect=false\n' >"$IWD_DIR/$TWIN_SSID.open"
    iwd_files >/tmp/iwd-before
    # Only the station: the spare interface stays nobody's.
    iwd -i "$STA" >/tmp/iwd.log 2>&1 &
    IWD_PID=$!
    if ! until_ok 30 iwd_runs_sta; then
        tail -n 30 /tmp/iwd.log
        return 1
    fi
}

stage_stop() {
    [ -n "$IWD_PID" ] && kill "$IWD_PID" 2>/dev/null && until_ok 10 sh -c "! kill -0 $IWD_PID 2>/dev/null"
    killall dbus-daemon 2>/dev/null
    rm -rf "${IWD_DIR:?}"/*
    return 0
}

stage_drop_link() { iwctl station "$STA" disconnect >/dev/null; }

# The interface is back: iwd takes it again.
stage_returned() { until_ok 30 iwd_runs_sta; }

# iwd follows the radio switch itself.
stage_unblocked() { :; }

stage_state() {
    echo "--- iwd's state"
    iwctl station "$STA" show
    ls -l "$IWD_DIR"
    tail -n 25 /tmp/iwd.log
}

stage_run() {
    check_adapters
    check_idle_status
    check_rights
    check_scan
    check_join "open" "$OPEN_SSID" "$OPEN_BSSID" "$OPEN_CHANNEL" "$OPEN_NET" &&
        check_traffic "$OPEN_NET"
    check_iwd_wrong_passphrase
    check_iwd_wpa3_wrong_passphrase
    check_iwd_wpa2
    check_join_state
    check_iwd_refusals
    check_hidden_join
    check_iwd_user_network
    check_iwd_band_choice
    check_disconnect
    check_iwd_nothing_left
    check_hotspot_refused "iwctl ap"
}

# iwd connects to networks, never to one access point: a pin is refused with that reason and joins
# nothing; a band preference joins, saying that iwd's own ranking chose the access point.
check_iwd_band_choice() {
    ctl disconnect >/dev/null 2>&1
    ctl scan --view ap --timeout 60 >/dev/null 2>&1
    ctl profiles rm TwinPinned >/dev/null 2>&1
    ctl profiles rm TwinFive >/dev/null 2>&1
    begin "iwd: a profile pinned to one access point is refused, saying iwd connects to networks only"
    ctl profiles new --name TwinPinned --ssid "$TWIN_SSID" --mode infrastructure --pin-bssid "$TWIN24_BSSID" \
        >/dev/null 2>&1
    ctl connect TwinPinned
    if [ "$CTL_RC" -ne 1 ]; then
        bad "exit $CTL_RC, not 1 (failed)"
    elif ! jt '.reason == "unsupported"'; then
        bad "the reason is $(jv .reason), not unsupported"
    elif ! grep -q "connects to a network" "$CTL_ERR"; then
        bad "the message does not give iwd's reason: $(ctl_message)"
    elif ! sta_off "$TWIN24_BSSID" || sta_on "$TWIN5_BSSID"; then
        bad "the station joined $(sta_link) all the same"
    else
        good
    fi

    begin "iwd: a profile preferring 5 GHz joins, noting that iwd's own ranking chose the access point"
    ctl profiles new --name TwinFive --ssid "$TWIN_SSID" --mode infrastructure --prefer-band 5ghz >/dev/null 2>&1
    ctl connect TwinFive
    if [ "$CTL_RC" -ne 0 ]; then
        bad "connect failed (exit $CTL_RC): $(ctl_message)"
    elif ! jt '.note | test("\\[Rank\\]")'; then
        bad "no note of iwd's ranking: $(jv .note)"
    else
        good
    fi
    ctl disconnect >/dev/null 2>&1
    ctl profiles rm TwinPinned >/dev/null 2>&1
    ctl profiles rm TwinFive >/dev/null 2>&1
}

check_iwd_wrong_passphrase() {
    local secret=/tmp/wrong-passphrase
    begin "iwd: a wrong passphrase from a file ends as wrong_key, and the station is back on $OPEN_SSID"
    if ! join_open; then
        bad "could not join $OPEN_SSID first"
        return 1
    fi
    printf '%s\n' wrong-passphrase-iwd >"$secret"
    ctl connect --ssid "$WPA2_SSID" --passphrase-file "$secret"
    rm -f "$secret"
    refused_and_back wrong_key "$OPEN_BSSID"
}

# A refused WPA3 (SAE) password ends as wrong_key as a refused WPA2 one does (iwd answers both with
# Failed after one passphrase request), and the station is back where it was: on 5 GHz from the open
# network; on 6 GHz from Wavory5G, twice. iwd scans 6 GHz apart from the other bands: the join by
# name must wait for that part rather than call the network not in range.
check_iwd_wpa3_wrong_passphrase() {
    local secret=/tmp/wrong-sae good_secret=/tmp/sae-passphrase try
    printf 'not-the-sae-passphrase\n' >"$secret"
    printf '%s\n' "$SAE_PASSPHRASE" >"$good_secret"
    begin "iwd: a wrong WPA3 passphrase for $FIVE_SSID ends as wrong_key, and the station is back on $OPEN_SSID"
    if join_open; then
        ctl connect --ssid "$FIVE_SSID" --passphrase-file "$secret"
        refused_and_back wrong_key "$OPEN_BSSID"
    else
        bad "could not join $OPEN_SSID first"
    fi

    ctl connect --ssid "$FIVE_SSID" --passphrase-file "$good_secret"
    for try in 1 2; do
        begin "iwd: a wrong WPA3 passphrase for $SIX_SSID (6 GHz, try $try) ends as wrong_key, and the station is back on $FIVE_SSID"
        if ! until_ok 15 sta_on "$FIVE_BSSID"; then
            bad "not on $FIVE_SSID first"
            continue
        fi
        ctl connect --ssid "$SIX_SSID" --passphrase-file "$secret"
        # What iwd and the kernel had heard, for the evidence.
        run iwctl station "$STA" get-networks
        iw dev "$STA" scan dump | grep -E "^BSS|SSID:|freq:" >>"$EVIDENCE"
        tail -n 10 /tmp/iwd.log >>"$EVIDENCE"
        refused_and_back wrong_key "$FIVE_BSSID"
    done
    rm -f "$secret" "$good_secret"
}

# WPA2 with the passphrase from a file; no process shows it on its command line meanwhile.
check_iwd_wpa2() {
    local secret=/tmp/wpa2-passphrase
    printf '%s\n' "$WPA2_PASSPHRASE" >"$secret"
    cmdline_sampler
    check_join "WPA2" "$WPA2_SSID" "$WPA2_BSSID" "$WPA2_CHANNEL" "$WPA2_NET" --passphrase-file "$secret"
    cmdline_sampler_stop
    rm -f "$secret"
    begin "iwd: no process showed the passphrase on its command line during the join"
    say "$(grep -c . "$CMDLINES") samples"
    if grep -qF "$WPA2_PASSPHRASE" "$CMDLINES"; then
        bad "the passphrase was on a command line"
    else
        good
    fi
}

# scan_until_heard BSSID: a fresh scan that heard the access point (the emulation misses one now and
# then): the command joins only what the last scan heard. An earlier stage's list is no evidence here.
scan_until_heard() {
    local tries=0
    until ctl scan --view ap --timeout 90 &&
        jt 'any(.stations[]; (.bssid | ascii_downcase | gsub("[:-]"; "")) == $b)' --arg b "$(mac "$1")"; do
        tries=$((tries + 1))
        [ "$tries" -ge 3 ] && break
    done
}
scan_until_corp() { scan_until_heard "$CORP_BSSID"; }

check_iwd_refusals() {
    rm -f /tmp/today-scan.json
    scan_until_corp
    check_eap_scan
    begin "iwd: a WEP network is refused at once, saying iwd has no WEP"
    ctl connect --ssid "$WEP64_SSID" --key "$WEP64_KEY"
    if [ "$CTL_RC" -ne 1 ]; then
        bad "exit $CTL_RC, not 1 (failed)"
    elif ! grep -q WEP "$CTL_ERR"; then
        bad "the message does not name WEP: $(ctl_message)"
    elif ! sta_off "$WEP64_BSSID"; then
        bad "the station is associated with $WEP64_BSSID all the same"
    else
        good
    fi

    # The checks between may have outlived that scan's results: the refusal is about iwd, not range.
    scan_until_corp
    begin "iwd: an 802.1X network is refused, naming iwd's provisioning file"
    eap_connect --eap peap --identity "$CORP_USER" --password-file "$EAP_PASSWORD_FILE" \
        --ca-cert "$EAP_DIR/ca.pem"
    if [ "$CTL_RC" -ne 1 ]; then
        bad "exit $CTL_RC, not 1 (failed)"
    elif ! grep -qF "$IWD_DIR/$CORP_SSID.8021x" "$CTL_ERR"; then
        bad "the message does not name $IWD_DIR/$CORP_SSID.8021x: $(ctl_message)"
    elif ! sta_off "$CORP_BSSID"; then
        bad "the station is associated with $CORP_BSSID all the same"
    else
        good
    fi
}

# A known network of the user's is joined with what iwd keeps, and stays known after a disconnect.
check_iwd_user_network() {
    begin "iwd: the user's known network $TWIN_SSID is joined, and kept after a disconnect"
    ctl connect --ssid "$TWIN_SSID"
    if [ "$CTL_RC" -ne 0 ] || ! until_ok 20 sh -c "iw dev $STA link | grep -q 'SSID: $TWIN_SSID'"; then
        stage_state >>"$EVIDENCE" 2>&1
        bad "could not join $TWIN_SSID (exit $CTL_RC): $(ctl_message)"
    elif ! ctl disconnect; then
        bad "disconnect failed (exit $CTL_RC): $(ctl_message)"
    elif [ ! -f "$IWD_DIR/$TWIN_SSID.open" ]; then
        run ls -l "$IWD_DIR"
        bad "the user's $TWIN_SSID.open is gone"
    else
        good
    fi
}

check_iwd_nothing_left() {
    begin "iwd: $IWD_DIR holds the user's networks as they were, and nothing of the utility's"
    iwd_files >/tmp/iwd-after
    run cat /tmp/iwd-before /tmp/iwd-after
    if cmp -s /tmp/iwd-before /tmp/iwd-after; then good; else bad "$IWD_DIR changed"; fi
}
