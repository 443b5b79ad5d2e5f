#!/bin/sh
# A window asked larger than the screen is fitted to the usable screen area, says so in one
# line, and its close corner is on the screen: a tap there ends the program. Runs the real
# window on a private 1024x768 X server (Xvfb) driven by xdotool; skipped (status 77) when
# either is missing or the server does not start.
# usage: window_fit.sh QUOREL
quorel=$1
. "$(dirname "$0")/../support/window.sh"
command -v xdotool >/dev/null || skip "xdotool is not installed (tools/install-deps installs it)"

window_test window_fit

mkdir -p "$work/home" "$work/xdg"
XDG_RUNTIME_DIR="$work/xdg" "$quorel" --window 1600x1200 --home "$work/home" --gps none \
    >"$work/out.txt" 2>"$work/err.txt" &
program=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Quorel$' | head -n 1)
[ -n "$window" ] || fail "no window appeared: $(cat "$work/err.txt")"
sleep 4  # the start-up loading ticks

eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le 1024 ] && [ $((Y + HEIGHT)) -le 768 ] ||
    fail "the window ${WIDTH}x${HEIGHT} at $X,$Y does not fit the 1024x768 screen"
[ "$(grep -c 'does not fit the screen' "$work/err.txt")" -eq 1 ] || fail "no one line about the fitting: $(cat "$work/err.txt")"

# A tap in the close corner, given in screen coordinates, ends it.
xdotool mousemove $((X + 5)) $((Y + 5)) click 1
await_end 100 "a tap in the close corner"
[ "$status" -eq 0 ] || fail "exit status $status after the close tap: $(cat "$work/err.txt")"
echo "PASS"
