#!/bin/sh
# A message in the window does not stop the program: with damaged tiles in view, the box
# shows over the map while the timer goes on (points keep being recorded), one box for
# many files, a tap on its OK takes it away, and SIGTERM while one shows ends the program
# at once with status 0 and a finished log. The real window on a private X server, the
# receiver a pseudo-terminal fed by quorel-replay-nmea; skipped (status 77) without Xvfb
# or ImageMagick (its import takes the screenshots).
# usage: window_message.sh QUOREL REPLAY MAKE_DRIVE
quorel=$1
replay=$2
make_drive=$3
. "$(dirname "$0")/../support/window.sh"
command -v import >/dev/null || skip "ImageMagick is not installed (tools/install-deps installs it)"

window_test window_message

start_receiver "$work" "$make_drive" "$replay"

# Pages saved by a downloader in place of the tiles around the start position, at zoom 14
# (in view at start) and at zoom 15 (in view after a zoom in).
damage() {
    for x in $(seq "$2" "$3"); do
        for y in $(seq "$4" "$5"); do
            mkdir -p "$work/home/sdmmc/Maps/std/$1/$x"
            echo '<html><body>404 Not Found</body></html>' >"$work/home/sdmmc/Maps/std/$1/$x/$y.png"
        done
    done
}
damage 14 14552 14554 6397 6399
damage 15 29104 29109 12794 12799
mkdir -p "$work/xdg"
XDG_RUNTIME_DIR="$work/xdg" "$quorel" --window 480x272 --home "$work/home" --gps "$work/gps" \
    >/dev/null 2>"$work/stderr.txt" &
program=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Quorel$' | head -n 1)
[ -n "$window" ] || fail "no window appeared: $(cat "$work/stderr.txt")"
reported() { grep -c "Maps/std/$1/.* is not a PNG" "$work/stderr.txt"; }
wait_for_reports() {
    i=0
    while [ "$(reported "$1")" -lt 1 ]; do
        i=$((i + 1))
        [ $i -le 200 ] || fail "no damaged zoom-$1 tiles reported: $(cat "$work/stderr.txt")"
        sleep 0.1
    done
    sleep 1  # the frame that follows, with the box over it
}
# The OK button's face in a shot of the window: "pixels left top right bottom".
button_face() {
    import -window "$window" "$work/$1.png" 2>>"$work/import.log" || { echo 0 0 0 0 0; return; }
    convert "$work/$1.png" txt:- | awk -F'[,: ]+' '/#D4D0C8/ {
        n++; if (n == 1 || $1 < l) l = $1; if (n == 1 || $2 < t) t = $2; if ($1 > r) r = $1; if ($2 > b) b = $2
    } END { print n + 0, l + 0, t + 0, r + 0, b + 0 }'
}
log="$work/home/sdmmc/GPX/scurrent.gpx"
points() { cat "$log" 2>/dev/null | grep -c '<trkpt'; }

# Nobody taps OK: the program goes on recording, and reads the other damaged files.
wait_for_reports 14
before=$(points)
sleep 6
after=$(points)
[ "$after" -ge $((before + 3)) ] || fail "$before points, then $after 6 s later while the message showed"
[ "$(reported 14)" -ge 2 ] || fail "the first damaged file stopped the frame: $(cat "$work/stderr.txt")"
set -- $(button_face showing)
[ "$1" -ge 1000 ] || fail "no message box over the map ($1 pixels of its button)"
face=$1
ok_x=$((($2 + $4) / 2))
ok_y=$((($3 + $5) / 2))

# One tap on OK and the box is gone: the damaged files made one box between them.
xdotool mousemove --window "$window" "$ok_x" "$ok_y" click 1
sleep 1.5
set -- $(button_face dismissed)
[ $(($1 * 10)) -lt "$face" ] || fail "the box is still there after OK ($1 pixels of its button)"

# Zoom in (the second button on the left): the zoom-15 files show a new box, and SIGTERM
# ends the program while it shows.
xdotool mousemove --window "$window" 20 95 click 1
wait_for_reports 15
set -- $(button_face again)
[ "$1" -ge 1000 ] || fail "no box for the damaged zoom-15 tiles"
kill -TERM "$program"
await_end 50 "SIGTERM, while a message showed,"
[ "$status" -eq 0 ] || fail "exit status $status after SIGTERM"
tail -n 1 "$log" | grep -q '</gpx>' || fail "the log has no closing lines"
echo "PASS"
