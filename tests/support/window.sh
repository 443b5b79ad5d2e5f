# What the shell tests of the real window share. window_test NAME [WxHxD] makes the scratch
# folder $work, starts a private X server, and ends the program ($program), the receiver's
# player ($feeder) and the server when the test ends, whatever its end. The display
# libraries below SDL (D-Bus) keep allocations until exit, which is theirs to free: leak
# reports are off here, and the program's own leaks are watched by the headless runs.
. "$(dirname "$0")/../support/scratch.sh"
. "$(dirname "$0")/../support/xvfb.sh"
. "$(dirname "$0")/../support/receiver.sh"
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }

window_test_cleanup() {
    [ -n "$program" ] && kill "$program" 2>/dev/null
    [ -n "$feeder" ] && kill "$feeder" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}

window_test() {
    work=$(scratch_folder "$1") || exit 1
    xvfb=""
    feeder=""
    program=""
    trap window_test_cleanup EXIT
    start_xvfb "$work" "${2:-1024x768x24}"
    export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
}

# await_end TENTHS WHAT waits up to TENTHS tenths of a second for the program to end, and
# fails saying that WHAT did not end it; $status is then the program's exit status.
await_end() {
    i=0
    while kill -0 "$program" 2>/dev/null; do
        i=$((i + 1))
        [ $i -le "$1" ] || fail "$2 did not end the program"
        sleep 0.1
    done
    wait "$program"
    status=$?
    program=""
}
