#!/bin/sh
# The trip totals against gpxpy: the receiver logs of the corpus in which the receiver
# moves (the others record no point) and a drive of two hours with stops
# (quorel-make-drive --stops) go through a headless run, and the totals since the run
# started (the state dump) are compared with gpxpy's reading of the track log that run
# wrote, with the same 1 km/h threshold: distance (length_3d) within 0.5 %, moving time
# (moving_time) within 2 %, ascent (uphill) within 10 %, or, for logs of a few points,
# within 10 m, 2 s and the 3 m step of the ascent's hysteresis (gpxpy counts every rise of
# its smoothed altitudes). A second run reads the drive's log back, and its totals since
# the log's first point are compared the same way. Skipped (status 77) without gpxpy.
# usage: trip_gpxpy.sh QUOREL MAKE_DRIVE CORPUS_DIR
quorel=$1
make_drive=$2
corpus=$3
. "$(dirname "$0")/../support/scratch.sh"
python=/usr/bin/python3
"$python" -c 'import gpxpy' 2>/dev/null || { echo "SKIP: no gpxpy"; exit 77; }
work=$(scratch_folder trip_gpxpy)
failed=0

# compare NAME DUMP PREFIX GPX [SECONDS]: the totals PREFIX.* of DUMP against gpxpy's
# reading of GPX; prints the comparison line. SECONDS widens the slack of the moving time.
compare() {
    "$python" - "$@" <<'EOF' || failed=1
import sys, gpxpy
name, dump, prefix, log = sys.argv[1:5]
slack = float(sys.argv[5]) if len(sys.argv) > 5 and sys.argv[5] else 2
ours = dict(l.strip().split("=", 1) for l in open(dump) if l.startswith(prefix + "."))
distance = float(ours[prefix + ".distanceKm"]) * 1000
moving = float(ours[prefix + ".movingSeconds"])
ascent = float(ours[prefix + ".ascentM"])
gpx = gpxpy.parse(open(log))
peer = gpx.get_moving_data(stopped_speed_threshold=1.0)
peer_distance = gpx.length_3d()
peer_ascent = gpx.get_uphill_downhill().uphill
points = sum(len(s.points) for t in gpx.tracks for s in t.segments)
def near(a, b, rel, slack):
    return abs(a - b) <= max(rel * abs(b), slack)
ok = (near(distance, peer_distance, 0.005, 10) and near(moving, peer.moving_time, 0.02, slack)
      and near(ascent, peer_ascent, 0.10, 3))
print("%s %s: %d points; distance %.1f m (gpxpy %.1f), moving %.0f s (gpxpy %.0f), ascent %.1f m (gpxpy %.1f)"
      % ("ok" if ok else "FAIL", name, points, distance, peer_distance, moving, peer.moving_time, ascent, peer_ascent))
sys.exit(0 if ok else 1)
EOF
}

# run DIR SCRIPT: a headless run of SCRIPT in DIR, on the card in DIR/home.
run() {
    mkdir -p "$1/home/sdmmc"
    echo "f_Trip 1" > "$1/home/setmap.txt"
    (cd "$1" && "$quorel" --headless --screen 480x272 --home home --script "$2" >/dev/null 2>&1) ||
        { echo "$1: the run failed"; failed=1; }
}

for name in bt451 haicom-305N polarx2 sl869 unicore-um621; do
    mkdir -p "$work/$name"
    # One second of the log per tick, as the receiver sent it: a tick before each RMC but
    # the first. (Queued whole, a log would give one fix: a poll starts at the newest.)
    awk 'BEGIN { print "tick 6" }
         { sub(/\r$/, ""); if ($0 == "") next
           if ($0 ~ /^\$..RMC/ && seconds++) print "tick"
           print "nmea " $0 }
         END { print "tick 30"; print "dump end.dump" }' "$corpus/$name.log" > "$work/$name/run.scn"
    run "$work/$name" run.scn
    # sl869 starts cold: its positions jump 19 m a second while it reports 0.4 km/h, which
    # counts as standing here (the smaller speed) and as a few seconds of moving for gpxpy.
    compare "$name" "$work/$name/end.dump" trip.run "$work/$name/home/sdmmc/GPX/scurrent.gpx" \
        "$([ $name = sl869 ] && echo 5)"
done

# haicom-305N walks for a minute: a feed that lost its fixes would compare nothing.
haicom=$(grep -c '<trkpt' "$work/haicom-305N/home/sdmmc/GPX/scurrent.gpx")
[ "$haicom" -ge 50 ] || { echo "haicom-305N: $haicom points recorded, not the minute's 60"; failed=1; }

# The drive, then a second run that reads its log back: the totals since the log's first
# point, before any fix of the second run, against gpxpy's reading of the dated copy.
drive="$work/drive"
mkdir -p "$drive"
"$make_drive" 2 drive --stops > "$drive/run.scn"
run "$drive" run.scn
compare drive "$drive/drive-end.dump" trip.run "$drive/home/sdmmc/GPX/scurrent.gpx"
printf 'tick 6\ndump again.dump\n' > "$drive/again.scn"
run "$drive" again.scn
compare "drive read back" "$drive/again.dump" trip.log "$(ls "$drive"/home/sdmmc/GPX/2008-*.gpx)"

[ $failed = 0 ] || { echo "FAIL"; exit 1; }
rm -rf "$work"
echo "PASS"
