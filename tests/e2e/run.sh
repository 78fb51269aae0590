#!/usr/bin/env bash
# Runs one of the end-to-end scripts against the real program, under an X server and session
# bus of its own: the script reads the windows through the accessibility tree (AT-SPI) and
# drives them with the real mouse and keyboard (xdotool).
#
# Usage: tests/e2e/run.sh SCRIPT /path/to/tolvan-file-explorer [ARGUMENTS...]
#   SCRIPT is one of the Python scripts beside this file; ARGUMENTS go to it after the program.
# A script that cannot run here (a missing kernel feature) exits with 77, which CTest counts as
# skipped.
# Set TOLVAN_E2E_KEEP=1 to keep the scratch folder (screenshots, program output) after a pass;
# it is always kept after a failure. Afterwards no process started for the run may be left.

set -uo pipefail

script=${1:?usage: run.sh SCRIPT /path/to/tolvan-file-explorer}
binary=${2:?usage: run.sh SCRIPT /path/to/tolvan-file-explorer}
binary=$(realpath -- "$binary") || exit 1
[[ -x $binary ]] || { echo "e2e: no program at $binary" >&2; exit 1; }

here=$(dirname -- "$(realpath -- "${BASH_SOURCE[0]}")")
python=/usr/bin/python3 # Debian's, which has the accessibility bindings
no_server=99            # the inner half's status when the X server it was given is not its own

# The processes of this run: each one inherits TOLVAN_E2E_SCRATCH from this script.
run_processes()
{
    local pid
    for pid in $(grep -lzx "TOLVAN_E2E_SCRATCH=$1" /proc/[0-9]*/environ 2>/dev/null \
        | cut -d/ -f3); do
        # Not this script, and not the finished grep that found them.
        [[ $pid != "$$" && -e /proc/$pid ]] && echo "$pid"
    done
}

# Outer half: make the scratch folder and a private HOME, then run the inner half under its own
# X server, large enough for the window at twice the density. Nothing of the caller's display,
# session bus or home is used.
if [[ -z ${TOLVAN_E2E_SCRATCH:-} ]]; then
    for tool in xvfb-run xdotool xprop wmctrl import dbus-run-session openbox; do
        command -v "$tool" >/dev/null || { echo "e2e: $tool is not installed" >&2; exit 1; }
    done
    "$python" -c 'import pyatspi' 2>/dev/null \
        || { echo "e2e: python3-pyatspi is not installed" >&2; exit 1; }
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/tolvan-e2e.XXXXXX") || exit 1
    scratch=$(cd "$scratch" && pwd -P)
    mkdir -p "$scratch/home"
    mkdir -m 0700 "$scratch/runtime"
    export TOLVAN_E2E_SCRATCH=$scratch HOME=$scratch/home XDG_RUNTIME_DIR=$scratch/runtime
    unset DISPLAY WAYLAND_DISPLAY XAUTHORITY DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
    # -noreset: by default the server resets whenever its last client leaves, and a client that
    # connects during the reset is refused. xvfb-run -a can lose a race for a display number
    # against another X server starting at the same moment; the inner half then finds no server
    # of its own and asks for another try.
    for attempt in 1 2 3 4 5; do
        xvfb-run -a -n $((100 + RANDOM % 400)) -e "$scratch/xvfb.log" \
            -s '-screen 0 2048x1536x24 -nolisten tcp -noreset' \
            bash "${BASH_SOURCE[0]}" "$script" "$binary" "${@:3}"
        status=$?
        [[ $status -eq $no_server ]] || break
        echo "e2e: no X server of its own (attempt $attempt), trying again"
    done
    # The session bus takes the accessibility bus and its registry down with it; give them a
    # moment, then anything still running is a process this run left behind.
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        [[ -z $(run_processes "$scratch") ]] && break
        sleep 0.2
    done
    left=$(run_processes "$scratch")
    if [[ -n $left ]]; then
        echo "e2e: FAILED: processes left running:" >&2
        ps -o pid,args -p "${left//$'\n'/,}" >&2
        kill $left 2>/dev/null
        status=1
    fi
    if [[ ($status -eq 0 || $status -eq 77) && -z ${TOLVAN_E2E_KEEP:-} ]]; then
        rm -rf -- "$scratch"
    else
        echo "e2e: screenshots and program output kept in $scratch"
    fi
    exit "$status"
fi

# Inner half: runs with DISPLAY set to the private Xvfb. The display must be the Xvfb that our
# xvfb-run started (its parent is our parent), with the screen asked for; anything else is
# someone else's server.
display_number=${DISPLAY#:}
display_number=${display_number%%.*}
server_pid=$(tr -d ' \n' <"/tmp/.X$display_number-lock" 2>/dev/null)
server_parent=$(awk '{print $4}' "/proc/$server_pid/stat" 2>/dev/null)
if [[ -z $server_pid || $server_parent != "$PPID" ]] \
    || [[ $(xdotool getdisplaygeometry 2>/dev/null) != "2048 1536" ]]; then
    echo "e2e: display $DISPLAY is not this test's Xvfb (server pid '$server_pid')" >&2
    exit "$no_server"
fi

# A window manager, as on a desktop: it gives shown windows the focus, frames them, and passes a
# click on a frame's close button (or wmctrl -c) on as WM_DELETE_WINDOW, pinging the window with
# _NET_WM_PING. The script starts once it has announced itself on the root window.
openbox --sm-disable >"$TOLVAN_E2E_SCRATCH/openbox.log" 2>&1 &
openbox_pid=$!
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' \
    || { echo "e2e: openbox did not start" >&2; cat "$TOLVAN_E2E_SCRATCH/openbox.log" >&2; exit 1; }

# A session bus of its own; the accessibility bus is started on it when first asked for.
cd "$here" || exit 1
dbus-run-session -- "$python" "$here/$script" "$binary" "${@:3}" \
    > >(grep -v --line-buffered 'SpiRegistry daemon is running') 2> >(
    grep -Ev --line-buffered 'Failed to set fd limit|^dbus-daemon\[[0-9]+\]: .*ctivat|SpiRegistry daemon is running' >&2
)
status=$?
kill "$openbox_pid" 2>/dev/null
wait "$openbox_pid"
exit "$status"
