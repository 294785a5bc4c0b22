#!/usr/bin/env python3
"""End-to-end tests of the real vxstat program on an X desktop with a window
manager and a tray host, driven from outside like a user would.

    e2e_vxstat.py PATH/TO/vxstat CASE
    e2e_vxstat.py PATH/TO/vxstat screenshot --screenshot docs/screenshot.png
    e2e_vxstat.py PATH/TO/vxstat screenshot --screenshot docs/screenshot-200.png --scale 2

Runs inside a private network namespace (it re-runs itself under
scripts/in-private-net when it is not in one); the program only ever talks to
127.0.0.N addresses. Every process it starts is ended by pid."""

import argparse
import json
import os
import re
import shutil
import signal
import statistics
import stat
import subprocess
import sys
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import Desktop, Failure, wait_for  # noqa: E402
from xwatch import CaptionRecorder, followed, ping_latencies  # noqa: E402

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
GREEN = (135, 255, 29)
WHITE = (255, 255, 255)
# The monitor, whatever its caption says (with no router it soon says so).
MONITOR_TITLE = "^Vexlo Router Stats"
TITLE = "Vexlo Router Stats"
CONNECTING = TITLE + " - Connecting"
NO_ANSWER = TITLE + " - The router does not answer"
LOGIN = [CONNECTING, TITLE + " - Sent User", TITLE + " - Sent Password", TITLE]
# How long a caption may take to come on a busy machine.
CAPTION_WAIT = 60


def in_private_network():
    # /proc/self/net follows this process's namespace (/sys/class/net does not).
    with open("/proc/self/net/dev") as f:
        names = [line.split(":")[0].strip() for line in f.readlines()[2:]]
    return names == ["lo"]


# ---- the program in a folder of its own ----------------------------------------

def program_folder(desktop, vxstat, ip=None, stats=None):
    folder = os.path.join(desktop.root, "program")
    os.mkdir(folder)
    shutil.copy2(vxstat, os.path.join(folder, "vxstat"))
    if ip:
        with open(os.path.join(folder, "boot.ini"), "w") as f:
            f.write("[Settings]\nEnabled=True\nIP=%s\nPassword=secret\nSpeed=512\n9106router=No\n" % ip)
    if stats:
        with open(os.path.join(folder, "userstats.txt"), "w") as f:
            f.write(stats)
    return folder


def totals(incoming, outgoing):
    return "[TotalStats]\nEnabled=True\nDate=1/2/2026 3:04:05 AM\nIncoming=%s\nOutGoing=%s\n" % (incoming, outgoing)


def read(folder, name):
    with open(os.path.join(folder, name)) as f:
        return f.read()


def start(desktop, folder, *args, env=None):
    return desktop.spawn("vxstat", [os.path.join(folder, "vxstat")] + list(args), cwd=folder, env=env)


def record_captions(desktop, wid):
    """Every caption of the window from now on (see xwatch.CaptionRecorder)."""
    recorder = CaptionRecorder(desktop.env["DISPLAY"], wid)
    desktop.closers.append(recorder.close)
    return recorder


def wait_caption(recorder, caption, what, since=0, timeout=CAPTION_WAIT):
    at = recorder.wait(caption, timeout, since)
    if at is None:
        raise Failure("the caption %r did not come (%s); captions: %s" % (caption, what, recorder.seen()))
    return at


def wait_window(desktop, title, proc):
    def found():
        if proc.poll() is not None:
            raise Failure("vxstat ended early (%s): %s" % (proc.returncode, desktop.log("vxstat")))
        return desktop.search(name=title, visible=True)
    return wait_for(found, 30, "the window " + title)[0]


def wait_end(desktop, proc, what):
    wait_for(lambda: proc.poll() is not None, 20, what)
    if proc.returncode != 0:
        raise Failure("vxstat ended with %s: %s" % (proc.returncode, desktop.log("vxstat")))


def expect(condition, message):
    if not condition:
        raise Failure(message)


# ---- the tray icon ---------------------------------------------------------------

def tray_icon(desktop):
    """The program's icon window inside the tray host's panel."""
    panels = desktop.search(name="^panel$")
    panel = desktop.info(panels[0]) if panels else None
    if not panel:
        return None
    for wid in desktop.search(classname="vxstat"):
        i = desktop.info(wid)
        if (i and i["map"] == "IsViewable" and i["w"] <= 96 and i["h"] <= 96
                and panel["x"] <= i["x"] < panel["x"] + panel["w"] and panel["y"] <= i["y"] < panel["y"] + panel["h"]):
            i["id"] = wid
            return i
    return None


def centre(i):
    return i["x"] + i["w"] // 2, i["y"] + i["h"] // 2


def check_lowest_level(desktop, png, icon):
    """White with a green bar 4/32 of the picture high at the bottom: the
    lowest level, whatever size the tray draws it at."""
    rows = desktop.pixels(png, icon["x"], icon["y"], icon["w"], icon["h"])

    def kind(p):
        if p == WHITE or min(p) >= 250:
            return "white"
        if abs(p[0] - GREEN[0]) <= 3 and p[1] >= 250 and abs(p[2] - GREEN[2]) <= 3:
            return "green"
        if p[1] >= 250 and p[0] >= GREEN[0] and p[2] >= GREEN[2]:
            return "blend"
        return "background"

    middle = icon["w"] // 2
    kinds = [kind(row[middle]) for row in rows]
    picture = [k for k in kinds if k != "background"]
    expect(len(picture) >= 16, "no picture in the tray icon: %s" % kinds)
    expect(picture[0] == "white", "the icon's top row is not white: %s" % kinds)
    expect(picture[-1] == "green", "the icon's bottom row is not green: %s" % kinds)
    size = len(picture)
    green_rows = picture.count("green")
    expect(abs(green_rows - size * 4 / 32) <= 1.0,
           "%d green rows in a %d-row icon; the lowest level has %.1f" % (green_rows, size, size * 4 / 32))
    expect(picture.count("white") >= size // 2, "the icon is not mostly white: %s" % kinds)
    bottom = rows[kinds.index("green") if "green" in kinds else 0]
    icon_columns = [p for p in bottom if kind(p) != "background"]
    expect(all(kind(p) == "green" for p in icon_columns), "the bar does not span the icon")


def open_tray_menu(desktop, icon):
    """Right-clicks the tray icon until its menu shows. Qt declares the
    program inactive 100 ms after its focused window goes (hidden to the
    tray), and closing popups is what it does then: a menu opened by a click
    within that moment vanishes at once. A person cannot click so soon after
    minimising; this script can, on a busy machine, so it asks again."""
    x, y = centre(icon)
    menus = lambda: desktop.popup_menus("vxstat", exclude=(icon["id"],))
    for attempt in range(3):
        desktop.click(x, y, 3)
        try:
            return wait_for(menus, 5, "the tray menu")[0]
        except Failure:
            if attempt == 2:
                raise


def withdrawn(desktop, wid):
    state = desktop.prop(wid, "WM_STATE")
    return not desktop.viewable(wid) and "Iconic" not in state


# ---- the cases -----------------------------------------------------------------

def case_tray(vxstat):
    """The tray icon: its picture, its menu, hiding to it and back, and
    "&Close" from its menu."""
    with Desktop() as d:
        folder = program_folder(d, vxstat, ip="127.0.0.61", stats=totals("5000.7", "7000"))
        proc = start(d, folder)
        window = wait_window(d, MONITOR_TITLE, proc)
        icon = wait_for(lambda: tray_icon(d), 30, "the tray icon")
        # Let the first paints settle before judging pixels.
        png = os.path.join(d.root, "desktop.png")
        wait_for(lambda: _lowest_level_shown(d, png, icon), 10, "the icon's picture")
        check_lowest_level(d, png, icon)

        # A right-button press opens the menu, once.
        open_tray_menu(d, icon)
        expect(len(d.popup_menus("vxstat", exclude=(icon["id"],))) == 1, "more than one menu opened")
        d.key("Escape")
        wait_for(lambda: not d.popup_menus("vxstat", exclude=(icon["id"],)), 10, "the menu to close")

        # Minimising hides the window (not even iconified); a double-click
        # on the icon brings it back.
        d.x(["xdotool", "windowminimize", str(window)])
        wait_for(lambda: withdrawn(d, window), 10, "the window to leave the screen")
        x, y = centre(icon)
        d.click(x, y, 1, repeat=2)
        wait_for(lambda: d.viewable(window), 10, "the window to come back")
        expect("Iconic" not in d.prop(window, "WM_STATE"), "the window came back minimised")

        # "&Close" ends the program, which saves its totals.
        open_tray_menu(d, icon)
        d.key("c")
        wait_end(d, proc, "the program to end after &Close")
        stats = read(folder, "userstats.txt")
        expect("Incoming= 5000\n" in stats and "OutGoing= 7000\n" in stats, "totals not saved:\n" + stats)
        wait_for(lambda: tray_icon(d) is None, 10, "the icon to leave the tray")


def _lowest_level_shown(d, png, icon):
    d.screenshot(png)
    try:
        check_lowest_level(d, png, icon)
        return True
    except Failure:
        return False


def make_screenshot(vxstat, path, scale=1):
    """Not a test: the README's picture, the monitor and its tray icon
    following a simulated router, on a small screen; at a scale of 2 the
    program and the tray are twice as large, as on a high-density screen."""
    with Desktop(420 * scale, 110 * scale, tray_height=32 * scale) as d:
        router = d.spawn("simrouter", [sys.executable, os.path.join(REPO, "tools", "simrouter.py"), "--address",
                                       "127.0.0.1", "--no-console", "--rx-rate", "150000", "--tx-rate", "21000"],
                         pipes=True)
        line = d.read_line(router, 10, "the simulated router")
        expect(line.startswith("simrouter ready web="), "the simulated router did not start: " + line)
        web = line.split("web=")[1].split()[0]
        folder = program_folder(d, vxstat)
        with open(os.path.join(folder, "boot.ini"), "w") as f:
            f.write("[Settings]\nEnabled=True\nIP=%s\nPassword=secret\nSpeed=2meg\n9106router=No\n" % web)
        proc = start(d, folder, env={"QT_SCALE_FACTOR": str(scale)} if scale != 1 else None)
        wait_window(d, MONITOR_TITLE, proc)
        wait_for(lambda: tray_icon(d), 30, "the tray icon")
        time.sleep(5)  # a few readings
        d.screenshot(os.path.abspath(path))


# ---- against the simulated router ----------------------------------------------

RX_RATE, TX_RATE = 115000, 20000  # bytes a second: mid-way through level 3 of 8 on the 256k/s scale


def start_router(d, address, mode, *extra, rx_rate=RX_RATE, tx_rate=TX_RATE):
    """The simulated router; returns its web server's HOST:PORT (the page,
    and /simctl to steer it). The console listens on port 23."""
    argv = [sys.executable, os.path.join(REPO, "tools", "simrouter.py"), "--address", address,
            "--rx-start", "4294000000", "--tx-start", "2147483000",
            "--rx-rate", str(rx_rate), "--tx-rate", str(tx_rate)]
    argv += {"console": ["--no-web", "--console-port", "23", "--iac"],
             # The console, and the web server only to steer the router.
             "console_steered": ["--console-port", "23", "--iac"],
             "web": ["--no-console"],
             # The page on port 80 and the console on 23, both at the router's plain address.
             "web_port23": ["--web-port", "80", "--console-port", "23"],
             # A 2 Mbit/s line, 250 kB/s in and 31.25 kB/s out at the ends of the bars.
             "upnp": ["--no-web", "--no-console", "--upnp", "--link-down", "2000000", "--link-up", "250000"]}[mode]
    router = d.spawn("simrouter", argv + list(extra), pipes=True)
    line = d.read_line(router, 10, "the simulated router")
    expect(line.startswith("simrouter ready"), "the simulated router did not start: " + line)
    return line.split("web=")[1].split()[0]


def simctl(web, query=""):
    """Steers the simulated router; returns its state."""
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    with opener.open("http://%s/simctl?%s" % (web, query), timeout=10) as reply:
        return json.load(reply)


# Where each mode's router lives, what the address box gets, and the ends of the bars.
ROUTER_MODES = {
    "web": {"address": "127.0.0.62", "scale_in": 262144, "scale_out": 32768},
    "console": {"address": "127.0.0.63", "scale_in": 262144, "scale_out": 32768},
    "upnp": {"address": "127.0.0.67", "scale_in": 250000, "scale_out": 31250},
}


def icon_level(d, png, icon):
    """The level the tray icon shows: green rows of the picture, in eighths."""
    rows = d.pixels(png, icon["x"], icon["y"], icon["w"], icon["h"])
    column = [row[icon["w"] // 2] for row in rows]
    green = sum(1 for p in column if abs(p[0] - GREEN[0]) <= 3 and p[1] >= 250 and abs(p[2] - GREEN[2]) <= 3)
    picture = sum(1 for p in column if p[1] >= 250)
    return round(green * 8 / picture) - 1 if picture else None


def bar_fill(d, png, window, top_twips):
    """How much of a bar is filled (0..1), from its pixels. The bars lie
    420 twips from the left, 3225 twips wide, 255 high."""
    x, y = window["x"] + 420 // 15, window["y"] + top_twips // 15
    w, h = 3225 // 15, 255 // 15
    row = d.pixels(png, x, y + h // 2, w, 1)[0][2:-2]  # inside the frame
    return sum(1 for p in row if min(p) < 240) / len(row)


def case_router(vxstat, mode):
    """The monitor reading the simulated router: the login captions (console),
    the incoming bar and the tray level following the router's rate, hiding
    to the tray and back, and "&Close" saving the totals. The UPnP gateway is
    found by discovery, and its line speed sets the bars' scales."""
    address = ROUTER_MODES[mode]["address"]
    with Desktop() as d:
        web = start_router(d, address, mode)
        folder = program_folder(d, vxstat)
        ip = {"web": web, "console": address, "upnp": "upnp"}[mode]
        with open(os.path.join(folder, "boot.ini"), "w") as f:
            f.write("[Settings]\nEnabled=True\nIP=%s\nPassword=secret\nSpeed=2meg\n9106router=%s\n"
                    % (ip, "Yes" if mode == "console" else "No"))
        proc = start(d, folder)
        window = wait_window(d, MONITOR_TITLE, proc)
        captions = record_captions(d, window)

        # The console logs in; the page and the gateway answer: either way
        # the caption ends as the plain title once there is a reading.
        wait_caption(captions, TITLE, "logged in" if mode == "console" else "the first reading")
        # (Discovering the gateway can take longer than the ticks the
        # monitor waits before it says the router does not answer.)
        expected = LOGIN if mode == "console" else [CONNECTING, NO_ANSWER, TITLE]
        expect(followed(captions.seen(), expected), "the captions were %s" % captions.seen())

        icon = wait_for(lambda: tray_icon(d), 30, "the tray icon")
        png = os.path.join(d.root, "desktop.png")
        expected_fill = RX_RATE / ROUTER_MODES[mode]["scale_in"]

        def following():
            d.screenshot(png)
            info = d.info(window)
            return (icon_level(d, png, icon) == 3 and info
                    and abs(bar_fill(d, png, info, 270) - expected_fill) < 0.06)
        wait_for(following, 20, "the incoming bar at %.2f and the tray at level 3" % expected_fill, interval=0.5)
        out_fill = bar_fill(d, png, d.info(window), 0)
        expect(abs(out_fill - TX_RATE / ROUTER_MODES[mode]["scale_out"]) < 0.08,
               "the outgoing bar is %.2f full" % out_fill)

        d.x(["xdotool", "windowminimize", str(window)])
        wait_for(lambda: withdrawn(d, window), 10, "the window to leave the screen")
        x, y = centre(icon)
        d.click(x, y, 1, repeat=2)
        wait_for(lambda: d.viewable(window), 10, "the window to come back")

        open_tray_menu(d, icon)
        d.key("c")
        wait_end(d, proc, "the program to end after &Close")
        stats = read(folder, "userstats.txt")
        incoming = int(float(stats.split("Incoming=")[1].split()[0]))
        outgoing = int(float(stats.split("OutGoing=")[1].split()[0]))
        # Every mode counts. Past 2^32 and 2^31 on the router, and only this
        # run's traffic: at least one reading's worth (a tick is a second,
        # give or take), never the router's whole count.
        expect(RX_RATE // 2 <= incoming < RX_RATE * 60, "incoming total %d" % incoming)
        expect(TX_RATE // 2 <= outgoing < TX_RATE * 60, "outgoing total %d" % outgoing)


def case_router_web(vxstat):
    case_router(vxstat, "web")


def case_router_console(vxstat):
    case_router(vxstat, "console")


def case_router_upnp(vxstat):
    case_router(vxstat, "upnp")


def case_late_tray(vxstat):
    """A tray host that starts after the program (as desktops often do)
    still gets the icon."""
    with Desktop(tray=False) as d:
        folder = program_folder(d, vxstat, ip="127.0.0.66")
        proc = start(d, folder)
        wait_window(d, MONITOR_TITLE, proc)
        time.sleep(3)
        d.start_tray()
        icon = wait_for(lambda: tray_icon(d), 20, "the icon in the tray that came late")
        open_tray_menu(d, icon)
        d.key("c")
        wait_end(d, proc, "the program to end after &Close")


def case_system_menu_statistics(vxstat):
    """The substitute system menu on the monitor window: "Statistics" saves
    the totals and opens the statistics window."""
    with Desktop(tray=False) as d:
        folder = program_folder(d, vxstat, ip="127.0.0.62", stats=totals("1048576.9", "2097152"))
        proc = start(d, folder)
        window = wait_window(d, MONITOR_TITLE, proc)
        w = d.info(window)
        d.click(w["x"] + 100, w["y"] + 10, 3)
        wait_for(lambda: d.popup_menus("vxstat"), 10, "the system menu")
        # Enabled items: Minimize, Close, Always on top, Statistics.
        d.key("Down", "Down", "Down", "Down", "Return")
        wait_window(d, "^Logged Statistics$", proc)
        stats = read(folder, "userstats.txt")
        expect("Incoming= 1048576\n" in stats, "the totals were not saved first:\n" + stats)
        expect(d.viewable(window), "the monitor went away")
        d.stop(proc)
        wait_end(d, proc, "the program to end")


def case_statistics_only(vxstat):
    """"/STATS" opens only the statistics window and creates no file; its
    system menu's "&Close" ends the program."""
    with Desktop(tray=False) as d:
        folder = program_folder(d, vxstat)
        proc = start(d, folder, "/STATS")
        window = wait_window(d, "^Logged Statistics$", proc)
        expect(not d.search(name="^Vexlo", visible=True), "the monitor opened")
        expect(not d.search(name="^Router Details$", visible=True), "the dialog opened")
        w = d.info(window)
        d.click(w["x"] + w["w"] // 2, w["y"] + w["h"] - 8, 3)
        wait_for(lambda: d.popup_menus("vxstat"), 10, "the system menu")
        d.key("c")
        wait_end(d, proc, "the program to end after &Close")
        expect(not os.path.exists(os.path.join(folder, "userstats.txt")), "/STATS created the statistics file")


def case_dialog_enter(vxstat):
    """The router details dialog: type the address, release Enter, and the
    monitor starts in place of the dialog."""
    with Desktop(tray=False) as d:
        folder = program_folder(d, vxstat)
        proc = start(d, folder)
        dialog = wait_window(d, "^Router Details$", proc)
        w = d.info(dialog)
        d.click(w["x"] + 90, w["y"] + 8, 1)  # into the address box
        d.key("ctrl+a")
        d.x(["xdotool", "type", "--delay", "40", "127.0.0.65"])
        d.key("Return")
        wait_window(d, MONITOR_TITLE, proc)
        wait_for(lambda: not d.search(name="^Router Details$", visible=True), 10, "the dialog to go")
        stats = read(folder, "userstats.txt")
        expect("Enabled=True" in stats and "Incoming= 0" in stats, "the statistics file was not set up:\n" + stats)
        d.stop(proc)
        wait_end(d, proc, "the program to end")


def case_statistics_delete(vxstat):
    """The statistics window's button: a message box, then the file is
    deleted and the program ends at once."""
    with Desktop(tray=False) as d:
        folder = program_folder(d, vxstat, stats=totals("1572864", "0"))
        proc = start(d, folder, "/STATS")
        window = wait_window(d, "^Logged Statistics$", proc)
        w = d.info(window)
        d.click(w["x"] + 272, w["y"] + 12, 1)  # "or click here."
        box = wait_window(d, "^Info$", proc)
        expect(d.viewable(window), "the statistics window went before the box was answered")
        expect(os.path.exists(os.path.join(folder, "userstats.txt")), "deleted before the box was answered")
        d.x(["xdotool", "windowactivate", "--sync", str(box)], check=False)
        d.key("Return")
        wait_end(d, proc, "the program to end after the box")
        expect(not os.path.exists(os.path.join(folder, "userstats.txt")), "the statistics file is still there")


def case_sigterm(vxstat):
    """SIGTERM closes the monitor the normal way: the totals are saved."""
    with Desktop() as d:
        folder = program_folder(d, vxstat, ip="127.0.0.63", stats=totals("123456.5", "654321"))
        proc = start(d, folder)
        window = wait_window(d, MONITOR_TITLE, proc)
        wait_for(lambda: tray_icon(d), 30, "the tray icon")
        d.x(["xdotool", "windowminimize", str(window)])  # hidden in the tray: saved all the same
        wait_for(lambda: withdrawn(d, window), 10, "the window to leave the screen")
        proc.send_signal(signal.SIGTERM)
        wait_end(d, proc, "the program to end after SIGTERM")
        stats = read(folder, "userstats.txt")
        expect("Incoming= 123456\n" in stats and "OutGoing= 654321\n" in stats, "totals not saved:\n" + stats)


def hover_menu_row(d, menu, y, other_y, what):
    """Moves the pointer onto the row of a Qt popup menu at screen height y
    and waits until that row, not the one at other_y, is drawn as the
    current item (the highlight spans the row, margins included)."""
    d.x(["xdotool", "mousemove", str(menu["x"] + menu["w"] // 2), str(y)])
    png = os.path.join(d.root, "menu.png")

    def highlighted():
        d.screenshot(png)
        row = d.pixels(png, menu["x"] + 3, y, 1, 1)[0][0]
        other = d.pixels(png, menu["x"] + 3, other_y, 1, 1)[0][0]
        return row is not None and min(row) < 230 and row != other
    wait_for(highlighted, 10, what + " under the pointer")


def case_tray_right_click(vxstat):
    """In the tray menu only the left button chooses: a right-button click on
    "&Open vxStat" or "&Close" does nothing; a left one on "&Close" ends the
    program."""
    with Desktop() as d:
        folder = program_folder(d, vxstat, ip="127.0.0.67", stats=totals("800", "900"))
        proc = start(d, folder)
        window = wait_window(d, MONITOR_TITLE, proc)
        icon = wait_for(lambda: tray_icon(d), 30, "the tray icon")
        d.x(["xdotool", "windowminimize", str(window)])
        wait_for(lambda: withdrawn(d, window), 10, "the window to leave the screen")

        menu = d.info(open_tray_menu(d, icon))
        # "&Open vxStat", "&History", a separator, "&Close".
        open_y, close_y = menu["y"] + 8, menu["y"] + menu["h"] - 8
        hover_menu_row(d, menu, open_y, close_y, "&Open vxStat")
        d.x(["xdotool", "click", "3"])
        # Moving on shows that the menu is still open and has handled the
        # click, which has come before the move.
        hover_menu_row(d, menu, close_y, open_y, "&Close")
        expect(proc.poll() is None, "the program ended")
        expect(withdrawn(d, window), "a right-button click on &Open vxStat opened the window")
        d.x(["xdotool", "click", "3"])
        hover_menu_row(d, menu, open_y, close_y, "&Open vxStat")
        expect(proc.poll() is None, "a right-button click on &Close ended the program")

        hover_menu_row(d, menu, close_y, open_y, "&Close")
        d.x(["xdotool", "click", "1"])
        wait_end(d, proc, "the program to end after a left click on &Close")
        stats = read(folder, "userstats.txt")
        expect("Incoming= 800\n" in stats, "totals not saved:\n" + stats)


def sni_item(d, png):
    """The program's item in the StatusNotifierItem host's bar (the bottom 32
    pixels of the screen), found by its picture: white above green."""
    top = d.height - 32
    d.screenshot(png)
    rows = d.pixels(png, 0, top, d.width, 32)
    xs, ys = [], []
    for y, row in enumerate(rows):
        for x, p in enumerate(row):
            if p and p[1] >= 250 and (min(p) >= 250 or abs(p[0] - GREEN[0]) <= 3):
                xs.append(x)
                ys.append(y)
    if len(xs) < 64:
        return None
    return {"x": min(xs), "y": top + min(ys), "w": max(xs) - min(xs) + 1, "h": max(ys) - min(ys) + 1}


def host_menus(d):
    return [w for w in d.search(classname="gtk-sni-tray-standalone", visible=True)
            if (lambda i: i and i["override"] and i["w"] > 32 and i["h"] > 32)(d.info(w))]


def case_tray_status_notifier(vxstat):
    """On a real StatusNotifierItem host the host draws the item and its
    menu: with the monitor hidden in the tray, the host's "Open vxStat" and
    its activation (a left click) bring the window back; its "Close" ends
    the program, which saves its totals."""
    with Desktop(tray=False) as d:
        d.start_status_notifier_host()
        folder = program_folder(d, vxstat, ip="127.0.0.64", stats=totals("300", "400"))
        proc = start(d, folder)
        window = wait_window(d, MONITOR_TITLE, proc)
        png = os.path.join(d.root, "desktop.png")
        item = wait_for(lambda: sni_item(d, png), 30, "the item in the host's bar")
        x, y = centre(item)

        def hide():
            d.x(["xdotool", "windowminimize", str(window)])
            wait_for(lambda: withdrawn(d, window), 10, "the window to leave the screen")

        def host_menu(*keys):
            d.click(x, y, 3)
            wait_for(lambda: host_menus(d), 10, "the host's menu")
            d.key(*keys)

        hide()
        host_menu("Down", "Return")  # the first item, "Open vxStat"
        wait_for(lambda: d.viewable(window), 10, "the window to come back from the host's menu")
        wait_for(lambda: not host_menus(d), 10, "the host's menu to close")

        hide()
        d.click(x, y, 1)
        wait_for(lambda: d.viewable(window), 10, "the window to come back on activation")

        hide()
        host_menu("Down", "Down", "Down", "Return")  # past "History" and the separator, "Close"
        wait_end(d, proc, "the program to end after the host's Close")
        stats = read(folder, "userstats.txt")
        expect("Incoming= 300\n" in stats and "OutGoing= 400\n" in stats, "totals not saved:\n" + stats)


# ---- a router that misbehaves ----------------------------------------------------

def monitor_on(d, vxstat, ip, console=False, stats=None, speed="2meg"):
    """The program's folder set up for a router, started; returns (folder,
    process, window, caption recorder)."""
    folder = program_folder(d, vxstat, stats=stats)
    with open(os.path.join(folder, "boot.ini"), "w") as f:
        f.write("[Settings]\nEnabled=True\nIP=%s\nPassword=secret\nSpeed=%s\n9106router=%s\n"
                % (ip, speed, "Yes" if console else "No"))
    proc = start(d, folder)
    window = wait_window(d, MONITOR_TITLE, proc)
    return folder, proc, window, record_captions(d, window)


def display_state(d, window, icon):
    """What the monitor shows now: (outgoing bar, incoming bar) fills and
    the tray level."""
    png = os.path.join(d.root, "desktop.png")
    d.screenshot(png)
    info = d.info(window)
    if not info:
        return None
    return bar_fill(d, png, info, 0), bar_fill(d, png, info, 270), icon_level(d, png, icon)


def wait_following(d, window, icon, scale_in=262144, scale_out=32768, what="the bars to follow the rate"):
    """Waits until both bars and the tray show the router's rates."""
    want_in, want_out = RX_RATE / scale_in, TX_RATE / scale_out

    def following():
        state = display_state(d, window, icon)
        return (state and abs(state[1] - want_in) < 0.06 and abs(state[0] - want_out) < 0.08
                and state[2] == int(want_in * 8))
    wait_for(following, CAPTION_WAIT, what + " (%.2f in, %.2f out)" % (want_in, want_out), interval=0.5)


def figure(stats, name):
    m = re.search(r"^%s=\s*(\S+)\s*$" % name, stats, re.M)
    expect(m is not None, "no %s in the statistics file:\n%s" % (name, stats))
    return m.group(1)


def check_total(stats, name, expected):
    text = figure(stats, name)
    expect(re.fullmatch(r"-?[0-9]+(\.[0-9]+)?([eE][+-]?[0-9]+)?", text) is not None,
           "%s is no plain number: %r" % (name, text))
    expect(float(text) == expected, "%s is %s, %d expected" % (name, text, expected))


def freeze_and_settle(web):
    """Stops the router's counters and waits until the program has read
    them stopped: the last session's true replies since then number three
    (the first of them is read before the third is asked for), so the
    figures it last read are the session's last."""
    before = simctl(web, "rx_rate=0&tx_rate=0")["sessions"]

    def settled():
        sessions = simctl(web)["sessions"]
        if not sessions or not sessions[-1]["open"]:
            return None
        last = len(sessions) - 1
        earlier = before[last]["replies"] if last < len(before) else 0
        return sessions if sessions[-1]["replies"] - earlier >= 3 else None
    return wait_for(settled, CAPTION_WAIT, "three readings of the stopped counters", interval=0.3)


def counted(sessions):
    """What a reader of the router's true replies counts: each session from
    its first reply (a baseline) to its last."""
    rx = sum(s["rx_last"] - s["rx_first"] for s in sessions if s["replies"])
    tx = sum(s["tx_last"] - s["tx_first"] for s in sessions if s["replies"])
    return rx, tx


def close_and_check_totals(d, proc, icon, folder, web, start_in, start_out, started):
    """Closes the program from its tray menu once the counters stand still;
    the totals grew by exactly what the sessions' readings moved, which is
    no more than the router moved while the program ran."""
    sessions = freeze_and_settle(web)
    open_tray_menu(d, icon)
    d.key("c")
    wait_end(d, proc, "the program to end after &Close")
    rx, tx = counted(sessions)
    elapsed = time.monotonic() - started
    expect(0 < rx <= RX_RATE * elapsed and 0 < tx <= TX_RATE * elapsed,
           "the sessions moved %d in and %d out in %.0f s" % (rx, tx, elapsed))
    stats = read(folder, "userstats.txt")
    expect(not re.search(r"inf|nan", stats, re.I), "the totals are not finite:\n" + stats)
    check_total(stats, "Incoming", start_in + rx)
    check_total(stats, "OutGoing", start_out + tx)
    return sessions


def case_hanging_router(vxstat):
    """A router that takes the request and never answers: throughout, the
    monitor window answers the window manager's _NET_WM_PING at once (the
    page is fetched apart from the window), and says the router does not
    answer."""
    with Desktop() as d:
        web = start_router(d, "127.0.0.71", "web", "--mode", "hang")
        folder, proc, window, captions = monitor_on(d, vxstat, web)
        wait_for(lambda: simctl(web)["web_requests"] >= 1, CAPTION_WAIT, "the first request")
        latencies = ping_latencies(d.env["DISPLAY"], window, 15)
        worst, median = max(latencies), statistics.median(latencies)
        print("_NET_WM_PING answered %d times: median %.1f ms, worst %.1f ms, over 100 ms %d times"
              % (len(latencies), median * 1000, worst * 1000, sum(1 for t in latencies if t > 0.1)), flush=True)
        # A window that waits on the router answers no ping for as long as the
        # request hangs; a busy machine may hold one answer a little.
        expect(median <= 0.05, "pings took %.0f ms in the middle" % (median * 1000))
        expect(worst <= 0.5, "a ping took %.0f ms" % (worst * 1000))
        expect(len(latencies) >= 30, "only %d pings in 15 s" % len(latencies))
        wait_caption(captions, NO_ANSWER, "the router hangs")
        expect(proc.poll() is None, "the program ended")
        d.stop(proc)
        wait_end(d, proc, "the program to end")


def case_router_stops_answering(vxstat):
    """Reading the page fine, then the router hangs: within a few ticks the
    caption says it does not answer, the bars are empty and the tray at
    its lowest; once it answers again, all come back."""
    with Desktop() as d:
        web = start_router(d, "127.0.0.72", "web")
        folder, proc, window, captions = monitor_on(d, vxstat, web)
        wait_caption(captions, TITLE, "the first reading")
        icon = wait_for(lambda: tray_icon(d), 30, "the tray icon")
        wait_following(d, window, icon)

        simctl(web, "mode=hang")
        since = len(captions.seen())
        hung = time.monotonic()
        at = wait_caption(captions, NO_ANSWER, "the router hangs", since)
        took = captions.captions[at][0] - hung
        print("the caption said so %.1f s after the router hung" % took, flush=True)
        # Three ticks without a reading; a tick is a second, give or take a busy machine.
        expect(took <= 15, "the caption took %.1f s" % took)

        def empty():
            state = display_state(d, window, icon)
            return state and state[0] == 0 and state[1] == 0 and state[2] == 0
        wait_for(empty, 10, "the bars empty and the tray at level 0", interval=0.5)
        expect(captions.current() == NO_ANSWER, "the caption went on to %r" % captions.current())

        simctl(web, "mode=ok")
        since = len(captions.seen())
        wait_caption(captions, TITLE, "the router answers again", since)
        wait_following(d, window, icon, what="the bars to follow the rate again")
        d.stop(proc)
        wait_end(d, proc, "the program to end")


def case_console_drops_session(vxstat):
    """A console that ends the session after a few replies: the program
    logs in again and again, readings resume each time (the bars follow),
    and the totals grow by exactly what each session's readings moved."""
    with Desktop() as d:
        web = start_router(d, "127.0.0.73", "console_steered", "--console-mode", "drop", "--drop-after", "4")
        started = time.monotonic()
        folder, proc, window, captions = monitor_on(d, vxstat, "127.0.0.73", console=True,
                                                    stats=totals("1000", "2000"))
        first = wait_caption(captions, TITLE, "logged in")
        icon = wait_for(lambda: tray_icon(d), 30, "the tray icon")
        wait_for(lambda: len([s for s in simctl(web)["sessions"] if not s["open"]]) >= 2, 90,
                 "two sessions to be dropped", interval=0.3)
        # Logged in again after the drop, the login's captions all over.
        again = wait_caption(captions, CONNECTING, "the reconnect", first + 1)
        wait_caption(captions, TITLE, "logged in again", again + 1)
        # A dropped session is taken up again at once: the login's captions,
        # over and over, and never a silence.
        expect(followed(captions.seen(), LOGIN * 20), "the captions were %s" % captions.seen())
        wait_following(d, window, icon, what="the bars to follow the rate after the reconnect")
        simctl(web, "console=normal")
        sessions = close_and_check_totals(d, proc, icon, folder, web, 1000, 2000, started)
        expect(len(sessions) >= 3, "only %d sessions" % len(sessions))


def case_console_starts_late(vxstat):
    """Nothing listens on the console's port at first: the program says the
    router does not answer and tries again; once the router is up it logs
    in, the bars follow, and the totals count only what it read."""
    with Desktop() as d:
        started = time.monotonic()
        folder, proc, window, captions = monitor_on(d, vxstat, "127.0.0.74", console=True,
                                                    stats=totals("0", "0"))
        wait_caption(captions, NO_ANSWER, "the connection is refused")
        expect(TITLE not in captions.seen(), "logged in with no router: %s" % captions.seen())
        web = start_router(d, "127.0.0.74", "console_steered")
        at = wait_caption(captions, TITLE, "logged in once the router is up")
        # The silence lasts through the login, until the first reading.
        expect(followed(captions.seen()[:at + 1], [CONNECTING, NO_ANSWER, TITLE]),
               "the captions were %s" % captions.seen())
        icon = wait_for(lambda: tray_icon(d), 30, "the tray icon")
        wait_following(d, window, icon)
        close_and_check_totals(d, proc, icon, folder, web, 0, 0, started)


def case_console_lies(vxstat):
    """A console that now and then gives an RX figure that is no reading
    (309 digits, 1e300, a negative one): those are passed over, and the
    totals stay finite and exactly what the true replies moved."""
    with Desktop() as d:
        web = start_router(d, "127.0.0.75", "console_steered", "--console-mode", "lie", "--lie-every", "3")
        started = time.monotonic()
        folder, proc, window, captions = monitor_on(d, vxstat, "127.0.0.75", console=True,
                                                    stats=totals("5", "7"))
        wait_caption(captions, TITLE, "logged in")
        icon = wait_for(lambda: tray_icon(d), 30, "the tray icon")
        wait_for(lambda: simctl(web)["lies"] >= 4, CAPTION_WAIT, "every kind of lie told", interval=0.3)
        wait_following(d, window, icon)
        close_and_check_totals(d, proc, icon, folder, web, 5, 7, started)
        stats = read(folder, "userstats.txt")
        for name in ("Incoming", "OutGoing"):
            m = re.fullmatch(r"[0-9.]+[eE]\+?([0-9]+)", figure(stats, name))
            expect(not m or int(m.group(1)) <= 9, "%s has a lying exponent: %s" % (name, figure(stats, name)))


# ---- no tray, a second start, the console port in web mode -------------------------

def minimised(d, wid):
    """Iconified by the window manager, and still one of its windows (a
    withdrawn window leaves the client list)."""
    clients = d.x(["xprop", "-root", "_NET_CLIENT_LIST"], check=False).stdout
    return ("Iconic" in d.prop(wid, "WM_STATE") and not d.viewable(wid)
            and re.search(r"\b%s\b" % hex(wid), clients) is not None)


def settled(d, wid):
    """Waits until the program has handled what came before: it answers a
    window manager's pings."""
    ping_latencies(d.env["DISPLAY"], wid, 1)


def start_again(d, folder, window):
    """A second start over the same files: it ends at once with success,
    shows no window of its own, and the running program's window comes back."""
    again = d.spawn("vxstat2", [os.path.join(folder, "vxstat")], cwd=folder)
    try:
        wait_for(lambda: again.poll() is not None, 90, "the second start to end")
    except Failure:
        # Where it stands, for whoever reads the failure.
        stacks = subprocess.run(["gdb", "-p", str(again.pid), "-batch", "-ex", "thread apply all bt"],
                                capture_output=True, text=True, timeout=120).stdout
        raise Failure("the second start did not end; its log:\n%s\nits threads:\n%s" % (d.log("vxstat2"), stacks))
    expect(again.returncode == 0, "the second start ended with %s: %s" % (again.returncode, d.log("vxstat2")))
    wait_for(lambda: d.viewable(window), 10, "the running program's window to come back")
    expect(d.search(name=MONITOR_TITLE) == [window], "another monitor window: %s" % d.search(name=MONITOR_TITLE))
    expect(not d.search(name="^Router Details$"), "the second start opened the dialog")


def case_no_tray_minimise(vxstat):
    """With a window manager and no tray host, a minimised monitor stays
    minimised: the window manager restores it, and so does a second start."""
    with Desktop(tray=False) as d:
        folder = program_folder(d, vxstat, ip="127.0.0.82")
        proc = start(d, folder)
        window = wait_window(d, MONITOR_TITLE, proc)
        for restore in ("the window manager", "a second start"):
            d.x(["xdotool", "windowminimize", str(window)])
            wait_for(lambda: minimised(d, window), 10, "the window to be minimised")
            settled(d, window)
            expect(minimised(d, window), "the minimised window left the window manager (hidden to no tray)")
            if restore == "the window manager":
                d.x(["xdotool", "windowactivate", str(window)])
                wait_for(lambda: d.viewable(window), 10, "the window manager to restore the window")
            else:
                start_again(d, folder, window)
            expect("Iconic" not in d.prop(window, "WM_STATE"), "restored by %s, still minimised" % restore)
        d.stop(proc)
        wait_end(d, proc, "the program to end")


def case_second_start(vxstat):
    """A second start over the same files brings the running program, hidden
    in the tray, to the front and ends; a copy in another folder runs beside it."""
    with Desktop() as d:
        folder = program_folder(d, vxstat, ip="127.0.0.83")
        proc = start(d, folder)
        window = wait_window(d, MONITOR_TITLE, proc)
        icon = wait_for(lambda: tray_icon(d), 30, "the tray icon")
        d.x(["xdotool", "windowminimize", str(window)])
        wait_for(lambda: withdrawn(d, window), 10, "the window to leave the screen")
        start_again(d, folder, window)
        expect(proc.poll() is None, "the running program ended")

        other = os.path.join(d.root, "other")
        os.mkdir(other)
        shutil.copy2(vxstat, os.path.join(other, "vxstat"))
        beside = d.spawn("vxstat3", [os.path.join(other, "vxstat")], cwd=other)
        wait_window(d, "^Router Details$", beside)
        d.stop(beside)
        open_tray_menu(d, icon)
        d.key("c")
        wait_end(d, proc, "the program to end after &Close")


def case_web_console_at_load(vxstat):
    """In web mode the program opens the router's port 23 once, at load,
    and reads the page all the same."""
    with Desktop(tray=False) as d:
        web = start_router(d, "127.0.0.81", "web_port23")
        folder = program_folder(d, vxstat, ip="127.0.0.81")
        proc = start(d, folder)
        window = wait_window(d, MONITOR_TITLE, proc)
        captions = record_captions(d, window)
        wait_caption(captions, TITLE, "the first reading")
        wait_for(lambda: simctl(web)["console_connections"] >= 1, CAPTION_WAIT, "a connection to port 23")
        requests = simctl(web)["web_requests"]
        wait_for(lambda: simctl(web)["web_requests"] >= requests + 3, CAPTION_WAIT, "more readings")
        expect(simctl(web)["console_connections"] == 1, "port 23 opened %d times" % simctl(web)["console_connections"])
        d.stop(proc)
        wait_end(d, proc, "the program to end")


def start_read_only(d, folder, rw_stats, env):
    """The program in `folder` made read-only by a bind mount (for root too),
    its userstats.txt the writable file `rw_stats` mounted over it."""
    script = ('mount --bind "$1" "$1" && mount -o remount,bind,ro "$1" && '
              'mount --bind "$2" "$1/userstats.txt" && exec "$1/vxstat"')
    return d.spawn("vxstat", ["unshare", "--mount", "--propagation", "private", "sh", "-c", script, "sh",
                              folder, rw_stats], cwd=folder, env=env)


def case_read_only_folder(vxstat):
    """A portable folder the user cannot write, holding a writable
    userstats.txt: monitoring starts at once, the history lives in the user's
    data folder; where it cannot be kept at all, the box says so while the
    readings go on."""
    with Desktop() as d:
        web = start_router(d, "127.0.0.83", "web")
        folder = program_folder(d, vxstat, ip=web)
        rw_stats = os.path.join(d.root, "userstats-rw.txt")
        with open(rw_stats, "w") as f:
            f.write(totals("1000", "2000"))
        open(os.path.join(folder, "userstats.txt"), "w").close()
        data = os.path.join(d.root, "data")
        proc = start_read_only(d, folder, rw_stats, {"XDG_DATA_HOME": data})
        wait_window(d, MONITOR_TITLE, proc)
        wait_for(lambda: simctl(web)["web_requests"] >= 3, CAPTION_WAIT, "readings that count")
        d.stop(proc)
        wait_end(d, proc, "the program to end")
        history = os.path.join(data, "vxstat", "history.db")
        expect(os.path.exists(history), "no history in the user's data folder")
        expect(not os.path.exists(os.path.join(folder, "history.db")), "a history in the read-only folder")
        expect(figure(read(d.root, "userstats-rw.txt"), "Incoming") != "1000", "the totals did not grow")

        # No folder for the history anywhere: told, and the readings go on under the box.
        blocked = os.path.join(d.root, "blocked")
        open(blocked, "w").close()
        proc = start_read_only(d, folder, rw_stats, {"XDG_DATA_HOME": blocked})
        wait_window(d, MONITOR_TITLE, proc)
        wait_for(lambda: d.search(name="Problem", visible=True), 30, "the box about the history")
        requests = simctl(web)["web_requests"]
        wait_for(lambda: simctl(web)["web_requests"] >= requests + 3, CAPTION_WAIT, "readings under the box")
        expect(d.search(name="Problem", visible=True), "the box went away by itself")
        d.stop(proc)
        wait_end(d, proc, "the program to end")


# ---- the statistics file -----------------------------------------------------------

def comma_locale(root):
    """A German locale (comma decimal mark), made into a private folder when
    the machine has none; the environment that selects it."""
    env = {"LANG": "de_DE.UTF-8", "LC_ALL": "de_DE.UTF-8"}
    probe = [sys.executable, "-c", "import locale; locale.setlocale(locale.LC_ALL, ''); "
             "print(locale.localeconv()['decimal_point'])"]

    def mark(extra):
        run = subprocess.run(probe, env=dict(os.environ, **extra), capture_output=True, text=True, timeout=30)
        return run.stdout.strip() if run.returncode == 0 else None
    if mark(env) == ",":
        return env
    folder = os.path.join(root, "locales")
    os.mkdir(folder)
    subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8", os.path.join(folder, "de_DE.UTF-8")],
                   capture_output=True, timeout=120)
    env["LOCPATH"] = folder
    expect(mark(env) == ",", "no comma-decimal locale could be made (localedef, package locales)")
    return env


def run_and_close(d, folder, env=None):
    """Starts the program (monitor on a router that is not there), lets it
    show, and closes it normally; the totals are saved."""
    proc = start(d, folder, env=env)
    wait_window(d, MONITOR_TITLE, proc)
    icon = wait_for(lambda: tray_icon(d), 30, "the tray icon")
    open_tray_menu(d, icon)
    d.key("c")
    wait_end(d, proc, "the program to end after &Close")


def case_comma_locale(vxstat):
    """Under a comma-decimal locale a total above 10^15 is written with a
    decimal point and reads back exactly, over two runs."""
    value = "2.469135780246913E+15"
    with Desktop() as d:
        env = comma_locale(d.root)
        folder = program_folder(d, vxstat, ip="127.0.0.76", stats=totals(value, "1.5"))
        for run in (1, 2):
            run_and_close(d, folder, env)
            stats = read(folder, "userstats.txt")
            incoming = figure(stats, "Incoming")
            expect("," not in incoming and re.fullmatch(r"[0-9.Ee+]+", incoming),
                   "run %d wrote Incoming=%r" % (run, incoming))
            expect(float(incoming) == float(value), "run %d: %s read back as %r" % (run, value, incoming))
            expect("," not in figure(stats, "OutGoing"), "run %d wrote OutGoing with a comma" % run)


def case_file_symlink(vxstat):
    """userstats.txt a symbolic link: the totals are written through it; it
    stays a link, and its target keeps its mode."""
    with Desktop() as d:
        folder = program_folder(d, vxstat, ip="127.0.0.77")
        kept = os.path.join(d.root, "kept")
        os.mkdir(kept)
        target = os.path.join(kept, "totals.txt")
        with open(target, "w") as f:
            f.write(totals("5000.7", "7000"))
        os.chmod(target, 0o640)
        link = os.path.join(folder, "userstats.txt")
        os.symlink(target, link)
        run_and_close(d, folder)
        expect(os.path.islink(link) and os.readlink(link) == target, "userstats.txt is no longer the link")
        stats = read(kept, "totals.txt")
        expect("Incoming= 5000\n" in stats and "OutGoing= 7000\n" in stats, "not written through:\n" + stats)
        mode = stat.S_IMODE(os.stat(target).st_mode)
        expect(mode == 0o640, "the target's mode became %o" % mode)


def case_file_mode(vxstat):
    """An existing userstats.txt keeps its mode (0666 here) when the totals
    are written."""
    with Desktop() as d:
        folder = program_folder(d, vxstat, ip="127.0.0.78", stats=totals("5000.7", "7000"))
        path = os.path.join(folder, "userstats.txt")
        os.chmod(path, 0o666)
        run_and_close(d, folder)
        expect("Incoming= 5000\n" in read(folder, "userstats.txt"), "the totals were not written")
        mode = stat.S_IMODE(os.stat(path).st_mode)
        expect(mode == 0o666, "the mode became %o" % mode)


def case_file_crcrlf(vxstat):
    """Lines the program does not write stay byte for byte, a line ending
    CR CR LF among them."""
    others = b"[Notes]\r\r\nKept=as it was \xe4\r\r\n\r\n[More]\nA=1\r\nB=2\n"
    with Desktop() as d:
        folder = program_folder(d, vxstat, ip="127.0.0.79")
        path = os.path.join(folder, "userstats.txt")
        with open(path, "wb") as f:
            f.write(totals("5000.7", "7000").encode() + others)
        run_and_close(d, folder)
        with open(path, "rb") as f:
            after = f.read()
        expect(b"Incoming= 5000\n" in after or b"Incoming= 5000\r\n" in after, "the totals were not written")
        expect(after.endswith(others), "the other lines changed: %r" % after)


CASES = {
    "tray": case_tray,
    "system_menu_statistics": case_system_menu_statistics,
    "statistics_only": case_statistics_only,
    "sigterm": case_sigterm,
    "late_tray": case_late_tray,
    "dialog_enter": case_dialog_enter,
    "router_web": case_router_web,
    "router_console": case_router_console,
    "router_upnp": case_router_upnp,
    "statistics_delete": case_statistics_delete,
    "tray_status_notifier": case_tray_status_notifier,
    "tray_right_click": case_tray_right_click,
    "hanging_router": case_hanging_router,
    "router_stops_answering": case_router_stops_answering,
    "console_drops_session": case_console_drops_session,
    "console_starts_late": case_console_starts_late,
    "console_lies": case_console_lies,
    "comma_locale": case_comma_locale,
    "file_symlink": case_file_symlink,
    "file_mode": case_file_mode,
    "file_crcrlf": case_file_crcrlf,
    "no_tray_minimise": case_no_tray_minimise,
    "second_start": case_second_start,
    "web_console_at_load": case_web_console_at_load,
    "read_only_folder": case_read_only_folder,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("vxstat")
    parser.add_argument("case", choices=sorted(CASES) + ["screenshot"])
    parser.add_argument("--screenshot")
    parser.add_argument("--scale", type=int, default=1, choices=(1, 2), help="the screenshot's scale")
    args = parser.parse_args()

    if not in_private_network():
        if os.environ.get("VXSTAT_E2E_REEXEC"):
            print("cannot get a private network namespace")
            return 2
        os.environ["VXSTAT_E2E_REEXEC"] = "1"
        os.execv(os.path.join(REPO, "scripts", "in-private-net"),
                 [os.path.join(REPO, "scripts", "in-private-net"), sys.executable] + sys.argv)

    # Stop by ourselves well before ctest would, and clean up on the way out.
    def interrupted(signo, frame):
        raise Failure("interrupted by signal %d" % signo)
    signal.signal(signal.SIGTERM, interrupted)
    signal.signal(signal.SIGALRM, lambda s, f: interrupted(s, f))
    signal.alarm(150)

    if args.case == "screenshot":
        if not args.screenshot:
            parser.error("screenshot needs --screenshot FILE")
        make_screenshot(os.path.abspath(args.vxstat), args.screenshot, args.scale)
        return 0

    try:
        CASES[args.case](os.path.abspath(args.vxstat))
    except Failure as e:
        print("FAILED: %s: %s" % (args.case, e))
        print("0 passed, 1 failed")
        return 1
    print("PASSED: %s" % args.case)
    print("1 passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
