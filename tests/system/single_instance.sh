#!/bin/sh
# The single-instance lock between real processes, with no XDG_RUNTIME_DIR: the lock lives
# in the temporary folder under a name of this user and the storage root. A lock held
# there makes a second headless start on the same root say so and fail (its script did
# not run), a start on another root runs, a lock that cannot be taken or a lock file of
# another user is refused aloud, and another user's lock stops nothing.
# usage: single_instance.sh QUOREL
quorel=$1
fail() { echo "FAIL: $*"; exit 1; }
. "$(dirname "$0")/../support/scratch.sh"
work=$(scratch_folder single_instance) || exit 1
holder=""
cleanup() {
    [ -n "$holder" ] && kill "$holder" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
printf 'tick 6\n' >"$work/start.scn"

# Starts the program once headless in a fresh home ($2, default home) and expects exit
# status $3 (default 0); its error output is in $work/err.txt.
start() {
    home="$work/${2:-home}"
    rm -rf "$home" && mkdir "$home"
    env -u XDG_RUNTIME_DIR TMPDIR="$work" "$quorel" --headless --screen 480x272 --home "$home" \
        --script "$work/start.scn" --gps none 2>"$work/err.txt"
    status=$?
    [ "$status" -eq "${3:-0}" ] || fail "$1: exit status $status: $(cat "$work/err.txt")"
}
ran() { [ -e "$work/${1:-home}/setmap.txt" ]; }
# Holds an exclusive lock on $1 from another process until cleanup.
hold() {
    (flock -n 9 && exec sleep 60) 9>"$1" >/dev/null 2>&1 &
    holder=$!
    sleep 0.3
}
release() { kill "$holder"; wait "$holder" 2>/dev/null; holder=""; }

start "a first start"
ran || fail "a first start did not run"
lock=$(ls "$work"/Quorel-"$(id -u)"-*.lock) || fail "no lock file of this user: $(ls "$work")"
[ "$(stat -c %a "$lock")" = 600 ] || fail "the lock file $lock is not private: $(stat -c %a "$lock")"

hold "$work/Quorel-65534-${lock##*-}"
start "a start beside another user's lock on the same root"
ran || fail "another user's lock kept the program from starting"
release

hold "$lock"
start "a second start on the same root" home 3
ran && fail "a second start ran beside the first"
grep -q "another instance is running" "$work/err.txt" || fail "a second start left silently"
[ "$(wc -l <"$work/err.txt")" -eq 1 ] || fail "a second start said more than one line"
start "a start on another root beside the first" other
ran other || fail "a run on another storage root was kept from starting"
release

rm -f "$lock" && mkdir "$lock"
start "a start whose lock cannot be taken" home 3
ran && fail "a start ran without its lock"
grep -q "cannot open the lock file" "$work/err.txt" || fail "a lock that cannot be taken: $(cat "$work/err.txt")"
rmdir "$lock"

if [ "$(id -u)" = 0 ]; then
    touch "$lock" && chown 65534 "$lock"
    start "a start over a lock file of another user" home 3
    ran && fail "a lock file of another user was taken"
    grep -q "not a file of this user" "$work/err.txt" || fail "a foreign lock file was refused silently"
else
    echo "not root: the lock file of another user is not tried"
fi
echo "PASS"
