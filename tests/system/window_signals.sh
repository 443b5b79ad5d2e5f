#!/bin/sh
# Signals a system sends to a recording window: its standard error goes into a pipe whose
# reader has gone (the first report must not end the program), and a closed terminal
# (SIGHUP) ends it as SIGTERM does, with status 0, the log's closing lines and its dated
# copy. The real window on a private X server (Xvfb), the receiver a pseudo-terminal fed
# by quorel-replay-nmea; skipped (status 77) when Xvfb is missing or does not start.
# usage: window_signals.sh QUOREL REPLAY MAKE_DRIVE
quorel=$1
replay=$2
make_drive=$3
. "$(dirname "$0")/../support/window.sh"

window_test window_signals

start_receiver "$work" "$make_drive" "$replay"

# A fresh home has no tiles, so the program reports at once on standard error, which
# goes into a pipe that nobody reads any more.
mkdir -p "$work/home/sdmmc" "$work/xdg"
fifo="$work/stderr.fifo"
mkfifo "$fifo"
(exec 0<"$fifo") &  # opens the pipe for reading, then goes away
XDG_RUNTIME_DIR="$work/xdg" "$quorel" --window 480x272 --home "$work/home" --gps "$work/gps" \
    >/dev/null 2>"$fifo" &
program=$!
log="$work/home/sdmmc/GPX/scurrent.gpx"
i=0
points() { cat "$log" 2>/dev/null | grep -c '<trkpt'; }
while [ "$(points)" -lt 5 ]; do
    i=$((i + 1))
    kill -0 "$program" 2>/dev/null || fail "the program ended before recording (a write to a closed pipe?)"
    [ $i -le 300 ] || fail "no points recorded in 30 s"
    sleep 0.1
done

kill -HUP "$program"
await_end 100 "SIGHUP"
[ "$status" -eq 0 ] || fail "exit status $status after SIGHUP"
tail -n 1 "$log" | grep -q '</gpx>' || fail "the log has no closing lines"
copy=$(ls "$work/home/sdmmc/GPX/" | grep -v '^scurrent.gpx$' | head -n 1)
[ -n "$copy" ] || fail "no dated copy of the log: $(ls -la "$work/home/sdmmc/GPX/")"
cmp -s "$log" "$work/home/sdmmc/GPX/$copy" || fail "the dated copy $copy differs from the log"
echo "PASS"
