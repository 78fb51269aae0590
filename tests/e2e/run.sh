#!/usr/bin/env bash
# End-to-end test of the real program under its own Xvfb, driven with the real mouse and keyboard
# through xdotool (XTEST): start-up window, folder tree, file list, Rename, Copy To, the drop on
# the bin and File > Close. Every effect is checked on disk.
#
# Usage: tests/e2e/run.sh /path/to/tolvan-file-explorer
# Set TOLVAN_E2E_KEEP=1 to keep the scratch folder (screenshots, app log) after a pass; it is
# always kept after a failure.

set -uo pipefail

binary=${1:?usage: run.sh /path/to/tolvan-file-explorer}
binary=$(realpath -- "$binary") || exit 1
[[ -x $binary ]] || { echo "e2e: no program at $binary" >&2; exit 1; }

here=$(dirname -- "$(realpath -- "${BASH_SOURCE[0]}")")
no_server=99 # the inner half's status when the X server it was given is not its own

# Outer half: make the scratch folder and a private HOME, then run the inner half under its own
# X server. Nothing of the caller's display or home is used.
if [[ -z ${TOLVAN_E2E_SCRATCH:-} ]]; then
    for tool in xvfb-run xdotool import convert; do
        command -v "$tool" >/dev/null || { echo "e2e: $tool is not installed" >&2; exit 1; }
    done
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/tolvan-e2e.XXXXXX") || exit 1
    scratch=$(cd "$scratch" && pwd -P)
    mkdir -p "$scratch/home" "$scratch/shots"
    mkdir -m 0700 "$scratch/runtime"
    export TOLVAN_E2E_SCRATCH=$scratch HOME=$scratch/home XDG_RUNTIME_DIR=$scratch/runtime
    unset DISPLAY WAYLAND_DISPLAY XAUTHORITY
    # -noreset: by default the server resets whenever its last client leaves, and a client that
    # connects during the reset is refused. xvfb-run -a can lose a race for a display number
    # against another X server starting at the same moment; the inner half then finds no server
    # of its own and asks for another try.
    for attempt in 1 2 3 4 5; do
        xvfb-run -a -n $((100 + RANDOM % 400)) -e "$scratch/xvfb.log" \
            -s '-screen 0 1280x1024x24 -nolisten tcp -noreset' bash "${BASH_SOURCE[0]}" "$binary"
        status=$?
        [[ $status -eq $no_server ]] || break
        echo "e2e: no X server of its own (attempt $attempt), trying again"
    done
    if [[ $status -eq 0 && -z ${TOLVAN_E2E_KEEP:-} ]]; then
        rm -rf -- "$scratch"
    else
        echo "e2e: screenshots and logs kept in $scratch"
    fi
    exit "$status"
fi

# Inner half: runs with DISPLAY set to the private Xvfb.
scratch=$TOLVAN_E2E_SCRATCH
work=$scratch/work
shots=$scratch/shots
applog=$scratch/app.log
app_pid=
shot_no=0
e2e_start=$EPOCHREALTIME

# shellcheck source=lib.sh
source "$here/lib.sh"

# The display must be the Xvfb that our xvfb-run started (its parent is our parent), with the
# screen asked for; anything else is someone else's server.
display_number=${DISPLAY#:}
display_number=${display_number%%.*}
server_pid=$(tr -d ' \n' <"/tmp/.X$display_number-lock" 2>/dev/null)
server_parent=$(awk '{print $4}' "/proc/$server_pid/stat" 2>/dev/null)
if [[ -z $server_pid || $server_parent != "$PPID" ]] \
    || [[ $(xdotool getdisplaygeometry 2>/dev/null) != "1280 1024" ]]; then
    echo "e2e: display $DISPLAY is not this test's Xvfb (server pid '$server_pid')" >&2
    exit "$no_server"
fi

cleanup()
{
    if [[ -n $app_pid ]] && kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid" 2>/dev/null
        wait "$app_pid" 2>/dev/null
    fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# The folder the program starts in, with distinct bytes in every file.
mkdir -p "$work/sub1" "$work/sub2" "$scratch/expected"
make_file()
{
    head -c "$2" /dev/urandom >"$1"
}
make_file "$work/top.txt" 700
make_file "$work/sub1/alpha.txt" 1500
make_file "$work/sub1/beta.txt" 2300
make_file "$work/sub1/gamma.txt" 900
make_file "$work/sub1/zeta.txt" 1200
cp -p "$work/top.txt" "$work/sub1/"*.txt "$scratch/expected/"

step "1: start-up window"
cd "$work" || fail "cannot enter $work"
LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=0 "$binary" >"$applog" 2>&1 &
app_pid=$!
wait_for 30 "a visible window named 'Tolvan File Explorer'" main_window_shown
main=$(visible_windows '^Tolvan File Explorer$' | head -n 1)
read_main_geometry
screenshot start
[[ $WIN_W -eq 920 ]] || fail "main window width is $WIN_W, expected 920"
((WIN_H > 538 && WIN_H <= 538 + 40)) \
    || fail "main window height is $WIN_H, expected 538 plus a menu bar of at most 40"
echo "main window $main at $WIN_X,$WIN_Y, ${WIN_W}x$WIN_H (menu bar $((WIN_H - 538)) px)"

step "2: open sub1 in the folder tree, click a file"
# The tree shows "/", one row per ancestor of the start folder, the start folder (selected) and
# its subfolders in name order; find the selected row to learn where rows are.
screenshot tree
shot=$SHOT
tree_x=$((CLIENT_X + 190))
read -r sel_top sel_bottom < <(highlight_span "$shot" "$tree_x" $((CLIENT_Y + 25)) 500) \
    || fail "no selected row in the folder tree"
tree_row_h=$((sel_bottom - sel_top + 1))
depth=$(($(tr -cd / <<<"$work" | wc -c) + 1)) # rows "/" .. start folder
expected_top=$((CLIENT_Y + 25 + (depth - 1) * tree_row_h))
((sel_top >= expected_top - 2 && sel_top <= expected_top + 2)) \
    || fail "the selected tree row starts at $sel_top, expected the start folder's row at $expected_top"
# sub1 is the first subfolder, the row under the start folder.
double_click $((CLIENT_X + 100)) $((sel_bottom + tree_row_h / 2 + 1))
wait_for 10 "sub1 open in the tree" \
    selection_at "$tree_x" $((sel_top + tree_row_h)) $((CLIENT_Y + 25)) 500
# Opened, not just selected: sub2's row under it has gone.
wait_for 10 "the tree to show sub1's subfolders (none)" \
    row_blank $((CLIENT_X + 2)) $((sel_bottom + tree_row_h + tree_row_h / 2 + 1)) 190
# The list now shows sub1's files: alpha, beta, gamma, zeta.
screenshot sub1
shot=$SHOT
list_top=$(first_white_below "$shot" $((list_x + 4)) $((CLIENT_Y + 33)) 60) \
    || fail "cannot find the first row of the file list"
list_top_rel=$((list_top - CLIENT_Y))
click_list_row 0
click_list_row 2
alive
screenshot clicked-gamma

step "3: rename alpha.txt to renamed.txt through the Rename dialog"
click_list_row 0
click $((CLIENT_X + 780)) $((CLIENT_Y + 484))
wait_for 10 "the rename dialog" dialog_shown '^Change the File Name to\.\.\.$'
dialog=$DIALOG
focus "$dialog"
screenshot rename-dialog
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 30 "renamed.txt"
screenshot rename-typed
xdotool key Return
wait_for 10 "the rename dialog to close" window_gone "$dialog"
wait_for 10 "the main window back" main_window_shown
[[ ! -e $work/sub1/alpha.txt ]] || fail "sub1/alpha.txt still exists after the rename"
same_bytes "$scratch/expected/alpha.txt" "$work/sub1/renamed.txt"
alive
read_main_geometry
focus "$main"
screenshot renamed

step "4: copy beta.txt into sub2 through the Copy To dialog"
click_list_row 0 # beta.txt: the list is beta, gamma, renamed, zeta
click $((CLIENT_X + 700)) $((CLIENT_Y + 484))
wait_for 10 "the Copy To dialog" dialog_shown '^Copy To\.\.\.$'
dialog=$DIALOG
focus "$dialog"
eval "$(xdotool getwindowgeometry --shell "$dialog")"
dlg_x=$X dlg_y=$Y
screenshot copy-dialog
shot=$SHOT
# The dialog's tree starts at the start folder, selected; sub2 is its second subfolder.
dtree_x=$((dlg_x + 8 + 300))
read -r dsel_top dsel_bottom < <(highlight_span "$shot" "$dtree_x" $((dlg_y + 41)) 229) \
    || fail "no selected row in the Copy To dialog's folder tree"
drow_h=$((dsel_bottom - dsel_top + 1))
double_click $((dlg_x + 8 + 150)) $((dsel_bottom + drow_h + drow_h / 2 + 1))
wait_for 10 "sub2 open in the dialog's tree" \
    selection_at "$dtree_x" $((dsel_top + drow_h)) $((dlg_y + 41)) 229
wait_for 10 "the dialog's tree to show sub2's subfolders (none)" \
    row_blank $((dlg_x + 10)) $((dsel_bottom + drow_h + drow_h / 2 + 1)) 310
screenshot copy-sub2
click $((dlg_x + 140)) $((dlg_y + 336)) # the dialog's "Copy"
wait_for 10 "the Copy To dialog to close" window_gone "$dialog"
wait_for 10 "the main window back" main_window_shown
[[ -f $work/sub2/beta.txt ]] || fail "no copy of beta.txt in sub2"
same_bytes "$scratch/expected/beta.txt" "$work/sub2/beta.txt"
same_bytes "$scratch/expected/beta.txt" "$work/sub1/beta.txt"
alive
read_main_geometry
focus "$main"
screenshot copied

step "5: drag gamma.txt onto the bin and confirm"
row_y=$(list_row_y 1) # gamma.txt
bin_x=$((CLIENT_X + 866)) bin_y=$((CLIENT_Y + 486))
drag "$((list_x + 60))" "$row_y" "$bin_x" "$bin_y"
wait_for 10 "the confirmation box" message_box_shown
box=$DIALOG
screenshot confirm
focus "$box"
xdotool key Return
wait_for 10 "the confirmation box to close" window_gone "$box"
wait_for 10 "the 'file is deleted' box" message_box_shown
box=$DIALOG
screenshot deleted-box
focus "$box"
xdotool key Return
wait_for 10 "the 'file is deleted' box to close" window_gone "$box"
[[ ! -e $work/sub1/gamma.txt ]] || fail "sub1/gamma.txt was not deleted"
alive
screenshot after-delete

# Exactly the expected files remain, with their bytes.
expected_tree=$'sub1\nsub1/beta.txt\nsub1/renamed.txt\nsub1/zeta.txt\nsub2\nsub2/beta.txt\ntop.txt'
actual_tree=$(cd "$work" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort)
[[ $actual_tree == "$expected_tree" ]] \
    || fail "unexpected folder contents after the delete:"$'\n'"$actual_tree"
same_bytes "$scratch/expected/top.txt" "$work/top.txt"
same_bytes "$scratch/expected/zeta.txt" "$work/sub1/zeta.txt"
same_bytes "$scratch/expected/beta.txt" "$work/sub1/beta.txt"
same_bytes "$scratch/expected/alpha.txt" "$work/sub1/renamed.txt"

step "6: File > Close"
read_main_geometry
menu_x=$((WIN_X + 20)) menu_y=$((WIN_Y + (WIN_H - 538) / 2))
before=$(visible_windows '.*' | sort)
click "$menu_x" "$menu_y"
wait_for 10 "the File menu" new_window_shown "$before"
popup=$DIALOG
eval "$(xdotool getwindowgeometry --shell "$popup")"
screenshot file-menu
# The File menu holds "Close" alone: its middle is the item.
click $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
wait_for 10 "the program to end" app_ended
wait "$app_pid"
status=$?
app_pid=
[[ $status -eq 0 ]] || fail "the program ended with status $status"
echo "e2e: all steps passed"
