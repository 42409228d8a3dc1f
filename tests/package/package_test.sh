#!/usr/bin/env bash
# The Debian package as a front desk gets it: exactly the station's files,
# the Qt runtime and a CJK font as dependencies, a valid desktop entry and
# AppStream metainfo, the run path $ORIGIN, and, unpacked into a scratch root
# with the example hand-off file, a program that shows its window. Run it
# through with_xvfb.sh.
set -euo pipefail
build_dir=$1
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/scratch.sh"
station=
on_exit 'if [ -n "$station" ]; then kill "$station" 2>/dev/null; fi'

cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$work/cpack.log")"
deb=$(ls "$work"/out/guestcard_*.deb)

# Exactly these paths: nothing from the build tree, no hotel.ini.
listing=$(dpkg-deb -c "$deb")
awk '{print $6}' <<<"$listing" | sed 's|^\./||; s|/$||' | grep -v '^$' | sort >"$work/files"
sort >"$work/expected" <<'LIST'
opt
opt/guestcard
opt/guestcard/guestcard
opt/guestcard/hotel.ini.example
opt/guestcard/kelrin-sim
opt/guestcard/libKelrin.so
usr
usr/bin
usr/bin/kelrin-sim
usr/share
usr/share/applications
usr/share/applications/org.guestcard.Station.desktop
usr/share/icons
usr/share/icons/hicolor
usr/share/icons/hicolor/48x48
usr/share/icons/hicolor/48x48/apps
usr/share/icons/hicolor/48x48/apps/org.guestcard.Station.png
usr/share/icons/hicolor/scalable
usr/share/icons/hicolor/scalable/apps
usr/share/icons/hicolor/scalable/apps/org.guestcard.Station.svg
usr/share/metainfo
usr/share/metainfo/org.guestcard.Station.metainfo.xml
LIST
diff -u "$work/expected" "$work/files" >&2 || fail "the package holds other files than the station's"
grep -q ' \./usr/bin/kelrin-sim -> /opt/guestcard/kelrin-sim$' <<<"$listing" ||
    fail "/usr/bin/kelrin-sim is not a link to the one beside the program"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins fonts-wqy-zenhei; do
    grep -q "\b$needed\b" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -x './postinst' >/dev/null || fail "no postinst to set up the group"

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

# Unpacked, with the example hand-off, it starts and shows its window.
cp "$root/opt/guestcard/hotel.ini.example" "$root/opt/guestcard/hotel.ini"
export KELRIN_SIM_STATE="$work/device"
(cd "$work" && exec "$root/opt/guestcard/guestcard") >"$work/out.log" 2>&1 &
station=$!
timeout 20 xdotool search --sync --onlyvisible --name '^制客人卡$' >/dev/null ||
    fail "the unpacked program showed no window: $(cat "$work/out.log")"
kill "$station"
wait "$station" 2>/dev/null || true
station=
echo "package checks passed"
