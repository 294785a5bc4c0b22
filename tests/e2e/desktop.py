"""A throw-away X desktop for end-to-end tests: Xvfb, a window manager
(openbox) and a tray host (trayer), driven with xdotool and judged with
xwininfo, xprop and ImageMagick. Every process started here is ended again
by its pid, also when a test fails or is interrupted."""

import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time


class Failure(Exception):
    pass


def wait_for(predicate, timeout, what, interval=0.1):
    """Polls until predicate() gives something true; returns it."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


class Desktop:
    def __init__(self, width=800, height=600, wm=True, tray=True, tray_height=32):
        self.width, self.height = width, height
        self.wm, self.tray = wm, tray
        self.tray_height = tray_height
        self.procs = []  # (name, Popen), in start order
        self.closers = []  # called on close, before the processes end
        self.root = tempfile.mkdtemp(prefix="vxstat-e2e-")
        self.env = None

    # ---- processes --------------------------------------------------------

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def _start(self):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "%dx%dx24" % (self.width, self.height),
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(("Xvfb", xvfb))
        os.close(write_fd)
        display = b""
        deadline = time.monotonic() + 20
        while not display.endswith(b"\n"):
            if time.monotonic() > deadline or xvfb.poll() is not None:
                raise Failure("Xvfb did not start")
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            display += chunk
        os.close(read_fd)
        runtime = os.path.join(self.root, "runtime")
        os.mkdir(runtime, 0o700)
        self.env = dict(os.environ)
        self.env.update({
            "DISPLAY": ":" + display.decode().strip(),
            "XDG_RUNTIME_DIR": runtime,
            "HOME": self.root,
            # No session bus: Qt takes the XEmbed tray, as it does under trayer.
            "DBUS_SESSION_BUS_ADDRESS": "disabled:",
            "QT_QPA_PLATFORM": "xcb",
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
        })
        self.env.pop("SESSION_MANAGER", None)
        wait_for(lambda: self.x(["xdpyinfo"], check=False).returncode == 0, 10, "the X server")
        if self.wm:
            self.spawn("openbox", ["openbox", "--sm-disable"])
            wait_for(lambda: self.x(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False)
                     .stdout.find("window id") >= 0, 10, "the window manager")
        if self.tray:
            self.start_tray()

    def start_tray(self):
        """The XEmbed tray host, a panel at the bottom right."""
        self.spawn("trayer", ["trayer", "--edge", "bottom", "--align", "right", "--height", str(self.tray_height),
                              "--widthtype", "request", "--SetDockType", "true", "--SetPartialStrut", "true",
                              "--transparent", "false", "--tint", "0x606060", "--expand", "false"])
        wait_for(lambda: self.search(name="^panel$"), 10, "the tray host")

    def start_status_notifier_host(self):
        """A StatusNotifierItem host (as KDE Plasma and GNOME's AppIndicator
        extension are) on a private session bus: the watcher, then a bar at
        the bottom right that draws the items and their menus itself."""
        self.start_session_bus()
        self.spawn("watcher", ["status-notifier-watcher"])
        watcher = ["dbus-send", "--session", "--print-reply", "--dest=org.kde.StatusNotifierWatcher",
                   "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties.Get",
                   "string:org.kde.StatusNotifierWatcher", "string:IsStatusNotifierHostRegistered"]
        wait_for(lambda: self.x(watcher, check=False).returncode == 0, 10, "the StatusNotifierItem watcher")
        self.spawn("sni_host", ["gtk-sni-tray-standalone", "--bottom", "--end", "--size", "32"])
        wait_for(lambda: "boolean true" in self.x(watcher, check=False).stdout, 10, "the host to register")

    def spawn(self, name, argv, cwd=None, pipes=False, env=None):
        """Starts a process on this desktop; with pipes, its standard input
        and output are pipes for talking to it (see read_line); env adds to
        the desktop's environment for this process only."""
        env = dict(self.env, **(env or {}))
        if pipes:
            proc = subprocess.Popen(argv, env=env, cwd=cwd, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                    stderr=open(os.path.join(self.root, name + ".log"), "ab"), bufsize=0)
        else:
            proc = subprocess.Popen(argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                    stdout=open(os.path.join(self.root, name + ".log"), "ab"),
                                    stderr=subprocess.STDOUT)
        self.procs.append((name, proc))
        return proc

    def read_line(self, proc, timeout, what):
        """One line of a piped process's output."""
        line = b""
        deadline = time.monotonic() + timeout
        while not line.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([proc.stdout], [], [], left)[0]:
                raise Failure("timed out waiting for " + what)
            chunk = proc.stdout.read(1)
            if not chunk:
                raise Failure("no more output while waiting for " + what)
            line += chunk
        return line.decode().strip()

    def start_session_bus(self):
        """A private D-Bus session bus for the processes started after this."""
        bus = self.spawn("dbus", ["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"],
                         pipes=True)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.read_line(bus, 10, "the session bus")

    def stop(self, proc, timeout=5):
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait(5)

    def close(self):
        for closer in reversed(self.closers):
            try:
                closer()
            except Exception:
                pass
        self.closers = []
        for name, proc in reversed(self.procs):
            try:
                self.stop(proc)
            except Exception:
                pass
        self.procs = []
        if not os.environ.get("VXSTAT_E2E_KEEP"): shutil.rmtree(self.root, ignore_errors=True)

    def log(self, name):
        try:
            with open(os.path.join(self.root, name + ".log"), errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    # ---- X queries and input ------------------------------------------------

    def x(self, argv, check=True, timeout=15):
        try:
            result = subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("%s did not finish" % " ".join(argv))
        if check and result.returncode != 0:
            raise Failure("%s failed: %s" % (" ".join(argv), result.stderr.strip()))
        return result

    def search(self, name=None, classname=None, visible=False):
        argv = ["xdotool", "search"]
        if visible:
            argv.append("--onlyvisible")
        if name is not None:
            argv += ["--name", name]
        if classname is not None:
            argv += ["--classname", classname]
        out = self.x(argv, check=False).stdout
        return [int(w) for w in out.split()]

    def info(self, wid):
        """Absolute position, size and map state of a window."""
        out = self.x(["xwininfo", "-id", str(wid)], check=False).stdout

        def field(label):
            m = re.search(r"^\s*" + label + r":\s*(\S+)", out, re.M)
            return m.group(1) if m else None

        if not out:
            return None
        return {
            "x": int(field("Absolute upper-left X")), "y": int(field("Absolute upper-left Y")),
            "w": int(field("Width")), "h": int(field("Height")), "map": field("Map State"),
            "override": field("Override Redirect State") == "yes",
        }

    def viewable(self, wid):
        i = self.info(wid)
        return bool(i) and i["map"] == "IsViewable"

    def prop(self, wid, name):
        return self.x(["xprop", "-id", str(wid), name], check=False).stdout

    def click(self, x, y, button, repeat=1):
        # (--sync would wait for ever when the pointer is there already)
        self.x(["xdotool", "mousemove", str(x), str(y)])
        argv = ["xdotool", "click"]
        if repeat > 1:
            argv += ["--repeat", str(repeat), "--delay", "120"]
        self.x(argv + [str(button)])

    def key(self, *keys):
        self.x(["xdotool", "key", "--delay", "60"] + list(keys))

    def popup_menus(self, classname, exclude=()):
        """Shown popup menus of a program: its override-redirect top-level
        windows (the tray icon, embedded in the tray, is left out by the caller)."""
        menus = []
        for wid in self.search(classname=classname, visible=True):
            if wid in exclude:
                continue
            i = self.info(wid)
            if i and i["override"] and i["map"] == "IsViewable":
                menus.append(wid)
        return menus

    # ---- pictures -----------------------------------------------------------

    def screenshot(self, path):
        self.x(["import", "-window", "root", path])
        return path

    def pixels(self, png, x, y, w, h):
        """Rows of (r, g, b) of a part of a picture."""
        out = self.x(["convert", png, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                      "-depth", "8", "txt:-"]).stdout
        rows = [[None] * w for _ in range(h)]
        for line in out.splitlines():
            m = re.match(r"(\d+),(\d+): \((\d+),(\d+),(\d+)", line)
            if m:
                px, py, r, g, b = (int(v) for v in m.groups())
                rows[py][px] = (r, g, b)
        return rows
