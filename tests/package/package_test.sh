#!/usr/bin/env bash
# The Debian packages as a front desk gets them. The .debs: exactly the
# station's files and the bridge's, the Qt runtime and a CJK font, Wine and
# the very same station as dependencies, a valid desktop entry and AppStream
# metainfo, the autostart entry at login (valid, a conffile), the run path
# $ORIGIN, manual pages that man shows without warnings, nothing for lintian
# to report but the overridden folder in /opt.
# Installed on this machine: the station's folder is root's alone; a clerk in
# the group guestcard can rename, replace, delete or add nothing there, but
# writes the hand-off file through either path, and the station started from
# the installed files issues a card from what the clerk wrote, on the
# stand-in that the alternative guestcard-encoder chooses by default. Chosen
# instead, the bridge drives a test DLL put as Kelrin.dll beside the program,
# once kelrin-bridge check has prepared the clerk's Wine prefix; chosen back,
# the stand-in again. Removing the bridge's package while it is chosen gives
# the stand-in back; removing keeps the hand-off file, purging takes it. Over
# 0.1.0's layout, an upgrade moves the hotel.ini left in the station's
# folder, puts the alternative's link where the library was and names the
# files planted there. Run it through with_xvfb.sh, as root; it leaves the
# machine as it found it, and waits for any other run of it on the machine.
#
#   package_test.sh BUILD_DIR TEST_DLL_DIR
set -euo pipefail
build_dir=$1
dlls=$2
source "$(dirname "${BASH_SOURCE[0]}")/../support/scratch.sh"
station=
on_exit 'if [ -n "$station" ]; then kill "$station" 2>/dev/null; fi'
opt=/opt/guestcard
data=/var/lib/guestcard

cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$work/cpack.log")"
deb=$(ls "$work"/out/guestcard_*.deb)
wine_deb=$(ls "$work"/out/guestcard-wine_*.deb)
version=$(dpkg-deb -f "$deb" Version)

# Exactly these paths: nothing from the build tree, no hotel.ini but the
# link, no libKelrin.so beside the program (the alternative's link is made
# when installing).
check_listing() {
    dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./||; s|/$||' | grep -v '^$' | sort >"$work/files"
    sort >"$work/expected"
    diff -u "$work/expected" "$work/files" >&2 || fail "$(basename "$1") holds other files than its own"
}
check_listing "$deb" <<'LIST'
opt
opt/guestcard
opt/guestcard/guestcard
opt/guestcard/hotel.ini
opt/guestcard/hotel.ini.example
opt/guestcard/kelrin-sim
opt/guestcard/simulated
opt/guestcard/simulated/libKelrin.so
usr
usr/bin
usr/bin/guestcard
usr/bin/kelrin-sim
usr/share
usr/share/applications
usr/share/applications/org.guestcard.Station.desktop
usr/share/doc
usr/share/doc/guestcard
usr/share/doc/guestcard/changelog.gz
usr/share/doc/guestcard/copyright
usr/share/doc/guestcard/integrator.md
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
check_listing "$wine_deb" <<'LIST'
etc
etc/guestcard
etc/guestcard/bridge.conf
etc/xdg
etc/xdg/autostart
etc/xdg/autostart/guestcard-wine-login.desktop
opt
opt/guestcard
opt/guestcard/wine
opt/guestcard/wine/Kelrin-simulated.dll
opt/guestcard/wine/kelrin-bridge
opt/guestcard/wine/kelrin-host32.exe
opt/guestcard/wine/kelrin-host64.exe
opt/guestcard/wine/libKelrin.so
opt/guestcard/wine/usb32
opt/guestcard/wine/usb32/libusb0.dll
opt/guestcard/wine/usb64
opt/guestcard/wine/usb64/libusb0.dll
usr
usr/bin
usr/bin/kelrin-bridge
usr/share
usr/share/doc
usr/share/doc/guestcard-wine
usr/share/doc/guestcard-wine/changelog.gz
usr/share/doc/guestcard-wine/copyright
usr/share/lintian
usr/share/lintian/overrides
usr/share/lintian/overrides/guestcard-wine
usr/share/man
usr/share/man/man1
usr/share/man/man1/kelrin-bridge.1.gz
LIST
for link in guestcard:"$deb" kelrin-sim:"$deb" wine/kelrin-bridge:"$wine_deb"; do
    path=${link%%:*}
    grep -q " \./usr/bin/${path#*/} -> /opt/guestcard/$path\$" <<<"$(dpkg-deb -c "${link#*:}")" ||
        fail "/usr/bin/${path#*/} is not a link to /opt/guestcard/$path"
done

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins fonts-wqy-zenhei; do
    grep -q "\b$needed\b" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
depends=$(dpkg-deb -f "$wine_deb" Depends)
for needed in "guestcard (= $version)" wine "wine32 | wine64" locales-all; do
    grep -qF "$needed" <<<"$depends" || fail "guestcard-wine's Depends lacks $needed: $depends"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
dpkg-deb -x "$wine_deb" "$root"
desktop-file-validate "$root/usr/share/applications/org.guestcard.Station.desktop" ||
    fail "desktop entry does not validate"
desktop-file-validate "$root/etc/xdg/autostart/guestcard-wine-login.desktop" ||
    fail "the autostart entry does not validate"
[ "$(dpkg-deb -I "$wine_deb" conffiles)" = "/etc/xdg/autostart/guestcard-wine-login.desktop
/etc/guestcard/bridge.conf" ] ||
    fail "the autostart entry and the bridge's settings are not the conffiles of guestcard-wine"
# Started from the menu, the station (and the DLL through the bridge) works
# in its own folder, as a Windows station started from its shortcut.
grep -qx 'Path=/opt/guestcard' "$root/usr/share/applications/org.guestcard.Station.desktop" ||
    fail "the desktop entry does not start the station in /opt/guestcard"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.guestcard.Station.metainfo.xml" >"$work/as.log" 2>&1 ||
    fail "metainfo does not validate: $(cat "$work/as.log")"
file -b "$root/usr/share/icons/hicolor/48x48/apps/org.guestcard.Station.png" | grep -q '48 x 48' ||
    fail "the PNG icon is not 48x48"
for binary in guestcard kelrin-sim simulated/libKelrin.so wine/libKelrin.so wine/kelrin-bridge; do
    runpath=$(readelf -d "$root/opt/guestcard/$binary" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]$/\1/p')
    [ "$runpath" = '$ORIGIN' ] || fail "$binary has the run path '$runpath'"
done
for page in "$root"/usr/share/man/man1/*.1.gz; do
    # As lintian checks a manual page.
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warns of $(basename "$page"): $warnings"
done
lintian "$deb" "$wine_deb" 2>&1 | grep -v '^running with root privileges' >"$work/lintian.log" || true
[ ! -s "$work/lintian.log" ] || fail "lintian reports: $(cat "$work/lintian.log")"

# From here on the packages go onto this machine, which must not have them.
[ "$(id -u)" = 0 ] || { echo "SKIP: installing the package needs root" >&2; exit 77; }
exec 9>/run/lock/guestcard-package-test.lock
flock -w 600 9 || fail "another run of this test holds the machine"
encoder=guestcard-encoder
if dpkg-query -W guestcard guestcard-wine >/dev/null 2>&1 || [ -e "$opt" ] || [ -e "$data" ] ||
    update-alternatives --query "$encoder" >/dev/null 2>&1; then
    echo "SKIP: this machine has guestcard already; the test would replace it" >&2
    exit 77
fi
clerk=gctestclerk
! getent passwd "$clerk" >/dev/null || fail "the account $clerk exists already"
made_group=
getent group guestcard >/dev/null || made_group=1
on_exit 'apt-get purge -y -q -o DPkg::Lock::Timeout=120 guestcard-wine guestcard >/dev/null 2>&1
    update-alternatives --remove-all "$encoder" >/dev/null 2>&1; rm -rf "$opt" "$data"'
on_exit 'end_clerk_wine'
on_exit 'userdel "$clerk" || echo "the account $clerk is left" >&2'
on_exit 'if [ -n "$made_group" ]; then groupdel guestcard 2>/dev/null; fi'

export DEBIAN_FRONTEND=noninteractive
apt_get() {
    apt-get "$1" -y -q -o DPkg::Lock::Timeout=120 "${@:2}" >"$work/apt.log" 2>&1 ||
        fail "apt-get $* failed: $(cat "$work/apt.log")"
}
as_clerk() { setpriv --reuid="$clerk" --regid=nogroup --init-groups "$@"; }
chosen() { update-alternatives --query "$encoder" | sed -n 's/^Value: //p'; }

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
    # The library the program loads: the alternative's link, no package's
    # file, by default the stand-in.
    [ "$(readlink "$opt/libKelrin.so")" = "/etc/alternatives/$encoder" ] ||
        fail "$opt/libKelrin.so is no link of the alternative $encoder"
    ! dpkg-query -S "$opt/libKelrin.so" >/dev/null 2>&1 || fail "a package owns $opt/libKelrin.so"
    grep -qx 'Status: auto' <<<"$(update-alternatives --query "$encoder")" &&
        [ "$(chosen)" = "$opt/simulated/libKelrin.so" ] ||
        fail "the alternative $encoder is not the stand-in by default: $(update-alternatives --query "$encoder")"
}

apt_get install "$deb" "$wine_deb"
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
    if as_clerk sh -c "$2" </dev/null 2>/dev/null; then changed+=("$1"); fi
}
cp /bin/true "$work/clerk/planted"
chown "$clerk" "$work/clerk/planted"
while read -r path; do
    try "rename $path" "mv -T '$path' '$path.aside'"
    try "delete $path" "rm -f '$path'"
    try "replace $path" "cp '$work/clerk/planted' '$path.new' && mv -f '$path.new' '$path'"
    try "link over $path" "ln -sfn '$work/clerk/planted' '$path'"
    [ -L "$path" ] || try "write into $path" "cat '$work/clerk/planted' >'$path'"
done < <(find "$opt" -mindepth 1)
try "add a library" "cp '$work/clerk/planted' '$opt/libQt6Core.so.6'"
try "add Kelrin.dll" "cp '$work/clerk/planted' '$opt/Kelrin.dll'"
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

# The installed station, started by the clerk by its name on the PATH (with
# the settings given), up to its window; and the encoder library it mapped,
# by its real path: the link in /usr/bin still finds what lies beside the
# program's real file, the library and the hand-off file. No
# session bus, which the toolkit would otherwise start for the clerk and
# leave running.
start_station() {
    (cd "$work/clerk" && exec setpriv --reuid="$clerk" --regid=nogroup --init-groups \
        env -u XDG_DATA_HOME HOME="$work/clerk" KELRIN_SIM_STATE="$work/clerk/device" \
        DBUS_SESSION_BUS_ADDRESS="unix:path=$work/clerk/no-bus" "$@" guestcard) \
        >"$work/station.log" 2>&1 &
    station=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^制客人卡$' | head -n1) ||
        fail "the installed station showed no window: $(cat "$work/station.log")"
}
stop_station() {
    kill "$station"
    wait "$station" 2>/dev/null || true
    station=
}
check_loaded() {
    local mapped
    mapped=$(sed -n 's|^.* \(/.*libKelrin\.so\)$|\1|p' "/proc/$station/maps" | sort -u)
    [ "$mapped" = "$1" ] || fail "the station loaded '$mapped', not $1"
}

# The program finds the library through the alternative's link: its run path
# is $ORIGIN, the loader resolves $opt/libKelrin.so.
resolved=$(LD_TRACE_LOADED_OBJECTS=1 "$opt/guestcard" | sed -n 's/^\s*libKelrin.so => \(\S*\).*/\1/p')
[ "$resolved" = "$opt/libKelrin.so" ] || fail "the installed program resolved libKelrin.so to '$resolved'"
[ "$(command -v guestcard)" = /usr/bin/guestcard ] || fail "guestcard is not on the PATH: $(command -v guestcard)"
resolved=$(LD_TRACE_LOADED_OBJECTS=1 guestcard | sed -n 's/^\s*libKelrin.so => \(\S*\).*/\1/p')
[ "$resolved" = "$opt/libKelrin.so" ] || fail "guestcard on the PATH resolved libKelrin.so to '$resolved'"

# On the stand-in, the station issues a guest card for the second stay: the
# fields held what the clerk wrote.
sim() { as_clerk env KELRIN_SIM_STATE="$work/clerk/device" kelrin-sim "$@"; }
start_station
check_loaded "$opt/simulated/libKelrin.so"
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
stop_station

# The bridge, chosen as an integrator does, with a test DLL as the maker's:
# kelrin-bridge (on the PATH) prepares the clerk's Wine prefix and finds the
# DLL beside the program; the station then opens the port through it as its
# window is made. This machine's `wine` may be the 32-bit loader, which
# cannot start here: then Wine's 64-bit loader, which runs the 64-bit DLL.
wine=
for candidate in "$(command -v wine || true)" /usr/lib/wine/wine64; do
    if [ -x "$candidate" ] && "$candidate" --version >/dev/null 2>&1; then wine=$candidate && break; fi
done
[ -n "$wine" ] || fail "no Wine here starts"
end_clerk_wine() {
    local server prefix="$work/clerk/.local/share/guestcard/wine"
    server="$(dirname "$wine")/wineserver"
    [ -d "$prefix" ] || return 0
    as_clerk env WINEPREFIX="$prefix" "$server" -k 2>/dev/null || true
    as_clerk env WINEPREFIX="$prefix" "$server" -w || true
}
update-alternatives --set "$encoder" "$opt/wine/libKelrin.so" >/dev/null ||
    fail "the bridge is no choice of the alternative $encoder"
install -m 0644 "$dlls/scripted64.dll" "$opt/Kelrin.dll"
# The Wine to run from the administrator's file, as the guide keeps it.
echo "KELRIN_WINE=$wine" >>/etc/guestcard/bridge.conf
(cd "$work/clerk" && as_clerk env -u XDG_DATA_HOME -u KELRIN_WINE HOME="$work/clerk" \
    kelrin-bridge check) >"$work/check.log" 2>&1 || fail "kelrin-bridge check failed: $(cat "$work/check.log")"
grep -qxF "Setting:  KELRIN_WINE=$wine (from /etc/guestcard/bridge.conf)" "$work/check.log" ||
    fail "kelrin-bridge check did not name the file its Wine came from: $(cat "$work/check.log")"
grep -q "^Library: *$opt/Kelrin.dll, 64-bit\$" "$work/check.log" ||
    fail "kelrin-bridge did not find Kelrin.dll beside the program: $(cat "$work/check.log")"
start_station KELRIN_WINE="$wine" KELRIN_TEST_LOG="$work/clerk/dll.log"
check_loaded "$opt/wine/libKelrin.so"
for _ in $(seq 100); do
    grep -qx 'initializeUSB 1' "$work/clerk/dll.log" 2>/dev/null && break
    sleep 0.1
done
grep -qx 'initializeUSB 1' "$work/clerk/dll.log" ||
    fail "the bridge did not open the port in the DLL: $(cat "$work/clerk/dll.log" "$work/station.log")"
stop_station
end_clerk_wine

# Chosen back, the stand-in.
update-alternatives --auto "$encoder" >/dev/null
start_station
check_loaded "$opt/simulated/libKelrin.so"
stop_station

# Removing the bridge while it is chosen leaves the stand-in chosen, and the
# maker's DLL where the integrator put it.
update-alternatives --set "$encoder" "$opt/wine/libKelrin.so" >/dev/null
apt_get purge guestcard-wine
[ ! -e "$opt/wine" ] || fail "$opt/wine is left after purging guestcard-wine"
[ "$(chosen)" = "$opt/simulated/libKelrin.so" ] ||
    fail "without the bridge, the alternative is: $(update-alternatives --query "$encoder")"
rm "$opt/Kelrin.dll"

# Removing keeps the property system's file; purging takes it. The
# alternative goes with the stand-in.
apt_get remove guestcard
[ ! -e "$opt" ] || fail "$opt is left after removing: $(ls -A "$opt")"
! update-alternatives --query "$encoder" >/dev/null 2>&1 && [ ! -e "/etc/alternatives/$encoder" ] ||
    fail "removing left the alternative $encoder"
cmp -s "$work/second.ini" "$data/hotel.ini" || fail "removing the package took the hand-off file"
apt_get purge guestcard
[ ! -e "$data" ] || fail "$data is left after purging"
! dpkg-statoverride --list "$data" >/dev/null || fail "purging left the override of $data"

# Upgrade: 0.1.0 had no link and no data folder, its libKelrin.so was a file
# of the package, and its postinst let the group write into the station's
# folder. Its package, made from this one.
old="$work/old"
dpkg-deb -R "$deb" "$old"
mv "$old/opt/guestcard/simulated/libKelrin.so" "$old/opt/guestcard/libKelrin.so"
rm -rf "$old/var" "$old/opt/guestcard/hotel.ini" "$old/opt/guestcard/simulated" \
    "$old"/DEBIAN/{preinst,prerm,postrm,md5sums}
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
as_clerk sh -c "cat '$work/first.ini' >'$opt/hotel.ini' && printf '[Paths]\n' >'$opt/qt.conf' &&
    cp '$dlls/scripted64.dll' '$opt/KELRIN.DLL'" || fail "0.1.0 did not let the group write its folder"
apt_get install "$deb"
grep -q "^guestcard: $opt/qt.conf belongs to no package and the station may load it" "$work/apt.log" ||
    fail "the upgrade did not name the planted file: $(cat "$work/apt.log")"
grep -q "^guestcard: $opt/KELRIN.DLL belongs to no package; a Kelrin.dll is expected there" "$work/apt.log" ||
    fail "the upgrade did not name Kelrin.dll as expected: $(cat "$work/apt.log")"
check_layout
if [ "$(stat -c %U "$data/hotel.ini")" != "$clerk" ] || ! cmp -s "$work/first.ini" "$data/hotel.ini"; then
    fail "the upgrade did not move 0.1.0's hotel.ini to $data"
fi
rm -f "$opt/qt.conf" "$opt/KELRIN.DLL"
apt_get purge guestcard
[ ! -e "/var/lib/dpkg/alternatives/$encoder" ] || fail "purging left the alternative $encoder"
echo "package checks passed"
