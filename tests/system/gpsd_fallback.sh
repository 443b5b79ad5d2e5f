#!/bin/sh
# gpsd holds the receiver, so the port search finds none: the window reads the fixes from
# gpsd on localhost port 2947, says so in one line on stderr, and records them. gpsd is
# started there by gpsfake with a drive of quorel-make-drive, a second every 0.5 s.
# Skipped (status 77) without Xvfb or gpsfake, when something holds port 2947 already, or
# when a USB receiver is plugged in (the search would take it).
# usage: gpsd_fallback.sh QUOREL MAKE_DRIVE
quorel=$1
make_drive=$2
. "$(dirname "$0")/../support/window.sh"

command -v gpsfake >/dev/null || skip "gpsfake is not installed"
ss -ltn | grep -q ':2947 ' && skip "port 2947 is taken"
ls /dev/ttyUSB[0-9] /dev/ttyACM[0-9] >/dev/null 2>&1 && skip "a USB receiver is plugged in"
window_test gpsd_fallback
daemons=""  # gpsfake's process group, with its gpsd
trap '[ -n "$daemons" ] && kill -s KILL -- "-$daemons" 2>/dev/null; window_test_cleanup' EXIT

{
    printf '#Delay-Cookie: @ 0.5\n%%Delay: 1\n'
    "$make_drive" 1 "$work/unused" | sed -n 's/^nmea //p' | head -n 200 | sed 's/^\$GPGGA/@$GPGGA/'
} >"$work/drive.log"
setsid gpsfake -1 -q -P 2947 "$work/drive.log" >/dev/null 2>&1 &
i=0
until [ -n "$daemons" ]; do
    i=$((i + 1))
    [ $i -le 100 ] || fail "gpsd did not start on port 2947"
    sleep 0.1
    gpsd=$(ss -ltnpH 'sport = :2947' | sed -n 's/.*pid=\([0-9]*\).*/\1/p' | head -n 1)
    [ -n "$gpsd" ] && daemons=$(ps -o pgid= -p "$gpsd" | tr -d ' ')
done

mkdir -p "$work/home/sdmmc" "$work/xdg"
XDG_RUNTIME_DIR="$work/xdg" "$quorel" --window 480x272 --home "$work/home" >/dev/null 2>"$work/err.txt" &
program=$!
log="$work/home/sdmmc/GPX/scurrent.gpx"
i=0
points() { cat "$log" 2>/dev/null | grep -c '<trkpt'; }
while [ "$(points)" -lt 3 ]; do
    i=$((i + 1))
    [ $i -le 200 ] || fail "no points recorded through gpsd in 20 s: $(cat "$work/err.txt")"
    sleep 0.1
done
[ "$(grep -c 'fixes come from gpsd on localhost port 2947' "$work/err.txt")" -eq 1 ] ||
    fail "stderr did not say once where the fixes come from: $(cat "$work/err.txt")"
echo "PASS"
