# Brings NetworkManager into the guest for stage "nm" (sourced by image.sh with ROOT and copy_bin):
# a system D-Bus, udevd (NetworkManager leaves a device alone until udev has seen it), wpa_supplicant
# (already there), NetworkManager with its Wi-Fi plugin, nmcli for the checks' own view, and busybox's
# udhcpd for the access points' side. Needs on the host: network-manager dbus-daemon udev.
NMLIB=$(ls -d /usr/lib/x86_64-linux-gnu/NetworkManager/[0-9]* 2>/dev/null | sort -V | tail -n 1)
[ -n "$NMLIB" ] || { echo "hwsim: stage nm needs NetworkManager on the host (network-manager)" >&2; exit 1; }
copy_bin /usr/bin/dbus-daemon usr/bin
copy_bin /usr/bin/udevadm usr/bin
copy_bin /lib/systemd/systemd-udevd lib/systemd # udevadm under another name: it runs as udevd
copy_bin /usr/sbin/NetworkManager usr/sbin
copy_bin /usr/bin/nmcli usr/bin
copy_bin /usr/lib/NetworkManager/nm-daemon-helper usr/lib/NetworkManager
copy_bin "$NMLIB/libnm-device-plugin-wifi.so" "${NMLIB#/}"
# A shared connection (the hotspot): dnsmasq gives the clients addresses and drops to the user
# nobody; nft sets up the NAT.
copy_bin /usr/sbin/dnsmasq usr/sbin
copy_bin /usr/sbin/nft usr/sbin
mkdir -p "$ROOT/etc/NetworkManager/dnsmasq-shared.d" "$ROOT/var/lib/misc"
ldconfig -r "$ROOT" 2>/dev/null || true

# The bus with the policies of NetworkManager and wpa_supplicant, and the users they name.
mkdir -p "$ROOT/usr/share/dbus-1/system.d" "$ROOT/etc/dbus-1/system.d" "$ROOT/var/lib/dbus"
cp /usr/share/dbus-1/system.conf "$ROOT/usr/share/dbus-1/"
cp /usr/share/dbus-1/system.d/org.freedesktop.NetworkManager.conf "$ROOT/usr/share/dbus-1/system.d/"
cp /etc/dbus-1/system.d/wpa_supplicant.conf "$ROOT/etc/dbus-1/system.d/"
echo "messagebus:x:100:101::/nonexistent:/bin/false" >>"$ROOT/etc/passwd"
echo "messagebus:x:101:" >>"$ROOT/etc/group"
grep -q '^nobody:' "$ROOT/etc/passwd" || echo "nobody:x:65534:65534::/nonexistent:/bin/false" >>"$ROOT/etc/passwd"
grep -q '^nogroup:' "$ROOT/etc/group" || echo "nogroup:x:65534:" >>"$ROOT/etc/group"
printf 'passwd: files\ngroup: files\nshadow: files\nhosts: files\n' >"$ROOT/etc/nsswitch.conf"
tr -d '-' </proc/sys/kernel/random/uuid >"$ROOT/etc/machine-id"
cp "$ROOT/etc/machine-id" "$ROOT/var/lib/dbus/machine-id"

mkdir -p "$ROOT/usr/lib/udev/rules.d" "$ROOT/etc/udev"
for rules in 50-udev-default 75-net-description 85-nm-unmanaged; do
    cp "/usr/lib/udev/rules.d/$rules.rules" "$ROOT/usr/lib/udev/rules.d/"
done

# NetworkManager: keyfile settings, its own DHCP client, nothing of the guest's DNS or host name.
# Authorisation "root-only" (no polkit in the guest): root may change everything, any other user
# nothing, which the rights check needs. The spare interface stays nobody's.
mkdir -p "$ROOT/etc/NetworkManager/system-connections" "$ROOT/etc/NetworkManager/conf.d" \
    "$ROOT/var/lib/NetworkManager"
cat >"$ROOT/etc/NetworkManager/NetworkManager.conf" <<'CONF'
[main]
plugins=keyfile
dhcp=internal
dns=none
rc-manager=unmanaged
hostname-mode=none
auth-polkit=root-only

[keyfile]
unmanaged-devices=interface-name:wlan2;interface-name:hwsim0

[logging]
level=INFO
CONF
