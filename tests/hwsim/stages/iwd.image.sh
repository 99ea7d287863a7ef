# Brings iwd into the guest for stage "iwd" (sourced by image.sh with ROOT, KVER and copy_bin): a
# system D-Bus with iwd's own policy (root and the group netdev), iwd and iwctl for the checks' own
# view. iwd does its cryptography through the kernel (AF_ALG, keyctl): the modules for that join the
# ones the guest loads. Needs on the host: iwd dbus-daemon.
[ -x /usr/libexec/iwd ] || { echo "hwsim: stage iwd needs iwd on the host (iwd)" >&2; exit 1; }
copy_bin /usr/bin/dbus-daemon usr/bin
copy_bin /usr/libexec/iwd usr/libexec
copy_bin /usr/bin/iwctl usr/bin
mkdir -p "$ROOT/usr/share/dbus-1/system.d" "$ROOT/var/lib/dbus" "$ROOT/var/lib/iwd" "$ROOT/etc/iwd"
cp /usr/share/dbus-1/system.conf "$ROOT/usr/share/dbus-1/"
cp /usr/share/dbus-1/system.d/iwd-dbus.conf "$ROOT/usr/share/dbus-1/system.d/"
grep -q '^messagebus:' "$ROOT/etc/passwd" || echo "messagebus:x:100:101::/nonexistent:/bin/false" >>"$ROOT/etc/passwd"
grep -q '^messagebus:' "$ROOT/etc/group" || echo "messagebus:x:101:" >>"$ROOT/etc/group"
printf 'passwd: files\ngroup: files\nshadow: files\nhosts: files\n' >"$ROOT/etc/nsswitch.conf"
[ -s "$ROOT/etc/machine-id" ] || tr -d '-' </proc/sys/kernel/random/uuid >"$ROOT/etc/machine-id"
cp "$ROOT/etc/machine-id" "$ROOT/var/lib/dbus/machine-id"
# iwd configures no addresses here (the checks give the station its address, as for the others),
# and keeps the station interface the guest made rather than making its own.
printf '[General]\nEnableNetworkConfiguration=false\nUseDefaultInterface=true\n\n[DriverQuirks]\nDefaultInterface=*\n' \
    >"$ROOT/etc/iwd/main.conf"

for mod in af_alg algif_hash algif_skcipher md4 md5 sha1_generic sha256_generic sha512_generic des_generic \
    libdes ecb cbc cmac hmac pkcs8_key_parser; do
    modprobe -S "$KVER" --show-depends "$mod" 2>/dev/null | awk '$1 == "insmod" { print $2 }' | while read -r ko; do
        name=$(basename "$ko")
        name=${name%.xz}
        name=${name%.zst}
        grep -qx "$name" "$ROOT/lib/modules/order" && continue
        case $ko in
            *.xz) xz -dc "$ko" >"$ROOT/lib/modules/$name" ;;
            *.zst) zstd -qdc "$ko" >"$ROOT/lib/modules/$name" ;;
            *) cp "$ko" "$ROOT/lib/modules/$name" ;;
        esac
        echo "$name" >>"$ROOT/lib/modules/order"
    done || true
done
ldconfig -r "$ROOT" 2>/dev/null || true
