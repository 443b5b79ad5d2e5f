#!/bin/sh
# A pen pressed on the map and released above and left of the window must not close the
# program: the window system reports such a release at negative coordinates, which the
# program must not take for a tap in the close corner. Then a real tap in the close corner
# ends it with status 0. Runs the real window on a private X server (Xvfb) driven by
# xdotool; skipped (status 77) when either is missing or the server does not start.
# usage: window_drag.sh QUOREL
quorel=$1
. "$(dirname "$0")/../support/window.sh"
command -v xdotool >/dev/null || skip "xdotool is not installed (tools/install-deps installs it)"

window_test window_drag

mkdir -p "$work/home" "$work/xdg"
XDG_RUNTIME_DIR="$work/xdg" "$quorel" --window 480x272 --home "$work/home" --gps none \
    >"$work/out.txt" 2>&1 &
program=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Quorel$' | head -n 1)
[ -n "$window" ] || fail "no window appeared: $(cat "$work/out.txt")"
sleep 4  # the start-up loading ticks

# Press on the map, drag past the top-left corner of the window, release there.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove --window "$window" 240 136 mousedown 1 sleep 0.3 \
    mousemove $((X - 60)) $((Y - 40)) sleep 0.3 mouseup 1
sleep 1
kill -0 "$program" 2>/dev/null || fail "a release left of and above the window closed the program"

# A tap in the close corner ends it.
xdotool mousemove --window "$window" 5 5 click 1
await_end 100 "a tap in the close corner"
[ "$status" -eq 0 ] || fail "exit status $status after the close tap: $(cat "$work/out.txt")"
echo "PASS"
