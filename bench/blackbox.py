"""The black-box benchmark: the real program under X, measured from outside as a desktop sees it.

Responsiveness: every 50 ms each shown window of the program gets a _NET_WM_PING (EWMH), the
message a window manager sends to find out whether a program still answers (Qt answers on the
root window with StructureNotify in the event mask); the longest wait
for a reply, and any ping never answered, are recorded while the program lists a million files
at start-up, lists 100k files of 0 to 16 KiB, copies a 2 GiB file through Copy To, moves one to
/dev/shm through Move To, and opens a folder on a slow FUSE mount (tolvan-slowfs). Target: no
reply later than 100 ms.

Cancel: from the Esc key in the progress box to the box's unmapping, during a 2 GiB copy and
during a listing stuck on a FUSE mount. Target: 100 ms.

Start-up: from exec to the main window mapped, and drawn, in an empty folder and in the 1M
folder; in the 1M folder also until the file list's screen area, and its rows (without the
scroll bar), match the final picture. Set against L for the same folder, measured in the same
run by tolvan-bench --limit.

The program is driven with the XTEST keyboard and mouse; its windows are found by their
_NET_WM_PID and titles, and its controls by the main window's fixed layout (the form's places
in twips, 15 to a pixel). Accessibility stays off, as on most desktops.

Timing: a separate process sends the pings and reads every reply, map and unmap on its own X
connection, stamping each with CLOCK_MONOTONIC as it arrives (about 1 ms resolution); pictures
are taken every 10 ms (one capture of the window takes about 3 ms here).

Load: with --load N, N CPU-bound processes (yes into /dev/null) run through every start-up and
ping case, so that the program has to answer on a busy machine; L is measured without them.

Usage: blackbox.py --binary PROGRAM [--slowfs TOLVAN-SLOWFS] [--limit-tool TOLVAN-BENCH]
                   [--dir PATH] [--reps N] [--cases LIST] [--load N] [--quick] [--keep]
Without DISPLAY it runs itself under a private Xvfb with openbox.
"""

import argparse
import hashlib
import multiprocessing
import os
import random
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "slowfs"))

from slowmount import SlowMount, Unavailable, unavailable_reason  # noqa: E402

CASES = ["startup-empty", "startup-1m", "list-100k", "copy", "move", "fuse", "cancel-copy",
         "cancel-listing"]
# The cases that --load runs its CPU-bound processes through: start-up and the pings.
LOADED_CASES = {"startup-empty", "startup-1m", "list-100k", "copy", "move", "fuse"}
TITLE = "Tolvan File Explorer"
PING_EVERY = 0.05
TARGET = 0.100

# The main window's fixed layout in pixels: a client area of 920 x 538 below the menu bar, and
# in it the controls at their places (twips / 15, rounded as the program rounds).
CLIENT_HEIGHT = 538
LIST = (208, 32, 689, 393)
TREE = (0, 24, 201, 531)
COPY_BUTTON = (700, 484)
MOVE_BUTTON = (700, 452)
# The rows of the list: inside its frame, below the header, left of the vertical scroll bar.
ROWS_INSET = (1, 20, 16, 1)  # left, top, right, bottom
# Copy To and Move To: their confirm button and their folder tree (no menu bar).
DIALOG_CONFIRM = {"Copy To...": (140, 336), "Move To...": (140, 344)}
DIALOG_TREE = {"Copy To...": (8, 40, 321, 231), "Move To...": (8, 48, 321, 231)}


class NoProgressBox(Exception):
    """The program showed no progress box where the case needs one: nothing to time."""


def ms(seconds):
    return "%.0f ms" % (seconds * 1000) if seconds is not None else "-"


# -- the watcher: pings and window events on its own connection --------------------------------

def watcher(connection):
    """Runs in its own process. Commands from the pipe: ("watch", pid) starts over for a new
    program; ("reset",) forgets the pings so far; ("report",) sends the ping figures;
    ("stop",) ends. Every map, unmap and destroy of
    the program's windows is sent back as ("map"|"unmap"|"destroy", time, window, title,
    transient_for) the moment it is read."""
    from Xlib import X, display
    from Xlib.protocol import event

    d = display.Display()
    d.set_error_handler(lambda *args: None)  # windows vanish between a ping and its send
    root = d.screen().root
    atom = d.intern_atom
    protocols, ping, pid_atom = atom("WM_PROTOCOLS"), atom("_NET_WM_PING"), atom("_NET_WM_PID")
    name_atom, utf8 = atom("_NET_WM_NAME"), atom("UTF8_STRING")
    # Qt sends its replies to the root with StructureNotify and SubstructureRedirect in the
    # mask: the window manager holds the redirect; structure notifications are for anyone.
    root.change_attributes(event_mask=X.SubstructureNotifyMask | X.StructureNotifyMask)
    d.flush()

    pid = None
    targets = {}  # window id -> window object, for shown windows that take pings
    sent = {}  # serial -> (window id, time sent)
    latencies = []
    reporting = None  # while a report waits for the pings in flight: until when
    serial = 0
    next_ping = time.monotonic()

    def watch_window(window):
        """Follows a new top-level window; one mapped before its notifications were asked for
        is taken as mapped now."""
        try:
            window.change_attributes(event_mask=X.StructureNotifyMask)
            if window.get_attributes().map_state != X.IsUnmapped:
                shown(window, time.monotonic())
        except Exception:
            pass

    def shown(window, now):
        described = describe(window)
        if described:
            title, transient, pings = described
            if pings:
                targets[window.id] = window
            connection.send(("map", now, window.id, title, transient))

    def describe(window):
        try:
            owner = window.get_full_property(pid_atom, X.AnyPropertyType)
            if owner is None or pid is None or owner.value[0] != pid:
                return None
            title = window.get_full_property(name_atom, utf8)
            title = title.value.decode("utf-8", "replace") if title else (
                window.get_wm_name() or "")
            transient = window.get_wm_transient_for()
            takes = window.get_full_property(protocols, X.AnyPropertyType)
            pings = takes is not None and ping in takes.value
            redirect = window.get_attributes().override_redirect
            return title, transient.id if transient else 0, pings and not redirect
        except Exception:
            return None

    def handle(e):
        now = time.monotonic()
        if e.type == X.CreateNotify:
            watch_window(e.window)
        elif e.type == X.MapNotify and e.window.id == e.event.id:
            shown(e.window, now)
        elif e.type in (X.UnmapNotify, X.DestroyNotify) and e.window.id == e.event.id:
            # A hidden window still answers; a destroyed one cannot: its pings end here, having
            # waited at least this long.
            targets.pop(e.window.id, None)
            if e.type == X.DestroyNotify:
                for s in [s for s, (w, _) in sent.items() if w == e.window.id]:
                    latencies.append(now - sent.pop(s)[1])
            connection.send(("unmap" if e.type == X.UnmapNotify else "destroy", now,
                             e.window.id, "", 0))
        elif e.type == X.ClientMessage and e.window.id == root.id:
            data = e.data[1]
            if data[0] == ping and data[1] in sent:
                _, when = sent.pop(data[1])
                latencies.append(now - when)

    while True:
        now = time.monotonic()
        wait = 0.01 if reporting is not None else max(0.0, next_ping - now)
        ready, _, _ = select.select([d.fileno(), connection], [], [], wait)
        while d.pending_events():
            handle(d.next_event())
        if connection in ready or connection.poll():
            command = connection.recv()
            if command[0] == "stop":
                return
            if command[0] == "watch":
                pid, latencies = command[1], []
                targets.clear()
                sent.clear()
                for child in root.query_tree().children:
                    watch_window(child)
                d.flush()
            elif command[0] == "reset":
                latencies = []
                sent.clear()
            elif command[0] == "report":
                reporting = time.monotonic() + 0.5
        now = time.monotonic()
        if reporting is not None and (not sent or now >= reporting):
            # Pings sent in the last half second had their chance; the rest went unanswered.
            unanswered = [now - when for _, when in sent.values()]
            connection.send({"replies": len(latencies),
                             "longest": max(latencies + unanswered, default=None),
                             "missing": len(unanswered)})
            reporting = None
        if now >= next_ping and reporting is None:
            for window_id, window in list(targets.items()):
                serial = (serial + 1) & 0x7FFFFFFF
                message = event.ClientMessage(window=window, client_type=protocols,
                                              data=(32, [ping, serial, window_id, 0, 0]))
                window.send_event(message, event_mask=0)
                sent[serial] = (window_id, time.monotonic())
            d.flush()
            next_ping = max(next_ping + PING_EVERY, now + PING_EVERY / 2)


# -- the desktop: input, pictures and the program's windows -------------------------------------

class Desktop:
    def __init__(self):
        from Xlib import X, XK, display
        from Xlib.ext import xtest
        self.X, self.XK, self.xtest = X, XK, xtest
        self.pipe, theirs = multiprocessing.Pipe()
        self.watcher = multiprocessing.Process(target=watcher, args=(theirs,), daemon=True)
        self.watcher.start()
        self.d = display.Display()
        self.d.set_error_handler(lambda *args: None)
        self.root = self.d.screen().root
        self.windows = {}  # id -> (title, transient_for) of the program's shown windows
        self.events = []  # (kind, time, id, title, transient_for), as they came

    def close(self):
        self.pipe.send(("stop",))
        self.watcher.join(5)

    # The program's windows, from the watcher's reports.
    def pump(self, seconds=0.0):
        if self.pipe.poll(seconds):
            while self.pipe.poll():
                kind, when, window, title, transient = self.pipe.recv()
                self.events.append((kind, when, window, title, transient))
                if kind == "map":
                    self.windows[window] = (title, transient)
                else:
                    self.windows.pop(window, None)

    def watch(self, pid):
        self.pipe.send(("watch", pid))
        self.windows.clear()
        self.events = []

    def reset_pings(self):
        self.pipe.send(("reset",))

    def pings(self):
        self.pipe.send(("report",))
        while True:
            message = self.pipe.recv()
            if isinstance(message, dict):
                return message
            kind, when, window, title, transient = message
            self.events.append(message)
            if kind == "map":
                self.windows[window] = (title, transient)
            else:
                self.windows.pop(window, None)

    def wait_window(self, seconds, accept):
        """The first shown window (id) for which accept(id, title, transient) holds."""
        deadline = time.monotonic() + seconds
        while True:
            for window, (title, transient) in list(self.windows.items()):
                if accept(window, title, transient):
                    return window
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            self.pump(min(left, 0.05))

    def event_time(self, kind, window):
        for k, when, w, _, _ in self.events:
            if k == kind and w == window:
                return when
        return None

    # Input through XTEST.
    def key(self, name):
        code = self.d.keysym_to_keycode(self.XK.string_to_keysym(name))
        self.xtest.fake_input(self.d, self.X.KeyPress, code)
        self.xtest.fake_input(self.d, self.X.KeyRelease, code)
        self.d.sync()

    def type(self, text):
        names = {"/": "slash", ".": "period", "-": "minus", "_": "underscore"}
        for char in text:
            self.key(names.get(char, char))

    def click(self, window, x, y):
        origin = self.root_position(window)
        self.xtest.fake_input(self.d, self.X.MotionNotify, x=origin[0] + x, y=origin[1] + y)
        self.d.sync()
        time.sleep(0.05)
        self.xtest.fake_input(self.d, self.X.ButtonPress, 1)
        self.xtest.fake_input(self.d, self.X.ButtonRelease, 1)
        self.d.sync()

    def root_position(self, window):
        w = self.d.create_resource_object("window", window)
        position = w.translate_coords(self.root, 0, 0)
        return -position.x, -position.y

    def size(self, window):
        geometry = self.d.create_resource_object("window", window).get_geometry()
        return geometry.width, geometry.height

    def activate(self, window):
        """Asks the window manager to give the window the keyboard, and waits for it."""
        from Xlib.protocol import event
        w = self.d.create_resource_object("window", window)
        active = self.d.intern_atom("_NET_ACTIVE_WINDOW")
        message = event.ClientMessage(window=w, client_type=active,
                                      data=(32, [2, self.X.CurrentTime, 0, 0, 0]))
        self.root.send_event(message, event_mask=self.X.SubstructureRedirectMask
                             | self.X.SubstructureNotifyMask)
        self.d.sync()
        deadline = time.monotonic() + 2
        while time.monotonic() < deadline:
            focus = self.d.get_input_focus().focus
            if not isinstance(focus, int) and focus.id == window:
                return True
            time.sleep(0.01)
        return False

    def capture(self, window):
        """The window's pixels (BGRX rows), or None while it cannot be read."""
        try:
            w = self.d.create_resource_object("window", window)
            geometry = w.get_geometry()
            image = w.get_image(0, 0, geometry.width, geometry.height, self.X.ZPixmap,
                                0xFFFFFFFF)
            return geometry.width, geometry.height, image.data
        except Exception:
            return None


def crop(picture, rect):
    width, _, data = picture
    x, y, w, h = rect
    return b"".join(data[((y + row) * width + x) * 4:((y + row) * width + x + w) * 4]
                    for row in range(h))


def digest(data):
    return hashlib.blake2b(data, digest_size=16).digest()


# -- the program ---------------------------------------------------------------------------------

class Run:
    """One start of the program in a folder, watched from exec on."""

    def __init__(self, bench, folder):
        self.bench, self.desk = bench, bench.desk
        # The load runs from the program's start to its end, in the cases that take it.
        self.load = Load(bench.o.load if bench.case in LOADED_CASES else 0)
        env = dict(os.environ, LC_ALL="C.UTF-8", QT_QPA_PLATFORM="xcb")
        env.pop("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", None)
        self.log = open(os.path.join(bench.root, "program.log"), "ab")
        self.started = time.monotonic()
        self.process = subprocess.Popen([bench.binary], cwd=folder, env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self.desk.watch(self.process.pid)
        self.main = None

    def main_window(self, seconds=120):
        self.main = self.desk.wait_window(seconds, lambda w, title, transient:
                                          title == TITLE and not transient)
        if self.main is None:
            raise RuntimeError("no main window within %d s" % seconds)
        return self.main

    def client(self, x, y):
        """A point of the main window's client area, in the window's coordinates."""
        width, height = self.desk.size(self.main)
        return x, height - CLIENT_HEIGHT + y

    def list_rect(self):
        x, y = self.client(LIST[0], LIST[1])
        return x, y, LIST[2], LIST[3]

    def rows_rect(self):
        x, y, w, h = self.list_rect()
        left, top, right, bottom = ROWS_INSET
        return x + left, y + top, w - left - right, h - top - bottom

    def box(self, seconds):
        """A window titled like the main window over it: the progress box (or a failure box)."""
        return self.desk.wait_window(seconds, lambda w, title, transient:
                                     title == TITLE and w != self.main)

    def list_digest(self):
        picture = self.desk.capture(self.main)
        return digest(crop(picture, self.list_rect())) if picture else None

    def settle(self, quiet=1.0, before=None, seconds=300):
        """Waits until the list's picture differs from before and has then not changed for
        quiet seconds with no other window shown (a program that does not answer does not
        repaint either; a progress box may stand over a list not yet filled); returns the time
        of its last change."""
        last, since, deadline = before, time.monotonic(), time.monotonic() + seconds
        while time.monotonic() < deadline:
            self.desk.pump(0.02)
            now_digest = self.list_digest()
            if now_digest != last:
                last, since = now_digest, time.monotonic()
            elif last != before and time.monotonic() - since >= quiet \
                    and set(self.desk.windows) == {self.main}:
                return since
        raise RuntimeError("the list never settled")

    def open_in_tree(self, window, tree, name):
        """Opens a row of a folder tree by typing its name and Enter."""
        self.desk.click(window, tree[0] + tree[2] // 2, tree[1] + tree[3] - 6)
        time.sleep(0.2)
        self.desk.type(name)
        time.sleep(0.1)
        self.desk.key("Return")

    def end(self):
        self.load.stop()
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


# -- the cases -----------------------------------------------------------------------------------

class Bench:
    def __init__(self, options):
        self.o = options
        self.binary = options.binary
        self.root = tempfile.mkdtemp(prefix="tolvan-blackbox.", dir=options.dir)
        self.desk = Desktop()
        self.results = {}  # row name -> list of values (seconds)
        self.notes = []
        self.limits = {}
        self.mount = None
        self.case = None
        scale = 10 if options.quick else 1
        self.n1m, self.n100k = 1_000_000 // scale, 100_000 // scale
        self.big_bytes = (256 << 20) if options.quick else (2 << 30)

    def fail(self, text):
        """Stops the case; with --keep the screen is saved first, while the program runs."""
        if self.o.keep:
            save_png(self.desk.capture(self.desk.root.id), self.folder("failure.png"))
        raise RuntimeError(text)

    def record(self, row, value):
        self.results.setdefault(row, []).append(value)

    def note(self, text):
        print("  " + text, flush=True)

    # Folders, made once and used by every repetition.
    def folder(self, name):
        return os.path.join(self.root, name)

    def make_files(self, name, count, sizes=None):
        folder = self.folder(name)
        if os.path.isdir(folder):
            return folder
        print("making %s: %d files" % (name, count), flush=True)
        os.makedirs(folder)
        generator = random.Random(7)
        block = os.urandom(16384)
        for k in range(count):
            fd = os.open(os.path.join(folder, "f%07d" % k), os.O_CREAT | os.O_WRONLY, 0o644)
            if sizes:
                os.write(fd, block[:generator.randint(0, sizes)])
            os.close(fd)
        return folder

    def big_file(self):
        path = os.path.join(self.folder("copy"), "big.bin")
        if not os.path.exists(path):
            print("making a %d MiB file" % (self.big_bytes >> 20), flush=True)
            os.makedirs(os.path.join(self.folder("copy"), "dest"), exist_ok=True)
            chunk = os.urandom(16 << 20)
            with open(path, "wb") as f:
                for _ in range(self.big_bytes // len(chunk)):
                    f.write(chunk)
        return path

    def fuse(self):
        if self.mount is None:
            reason = unavailable_reason(self.o.slowfs)
            if reason:
                raise Unavailable(reason)
            backing = self.folder("fuse-backing")
            os.makedirs(backing, exist_ok=True)
            for k in range(50):
                with open(os.path.join(backing, "file%02d.txt" % k), "w") as f:
                    f.write("x" * k)
            self.mount = SlowMount(self.o.slowfs, backing, self.folder("slowmount"),
                                   delay_ms=20, block_file=self.folder("slowmount.block"),
                                   log=self.folder("slowmount.log"))
            self.mount.mount()
        return self.mount

    def limit(self, folder):
        if folder not in self.limits and self.o.limit_tool:
            out = subprocess.run([self.o.limit_tool, "--limit", folder, "--reps", "5"],
                                 capture_output=True, text=True, check=True).stdout.split()
            self.limits[folder] = float(out[1])
        return self.limits.get(folder)

    def pinged(self, run, case):
        report = self.desk.pings()
        if not report["replies"] and not report["missing"]:
            return  # over before the first ping
        self.record("longest ping reply: " + case, report["longest"])
        if report["missing"]:
            self.record("pings never answered: " + case, report["missing"])
        self.note("%s: longest ping reply %s over %d replies, %d never answered"
                  % (case, ms(report["longest"]), report["replies"], report["missing"]))

    def startup(self, case, folder, pictures):
        """Start-up in folder: the main window mapped and drawn; with pictures, the list's and
        the rows' final pictures; pings throughout."""
        run = Run(self, folder)
        try:
            main = run.main_window()
            mapped = self.desk.event_time("map", main) - run.started
            # Pictures until the window is drawn and, with pictures, until the list has not
            # changed for 2 s with no other window shown (a progress box over an empty list
            # is not the end; the path box's blinking cursor is outside the list).
            shots, drawn = [], None
            list_rect, rows_rect = run.list_rect(), run.rows_rect()
            quiet_since, last = None, None
            deadline = time.monotonic() + 300
            while time.monotonic() < deadline:
                self.desk.pump(0.01)
                picture = self.desk.capture(main)
                now = time.monotonic()
                if picture is None:
                    continue
                if drawn is None and picture[2].count(picture[2][:4]) * 4 != len(picture[2]):
                    drawn = now - run.started
                if drawn is not None and not pictures:
                    break
                shots.append((now - run.started, digest(crop(picture, list_rect)),
                              digest(crop(picture, rows_rect))))
                if shots[-1][1] != last:
                    last, quiet_since = shots[-1][1], now
                elif drawn is not None and now - quiet_since > 2.0 \
                        and set(self.desk.windows) == {main}:
                    break
            # Before any window is shown there is nothing to ping: a long wait for the first
            # one (the main window or a progress box) is a freeze the pings cannot see.
            first = min(when for kind, when, _, _, _ in self.desk.events if kind == "map")
            self.record("%s: first window mapped" % case, first - run.started)
            self.record("%s: window mapped" % case, mapped)
            self.record("%s: window drawn" % case, drawn)
            line = "%s: first window %s, main window mapped %s, drawn %s" % (
                case, ms(first - run.started), ms(mapped), ms(drawn))
            if pictures:
                final_list, final_rows = shots[-1][1], shots[-1][2]
                list_at = settled_at(shots, 1, final_list)
                rows_at = settled_at(shots, 2, final_rows)
                self.record("%s: list in its final picture" % case, list_at)
                self.record("%s: first rows in final order" % case, rows_at)
                line += ", list final %s, rows final %s (%d pictures)" % (
                    ms(list_at), ms(rows_at), len(shots))
                if self.o.keep:
                    save_png(self.desk.capture(main), self.folder("final-%s.png" % case))
            self.note(line)
            self.pinged(run, case)
        finally:
            run.end()

    def case_startup_empty(self):
        os.makedirs(self.folder("empty"), exist_ok=True)
        self.startup("start-up, empty folder", self.folder("empty"), False)

    def case_startup_1m(self):
        folder = self.make_files("files1m", self.n1m)
        self.startup("start-up, %s files" % count_name(self.n1m), folder, True)

    def open_folder_case(self, case, name):
        """From the bench's root folder, opens a subfolder in the main window's tree."""
        run = Run(self, self.root)
        try:
            run.main_window()
            run.settle(quiet=0.5)
            self.desk.activate(run.main)
            before = run.list_digest()
            self.desk.reset_pings()  # pings from the key press on
            started = time.monotonic()
            run.open_in_tree(run.main, TREE, name)
            settled = run.settle(before=before)
            self.note("%s: the list's last change %s after the key press"
                      % (case, ms(settled - started)))
            self.pinged(run, case)
        finally:
            run.end()

    def case_list_100k(self):
        self.make_files("sized100k", self.n100k, sizes=16384)
        self.open_folder_case("listing %s files of 0-16 KiB" % count_name(self.n100k),
                              "sized100k")

    def case_fuse(self):
        self.fuse()
        self.open_folder_case("opening a slow FUSE folder (20 ms a call)",
                              "slowmount")

    def transfer(self, title, destination, cancel):
        """Copy To (title "Copy To...") or Move To of the big file into destination, typed as
        tree rows from the dialog's start; with cancel, Esc in the progress box."""
        source = self.big_file()
        folder = os.path.dirname(source)
        run = Run(self, folder)
        box = None
        try:
            main = run.main_window()
            run.settle(quiet=0.5)
            self.desk.activate(main)
            x, y, w, h = run.list_rect()
            self.desk.click(main, x + w // 2, y + h - 10)
            time.sleep(0.2)
            self.desk.key("Home")  # picks the one file, which enables the buttons
            time.sleep(0.3)
            button = COPY_BUTTON if title.startswith("Copy") else MOVE_BUTTON
            self.desk.click(main, *run.client(*button))
            dialog = self.desk.wait_window(10, lambda w, t, tr: t == title)
            if dialog is None:
                self.fail("no %s dialog" % title)
            self.desk.activate(dialog)
            for row in destination:
                run.open_in_tree(dialog, DIALOG_TREE[title], row)
                time.sleep(0.5)
            self.desk.reset_pings()
            started = time.monotonic()
            self.desk.click(dialog, *DIALOG_CONFIRM[title])
            if cancel:
                box = self.desk.wait_window(600, lambda w, t, tr: w == main or (
                    t == TITLE and w != dialog))
                if box is None or box == main:
                    raise NoProgressBox("%s ended without a progress box" % title)
                time.sleep(0.3)
                if not self.desk.activate(box):
                    self.note("the progress box did not get the keyboard")
                pressed = time.monotonic()
                self.desk.key("Escape")
                deadline = time.monotonic() + 30
                while self.desk.event_time("unmap", box) is None and time.monotonic() < deadline:
                    self.desk.pump(0.01)
                closed = self.desk.event_time("unmap", box)
                took = closed - pressed if closed else None
                self.record("cancel: %s of %d MiB" % (title.rstrip("."), self.big_bytes >> 20),
                            took)
                self.note("%s: Esc to the progress box closing: %s" % (title, ms(took)))
                return
            # Done when the main window is back and nothing else is shown.
            back = self.desk.wait_window(600, lambda w, t, tr: w == main
                                         and set(self.desk.windows) == {main})
            if back is None:
                self.fail("%s did not end" % title)
            box = any(kind == "map" and shown_title == TITLE and w != main
                      for kind, _, w, shown_title, _ in self.desk.events)
            self.note("%s of %d MiB: %s%s" % (title, self.big_bytes >> 20,
                                              ms(time.monotonic() - started),
                                              "" if box else " (no progress box was shown)"))
            self.pinged(run, "%s %d MiB" % (title.rstrip("."), self.big_bytes >> 20))
        finally:
            run.end()

    def case_copy(self):
        self.transfer("Copy To...", ["dest"], cancel=False)
        copied = os.path.join(self.folder("copy"), "dest", "big.bin")
        if os.path.getsize(copied) != self.big_bytes:
            raise RuntimeError("the copy has %d bytes" % os.path.getsize(copied))
        os.remove(copied)

    def case_move(self):
        moved = "/dev/shm/big.bin"
        if os.path.exists(moved):
            raise RuntimeError("%s is in the way" % moved)
        try:
            self.transfer("Move To...", ["/", "dev", "shm"], cancel=False)
            if os.path.getsize(moved) != self.big_bytes:
                raise RuntimeError("the move has %d bytes" % os.path.getsize(moved))
        finally:
            if os.path.exists(moved):
                shutil.move(moved, os.path.join(self.folder("copy"), "big.bin"))

    def case_cancel_copy(self):
        self.transfer("Copy To...", ["dest"], cancel=True)
        for leftover in os.listdir(os.path.join(self.folder("copy"), "dest")):
            os.remove(os.path.join(self.folder("copy"), "dest", leftover))

    def case_cancel_listing(self):
        mount = self.fuse()
        run = Run(self, self.root)
        try:
            run.main_window()
            run.settle(quiet=0.5)
            self.desk.activate(run.main)
            mount.block()
            run.open_in_tree(run.main, TREE, "slowmount")
            box = run.box(5)
            if box is None:
                raise NoProgressBox("no progress box within 5 s of a listing stuck on the mount")
            time.sleep(0.3)
            if not self.desk.activate(box):
                self.note("the progress box did not get the keyboard")
            pressed = time.monotonic()
            self.desk.key("Escape")
            deadline = time.monotonic() + 10
            while self.desk.event_time("unmap", box) is None and time.monotonic() < deadline:
                self.desk.pump(0.01)
            closed = self.desk.event_time("unmap", box)
            took = closed - pressed if closed else None
            self.record("cancel: listing stuck on a FUSE mount", took)
            self.note("blocked listing: Esc to the progress box closing: %s" % ms(took))
        finally:
            mount.release()
            run.end()

    # The run and the table.
    def run(self):
        for case in self.o.cases:
            print("%s:" % case, flush=True)
            for repetition in range(self.o.reps + 1):  # the first is a warm-up, not counted
                kept = {row: len(values) for row, values in self.results.items()}
                try:
                    self.case = case
                    getattr(self, "case_" + case.replace("-", "_"))()
                except (Unavailable, NoProgressBox) as why:
                    self.note("not measured: %s" % why)
                    self.notes.append("%s: not measured: %s" % (case, why))
                    break
                except RuntimeError as failure:
                    self.note("FAILED: %s" % failure)
                    self.notes.append("%s: FAILED: %s" % (case, failure))
                    break
                if repetition == 0:  # drop the warm-up's figures
                    for row in self.results:
                        del self.results[row][kept.get(row, 0):]
        if "startup-1m" in self.o.cases and self.o.limit_tool:
            self.limit(self.folder("files1m"))

    def table(self):
        print("\nBlack-box results (%d runs each after a warm-up; times from exec or from the "
              "key press)" % self.o.reps)
        if self.o.load:
            print("with %d CPU-bound processes through the start-up and ping cases" % self.o.load)
        limit = self.limits.get(self.folder("files1m"))
        print("%-58s %9s %9s %9s  %s" % ("", "median", "min", "max", "target / ratio"))
        for row, values in self.results.items():
            if not values:
                continue  # only the warm-up had it
            values = [v for v in values if v is not None]
            if not values:
                print("%-58s %9s" % (row, "none"))
                continue
            median = statistics.median(values)
            if row.startswith("pings never"):
                print("%-58s %9d %9d %9d  none" % (row, median, min(values), max(values)))
                continue
            if row.startswith("longest ping") or row.startswith("cancel"):
                verdict = "<= 100 ms: %s" % ("met" if max(values) <= TARGET else "MISSED")
            elif limit and "files:" in row and count_name(self.n1m) in row:
                verdict = "%.2f x L" % (median / limit)
            else:
                verdict = ""
            print("%-58s %9s %9s %9s  %s" % (row, ms(median), ms(min(values)), ms(max(values)),
                                             verdict))
        if limit:
            print("%-58s %9s" % ("L, %s files (tolvan-bench --limit)" % count_name(self.n1m),
                                 ms(limit)))
        for note in self.notes:
            print(note)

    def cleanup(self):
        if self.mount:
            self.mount.unmount()
        self.desk.close()
        if not self.o.keep:
            shutil.rmtree(self.root, ignore_errors=True)
        else:
            print("kept %s" % self.root)


class Load:
    """count processes that keep a core busy each (yes into /dev/null) until stopped."""

    def __init__(self, count):
        self.processes = [subprocess.Popen(["yes"], stdout=subprocess.DEVNULL,
                                           stdin=subprocess.DEVNULL) for _ in range(count)]

    def stop(self):
        for process in self.processes:
            process.kill()
            process.wait()
        self.processes = []


def settled_at(shots, index, final):
    """The time of the first picture from which every picture equals the final one."""
    at = None
    for shot in shots:
        if shot[index] == final:
            at = shot[0] if at is None else at
        else:
            at = None
    return at


def count_name(n):
    return "%dM" % (n // 1_000_000) if n >= 1_000_000 else "%dk" % (n // 1000)


def save_png(picture, path):
    """A picture as PNG through ImageMagick, to check the layout constants by eye."""
    if picture:
        width, height, data = picture
        subprocess.run(["convert", "-size", "%dx%d" % (width, height), "-depth", "8",
                        "bgra:-", path], input=data, check=False)


# -- setting up X ---------------------------------------------------------------------------------

def under_own_display(argv):
    """Runs this script again under a private Xvfb and session bus, with openbox."""
    command = ["xvfb-run", "-a", "-s", "-screen 0 1920x1200x24 -nolisten tcp -noreset",
               "dbus-run-session", "--", sys.executable, os.path.abspath(__file__),
               "--inner"] + argv
    return subprocess.run(command).returncode


def start_window_manager():
    manager = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    for _ in range(100):
        found = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                               capture_output=True, text=True).stdout
        if "window id" in found:
            return manager
        time.sleep(0.05)
    raise RuntimeError("openbox did not start")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--binary", required=True)
    parser.add_argument("--slowfs", default="")
    parser.add_argument("--limit-tool", default="")
    parser.add_argument("--dir", default=os.environ.get("TMPDIR") or "/var/tmp")
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--cases", default=",".join(CASES),
                        help="comma-separated, from: " + " ".join(CASES))
    parser.add_argument("--load", type=int, default=0, metavar="N",
                        help="N CPU-bound processes through the start-up and ping cases")
    parser.add_argument("--quick", action="store_true",
                        help="a tenth of the files, a 256 MiB file, 3 runs")
    parser.add_argument("--keep", action="store_true",
                        help="keep the folders and save the final pictures")
    parser.add_argument("--inner", action="store_true", help=argparse.SUPPRESS)
    options = parser.parse_args()
    if not options.inner and not os.environ.get("DISPLAY"):
        return under_own_display(sys.argv[1:])
    options.binary = os.path.abspath(options.binary)
    options.cases = [c for c in options.cases.split(",") if c]
    unknown = set(options.cases) - set(CASES)
    if unknown:
        parser.error("unknown cases: %s" % " ".join(sorted(unknown)))
    if options.quick and "--reps" not in sys.argv:
        options.reps = 3
    manager = start_window_manager() if options.inner else None
    bench = Bench(options)
    print("Tolvan File Explorer black-box benchmark: %s, data in %s, %s%s"
          % (options.binary, bench.root, "own Xvfb with openbox" if options.inner
             else "display " + os.environ["DISPLAY"],
             ", %d CPU-bound processes as load" % options.load if options.load else ""),
          flush=True)
    try:
        bench.run()
        bench.table()
    finally:
        bench.cleanup()
        if manager:
            manager.terminate()
            manager.wait()
    return 0


if __name__ == "__main__":
    sys.exit(main())
