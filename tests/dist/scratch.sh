# Sourced by the install and package tests: a fresh scratch folder under the
# build tree with its own HOME, XDG folders and runtime folder, a devsim
# daemon helper, and a check helper that names what failed.
# Usage: . scratch.sh SCRATCH_FOLDER
scratch=$1
rm -rf "$scratch"
mkdir -p "$scratch/home" "$scratch/config" "$scratch/data" "$scratch/cache" "$scratch/runtime"
chmod 700 "$scratch/runtime"
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data"
export XDG_CACHE_HOME="$scratch/cache" XDG_RUNTIME_DIR="$scratch/runtime"
unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=offscreen

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_code() {  # expect_code WANTED WHAT ACTUAL
    [ "$3" -eq "$1" ] || fail "$2: exit code $3, wanted $1"
}

devsim_pid=""
# start_devsim DEVSIM SOCKET SPEC...: a daemon for this test, stopped on exit.
start_devsim() {
    local program=$1 socket=$2
    shift 2
    local specs=()
    for spec in "$@"; do specs+=(--device "$spec"); done
    "$program" serve --socket "$socket" "${specs[@]}" 2>"$scratch/devsim.log" &
    devsim_pid=$!
    trap 'kill "$devsim_pid" 2>/dev/null; wait "$devsim_pid" 2>/dev/null' EXIT
    for _ in $(seq 200); do
        "$program" list --socket "$socket" >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    echo "devsim did not come up: $(cat "$scratch/devsim.log")" >&2
    exit 1
}
