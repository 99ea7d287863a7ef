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
# The guest's wpa_supplicant (2.10) keeps no address per network (the join says so; 2.11 takes the
# utility's stable one): a stable address is checked where the utility or NetworkManager makes it.
STAGE_SKIP="check_stable_address"
WPAS_CONF=/tmp/wpa_supplicant.conf
WPAS_PID=/run/wpa_supplicant-$STA.pid

# The supplicant makes its socket before it writes its PID file: both, so that stage_stop finds it.
wpas_start() {
    mkdir -p /run/wpa_supplicant
    wpa_supplicant -B -i "$STA" -D nl80211 -c "$WPAS_CONF" -P "$WPAS_PID" -f /tmp/wpa_supplicant.log &&
        until_ok 10 test -S "/run/wpa_supplicant/$STA" && until_ok 10 test -s "$WPAS_PID"
}

wpas_running() { [ -f "$WPAS_PID" ] && kill -0 "$(cat "$WPAS_PID")" 2>/dev/null; }

stage_start() {
    # The Debian layout: sockets under /run/wpa_supplicant, owned by the group netdev.
    printf 'ctrl_interface=DIR=/run/wpa_supplicant GROUP=netdev\nupdate_config=0\n' >"$WPAS_CONF"
    : >/tmp/wpa_supplicant.log
    wpas_start
}

stage_stop() {
    local pid
    if wpas_running; then
        pid=$(cat "$WPAS_PID")
        kill "$pid"
        # A supplicant slow to leave (under emulation) must not outlive its stage.
        until_ok 10 sh -c "! kill -0 $pid 2>/dev/null" || { kill -KILL "$pid"; sleep 1; }
    fi
    rm -f "$WPAS_PID" "/run/wpa_supplicant/$STA"
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

# ---- the user's own networks ----

# A supplicant with many saved networks of the user's: more than one 4096-byte LIST_NETWORKS reply
# holds (150), every seventh disabled on purpose. Whatever becomes of an attempt,
# every one of them keeps its enabled state, and SAVE_CONFIG writes no failed attempt's entry or
# secret.
USERS_CONF=/tmp/wpa_supplicant-users.conf
USERS_EXPECTED=/tmp/users-expected

users_start() {
    local i
    {
        printf 'ctrl_interface=DIR=/run/wpa_supplicant GROUP=netdev\nupdate_config=1\n'
        # Open and WPA2 networks; a WPA2 one with its key in hex, which spares the supplicant deriving
        # 150 keys from passphrases (slow under emulation).
        for i in $(seq 1 150); do
            printf 'network={\n\tssid="users-saved-network-number-%03d"\n' "$i"
            if [ $((i % 5)) -eq 0 ]; then
                printf '\tpsk=%064d\n' "$i"
            else
                printf '\tkey_mgmt=NONE\n'
            fi
            [ $((i % 7)) -eq 3 ] && printf '\tdisabled=1\n'
            printf '}\n'
        done
    } >"$USERS_CONF"
    # "ssid disabled" of each entry, as the configuration says.
    users_entries "$USERS_CONF" >"$USERS_EXPECTED"
    stage_stop
    run wpa_supplicant -B -i "$STA" -D nl80211 -c "$USERS_CONF" -P "$WPAS_PID" -f /tmp/wpa_supplicant.log &&
        until_ok 10 test -S "/run/wpa_supplicant/$STA" && until_ok 10 test -s "$WPAS_PID" ||
        { tail -n 20 /tmp/wpa_supplicant.log >>"$EVIDENCE"; return 1; }
}

# users_entries FILE: "ssid disabled" of every entry of a configuration file that is not the
# utility's (id_str "wavory").
users_entries() {
    awk '/^network=\{/ { ssid = ""; dis = 0; own = 0 }
         /^\tssid=/ { ssid = substr($0, 7) }
         /^\tdisabled=1/ { dis = 1 }
         /^\tid_str="wavory"/ { own = 1 }
         /^\}/ { if (!own) print ssid, dis }' "$1"
}

# users_kept WHAT: the supplicant's saved configuration holds the user's entries as they were, at most
# one entry of the utility's and no secret of a failed attempt.
users_kept() {
    local own
    run wpa_cli -p /run/wpa_supplicant -i "$STA" save_config || { bad "SAVE_CONFIG failed after $1"; return; }
    users_entries "$USERS_CONF" >/tmp/users-now
    own=$(grep -c '^\tid_str="wavory"' "$USERS_CONF")
    if ! cmp -s "$USERS_EXPECTED" /tmp/users-now; then
        diff "$USERS_EXPECTED" /tmp/users-now | head -n 20 >>"$EVIDENCE"
        bad "after $1 the user's entries changed ($(wc -l </tmp/users-now) of 150 kept as they were)"
    elif [ "$own" -gt 1 ]; then
        bad "after $1 the supplicant holds $own entries of the utility's"
    elif grep -q -e wrong-passphrase -e "$WPA2_PASSPHRASE" "$USERS_CONF"; then
        grep -n -e wrong-passphrase -e "$WPA2_PASSPHRASE" "$USERS_CONF" >>"$EVIDENCE"
        bad "after $1 a failed attempt's secret is in the saved configuration"
    else
        good
    fi
}

# The WPA2 access point stops answering (its beacons go on: the kernel sends them).
wpa2_ap_silent() { ap kill -STOP "$(cat /run/hostapd-wpa2.pid)"; }
wpa2_ap_back() { ap kill -CONT "$(cat /run/hostapd-wpa2.pid)"; }

# Two wavoryctl connect to two networks at once (as the window's auto-selection and a user's connect
# can meet): they take turns on the interface, the user's entries all come back as they were, at
# most the one entry of the utility's that the interface is on stays, and each exit status is true:
# the station ends on the network of the connect that succeeded last.
check_two_connects_at_once() {
    local order=/tmp/two-connects last
    # Run alone (HWSIM_ONLY), it starts the supplicant with the user's networks itself.
    if [ ! -s "$USERS_EXPECTED" ] && ! users_start; then
        fail "the user's networks: two connects at once" "wpa_supplicant did not start with them"
        return
    fi
    begin "the user's networks: two connects at once take turns and keep every one as it was"
    : >"$order"
    say "\$ wavoryctl connect --ssid $OPEN_SSID & wavoryctl connect --ssid $WPA2_SSID --passphrase ... &"
    local first second
    (
        timeout 120 wavoryctl connect --ssid "$OPEN_SSID" --json >/tmp/two-open.json 2>/tmp/two-open.err
        echo "$OPEN_BSSID $?" >>"$order"
    ) &
    first=$!
    (
        timeout 120 wavoryctl connect --ssid "$WPA2_SSID" --passphrase "$WPA2_PASSPHRASE" --json \
            >/tmp/two-wpa2.json 2>/tmp/two-wpa2.err
        echo "$WPA2_BSSID $?" >>"$order"
    ) &
    second=$!
    # Only these two: the user's supplicant is a child of this shell too.
    wait "$first" "$second"
    cat /tmp/two-open.err /tmp/two-wpa2.err "$order" >>"$EVIDENCE"
    last=$(awk '$2 == 0 { b = $1 } END { print b }' "$order")
    if [ "$(wc -l <"$order")" -ne 2 ]; then
        bad "a connect did not end"
    elif awk '$2 != 0 && $2 != 1 { bad = 1 } END { exit !bad }' "$order"; then
        bad "a connect ended with neither 0 nor 1"
    elif [ -z "$last" ]; then
        bad "neither connect joined"
    elif ! until_ok 20 sta_on "$last"; then
        run iw dev "$STA" link
        bad "the station is not on $last, where the connect that succeeded last said it joined"
    else
        # Back on the open network as before, so the WPA2 entry a successful join kept is replaced
        # and no passphrase is left for the checks that follow.
        ctl connect --ssid "$OPEN_SSID"
        until_ok 20 sta_on "$OPEN_BSSID" || say "(the station did not go back to $OPEN_SSID)"
        users_kept "two connects at once"
    fi
}

# Checks of this stage only, after the common ones (run_checks calls stage_checks when defined):
# leaving a network, a hidden one and networks carried in and out first, with the stage's own
# supplicant, then the user's networks.
stage_checks() {
    local pid
    check_disconnect
    check_hotspot_supplicant
    check_hidden_join
    check_stack_import
    check_uri_for_a_peer
    check_band_choice
    begin "the user's networks: a supplicant with 150 saved networks (some disabled) starts"
    if users_start; then good; else bad "wpa_supplicant did not start with them"; return; fi

    begin "the user's networks: a join keeps every one as it was"
    ctl connect --ssid "$OPEN_SSID"
    until_ok 20 sta_on "$OPEN_BSSID" || say "(the station did not join $OPEN_SSID)"
    users_kept "a join"

    begin "the user's networks: a refused join keeps every one as it was, and leaves no entry"
    ctl connect --ssid "$WPA2_SSID" --passphrase wrong-passphrase
    users_kept "a refused join"

    begin "the user's networks: a connect ended by SIGINT half-way keeps every one as it was"
    wpa2_ap_silent
    say "\$ wavoryctl connect --ssid $WPA2_SSID --passphrase ... &"
    wavoryctl connect --ssid "$WPA2_SSID" --passphrase "$WPA2_PASSPHRASE" >>"$EVIDENCE" 2>&1 &
    pid=$!
    # Half-way: the utility's entry is selected, which has disabled the user's first one.
    if until_ok 30 sh -c "wpa_cli -p /run/wpa_supplicant -i $STA get_network 0 disabled | grep -qx 1"; then
        kill -INT "$pid"
        wait "$pid"
        say "(wavoryctl ended with $?)"
        wpa2_ap_back
        users_kept "a connect ended by SIGINT"
    else
        kill -INT "$pid"
        wait "$pid"
        wpa2_ap_back
        bad "the attempt never got as far as selecting its entry"
    fi

    check_two_connects_at_once

    # An attempt allowed 1 s (WAVORY_JOIN_TIMEOUT_MS) to an access point that does not answer: the
    # supplicant's scans take longer than that to say it is not found.
    begin "the user's networks: a join that times out keeps every one as it was"
    wpa2_ap_silent
    export WAVORY_JOIN_TIMEOUT_MS=1000
    probe --ssid "$WPA2_SSID" --passphrase "$WPA2_PASSPHRASE"
    unset WAVORY_JOIN_TIMEOUT_MS
    wpa2_ap_back
    if ! jt '.state == "failed" and .cause == "timeout"'; then
        bad "the attempt ended $(jv .state) ($(jv .cause)), not timed out"
    else
        users_kept "a timeout"
    fi

    check_roam
    check_steer
}

# A roam: the access point in use goes away (hostapd disabled: it sends reason 3 to its stations),
# the supplicant moves to the network's other access point, and the history's recorder writes the
# access point's leaving and a roam from the first to the second, with its trigger and bands.
twin_on() { sta_on "$TWIN24_BSSID" || sta_on "$TWIN5_BSSID"; }

check_roam() {
    local rec why on from from_if to from_band to_band
    begin "history: the access point in use goes away; the move to the other is recorded as a roam (ap-gone)"
    # Joined by name only: a chosen access point (--channel) would hold the supplicant to it.
    if ! ctl connect --ssid "$TWIN_SSID" || ! until_ok 20 twin_on; then
        bad "could not join $TWIN_SSID first"
        return 1
    fi
    on=$(sta_link)
    if same_mac "$on" "$TWIN24_BSSID"; then
        from=$TWIN24_BSSID from_if=$TWIN24_IF to=$TWIN5_BSSID from_band="2.4 GHz" to_band="5 GHz"
    else
        from=$TWIN5_BSSID from_if=$TWIN5_IF to=$TWIN24_BSSID from_band="5 GHz" to_band="2.4 GHz"
    fi
    wavoryctl history --record >/tmp/record.out 2>&1 &
    rec=$!
    sleep 3
    run ap hostapd_cli -p /run/hostapd -i "$from_if" disable
    until_ok 60 sh -c "wavoryctl history --json --since 10m --network '$TWIN_SSID' |
        jq -e '[.events[] | select(.kind == \"roam\")] | length > 0'"
    run ap hostapd_cli -p /run/hostapd -i "$from_if" enable
    kill -TERM "$rec" 2>/dev/null
    wait "$rec"
    say "record: $(tail -n 2 /tmp/record.out)"
    ctl history --since 10m --network "$TWIN_SSID"
    why=$(jwhy --arg a "$from" --arg b "$to" --arg fa "$from_band" --arg tb "$to_band" '
        [.events[] | select(.kind == "roam")] as $r |
        [.events[] | select(.kind == "disconnect")] as $d |
        if ($r | length) == 0 then "no roam recorded"
        elif ($r[0].previous_bssid | mac) != ($a | mac) then "the roam left \($r[0].previous_bssid), not \($a)"
        elif ($r[0].bssid | mac) != ($b | mac) then "the roam went to \($r[0].bssid), not \($b)"
        elif $r[0].previous_band != $fa or $r[0].band != $tb then
            "bands \($r[0].previous_band) to \($r[0].band), not \($fa) to \($tb)"
        elif $r[0].trigger != "ap-gone" then "trigger \($r[0].trigger), not ap-gone"
        elif ($d | length) == 0 then "the access point leaving was not recorded"
        elif $d[-1].reason != 3 or $d[-1].initiator != "access-point" then
            "the drop says reason \($d[-1].reason) by \($d[-1].initiator), not 3 by the access point"
        else "ok" end')
    verdict "$why"
    ctl disconnect >/dev/null 2>&1
}

# The access point in use asks the station to move (an 802.11v BSS transition request naming the
# other one, disassociation imminent): the supplicant moves, and the recorder's roam says the access
# point asked (the library reads the supplicant's WNM lines for it).
check_steer() {
    local rec why on from_if to opclass chan freq sta try t0
    begin "history: the access point asks the station to move (BSS transition request); the roam says so (ap-request)"
    if ! ctl connect --ssid "$TWIN_SSID" || ! until_ok 20 twin_on; then
        bad "could not join $TWIN_SSID first"
        return 1
    fi
    on=$(sta_link)
    if same_mac "$on" "$TWIN24_BSSID"; then
        from_if=$TWIN24_IF to=$TWIN5_BSSID opclass=115 chan=$TWIN5_CHANNEL freq=5180
    else
        from_if=$TWIN5_IF to=$TWIN24_BSSID opclass=81 chan=$TWIN24_CHANNEL freq=2462
    fi
    sta=$(cat "/sys/class/net/$STA/address")
    wavoryctl history --record >/tmp/record-steer.out 2>&1 &
    rec=$!
    sleep 3
    t0=$(($(date +%s) * 1000 - 1000))
    # The supplicant moves only to a candidate its last scan heard; asked again after a scan of the
    # candidate's channel where it stayed.
    for try in 1 2 3; do
        [ "$try" -gt 1 ] && run wpa_cli -p /run/wpa_supplicant -i "$STA" scan freq="$freq"
        [ "$try" -gt 1 ] && sleep 4
        run ap hostapd_cli -p /run/hostapd -i "$from_if" bss_tm_req "$sta" pref=1 disassoc_imminent=1 \
            disassoc_timer=10 "neighbor=$to,0x0000,$opclass,$chan,7,0301ff"
        until_ok 12 sh -c "iw dev $STA link | grep -qi '$to'" && break
    done
    run sh -c "grep -E 'WNM|CTRL-EVENT-(CONNECTED|DISCONNECTED)' /tmp/wpa_supplicant.log | tail -n 12"
    until_ok 20 sh -c "wavoryctl history --json --since 2m --network '$TWIN_SSID' |
        jq -e '[.events[] | select(.kind == \"roam\" and .trigger == \"ap-request\")] | length > 0'"
    kill -TERM "$rec" 2>/dev/null
    wait "$rec"
    say "now on $(sta_link); record: $(tail -n 2 /tmp/record-steer.out)"
    ctl history --since 2m --network "$TWIN_SSID"
    # The move that answered the request: the first roam to the candidate since the request (the
    # supplicant may move back later, for the better signal of the other).
    why=$(jwhy --arg b "$to" --argjson t0 "$t0" '
        [.events[] | select(.kind == "roam" and .time_ms >= $t0 and (.bssid | mac) == ($b | mac))] as $r |
        if ($r | length) == 0 then "no roam to \($b) recorded"
        elif $r[0].trigger != "ap-request" then "trigger \($r[0].trigger), not ap-request"
        else "ok" end')
    verdict "$why"
    ctl disconnect >/dev/null 2>&1
}

# Networks of a wpa_supplicant.conf imported, and each joined through the utility.
check_stack_import() {
    local conf=/tmp/import-wpa.conf names name i=0 bssid
    begin "import: a wpa_supplicant.conf with three networks (open, WEP, WPA2) is imported"
    printf 'ctrl_interface=/run/wpa_supplicant\nnetwork={\n\tssid="%s"\n\tkey_mgmt=NONE\n\tpriority=1\n}\nnetwork={\n\tssid="%s"\n\tkey_mgmt=NONE\n\twep_key0=%s\n\twep_tx_keyidx=0\n}\nnetwork={\n\tssid="%s"\n\tpsk="%s"\n\tpriority=5\n\tid_str="Imported WPA2"\n}\n' \
        "$OPEN_SSID" "$WEP64_SSID" "$WEP64_KEY" "$WPA2_SSID" "$WPA2_PASSPHRASE" >"$conf"
    chmod 600 "$conf"
    if ! ctl profiles import --from wpa-supplicant "$conf"; then
        bad "import failed (exit $CTL_RC): $(ctl_message)"
        return
    fi
    names=$(jv '[.networks[].profile // ""] | join("\n")')
    if [ "$(printf '%s\n' "$names" | grep -c .)" -ne 3 ]; then
        bad "not every network became a profile: $(jv '.networks')"
        return
    fi
    good
    while IFS= read -r name; do
        i=$((i + 1))
        case $i in 1) bssid=$OPEN_BSSID ;; 2) bssid=$WEP64_BSSID ;; *) bssid=$WPA2_BSSID ;; esac
        begin "import: the imported profile \"$name\" joins its network"
        if ! ctl connect "$name"; then
            bad "connect failed (exit $CTL_RC): $(ctl_message)"
        elif ! until_ok 20 sta_on "$bssid"; then
            stage_state >>"$EVIDENCE" 2>&1
            bad "the station is not on $bssid"
        else
            good
        fi
        ctl profiles rm "$name" >/dev/null 2>&1
    done <<EOF_NAMES
$names
EOF_NAMES
    ctl disconnect >/dev/null 2>&1
}

# A profile shared as a Wi-Fi URI carries what another device needs: a second supplicant network,
# made from the URI's fields alone, joins the network.
check_uri_for_a_peer() {
    local uri ssid pass id
    begin "share: the URI of a WPA2 profile joins its network when another supplicant takes its fields"
    ctl profiles new --name Shared2 --ssid "$WPA2_SSID" --security wpa2 --passphrase "$WPA2_PASSPHRASE" >/dev/null
    if ! ctl profiles share Shared2 --uri --show-keys; then
        bad "share failed (exit $CTL_RC): $(ctl_message)"
        return
    fi
    uri=$(jv '.uri')
    ctl profiles rm Shared2 >/dev/null 2>&1
    ssid=$(printf '%s' "$uri" | sed -n 's/.*[:;]S:\([^;]*\);.*/\1/p')
    pass=$(printf '%s' "$uri" | sed -n 's/.*[:;]P:\([^;]*\);.*/\1/p')
    case $uri in WIFI:*T:WPA\;*) ;; *) bad "the URI is no WPA network's: $uri"; return ;; esac
    ctl disconnect >/dev/null 2>&1
    id=$(wpa_cli -p /run/wpa_supplicant -i "$STA" add_network | tail -n 1)
    # The key goes in on standard input, never on a command line.
    printf 'set_network %s ssid "%s"\nset_network %s psk "%s"\nselect_network %s\n' \
        "$id" "$ssid" "$id" "$pass" "$id" | wpa_cli -p /run/wpa_supplicant -i "$STA" >/dev/null
    if until_ok 30 sta_on "$WPA2_BSSID"; then
        good
    else
        stage_state >>"$EVIDENCE" 2>&1
        bad "the supplicant did not join $WPA2_SSID from the URI's fields ($ssid)"
    fi
    wpa_cli -p /run/wpa_supplicant -i "$STA" remove_network "$id" >/dev/null
    wpa_cli -p /run/wpa_supplicant -i "$STA" enable_network all >/dev/null
}
