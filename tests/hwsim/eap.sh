# Checks of the enterprise network (sourced after today.sh): WavoryCorp, WPA2-Enterprise with
# hostapd's own EAP server. The programs must list it as such, refuse to join it without a way to
# check its server unless told so, join it with PEAP/MSCHAPv2, TTLS/PAP and TLS with a client
# certificate, name the cause of a refusal (wrong password, untrusted server, wrong server name),
# go back to the connection they had, and never show a secret on a command line.

EAP_DIR=/etc/eap
EAP_PASSWORD_FILE=/tmp/eap-password
CMDLINES=/tmp/cmdlines

check_eap_scan() {
    begin "enterprise network: scan lists $CORP_SSID ($CORP_FREQ MHz) as WPA2-Enterprise"
    # The scan of today's networks listed it already, as a user's one scan would; a second scan where
    # the emulation missed it.
    cp /tmp/today-scan.json "$CTL_OUT" 2>/dev/null
    jt 'any(.stations[]; (.bssid | ascii_downcase | gsub("[:-]"; "")) == $b)' --arg b "$(mac "$CORP_BSSID")" ||
        ctl scan --view ap --timeout 90
    verdict "$(jwhy --arg b "$(mac "$CORP_BSSID")" --argjson f "$CORP_FREQ" '
        [.stations[] | select((.bssid | mac) == $b)] | first as $e
        | if $e == null then "no entry"
          elif $e.frequency_mhz != $f then "frequency \($e.frequency_mhz | tojson)"
          elif $e.band != "2.4 GHz" then "band \($e.band | tojson)"
          elif $e.security != "wpa2-enterprise" then "security \($e.security | tojson)"
          else "ok" end')"
}

# eap_connect ARGS...: connect to the enterprise network with alice's password from its file.
eap_connect() {
    printf '%s\n' "${EAP_PASSWORD:-$CORP_PASSWORD}" >"$EAP_PASSWORD_FILE"
    ctl connect --ssid "$CORP_SSID" "$@"
}

# Every process's command line, as often as the guest manages, until /tmp/cmdlines.stop appears.
cmdline_sampler() {
    rm -f "$CMDLINES.stop"
    : >"$CMDLINES"
    (
        while [ ! -e "$CMDLINES.stop" ]; do
            cat /proc/[0-9]*/cmdline 2>/dev/null | tr '\0' ' ' >>"$CMDLINES"
            echo >>"$CMDLINES"
            sleep 0.05
        done
    ) &
    SAMPLER=$!
}
cmdline_sampler_stop() {
    touch "$CMDLINES.stop"
    wait "$SAMPLER" 2>/dev/null
}

check_eap_no_server_check() {
    begin "enterprise network: a join that could not check the server is refused, explaining the risk"
    eap_connect --eap peap --identity "$CORP_USER" --password-file "$EAP_PASSWORD_FILE"
    if [ "$CTL_RC" -eq 0 ]; then
        bad "connect succeeded without a CA certificate or a server name"
    elif ! grep -q "pose as the network" "$CTL_ERR"; then
        bad "the message does not explain the risk"
    elif ! sta_off "$CORP_BSSID"; then
        bad "the station is associated with $CORP_BSSID all the same"
    else
        good
    fi

    begin "enterprise network: PEAP joins when the check is turned off explicitly (--no-ca-check)"
    if ! eap_connect --eap peap --identity "$CORP_USER" --password-file "$EAP_PASSWORD_FILE" --no-ca-check; then
        stage_state >>"$EVIDENCE" 2>&1
        bad "connect failed (exit $CTL_RC): $(ctl_message)"
    elif ! until_ok 20 sta_on "$CORP_BSSID"; then
        bad "the station is not associated with $CORP_BSSID"
    else
        good
    fi
}

# eap_join LABEL STATUS-METHOD ARGS...: joins, reads the link back and sends traffic across it.
eap_join() {
    local label=$1 method=$2 t0 t1
    shift 2
    begin "enterprise network: $label joins $CORP_SSID"
    t0=$(uptime_s)
    eap_connect "$@"
    t1=$(uptime_s)
    connected_to "$CORP_BSSID" || return 1
    note "$label: connect to associated in $(awk "BEGIN { printf \"%.1f\", $t1 - $t0 }") s"
    sta_address "$CORP_NET"
    if ! run ping -q -c 4 -i 0.2 -W 5 "$CORP_NET.1"; then
        bad "no answer from $CORP_NET.1"
        return 1
    fi
    good

    # The join stands; a status that misreads it is a failure of its own.
    begin "enterprise network: status after $label shows WPA2-Enterprise ($method) on $CORP_FREQ MHz"
    if ctl status; then
        stage_state >>"$EVIDENCE" 2>&1
        verdict "$(jwhy --argjson f "$CORP_FREQ" --arg m "($method)" '
            if .connected != true then "not connected"
            elif .frequency_mhz != $f then "frequency \(.frequency_mhz | tojson)"
            elif .security != "wpa2-enterprise" then "security \(.security | tojson)"
            elif ((.security_text // "") | contains($m)) | not then "security text \(.security_text | tojson)"
            else "ok" end')"
    else
        bad "wavoryctl status failed (exit $CTL_RC): $(ctl_message)"
    fi
    return 0
}

# eap_refused LABEL REASON ARGS...: the join fails with exit 1 and REASON, and the station is back on
# the enterprise network it was on.
eap_refused() {
    local label=$1 reason=$2
    shift 2
    begin "enterprise network: $label is refused with its cause, and the station goes back"
    eap_connect "$@"
    refused_and_back "$reason" "$CORP_BSSID"
}

check_eap_direct() {
    begin "enterprise network: with nobody running $STA a join fails at once, naming wpa_supplicant"
    eap_connect --eap peap --identity "$CORP_USER" --password-file "$EAP_PASSWORD_FILE" \
        --ca-cert "$EAP_DIR/ca.pem"
    if [ "$CTL_RC" -ne 1 ]; then
        bad "exit $CTL_RC, not 1 (failed)"
    elif ! grep -qi supplicant "$CTL_ERR"; then
        bad "the message does not name wpa_supplicant"
    elif ! sta_off "$CORP_BSSID"; then
        bad "the station is associated with $CORP_BSSID all the same"
    else
        good
    fi
}

check_eap() {
    check_eap_scan
    if [ "$STAGE_WPA2" != join ]; then
        check_eap_direct
        return
    fi
    # Off the network the checks before left: NetworkManager scans no more while it still activates
    # that one (addresses asked for on a network that gives none), and the joins here scan first.
    ctl disconnect >/dev/null 2>&1
    check_eap_no_server_check

    # PEAP with the CA and the server's name, from another network so that the time is a whole
    # join's; every command line is read meanwhile.
    join_open >/dev/null 2>&1
    cmdline_sampler
    eap_join "PEAP/MSCHAPv2 with the CA and the server name" PEAP --eap peap --identity "$CORP_USER" \
        --password-file "$EAP_PASSWORD_FILE" --ca-cert "$EAP_DIR/ca.pem" --domain wavory.test
    cmdline_sampler_stop
    begin "enterprise network: no process showed the password on its command line during the join"
    say "$(grep -c . "$CMDLINES") samples"
    if grep -qF "$CORP_PASSWORD" "$CMDLINES"; then
        grep -F "$CORP_PASSWORD" "$CMDLINES" | head -n 3 >>"$EVIDENCE"
        bad "the password is on a command line"
    elif ! grep -q "wavoryctl connect" "$CMDLINES"; then
        bad "no sample caught the join (the sampler did not run during it)"
    else
        good
    fi
    rm -f "$CMDLINES"

    eap_join "TTLS/PAP with the CA" TTLS --eap ttls --phase2 pap --identity "$CORP_USER" \
        --password-file "$EAP_PASSWORD_FILE" --ca-cert "$EAP_DIR/ca.pem"
    eap_join "TLS with a client certificate" TLS --eap tls --identity "$CORP_TLS_USER" \
        --client-cert "$EAP_DIR/carol.pem" --private-key "$EAP_DIR/carol.key" --ca-cert "$EAP_DIR/ca.pem" || return

    EAP_PASSWORD=not-alice-secret
    eap_refused "a wrong password" wrong_key --eap peap --identity "$CORP_USER" \
        --password-file "$EAP_PASSWORD_FILE" --ca-cert "$EAP_DIR/ca.pem"
    EAP_PASSWORD=
    eap_refused "a server signed by another CA" cert_untrusted --eap peap --identity "$CORP_USER" \
        --password-file "$EAP_PASSWORD_FILE" --ca-cert "$EAP_DIR/other-ca.pem"
    eap_refused "a server of another name" server_name --eap peap --identity "$CORP_USER" \
        --password-file "$EAP_PASSWORD_FILE" --ca-cert "$EAP_DIR/ca.pem" --domain example.org
}
