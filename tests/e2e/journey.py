"""End-to-end run of the real program: a person starts it in a prepared folder, opens a
subfolder, picks a file, renames it, copies it into another folder, moves it back up into the
start folder, drops another onto the bin, looks at every view, sorts by every column, then does
the same with the keyboard alone (picks files by typing, copies with Enter, deletes with the
Delete key, sorts with Ctrl+3) and closes the window. After each step the files on disk and the
window's texts are checked. On the way: a folder named with a bidi control, opened from the
path box, and a rename to a name too long, refused in a box over the dialog, on the screen.

Usage (through run.sh): journey.py /path/to/tolvan-file-explorer
"""

import datetime
import filecmp
import os

import pyatspi

from desktop import (MAIN_TITLE, Failed, centre, click, column_headers, double_click, drag,
                     extents, find, focus_window, focused_control, frame_of, key, main, need,
                     table_rows, text_of, type_text, walk, x_windows, xdotool)

# name: (size in bytes, age of its modification time in hours)
SUB1 = {
    "alpha.txt": (1500, 5),
    "beta.txt": (2300, 2),
    "gamma.txt": (900, 7),
    "zeta.txt": (1200, 9),
    "delta.log": (3100, 4),
    "eps.md": (400, 1),
}
# A folder that would read "xmasexe.jpg" if its bidi control were shown as such, and what it holds.
BIDI = ["xmas\u202egpj.exe", "xmas\u202egpj.exe/inner", "xmas\u202egpj.exe/inner/deep.txt"]
RENAME = "Change the File Name to..."
SCREEN = (2048, 1536)  # run.sh's X server


def prepare(scratch):
    work = os.path.join(scratch, "work")
    expected = os.path.join(scratch, "expected")
    for folder in (work, os.path.join(work, "sub1"), os.path.join(work, "sub2"), expected):
        os.makedirs(folder)
    os.makedirs(os.path.join(work, BIDI[1]))
    open(os.path.join(work, BIDI[2]), "wb").close()
    now = datetime.datetime.now().timestamp()
    files = {"top.txt": (700, 3)}
    files.update({os.path.join("sub1", name): value for name, value in SUB1.items()})
    for relative, (size, age) in files.items():
        data = os.urandom(size)
        for root in (work, expected):
            with open(os.path.join(root, os.path.basename(relative) if root == expected
                                   else relative), "wb") as f:
                f.write(data)
        mtime = now - age * 3600
        os.utime(os.path.join(work, relative), (mtime, mtime))
    return work, expected


def check_tree(work, expected_files):
    found = set()
    for folder, subfolders, names in os.walk(work):
        for name in subfolders + names:
            found.add(os.path.relpath(os.path.join(folder, name), work))
    if found != set(expected_files):
        raise Failed("the folder holds %s, expected %s"
                     % (sorted(found), sorted(expected_files)))


def same_bytes(original, copy):
    if not filecmp.cmp(original, copy, shallow=False):
        raise Failed("%s does not hold the bytes of %s" % (copy, os.path.basename(original)))


class Journey:
    def __init__(self, session):
        self.s = session
        self.work, self.expected = prepare(session.scratch)
        self.sub1 = os.path.join(self.work, "sub1")
        self.sub2 = os.path.join(self.work, "sub2")

    # -- the main window's parts --------------------------------------------------------------

    def main(self):
        return self.s.wait_for(10, "the main window", lambda: self.s.window(MAIN_TITLE))

    def files(self):
        """The shown file list (report or one of the arranged views)."""
        for node in walk(self.main()):
            if node.name == "Files" and node.getRole() in (pyatspi.ROLE_TREE,
                                                           pyatspi.ROLE_TREE_TABLE,
                                                           pyatspi.ROLE_TABLE,
                                                           pyatspi.ROLE_LIST):
                return node
        raise Failed("no shown control named 'Files'")

    def listed(self):
        return [row[0] for row in table_rows(self.files())]

    def cell(self, name):
        view = self.files()
        return self.s.wait_for(5, "'%s' in the list" % name, lambda: find(view, name))

    def label(self, name):
        return need(self.main(), name, pyatspi.ROLE_LABEL).description

    def expect_label(self, name, text):
        self.s.wait_for(10, "%s to read '%s' (it reads '%s')" % (name, text, self.label(name)),
                        lambda: self.label(name) == text)

    def click_file(self, name):
        click(centre(self.cell(name)))
        self.expect_label("Selected file", os.path.join(self.folder(), name))

    def folder(self):
        return text_of(need(self.main(), "Current folder", pyatspi.ROLE_TEXT))

    def open_folder(self, window, name):
        """Double-clicks a row of a window's folder tree."""
        tree = need(window, "Folders", pyatspi.ROLE_TREE)
        double_click(centre(need(tree, name)))

    def dialog(self, title):
        window = self.s.wait_for(10, "the dialog '%s'" % title, lambda: self.s.window(title))
        focus_window(title)
        return window

    def back_to_main(self, title):
        self.s.wait_for(10, "the dialog '%s' to close" % title,
                        lambda: self.s.window_gone(title))
        self.main()
        focus_window(MAIN_TITLE)

    # -- the steps ------------------------------------------------------------------------------

    def start(self):
        self.s.step("1: start in the prepared folder")
        window = self.s.start(self.work)
        x, y, width, height = extents(window)
        if width != 920 or not 538 < height <= 538 + 40:
            raise Failed("the main window is %dx%d, expected 920 x 538 plus a menu bar"
                         % (width, height))
        if self.folder() != self.work:
            raise Failed("the path box reads '%s', expected '%s'" % (self.folder(), self.work))
        if self.listed() != ["top.txt"]:
            raise Failed("the start folder lists %s" % self.listed())
        focus_window(MAIN_TITLE)
        self.s.screenshot("start")

    def open_subfolder(self):
        self.s.step("2: open sub1 in the folder tree and click a file")
        self.open_folder(self.main(), "sub1")
        self.s.wait_for(10, "the path box to show sub1", lambda: self.folder() == self.sub1)
        want = sorted(SUB1)
        self.s.wait_for(10, "sub1's files in the list", lambda: self.listed() == want)
        self.click_file("gamma.txt")
        self.s.screenshot("sub1")

    def bidi_folder(self):
        self.s.step("1b: a folder named with a bidi control, then its subfolder from the path box")
        self.open_folder(self.main(), "xmas\u27e8U+202E\u27e9gpj.exe")
        shown = os.path.join(self.work, "xmas\u27e8U+202E\u27e9gpj.exe")
        self.s.wait_for(10, "the path box to show the mark (it shows %a)" % self.folder(),
                        lambda: self.folder() == shown)
        click(centre(need(self.main(), "Current folder", pyatspi.ROLE_TEXT)))
        key("End")
        type_text("/inner")
        key("Return")
        self.s.wait_for(10, "the subfolder's file", lambda: self.listed() == ["deep.txt"])
        self.s.screenshot("bidi-folder")
        self.open_folder(self.main(), os.path.basename(self.work))
        self.s.wait_for(10, "the path box to show the start folder",
                        lambda: self.folder() == self.work)

    def rename(self):
        self.s.step("3: rename alpha.txt to renamed.txt (F2, type, Enter)")
        self.click_file("alpha.txt")
        key("F2")
        dialog = self.dialog("Change the File Name to...")
        if text_of(need(dialog, "New file name", pyatspi.ROLE_TEXT)) != "alpha.txt":
            raise Failed("the rename dialog does not offer the file's name")
        key("ctrl+a")
        type_text("renamed.txt")
        self.s.screenshot("rename")
        key("Return")
        self.back_to_main("Change the File Name to...")
        if os.path.exists(os.path.join(self.sub1, "alpha.txt")):
            raise Failed("sub1/alpha.txt is still there after the rename")
        same_bytes(os.path.join(self.expected, "alpha.txt"),
                   os.path.join(self.sub1, "renamed.txt"))
        self.expect_label("Status", "alpha.txt has been renamed to renamed.txt")

    def rename_too_long(self):
        self.s.step("3b: rename beta.txt to 300 letters: the refusal over the dialog, on screen")
        self.click_file("beta.txt")
        key("F2")
        dialog = self.dialog(RENAME)
        # In a corner, where a box centred over the dialog would not fit on the screen.
        xdotool("windowmove", "--sync", x_windows(RENAME)[0], SCREEN[0] - 400, SCREEN[1] - 150)
        key("ctrl+a")
        xdotool("type", "--delay", 2, "n" * 300)
        key("Return")
        self.s.wait_for(10, "the failure box", self.s.message_box)
        box = self.s.wait_for(5, "its frame", lambda: frame_of(x_windows(MAIN_TITLE)[-1]))
        x, y, width, height = box
        left, top, dialog_width, dialog_height = extents(dialog)
        if not (0 <= x < left + dialog_width // 2 < x + width <= SCREEN[0] and 0 <= y < top
                + dialog_height // 2 < y + height <= SCREEN[1] and width <= SCREEN[0] * 2 // 3):
            raise Failed("the failure box's frame at %s is not over the dialog at %s, on the "
                         "screen" % (box, extents(dialog)))
        self.s.screenshot("rename-too-long")
        focus_window(MAIN_TITLE, newest=True)
        key("Return")
        self.s.wait_for(10, "the box to close", lambda: self.s.message_box() is None)
        focus_window(RENAME)
        key("Escape")
        self.back_to_main(RENAME)  # beta.txt is checked on disk with the others after step 6

    def copy(self):
        self.s.step("4: copy renamed.txt into sub2 through Copy To")
        self.click_file("renamed.txt")
        click(centre(need(self.main(), "Copy", pyatspi.ROLE_PUSH_BUTTON)))
        dialog = self.dialog("Copy To...")
        destination = need(dialog, "Destination folder", pyatspi.ROLE_LABEL)
        if destination.description != self.work:
            raise Failed("Copy To starts at '%s', expected the start folder"
                         % destination.description)
        self.open_folder(dialog, "sub2")
        self.s.wait_for(10, "the destination to become sub2",
                        lambda: need(dialog, "Destination folder").description == self.sub2)
        self.s.screenshot("copy-to")
        click(centre(need(dialog, "Copy", pyatspi.ROLE_PUSH_BUTTON)))
        self.back_to_main("Copy To...")
        same_bytes(os.path.join(self.expected, "alpha.txt"),
                   os.path.join(self.sub2, "renamed.txt"))
        same_bytes(os.path.join(self.expected, "alpha.txt"),
                   os.path.join(self.sub1, "renamed.txt"))
        self.expect_label("Status", "renamed.txt has been Copied to " + self.sub2)

    def move(self):
        self.s.step("5: move renamed.txt back up into the start folder through Move To")
        self.click_file("renamed.txt")
        click(centre(need(self.main(), "Move", pyatspi.ROLE_PUSH_BUTTON)))
        dialog = self.dialog("Move To...")
        if need(dialog, "Destination folder", pyatspi.ROLE_LABEL).description != self.work:
            raise Failed("Move To does not start at the start folder")
        self.s.screenshot("move-to")
        click(centre(need(dialog, "Move", pyatspi.ROLE_PUSH_BUTTON)))
        self.back_to_main("Move To...")
        if os.path.exists(os.path.join(self.sub1, "renamed.txt")):
            raise Failed("sub1/renamed.txt is still there after the move")
        same_bytes(os.path.join(self.expected, "alpha.txt"),
                   os.path.join(self.work, "renamed.txt"))
        self.expect_label("Status", "renamed.txt has been moved to " + self.work)
        if "renamed.txt" in self.listed():
            raise Failed("the list still shows the moved file")

    def delete(self):
        self.s.step("6: drag gamma.txt onto the bin and confirm")
        self.click_file("gamma.txt")
        drag(centre(self.cell("gamma.txt")),
             centre(need(self.main(), "Bin", pyatspi.ROLE_IMAGE)))
        box = self.s.wait_for(10, "the confirmation box", self.s.message_box)
        question = [n.name for n in walk(box) if n.getRole() == pyatspi.ROLE_LABEL]
        if not any("delete gamma.txt" in text for text in question):
            raise Failed("the confirmation box asks %s" % question)
        self.s.screenshot("confirm")
        self.answer_delete_with_enter()
        if os.path.exists(os.path.join(self.sub1, "gamma.txt")):
            raise Failed("sub1/gamma.txt was not deleted")
        self.s.wait_for(10, "the list without gamma.txt",
                        lambda: "gamma.txt" not in self.listed())
        check_tree(self.work, ["sub1", "sub2", "top.txt", "renamed.txt", "sub2/renamed.txt",
                               "sub1/beta.txt", "sub1/zeta.txt", "sub1/delta.log",
                               "sub1/eps.md"] + BIDI)
        for name in ("beta.txt", "zeta.txt", "delta.log", "eps.md"):
            same_bytes(os.path.join(self.expected, name), os.path.join(self.sub1, name))
        same_bytes(os.path.join(self.expected, "top.txt"), os.path.join(self.work, "top.txt"))
        focus_window(MAIN_TITLE)

    def answer_delete_with_enter(self):
        """Enter on the bin's question (OK), then on the 'file is deleted' box."""
        focus_window(MAIN_TITLE, newest=True)
        key("Return")
        self.s.wait_for(10, "the 'file is deleted' box", lambda: self.box_saying(
            "file is deleted"))
        focus_window(MAIN_TITLE, newest=True)
        key("Return")
        self.s.wait_for(10, "the boxes to close", lambda: self.s.message_box() is None)

    def box_saying(self, text):
        box = self.s.message_box()
        return box is not None and any(n.name == text for n in walk(box))

    def views(self):
        self.s.step("7: every view from the View menu, by its mnemonic")
        remaining = {"beta.txt", "zeta.txt", "delta.log", "eps.md"}
        for letter, view, role in (("i", "icon", pyatspi.ROLE_LIST),
                                   ("s", "small", pyatspi.ROLE_LIST),
                                   ("l", "list", pyatspi.ROLE_LIST),
                                   ("r", "report", pyatspi.ROLE_TREE)):
            key("alt+v")
            self.s.wait_for(5, "the View menu", lambda: find(self.main(), "Report",
                                                              pyatspi.ROLE_MENU_ITEM))
            key(letter)
            self.s.wait_for(5, "the %s view" % view, lambda: self.files().getRole() == role)
            shown = {n.name for n in walk(self.files())
                     if n.getRole() in (pyatspi.ROLE_LIST_ITEM, pyatspi.ROLE_TABLE_CELL)}
            if not remaining <= shown:
                raise Failed("the %s view shows %s" % (view, sorted(shown)))
            self.s.screenshot("view-" + view)

    def sorting(self):
        self.s.step("8: click each column header")
        sizes = {name: size for name, (size, _) in SUB1.items()}
        ages = {name: age for name, (_, age) in SUB1.items()}
        by_name = sorted(sizes.keys() - {"alpha.txt", "gamma.txt"})
        expected = {
            "Size": sorted(by_name, key=lambda n: sizes[n]),
            "Modified": sorted(by_name, key=lambda n: -ages[n]),
            "Filename": by_name,
        }
        # The files were made in this order, each after the one before.
        expected["Created"] = [name for name in SUB1 if name in by_name]
        for header in ("Size", "Type", "Modified", "Created", "Filename"):
            view = self.files()
            cell = next(h for h in column_headers(view) if h.name == header)
            click(centre(cell))
            column = [h.name for h in column_headers(view)].index(header)

            def ordered():
                rows = table_rows(self.files())
                names = [row[0] for row in rows]
                if header in expected:
                    return names == expected[header]
                # Type: in the order of the shown value, ties in name order.
                keys = [(value_key(header, row[column]), by_name.index(row[0])) for row in rows]
                return keys == sorted(keys) and sorted(names) == by_name

            self.s.wait_for(5, "the list in %s order (it shows %s)" % (header, self.listed()),
                            ordered)
            self.s.screenshot("sorted-" + header.lower())

    def tab_to(self, window_title, name):
        """Presses Tab until the control named name has the focus."""
        for _ in range(12):
            before = self.focused_name(window_title)
            if before == name:
                return
            key("Tab")
            self.s.wait_for(5, "Tab to move the focus on from '%s'" % before,
                            lambda: self.focused_name(window_title) != before)
        raise Failed("Tab never reached '%s' in '%s'" % (name, window_title))

    def focused_name(self, window_title):
        window = self.s.window(window_title)
        focused = focused_control(window) if window is not None else None
        return focused.name if focused is not None else None

    def has_focus(self, window_title, name):
        return self.focused_name(window_title) == name

    def expect_focus(self, window_title, name):
        self.s.wait_for(5, "the focus on '%s' in '%s'" % (name, window_title),
                        lambda: self.has_focus(window_title, name))

    def pick_by_typing(self, letters, name):
        self.expect_focus(MAIN_TITLE, "Files")
        type_text(letters)
        self.expect_label("Selected file", os.path.join(self.sub1, name))

    def keyboard(self):
        self.s.step("9: the keyboard alone: type-ahead, Copy To with Enter, Delete, Ctrl+3")
        focus_window(MAIN_TITLE)
        self.tab_to(MAIN_TITLE, "Files")
        self.pick_by_typing("z", "zeta.txt")
        zeta = os.path.join(self.sub2, "zeta.txt")

        # Copy To opens with the focus on Cancel: Enter there cancels.
        self.tab_to(MAIN_TITLE, "Copy")
        key("Return")
        self.dialog("Copy To...")
        self.expect_focus("Copy To...", "Cancel")
        key("Return")
        self.back_to_main("Copy To...")
        if os.path.exists(zeta):
            raise Failed("Enter on Cancel copied zeta.txt")

        # Back in the main window the keys go to the list again.
        self.pick_by_typing("z", "zeta.txt")
        self.tab_to(MAIN_TITLE, "Copy")
        key("Return")
        dialog = self.dialog("Copy To...")
        self.tab_to("Copy To...", "Folders")
        key("Down", "Down", "Return")  # past sub1 to sub2, which Enter opens
        self.s.wait_for(10, "the destination to become sub2",
                        lambda: need(dialog, "Destination folder").description == self.sub2)
        if not self.s.window("Copy To..."):
            raise Failed("Enter in the folder tree closed Copy To")
        key("shift+Tab")
        self.expect_focus("Copy To...", "Copy")
        self.s.screenshot("keyboard-copy-to")
        key("Return")
        self.back_to_main("Copy To...")
        same_bytes(os.path.join(self.sub1, "zeta.txt"), zeta)
        self.expect_label("Status", "zeta.txt has been Copied to " + self.sub2)

        # Delete in the list asks, and Enter answers OK.
        self.pick_by_typing("d", "delta.log")
        key("Delete")
        self.s.wait_for(10, "the confirmation box", self.s.message_box)
        self.answer_delete_with_enter()
        if os.path.exists(os.path.join(self.sub1, "delta.log")):
            raise Failed("Delete and Enter did not delete sub1/delta.log")
        check_tree(self.work, ["sub1", "sub2", "top.txt", "renamed.txt", "sub2/renamed.txt",
                               "sub2/zeta.txt", "sub1/beta.txt", "sub1/zeta.txt",
                               "sub1/eps.md"] + BIDI)

        # Ctrl+3 clicks the third header: the files by size, as the disk has them.
        focus_window(MAIN_TITLE)
        key("ctrl+3")
        by_size = sorted(os.listdir(self.sub1),
                         key=lambda name: os.path.getsize(os.path.join(self.sub1, name)))
        self.s.wait_for(5, "the list in size order (it shows %s)" % self.listed(),
                        lambda: self.listed() == by_size)
        self.s.screenshot("keyboard-sorted")

    def close(self):
        self.s.step("10: File > Close with the mouse")
        click(centre(need(self.main(), "File", pyatspi.ROLE_MENU_ITEM)))
        close = self.s.wait_for(5, "the File menu", lambda: find(self.main(), "Close",
                                                                  pyatspi.ROLE_MENU_ITEM))
        self.s.screenshot("file-menu")
        click(centre(close))
        status = self.s.wait_for_exit(10)
        if status != 0:
            raise Failed("the program ended with status %d" % status)


def value_key(header, text):
    return text.casefold()


def run(session):
    journey = Journey(session)
    for step in (journey.start, journey.bidi_folder, journey.open_subfolder, journey.rename,
                 journey.rename_too_long, journey.copy, journey.move, journey.delete,
                 journey.views, journey.sorting, journey.keyboard, journey.close):
        step()


if __name__ == "__main__":
    main(run)
