#!/bin/sh
# A receiver plugged in after the start: the window starts with --gps naming a device that
# is not there yet, says so in one line, and records the fixes of the receiver that
# appears 10 s later. The real window on a private X server (Xvfb), the receiver a
# pseudo-terminal fed by quorel-replay-nmea; skipped (status 77) without Xvfb.
# usage: late_receiver.sh QUOREL REPLAY MAKE_DRIVE
quorel=$1
replay=$2
make_drive=$3
. "$(dirname "$0")/../support/window.sh"

window_test late_receiver

mkdir -p "$work/home/sdmmc" "$work/xdg"
XDG_RUNTIME_DIR="$work/xdg" "$quorel" --window 480x272 --home "$work/home" --gps "$work/gps" \
    >/dev/null 2>"$work/err.txt" &
program=$!
sleep 10
kill -0 "$program" 2>/dev/null || fail "the program ended without its receiver: $(cat "$work/err.txt")"
grep -q "the receiver $work/gps is not there; trying again every 3 s" "$work/err.txt" ||
    fail "a missing receiver was not named: $(cat "$work/err.txt")"

start_receiver "$work" "$make_drive" "$replay"
log="$work/home/sdmmc/GPX/scurrent.gpx"
i=0
points() { cat "$log" 2>/dev/null | grep -c '<trkpt'; }
while [ "$(points)" -lt 3 ]; do
    i=$((i + 1))
    [ $i -le 300 ] || fail "no points recorded in 30 s from the receiver plugged in late"
    sleep 0.1
done
echo "PASS"
