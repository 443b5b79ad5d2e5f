# The shell tests' side of tests/support/scratch.h: scratch_folder NAME prints
# <base>/NAME-<process id>, made empty, with the same base (TEST_TMPDIR, else TMPDIR,
# else /tmp; never a relative one).
scratch_folder() {
    base=${TEST_TMPDIR:-${TMPDIR:-/tmp}}
    case $base in /*) ;; *) base=/tmp ;; esac
    rm -rf "$base/$1-$$" && mkdir -p "$base/$1-$$" && echo "$base/$1-$$"
}
