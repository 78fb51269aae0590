"""The program as a person meets it: its windows read through the accessibility tree (AT-SPI),
the real mouse and keyboard through xdotool (XTEST), screenshots with ImageMagick.

Runs inside the private X server and session bus that run.sh sets up. Controls are found by
their role and accessible name, and every click lands on the place the program itself reports
for the control, so nothing depends on fonts, styles or pixel positions.
"""

import os
import re
import signal
import subprocess
import sys
import time

import pyatspi
from gi.repository import Atspi

CONTROL_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_COMBO_BOX,
    pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE, pyatspi.ROLE_LIST,
    pyatspi.ROLE_LABEL, pyatspi.ROLE_IMAGE, pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_MENU,
}
WINDOW_ROLES = {pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT}
MAIN_TITLE = "Tolvan File Explorer"


class Failed(Exception):
    pass


class Session:
    """One run of the program, with its log, screenshots and the clock of the test."""

    def __init__(self, binary, scratch):
        self.binary = binary
        self.scratch = scratch
        self.shots = os.path.join(scratch, "shots")
        os.makedirs(self.shots, exist_ok=True)
        self.log_path = os.path.join(scratch, "app.log")
        self.process = None
        self.started = time.monotonic()
        self.shot_no = 0
        self._app = None

    # -- the program ------------------------------------------------------------------------

    def start(self, folder, extra_env=None, main_window=True, once_inside=None):
        """Starts the program in folder and waits for its main window (with main_window False,
        only for its first shown window). once_inside, when given, runs after the process has
        entered folder and before the program starts: a test can make the folder's volume stop
        answering then, as a network volume does under a program already running in it."""
        env = dict(os.environ, LC_ALL="C.UTF-8", QT_QPA_PLATFORM="xcb",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        env.update(extra_env or {})
        command = [self.binary]
        if once_inside:
            # Enter the folder, stop until the test has done its part, then become the program.
            command = [sys.executable, "-c",
                       "import os, signal, sys; os.chdir(sys.argv[1]); "
                       "os.kill(os.getpid(), signal.SIGSTOP); os.execv(sys.argv[2], sys.argv[2:])",
                       folder, self.binary]
        with open(self.log_path, "ab") as log:
            self.process = subprocess.Popen(command, cwd=None if once_inside else folder, env=env,
                                            stdout=log, stderr=subprocess.STDOUT)
        if once_inside:
            self.wait_for(10, "the launcher to enter the folder", self._launcher_stopped)
            once_inside()
            self.process.send_signal(signal.SIGCONT)
        self._app = None
        self.wait_for(15, "the program in the accessibility tree", self._find_app)
        if not main_window:
            return None
        return self.wait_for(15, "the main window", lambda: self.window(MAIN_TITLE))

    def _launcher_stopped(self):
        with open("/proc/%d/stat" % self.process.pid) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] == "T"

    def running(self):
        return self.process is not None and self.process.poll() is None

    def wait_for_exit(self, seconds):
        try:
            return self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            raise Failed("the program did not end within %ss" % seconds)

    def stop(self):
        if self.running():
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def _find_app(self):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == self.process.pid \
                    and app.childCount > 0:
                self._app = app
                return app
        return None

    # -- reporting and waiting --------------------------------------------------------------

    def step(self, text):
        print("e2e: [%5.1fs] %s" % (time.monotonic() - self.started, text), flush=True)

    def screenshot(self, name):
        self.shot_no += 1
        path = os.path.join(self.shots, "%02d-%s.png" % (self.shot_no, name))
        subprocess.run(["import", "-window", "root", path], check=False)
        return path

    def wait_for(self, seconds, what, condition):
        """Calls condition until it returns something true; fails after seconds."""
        deadline = time.monotonic() + seconds
        while True:
            try:
                result = condition()
            except Failed:
                raise
            except Exception:  # an object that went away while it was being read
                result = None
            if result:
                waited = time.monotonic() - (deadline - seconds)
                if waited > 2:
                    self.step("(waited %.1fs for %s)" % (waited, what))
                return result
            if not self.running():
                raise Failed("the program ended while waiting for %s" % what)
            if time.monotonic() > deadline:
                self.screenshot("timed-out")
                raise Failed("timed out after %ss waiting for %s" % (seconds, what))
            time.sleep(0.1)

    # -- the accessibility tree -------------------------------------------------------------

    def windows(self):
        """The program's shown top-level windows."""
        self._app.clear_cache()
        return [w for w in self._app if w is not None and w.getRole() in WINDOW_ROLES
                and w.getState().contains(pyatspi.STATE_SHOWING)]

    def window(self, title):
        for window in self.windows():
            if window.name == title:
                return window
        return None

    def message_box(self):
        """A shown message box: a window titled like the main window that is not the frame."""
        for window in self.windows():
            if window.name == MAIN_TITLE and window.getRole() != pyatspi.ROLE_FRAME:
                return window
        return None

    def window_gone(self, title):
        return self.window(title) is None

    def progress_box(self):
        """The shown progress box of a long file-system call: a dialog with the progress bar
        named Progress."""
        for window in self.windows():
            if window.getRole() != pyatspi.ROLE_FRAME and (
                    window.name == "Progress"
                    or find(window, "Progress", pyatspi.ROLE_PROGRESS_BAR) is not None):
                return window
        return None


def walk(node, showing_only=True):
    """The node and its descendants, depth first, skipping hidden branches."""
    if node is None:
        return
    if showing_only and not node.getState().contains(pyatspi.STATE_SHOWING):
        return
    yield node
    for child in node:
        yield from walk(child, showing_only)


def find(root, name, role=None):
    """The first shown descendant with the name (and role, when given), or None."""
    for node in walk(root):
        if node.name == name and (role is None or node.getRole() == role):
            return node
    return None


def need(root, name, role=None):
    node = find(root, name, role)
    if node is None:
        what = "'%s'" % name if role is None else "a %s named '%s'" % (
            Atspi.role_get_name(role), name)
        raise Failed("%s is not in the window '%s'" % (what, root.name))
    return node


def controls(window):
    """Every shown control of a window: widgets, not the rows and cells inside them."""
    result = []

    def visit(node, inside_view):
        if node is None or not node.getState().contains(pyatspi.STATE_SHOWING):
            return
        role = node.getRole()
        if role in CONTROL_ROLES and not inside_view:
            result.append(node)
        view = inside_view or role in (pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE,
                                       pyatspi.ROLE_TABLE, pyatspi.ROLE_LIST,
                                       pyatspi.ROLE_COMBO_BOX)
        for child in node:
            visit(child, view)

    for child in window:
        visit(child, False)
    return result


def text_of(node):
    """The text of an editable text control."""
    text = node.queryText()
    return text.getText(0, text.characterCount)


def table_rows(view):
    """The rows of a table view as lists of cell texts."""
    table = view.queryTable()
    return [[table.getAccessibleAt(row, column).name for column in range(table.nColumns)]
            for row in range(table.nRows)]


def column_headers(view):
    table = view.queryTable()
    return [table.getColumnHeader(column) for column in range(table.nColumns)]


def centre(node):
    x, y, width, height = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    if width <= 0 or height <= 0:
        raise Failed("'%s' has no place on the screen" % node.name)
    return x + width // 2, y + height // 2


def extents(node):
    return tuple(node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS))


def focused_control(window):
    """The control that holds the keyboard focus in the window, or None."""
    for node in controls(window):
        if node.getState().contains(pyatspi.STATE_FOCUSED):
            return node
    return None


# -- the real mouse and keyboard ------------------------------------------------------------

def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True)


def move_to(point):
    """Moves the pointer and waits until it is there. xdotool's own wait never ends when the
    pointer is there already."""
    where = subprocess.run(["xdotool", "getmouselocation", "--shell"], capture_output=True,
                           text=True, check=True).stdout
    location = dict(line.split("=", 1) for line in where.split())
    if (int(location["X"]), int(location["Y"])) != tuple(point):
        xdotool("mousemove", "--sync", point[0], point[1])


def click(point):
    move_to(point)
    xdotool("click", 1)


def double_click(point):
    move_to(point)
    xdotool("click", "--repeat", 2, "--delay", 80, 1)


def key(*names):
    xdotool("key", "--clearmodifiers", *names)


def type_text(text):
    xdotool("type", "--delay", 30, text)


def drag(start, end, steps=25):
    """Presses the left button at start, moves in small steps to end and lets go there; drag
    and drop needs the motion in between."""
    move_to(start)
    xdotool("mousedown", 1)
    for k in range(1, steps + 1):
        xdotool("mousemove", start[0] + (end[0] - start[0]) * k // steps,
                start[1] + (end[1] - start[1]) * k // steps)
        time.sleep(0.03)
    # A few moves over the target, so that it has answered before the button goes up.
    for k in range(1, 4):
        xdotool("mousemove", end[0] + k, end[1])
        time.sleep(0.05)
    xdotool("mouseup", 1)


def x_windows(title):
    """The X ids of the shown windows with the title, oldest first."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                            "^%s$" % re.escape(title)], capture_output=True, text=True)
    return sorted(found.stdout.split(), key=int)


def focus_window(title, newest=False):
    """Activates a window through the window manager, as a click on it would, and waits until
    it is the active one: the manager maps a newly shown window, and focuses it, a moment after
    the test sees it. Message boxes share the main window's title: newest picks the latest."""
    deadline = time.monotonic() + 5
    while not (ids := x_windows(title)) and time.monotonic() < deadline:
        time.sleep(0.05)
    if not ids:
        raise Failed("no X window named '%s'" % title)
    target = ids[-1] if newest else ids[0]
    subprocess.run(["timeout", "5", "xdotool", "windowactivate", "--sync", target], check=True)


def frame_of(window_id):
    """A window's x, y, width and height on the screen with the frame the manager drew."""
    run = lambda *command: subprocess.run(command, capture_output=True, text=True, check=True)
    where = dict(line.split("=") for line in run("xdotool", "getwindowgeometry", "--shell",
                                                  window_id).stdout.split())
    left, right, top, bottom = map(int, run("xprop", "-id", window_id, "_NET_FRAME_EXTENTS")
                                   .stdout.split("=")[1].split(","))
    return (int(where["X"]) - left, int(where["Y"]) - top, int(where["WIDTH"]) + left + right,
            int(where["HEIGHT"]) + top + bottom)


def close_from_frame(window_id):
    """Asks the window manager to close a window, as its frame's close button does
    (_NET_CLOSE_WINDOW, which the manager passes on as WM_DELETE_WINDOW)."""
    subprocess.run(["wmctrl", "-i", "-c", window_id], check=True)


def main(run):
    """Runs a test function with a session; prints the failure and keeps the evidence."""
    binary, scratch = sys.argv[1], os.environ["TOLVAN_E2E_SCRATCH"]
    session = Session(binary, scratch)
    try:
        run(session)
    except (Failed, subprocess.CalledProcessError) as failure:
        print("e2e: FAILED: %s" % failure, flush=True)
        print("e2e: last screen in %s" % session.screenshot("failure"), flush=True)
        session.stop()
        with open(session.log_path, errors="replace") as log:
            output = log.read().strip()
        if output:
            print("e2e: program output:\n    " + output.replace("\n", "\n    "), flush=True)
        sys.exit(1)
    finally:
        session.stop()
    print("e2e: all steps passed in %.1fs" % (time.monotonic() - session.started))
