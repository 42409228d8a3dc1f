#!/usr/bin/env bash
# Runs a command with DISPLAY set to a private Xvfb server, which it stops
# afterwards. Real-program tests use it: bare Xvfb has no window manager, so
# they drive the window with xdotool.
set -euo pipefail
command -v Xvfb >/dev/null || { echo "Xvfb is not installed (package xvfb)" >&2; exit 1; }
fdfile=$(mktemp)
# -noreset: the program's display probe may be the server's only client
# for a moment, and a server that resets when it leaves refuses whoever
# connects during the reset.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fdfile" 2>/dev/null &
xvfb=$!
# The server is waited for: one still shutting down would remove the lock and
# socket files of the next server given its display number.
trap 'kill "$xvfb" 2>/dev/null && wait "$xvfb"; rm -f "$fdfile"' EXIT
for _ in $(seq 100); do
    [ -s "$fdfile" ] && break
    sleep 0.05
done
[ -s "$fdfile" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$fdfile")"
unset QT_QPA_PLATFORM
"$@"
