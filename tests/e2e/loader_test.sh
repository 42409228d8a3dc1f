#!/usr/bin/env bash
# The program finds the encoder library beside its own file and nowhere else:
# its run path is exactly $ORIGIN, a library in the working directory is never
# loaded, not even by the running program, and without the library the
# program does not start.
set -euo pipefail
program=$1
library=$2
build_dir=${3:-}
unset LD_LIBRARY_PATH LD_PRELOAD
export QT_QPA_PLATFORM=offscreen

fail() { echo "FAIL: $*" >&2; exit 1; }

dynamic=$(readelf -d "$program")
runpath=$(sed -n 's/.*(RUNPATH).*\[\(.*\)\]$/\1/p' <<<"$dynamic")
[ "$runpath" = '$ORIGIN' ] || fail "run path is '$runpath', want '\$ORIGIN'"
! grep -q '(RPATH)' <<<"$dynamic" || fail "an old-style RPATH is set as well"
grep -q 'NEEDED.*\[libKelrin.so\]' <<<"$dynamic" || fail "libKelrin.so is not linked at load time"

work=$(mktemp -d)
running=
trap '[ -z "$running" ] || kill "$running" 2>/dev/null; rm -rf "$work"' EXIT
export KELRIN_SIM_STATE="$work/device"
mkdir "$work/station" "$work/elsewhere"
cp "$program" "$work/station/guestcard"
cp "$library" "$work/station/libKelrin.so"

# Resolved beside the program, whatever the working directory.
cp "$library" "$work/elsewhere/libKelrin.so"
cd "$work/elsewhere"
resolved=$(LD_TRACE_LOADED_OBJECTS=1 "$work/station/guestcard" | sed -n 's/^\s*libKelrin.so => \(\S*\).*/\1/p')
[ "$resolved" = "$work/station/libKelrin.so" ] || fail "libKelrin.so resolved to '$resolved'"

# Started from there, it maps the library beside it, never the one in the
# working directory, and runs until stopped.
"$work/station/guestcard" >/dev/null 2>&1 &
running=$!
mapped=
for _ in $(seq 50); do
    mapped=$(sed -n 's|^.* \(/.*libKelrin\.so\)$|\1|p' "/proc/$running/maps" 2>/dev/null | sort -u)
    [ -n "$mapped" ] && break
    sleep 0.1
done
[ "$mapped" = "$work/station/libKelrin.so" ] || fail "the running program mapped '$mapped'"
status=0
timeout 3 tail --pid="$running" -f /dev/null || status=$?
[ "$status" = 124 ] || fail "the program did not keep running with its library"
kill "$running"
wait "$running" 2>/dev/null || true
running=

# Without the library beside it, a library in the working directory is not
# loaded and the program does not start.
rm "$work/station/libKelrin.so"
resolved=$(LD_TRACE_LOADED_OBJECTS=1 "$work/station/guestcard" | sed -n 's/^\s*libKelrin.so => \(.*\)$/\1/p')
[ "$resolved" = "not found" ] || fail "without its own library it resolved '$resolved'"
status=0
timeout 3 "$work/station/guestcard" >"$work/out" 2>&1 || status=$?
[ "$status" = 127 ] || fail "the program started without its library (exit $status)"
grep -q 'libKelrin.so' "$work/out" || fail "the loader did not name the missing library"
# Installed by cmake, the program and its library again share one folder.
if [ -n "$build_dir" ]; then
    DESTDIR="$work/root" cmake --install "$build_dir" >/dev/null
    installed=$(find "$work/root" -type f -name guestcard -perm -u+x)
    [ -n "$installed" ] || fail "nothing named guestcard was installed"
    # The stand-in itself, no link: the alternatives are the packages' own.
    [ -f "$(dirname "$installed")/libKelrin.so" ] && [ ! -L "$(dirname "$installed")/libKelrin.so" ] ||
        fail "libKelrin.so is not installed beside the program"
    runpath=$(readelf -d "$installed" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]$/\1/p')
    [ "$runpath" = '$ORIGIN' ] || fail "installed run path is '$runpath'"
    resolved=$(LD_TRACE_LOADED_OBJECTS=1 "$installed" | sed -n 's/^\s*libKelrin.so => \(\S*\).*/\1/p')
    [ "$resolved" = "$(dirname "$installed")/libKelrin.so" ] || fail "installed program resolved '$resolved'"
fi
echo "loader checks passed"
