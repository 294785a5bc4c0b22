#!/usr/bin/env python3
"""End-to-end tests of the real vxstat program on an X desktop with a window
manager and a tray host, driven from outside like a user would.

    e2e_vxstat.py PATH/TO/vxstat CASE
    e2e_vxstat.py PATH/TO/vxstat screenshot --screenshot docs/screenshot.png

Runs inside a private network namespace (it re-runs itself under
scripts/in-private-net when it is not in one); the program only ever talks to
127.0.0.N addresses. Every process it starts is ended by pid."""

import argparse
import os
import shutil
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import Desktop, Failure, wait_for  # noqa: E402

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
GREEN = (135, 255, 29)
WHITE = (255, 255, 255)
MONITOR_TITLE = "^Vexlo Router Stats - Connecting$"


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


def start(desktop, folder, *args):
    return desktop.spawn("vxstat", [os.path.join(folder, "vxstat")] + list(args), cwd=folder)


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
        if (i and i["map"] == "IsViewable" and i["w"] <= 48 and i["h"] <= 48
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
    x, y = centre(icon)
    desktop.click(x, y, 3)
    return wait_for(lambda: desktop.popup_menus("vxstat", exclude=(icon["id"],)), 10, "the tray menu")[0]


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


def make_screenshot(vxstat, path):
    """Not a test: the README's picture, the monitor and its tray icon
    following a simulated router, on a small screen."""
    with Desktop(420, 110) as d:
        router = d.spawn("simrouter", [sys.executable, os.path.join(REPO, "tools", "simrouter.py"), "--address",
                                       "127.0.0.1", "--no-console", "--rx-rate", "150000", "--tx-rate", "21000"],
                         pipes=True)
        line = d.read_line(router, 10, "the simulated router")
        expect(line.startswith("simrouter ready web="), "the simulated router did not start: " + line)
        web = line.split("web=")[1].split()[0]
        folder = program_folder(d, vxstat)
        with open(os.path.join(folder, "boot.ini"), "w") as f:
            f.write("[Settings]\nEnabled=True\nIP=%s\nPassword=secret\nSpeed=2meg\n9106router=No\n" % web)
        proc = start(d, folder)
        wait_window(d, MONITOR_TITLE, proc)
        wait_for(lambda: tray_icon(d), 30, "the tray icon")
        time.sleep(5)  # a few readings
        d.screenshot(os.path.abspath(path))


# ---- against the simulated router ----------------------------------------------

RX_RATE, TX_RATE = 115000, 20000  # bytes a second: mid-way through level 3 of 8 on the 256k/s scale


def start_router(d, address, mode):
    argv = [sys.executable, os.path.join(REPO, "tools", "simrouter.py"), "--address", address,
            "--rx-start", "4294000000", "--tx-start", "2147483000",
            "--rx-rate", str(RX_RATE), "--tx-rate", str(TX_RATE)]
    argv += {"console": ["--no-web", "--console-port", "23", "--iac"],
             "web": ["--no-console"],
             # A 2 Mbit/s line, 250 kB/s in and 31.25 kB/s out at the ends of the bars.
             "upnp": ["--no-web", "--no-console", "--upnp", "--link-down", "2000000", "--link-up", "250000"]}[mode]
    router = d.spawn("simrouter", argv, pipes=True)
    line = d.read_line(router, 10, "the simulated router")
    expect(line.startswith("simrouter ready"), "the simulated router did not start: " + line)
    return line.split("web=")[1].split()[0]


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
        window = wait_window(d, "^Vexlo Router Stats", proc)

        if mode == "console":
            seen = []
            for caption in ("Vexlo Router Stats - Connecting", "Vexlo Router Stats - Sent User",
                            "Vexlo Router Stats - Sent Password", "Vexlo Router Stats"):
                wait_for(lambda: d.search(name="^%s$" % caption, visible=True), 10, "the caption " + caption)
                seen.append(caption)
        else:
            time.sleep(3)
            expect(d.search(name="^Vexlo Router Stats - Connecting$", visible=True),
                   "the %s mode's caption changed" % mode)

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
        if mode in ("console", "upnp"):
            # Past 2^32 and 2^31 on the router, and only this run's traffic:
            # at least one reading's worth (a tick is a second, give or take),
            # never the router's whole count.
            expect(RX_RATE // 2 <= incoming < RX_RATE * 60, "incoming total %d" % incoming)
            expect(TX_RATE // 2 <= outgoing < TX_RATE * 60, "outgoing total %d" % outgoing)
        else:
            expect(incoming == 0 and outgoing == 0, "the web mode does not count totals:\n" + stats)


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
        # "&Open vxStat", a separator, "&Close".
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
        host_menu("Down", "Down", "Return")  # past the separator, "Close"
        wait_end(d, proc, "the program to end after the host's Close")
        stats = read(folder, "userstats.txt")
        expect("Incoming= 300\n" in stats and "OutGoing= 400\n" in stats, "totals not saved:\n" + stats)


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
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("vxstat")
    parser.add_argument("case", choices=sorted(CASES) + ["screenshot"])
    parser.add_argument("--screenshot")
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
        make_screenshot(os.path.abspath(args.vxstat), args.screenshot)
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
