#!/bin/sh
# A first start with no map at all shows, in the window, where the tiles, the map file,
# the settings and the GPX files go, over the placeholders, until the first tile is shown:
# the white box of the hint is there after the start, and gone once tiles copied in while
# the program runs come into view (a zoom in loads them). The real window on a private X
# server; skipped (status 77) without Xvfb or ImageMagick (its import takes the shots).
# usage: window_start_hint.sh QUOREL
quorel=$1
. "$(dirname "$0")/../support/window.sh"
command -v import >/dev/null || skip "ImageMagick is not installed (tools/install-deps installs it)"

window_test window_start_hint

mkdir -p "$work/xdg" "$work/home/sdmmc"
XDG_RUNTIME_DIR="$work/xdg" "$quorel" --window 480x272 --home "$work/home" --gps none \
    >/dev/null 2>"$work/stderr.txt" &
program=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Quorel$' | head -n 1)
[ -n "$window" ] || fail "no window appeared: $(cat "$work/stderr.txt")"

# Pure white pixels in a shot of the window: the hint's box, which nothing else draws
# over the placeholders in this size.
white() {
    import -window "$window" "$work/$1.png" 2>>"$work/import.log" || { echo 0; return; }
    convert "$work/$1.png" txt:- | grep -c '#FFFFFF'
}
wait_for_white() {  # wait_for_white NAME MORE|LESS PIXELS
    i=0
    while :; do
        n=$(white "$1")
        if [ "$2" = MORE ] && [ "$n" -gt "$3" ]; then return; fi
        if [ "$2" = LESS ] && [ "$n" -lt "$3" ]; then return; fi
        i=$((i + 1))
        [ $i -le 30 ] || fail "$1: $n white pixels, wanted $2 than $3"
        sleep 0.5
    done
}

wait_for_white hint MORE 20000
grep -q "quorel: no map tiles in $work/home/sdmmc/Maps/std/" "$work/stderr.txt" ||
    fail "the hint is not on standard error: $(cat "$work/stderr.txt")"

# Tiles arrive while the program runs; a zoom in (the second button on the left) shows them.
convert -size 256x256 xc:'#88AA66' "$work/tile.png"
for x in $(seq 29104 29109); do
    mkdir -p "$work/home/sdmmc/Maps/std/15/$x"
    for y in $(seq 12794 12799); do cp "$work/tile.png" "$work/home/sdmmc/Maps/std/15/$x/$y.png"; done
done
xdotool mousemove --window "$window" 20 95 click 1
wait_for_white tiles LESS 2000

# Zooming back out to the placeholders does not bring the hint back: the map is there.
xdotool mousemove --window "$window" 20 135 click 1
sleep 1
n=$(white placeholders)
[ "$n" -lt 2000 ] || fail "the hint came back after the first tile was shown ($n white pixels)"
echo "PASS"
