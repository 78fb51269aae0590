"""The real program on a slow and on a stuck file system (tolvan-slowfs, a FUSE mount): every
call that can block shows the progress box once it takes long, Cancel gives the window back at
once on the folder it showed before, and the program can be closed while a call is stuck in the
kernel.

Two mounts sit in the start folder: dead/, whose calls all wait while a block file exists, and
slow/, whose calls each take 50 ms. Both are listed as volumes in the drive selector.

Usage (through run.sh): slowfs.py /path/to/tolvan-file-explorer /path/to/tolvan-slowfs
Exits with 77 (skipped) where FUSE cannot be mounted.
"""

import filecmp
import os
import sys
import time

import pyatspi

from desktop import (MAIN_TITLE, Failed, centre, click, close_from_frame, double_click, find,
                     focus_window, key, main, need, table_rows, text_of, walk, x_windows)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "slowfs"))
from slowmount import SlowMount, Unavailable, unavailable_reason  # noqa: E402

SKIPPED = 77
BUTTON, TREE, COMBO = pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TREE, pyatspi.ROLE_COMBO_BOX
WORK_FOLDERS = ["dead", "dest", "slow"]
BIG = 4 << 20  # read in 128 KiB calls of 50 ms each: well over the progress box's 400 ms


class Slow:
    def __init__(self, session, slowfs):
        self.s = session
        scratch = session.scratch
        self.work = os.path.join(scratch, "work")
        self.dest = os.path.join(self.work, "dest")
        self.dead_back = os.path.join(scratch, "dead-backing")
        self.slow_back = os.path.join(scratch, "slow-backing")
        self.expected = os.path.join(scratch, "expected")
        for folder in (self.dest, os.path.join(self.dead_back, "inner"), self.slow_back,
                       self.expected):
            os.makedirs(folder)
        with open(os.path.join(self.work, "top.txt"), "w") as f:
            f.write("top\n")
        with open(os.path.join(self.dead_back, "inside.txt"), "w") as f:
            f.write("inside\n")
        for name in ("big.bin", "other.bin"):
            data = os.urandom(BIG)
            for folder in (self.slow_back, self.expected):
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(data)
        self.dead = SlowMount(slowfs, self.dead_back, os.path.join(self.work, "dead"),
                              block_file=os.path.join(scratch, "block"),
                              log=os.path.join(scratch, "dead.log"))
        self.slow = SlowMount(slowfs, self.slow_back, os.path.join(self.work, "slow"),
                              delay_ms=50, log=os.path.join(scratch, "slow.log"))

    # -- the windows ----------------------------------------------------------------------------

    def main(self):
        return self.s.wait_for(10, "the main window", lambda: self.s.window(MAIN_TITLE))

    def folder(self):
        return text_of(need(self.main(), "Current folder", pyatspi.ROLE_TEXT))

    def listed(self):
        return [row[0] for row in table_rows(need(self.main(), "Files", TREE))]

    def tree_rows(self, window):
        return [n.name for n in walk(need(window, "Folders", TREE))
                if n.getRole() in (pyatspi.ROLE_TABLE_CELL, pyatspi.ROLE_TREE_ITEM)]

    def on_folder(self, path, files, subfolders):
        """The main window shows path in its path box, its list, and its folder tree ending
        in path's row and its subfolders."""
        tail = [os.path.basename(path)] + subfolders
        return (self.folder() == path and self.listed() == files
                and self.tree_rows(self.main())[-len(tail):] == tail)

    def open_and_expect(self, name, path, files, subfolders, what):
        """Opens folder name in the main window's tree, again while the window was still
        waiting on a call and dropped the double click, until the window shows path."""
        def opened():
            if self.on_folder(path, files, subfolders):
                return True
            if not self.s.progress_box():
                self.open_folder(self.main(), name)
                time.sleep(0.5)
            return False
        self.s.wait_for(10, "%s: the main window on %s with %s" % (what, path, files), opened)

    def expect_folder(self, path, files, subfolders, what):
        self.s.wait_for(10, "%s: the main window on %s with %s (it shows %s, %s)"
                        % (what, path, files, self.folder(), self.listed()),
                        lambda: self.on_folder(path, files, subfolders))

    def progress_box(self, what):
        """The progress box, with its Cancel button."""
        def shown():
            box = self.s.progress_box()
            return box if box is not None and find(box, "Cancel", BUTTON) else None
        return self.s.wait_for(5, "the progress box while %s" % what, shown)

    def cancel(self, what):
        """Presses Cancel in the progress box; it must close at once."""
        box = self.progress_box(what)
        self.s.screenshot("progress")
        click(centre(need(box, "Cancel", BUTTON)))
        self.s.wait_for(2, "Cancel to close the progress box", lambda: not self.s.progress_box())

    def status_is(self, text):
        return any(need(window, "Status").description == text for window in self.s.windows()
                   if window.name == MAIN_TITLE and window.getRole() == pyatspi.ROLE_FRAME)

    def status_says(self, text, what):
        """A cancelled call shows no box: the main window's status line says what was
        cancelled and what was left."""
        self.s.wait_for(5, "the status line to read '%s' after cancelling %s" % (text, what),
                        lambda: self.status_is(text))
        if self.s.message_box() is not None:
            raise Failed("cancelling %s showed a box" % what)

    def released_without_leaks(self):
        """Releases the stuck mount and waits for the abandoned call to return: whatever it
        opened is closed when it comes, so no descriptor of the program stays on the mount."""
        self.dead.release()
        time.sleep(0.5)  # the abandoned call returns now
        fds = "/proc/%d/fd" % self.s.process.pid

        def on_mount():
            held = []
            for fd in os.listdir(fds):
                try:
                    target = os.readlink(os.path.join(fds, fd))
                except OSError:
                    continue
                if target == self.dead.mountpoint or target.startswith(self.dead.mountpoint + "/"):
                    held.append(target)
            return held
        self.s.wait_for(5, "the abandoned call's descriptors on the mount closed (%s)"
                        % on_mount(), lambda: not on_mount())

    def close_dialog_after_cancel(self, title):
        """A cancelled call in a dialog shows no box and leaves the dialog open; Esc closes it.
        The main window comes back with its buttons as they were, lists its folder again and
        only then switches them off."""
        time.sleep(0.5)
        if self.s.message_box() is not None:
            raise Failed("Cancel in %s showed a box" % title)
        focus_window(title)
        key("Escape")
        self.s.wait_for(10, "Esc to close " + title, lambda: self.s.window_gone(title))
        self.s.wait_for(10, "the file buttons switched off", lambda: not need(
            self.main(), "Copy", BUTTON).getState().contains(pyatspi.STATE_ENABLED))

    def open_folder(self, window, name):
        double_click(centre(need(need(window, "Folders", TREE), name)))

    def dialog(self, title, button, name="top.txt"):
        click(centre(need(self.main(), name)))
        self.s.wait_for(5, "the file buttons enabled", lambda: need(
            self.main(), button, BUTTON).getState().contains(pyatspi.STATE_ENABLED))
        click(centre(need(self.main(), button, BUTTON)))
        window = self.s.wait_for(10, "the dialog '%s'" % title, lambda: self.s.window(title))
        focus_window(title)
        return window

    # -- the journeys ---------------------------------------------------------------------------

    def start_in_dead_folder(self):
        self.s.step("1: start inside a stuck mount, Cancel, open another folder, File > Close")
        self.s.start(self.dead.mountpoint, main_window=False, once_inside=self.dead.block)
        # Each call that takes long shows its box, and each is cancelled, until the failure is
        # reported; the window waits for one call only.
        cancelled = "reading %s was cancelled" % self.dead.mountpoint
        boxes = 0
        while True:
            self.s.wait_for(5, "a progress box or the status line at start-up",
                            lambda: self.s.progress_box() or self.status_is(cancelled))
            if self.s.progress_box() is None:
                break
            boxes += 1
            self.cancel("listing the start folder")
        if boxes == 0:
            raise Failed("no progress box at start-up in a stuck folder")
        if boxes > 1:
            raise Failed("start-up showed %d progress boxes, one after the other" % boxes)
        self.status_says(cancelled, "listing the start folder")
        if self.listed():
            raise Failed("after Cancel at start-up the list shows %s" % self.listed())
        self.s.screenshot("start-cancelled")
        # Usable while the cancelled call is still stuck in the kernel.
        focus_window(MAIN_TITLE)
        self.open_and_expect("work", self.work, ["top.txt"], WORK_FOLDERS, "after opening work")
        click(centre(need(self.main(), "File", pyatspi.ROLE_MENU_ITEM)))
        click(centre(self.s.wait_for(5, "the File menu", lambda: find(
            self.main(), "Close", pyatspi.ROLE_MENU_ITEM))))
        self.expect_quick_end("File > Close")

    def expect_quick_end(self, how):
        """The windows go and the process ends with status 0 within 3 s, while the mount's
        call is still stuck. A thread in a FUSE call that the file system has taken cannot be
        killed; a process whose thread is stuck so is not ended until the call returns."""
        started = time.monotonic()
        while x_windows(MAIN_TITLE):
            if time.monotonic() - started > 3:
                raise Failed("the windows were still shown 3 s after %s" % how)
            time.sleep(0.05)
        try:
            status = self.s.process.wait(timeout=max(0.1, 3 - (time.monotonic() - started)))
        except Exception:
            raise Failed("the windows closed, but the process had not ended 3 s after %s "
                         "while a call was stuck on the mount" % how)
        if status != 0:
            raise Failed("after %s the program ended with status %d" % (how, status))
        self.dead.release()

    def cancel_in_trees(self):
        self.s.step("2: open the stuck mount in the main window's tree, Cancel")
        self.s.start(self.work)
        focus_window(MAIN_TITLE)
        self.expect_folder(self.work, ["top.txt"], WORK_FOLDERS, "at start")
        self.dead.block()
        self.open_folder(self.main(), "dead")
        self.cancel("opening dead")
        self.status_says("reading %s was cancelled" % self.dead.mountpoint, "opening dead")
        self.released_without_leaks()
        self.expect_folder(self.work, ["top.txt"], WORK_FOLDERS, "after Cancel")

        for title, button in (("Copy To...", "Copy"), ("Move To...", "Move")):
            self.s.step("3: open the stuck mount in %s's tree, Cancel" % title.rstrip("."))
            dialog = self.dialog(title, button)
            self.dead.block()
            self.open_folder(dialog, "dead")
            self.cancel("opening dead in " + title)
            time.sleep(0.5)
            if self.s.message_box() is not None:
                raise Failed("cancelling opening dead in %s showed a box" % title)
            self.released_without_leaks()
            destination = need(dialog, "Destination folder", pyatspi.ROLE_LABEL).description
            if destination != self.work:
                raise Failed("after Cancel, %s's destination is %s" % (title, destination))
            focus_window(title)
            key("Escape")
            self.s.wait_for(10, "Esc to close " + title, lambda: self.s.window_gone(title))
            focus_window(MAIN_TITLE)
        if sorted(os.listdir(self.dead_back)) != ["inner", "inside.txt"]:
            raise Failed("the stuck mount now holds %s" % sorted(os.listdir(self.dead_back)))
        if not os.path.exists(os.path.join(self.work, "top.txt")):
            raise Failed("top.txt left the start folder")

        self.s.step("3: Copy To a file of the stuck mount, Cancel while its folder is opened")
        self.open_and_expect("dead", self.dead.mountpoint, ["inside.txt"], ["inner"],
                             "on the mount")
        dialog = self.dialog("Copy To...", "Copy", "inside.txt")
        self.dead.block()
        click(centre(need(dialog, "Copy", BUTTON)))
        self.cancel("opening the main window's folder")
        self.released_without_leaks()
        self.close_dialog_after_cancel("Copy To...")
        self.status_says("opening %s was cancelled" % self.dead.mountpoint,
                         "opening the main window's folder")
        if os.path.exists(os.path.join(self.work, "inside.txt")):
            raise Failed("the cancelled copy put inside.txt into the start folder")
        focus_window(MAIN_TITLE)
        self.open_and_expect("work", self.work, ["top.txt"], WORK_FOLDERS, "back in work")

    def cancel_in_drive_selector(self):
        self.s.step("4: pick the stuck mount in the drive selector, Cancel: no failure box")
        volumes = need(self.main(), "Volumes", COMBO)
        click(centre(volumes))
        item = self.s.wait_for(5, "the mount in the drive selector's list",
                               lambda: find(volumes, self.dead.mountpoint))
        self.dead.block()
        click(centre(item))
        self.cancel("opening the volume " + self.dead.mountpoint)
        time.sleep(1)
        if self.s.message_box() is not None:
            raise Failed("cancelling a volume's listing showed a box")
        self.dead.release()
        time.sleep(0.5)
        self.expect_folder(self.work, ["top.txt"], WORK_FOLDERS,
                           "after Cancel in the drive selector")

    def pick(self, name, button):
        # A click that comes while the list is still being read again is dropped, as every
        # input to a waiting window is; click again, as a person would. The path under the list
        # stays after the buttons are switched off: it is the button that says a file is picked.
        def picked():
            if need(self.main(), "Selected file", pyatspi.ROLE_LABEL).description \
                    == os.path.join(self.slow.mountpoint, name) and need(
                        self.main(), button, BUTTON).getState().contains(pyatspi.STATE_ENABLED):
                return True
            click(centre(need(need(self.main(), "Files", TREE), name)))
            time.sleep(0.3)
            return False
        self.s.wait_for(10, "%s picked" % name, picked)

    def destination_dialog(self, name, title, button):
        """Picks name, opens the dialog and picks dest in it."""
        self.pick(name, button)
        click(centre(need(self.main(), button, BUTTON)))
        dialog = self.s.wait_for(20, title, lambda: self.s.window(title))
        # The dialog starts in the program's start folder.
        self.s.wait_for(20, "%s's tree on work" % title, lambda: (
            not self.s.progress_box() and self.tree_rows(dialog)[-3:] == WORK_FOLDERS))
        self.open_folder(dialog, "dest")
        self.s.wait_for(20, "the destination dest", lambda: need(
            dialog, "Destination folder").description == self.dest)
        return dialog

    def copy_and_move_out_of_slow_folder(self):
        self.s.step("5: Copy To out of a slow mount, Esc: no box, the status line says so")
        focus_window(MAIN_TITLE)
        self.open_folder(self.main(), "slow")
        self.s.wait_for(20, "the slow mount listed", lambda: not self.s.progress_box()
                        and self.on_folder(self.slow.mountpoint, ["big.bin", "other.bin"], []))
        dialog = self.destination_dialog("big.bin", "Copy To...", "Copy")
        click(centre(need(dialog, "Copy", BUTTON)))
        self.progress_box("copying big.bin")
        key("Escape")
        self.s.wait_for(2, "Esc to close the progress box", lambda: not self.s.progress_box())
        self.close_dialog_after_cancel("Copy To...")
        self.status_says("copying big.bin to %s was cancelled; nothing was copied" % self.dest,
                         "copying big.bin")
        if os.listdir(self.dest):
            raise Failed("after a cancelled copy dest holds %s" % os.listdir(self.dest))

        self.s.step("6: Copy To and Move To out of a slow mount show the progress box")
        for name, title, button, done in (
                ("big.bin", "Copy To...", "Copy", "has been Copied to"),
                ("other.bin", "Move To...", "Move", "has been moved to")):
            dialog = self.destination_dialog(name, title, button)
            click(centre(need(dialog, button, BUTTON)))
            self.progress_box("%sing %s" % (button.lower(), name))
            self.s.screenshot(button.lower() + "-progress")
            self.s.wait_for(30, "the %s to end" % button.lower(), lambda: any(
                n.description == "%s %s %s" % (name, done, self.dest)
                for n in walk(self.main()) if n.name == "Status"))
            if not filecmp.cmp(os.path.join(self.expected, name),
                               os.path.join(self.dest, name), shallow=False):
                raise Failed("dest/%s does not hold the bytes of the original" % name)
        if sorted(os.listdir(self.slow_back)) != ["big.bin"]:
            raise Failed("after the move the slow mount holds %s" % os.listdir(self.slow_back))
        if not filecmp.cmp(os.path.join(self.expected, "big.bin"),
                           os.path.join(self.slow_back, "big.bin"), shallow=False):
            raise Failed("the copy changed the original big.bin")

    def close_from_frame_while_stuck(self):
        self.s.step("7: close the main window from its frame while a call is stuck")
        focus_window(MAIN_TITLE)
        self.open_and_expect("work", self.work, ["top.txt"], WORK_FOLDERS, "back in work")
        self.dead.block()
        self.open_folder(self.main(), "dead")
        self.progress_box("opening dead")
        close_from_frame(x_windows(MAIN_TITLE)[0])
        self.expect_quick_end("closing the main window from its frame")


def run(session):
    slowfs = sys.argv[2] if len(sys.argv) > 2 else ""
    reason = unavailable_reason(slowfs)
    if reason:
        print("e2e: SKIPPED: %s" % reason, flush=True)
        sys.exit(SKIPPED)
    slow = Slow(session, slowfs)
    try:
        try:
            slow.dead.mount()
            slow.slow.mount()
        except Unavailable as why:
            print("e2e: SKIPPED: %s" % why, flush=True)
            sys.exit(SKIPPED)
        for journey in (slow.start_in_dead_folder, slow.cancel_in_trees,
                        slow.cancel_in_drive_selector, slow.copy_and_move_out_of_slow_folder,
                        slow.close_from_frame_while_stuck):
            journey()
    finally:
        # A program stuck on the mount cannot be stopped until its call returns.
        slow.dead.release()
        session.stop()
        slow.dead.unmount()
        slow.slow.unmount()


if __name__ == "__main__":
    main(run)
