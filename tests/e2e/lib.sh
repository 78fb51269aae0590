# Helpers for run.sh: waiting, windows, the real mouse and keyboard, and reading screenshots.
# Expects from run.sh: app_pid, applog, shots, shot_no, e2e_start, and main, list_top_rel once
# known.
# shellcheck shell=bash
# Globals shared with run.sh are set on one side and read on the other:
# shellcheck disable=SC2034,SC2154

step()
{
    local elapsed
    elapsed=$(awk -v now="$EPOCHREALTIME" -v start="$e2e_start" 'BEGIN { print now - start }')
    printf 'e2e: [%5.1fs] step %s\n' "$elapsed" "$*"
}

fail()
{
    echo "e2e: FAILED: $*" >&2
    if [[ -n ${shots:-} ]]; then
        import -window root "$shots/failure.png" 2>/dev/null
        echo "e2e: last screen in $shots/failure.png" >&2
    fi
    if [[ -s ${applog:-} ]]; then
        echo "e2e: program output:" >&2
        sed 's/^/    /' "$applog" >&2
    fi
    exit 1
}

# wait_for SECONDS DESCRIPTION COMMAND...: runs COMMAND (in this shell, so it may set variables)
# every tenth of a second until it succeeds; fails the test after SECONDS.
wait_for()
{
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds)) tries=1
    until "$@"; do
        tries=$((tries + 1))
        ((SECONDS < deadline)) || fail "timed out after ${seconds}s waiting for $what"
        app_running || fail "the program ended while waiting for $what"
        sleep 0.1
    done
    [[ -z ${TOLVAN_E2E_DEBUG:-} ]] || echo "e2e: $what after $tries tries"
}

app_running()
{
    [[ -n ${app_pid:-} && -r /proc/$app_pid/stat ]] || return 1
    local state
    state=$(awk '{print $3}' "/proc/$app_pid/stat" 2>/dev/null)
    [[ -n $state && $state != Z && $state != X ]]
}

app_ended()
{
    ! app_running
}

alive()
{
    app_running || fail "the program is no longer running"
}

# Visible windows whose name matches the regular expression.
visible_windows()
{
    xdotool search --onlyvisible --name "$1" 2>/dev/null
}

main_window_shown()
{
    local windows
    windows=$(visible_windows '^Tolvan File Explorer$') || return 1
    [[ -n $windows ]] || return 1
    [[ -z ${main:-} ]] || grep -qx "$main" <<<"$windows"
}

# Sets DIALOG to a visible window named by the expression.
dialog_shown()
{
    DIALOG=$(visible_windows "$1" | head -n 1)
    [[ -n $DIALOG ]]
}

# Sets DIALOG to a visible message box: titled like the main window, but not the main window.
message_box_shown()
{
    DIALOG=$(visible_windows '^Tolvan File Explorer$' | grep -vx "$main" | head -n 1)
    [[ -n $DIALOG ]]
}

# Sets DIALOG to a visible window that is not in the list given.
new_window_shown()
{
    DIALOG=$(visible_windows '.*' | sort | comm -13 <(printf '%s\n' "$1") - | head -n 1)
    [[ -n $DIALOG ]]
}

window_gone()
{
    ! visible_windows '.*' | grep -qx "$1"
}

# Sets WIN_X, WIN_Y, WIN_W, WIN_H of the main window and CLIENT_X, CLIENT_Y, the top left of its
# 920 x 538 client area under the menu bar.
read_main_geometry()
{
    local X Y WIDTH HEIGHT WINDOW SCREEN
    eval "$(xdotool getwindowgeometry --shell "$main")"
    WIN_X=$X WIN_Y=$Y WIN_W=$WIDTH WIN_H=$HEIGHT
    CLIENT_X=$X CLIENT_Y=$((Y + HEIGHT - 538))
    # The file list: its left edge, and its first row once known (kept relative to the client
    # area, in case the window comes back elsewhere).
    list_x=$((CLIENT_X + 208))
    [[ -z ${list_top_rel:-} ]] || list_top=$((CLIENT_Y + list_top_rel))
}

# Without a window manager nothing gives a newly shown window the keyboard; do it as one would.
focus()
{
    timeout 5 xdotool windowfocus --sync "$1" || fail "cannot give window $1 the keyboard focus"
}

click()
{
    xdotool mousemove --sync "$1" "$2" click 1
}

double_click()
{
    xdotool mousemove --sync "$1" "$2" click --repeat 2 --delay 80 1
}

# Presses the left button at the first point, moves in small steps to the second and lets go
# there; drag and drop needs the motion in between.
drag()
{
    local x1=$1 y1=$2 x2=$3 y2=$4 steps=25 k
    xdotool mousemove --sync "$x1" "$y1"
    xdotool mousedown 1
    for ((k = 1; k <= steps; ++k)); do
        xdotool mousemove "$((x1 + (x2 - x1) * k / steps))" "$((y1 + (y2 - y1) * k / steps))"
        sleep 0.03
    done
    # A few moves over the target, so that it has answered before the button goes up.
    for k in 1 2 3; do
        xdotool mousemove "$((x2 + k))" "$y2"
        sleep 0.05
    done
    xdotool mouseup 1
}

# screenshot NAME: saves the whole screen; sets SHOT to the file.
screenshot()
{
    shot_no=$((shot_no + 1))
    SHOT=$(printf '%s/%02d-%s.png' "$shots" "$shot_no" "$1")
    import -window root "$SHOT" || fail "cannot take a screenshot"
}

# poll_shot: a screenshot for polling a condition, not kept; sets SHOT to the file.
poll_shot()
{
    SHOT=$shots/poll.png
    import -window root "$SHOT" || fail "cannot take a screenshot"
}

# Prints "y r g b" for each pixel of the column x, y0 .. y0+len-1, of a screenshot.
column_pixels()
{
    convert "$1" -crop "1x$4+$2+$3" +repage -depth 8 txt:- \
        | awk -v y0="$3" 'NR > 1 {
            split($1, at, /[,:]/); split($2, c, /[(),]/)
            print y0 + at[2], c[2], c[3], c[4] }'
}

# highlight_span SHOT X Y0 LEN: prints "top bottom" of the selection colour (any strongly
# coloured pixel; text and frames are grey) in that column; fails when there is none.
highlight_span()
{
    column_pixels "$@" | awk '
        { hi = $2; lo = $2
          for (k = 3; k <= 4; ++k) { if ($k > hi) hi = $k; if ($k < lo) lo = $k }
          if (hi - lo > 60) { if (top == "") top = $1; bottom = $1 } }
        END { if (top == "") exit 1; print top, bottom }'
}

# first_white_below SHOT X Y0 LEN: prints the first y of a pure white pixel in the column.
first_white_below()
{
    column_pixels "$@" | awk '$2 == 255 && $3 == 255 && $4 == 255 { print $1; found = 1; exit }
        END { if (!found) exit 1 }'
}

# selection_at X TOP Y0 LEN: a fresh screenshot shows the selection starting at TOP (+-1).
selection_at()
{
    local top bottom
    poll_shot
    read -r top bottom < <(highlight_span "$SHOT" "$1" "$3" "$4") || return 1
    ((top >= $2 - 1 && top <= $2 + 1))
}

# row_blank X Y WIDTH: a fresh screenshot shows only white on the line from X to X+WIDTH-1 at Y
# (a tree row that holds no folder).
row_blank()
{
    poll_shot
    convert "$SHOT" -crop "${3}x1+$1+$2" +repage -depth 8 txt:- \
        | awk 'NR > 1 && $3 != "#FFFFFF" { dark = 1 } END { exit dark }'
}

# The file list's rows: LIST_ROW_H is learnt from the first row clicked (row 0).
LIST_ROW_H=
list_row_y()
{
    echo $((list_top + $1 * LIST_ROW_H + LIST_ROW_H / 2))
}

# click_list_row N: clicks row N of the file list and waits until it is the selected row.
click_list_row()
{
    local row=$1
    if [[ -z $LIST_ROW_H ]]; then
        [[ $row -eq 0 ]] || fail "click row 0 of the list first"
        click $((list_x + 60)) $((list_top + 6))
        wait_for 10 "the first row of the list selected" highlight_in_list
        LIST_ROW_H=$((HL_BOTTOM - HL_TOP + 1))
        ((HL_TOP >= list_top - 1 && HL_TOP <= list_top + 1 && LIST_ROW_H >= 10)) \
            || fail "the first list row is at $HL_TOP..$HL_BOTTOM, expected it from $list_top"
        return 0
    fi
    click $((list_x + 60)) "$(list_row_y "$row")"
    wait_for 10 "row $row of the list selected" \
        selection_at $((list_x + 2)) $((list_top + row * LIST_ROW_H)) "$list_top" 300
}

highlight_in_list()
{
    poll_shot
    read -r HL_TOP HL_BOTTOM < <(highlight_span "$SHOT" $((list_x + 2)) "$list_top" 300)
}

same_bytes()
{
    cmp -s -- "$1" "$2" || fail "$2 does not hold the bytes of $(basename -- "$1")"
}
