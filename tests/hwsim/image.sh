#!/usr/bin/env bash
# Builds the hardware stage's guest from installed Debian packages and the project's build:
# $HWSIM_OUT/vmlinuz (the distribution's kernel) and $HWSIM_OUT/initramfs.cpio.gz (busybox, the
# wireless tools, jq, the project's programs with their shared libraries, the radio modules, the
# guest's scripts). Takes a few seconds. run.sh calls it; it can also run alone:
#   HWSIM_OUT=/tmp/hwsim tests/hwsim/image.sh BUILD_DIR
# A stage may bring more into the image: stages/NAME.image.sh, when present, is sourced before the
# image is packed, with ROOT, KVER and copy_bin at hand.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
BUILD=$(cd "${1:?usage: image.sh BUILD_DIR}" && pwd)
OUT=${HWSIM_OUT:-$BUILD-hwsim}
STAGES=${HWSIM_STAGES:-supplicant,direct,nm,iwd}
# The newest installed kernel that has its modules.
KVER=${KVER:-$(for d in /lib/modules/*/; do v=$(basename "$d"); [ -f "/boot/vmlinuz-$v" ] && echo "$v"; done |
    sort -V | tail -n 1)}
[ -n "$KVER" ] || { echo "hwsim: no kernel with modules installed (linux-image-amd64)" >&2; exit 1; }
ROOT=$OUT/rootfs

rm -rf "$ROOT"
mkdir -p "$ROOT"/{bin,sbin,etc,proc,sys,dev,tmp,run,var,root,lib/firmware,lib/modules,lib64}
ln -s ../run "$ROOT/var/run"

cp /bin/busybox "$ROOT/bin/busybox"
for applet in $("$ROOT/bin/busybox" --list); do
    [ -e "$ROOT/bin/$applet" ] || ln -s busybox "$ROOT/bin/$applet"
done

# copy_bin FILE [DIR]: a program into DIR (default bin) and the shared libraries it loads, at the
# paths the dynamic linker found them. The build's own libraries go to /usr/local/lib instead: the
# build folder may lie under /tmp, which the guest mounts over.
copy_bin() {
    local src=$1 dst=$ROOT/${2:-bin} lib to
    mkdir -p "$dst"
    cp -L "$src" "$dst/"
    for lib in $(ldd "$src" 2>/dev/null | grep -oE '/[^ ]+' || true); do
        case $lib in
            "$BUILD"/*) to=/usr/local/lib/$(basename "$lib") ;;
            *) to=$lib ;;
        esac
        [ -e "$ROOT$to" ] && continue
        mkdir -p "$ROOT$(dirname "$to")"
        cp -L "$lib" "$ROOT$to"
    done
}

for tool in /usr/sbin/iw /usr/sbin/hostapd /usr/sbin/hostapd_cli /usr/sbin/wpa_supplicant \
    /usr/sbin/wpa_cli /usr/bin/jq; do
    copy_bin "$tool"
done
copy_bin "$BUILD/bin/wavoryctl"
copy_bin "$BUILD/bin/hwsim_probe"
[ -x "$BUILD/bin/bench_adapter" ] && copy_bin "$BUILD/bin/bench_adapter"
# The project's programs and library without their debugging sections: a third of the size, and the
# guest holds everything in memory.
strip --strip-debug "$ROOT/bin/wavoryctl" "$ROOT/bin/hwsim_probe" "$ROOT/bin/bench_adapter" 2>/dev/null || true
find "$ROOT/usr/local/lib" -type f -exec strip --strip-debug {} + 2>/dev/null || true
printf '/lib/x86_64-linux-gnu\n/usr/lib/x86_64-linux-gnu\n/usr/local/lib\n' >"$ROOT/etc/ld.so.conf"
ldconfig -r "$ROOT" 2>/dev/null || true

# The programs must start in the image as they are; as root, try it rather than learn it in the guest.
if [ "$(id -u)" -eq 0 ] && ! chroot "$ROOT" /bin/wavoryctl --help >/dev/null; then
    echo "hwsim: wavoryctl does not start inside the guest image" >&2
    exit 1
fi

# The radio driver and what it needs, in load order; ctr, ccm, gcm and cmac are WPA2's ciphers
# (WEP's come with mac80211).
: >"$ROOT/lib/modules/order"
for mod in ctr ccm gcm cmac mac80211_hwsim; do
    modprobe -S "$KVER" --show-depends "$mod" | awk '$1 == "insmod" { print $2 }' | while read -r ko; do
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
    done
done

# The signed regulatory database, which cfg80211 loads as firmware.
cp -L /lib/firmware/regulatory.db /lib/firmware/regulatory.db.p7s "$ROOT/lib/firmware/"

# 802.1X: a throw-away CA, the EAP server's certificate (with the name the checks match), a client
# certificate for TLS, and a second CA nobody trusts, made fresh for each image. The CA's key stays
# outside the guest. OpenSSL's configuration and provider modules come along: without them hostapd
# cannot start TLS.
EAP=$OUT/eap
rm -rf "$EAP"
mkdir -p "$EAP" "$ROOT/etc/eap" "$ROOT/etc/ssl" "$ROOT/usr/lib/ssl" "$ROOT/usr/lib/x86_64-linux-gnu/ossl-modules"
certificate() { # NAME SUBJECT-CN CA [EXTENSION]: NAME.pem and NAME.key signed by CA (itself when empty)
    local name=$1 cn=$2 ca=$3 ext=${4:-}
    if [ -z "$ca" ]; then
        openssl req -x509 -newkey rsa:2048 -nodes -keyout "$EAP/$name.key" -out "$EAP/$name.pem" -days 3650 \
            -subj "/CN=$cn" 2>/dev/null
    else
        openssl req -newkey rsa:2048 -nodes -keyout "$EAP/$name.key" -out "$EAP/$name.csr" -subj "/CN=$cn" \
            ${ext:+-addext "$ext"} 2>/dev/null &&
            openssl x509 -req -in "$EAP/$name.csr" -CA "$EAP/$ca.pem" -CAkey "$EAP/$ca.key" -CAcreateserial \
                -copy_extensions copy -out "$EAP/$name.pem" -days 3650 2>/dev/null
    fi || { echo "hwsim: openssl could not make the $name certificate" >&2; exit 1; }
}
certificate ca "Wavory Test CA" ""
certificate server radius.wavory.test ca "subjectAltName=DNS:radius.wavory.test"
certificate carol carol ca
certificate other-ca "Somebody Else's CA" ""
cp "$EAP/ca.pem" "$EAP/server.pem" "$EAP/server.key" "$EAP/carol.pem" "$EAP/carol.key" "$EAP/other-ca.pem" \
    "$ROOT/etc/eap/"
chmod 600 "$ROOT/etc/eap/"*.key
cp -L /etc/ssl/openssl.cnf "$ROOT/etc/ssl/" 2>/dev/null || true
cp -L /usr/lib/ssl/openssl.cnf "$ROOT/usr/lib/ssl/" 2>/dev/null || true
cp -L /usr/lib/x86_64-linux-gnu/ossl-modules/* "$ROOT/usr/lib/x86_64-linux-gnu/ossl-modules/" 2>/dev/null || true

# root, and a user without rights for the checks of refusals. netdev owns wpa_supplicant's control
# sockets, as on a Debian system.
printf 'root:x:0:0:root:/root:/bin/sh\nwavory:x:1000:1000:Wavory user:/tmp/home:/bin/sh\n' >"$ROOT/etc/passwd"
printf 'root:x:0:\nnetdev:x:102:\nwavory:x:1000:\n' >"$ROOT/etc/group"
echo /bin/sh >"$ROOT/etc/shells"
mknod -m 600 "$ROOT/dev/console" c 5 1 2>/dev/null || true

# The guest's scripts: /init, the helpers, the checks and the stages.
mkdir -p "$ROOT/hwsim/stages"
install -m 755 "$HERE/guest/init" "$ROOT/init"
cp "$HERE"/guest/*.sh "$HERE/guest/as-user" "$HERE/checks.sh" "$HERE/today.sh" "$HERE/eap.sh" "$HERE/hotspot.sh" \
    "$ROOT/hwsim/"
cp "$HERE"/stages/*.sh "$ROOT/hwsim/stages/"
rm -f "$ROOT"/hwsim/stages/*.image.sh
cp "$HERE"/conf/* "$ROOT/etc/"

for stage in ${STAGES//,/ }; do
    [ -f "$HERE/stages/$stage.sh" ] || { echo "hwsim: no stage \"$stage\" (tests/hwsim/stages/)" >&2; exit 1; }
    # shellcheck disable=SC1090
    [ -f "$HERE/stages/$stage.image.sh" ] && . "$HERE/stages/$stage.image.sh"
done

(cd "$ROOT" && find . | cpio -o -H newc --quiet | gzip -1) >"$OUT/initramfs.cpio.gz"
cp "/boot/vmlinuz-$KVER" "$OUT/vmlinuz"
echo "hwsim: guest image $(du -h "$OUT/initramfs.cpio.gz" | cut -f1), kernel $KVER"
