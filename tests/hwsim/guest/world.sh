# The radios and the networks around the station (sourced by /init).
#
# Eight mac80211_hwsim radios share one simulated medium:
#   phy0  wlan0, wlan0_1 … wlan0_3  hostapd, channel 6: WavoryOpen (open), WavoryWEP (WEP-64, open
#                                   system), WavoryShared (WEP-128, shared key),
#                                   WavoryHidden (WPA2, name not broadcast)            netns "ap"
#   phy1  wlan1                     the station the utility drives                   root netns
#   phy2  wlan2                     a second wireless interface nobody uses          root netns
#   phy3  wlan3                     ad-hoc peer, cell WavoryPeer on channel 1         netns "ap"
#   phy4  wlan4, wlan4_1            hostapd, channel 11: WavoryWPA2 (WPA2-Personal),
#                                   WavoryTwin (open)                                netns "ap"
#   phy5  wlan5, wlan5_1            hostapd, 5 GHz channel 36, 80 MHz, Wi-Fi 6: Wavory5G
#                                   (WPA3-Personal), WavoryTwin (open)                netns "ap"
# WavoryTwin is one network on two access points, for joining the one the user chose.
#   phy6  wlan6                     hostapd, channel 6: WavoryCorp (WPA2-Enterprise,
#                                   hostapd's own EAP server)                        netns "ap"
#   phy7  wlan7                     hostapd, 6 GHz 5975 MHz (channel 5), Wi-Fi 6E: Wavory6G
#                                   (WPA3-Personal, hash-to-element only)            netns "ap"
# The access points and the peer live in their own network namespace, so a ping from the station
# really crosses the simulated air. Each network has a subnet: the far side is .1, the station .2.
#
# The radios follow DE's regulatory rules, under which both the 5 GHz channel 36 and the 6 GHz
# channel 5 allow an access point. (hwsim's custom world domain, which scans faster, has no 6 GHz.)

STA=wlan1
SPARE=wlan2
STA_PHY=phy1

OPEN_SSID=WavoryOpen OPEN_IF=wlan0 OPEN_NET=192.168.77 OPEN_CHANNEL=6
WEP64_SSID=WavoryWEP WEP64_IF=wlan0_1 WEP64_NET=192.168.78 WEP64_KEY=0123456789
SHARED_SSID=WavoryShared SHARED_IF=wlan0_2 SHARED_NET=192.168.80
SHARED_KEY=0123456789abcdef0123456789
WPA2_SSID=WavoryWPA2 WPA2_IF=wlan4 WPA2_NET=192.168.81 WPA2_CHANNEL=11 WPA2_PASSPHRASE=wavory-passphrase
HIDDEN_SSID=WavoryHidden HIDDEN_IF=wlan0_3 HIDDEN_NET=192.168.86 HIDDEN_PASSPHRASE=hidden-passphrase
PEER_SSID=WavoryPeer PEER_IF=wlan3 PEER_NET=192.168.79 PEER_CHANNEL=1 PEER_FREQ=2412
# Today's networks: one passphrase for both.
FIVE_SSID=Wavory5G FIVE_IF=wlan5 FIVE_NET=192.168.82 FIVE_CHANNEL=36 FIVE_FREQ=5180
SIX_SSID=Wavory6G SIX_IF=wlan7 SIX_NET=192.168.84 SIX_CHANNEL=5 SIX_FREQ=5975
SAE_PASSPHRASE=wavory-sae-pass
# One network on two access points.
TWIN_SSID=WavoryTwin TWIN24_IF=wlan4_1 TWIN24_CHANNEL=11 TWIN5_IF=wlan5_1 TWIN5_CHANNEL=36
# The enterprise network: alice's password (PEAP, TTLS), carol's certificate (TLS); /etc/eap_user.
CORP_SSID=WavoryCorp CORP_IF=wlan6 CORP_NET=192.168.83 CORP_FREQ=2437
CORP_USER=alice CORP_PASSWORD=alice-secret CORP_TLS_USER=carol CORP_SERVER=radius.wavory.test
RADIOS=8
REG_COUNTRY=DE
export STA SPARE STA_PHY

APNS=
A=

# In netns "ap".
ap() { nsenter -t "$APNS" -n "$@"; }
# (sysfs shows the devices of the namespace that mounted it, so ask ip.)
ap_mac() { ap ip -o link show dev "$1" | sed -n 's/.*link\/ether \([0-9a-f:]*\).*/\1/p'; }
# The BSSID of the peer's ad-hoc cell (random, chosen by whoever started the cell).
peer_cell() { ap iw dev "$PEER_IF" link | sed -n 's/^Joined IBSS \([0-9a-f:]*\).*/\1/p'; }

world_up() {
    while read -r module; do
        case $module in
            mac80211_hwsim.ko) insmod "/lib/modules/$module" radios=$RADIOS ;;
            *) insmod "/lib/modules/$module" ;;
        esac || { echo "insmod $module failed"; return 1; }
    done </lib/modules/order
    until_ok 10 test -e /sys/class/net/wlan$((RADIOS - 1)) || return 1
    iw reg set "$REG_COUNTRY"
    until_ok 10 sh -c "iw reg get | grep -q 'country $REG_COUNTRY'" || return 1

    unshare -n sleep 1000000 &
    APNS=$!
    until_ok 5 sh -c "[ \"\$(readlink /proc/$APNS/ns/net)\" != \"\$(readlink /proc/self/ns/net)\" ]" || return 1
    A="nsenter -t $APNS -n"
    export APNS A
    for phy in phy0 phy3 phy4 phy5 phy6 phy7; do iw phy "$phy" set netns "$APNS" || return 1; done
    ap ip link set lo up

    ap hostapd -B -t -f /tmp/hostapd-legacy.log -P /run/hostapd-legacy.pid /etc/hostapd-legacy.conf || return 1
    ap hostapd -B -t -f /tmp/hostapd-wpa2.log -P /run/hostapd-wpa2.pid /etc/hostapd-wpa2.conf || return 1
    until_ok 20 grep -q AP-ENABLED /tmp/hostapd-legacy.log || return 1
    until_ok 20 grep -q AP-ENABLED /tmp/hostapd-wpa2.log || return 1
    for conf in 5ghz 6ghz eap; do
        ap hostapd -B -t -f "/tmp/hostapd-$conf.log" -P "/run/hostapd-$conf.pid" "/etc/hostapd-$conf.conf" ||
            return 1
    done
    until_ok 30 grep -q AP-ENABLED /tmp/hostapd-5ghz.log || return 1
    until_ok 30 grep -q AP-ENABLED /tmp/hostapd-6ghz.log || return 1
    until_ok 30 grep -q AP-ENABLED /tmp/hostapd-eap.log || return 1
    ap ip addr add "$OPEN_NET.1/24" dev "$OPEN_IF"
    ap ip addr add "$WEP64_NET.1/24" dev "$WEP64_IF"
    ap ip addr add "$SHARED_NET.1/24" dev "$SHARED_IF"
    ap ip addr add "$WPA2_NET.1/24" dev "$WPA2_IF"
    ap ip addr add "$FIVE_NET.1/24" dev "$FIVE_IF"
    ap ip addr add "$SIX_NET.1/24" dev "$SIX_IF"
    ap ip addr add "$HIDDEN_NET.1/24" dev "$HIDDEN_IF"
    ap ip addr add "$CORP_NET.1/24" dev "$CORP_IF"

    ap iw dev "$PEER_IF" set type ibss
    ap ip link set "$PEER_IF" up
    ap iw dev "$PEER_IF" ibss join "$PEER_SSID" "$PEER_FREQ" fixed-freq || return 1
    until_ok 30 sh -c "nsenter -t $APNS -n iw dev $PEER_IF link | grep -q 'Joined IBSS'" || return 1
    ap ip addr add "$PEER_NET.1/24" dev "$PEER_IF"

    OPEN_BSSID=$(ap_mac "$OPEN_IF")
    WEP64_BSSID=$(ap_mac "$WEP64_IF")
    SHARED_BSSID=$(ap_mac "$SHARED_IF")
    WPA2_BSSID=$(ap_mac "$WPA2_IF")
    HIDDEN_BSSID=$(ap_mac "$HIDDEN_IF")
    PEER_BSSID=$(peer_cell)
    FIVE_BSSID=$(ap_mac "$FIVE_IF")
    SIX_BSSID=$(ap_mac "$SIX_IF")
    CORP_BSSID=$(ap_mac "$CORP_IF")
    TWIN24_BSSID=$(ap_mac "$TWIN24_IF")
    TWIN5_BSSID=$(ap_mac "$TWIN5_IF")
    echo "access points: $OPEN_SSID $OPEN_BSSID, $WEP64_SSID $WEP64_BSSID, $SHARED_SSID $SHARED_BSSID," \
        "$WPA2_SSID $WPA2_BSSID, $FIVE_SSID $FIVE_BSSID, $SIX_SSID $SIX_BSSID, $CORP_SSID $CORP_BSSID," \
        "$TWIN_SSID $TWIN24_BSSID and $TWIN5_BSSID; ad-hoc cell $PEER_SSID $PEER_BSSID"
    ip link set "$SPARE" up
    [ -n "$OPEN_BSSID" ] && [ -n "$WEP64_BSSID" ] && [ -n "$SHARED_BSSID" ] && [ -n "$WPA2_BSSID" ] &&
        [ -n "$HIDDEN_BSSID" ] && [ -n "$PEER_BSSID" ] && [ -n "$FIVE_BSSID" ] && [ -n "$SIX_BSSID" ] &&
        [ -n "$CORP_BSSID" ] && [ -n "$TWIN24_BSSID" ] && [ -n "$TWIN5_BSSID" ]
}

# The station as the next stage expects to find it: present, managed, down, without addresses,
# and the settings of the previous stage gone.
world_reset() {
    [ -e "/sys/class/net/$STA" ] || iw phy "$STA_PHY" interface add "$STA" type managed
    for rfkill in /sys/class/ieee80211/"$STA_PHY"/rfkill*/soft; do echo 0 >"$rfkill"; done
    ip link set "$STA" down
    iw dev "$STA" set type managed
    ip addr flush dev "$STA"
    rm -rf /tmp/home
}

world_dump() {
    iw dev
    ap iw dev
    tail -n 20 /tmp/hostapd-legacy.log /tmp/hostapd-wpa2.log /tmp/hostapd-5ghz.log /tmp/hostapd-6ghz.log \
        /tmp/hostapd-eap.log
    dmesg | tail -n 20
}

# The station's own view of its link: the BSSID it is connected to (or the cell it joined).
sta_link() { iw dev "$STA" link | sed -n 's/^Connected to \([0-9a-f:]*\).*/\1/p; s/^Joined IBSS \([0-9a-f:]*\).*/\1/p'; }
# sta_address NET: the station's address on that network's subnet, and no other.
sta_address() {
    ip addr flush dev "$STA"
    ip addr add "$1.2/24" dev "$STA"
}
