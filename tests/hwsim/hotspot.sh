# The hotspot checks (sourced by the guest's /init; the stages call them from stage_checks): the
# station radio becomes an access point through `wavoryctl hotspot start`, and the world's wlan3 in
# netns "ap" joins it as a client (with wpa_supplicant), then goes back to being the ad-hoc peer.

HOTSPOT_SSID=WavoryHotspot
HOTSPOT_PASSFILE=/tmp/hotspot.pass
HOTSPOT_PASSPHRASE=hotspot-pass-2026
CLIENT_IF=$PEER_IF
CLIENT_PID=/run/hotspot-client.pid
CLIENT_CTRL=/tmp/wpa-hotspot-client

# The peer leaves its ad-hoc cell and becomes a station that joins the hotspot.
client_join() {
    ap iw dev "$CLIENT_IF" ibss leave 2>/dev/null
    ap ip link set "$CLIENT_IF" down
    ap iw dev "$CLIENT_IF" set type managed || return 1
    printf 'ctrl_interface=%s\nnetwork={\n ssid="%s"\n psk="%s"\n}\n' "$CLIENT_CTRL" "$HOTSPOT_SSID" \
        "$HOTSPOT_PASSPHRASE" >/tmp/hotspot-client.conf
    ap wpa_supplicant -B -i "$CLIENT_IF" -D nl80211 -c /tmp/hotspot-client.conf -P "$CLIENT_PID" \
        -f /tmp/hotspot-client.log || return 1
    until_ok 40 sh -c "$A wpa_cli -p $CLIENT_CTRL -i $CLIENT_IF status | grep -q wpa_state=COMPLETED"
}

# The client's supplicant goes (by its PID: the stage's own supplicant has the same name), and the
# peer's cell is back for the stages after this one.
client_back() {
    [ -s "$CLIENT_PID" ] && kill "$(cat "$CLIENT_PID")" 2>/dev/null
    until_ok 10 sh -c "! kill -0 $(cat "$CLIENT_PID" 2>/dev/null || echo 0) 2>/dev/null"
    rm -f "$CLIENT_PID"
    ap ip addr flush dev "$CLIENT_IF"
    ap ip link set "$CLIENT_IF" down
    ap iw dev "$CLIENT_IF" set type ibss
    ap ip link set "$CLIENT_IF" up
    ap iw dev "$CLIENT_IF" ibss join "$PEER_SSID" "$PEER_FREQ" fixed-freq
    until_ok 30 sh -c "$A iw dev $CLIENT_IF link | grep -q 'Joined IBSS'"
    ap ip addr add "$PEER_NET.1/24" dev "$CLIENT_IF"
    PEER_BSSID=$(peer_cell)
}

# hotspot_start: the utility's hotspot on the station, passphrase from a file; the station is an
# access point afterwards.
hotspot_start() {
    printf '%s\n' "$HOTSPOT_PASSPHRASE" >"$HOTSPOT_PASSFILE"
    if ! ctl hotspot start --ssid "$HOTSPOT_SSID" --passphrase-file "$HOTSPOT_PASSFILE"; then
        bad "hotspot start failed (exit $CTL_RC): $(ctl_message)"
    elif ! jt '.passphrase == null'; then
        bad "a passphrase was made although one was given"
    elif ! until_ok 10 sh -c "iw dev $STA info | grep -q 'type AP'"; then
        run iw dev "$STA" info
        bad "$STA is no access point"
    fi
}

# hotspot_lists_client: hotspot status lists the client by its address.
hotspot_lists_client() {
    local client
    client=$(ap_mac "$CLIENT_IF")
    say "client $CLIENT_IF is $client"
    until_ok 10 sh -c "wavoryctl hotspot status --json | jq -e --arg c $client '.clients | map(.address) | index(\$c)'" &&
        ctl hotspot status && jt '.running and .ours and (.clients | map(.address) | index($c))' --arg c "$client"
}

check_hotspot_nm() {
    local addr gw
    begin "NetworkManager: wavoryctl hotspot start; a client joins, gets an address from NetworkManager and pings across"
    if ! join_open; then
        bad "could not join $OPEN_SSID first"
    elif hotspot_start; then
        run nmcli -t -f NAME,TYPE,DEVICE connection show --active
        if ! client_join; then
            run ap cat /tmp/hotspot-client.log
            bad "the client did not associate"
        elif ! ap udhcpc -i "$CLIENT_IF" -n -q -t 10 -s /bin/true >/tmp/hotspot-dhcp.log 2>&1; then
            run cat /tmp/hotspot-dhcp.log
            bad "the client got no address from NetworkManager's DHCP server"
        else
            run cat /tmp/hotspot-dhcp.log
            addr=$(sed -n 's/.*lease of \([0-9.]*\) obtained.*/\1/p' /tmp/hotspot-dhcp.log | tail -n 1)
            gw=$(nmcli -g IP4.ADDRESS device show "$STA" | cut -d/ -f1)
            say "client address $addr, hotspot $gw"
            if [ -z "$addr" ] || [ -z "$gw" ]; then
                bad "no address (client \"$addr\", hotspot \"$gw\")"
            elif ! ap ip addr add "$addr/24" dev "$CLIENT_IF" || ! run ap ping -c 2 -W 3 "$gw"; then
                bad "no traffic from the client to the hotspot"
            elif ! hotspot_lists_client; then
                bad "hotspot status does not list the client: $(jv '.clients')"
            else
                good
            fi
        fi
    fi

    begin "NetworkManager: hotspot stop brings back the earlier connection and leaves no connection behind"
    if ! ctl hotspot stop; then
        bad "hotspot stop failed (exit $CTL_RC): $(ctl_message)"
    elif ! until_ok 30 sta_on "$OPEN_BSSID"; then
        stage_state >>"$EVIDENCE" 2>&1
        bad "the station is not back on $OPEN_SSID"
    elif nmcli -t -f NAME connection show | grep -q '^Wavory Hotspot$'; then
        run nmcli -t -f NAME,UUID,DEVICE connection show
        bad "the hotspot's connection is left"
    elif [ -n "$(ls -A /etc/NetworkManager/system-connections)" ]; then
        run ls -l /etc/NetworkManager/system-connections
        bad "a connection file is left"
    else
        good
    fi
    client_back || say "(the peer's cell did not come back)"
    ctl disconnect >/dev/null 2>&1
}

check_hotspot_supplicant() {
    begin "wpa_supplicant: wavoryctl hotspot start; a client associates, and the start says it gets no address"
    if ! join_open; then
        bad "could not join $OPEN_SSID first"
    elif hotspot_start; then
        if ! jt '.note | test("no addresses")'; then
            bad "the start does not say that clients get no addresses: $(jv '.note')"
        elif ! client_join; then
            run ap cat /tmp/hotspot-client.log
            run tail -n 20 /tmp/wpa_supplicant.log
            bad "the client did not associate"
        elif ! hotspot_lists_client; then
            bad "hotspot status does not list the client: $(jv '.clients')"
        else
            good
        fi
    fi

    begin "wpa_supplicant: hotspot stop removes its block and goes back to the earlier network"
    if ! ctl hotspot stop; then
        bad "hotspot stop failed (exit $CTL_RC): $(ctl_message)"
    elif ! until_ok 30 sta_on "$OPEN_BSSID"; then
        run wpa_cli -p /run/wpa_supplicant -i "$STA" list_networks
        bad "the station is not back on $OPEN_SSID"
    elif wpa_cli -p /run/wpa_supplicant -i "$STA" list_networks | grep -q "$HOTSPOT_SSID"; then
        run wpa_cli -p /run/wpa_supplicant -i "$STA" list_networks
        bad "the hotspot's block is left"
    else
        good
    fi
    client_back || say "(the peer's cell did not come back)"
}

# check_hotspot_refused WORDS: a way of control that runs no access point refuses the start with a
# message holding WORDS (why, or what to use instead); the station stays a station, and status says
# that no hotspot can start and why.
check_hotspot_refused() {
    begin "hotspot start is refused with the reason, and status says why none can start"
    printf '%s\n' "$HOTSPOT_PASSPHRASE" >"$HOTSPOT_PASSFILE"
    if ctl hotspot start --ssid "$HOTSPOT_SSID" --passphrase-file "$HOTSPOT_PASSFILE"; then
        bad "the start was not refused"
        ctl hotspot stop >/dev/null 2>&1
    elif [ "$CTL_RC" -ne 1 ]; then
        bad "exit $CTL_RC, not 1"
    elif ! grep -q "$1" "$CTL_ERR"; then
        bad "the message does not say \"$1\": $(ctl_message)"
    elif iw dev "$STA" info | grep -q 'type AP'; then
        bad "$STA became an access point"
    elif ! ctl hotspot status; then
        bad "hotspot status failed (exit $CTL_RC): $(ctl_message)"
    elif ! jt '.running == false and .abilities.access_point and .abilities.can_start == false and (.note | contains($w))' \
        --arg w "$1"; then
        bad "status does not say why: $(jv '.note')"
    else
        good
    fi
}

# check_hotspot_kept: a hotspot kept as a profile starts again from it with what it was kept with; a
# join while it runs is refused with its reason and leaves the access point up.
check_hotspot_kept() {
    begin "a kept hotspot starts again from its profile; a join while it runs is refused and leaves it up"
    printf '%s\n' "$HOTSPOT_PASSPHRASE" >"$HOTSPOT_PASSFILE"
    if ! join_open; then
        bad "could not join $OPEN_SSID first"
    elif ! ctl hotspot start --ssid "$HOTSPOT_SSID" --passphrase-file "$HOTSPOT_PASSFILE" --band 2.4 \
        --save-as "Kept hotspot"; then
        bad "hotspot start --save-as failed (exit $CTL_RC): $(ctl_message)"
    elif ! ctl hotspot stop || ! until_ok 30 sta_on "$OPEN_BSSID"; then
        bad "the first stop did not bring back $OPEN_SSID"
    elif ! ctl hotspot start --profile "Kept hotspot"; then
        bad "the kept hotspot did not start (exit $CTL_RC): $(ctl_message)"
    elif ! jt '.ssid == $s and .band == "2.4 GHz" and .profile == "Kept hotspot"' --arg s "$HOTSPOT_SSID"; then
        bad "not started with the kept settings: $(jv '.ssid'), $(jv '.band')"
    elif ! until_ok 10 sh -c "iw dev $STA info | grep -q 'type AP'"; then
        run iw dev "$STA" info
        bad "$STA is no access point"
    elif ! ctl profiles new --name KeptJoin --ssid "$OPEN_SSID" --mode infrastructure; then
        bad "the profile to join with could not be made: $(ctl_message)"
    elif ctl connect KeptJoin; then
        bad "a join while the hotspot runs was not refused"
    elif ! jt '.reason == "hotspot_running"'; then
        bad "the join's reason is $(jv '.reason'), not hotspot_running: $(ctl_message)"
    elif ! iw dev "$STA" info | grep -q 'type AP'; then
        run iw dev "$STA" info
        bad "the refused join ended the hotspot"
    else
        good
    fi
    ctl hotspot stop >/dev/null 2>&1
    until_ok 30 sta_on "$OPEN_BSSID" || say "(the station did not come back on $OPEN_SSID)"
    ctl profiles rm "Kept hotspot" >/dev/null 2>&1
    ctl profiles rm KeptJoin >/dev/null 2>&1
    ctl disconnect >/dev/null 2>&1
}
