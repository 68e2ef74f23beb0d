"""Runs the real programs on a private X server and drives them as a person would.

A Session owns everything it starts: an Xvfb display, the accessibility bus,
`devsim serve` and the programs. Controls are found on the accessibility bus
(AT-SPI) by skin key (their description) or name, clicked in their centre with
xdotool and photographed with ImageMagick's `import`; `devsim trace` tells what
reached the controllers. Every wait is bounded and everything is ended on the
way out, also after a failure.

A test script calls `main(test)`: it skips (exit 77) when a tool is missing,
runs itself again inside `dbus-run-session`, and gives the test a Session.

    def test(session):
        session.start_devsim(["standard", "led5,name=Top card"])
        app = session.start_program("lumenstra")
        window = session.wait_for_window(app, "Ostmar Pellan KV 6000 Series_RGB_LED")
        session.trace(clear=True)
        session.click(session.find(window, key="BUTTON_APPLY"))
        session.wait_for_trace(lambda records: any(r.cmd == "51" for r in records), "a setting written")
"""

import collections
import ctypes
import ctypes.util
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
INSIDE_MARK = "LUMENSTRA_E2E_INSIDE_SESSION"
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
TOOLS = ["Xvfb", "dbus-run-session", "dbus-send", "xdotool", "import"]

TraceRecord = collections.namedtuple("TraceRecord", "device pid cmd key index data")


class Failure(Exception):
    """A step of the test did not happen as expected."""


class Unavailable(Exception):
    """The machine lacks what the test needs: the test is skipped."""


def wait_until(condition, timeout, what, interval=0.1):
    """Polls condition() until it returns something true, at most timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure("timed out after %ss waiting for %s" % (timeout, what))
        time.sleep(interval)


def missing_tools():
    missing = [tool for tool in TOOLS if shutil.which(tool) is None]
    if not os.access(BUS_LAUNCHER, os.X_OK):
        missing.append(BUS_LAUNCHER)
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        missing.append("python3-pyatspi")
    return missing


class Session:
    def __init__(self, bin_dir, artifacts, extra=(), screen="1920x1080x24"):
        self.bin_dir = bin_dir
        self.artifacts = artifacts
        self.extra = list(extra)  # further command-line arguments of the test
        self.screen = screen
        self.root = tempfile.mkdtemp(prefix="lumenstra-e2e-")
        self.env = dict(os.environ)
        self.processes = []  # (name, Popen), ended in reverse order
        self.devsim_socket = None
        self.shots = 0

    # ---- set-up and clean-up

    def __enter__(self):
        try:
            self._isolate()
            self._start_display()
            self._start_accessibility_bus()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def _isolate(self):
        for name in ("home", "config", "data", "cache", "runtime"):
            os.makedirs(os.path.join(self.root, name), mode=0o700)
        self.env.update(
            HOME=os.path.join(self.root, "home"),
            XDG_CONFIG_HOME=os.path.join(self.root, "config"),
            XDG_DATA_HOME=os.path.join(self.root, "data"),
            XDG_CACHE_HOME=os.path.join(self.root, "cache"),
            XDG_RUNTIME_DIR=os.path.join(self.root, "runtime"),
            QT_QPA_PLATFORM="xcb",
            QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
        )
        for inherited in (INSIDE_MARK, "AT_SPI_BUS_ADDRESS", "LUMENSTRA_HID"):
            self.env.pop(inherited, None)
        # Qt's accessibility bridge runs a D-Bus thread inside Qt, whose locks a
        # ThreadSanitizer build cannot see; races in our own code are still found.
        self.env["TSAN_OPTIONS"] = (self.env.get("TSAN_OPTIONS", "") + " ignore_noninstrumented_modules=1").strip()
        self.env.pop("LUMENSTRA_SCREENSHOTS", None)
        self.env.pop("LUMENSTRA_AUTOCLOSE_MS", None)
        os.makedirs(self.artifacts, exist_ok=True)

    def _start_display(self):
        # Xvfb picks a free display itself and writes its number to the pipe;
        # without -noreset it resets when its last client leaves, refusing new ones meanwhile.
        read_end, write_end = os.pipe()
        try:
            xvfb = self._spawn("Xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.screen,
                                        "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,))
        finally:
            os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = self._read_line(pipe, 10)
        if not number.strip().isdigit():
            raise Unavailable("Xvfb did not start a display (exit %s)" % xvfb.poll())
        self.env["DISPLAY"] = ":" + number.strip()
        os.environ["DISPLAY"] = self.env["DISPLAY"]
        probe = ["xdotool", "getdisplaygeometry"]
        try:
            wait_until(lambda: subprocess.run(probe, env=self.env, capture_output=True, timeout=5).returncode == 0,
                       10, "the display to take clients")
        except Failure as failure:
            raise Unavailable(str(failure))

    @staticmethod
    def _read_line(pipe, timeout):
        ready, _, _ = select.select([pipe], [], [], timeout)
        return pipe.readline() if ready else ""

    def _start_accessibility_bus(self):
        self._spawn("at-spi-bus-launcher", [BUS_LAUNCHER, "--launch-immediately"])
        # Asked without activating it, so that the bus does not start a second launcher.
        ask = ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
               "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"]

        def owned():
            done = subprocess.run(ask, env=self.env, capture_output=True, text=True, timeout=5)
            return done.returncode == 0 and "boolean true" in done.stdout
        try:
            wait_until(owned, 15, "the accessibility bus")
        except Failure as failure:
            raise Unavailable(str(failure))
        # The AT-SPI client library reads the display and the session bus from the environment.
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi
        Atspi.set_timeout(3000, 10000)

    def close(self):
        for name, process in reversed(self.processes):
            self._end(process)
        self.processes = []
        shutil.rmtree(self.root, ignore_errors=True)

    @staticmethod
    def _end(process):
        if process.poll() is not None:
            return
        # Each child leads its own process group: the group holds what it started.
        for sig, grace in ((signal.SIGTERM, 5), (signal.SIGKILL, 5)):
            try:
                os.killpg(process.pid, sig)
            except ProcessLookupError:
                return
            try:
                process.wait(grace)
                return
            except subprocess.TimeoutExpired:
                pass

    def _path(self, name, suffix):
        return os.path.join(self.artifacts, os.path.basename(name) + suffix)

    def _spawn(self, name, argv, stdout=False, **options):
        """Starts argv with the session's environment; stderr (and stdout unless kept
        apart with stdout=True) goes to NAME.log in the artifacts folder."""
        log = open(self._path(name, ".log"), "wb")
        out = open(self._path(name, ".out"), "wb") if stdout else log
        try:
            process = subprocess.Popen(argv, env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=log,
                                       start_new_session=True, **options)
        finally:
            log.close()
            out.close()
        self.processes.append((name, process))
        return process

    def _name_of(self, process):
        for name, started in self.processes:
            if started is process:
                return name
        raise ValueError("not a process of this session")

    def log_tail(self, process, lines=5):
        """The last lines the process wrote to its log."""
        with open(self._path(self._name_of(process), ".log"), errors="replace") as log:
            return " | ".join(log.read().splitlines()[-lines:])

    def output_of(self, process):
        """What a process started with stdout=True printed."""
        with open(self._path(self._name_of(process), ".out"), errors="replace") as out:
            return out.read()

    # ---- devsim

    def devsim(self, *arguments, timeout=10):
        if not self.devsim_socket:
            raise Failure("devsim is not running")
        command = [os.path.join(self.bin_dir, "devsim"), arguments[0], "--socket", self.devsim_socket]
        command += list(arguments[1:])
        done = subprocess.run(command, env=self.env, capture_output=True, text=True, timeout=timeout)
        if done.returncode != 0:
            raise Failure("devsim %s failed: %s" % (arguments[0], done.stderr.strip()))
        return done.stdout

    def start_devsim(self, devices):
        """Starts `devsim serve` with the devices as its --device words describe them
        ("standard", "led5,name=Top card"); programs started later reach them."""
        self.devsim_socket = os.path.join(self.env["XDG_RUNTIME_DIR"], "devsim.sock")
        argv = [os.path.join(self.bin_dir, "devsim"), "serve", "--socket", self.devsim_socket]
        for device in devices:
            argv += ["--device", device]
        serve = self._spawn("devsim", argv)

        def listed():
            if serve.poll() is not None:
                raise Failure("devsim serve ended with %s" % serve.returncode)
            if not os.path.exists(self.devsim_socket):
                return None
            try:
                return len(self.devsim("list").splitlines()) == len(devices)
            except (Failure, subprocess.TimeoutExpired):
                return None
        wait_until(listed, 15, "devsim to list %d controllers" % len(devices))
        self.env["LUMENSTRA_HID"] = "devsim:" + self.devsim_socket

    def trace(self, clear=False):
        """The records the controllers received, oldest first; clear empties the trace."""
        text = self.devsim("trace", *(["--clear"] if clear else []))
        records = []
        for line in text.splitlines():
            fields = line.split()
            if len(fields) == 6:
                records.append(TraceRecord(*fields))
        return records

    def save_trace(self, label):
        """Writes the trace as devsim prints it into the artifacts folder; returns its path."""
        path = os.path.join(self.artifacts, label + ".txt")
        with open(path, "w") as out:
            out.write(self.devsim("trace"))
        return path

    def wait_for_trace(self, condition, what, timeout=15):
        """Waits until condition(records) holds for the trace; returns the records."""
        seen = []

        def holds():
            seen[:] = self.trace()
            return condition(seen)
        wait_until(holds, timeout, what, interval=0.2)
        return list(seen)

    # ---- programs

    def start_program(self, name, *arguments, stdout=False):
        """Starts a program of the bin folder (or at an absolute path) with the arguments."""
        return self._spawn(name, [os.path.join(self.bin_dir, name)] + list(arguments), stdout=stdout)

    def wait_for_exit(self, process, timeout=15):
        try:
            return process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end within %ss" % timeout)

    # ---- the accessibility bus

    @staticmethod
    def _pyatspi():
        import pyatspi
        return pyatspi

    @staticmethod
    def _bus_errors():
        from gi.repository import GLib
        return GLib.Error

    def application_of(self, process):
        desktop = self._pyatspi().Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.get_process_id() == process.pid:
                return app
        return None

    def wait_for_window(self, process, title, timeout=30):
        """The program's top-level window with this accessible name (its title), once it is showing."""
        def window():
            if process.poll() is not None:
                raise Failure("the program ended with %s before its window showed: %s"
                              % (process.returncode, self.log_tail(process)))
            app = self.application_of(process)
            if app is None:
                return None
            for i in range(app.childCount):
                child = app.getChildAtIndex(i)
                if child is not None and child.name == title and self._showing(child):
                    return child
            return None
        return wait_until(self._tolerant(window), timeout, "the window %r on the accessibility bus" % title,
                          interval=0.25)

    def _tolerant(self, look):
        # An object can leave the bus between two questions; that look just finds nothing.
        def tolerant():
            try:
                return look()
            except self._bus_errors():
                return None
        return tolerant

    def _showing(self, accessible):
        return accessible.getState().contains(self._pyatspi().STATE_SHOWING)

    def find(self, within, key=None, name=None, timeout=10, limit=5000):
        """The first showing accessible below `within` whose description is the skin key `key`
        and/or whose name is `name`."""
        if key is None and name is None:
            raise ValueError("find needs a key or a name")

        def matches(accessible):
            return ((key is None or accessible.description == key) and
                    (name is None or accessible.name == name) and self._showing(accessible))

        def search():
            queue = collections.deque([within])
            visited = 0
            while queue and visited < limit:
                accessible = queue.popleft()
                visited += 1
                if accessible is not within and matches(accessible):
                    return accessible
                for i in range(accessible.childCount):
                    child = accessible.getChildAtIndex(i)
                    if child is not None:
                        queue.append(child)
            return None
        return wait_until(self._tolerant(search), timeout, "a control with key %r and name %r" % (key, name),
                          interval=0.25)

    def extents(self, accessible):
        """(x, y, width, height) on the screen."""
        box = accessible.queryComponent().getExtents(self._pyatspi().DESKTOP_COORDS)
        return box.x, box.y, box.width, box.height

    # ---- mouse, keyboard, screen

    def xdotool(self, *arguments):
        done = subprocess.run(["xdotool"] + [str(a) for a in arguments], env=self.env, capture_output=True,
                              text=True, timeout=10)
        if done.returncode != 0:
            raise Failure("xdotool %s failed: %s" % (" ".join(map(str, arguments)), done.stderr.strip()))
        return done.stdout

    def click(self, accessible, button=1):
        x, y, width, height = self.extents(accessible)
        if width <= 0 or height <= 0:
            raise Failure("%r has no place on the screen to click" % accessible.name)
        self.xdotool("mousemove", "--sync", x + width // 2, y + height // 2)
        self.xdotool("click", button)

    def key(self, *keys):
        self.xdotool("key", "--clearmodifiers", *keys)

    def type_text(self, text):
        self.xdotool("type", "--delay", 20, text)

    def window_ids(self, process, title):
        """The X windows of the program with this title."""
        done = subprocess.run(["xdotool", "search", "--pid", str(process.pid)], env=self.env,
                              capture_output=True, text=True, timeout=10)
        ids = []
        for window in done.stdout.split():
            if self.xdotool("getwindowname", window).strip() == title:
                ids.append(int(window))
        return ids

    def close_window(self, process, title):
        """Asks the window to close as a window manager's close button does (WM_DELETE_WINDOW)."""
        ids = self.window_ids(process, title)
        if not ids:
            raise Failure("no X window titled %r" % title)
        for window in ids:
            _send_delete_window(self.env["DISPLAY"], window)

    def screenshot(self, label, accessible=None):
        """Saves the screen, or just the accessible's place on it, as a PNG in the
        artifacts folder; returns its path."""
        self.shots += 1
        path = os.path.join(self.artifacts, "%02d-%s.png" % (self.shots, label))
        command = ["import", "-window", "root"]
        if accessible is not None:
            x, y, width, height = self.extents(accessible)
            command += ["-crop", "%dx%d+%d+%d" % (width, height, x, y), "+repage"]
        subprocess.run(command + [path], env=self.env, check=True, capture_output=True, timeout=20)
        return path


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _ClientMessage), ("pad", ctypes.c_long * 24)]


def _send_delete_window(display_name, window):
    # There is no window manager on Xvfb, so the close request is sent by hand.
    x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(_XEvent)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(display_name.encode())
    if not display:
        raise Failure("cannot open display %s" % display_name)
    try:
        event = _XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = window
        event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
        event.xclient.data[1] = 0  # CurrentTime
        x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
        x11.XFlush(display)
    finally:
        x11.XCloseDisplay(display)


def main(test, time_limit=150):
    """Runs test(session) with the command line script BIN_DIR ARTIFACTS [EXTRA...];
    the extra arguments are session.extra. Exit 0 passed, 1 failed, 77 skipped."""
    if len(sys.argv) < 3:
        print("usage: %s BIN_DIR ARTIFACTS [EXTRA...]" % sys.argv[0], file=sys.stderr)
        return 2
    bin_dir, artifacts, extra = sys.argv[1], sys.argv[2], sys.argv[3:]
    missing = missing_tools()
    if missing:
        print("SKIP: missing " + ", ".join(missing))
        return SKIP
    if os.environ.get(INSIDE_MARK) != "1":
        # Again, inside a session bus of its own that ends with the test.
        command = ["dbus-run-session", "--", sys.executable, os.path.abspath(sys.argv[0])] + sys.argv[1:]
        child = subprocess.Popen(command, env=dict(os.environ, **{INSIDE_MARK: "1"}), start_new_session=True)

        def pass_on(signum, _frame):
            os.killpg(child.pid, signum)
        signal.signal(signal.SIGTERM, pass_on)
        signal.signal(signal.SIGINT, pass_on)
        try:
            return child.wait(time_limit + 30)
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, signal.SIGKILL)
            print("FAIL: the test did not end within %ss" % (time_limit + 30))
            return 1

    def out_of_time(signum, _frame):
        if signum == signal.SIGALRM:
            raise Failure("the test did not end within %ss" % time_limit)
        raise Failure("stopped by signal %d" % signum)
    signal.signal(signal.SIGALRM, out_of_time)
    signal.signal(signal.SIGTERM, out_of_time)
    signal.signal(signal.SIGINT, out_of_time)
    signal.alarm(time_limit)
    started = time.monotonic()
    try:
        with Session(bin_dir, artifacts, extra) as session:
            test(session)
    except Unavailable as unavailable:
        print("SKIP: %s" % unavailable)
        return SKIP
    except Failure as failure:
        print("FAIL: %s (artifacts in %s)" % (failure, artifacts))
        return 1
    finally:
        signal.alarm(0)
    print("PASS in %.1fs (artifacts in %s)" % (time.monotonic() - started, artifacts))
    return 0
