#!/usr/bin/env bash
# The Debian package as a front desk gets it. The .deb: exactly the station's
# files, the Qt runtime and a CJK font as dependencies, a valid desktop entry
# and AppStream metainfo, the run path $ORIGIN, manual pages that man shows
# without warnings, nothing for lintian to report but the overridden folder in
# /opt. Installed on this machine: the station's folder is root's alone; a
# clerk in the group guestcard can rename, replace, delete or add nothing
# there, but writes the hand-off file through either path, and the station
# started from the installed files issues a card from what the clerk wrote.
# Removing keeps the hand-off file, purging takes it. Over 0.1.0's layout, an
# upgrade moves the hotel.ini left in the station's folder and names a file
# planted there. Run it through with_xvfb.sh, as root; it leaves the machine
# as it found it, and waits for any other run of it on the machine.
set -euo pipefail
build_dir=$1
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/scratch.sh"
station=
on_exit 'if [ -n "$station" ]; then kill "$station" 2>/dev/null; fi'
opt=/opt/guestcard
data=/var/lib/guestcard

cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$work/cpack.log")"
deb=$(ls "$work"/out/guestcard_*.deb)

# Exactly these paths: nothing from the build tree, no hotel.ini but the link.
listing=$(dpkg-deb -c "$deb")
awk '{print $6}' <<<"$listing" | sed 's|^\./||; s|/$||' | grep -v '^$' | sort >"$work/files"
sort >"$work/expected" <<'LIST'
opt
opt/guestcard
opt/guestcard/guestcard
opt/guestcard/hotel.ini
opt/guestcard/hotel.ini.example
opt/guestcard/kelrin-sim
opt/guestcard/libKelrin.so
usr
usr/bin
usr/bin/kelrin-sim
usr/share
usr/share/applications
usr/share/applications/org.guestcard.Station.desktop
usr/share/doc
usr/share/doc/guestcard
usr/share/doc/guestcard/changelog.gz
usr/share/doc/guestcard/copyright
usr/share/icons
usr/share/icons/hicolor
usr/share/icons/hicolor/48x48
usr/share/icons/hicolor/48x48/apps
usr/share/icons/hicolor/48x48/apps/org.guestcard.Station.png
usr/share/icons/hicolor/scalable
usr/share/icons/hicolor/scalable/apps
usr/share/icons/hicolor/scalable/apps/org.guestcard.Station.svg
usr/share/lintian
usr/share/lintian/overrides
usr/share/lintian/overrides/guestcard
usr/share/man
usr/share/man/man1
usr/share/man/man1/guestcard.1.gz
usr/share/man/man1/kelrin-sim.1.gz
usr/share/metainfo
usr/share/metainfo/org.guestcard.Station.metainfo.xml
var
var/lib
var/lib/guestcard
LIST
diff -u "$work/expected" "$work/files" >&2 || fail "the package holds other files than the station's"
grep -q ' \./usr/bin/kelrin-sim -> /opt/guestcard/kelrin-sim$' <<<"$listing" ||
    fail "/usr/bin/kelrin-sim is not a link to the one beside the program"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins fonts-wqy-zenhei; do
    grep -q "\b$needed\b" <<<"$depends" || fail "Depends lacks $needed: $depends"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/org.guestcard.Station.desktop" ||
    fail "desktop entry does not validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.guestcard.Station.metainfo.xml" >"$work/as.log" 2>&1 ||
    fail "metainfo does not validate: $(cat "$work/as.log")"
file -b "$root/usr/share/icons/hicolor/48x48/apps/org.guestcard.Station.png" | grep -q '48 x 48' ||
    fail "the PNG icon is not 48x48"
for binary in guestcard kelrin-sim libKelrin.so; do
    runpath=$(readelf -d "$root/opt/guestcard/$binary" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]$/\1/p')
    [ "$runpath" = '$ORIGIN' ] || fail "$binary has the run path '$runpath'"
done
for page in "$root"/usr/share/man/man1/*.1.gz; do
    # As lintian checks a manual page.
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warns of $(basename "$page"): $warnings"
done
lintian "$deb" 2>&1 | grep -v '^running with root privileges' >"$work/lintian.log" || true
[ ! -s "$work/lintian.log" ] || fail "lintian reports: $(cat "$work/lintian.log")"

# From here on the package goes onto this machine, which must not have it.
[ "$(id -u)" = 0 ] || { echo "SKIP: installing the package needs root" >&2; exit 77; }
exec 9>/run/lock/guestcard-package-test.lock
flock -w 600 9 || fail "another run of this test holds the machine"
if dpkg-query -W guestcard >/dev/null 2>&1 || [ -e "$opt" ] || [ -e "$data" ]; then
    echo "SKIP: this machine has guestcard already; the test would replace it" >&2
    exit 77
fi
clerk=gctestclerk
! getent passwd "$clerk" >/dev/null || fail "the account $clerk exists already"
made_group=
getent group guestcard >/dev/null || made_group=1
on_exit 'apt-get purge -y -q -o DPkg::Lock::Timeout=120 guestcard >/dev/null 2>&1; rm -rf "$opt" "$data"'
on_exit 'userdel "$clerk" || echo "the account $clerk is left" >&2'
on_exit 'if [ -n "$made_group" ]; then groupdel guestcard 2>/dev/null; fi'

export DEBIAN_FRONTEND=noninteractive
apt_get() {
    apt-get "$1" -y -q -o DPkg::Lock::Timeout=120 "$2" >"$work/apt.log" 2>&1 ||
        fail "apt-get $1 $2 failed: $(cat "$work/apt.log")"
}
as_clerk() { setpriv --reuid="$clerk" --regid=nogroup --init-groups "$@"; }

# Root's alone: folders 0755, files 0755 or 0644, links root's; the data
# folder the group's, and hotel.ini the package's link into it.
check_layout() {
    local wrong
    wrong=$(find "$opt" -printf '%u:%g %m %y %p\n' |
        grep -Ev '^root:root (755 [df]|644 f|777 l) ' || true)
    [ -z "$wrong" ] || fail "not root's alone in $opt: $wrong"
    [ "$(stat -c '%U:%G %a' "$data")" = "root:guestcard 2770" ] ||
        fail "$data is $(stat -c '%U:%G %a' "$data")"
    [ "$(readlink "$opt/hotel.ini")" = "$data/hotel.ini" ] || fail "$opt/hotel.ini is no link to $data"
    dpkg-query -S "$opt/hotel.ini" | grep -q '^guestcard: ' || fail "no package owns $opt/hotel.ini"
}

apt_get install "$deb"
check_layout
useradd -M -N -g nogroup -s /usr/sbin/nologin "$clerk"
usermod -aG guestcard "$clerk"
chmod 0711 "$work"
mkdir "$work/clerk"
chown "$clerk" "$work/clerk"

# The clerk tries to change the station's folder, each way once per entry.
snapshot() { find "$opt" -printf '%p %u %m %s %l\n' | sort; find "$opt" -type f -exec sha256sum {} + | sort; }
snapshot >"$work/before"
changed=()
try() {
    if as_clerk sh -c "$2" 2>/dev/null; then changed+=("$1"); fi
}
cp /bin/true "$work/clerk/planted"
chown "$clerk" "$work/clerk/planted"
for path in "$opt"/*; do
    try "rename $path" "mv -T '$path' '$path.aside'"
    try "delete $path" "rm -f '$path'"
    try "replace $path" "cp '$work/clerk/planted' '$path.new' && mv -f '$path.new' '$path'"
    try "link over $path" "ln -sfn '$work/clerk/planted' '$path'"
    [ -L "$path" ] || try "write into $path" "cat '$work/clerk/planted' >'$path'"
done
try "add a library" "cp '$work/clerk/planted' '$opt/libQt6Core.so.6'"
try "add qt.conf" "printf '[Paths]\n' >'$opt/qt.conf'"
try "add a plug-in folder" "mkdir '$opt/platforms'"
[ ${#changed[@]} = 0 ] || fail "the clerk could: $(printf '%s; ' "${changed[@]}")"
snapshot >"$work/after"
diff -u "$work/before" "$work/after" >&2 || fail "the station's folder changed"

# The property system, as the clerk's account: through the link, then
# straight into the data folder by a rename, as a careful writer does.
stay() { printf '[MAIN]\r\nleavedate=%s\r\nleavetime=%s\r\nroomno=%s\r\ncoid=%s\r\nfh=203\r\n' "$@"; }
checkout=$(date -d '+30 days' +%y%m%d)
stay 261224 1200 01010101 1 >"$work/first.ini"
stay "$checkout" 1130 03040506 4711 >"$work/second.ini"
chmod 0644 "$work"/*.ini
as_clerk sh -c "umask 007 && cat '$work/first.ini' >'$opt/hotel.ini'" ||
    fail "the clerk cannot write $opt/hotel.ini"
cmp -s "$work/first.ini" "$data/hotel.ini" || fail "what was written through the link is not in $data"
as_clerk sh -c "umask 007 && cat '$work/second.ini' >'$data/hotel.ini.new' &&
    mv '$data/hotel.ini.new' '$data/hotel.ini'" || fail "the clerk cannot write $data/hotel.ini"
as_clerk cmp -s "$work/second.ini" "$opt/hotel.ini" || fail "$opt/hotel.ini does not read the new file"

# The installed station, started by the clerk, issues a guest card for the
# second stay: the fields held what the clerk wrote. No session bus, which
# the toolkit would otherwise start for the clerk and leave running.
sim() { as_clerk env KELRIN_SIM_STATE="$work/clerk/device" kelrin-sim "$@"; }
(cd "$work/clerk" && exec setpriv --reuid="$clerk" --regid=nogroup --init-groups \
    env HOME="$work/clerk" KELRIN_SIM_STATE="$work/clerk/device" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/clerk/no-bus" "$opt/guestcard") \
    >"$work/station.log" 2>&1 &
station=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^制客人卡$' | head -n1) ||
    fail "the installed station showed no window: $(cat "$work/station.log")"
if [ -n "${ARTIFACTS:-}" ]; then
    mkdir -p "$ARTIFACTS"
    sleep 0.5
    import -window "$window" "$ARTIFACTS/installed_station.png"
fi
# "制客人卡" at 120,304 (139 x 35).
xdotool mousemove --window "$window" 189 321 click 1
for _ in $(seq 100); do
    shown=$(sim show)
    grep -q '^Card: *guest card' <<<"$shown" && break
    sleep 0.1
done
grep -q '^  Lock: *03040506$' <<<"$shown" || fail "not the clerk's stay: $shown"
grep -q '(written as 4711)' <<<"$shown" || fail "not the clerk's hotel: $shown"
want="20${checkout:0:2}-${checkout:2:2}-${checkout:4:2} 11:30"
grep -q "^  Checkout: *${want}\$" <<<"$shown" || fail "checkout is not $want: $shown"
kill "$station"
wait "$station" 2>/dev/null || true
station=

# Removing keeps the property system's file; purging takes it.
apt_get remove guestcard
[ ! -e "$opt" ] || fail "$opt is left after removing: $(ls -A "$opt")"
cmp -s "$work/second.ini" "$data/hotel.ini" || fail "removing the package took the hand-off file"
apt_get purge guestcard
[ ! -e "$data" ] || fail "$data is left after purging"
! dpkg-statoverride --list "$data" >/dev/null || fail "purging left the override of $data"

# Upgrade: 0.1.0 had no link and no data folder, and its postinst let the
# group write into the station's folder. Its package, made from this one.
old="$work/old"
dpkg-deb -R "$deb" "$old"
rm -rf "$old/var" "$old/opt/guestcard/hotel.ini" "$old/DEBIAN/preinst" "$old/DEBIAN/postrm"
sed -i 's/^Version: .*/Version: 0.1.0/' "$old/DEBIAN/control"
cat >"$old/DEBIAN/postinst" <<'SCRIPT'
#!/bin/sh
set -e
if [ "$1" = configure ]; then
    if ! getent group guestcard >/dev/null; then
        addgroup --system guestcard >/dev/null
    fi
    chgrp guestcard /opt/guestcard
    chmod 2775 /opt/guestcard
fi
exit 0
SCRIPT
dpkg-deb -b --root-owner-group "$old" "$work/guestcard_0.1.0.deb" >/dev/null
apt_get install "$work/guestcard_0.1.0.deb"
as_clerk sh -c "cat '$work/first.ini' >'$opt/hotel.ini' && printf '[Paths]\n' >'$opt/qt.conf'" ||
    fail "0.1.0 did not let the group write its folder"
apt_get install "$deb"
grep -q "^guestcard: $opt/qt.conf " "$work/apt.log" ||
    fail "the upgrade did not name the planted file: $(cat "$work/apt.log")"
check_layout
if [ "$(stat -c %U "$data/hotel.ini")" != "$clerk" ] || ! cmp -s "$work/first.ini" "$data/hotel.ini"; then
    fail "the upgrade did not move 0.1.0's hotel.ini to $data"
fi
rm -f "$opt/qt.conf"
apt_get purge guestcard
echo "package checks passed"
