"""Mounts and unmounts tolvan-slowfs for the end-to-end tests and the benchmark.

    mount = SlowMount(binary, backing, mountpoint, delay_ms=0, block_file=path)
    mount.mount()      # returns once the kernel lists the mount
    mount.block()      # every call on the mount now waits ...
    mount.release()    # ... until this
    mount.unmount()    # releases, ends the file system process, and detaches what is left

Nothing here touches the mount point itself once it is mounted (a stat of a blocked mount would
hang the caller); whether it is mounted is read from /proc/self/mountinfo.
"""

import os
import shutil
import signal
import subprocess
import time


class Unavailable(Exception):
    """FUSE cannot be used here; the text says why."""


def unavailable_reason(binary):
    """Why a FUSE mount cannot be made on this machine, or None when it can be tried."""
    if not binary or not os.access(binary, os.X_OK):
        return "tolvan-slowfs was not built (libfuse3-dev was missing when CMake ran)"
    if not os.path.exists("/dev/fuse"):
        return "/dev/fuse does not exist (no FUSE in this kernel or container)"
    try:
        os.close(os.open("/dev/fuse", os.O_RDWR))
    except OSError as error:
        return "/dev/fuse cannot be opened: %s" % error.strerror
    if os.geteuid() != 0 and shutil.which("fusermount3") is None:
        return "fusermount3 (Debian's fuse3) is not installed"
    return None


def mounted(mountpoint):
    """Whether the kernel lists a mount at the path (absolute, without symlinks)."""
    with open("/proc/self/mountinfo", "rb") as info:
        for line in info:
            fields = line.split(b" ")
            if len(fields) > 4 and _unescape(fields[4]) == os.fsencode(mountpoint):
                return True
    return False


def _unescape(field):
    # mountinfo writes space, tab, newline and backslash as \ooo.
    out, i = bytearray(), 0
    while i < len(field):
        if field[i:i + 1] == b"\\" and field[i + 1:i + 4].isdigit():
            out.append(int(field[i + 1:i + 4], 8))
            i += 4
        else:
            out.append(field[i])
            i += 1
    return bytes(out)


class SlowMount:
    def __init__(self, binary, backing, mountpoint, delay_ms=0, block_file=None, log=None):
        self.binary = binary
        self.backing = os.path.realpath(backing)
        self.mountpoint = os.path.realpath(mountpoint)
        self.delay_ms = delay_ms
        self.block_file = block_file
        self.log = log or self.mountpoint + ".log"
        self.process = None

    def mount(self, seconds=10):
        reason = unavailable_reason(self.binary)
        if reason:
            raise Unavailable(reason)
        os.makedirs(self.mountpoint, exist_ok=True)
        command = [self.binary, "--delay-ms", str(self.delay_ms)]
        if self.block_file:
            command += ["--block-file", self.block_file]
        name = os.path.basename(self.binary)
        command += [self.backing, self.mountpoint, "-f", "-o",
                    "fsname=%s,subtype=%s" % (name, name)]
        with open(self.log, "ab") as log:
            self.process = subprocess.Popen(command, stdout=log, stderr=subprocess.STDOUT,
                                            stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + seconds
        while not mounted(self.mountpoint):
            if self.process.poll() is not None:
                with open(self.log, errors="replace") as log:
                    said = log.read().strip().splitlines()
                raise Unavailable("mounting was refused: %s" % (said[-1] if said else
                                                                "no reason given"))
            if time.monotonic() > deadline:
                self.unmount()
                raise Unavailable("the mount did not appear within %ss" % seconds)
            time.sleep(0.02)
        return self

    def block(self):
        open(self.block_file, "w").close()

    def release(self):
        if self.block_file and os.path.exists(self.block_file):
            os.remove(self.block_file)

    def unmount(self):
        """Ends the file system process, which unmounts; a mount still in use by someone is
        detached (lazily unmounted) instead."""
        self.release()
        if self.process is not None and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if mounted(self.mountpoint):
            tool = ["umount", "-l"] if os.geteuid() == 0 else ["fusermount3", "-u", "-z"]
            subprocess.run(tool + [self.mountpoint], check=False, stderr=subprocess.DEVNULL)
        self.process = None

    def __enter__(self):
        return self.mount()

    def __exit__(self, *exc):
        self.unmount()
