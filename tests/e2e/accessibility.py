"""Every window of the real program as assistive technology sees it: each control is found by
a name a person understands, no shown control goes without a name, the file list exposes its
rows and cells, and the Tab key visits the controls in their layout order. The dialogs and the
message box are reached with the keyboard and the mouse as a person would, and left with Esc.
Last, the main window at a device pixel ratio of 2 keeps its proportions and a sharp bin.

Usage (through run.sh): accessibility.py /path/to/tolvan-file-explorer
"""

import os
import subprocess

import pyatspi

from desktop import (MAIN_TITLE, Failed, centre, click, column_headers, controls, drag, extents,
                     find, focus_window, focused_control, key, main, need, table_rows, text_of,
                     walk, x_windows)

BUTTON, TEXT, LABEL = pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TEXT, pyatspi.ROLE_LABEL
TREE, COMBO, IMAGE = pyatspi.ROLE_TREE, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_IMAGE
MENU_ITEM = pyatspi.ROLE_MENU_ITEM

# Each window: its controls by role and name, and the order Tab visits the focusable ones.
MAIN_CONTROLS = [(TEXT, "Current folder"), (TREE, "Folders"), (COMBO, "Volumes"),
                 (TREE, "Files"), (LABEL, "Selected file"), (BUTTON, "Open"), (IMAGE, "Bin"),
                 (BUTTON, "Rename"), (BUTTON, "Move"), (LABEL, "Status"), (BUTTON, "Copy"),
                 (MENU_ITEM, "File"), (MENU_ITEM, "View")]
MAIN_TABS = ["Current folder", "Folders", "Volumes", "Files", "Open", "Bin", "Rename", "Move",
             "Copy"]
DIALOGS = {
    "Change the File Name to...": (
        [(TEXT, "New file name"), (BUTTON, "Change"), (BUTTON, "Cancel")],
        ["New file name", "Change", "Cancel"]),
    "Copy To...": (
        [(BUTTON, "Cancel"), (BUTTON, "Copy"), (TREE, "Folders"), (COMBO, "Volumes"),
         (LABEL, "Destination folder")],
        ["Cancel", "Copy", "Folders", "Volumes"]),
    "Move To...": (
        [(COMBO, "Volumes"), (TREE, "Folders"), (BUTTON, "Move"), (BUTTON, "Cancel"),
         (LABEL, "Destination folder")],
        ["Volumes", "Folders", "Move", "Cancel"]),
}
FILES = {"apple.txt": 2048, "brook.log": 512, "cedar": 0}
PICTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources")


def check_controls(window, expected):
    """Every expected control is there by name, and no shown control lacks a name."""
    for role, name in expected:
        need(window, name, role)
    unnamed = [node.getRoleName() for node in controls(window) if not node.name.strip()]
    if unnamed:
        raise Failed("controls without a name in '%s': %s" % (window.name, unnamed))


def check_tab_order(session, window, expected):
    """The focus starts on the first control and Tab visits the rest in order, then wraps."""
    seen = []
    for step in range(len(expected) + 1):
        if step:
            key("Tab")
        wanted = expected[step % len(expected)]
        node = session.wait_for(5, "the focus on '%s' in '%s' (Tab order so far: %s)"
                                % (wanted, window.name, seen),
                                lambda: focused_named(window, wanted))
        seen.append(node.name)


def focused_named(window, name):
    node = focused_control(window)
    return node if node is not None and node.name == name else None


def check_file_list(main_window, folder):
    files = need(main_window, "Files", TREE)
    headers = [header.name for header in column_headers(files)]
    if headers != ["Filename", "Type", "Size", "Modified", "Created"]:
        raise Failed("the file list's columns are %s" % headers)
    rows = table_rows(files)
    if [row[0] for row in rows] != sorted(FILES):
        raise Failed("the file list's rows are %s" % rows)
    sizes = {row[0]: row[2] for row in rows}
    if sizes != {"apple.txt": "2.00KB", "brook.log": "0.50KB", "cedar": "0.00KB"}:
        raise Failed("the size cells read %s" % sizes)
    if any(not cell for row in rows for cell in row):
        raise Failed("a cell of the file list has no text: %s" % rows)
    path = text_of(need(main_window, "Current folder", TEXT))
    if path != folder:
        raise Failed("'Current folder' reads '%s', expected '%s'" % (path, folder))


def visit_dialog(session, title, open_it):
    open_it()
    window = session.wait_for(10, "the dialog '%s'" % title, lambda: session.window(title))
    focus_window(title)
    expected, tabs = DIALOGS[title]
    check_controls(window, expected)
    check_tab_order(session, window, tabs)
    session.screenshot(title.strip(".").lower().replace(" ", "-"))
    key("Escape")
    session.wait_for(10, "Esc to close '%s'" % title, lambda: session.window_gone(title))
    session.wait_for(10, "the main window back", lambda: session.window(MAIN_TITLE))
    focus_window(MAIN_TITLE)


def layout(window):
    """Each named control's place relative to the window, in device-independent pixels."""
    left, top = extents(window)[:2]
    return {node.name: (x - left, y - top, width, height)
            for node in controls(window) if node.getRole() != MENU_ITEM
            for x, y, width, height in [extents(node)]}


def differing_pixels(shot, rect, ratio, picture):
    """How many pixels of a screen area differ from the picture file laid on the window's
    background (the colour of the area's corner, where the picture is transparent)."""
    x, y, width, height = (value * ratio for value in rect)
    background = subprocess.run(["convert", shot, "-format", "%%[pixel:p{%d,%d}]" % (x, y),
                                 "info:-"], capture_output=True, text=True, check=True).stdout
    shown, expected = shot + ".shown.png", shot + ".expected.png"
    subprocess.run(["convert", shot, "-crop", "%dx%d+%d+%d" % (width, height, x, y), "+repage",
                    shown], check=True)
    subprocess.run(["convert", "-size", "%dx%d" % (width, height), "xc:" + background, picture,
                    "-composite", expected], check=True)
    result = subprocess.run(["compare", "-metric", "AE", "-fuzz", "4%", shown, expected,
                             "null:"], capture_output=True, text=True)
    try:
        return int(float(result.stderr.split()[0]))
    except (IndexError, ValueError):
        raise Failed("cannot compare the screen with %s: %s" % (picture, result.stderr))


def check_double_density(session, folder, expected_layout):
    """At a device pixel ratio of 2 the window is twice as large on the screen, every control
    keeps its place and size in device-independent pixels, and the bin is drawn from its finer
    picture."""
    window = session.start(folder, {"QT_SCALE_FACTOR": "2"})
    found = subprocess.run(["xdotool", "getwindowgeometry", "--shell", x_windows(MAIN_TITLE)[0]],
                           capture_output=True, text=True, check=True).stdout
    geometry = dict(line.split("=", 1) for line in found.split())
    logical = extents(window)[2:]
    if (int(geometry["WIDTH"]), int(geometry["HEIGHT"])) != (logical[0] * 2, logical[1] * 2):
        raise Failed("at a ratio of 2 the window is %sx%s device pixels for %dx%d"
                     % (geometry["WIDTH"], geometry["HEIGHT"], *logical))
    if layout(window) != expected_layout:
        raise Failed("at a ratio of 2 the controls are at %s, at 1 at %s"
                     % (layout(window), expected_layout))
    bin_rect = extents(need(window, "Bin", IMAGE))
    shot = session.screenshot("double-density")
    wrong = differing_pixels(shot, bin_rect, 2, os.path.join(PICTURES, "bin@2x.png"))
    if wrong > 0:
        raise Failed("at a ratio of 2, %d pixels of the bin differ from its 2x picture" % wrong)
    focus_window(MAIN_TITLE)
    key("alt+f")
    session.wait_for(5, "the File menu", lambda: find(session.window(MAIN_TITLE), "Close",
                                                      MENU_ITEM))
    key("c")
    if session.wait_for_exit(10) != 0:
        raise Failed("the program ended with a failure at a ratio of 2")


def run(session):
    folder = os.path.join(session.scratch, "files")
    os.makedirs(os.path.join(folder, "inner"))
    for name, size in FILES.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(b"x" * size)

    session.step("the main window")
    main_window = session.start(folder)
    focus_window(MAIN_TITLE)
    check_controls(main_window, MAIN_CONTROLS)
    start_layout = layout(main_window)
    wrong = differing_pixels(session.screenshot("start"),
                             extents(need(main_window, "Bin", IMAGE)), 1,
                             os.path.join(PICTURES, "bin.png"))
    if wrong > 0:
        raise Failed("%d pixels of the bin differ from its picture" % wrong)
    check_file_list(main_window, folder)
    for label in ("Selected file", "Status"):
        if need(main_window, label, LABEL).description:
            raise Failed("'%s' is not empty at start" % label)

    session.step("the main window's Tab order, with a file picked")
    click(centre(need(need(main_window, "Files", TREE), "apple.txt")))
    picked = os.path.join(folder, "apple.txt")
    session.wait_for(5, "'Selected file' to name apple.txt",
                     lambda: find(main_window, "Selected file").description == picked)
    click(centre(need(main_window, "Current folder", TEXT)))
    check_tab_order(session, main_window, MAIN_TABS)
    session.screenshot("main")

    session.step("the dialogs")
    visit_dialog(session, "Change the File Name to...", lambda: key("F2"))
    for title, button in (("Copy To...", "Copy"), ("Move To...", "Move")):
        main_window = session.window(MAIN_TITLE)
        click(centre(need(need(main_window, "Files", TREE), "apple.txt")))
        session.wait_for(5, "the file buttons enabled", lambda: find(
            session.window(MAIN_TITLE), button, BUTTON).getState().contains(
            pyatspi.STATE_ENABLED))
        visit_dialog(session, title, lambda: click(centre(need(
            session.window(MAIN_TITLE), button, BUTTON))))

    session.step("the confirmation box of the bin")
    main_window = session.window(MAIN_TITLE)
    files = need(main_window, "Files", TREE)
    click(centre(need(files, "brook.log")))
    drag(centre(need(files, "brook.log")), centre(need(main_window, "Bin", IMAGE)))
    box = session.wait_for(10, "the confirmation box", session.message_box)
    check_controls(box, [(BUTTON, "OK"), (BUTTON, "Cancel")])
    question = [node.name for node in walk(box) if node.getRole() == LABEL]
    if not any(text.startswith("are you sure you want to delete brook.log") for text in question):
        raise Failed("the confirmation box reads %s" % question)
    focus_window(MAIN_TITLE, newest=True)
    key("Escape")
    session.wait_for(10, "Esc to close the box", lambda: session.message_box() is None)
    if not os.path.exists(os.path.join(folder, "brook.log")):
        raise Failed("Esc in the confirmation box deleted the file")

    session.step("File > Close by its mnemonics")
    focus_window(MAIN_TITLE)
    key("alt+f")
    session.wait_for(5, "the File menu", lambda: find(session.window(MAIN_TITLE), "Close",
                                                      MENU_ITEM))
    key("c")
    status = session.wait_for_exit(10)
    if status != 0:
        raise Failed("the program ended with status %d" % status)

    session.step("the main window at a device pixel ratio of 2")
    check_double_density(session, folder, start_layout)


if __name__ == "__main__":
    main(run)
