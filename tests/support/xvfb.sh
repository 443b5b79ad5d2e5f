# The shell tests' private X server. start_xvfb WORK [WxHxD] starts Xvfb on a display
# number it picks itself (so tests run side by side never meet), waits until it takes
# connections, exports DISPLAY and leaves its process id in $xvfb for the caller's
# cleanup; the test is skipped (status 77) when Xvfb is missing or does not start.
# Its log is WORK/xvfb.log.
start_xvfb() {
    command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed (tools/install-deps installs it)"; exit 77; }
    Xvfb -displayfd 3 -screen 0 "${2:-1024x768x24}" -nolisten tcp 3>"$1/xvfb.display" >"$1/xvfb.log" 2>&1 &
    xvfb=$!
    i=0
    until [ -s "$1/xvfb.display" ]; do
        i=$((i + 1))
        if [ $i -gt 100 ] || ! kill -0 "$xvfb" 2>/dev/null; then
            echo "SKIP: Xvfb did not start: $(cat "$1/xvfb.log")"
            exit 77
        fi
        sleep 0.1
    done
    DISPLAY=":$(cat "$1/xvfb.display")"
    export DISPLAY
}
