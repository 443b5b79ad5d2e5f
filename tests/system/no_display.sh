#!/bin/sh
# A window start with no display to reach (over SSH, from a unit before the session): SDL
# would fall back on a driver that shows nothing. The start is refused in one line on
# standard error with status 1, and the lock is free for the real start.
# usage: no_display.sh QUOREL
quorel=$1
fail() { echo "FAIL: $*"; exit 1; }
. "$(dirname "$0")/../support/scratch.sh"
work=$(scratch_folder no_display) || exit 1
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/xdg"

for driver in "" offscreen dummy; do
    env -u DISPLAY -u WAYLAND_DISPLAY ${driver:+SDL_VIDEODRIVER=$driver} XDG_RUNTIME_DIR="$work/xdg" \
        timeout 20 "$quorel" --window 480x272 --home "$work/home" --gps none 2>"$work/err.txt"
    status=$?
    [ "$status" -eq 1 ] || fail "driver '$driver': exit status $status: $(cat "$work/err.txt")"
    [ "$(wc -l <"$work/err.txt")" -eq 1 ] || fail "driver '$driver': not one line: $(cat "$work/err.txt")"
    grep -q "no display" "$work/err.txt" || fail "driver '$driver': $(cat "$work/err.txt")"
    for lock in "$work"/xdg/*.lock; do
        [ -e "$lock" ] || continue
        flock -n "$lock" true || fail "driver '$driver': the lock $lock is still held"
    done
done
echo "PASS"
