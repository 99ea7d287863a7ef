# Checks of today's networks (sourced after checks.sh): Wavory5G on 5 GHz channel 36 (Wi-Fi 6, 80 MHz)
# and Wavory6G on 6 GHz 5975 MHz (Wi-Fi 6E), both WPA3-Personal. The programs must show their
# frequency, band, generation, security and real rates as iw and wpa_supplicant see them, and join
# them with the passphrase from a file and from standard input.

SAE_FILE=/tmp/sae-passphrase

# The supplicant's own view of the link (NetworkManager's supplicant has a control socket as well).
wpas_status() { wpa_cli -p /run/wpa_supplicant -i "$STA" status 2>/dev/null; }
# The station's transmit bitrate as iw prints it, in Mbit/s ("tx bitrate: 866.7 MBit/s VHT-MCS 9 …").
iw_tx_rate() { iw dev "$STA" station dump | sed -n 's/^[[:space:]]*tx bitrate:[[:space:]]*\([0-9.]*\) MBit.*/\1/p' | head -n 1; }

check_today_scan() {
    local missing=0 b
    begin "today's networks: scan lists $FIVE_SSID (5180 MHz) and $SIX_SSID (5975 MHz) as WPA3 with band, generation and rate"
    ctl scan --view ap --timeout 90
    # A scan under emulation may miss a network: a second one, as a user would ask for.
    for b in "$FIVE_BSSID" "$SIX_BSSID"; do
        jt 'any(.stations[]; (.bssid | ascii_downcase | gsub("[:-]"; "")) == $b)' --arg b "$(mac "$b")" || missing=1
    done
    [ $missing -eq 1 ] && ctl scan --view ap --timeout 90
    cp "$CTL_OUT" /tmp/today-scan.json
    verdict "$(jwhy --arg f "$(mac "$FIVE_BSSID")" --arg s "$(mac "$SIX_BSSID")" '
        def entry($b): [.stations[] | select((.bssid | mac) == $b)] | first;
        def why($e; $freq; $ch; $band; $gen):
            if $e == null then "no entry"
            elif $e.frequency_mhz != $freq then "frequency \($e.frequency_mhz | tojson)"
            elif $e.channel != $ch then "channel \($e.channel | tojson)"
            elif $e.band != $band then "band \($e.band | tojson)"
            elif $e.security != "wpa3" then "security \($e.security | tojson)"
            elif $e.generation != $gen then "generation \($e.generation | tojson)"
            elif ($e.max_rate_mbps | type) != "number" or $e.max_rate_mbps <= 54
              then "fastest rate \($e.max_rate_mbps | tojson)"
            else "ok" end;
        why(entry($f); 5180; 36; "5 GHz"; "Wi-Fi 6") as $five
        | why(entry($s); 5975; 5; "6 GHz"; "Wi-Fi 6E") as $six
        | if $five != "ok" then "Wavory5G: \($five)" elif $six != "ok" then "Wavory6G: \($six)" else "ok" end')"
}

# today_join LABEL SSID BSSID NET FREQ BAND HOW: joins with the passphrase from a file (HOW file) or
# from standard input (HOW stdin), then reads the link back from status and compares it with iw and
# the supplicant. The connection's fastest rate is above 54 Mbit/s; the rate the link sends at is the
# one iw reports, read just before and just after (the rate control tries other rates all the time,
# so it lies within a factor of two of those; without traffic hwsim's rate control may stay at the
# slowest MCS, and it has no HE rates: a 6 GHz link sends at legacy rates there).
today_join() {
    local label=$1 ssid=$2 bssid=$3 net=$4 freq=$5 band=$6 how=$7 gen iw1 iw2 try
    printf '%s\n' "$SAE_PASSPHRASE" >"$SAE_FILE"
    begin "today's networks: $label joins $ssid with the passphrase from $how"
    if [ "$how" = file ]; then
        ctl connect --ssid "$ssid" --passphrase-file "$SAE_FILE"
    else
        ctl connect --ssid "$ssid" --passphrase-file - <"$SAE_FILE"
    fi
    connected_to "$bssid" || return 1
    sta_address "$net"
    if run ping -q -c 10 -i 0.1 -W 5 "$net.1"; then good; else bad "no answer from $net.1"; fi

    begin "today's networks: status on $ssid agrees with iw and the supplicant ($freq MHz, WPA3, generation, rates)"
    gen=$(wpas_status | sed -n 's/^wifi_generation=//p')
    # The rate control's probes can take the rate further than that for a moment: read again, up to
    # three times, before the rate counts as wrong.
    for try in 1 2 3; do
        iw1=$(iw_tx_rate)
        ctl status
        iw2=$(iw_tx_rate)
        jt '(.tx_rate_mbps | type) == "number" and .tx_rate_mbps >= ([$a, $b] | min / 2) and
            .tx_rate_mbps <= ([$a, $b] | max * 2)' --argjson a "${iw1:-0}" --argjson b "${iw2:-0}" && break
        say "try $try: transmit rate $(jv .tx_rate_mbps), iw says $iw1 and $iw2"
    done
    run iw dev "$STA" link
    say "wifi_generation=$gen; iw tx bitrate $iw1 and $iw2 Mbit/s"
    verdict "$(jwhy --argjson f "$freq" --arg b "$band" --arg g "${gen:-}" --arg r1 "${iw1:-0}" --arg r2 "${iw2:-0}" '
        ([($r1 | tonumber), ($r2 | tonumber)] | min / 2) as $lo
        | ([($r1 | tonumber), ($r2 | tonumber)] | max * 2) as $hi
        | if .connected != true then "not connected"
          elif .frequency_mhz != $f then "frequency \(.frequency_mhz | tojson)"
          elif .band != $b then "band \(.band | tojson)"
          elif .security != "wpa3" then "security \(.security | tojson)"
          elif ($g != "" and ((.generation // "") | test("^Wi-Fi " + $g) | not))
            then "generation \(.generation | tojson), the supplicant says Wi-Fi \($g)"
          elif (.tx_rate_mbps | type) != "number" then "transmit rate \(.tx_rate_mbps | tojson)"
          elif .tx_rate_mbps < $lo or .tx_rate_mbps > $hi
            then "transmit rate \(.tx_rate_mbps) Mbit/s, iw says \($r1) and \($r2)"
          elif (.max_rate_mbps | type) != "number" or .max_rate_mbps <= 54 or .max_rate_mbps < .tx_rate_mbps
            then "fastest rate \(.max_rate_mbps | tojson)"
          else "ok" end')"
}

check_today_stats() {
    begin "today's networks: stats shows the link's rates and signal as status does"
    if ctl stats --seconds 1; then
        verdict "$(jwhy 'if (.tx_rate_mbps | type) != "number" or .tx_rate_mbps <= 0
                then "transmit rate \(.tx_rate_mbps | tojson)"
            elif (.rx_rate_mbps | type) != "number" then "receive rate \(.rx_rate_mbps | tojson)"
            elif (.signal_dbm | type) != "number" then "signal \(.signal_dbm | tojson)"
            else "ok" end')"
    else
        bad "wavoryctl stats failed (exit $CTL_RC): $(ctl_message)"
    fi
}

# A failed join keeps the user where they were: from Wavory5G, Wavory6G with a wrong passphrase.
check_today_failed_join_returns() {
    begin "today's networks: a wrong passphrase for $SIX_SSID is refused as such and returns to $FIVE_SSID"
    printf 'not-the-sae-passphrase\n' >"$SAE_FILE.wrong"
    ctl connect --ssid "$SIX_SSID" --passphrase-file "$SAE_FILE.wrong"
    refused_and_back wrong_key "$FIVE_BSSID"
}

# Direct control has no SAE: the attempt fails at once and names what would join it.
check_today_direct() {
    begin "today's networks: WPA3 with nobody running $STA fails at once, naming wpa_supplicant"
    probe --ssid "$FIVE_SSID" --security 4 --passphrase "$SAE_PASSPHRASE"
    verdict "$(jwhy '
        if .status == 2 then "the attempt started"
        elif .state != "failed" or .cause != "unsupported" then "the attempt ended \(.state) (\(.cause))"
        elif (.detail | test("wpa_supplicant")) | not then "the detail does not name wpa_supplicant"
        else "ok" end')"
}

check_today() {
    check_today_scan
    if [ "$STAGE_WPA2" != join ]; then
        check_today_direct
        return
    fi
    today_join "WPA3 on 5 GHz" "$FIVE_SSID" "$FIVE_BSSID" "$FIVE_NET" 5180 "5 GHz" file &&
        check_today_stats && check_today_failed_join_returns
    today_join "WPA3 on 6 GHz" "$SIX_SSID" "$SIX_BSSID" "$SIX_NET" 5975 "6 GHz" stdin
}
