#!/bin/sh
# A turned screen in the real window: at 0, 90, 180 and 270 degrees each control, tapped
# with xdotool where the turned picture shows it, does what it does (the star twice: while
# it is on, the map follows the receiver, which without one stays at 0, 0). After every tap the
# window shows exactly what a headless run shows after the same tap (a run whose state
# the rotation scenario checks), and every tap changes the picture, so a tap that missed
# its button shows. The bulb darkens the window; the close corner ends the program. The
# battery gauge reads the host's battery in the window and is left out of the comparison.
# Skipped (status 77) without Xvfb, xdotool or ImageMagick.
# usage: window_rotation.sh QUOREL
quorel=$1
. "$(dirname "$0")/../support/window.sh"
command -v xdotool >/dev/null || skip "xdotool is not installed (tools/install-deps installs it)"
command -v import >/dev/null || skip "ImageMagick is not installed (tools/install-deps installs it)"

window_test window_rotation

# A current route of two points around home, drawn from the start.
route='<?xml version="1.0"?><gpx version="1.1" creator="test"><trk><name>Root</name><trkseg>
<trkpt lat="36.6250" lon="139.7680"></trkpt>
<trkpt lat="36.6180" lon="139.7760"></trkpt>
</trkseg></trk></gpx>'
# The taps at a rotation, name:x:y in window pixels, the close corner last; the battery
# gauge's corners in window pixels.
taps() {
    case $1 in
    0) echo star:20:40 staroff:20:40 zoomin:20:95 map:300:200 home:20:175 origin:20:215 zoomout:20:135 \
           point:460:85 erase:457:244 pointoff:460:85 bulb:457:42 close:5:5 ;;
    90) echo star:457:10 staroff:457:10 zoomin:426:10 map:179:100 home:381:10 origin:358:10 zoomout:403:10 \
            point:432:261 erase:14:260 pointoff:432:261 bulb:455:260 close:474:5 ;;
    180) echo star:459:231 staroff:459:231 zoomin:459:176 map:179:71 home:459:96 origin:459:56 zoomout:459:136 \
             point:19:186 erase:22:27 pointoff:19:186 bulb:22:229 close:474:266 ;;
    270) echo star:22:261 staroff:22:261 zoomin:53:261 map:300:171 home:98:261 origin:121:261 zoomout:76:261 \
             point:47:10 erase:465:11 pointoff:47:10 bulb:24:11 close:5:266 ;;
    esac
}
gauge() {
    case $1 in 0) echo 448,253 479,271 ;; 90) echo 0,254 9,271 ;; 180) echo 0,0 31,18 ;; 270) echo 470,0 479,17 ;; esac
}
# A map with one tile far from the views here (zoom 3), so that no start hint covers the
# route; the pictures show placeholders.
new_home() {
    mkdir -p "$1/sdmmc/GPX" "$1/xdg" "$1/sdmmc/Maps/std/3/7"
    printf '%s\n' "$route" >"$1/sdmmc/GPX/crntroot.gpx"
    convert -size 256x256 xc:'#88AA66' "$1/sdmmc/Maps/std/3/7/3.png"
}
# Pixels that differ between two screenshots, the gauge painted out of both.
differing() {
    convert "$1" "$2" -alpha off -fill black -draw "rectangle $(gauge "$3")" -compose difference -composite \
        -separate -evaluate-sequence max -threshold 0 -format '%[fx:round(mean*w*h)]' info:
}

for r in 0 90 180 270; do
    # The headless run: each tap, then a tick, then the picture.
    h="$work/h$r"
    new_home "$h"
    script="$h/script.scn"
    echo "tick 6" >"$script"
    for t in $(taps $r); do
        IFS=: read -r name x y <<EOT
$t
EOT
        [ "$name" = close ] && continue
        printf 'tap %s %s\ntick\nshot %s/%s.png\n' "$x" "$y" "$h" "$name" >>"$script"
    done
    XDG_RUNTIME_DIR="$h/xdg" "$quorel" --headless --screen 480x272 --home "$h" --gps none --rotate "$r" \
        --script "$script" >"$h/out.txt" 2>&1 || fail "headless run at $r degrees: $(cat "$h/out.txt")"

    w="$work/w$r"
    new_home "$w"
    XDG_RUNTIME_DIR="$w/xdg" "$quorel" --window 480x272 --home "$w" --gps none --rotate "$r" >"$w/out.txt" 2>&1 &
    program=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Quorel$' | head -n 1)
    [ -n "$window" ] || fail "no window appeared at $r degrees: $(cat "$w/out.txt")"
    sleep 4  # the start-up loading ticks
    previous=""
    for t in $(taps $r); do
        IFS=: read -r name x y <<EOT
$t
EOT
        if [ "$name" = close ]; then
            # The bulb darkened the window: the first tap lights it, the second closes.
            xdotool mousemove --window "$window" "$x" "$y" click 1 sleep 0.5 click 1
            break
        fi
        xdotool mousemove --window "$window" "$x" "$y" click 1
        sleep 0.8  # a tick: what a tap changes without a redraw shows with the next frame
        import -window "$window" "$w/$name.png" || fail "no screenshot of the window at $r degrees"
        if [ "$name" = bulb ]; then
            [ "$(convert "$w/bulb.png" -alpha off -format '%[max]' info:)" = 0 ] ||
                fail "the bulb at $r degrees did not darken the window"
            continue
        fi
        n=$(differing "$w/$name.png" "$h/$name.png" $r)
        [ "$n" = 0 ] || fail "after the $name tap at $r degrees the window differs from the headless run in $n pixels"
        if [ -n "$previous" ]; then
            n=$(differing "$h/$previous.png" "$h/$name.png" $r)
            [ "$n" != 0 ] || fail "the $name tap at $r degrees changed nothing"
        fi
        previous=$name
    done
    await_end 100 "a tap on the close corner at $r degrees"
    [ "$status" -eq 0 ] || fail "exit status $status at $r degrees: $(cat "$w/out.txt")"
    [ "$(grep -c '<trkpt' "$w/sdmmc/GPX/crntroot.gpx")" = 1 ] ||
        fail "the route saved at $r degrees is not the erased one: $(cat "$w/sdmmc/GPX/crntroot.gpx")"
done
echo "PASS"
