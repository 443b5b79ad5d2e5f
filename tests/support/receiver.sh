# The shell tests' GPS receiver. start_receiver WORK MAKE_DRIVE REPLAY plays 200 seconds of
# a moving receiver (one GGA and one RMC a second, made by quorel-make-drive) on a
# pseudo-terminal that the link WORK/gps names, as quorel-replay-nmea does for users;
# leaves the player's process id in $feeder for the caller's cleanup, and fails the test
# when the link does not appear.
start_receiver() {
    "$2" 1 "$1/unused" | sed -n 's/^nmea //p' | head -n 400 >"$1/drive.nmea"
    "$3" "$1/drive.nmea" "$1/gps" >/dev/null 2>&1 &
    feeder=$!
    i=0
    until [ -L "$1/gps" ]; do
        i=$((i + 1))
        if [ $i -gt 50 ]; then
            echo "FAIL: the receiver's pseudo-terminal did not appear"
            exit 1
        fi
        sleep 0.1
    done
}
