#!/usr/bin/env python3
"""A simulated ADSL router for vxstat's tests and demo.

It serves the WAN statistics page /statswan.cmd behind HTTP basic
authentication and a telnet-style console that logs in and answers
"ifconfig", both on one loopback address only. The byte counters move at a
chosen rate from a chosen start (near 2**31 or 2**32 if you like) and can be
changed or reset while it runs.

    simrouter.py --address 127.0.0.1 --web-port 0 --console-port 2323

prints one line once both servers listen:

    simrouter ready web=127.0.0.1:PORT console=127.0.0.1:PORT upnp=-

("-" for a server that is off). Control while running:
  GET /simctl?mode=busy&rx=100&tx=50&reset=1&console=flood  (no authentication)
      answers the state as JSON; SIGUSR1 resets both counters to 0 (a router
      restart, which the UPnP uptime follows); SIGTERM or SIGINT stop it;
      --duration stops it by itself.

Web modes: ok (the page; wrong details get a 401 whose page says "System
Authentication Failed"), busy ("Server Busy"), 404 ("Error 404"), authfail
(401 with "System Authentication Failed"), 401 (a bare 401 without those
words), garbled (the page with "N/A" for the counters), redirect (a 302 to
another address of the page), and the faults hang
(reads the request, never answers), reset (half the reply, then a reset
connection) and huge (a page over 1 MiB).
Console modes: normal; flood (after connecting, numbered lines "%09d\\n"
as fast as the peer takes them); drop (a session is closed when asked for
"ifconfig" once more after --drop-after replies; new sessions are taken as
before); lie (every --lie-every'th "ifconfig" reply gives an RX figure that is
no reading: 309 digits, 1e300 or a negative one, in turn). The state's
"sessions" tells, for every logged-in session, its true replies' first and
last counters, so a test can tell exactly what a reader of them counted.

Layouts: --page-layout classic (the default: one counter per row) or
firmware (one table with "Received"/"Transmitted" column groups and a row per
WAN connection, --wan-rows of them, each figure an unsigned 32-bit counter);
--console-layout classic (the default) or busybox12 (BusyBox 1.2 and later:
"Point-to-Point Protocol", a 15-character name column).

With --upnp it is also an Internet Gateway Device: it answers SSDP searches
on 239.255.255.250:1900 (joined on the loopback interface) from its own
address, serves the description /rootDesc.xml and its services' documents,
and answers SOAP control calls (byte and packet totals as ui4, link
properties, status with uptime, external address). --upnp-mode: ok,
restart (a router reboot after --restart-after seconds: counters and uptime
start again), stuck (byte totals always 4294967295), refuse (every action a
SOAP fault 501) or silent (no SSDP answers); and the hostile ones: slow
(every SOAP answer --upnp-delay seconds late), decoy (every argument follows
a longer-named decoy, <NewTotalBytesReceivedX>), trickle (the description a
byte every --trickle-every seconds; discovery answered half a second late).
--upnp-claim HOST names another host than ours in the SSDP LOCATION (with
--upnp-urlbase: in the URLBase instead); nothing of ours listens there.
--link-down and --link-up take any claim below 2**64. The ready line then
ends with upnp=http://HOST:PORT/rootDesc.xml (our own address, whatever is
claimed). /simctl also takes upnp=MODE,
restart=1 (reboot now) and restart_after=S (with upnp=restart), and is
answered on the UPnP port too.

With --snmp it is also an SNMP agent (v1 and v2c over UDP on --snmp-port,
0 picking a free one; read community --snmp-community, default "public"):
sysUpTime (from the last reboot), IF-MIB's ifTable and ifXTable and a route
table, by numeric OIDs, for GET, GETNEXT and GETBULK. The WAN interface is
index 3 ("WAN port", eth1, alias "uplink"); its counters are the router's,
without ifHC* columns under --counter-bits 32. --snmp-layout says how the WAN
interface is known: inet (inetCidrRouteTable's default route, the default),
ipcidr (ipCidrRouteTable's), ppp (ifType 23), pppoe (named pppoe-wan) or
busiest (no route and no PPP; the LAN port is down). --snmp-mode: ok, v1only
(v2c requests go unanswered, no ifXTable, noSuchName at the end of the MIB),
stuck (counters at 4294967295), silent, and the hostile ones: huge (2**40 in
a Counter32, 2**64-1 in a Counter64, absurd speeds), negative (-5 as the
counters), wrongtype (counters as a string, an INTEGER, a Gauge32 and an
OID), endless (ifDescr has rows without end), malformed (four broken
datagrams before each reply), wrongid (a decoy reply with another request id
first) and bigreply (a 20 kB ifDescr). /simctl takes snmp=MODE and
discontinuity=1 (the WAN interface's ifCounterDiscontinuityTime becomes now),
wan_ifname=NAME (another ifName at the WAN interface's index);
restart=1 puts sysUpTime back. The ready line then ends with
snmp=HOST:PORT. --counter-refresh S makes every face show counters that
change only every S seconds, as many agents and some gateways refresh them.

Python 3 standard library only.
"""

import argparse
import base64
import bisect
import email.utils
import http.server
import ipaddress
import json
import math
import select
import signal
import socket
import socketserver
import struct
import sys
import threading
import time
import urllib.parse
import uuid
import xml.etree.ElementTree as ElementTree

WEB_MODES = ("ok", "busy", "404", "authfail", "401", "garbled", "redirect", "hang", "reset", "huge")
CONSOLE_MODES = ("normal", "flood", "drop", "lie")
# What the lying console puts in place of the RX figure, in turn.
LIES = ("9" * 309, "1e300", "-123456789")
PAGE_LAYOUTS = ("classic", "firmware")
CONSOLE_LAYOUTS = ("classic", "busybox12")
UPNP_MODES = ("ok", "restart", "stuck", "refuse", "silent", "slow", "decoy", "trickle")
DECOY = "3999999999"
CRLF = "\r\n"

# Telnet option negotiation a console opens with: WILL ECHO, WILL SUPPRESS-GO-AHEAD, DO NAWS.
IAC_GREETING = bytes([255, 251, 1, 255, 251, 3, 255, 253, 31])


class Counters:
    """Two byte counters moving at a rate (optionally in a slow wave, so a
    demo has something to show), wrapping at 2**bits like a router's."""

    def __init__(self, rx_start, tx_start, rx_rate, tx_rate, bits, wave, refresh=0):
        self._lock = threading.Lock()
        self._epoch = time.monotonic()
        self.rx_rate, self.tx_rate = float(rx_rate), float(tx_rate)
        self._modulus = 2 ** bits
        self._wave = float(wave)
        # Like an agent that refreshes its counters every so many seconds:
        # between refreshes every reader sees the same figures.
        self._refresh = float(refresh)
        self._shown = None  # (since when, rx, tx)
        self._restart(rx_start, tx_start)

    def _moved(self, rate, since, now):
        """Bytes moved between two instants (seconds since the epoch)."""
        moved = rate * (now - since)
        if self._wave > 0:
            k = 2 * math.pi / self._wave
            moved += rate / k * (math.cos(k * since) - math.cos(k * now))
        return moved

    def _restart(self, rx, tx):
        self._since = time.monotonic() - self._epoch
        self._rx0, self._tx0 = int(rx), int(tx)
        self._shown = None  # a change made by hand shows at once

    def read(self):
        with self._lock:
            if self._refresh > 0:
                now = time.monotonic()
                if self._shown is None or now - self._shown[0] >= self._refresh:
                    since = now if self._shown is None else \
                        self._shown[0] + self._refresh * math.floor((now - self._shown[0]) / self._refresh)
                    self._shown = (since,) + self._read_unlocked()
                rx, tx = self._shown[1:]
            else:
                rx, tx = self._read_unlocked()
            return rx % self._modulus, tx % self._modulus

    def set(self, rx=None, tx=None):
        with self._lock:
            now_rx, now_tx = self._read_unlocked()
            self._restart(now_rx if rx is None else rx, now_tx if tx is None else tx)

    def _read_unlocked(self):
        now = time.monotonic() - self._epoch
        return (self._rx0 + int(self._moved(self.rx_rate, self._since, now)),
                self._tx0 + int(self._moved(self.tx_rate, self._since, now)))

    def set_rates(self, rx_rate=None, tx_rate=None):
        with self._lock:
            rx, tx = self._read_unlocked()
            self._restart(rx, tx)
            if rx_rate is not None:
                self.rx_rate = float(rx_rate)
            if tx_rate is not None:
                self.tx_rate = float(tx_rate)


# A rebooted router's counters start again from what the new PPP session has
# already moved.
REBOOT_RX, REBOOT_TX = 1480, 922


class Router:
    """Everything the servers share."""

    def __init__(self, args):
        self.user = args.user
        self.password = args.password
        self.mode = args.mode
        self.console_mode = args.console_mode
        self.page_layout = args.page_layout
        self.console_layout = args.console_layout
        self.wan_rows = args.wan_rows
        self.iac = args.iac
        self.counters = Counters(args.rx_start, args.tx_start, args.rx_rate, args.tx_rate,
                                 args.counter_bits, args.wave, args.counter_refresh)
        self.counter_bits = args.counter_bits
        self.snmp_mode = args.snmp_mode
        self.link_down, self.link_up = args.link_down, args.link_up
        self.external_ip = args.external_ip
        self.upnp_delay = args.upnp_delay
        self.trickle_every = args.trickle_every
        self.udn = None  # the gateway's root device, with --upnp
        self.restart_after = args.restart_after
        self.stop = threading.Event()
        self.wake = threading.Event()  # the main loop has something to do
        self.reboot_signalled = False  # set by SIGUSR1, done by the main loop
        self._lock = threading.Lock()
        self._connected_at = time.monotonic()
        self._restart_at = None
        self.upnp_mode = "ok"
        self.set_upnp_mode(args.upnp_mode)
        self.drop_after = args.drop_after
        self.lie_every = args.lie_every
        self.stats = {"web_requests": 0, "console_connections": 0, "logins": 0,
                      "failed_logins": 0, "ifconfig_replies": 0, "ssdp_searches": 0,
                      "ssdp_replies": 0, "upnp_requests": 0, "restarts": 0, "lies": 0,
                      "snmp_requests": 0, "snmp_answers": 0, "snmp_malformed": 0}
        # Per logged-in console session: its true replies (count, first and
        # last counters), lies, and whether it is still open.
        self.sessions = []
        # The WAN interface's ifCounterDiscontinuityTime (sysUpTime then).
        self.discontinuity = 0
        # The WAN interface's ifName when /simctl renamed it (as a router
        # that renumbers its interfaces gives the index another one).
        self.wan_ifname = None

    def new_session(self):
        with self._lock:
            self.sessions.append({"replies": 0, "lies": 0, "open": True, "rx_first": None, "tx_first": None,
                                  "rx_last": None, "tx_last": None})
            return len(self.sessions) - 1

    def session_reply(self, index, rx, tx, lie):
        with self._lock:
            s = self.sessions[index]
            if lie:
                s["lies"] += 1
                self.stats["lies"] += 1
                return
            s["replies"] += 1
            if s["rx_first"] is None:
                s["rx_first"], s["tx_first"] = rx, tx
            s["rx_last"], s["tx_last"] = rx, tx

    def session_closed(self, index):
        with self._lock:
            self.sessions[index]["open"] = False

    def count(self, key, n=1):
        with self._lock:
            self.stats[key] += n

    def set_upnp_mode(self, mode, restart_after=None):
        """In "restart" mode the router reboots once, a while after the mode is set."""
        with self._lock:
            self.upnp_mode = mode
            delay = self.restart_after if restart_after is None else restart_after
            self._restart_at = time.monotonic() + delay if mode == "restart" else None

    def reboot(self, rx=REBOOT_RX, tx=REBOOT_TX):
        """Counters from small values, the connection up again from now."""
        with self._lock:
            self._reboot_unlocked(rx, tx)

    def _reboot_unlocked(self, rx, tx):
        self.counters.set(rx, tx)
        self._connected_at = time.monotonic()
        self._restart_at = None
        self.discontinuity = 0
        self.stats["restarts"] += 1

    def poll(self):
        """Carries out a reboot that is due; every reading calls it first, so
        no answer shows the counters from before a reboot that has passed."""
        with self._lock:
            if self._restart_at is not None and time.monotonic() >= self._restart_at:
                self._reboot_unlocked(REBOOT_RX, REBOOT_TX)
            return None if self._restart_at is None else self._restart_at - time.monotonic()

    def read(self):
        self.poll()
        return self.counters.read()

    def uptime(self):
        self.poll()
        with self._lock:
            return int(time.monotonic() - self._connected_at)

    def uptime_ticks(self):
        """sysUpTime: hundredths of a second since the (re)boot."""
        self.poll()
        with self._lock:
            return int((time.monotonic() - self._connected_at) * 100) % U32

    def state(self):
        rx, tx = self.read()
        uptime = self.uptime()
        with self._lock:
            return dict(self.stats, mode=self.mode, console=self.console_mode, rx=rx, tx=tx,
                        upnp=self.upnp_mode, snmp=self.snmp_mode, uptime=uptime, udn=self.udn,
                        sessions=[dict(x) for x in self.sessions])


# ---- the statistics page -------------------------------------------------------

# The page is laid out so that the 21st "<td" is the "Received" heading, whose
# bytes figure starts 96 characters after it, and the 28th "<td" is the cell
# of the transmitted bytes. Router pages of this kind use CR LF.
INFO_ROWS = [("Service", "pppoe_0_38_1"), ("Interface", "ppp0"), ("Protocol", "PPPoE"),
             ("VPI/VCI", "0/38"), ("Status", "Up"), ("Connected for", "2d 04:17:52"),
             ("IP Address", "10.64.12.7"), ("Default Gateway", "10.64.0.1"),
             ("Primary DNS", "10.64.0.53"), ("Secondary DNS", "10.64.0.54")]


def _row(*cells):
    return "  <tr>" + CRLF + "".join("    " + c + CRLF for c in cells) + "  </tr>" + CRLF


def stats_page(rx, tx):
    rx_text, tx_text = (str(rx), str(tx)) if rx is not None else ("N/A", "N/A")
    rx_pkts = "N/A" if rx is None else str(rx // 612)
    tx_pkts = "N/A" if tx is None else str(tx // 187)
    parts = [
        "<html>", "<head>",
        '<meta http-equiv="Content-Type" content="text/html; charset=iso-8859-1">',
        '<link rel="stylesheet" href="stylemain.css" type="text/css">',
        "<title>WAN Statistics</title>", "</head>", "<body>", "<blockquote>",
        "<b>WAN Statistics</b><br><br>",
        '<table border="1" cellpadding="4" cellspacing="0">',
    ]
    page = CRLF.join(parts) + CRLF
    for label, value in INFO_ROWS:
        page += _row('<td class="hd">%s</td>' % label, "<td>%s</td>" % value)
    page += _row('<td class="hd" colspan="2">Received</td>')
    page += _row('<td class="hd">Octets</td>', "<td>%s</td>" % rx_text)
    page += _row('<td class="hd">Packets</td>', "<td>%s</td>" % rx_pkts)
    page += _row('<td class="hd" colspan="2">Transmitted</td>')
    page += _row('<td class="hd">Octets</td>', "<td>%s</td>" % tx_text)
    page += _row('<td class="hd">Packets</td>', "<td>%s</td>" % tx_pkts)
    page += CRLF.join([
        "</table>", "<br>",
        '<form method="post" action="statswan.cmd">',
        '<input type="hidden" name="action" value="reset">',
        '<input type="submit" value="Reset Statistics">',
        "</form>", "</blockquote>", "</body>", "</html>", ""])
    return page


def _walk(page, cells):
    s = page
    for _ in range(cells):
        s = s[s.lower().find("<td") + 1 + 2:]
    return s


def counters_as_read(page):
    """The two counter texts where the monitor looks for them (a self-check)."""
    s = _walk(page, 21)[89:]
    incoming = s[7:s.lower().find("</td>")]
    s = _walk(page, 28)
    outgoing = s[1:s.lower().find("</td>")]
    return incoming, outgoing


# ---- the statistics page as the firmware writes it ---------------------------

U32 = 2 ** 32

# Bridged services the firmware lists before the PPPoE connection: they carry
# almost nothing, so their counters stand still.
BRIDGED_ROWS = [("nas_0_35", "br_0_35", 18432, 5120), ("nas_0_36", "br_0_36", 9216, 2304),
                ("nas_0_37", "br_0_37", 4608, 1536), ("nas_8_35", "br_8_35", 2048, 1024)]
MAX_WAN_ROWS = len(BRIDGED_ROWS) + 1

FIRMWARE_HEAD = CRLF.join([
    "<HTML>", "<HEAD>",
    "<META HTTP-EQUIV='Pragma' CONTENT='no-cache'>",
    '<meta http-equiv="refresh" content="15; url=statswan.cmd">',
    "<LINK rel='stylesheet' href='stylemain.css' type='text/css'>",
    '<link rel="stylesheet" href="colors.css" type="text/css">',
    '<script language="javascript">',
    "<!-- hide",
    "function resetClick() {",
    "   var loc = 'statswan.cmd?action=reset';",
    "   var code = 'location=\"' + loc + '\"';",
    "   eval(code);",
    "}",
    "function cell(v) { if (v < 0) return '<td>-</td>'; return '<td>' + v + '</td>'; }",
    "// done hiding -->",
    "</script>",
    "<title>WAN Statistics</title>",
    "</HEAD>", ""])

FIRMWARE_GROUPS = ("Total", "Multicast")
FIRMWARE_FIGURES = ("Bytes", "Pkts", "Errs", "Drops")


def _figure_cell(value):
    text = "N/A" if value is None else str(value % U32)
    return "      <TD align='right'>" + CRLF + "        " + text + CRLF + "      </TD>" + CRLF


def _firmware_row(name, description, rx, tx, moving):
    """Received then transmitted: Total bytes, pkts, errs, drops, then the
    same for multicast. `moving` rows derive packets from bytes."""
    def group(total, size, drops):
        if total is None:
            return [None] * 8
        multicast = total // 97
        return [total, total // size, 0, drops, multicast, multicast // 1316, 0, 0]
    cells = group(rx, 612 if moving else 192, 3 if moving else 0) + group(tx, 187 if moving else 128, 0)
    out = "  <Tr>" + CRLF
    out += '      <td class="hd">' + name + "</td>" + CRLF
    out += "      <td>" + CRLF + "        " + description + CRLF + "      </td>" + CRLF
    out += "".join(_figure_cell(v) for v in cells)
    return out + "  </Tr>" + CRLF


def firmware_page(rx, tx, wan_rows=1):
    """One table: the header rows name the columns by spans (Interface and
    Description over three rows; Received and Transmitted over a Total and a
    Multicast group; Bytes, Pkts, Errs, Drops under each), then one row per
    WAN connection, the bridged services first and the PPPoE connection,
    whose counters move, last. Every figure wraps at 2**32 as the firmware's
    unsigned longs do. None for rx and tx gives "N/A" figures."""
    span = len(FIRMWARE_GROUPS) * len(FIRMWARE_FIGURES)
    page = FIRMWARE_HEAD + CRLF.join([
        "<BODY>", "<blockquote>", "<form>",
        "<b>WAN Statistics</b><br><br>",
        '<TABLE border="1" cellpadding=\'4\' cellspacing="0">', ""])
    page += "  <TR>" + CRLF
    page += '      <TD class="hd" ROWSPAN="3">Interface</TD>' + CRLF
    page += "      <td class='hd' rowspan='3'>Description</td>" + CRLF
    for direction in ("Received", "Transmitted"):
        page += '      <td class="hd" colspan="%d" align="center">%s</td>' % (span, direction) + CRLF
    page += "  </TR>" + CRLF + "  <tr>" + CRLF
    for _ in ("Received", "Transmitted"):
        for g in FIRMWARE_GROUPS:
            page += "      <TD class='hd' COLSPAN='%d' align='center'>%s</TD>" % (len(FIRMWARE_FIGURES), g) + CRLF
    page += "  </tr>" + CRLF + "  <tr>" + CRLF
    for _ in range(2 * len(FIRMWARE_GROUPS)):
        page += "".join('      <td class="hd">%s</td>' % f + CRLF for f in FIRMWARE_FIGURES)
    page += "  </tr>" + CRLF
    for name, description, b_rx, b_tx in BRIDGED_ROWS[:max(0, wan_rows - 1)]:
        page += _firmware_row(name, description, b_rx, b_tx, moving=False)
    page += _firmware_row("ppp0", "pppoe_0_38_1", rx, tx, moving=True)
    page += CRLF.join([
        "</TABLE>", "<br>",
        "<input type='button' onClick='resetClick()' value='Reset Statistics'>",
        "</form>", "</blockquote>", "</body>", "</HTML>", ""])
    return page


def _simple_page(title, text):
    return ("<html><head><title>%s</title></head><body><blockquote><h4>%s</h4>%s</blockquote>"
            "</body></html>%s" % (title, title, text, CRLF))


BUSY_PAGE = _simple_page("Server Busy", "The router is busy with another session. Please try again later.")
NOT_FOUND_PAGE = _simple_page("Error 404", "The requested URL was not found on this router.")
AUTH_FAILED_PAGE = _simple_page("System Authentication Failed",
                                "The user name or password is not correct.")
BARE_401_PAGE = _simple_page("401 Unauthorized", "Authorization required.")


class WebHandler(http.server.BaseHTTPRequestHandler):
    server_version = "micro_httpd"
    sys_version = ""
    router = None  # set on the subclass made for each server

    def log_message(self, *args):  # quiet: tests read stdout
        pass

    def _send(self, status, body, extra=()):
        data = body.encode("latin-1")
        self.send_response(status)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(data)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def _authorised(self):
        header = self.headers.get("Authorization", "")
        if not header.startswith("Basic "):
            return False
        try:
            decoded = base64.b64decode(header[6:], validate=True).decode("latin-1")
        except ValueError:
            return False
        user, _, password = decoded.partition(":")
        return user == self.router.user and password == self.router.password

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/simctl":
            return self._control(urllib.parse.parse_qs(url.query))
        self.router.count("web_requests")
        if url.path != "/statswan.cmd":
            return self._send(404, NOT_FOUND_PAGE)
        mode = self.router.mode
        challenge = [("WWW-Authenticate", 'Basic realm="DSL Router"')]
        if mode == "busy":
            return self._send(200, BUSY_PAGE)
        if mode == "404":
            return self._send(404, NOT_FOUND_PAGE)
        if mode == "authfail":
            return self._send(401, AUTH_FAILED_PAGE, challenge)
        if mode == "401":
            return self._send(401, BARE_401_PAGE, challenge)
        if mode == "redirect":
            return self._send(302, _simple_page("Moved", "The page has moved."),
                              [("Location", "/statswan.cmd?moved=1")])
        if mode == "hang":
            self.router.stop.wait()
            return None
        if not self._authorised():
            return self._send(401, AUTH_FAILED_PAGE, challenge)
        rx, tx = self.router.read()
        layout = firmware_page if self.router.page_layout == "firmware" else stats_page
        rows = {"wan_rows": self.router.wan_rows} if layout is firmware_page else {}
        if mode == "garbled":
            return self._send(200, layout(None, None, **rows))
        page = layout(rx, tx, **rows)
        if mode == "huge":
            page = page.replace("</body>", "<!-- " + "x" * (2 * 1024 * 1024) + " --></body>")
        if mode == "reset":
            data = page.encode("latin-1")
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data[:len(data) // 2])
            # Close with a reset, not a clean end.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.close_connection = True
            return None
        return self._send(200, page)

    def _control(self, query):
        status, body = control(self.router, query)
        return self._send(status, body)


def control(r, query):
    """/simctl: changes what the query asks for, answers the state as JSON."""
    try:
        if "mode" in query:
            if query["mode"][0] not in WEB_MODES:
                raise ValueError("unknown mode")
            r.mode = query["mode"][0]
        if "console" in query:
            if query["console"][0] not in CONSOLE_MODES:
                raise ValueError("unknown console mode")
            r.console_mode = query["console"][0]
        if "upnp" in query:
            if query["upnp"][0] not in UPNP_MODES:
                raise ValueError("unknown upnp mode")
            delay = float(query["restart_after"][0]) if "restart_after" in query else None
            if delay is not None and not (0 <= delay < 1e9):
                raise ValueError("restart_after out of range")
            r.set_upnp_mode(query["upnp"][0], delay)
            r.wake.set()
        if "snmp" in query:
            if query["snmp"][0] not in SNMP_MODES:
                raise ValueError("unknown snmp mode")
            r.snmp_mode = query["snmp"][0]
        if "discontinuity" in query:
            r.discontinuity = r.uptime_ticks()
        if "wan_ifname" in query:
            name = query["wan_ifname"][0]
            if not (0 < len(name) <= 32 and name.isascii() and name.isprintable()):
                raise ValueError("wan_ifname must be 1 to 32 printable ASCII characters")
            r.wan_ifname = name
        if "reset" in query:
            r.reboot(0, 0)
        if "restart" in query:
            r.reboot()
        if "rx" in query or "tx" in query:
            r.counters.set(int(query["rx"][0]) if "rx" in query else None,
                           int(query["tx"][0]) if "tx" in query else None)
        if "rx_rate" in query or "tx_rate" in query:
            r.counters.set_rates(float(query["rx_rate"][0]) if "rx_rate" in query else None,
                                 float(query["tx_rate"][0]) if "tx_rate" in query else None)
    except ValueError as e:
        return 400, json.dumps({"error": str(e)})
    return 200, json.dumps(r.state())


# ---- the console ---------------------------------------------------------------

def human_size(n):
    value, unit = float(n), "B"
    for next_unit in ("KiB", "MiB", "GiB", "TiB"):
        if value < 1024:
            break
        value, unit = value / 1024, next_unit
    return "%.1f %s" % (value, unit)


def _interface(name, encap, addr_line, flags, mtu, rx, tx, txqueuelen, width=10):
    """One interface's block; `width` is the name column's, continuation
    lines indented by as much (BusyBox 1.2 and later: 15 and a blank)."""
    head = "%-*s" % (width, name) if width == 10 else "%-*s " % (width, name)
    indent = " " * (10 if width == 10 else width + 1)
    lines = [
        "%sLink encap:%s  " % (head, encap),
        indent + addr_line,
        indent + "%s  MTU:%d  Metric:1" % (flags, mtu),
        indent + "RX packets:%d errors:0 dropped:0 overruns:0 frame:0" % (rx // 612),
        indent + "TX packets:%d errors:0 dropped:0 overruns:0 carrier:0" % (tx // 187),
        indent + "collisions:0 txqueuelen:%d " % txqueuelen,
        indent + "RX bytes:%d (%s)  TX bytes:%d (%s)" % (rx, human_size(rx), tx, human_size(tx)),
        "",
    ]
    return CRLF.join(lines) + CRLF


def ifconfig_reply(rx, tx, layout="classic"):
    """ifconfig's layout: the LAN bridge and loopback first, the PPP link,
    then the interface under it. BusyBox 1.2 and later spell the PPP
    encapsulation "Point-to-Point Protocol", print the names in a column of
    15 and the figures as 64-bit numbers (the counters' own width still
    decides where they wrap)."""
    newer = layout == "busybox12"
    width = 15 if newer else 10
    lan_rx, lan_tx = (tx * 3) // 2 + 48213, (rx * 5) // 4 + 91377
    return (_interface("br0", "Ethernet  HWaddr 00:90:4C:60:12:34",
                       "inet addr:192.168.1.1  Bcast:192.168.1.255  Mask:255.255.255.0",
                       "UP BROADCAST RUNNING MULTICAST", 1500, lan_rx, lan_tx, 0, width)
            + _interface("lo", "Local Loopback", "inet addr:127.0.0.1  Mask:255.0.0.0",
                         "UP LOOPBACK RUNNING", 16436, 31234, 31234, 0, width)
            + _interface("ppp0", "Point-to-Point Protocol" if newer else "Point-Point Protocol",
                         "inet addr:10.64.12.7  P-t-P:10.64.0.1  Mask:255.255.255.255",
                         "UP POINTOPOINT RUNNING NOARP MULTICAST", 1492, rx, tx, 3, width)
            + _interface("pppoe_0_38_1" if newer else "nas_0_38", "Ethernet  HWaddr 00:90:4C:60:12:35",
                         "inet6 addr: fe80::290:4cff:fe60:1235/64 Scope:Link",
                         "UP BROADCAST RUNNING MULTICAST", 1500, rx + 1234567, tx + 765432, 1000, width))


class ConsoleHandler(socketserver.BaseRequestHandler):
    router = None

    def setup(self):
        self.request.settimeout(0.25)
        # Each answer leaves at once (no waiting for the echo's ACK), so a
        # reply counted as sent has arrived.
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self._pending = b""

    def _send(self, text):
        self.request.sendall(text.encode("latin-1") if isinstance(text, str) else text)

    def _read_line(self, echo=True):
        """One line without its end (CR LF, LF, CR NUL or CR); telnet commands
        dropped. None when the peer has gone or we are stopping."""
        while True:
            ends = [i for i in (self._pending.find(b"\r"), self._pending.find(b"\n")) if i >= 0]
            if ends:
                i = min(ends)
                if self._pending[i:i + 1] == b"\n":
                    size = 1
                elif i + 1 < len(self._pending):
                    size = 2 if self._pending[i + 1:i + 2] in (b"\n", b"\x00") else 1
                else:
                    size = 0  # a CR at the end: its LF may still be on the way
                if size:
                    line, self._pending = self._pending[:i], self._pending[i + size:]
                    if echo:
                        self._send(line + b"\r\n")
                    return line.decode("latin-1")
            if self.router.stop.is_set():
                return None
            try:
                data = self.request.recv(4096)
            except socket.timeout:
                continue
            except OSError:
                return None
            if not data:
                return None
            self._pending += _strip_telnet_commands(data)

    def handle(self):
        r = self.router
        r.count("console_connections")
        try:
            if r.console_mode == "flood":
                return self._flood()
            if r.iac:
                self._send(IAC_GREETING)
            self._send(CRLF + "ADSL Router Console" + CRLF)
            while True:
                self._send(CRLF + "Login: ")
                user = self._read_line()
                if user is None:
                    return
                self._send("Password: ")
                password = self._read_line(echo=False)
                if password is None:
                    return
                if user == r.user and password == r.password:
                    break
                self._send(CRLF + "Login incorrect" + CRLF)
                r.count("failed_logins")
            self._send(CRLF + CRLF + "BusyBox built-in shell (ash)" + CRLF
                       + "Enter 'help' for a list of built-in commands." + CRLF + CRLF + "> ")
            session = r.new_session()
            r.count("logins")  # counted once the prompt is on its way: tests wait for it
            try:
                self._session(session)
            finally:
                r.session_closed(session)
        except OSError:
            return

    def _session(self, session):
        r = self.router
        replies = 0
        while True:
            line = self._read_line()
            if line is None:
                return
            command = line.strip()
            if command == "ifconfig":
                if r.console_mode == "drop" and replies >= r.drop_after:
                    return  # the router ends the session instead of answering
                rx, tx = r.read()
                replies += 1
                lie = r.console_mode == "lie" and replies % r.lie_every == 0
                reply = ifconfig_reply(rx, tx, r.console_layout)
                if lie:
                    with r._lock:
                        told = LIES[r.stats["lies"] % len(LIES)]
                    reply = reply.replace("RX bytes:%d (" % rx, "RX bytes:%s (" % told, 1)
                self._send(reply + "> ")
                # Recorded once sent: what a test reads back has left.
                r.session_reply(session, rx, tx, lie)
                r.count("ifconfig_replies")
            elif command in ("exit", "logout"):
                return
            elif command == "":
                self._send("> ")
            else:
                self._send("sh: %s: not found" % command + CRLF + "> ")

    def _flood(self):
        """Numbered lines as fast as the peer takes them, none lost or
        repeated, until it goes away."""
        n = 0
        while not self.router.stop.is_set():
            view = memoryview("".join("%09d\n" % i for i in range(n, n + 6554)).encode("ascii"))
            n += 6554
            while view and not self.router.stop.is_set():
                try:
                    view = view[self.request.send(view):]
                except socket.timeout:
                    continue
                except OSError:
                    return


def _strip_telnet_commands(data):
    out, i = bytearray(), 0
    while i < len(data):
        b = data[i]
        if b != 255:
            out.append(b)
            i += 1
        elif i + 1 < len(data) and data[i + 1] == 255:
            out.append(255)
            i += 2
        elif i + 1 < len(data) and data[i + 1] in (251, 252, 253, 254):
            i += 3
        elif i + 1 < len(data) and data[i + 1] == 250:  # sub-negotiation up to IAC SE
            end = data.find(bytes([255, 240]), i + 2)
            i = len(data) if end < 0 else end + 2
        else:
            i += 2
    return bytes(out)


# ---- the UPnP Internet Gateway Device -------------------------------------------

SSDP_GROUP, SSDP_PORT = "239.255.255.250", 1900
UPNP_SERVER = "Linux/2.6.8 UPnP/1.0 simrouter/1.0"
SOAP_ENV = "http://schemas.xmlsoap.org/soap/envelope/"
MAX_SOAP_BODY = 64 * 1024
DEVICE = "urn:schemas-upnp-org:device:"
SERVICE = "urn:schemas-upnp-org:service:"


class Service:
    def __init__(self, kind, version, name, actions):
        self.type = "%s%s:%d" % (SERVICE, kind, version)
        self.kind, self.version = kind, version
        self.control_url = "/ctl/" + name
        self.event_url = "/evt/" + name
        self.scpd_url = "/" + name + ".xml"
        self.actions = actions  # name -> [(argument, direction, state variable)]

    def scpd(self):
        variables = sorted({v for args in self.actions.values() for _, _, v in args})
        out = ['<?xml version="1.0"?>', '<scpd xmlns="urn:schemas-upnp-org:service-1-0">',
               "<specVersion><major>1</major><minor>0</minor></specVersion>", "<actionList>"]
        for action, args in self.actions.items():
            out.append("<action><name>%s</name><argumentList>" % action)
            out += ["<argument><name>%s</name><direction>%s</direction>"
                    "<relatedStateVariable>%s</relatedStateVariable></argument>" % a for a in args]
            out.append("</argumentList></action>")
        out.append("</actionList><serviceStateTable>")
        out += ['<stateVariable sendEvents="no"><name>%s</name><dataType>%s</dataType></stateVariable>'
                % (v, STATE_TYPES.get(v, "string")) for v in variables]
        out.append("</serviceStateTable></scpd>")
        return "\r\n".join(out) + "\r\n"


STATE_TYPES = {"TotalBytesReceived": "ui4", "TotalBytesSent": "ui4", "TotalPacketsReceived": "ui4",
               "TotalPacketsSent": "ui4", "Layer1UpstreamMaxBitRate": "ui4",
               "Layer1DownstreamMaxBitRate": "ui4", "Uptime": "ui4"}


def _out(*pairs):
    return [(name, "out", variable) for name, variable in pairs]


COMMON_ACTIONS = {
    "GetCommonLinkProperties": _out(("NewWANAccessType", "WANAccessType"),
                                    ("NewLayer1UpstreamMaxBitRate", "Layer1UpstreamMaxBitRate"),
                                    ("NewLayer1DownstreamMaxBitRate", "Layer1DownstreamMaxBitRate"),
                                    ("NewPhysicalLinkStatus", "PhysicalLinkStatus")),
    "GetTotalBytesSent": _out(("NewTotalBytesSent", "TotalBytesSent")),
    "GetTotalBytesReceived": _out(("NewTotalBytesReceived", "TotalBytesReceived")),
    "GetTotalPacketsSent": _out(("NewTotalPacketsSent", "TotalPacketsSent")),
    "GetTotalPacketsReceived": _out(("NewTotalPacketsReceived", "TotalPacketsReceived")),
}
CONNECTION_ACTIONS = {
    "GetConnectionTypeInfo": _out(("NewConnectionType", "ConnectionType"),
                                  ("NewPossibleConnectionTypes", "PossibleConnectionTypes")),
    "GetStatusInfo": _out(("NewConnectionStatus", "ConnectionStatus"),
                          ("NewLastConnectionError", "LastConnectionError"), ("NewUptime", "Uptime")),
    "GetExternalIPAddress": _out(("NewExternalIPAddress", "ExternalIPAddress")),
}


class Gateway:
    """The device tree: InternetGatewayDevice > WANDevice (with
    WANCommonInterfaceConfig) > WANConnectionDevice (with WANIPConnection or
    WANPPPConnection). Version 2 of the device types keeps
    WANCommonInterfaceConfig:1 and WANPPPConnection:1, as the standard does."""

    def __init__(self, router, address, port, version, connection, url_base, claim=None):
        self.router = router
        self.address = address
        self.location = "http://%s:%d/rootDesc.xml" % (address, port)
        # What discovery and the description name: another address if claimed.
        named = claim if claim and not url_base else address
        self.announced = "http://%s:%d/rootDesc.xml" % (named, port)
        self.url_base = "http://%s:%d/" % (claim or address, port) if url_base else None
        ids = ["uuid:" + str(uuid.uuid5(uuid.NAMESPACE_URL, "simrouter:%s:%d:%s" % (address, port, part)))
               for part in ("igd", "wan", "wanconn")]
        router.udn = ids[0]
        self.common = Service("WANCommonInterfaceConfig", 1, "CmnIfCfg", COMMON_ACTIONS)
        if connection == "ppp":
            self.connection = Service("WANPPPConnection", 1, "PPPConn", CONNECTION_ACTIONS)
        else:
            self.connection = Service("WANIPConnection", version, "IPConn", CONNECTION_ACTIONS)
        # (device type, UDN, friendly name, services), outermost first
        self.devices = [("%sInternetGatewayDevice:%d" % (DEVICE, version), ids[0], "ADSL Router", []),
                        ("%sWANDevice:%d" % (DEVICE, version), ids[1], "WANDevice", [self.common]),
                        ("%sWANConnectionDevice:%d" % (DEVICE, version), ids[2], "WANConnectionDevice",
                         [self.connection])]
        self.services = [self.common, self.connection]

    # -- discovery

    def search_answers(self, target):
        """(ST, USN) pairs answering an M-SEARCH for `target`. A device or
        service answers searches for its own version and older ones, with the
        version searched for."""
        root = self.devices[0][1]
        everything = [("upnp:rootdevice", root + "::upnp:rootdevice")]
        for kind, udn, _, services in self.devices:
            everything.append((udn, udn))
            everything.append((kind, udn + "::" + kind))
            everything += [(s.type, udn + "::" + s.type) for s in services]
        if target == "ssdp:all":
            return everything
        answers = []
        for st, usn in everything:
            if st == target:
                answers.append((st, usn))
            elif st.startswith("urn:") and target.startswith("urn:"):
                offered, _, have = st.rpartition(":")
                wanted, _, want = target.rpartition(":")
                if offered == wanted and want.isdigit() and 1 <= int(want) <= int(have):
                    answers.append((target, usn.rpartition("::")[0] + "::" + target))
        return answers

    def search_reply(self, st, usn):
        return ("HTTP/1.1 200 OK\r\n"
                "CACHE-CONTROL: max-age=1800\r\n"
                "DATE: %s\r\n"
                "EXT:\r\n"
                "LOCATION: %s\r\n"
                "SERVER: %s\r\n"
                "ST: %s\r\n"
                "USN: %s\r\n\r\n" % (email.utils.formatdate(usegmt=True), self.announced,
                                               UPNP_SERVER, st, usn))

    # -- description

    def description(self):
        def device(index):
            kind, udn, name, services = self.devices[index]
            out = ["<device>", "<deviceType>%s</deviceType>" % kind,
                   "<friendlyName>%s</friendlyName>" % name,
                   "<manufacturer>Simulated</manufacturer>",
                   "<modelDescription>ADSL Router</modelDescription>",
                   "<modelName>simrouter</modelName>", "<modelNumber>1</modelNumber>",
                   "<UDN>%s</UDN>" % udn]
            out.append("<serviceList>")
            for s in services:
                out += ["<service>", "<serviceType>%s</serviceType>" % s.type,
                        "<serviceId>urn:upnp-org:serviceId:%s1</serviceId>" % s.kind,
                        "<SCPDURL>%s</SCPDURL>" % s.scpd_url, "<controlURL>%s</controlURL>" % s.control_url,
                        "<eventSubURL>%s</eventSubURL>" % s.event_url, "</service>"]
            out.append("</serviceList>")
            if index + 1 < len(self.devices):
                out += ["<deviceList>"] + device(index + 1) + ["</deviceList>"]
            return out + ["</device>"]
        out = ['<?xml version="1.0"?>', '<root xmlns="urn:schemas-upnp-org:device-1-0">',
               "<specVersion><major>1</major><minor>0</minor></specVersion>"]
        if self.url_base:
            out.append("<URLBase>%s</URLBase>" % self.url_base)
        return "\r\n".join(out + device(0) + ["</root>", ""])

    def document(self, path):
        if path == "/rootDesc.xml":
            return self.description()
        for s in self.services:
            if path == s.scpd_url:
                return s.scpd()
        return None

    # -- control

    def call(self, service, action):
        """The answer's arguments, or (code, description) of a UPnP error."""
        r = self.router
        if action not in service.actions:
            return 401, "Invalid Action"
        if r.upnp_mode == "refuse":
            return 501, "Action Failed"
        rx, tx = r.read()
        values = {
            "GetTotalBytesReceived": lambda: [rx % U32],
            "GetTotalBytesSent": lambda: [tx % U32],
            "GetTotalPacketsReceived": lambda: [(rx // 612) % U32],
            "GetTotalPacketsSent": lambda: [(tx // 187) % U32],
            "GetCommonLinkProperties": lambda: ["DSL", r.link_up, r.link_down, "Up"],
            "GetConnectionTypeInfo": lambda: ["IP_Routed", "IP_Routed"],
            "GetStatusInfo": lambda: ["Connected", "ERROR_NONE", r.uptime()],
            "GetExternalIPAddress": lambda: [r.external_ip],
        }[action]()
        if r.upnp_mode == "stuck" and action in ("GetTotalBytesReceived", "GetTotalBytesSent"):
            values = [U32 - 1]
        return [(name, str(v)) for (name, _, _), v in zip(service.actions[action], values)]


def soap_envelope(inner):
    return ('<?xml version="1.0"?>\r\n<s:Envelope xmlns:s="%s" '
            's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>%s</s:Body></s:Envelope>\r\n'
            % (SOAP_ENV, inner))


def soap_fault(code, description):
    return soap_envelope("<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring>"
                         '<detail><UPnPError xmlns="urn:schemas-upnp-org:control-1-0">'
                         "<errorCode>%d</errorCode><errorDescription>%s</errorDescription>"
                         "</UPnPError></detail></s:Fault>" % (code, description))


def _body_action(body):
    """The local name of the Body's first element, None if the body is no
    SOAP envelope."""
    try:
        root = ElementTree.fromstring(body)
    except ElementTree.ParseError:
        return None
    envelope_body = root.find("{%s}Body" % SOAP_ENV)
    if envelope_body is None or len(envelope_body) == 0:
        return None
    return envelope_body[0].tag.rpartition("}")[2]


class UpnpHandler(http.server.BaseHTTPRequestHandler):
    """Descriptions by GET, actions by POST, on connections kept open."""
    protocol_version = "HTTP/1.1"
    server_version = "simrouter/1.0"
    sys_version = ""
    timeout = 60  # an idle kept-alive connection is closed after this
    gateway = None

    def log_message(self, *args):
        pass

    def _send(self, status, body, content_type='text/xml; charset="utf-8"', extra=()):
        data = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Server", UPNP_SERVER)
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/simctl":
            status, body = control(self.gateway.router, urllib.parse.parse_qs(url.query))
            return self._send(status, body, "application/json")
        document = self.gateway.document(url.path)
        if document is None:
            return self._send(404, "<html><body>Not Found</body></html>", "text/html")
        if self.gateway.router.upnp_mode == "trickle":
            return self._trickle(document.encode("utf-8"))
        return self._send(200, document)

    def _trickle(self, data):
        self.send_response(200)
        self.send_header("Content-Type", 'text/xml; charset="utf-8"')
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.flush()
        r = self.gateway.router
        for i in range(len(data)):
            if r.stop.wait(r.trickle_every if i else 0):
                break
            try:
                self.wfile.write(data[i:i + 1])
                self.wfile.flush()
            except OSError:
                break
        self.close_connection = True

    def do_POST(self):
        try:
            length = int(self.headers.get("Content-Length", "0"))
        except ValueError:
            length = -1
        if length < 0 or length > MAX_SOAP_BODY or "chunked" in self.headers.get("Transfer-Encoding", ""):
            self.close_connection = True
            return self._send(413 if length > MAX_SOAP_BODY else 400, "<html><body>Bad Request</body></html>",
                              "text/html")
        body = self.rfile.read(length)
        path = urllib.parse.urlsplit(self.path).path
        service = next((s for s in self.gateway.services if s.control_url == path), None)
        if service is None:
            return self._send(404, "<html><body>Not Found</body></html>", "text/html")
        self.gateway.router.count("upnp_requests")
        kind, _, action = self.headers.get("SOAPAction", "").strip().strip('"').partition("#")
        prefix, _, version = kind.rpartition(":")
        same_service = (prefix == SERVICE + service.kind and version.isdigit()
                        and 1 <= int(version) <= service.version)
        named = _body_action(body)
        if not same_service or (named is not None and named != action):
            answer = (401, "Invalid Action")
        else:
            answer = self.gateway.call(service, action)
        if isinstance(answer, tuple):
            return self._send(500, soap_fault(*answer), extra=[("EXT", "")])
        arguments = "".join("<%s>%s</%s>" % (name, value, name) for name, value in answer)
        if self.gateway.router.upnp_mode == "decoy":
            arguments = "".join("<%sX>%s</%sX><%s>%s</%s>" % (name, DECOY, name, name, value, name)
                                for name, value in answer)
        elif self.gateway.router.upnp_mode == "slow":
            self.gateway.router.stop.wait(self.gateway.router.upnp_delay)
        return self._send(200, soap_envelope('<u:%sResponse xmlns:u="%s">%s</u:%sResponse>'
                                             % (action, kind, arguments, action)), extra=[("EXT", "")])

    def do_SUBSCRIBE(self):
        path = urllib.parse.urlsplit(self.path).path
        if not any(s.event_url == path for s in self.gateway.services):
            return self._send(404, "", "text/html")
        sid = self.headers.get("SID") or "uuid:" + str(uuid.uuid4())
        return self._send(200, "", "text/html", [("SID", sid), ("TIMEOUT", "Second-1800")])

    def do_UNSUBSCRIBE(self):
        path = urllib.parse.urlsplit(self.path).path
        found = any(s.event_url == path for s in self.gateway.services)
        return self._send(200 if found else 404, "", "text/html")


class SsdpResponder:
    """Answers M-SEARCH requests sent to the SSDP group over the loopback
    interface, and unicast ones sent to our address, from our address. Each
    simulated router has its own sockets: port 1900 is shared."""

    def __init__(self, gateway):
        self.gateway = gateway
        self.group = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.own = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            for s in (self.group, self.own):
                s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEPORT, 1)
            self.group.bind((SSDP_GROUP, SSDP_PORT))
            group = socket.inet_aton(SSDP_GROUP)
            try:
                membership = struct.pack("4s4si", group, socket.inet_aton("0.0.0.0"), socket.if_nametoindex("lo"))
            except OSError:
                membership = group + socket.inet_aton("127.0.0.1")
            self.group.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, membership)
            # Only the groups this socket joined (on loopback), not those any
            # other program joined on another interface.
            self.group.setsockopt(socket.IPPROTO_IP, getattr(socket, "IP_MULTICAST_ALL", 49), 0)
            self.own.bind((gateway.address, SSDP_PORT))
        except OSError:
            self.close()
            raise

    def serve(self, stop):
        while not stop.is_set():
            try:
                ready, _, _ = select.select([self.group, self.own], [], [], 0.2)
            except (OSError, ValueError):
                return
            for s in ready:
                try:
                    data, peer = s.recvfrom(2048)
                except OSError:
                    continue
                self._answer(data, peer)

    def _answer(self, data, peer):
        # A search sent to the group without a multicast interface leaves
        # loopback with no source address (lo's 127.0.0.1 is host-scoped);
        # an answer to 0.0.0.0 still reaches it, on this host.
        sender = ipaddress.ip_address(peer[0])
        if not (sender.is_loopback or sender.is_unspecified):
            return
        lines = data.decode("latin-1").split("\r\n") if b"\r\n" in data else data.decode("latin-1").split("\n")
        if not lines or not lines[0].upper().startswith("M-SEARCH * HTTP/1."):
            return
        headers = {}
        for line in lines[1:]:
            name, colon, value = line.partition(":")
            if colon:
                headers[name.strip().upper()] = value.strip()
        if headers.get("MAN", "").strip('"').lower() != "ssdp:discover" or "ST" not in headers:
            return
        r = self.gateway.router
        r.count("ssdp_searches")
        if r.upnp_mode == "silent":
            return
        answers = self.gateway.search_answers(headers["ST"])
        if r.upnp_mode == "trickle":
            # Late, so that it is the last to answer.
            threading.Timer(0.5, self._send_answers, (answers, peer)).start()
        else:
            self._send_answers(answers, peer)

    def _send_answers(self, answers, peer):
        for st, usn in answers:
            try:
                self.own.sendto(self.gateway.search_reply(st, usn).encode("latin-1"), peer)
            except OSError:
                return
        self.gateway.router.count("ssdp_replies", len(answers))

    def close(self):
        self.group.close()
        self.own.close()


# ---- the SNMP agent --------------------------------------------------------------

# BER, as far as SNMP v1 and v2c need it.
INTEGER, OCTETS, NULL, OBJECT_ID, SEQUENCE = 0x02, 0x04, 0x05, 0x06, 0x30
COUNTER32, GAUGE32, TIMETICKS, COUNTER64 = 0x41, 0x42, 0x43, 0x46
NO_SUCH_INSTANCE, END_OF_MIB_VIEW = 0x81, 0x82
GET, GETNEXT, RESPONSE, GETBULK = 0xA0, 0xA1, 0xA2, 0xA5
NO_SUCH_NAME = 2
LARGEST_REPLY = 65000  # a UDP datagram, with room to spare

SNMP_MODES = ("ok", "v1only", "stuck", "silent", "huge", "negative", "wrongtype", "endless", "malformed",
              "wrongid", "bigreply")
SNMP_LAYOUTS = ("inet", "ipcidr", "ppp", "pppoe", "busiest")

SYS_DESCR = (1, 3, 6, 1, 2, 1, 1, 1, 0)
SYS_UPTIME = (1, 3, 6, 1, 2, 1, 1, 3, 0)
IF_NUMBER = (1, 3, 6, 1, 2, 1, 2, 1, 0)
IF_ENTRY = (1, 3, 6, 1, 2, 1, 2, 2, 1)
IF_X_ENTRY = (1, 3, 6, 1, 2, 1, 31, 1, 1, 1)
INET_CIDR_ROUTE_IF_INDEX = (1, 3, 6, 1, 2, 1, 4, 24, 7, 1, 7)
IP_CIDR_ROUTE_IF_INDEX = (1, 3, 6, 1, 2, 1, 4, 4, 1, 5)
GATEWAY_IP = (10, 64, 0, 1)
LAN_NET, LAN_MASK = (192, 168, 1, 0), (255, 255, 255, 0)
# A LAN port's counters: more than the WAN's, so that "the busiest" would be wrong.
LAN_RX, LAN_TX = 3000000000, 2900000000


def ber_tlv(tag, content):
    n = len(content)
    length = bytes([n]) if n < 0x80 else bytes([0x80 | ((n.bit_length() + 7) // 8)]) + \
        n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([tag]) + length + content


def ber_int(value, tag=INTEGER):
    """Two's complement, shortest form: unsigned types are encoded the same way."""
    return ber_tlv(tag, value.to_bytes(max(1, (value.bit_length() + 8) // 8), "big", signed=True))


def ber_oid(oid):
    out = bytearray([40 * oid[0] + oid[1]])
    for arc in oid[2:]:
        chunk = [arc & 0x7F]
        arc >>= 7
        while arc:
            chunk.append(0x80 | (arc & 0x7F))
            arc >>= 7
        out += bytes(reversed(chunk))
    return ber_tlv(OBJECT_ID, bytes(out))


def ber_read(data, at):
    """(tag, content, where the next one starts); ValueError when it does not fit."""
    if at + 2 > len(data):
        raise ValueError("truncated")
    tag, length = data[at], data[at + 1]
    at += 2
    if length & 0x80:
        count = length & 0x7F
        if not 1 <= count <= 4 or at + count > len(data):
            raise ValueError("bad length")
        length = int.from_bytes(data[at:at + count], "big")
        at += count
    if at + length > len(data):
        raise ValueError("truncated")
    return tag, data[at:at + length], at + length


def ber_items(content):
    items, at = [], 0
    while at < len(content):
        tag, value, at = ber_read(content, at)
        items.append((tag, value))
    return items


def ber_decode_oid(content):
    if not content or content[-1] & 0x80:
        raise ValueError("bad OID")
    first = min(content[0] // 40, 2)
    arcs, value = [first, content[0] - 40 * first], 0
    for b in content[1:]:
        value = (value << 7) | (b & 0x7F)
        if not b & 0x80:
            arcs.append(value)
            value = 0
    return tuple(arcs)


def snmp_decode(data):
    """(version, community, PDU type, request id, error status or non-repeaters,
    error index or max-repetitions, the names asked for)."""
    tag, message, end = ber_read(data, 0)
    items = ber_items(message)
    if tag != SEQUENCE or end != len(data) or len(items) != 3 or items[0][0] != INTEGER or items[1][0] != OCTETS:
        raise ValueError("not an SNMP message")
    fields = ber_items(items[2][1])
    if len(fields) != 4 or any(t != INTEGER for t, _ in fields[:3]) or fields[3][0] != SEQUENCE:
        raise ValueError("not a PDU")
    number = [int.from_bytes(v, "big", signed=True) for _, v in fields[:3]]
    names = []
    for t, vb in ber_items(fields[3][1]):
        pair = ber_items(vb)
        if t != SEQUENCE or not pair or pair[0][0] != OBJECT_ID:
            raise ValueError("not a variable binding")
        names.append(ber_decode_oid(pair[0][1]))
    return (int.from_bytes(items[0][1], "big", signed=True), items[1][1], items[2][0]) + tuple(number) + (names,)


def snmp_encode(version, community, request_id, status, index, bindings):
    vbs = b"".join(ber_tlv(SEQUENCE, ber_oid(o) + v) for o, v in bindings)
    pdu = ber_int(request_id) + ber_int(status) + ber_int(index) + ber_tlv(SEQUENCE, vbs)
    return ber_tlv(SEQUENCE, ber_int(version) + ber_tlv(OCTETS, community) + ber_tlv(RESPONSE, pdu))


def octets(text):
    return ber_tlv(OCTETS, text.encode("latin-1"))


class SnmpAgent:
    """IF-MIB's ifTable and ifXTable, a route table and sysUpTime over v1 and
    v2c (GET, GETNEXT, GETBULK), numeric OIDs only. The WAN interface's
    counters are the router's (with --counter-bits 32 there are no 64-bit
    ones); --snmp-layout sets which interfaces there are and how the WAN one
    is known; --snmp-mode sets the faults."""

    def __init__(self, router, address, port, community, layout):
        self.router = router
        self.community = community.encode("latin-1")
        self.layout = layout
        self.sock = socket.socket(socket.AF_INET6 if ":" in address else socket.AF_INET, socket.SOCK_DGRAM)
        try:
            self.sock.bind((address, port))
        except OSError:
            self.sock.close()
            raise
        self.where = "%s:%d" % self.sock.getsockname()[:2]

    def interfaces(self):
        """(index, descr, name, alias, type, bits a second, up, rx, tx, 64-bit, discontinuity), the WAN one's
        counters the router's."""
        r = self.router
        rx, tx = r.read()
        if r.snmp_mode == "stuck":
            rx = tx = U32 - 1
        wide = r.counter_bits == 64
        wan_name = r.wan_ifname or {"ppp": "dsl-link", "pppoe": "pppoe-wan"}.get(self.layout, "eth1")
        wan_type = {"ppp": 23, "pppoe": 1}.get(self.layout, 6)
        lo = (1, "lo", "lo", "", 24, 10000000, True, 5 * U32 // 2, 5 * U32 // 2, wide, 0)
        wan = (3, "WAN port", wan_name, "uplink", wan_type, 100000000, True, rx, tx, wide, r.discontinuity)
        if self.layout == "busiest":
            return [lo, (2, "LAN port", "eth0", "", 6, 1000000000, False, LAN_RX, LAN_TX, wide, 0), wan,
                    (4, "guest port", "eth2", "guests", 6, 1000000000, True, 1000, 500, wide, 0)]
        return [lo, (2, "LAN port", "eth0", "lan", 6, 1000000000, True, LAN_RX, LAN_TX, wide, 0), wan]

    def mib(self, version):
        """{OID: encoded value} as the agent shows it now."""
        r = self.router
        mode = r.snmp_mode
        mib = {SYS_DESCR: octets("vxstat simulated router"), SYS_UPTIME: ber_int(r.uptime_ticks(), TIMETICKS)}
        rows = self.interfaces()
        mib[IF_NUMBER] = ber_int(len(rows))
        with_x = mode != "v1only"
        for index, descr, name, alias, kind, speed, up, rx, tx, wide, discontinuity in rows:
            wan = index == 3
            counter32 = [ber_int(rx % U32, COUNTER32), ber_int(tx % U32, COUNTER32)]
            counter64 = [ber_int(rx, COUNTER64), ber_int(tx, COUNTER64)]
            low_speed, high_speed = ber_int(min(speed, U32 - 1), GAUGE32), ber_int(speed // 1000000, GAUGE32)
            if wan and mode == "huge":
                counter32 = [ber_int(2 ** 40, COUNTER32), ber_int(2 ** 40, COUNTER32)]
                counter64 = [ber_int(2 ** 64 - 1, COUNTER64), ber_int(2 ** 64 - 1, COUNTER64)]
                low_speed, high_speed = ber_int(U32 - 1, GAUGE32), ber_int(U32 - 1, GAUGE32)
            elif wan and mode == "negative":
                counter32 = [ber_int(-5, COUNTER32), ber_int(-5, COUNTER32)]
                counter64 = [ber_int(-5, COUNTER64), ber_int(-5, COUNTER64)]
                low_speed = ber_int(-1, GAUGE32)
            elif wan and mode == "wrongtype":
                counter32 = [octets(str(rx % U32)), ber_int(-5)]
                counter64 = [ber_int(rx, GAUGE32), ber_oid((1, 3, 6, 1))]
            if wan and mode == "bigreply":
                descr = "WAN port " + "w" * 20000
            columns = {1: ber_int(index), 2: octets(descr), 3: ber_int(kind), 4: ber_int(1500), 5: low_speed,
                       7: ber_int(1), 8: ber_int(1 if up else 2), 10: counter32[0], 16: counter32[1]}
            for column, value in columns.items():
                mib[IF_ENTRY + (column, index)] = value
            if with_x:
                columns = {1: octets(name), 15: high_speed, 18: octets(alias),
                           19: ber_int(discontinuity, TIMETICKS)}
                if wide:
                    columns[6], columns[10] = counter64
                for column, value in columns.items():
                    mib[IF_X_ENTRY + (column, index)] = value
        # Routes: the default one through the WAN interface, and the LAN's.
        if self.layout == "inet":
            for dest, length, index in (((0, 0, 0, 0), 0, 3), (LAN_NET, 24, 2)):
                hop = GATEWAY_IP if index == 3 else (0, 0, 0, 0)
                mib[INET_CIDR_ROUTE_IF_INDEX + (1, 4) + dest + (length, 2, 0, 0, 1, 4) + hop] = ber_int(index)
        elif self.layout == "ipcidr":
            for dest, mask, index in (((0, 0, 0, 0), (0, 0, 0, 0), 3), (LAN_NET, LAN_MASK, 2)):
                hop = GATEWAY_IP if index == 3 else (0, 0, 0, 0)
                mib[IP_CIDR_ROUTE_IF_INDEX + dest + mask + (0,) + hop] = ber_int(index)
        if version == 0:
            # v1 has no Counter64: such objects are passed over.
            mib = {o: v for o, v in mib.items() if v[0] != COUNTER64}
        return mib

    def serve(self, stop):
        while not stop.is_set():
            try:
                ready, _, _ = select.select([self.sock], [], [], 0.2)
            except (OSError, ValueError):
                return
            if not ready:
                continue
            try:
                data, peer = self.sock.recvfrom(65535)
            except OSError:
                continue
            try:
                self._answer(data, peer)
            except ValueError:
                self.router.count("snmp_malformed")

    def _next(self, mib, keys, oid):
        """The first object after `oid`, or None at the end of the view. In
        mode endless ifDescr has rows without end."""
        if self.router.snmp_mode == "endless" and oid[:len(IF_ENTRY) + 1] == IF_ENTRY + (2,):
            index = oid[len(IF_ENTRY) + 1] if len(oid) > len(IF_ENTRY) + 1 else 0
            if index >= 3:
                return IF_ENTRY + (2, index + 1), octets("ghost %d" % (index + 1))
        at = bisect.bisect_right(keys, oid)
        return (keys[at], mib[keys[at]]) if at < len(keys) else None

    def _answer(self, data, peer):
        r = self.router
        version, community, kind, request_id, a, b, names = snmp_decode(data)
        r.count("snmp_requests")
        mode = r.snmp_mode
        # Wrong communities, versions it does not speak and requests it does not
        # serve go unanswered, as real agents do.
        if mode == "silent" or community != self.community or version not in (0, 1) or \
                (mode == "v1only" and version != 0) or kind not in (GET, GETNEXT, GETBULK) or \
                (kind == GETBULK and version == 0) or len(names) > 256:
            return
        mib = self.mib(version)
        keys = sorted(mib)
        bindings, status, index = [], 0, 0
        if kind == GET:
            for i, oid in enumerate(names):
                bindings.append((oid, mib.get(oid, bytes([NO_SUCH_INSTANCE, 0]))))
                if oid not in mib and version == 0 and not status:
                    status, index = NO_SUCH_NAME, i + 1
        elif kind == GETNEXT:
            for i, oid in enumerate(names):
                found = self._next(mib, keys, oid)
                bindings.append(found or (oid, bytes([END_OF_MIB_VIEW, 0])))
                if not found and version == 0 and not status:
                    status, index = NO_SUCH_NAME, i + 1
        else:
            repeaters = max(0, min(a, len(names)))
            for oid in names[:repeaters]:
                bindings.append(self._next(mib, keys, oid) or (oid, bytes([END_OF_MIB_VIEW, 0])))
            row = list(names[repeaters:])
            for _ in range(max(0, min(b, 512))):
                if not row:
                    break
                found = [self._next(mib, keys, oid) or (oid, bytes([END_OF_MIB_VIEW, 0])) for oid in row]
                bindings.extend(found)
                row = [o for o, v in found]
                if all(v[0] == END_OF_MIB_VIEW for o, v in found):
                    break
        if status:
            bindings = [(oid, bytes([NULL, 0])) for oid in names]
        reply = snmp_encode(version, community, request_id, status, index, bindings)
        # A bulk reply is cut to what a datagram holds, whole repetitions first.
        while len(reply) > LARGEST_REPLY and kind == GETBULK and len(bindings) > 1:
            bindings = bindings[:len(bindings) // 2]
            reply = snmp_encode(version, community, request_id, status, index, bindings)
        if mode == "malformed":
            # Garbage first, each a different way, then the true reply.
            for junk in (reply[:len(reply) // 2], b"\x30\x84\xff\xff\xff\xff" + reply[6:], b"\xff" * 40,
                         reply[:-1]):
                self.sock.sendto(junk, peer)
        elif mode == "wrongid":
            # Another request's reply with other figures: a reader that took it would count them.
            decoy = [(o, ber_int(U32 // 3, COUNTER32) if v[0] == COUNTER32 else
                      ber_int(2 ** 50, COUNTER64) if v[0] == COUNTER64 else v) for o, v in bindings]
            self.sock.sendto(snmp_encode(version, community, (request_id + 1) % 2 ** 31, status, index, decoy), peer)
        self.sock.sendto(reply, peer)
        r.count("snmp_answers")

    def close(self):
        self.sock.close()


# ---- servers -------------------------------------------------------------------

def _server_class(base, address):
    family = socket.AF_INET6 if ":" in address else socket.AF_INET
    return type("Server", (base,), {"address_family": family, "allow_reuse_address": True,
                                    "daemon_threads": True})


def loopback_address(text):
    try:
        if ipaddress.ip_address(text).is_loopback:
            return text
    except ValueError:
        pass
    raise argparse.ArgumentTypeError("%s is not a loopback address (127.0.0.0/8 or ::1)" % text)


def host_name(text):
    if not text or len(text) > 253 or not all(c.isascii() and (c.isalnum() or c in ".-") for c in text):
        raise argparse.ArgumentTypeError("%s is no host name or IPv4 address" % text)
    return text


def claim(text):
    value = int(text)
    if not 0 <= value < 2 ** 64:
        raise argparse.ArgumentTypeError("%s does not fit in 64 bits" % text)
    return value


def positive(text):
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError("must be 1 or more")
    return value


def non_negative(text):
    value = float(text)
    if not 0 <= value < 1e9:
        raise argparse.ArgumentTypeError("%s is out of range" % text)
    return value


def ipv4_address(text):
    try:
        return str(ipaddress.IPv4Address(text))
    except ValueError:
        raise argparse.ArgumentTypeError("%s is not an IPv4 address" % text) from None


def parse_args(argv):
    p = argparse.ArgumentParser(description="A simulated ADSL router for vxstat's tests and demo.")
    p.add_argument("--address", type=loopback_address, default="127.0.0.1",
                   help="loopback address to listen on (default 127.0.0.1)")
    p.add_argument("--web-port", type=int, default=0, help="web server port; 0 picks a free one (default)")
    p.add_argument("--no-web", action="store_true", help="no web server")
    p.add_argument("--console-port", type=int, default=23, help="console port (default 23)")
    p.add_argument("--no-console", action="store_true", help="no console")
    p.add_argument("--user", default="admin")
    p.add_argument("--password", default="secret")
    p.add_argument("--mode", choices=WEB_MODES, default="ok", help="what the web server answers")
    p.add_argument("--console-mode", choices=CONSOLE_MODES, default="normal")
    p.add_argument("--drop-after", type=positive, default=5, metavar="N",
                   help="console mode drop: replies a session gets before it is closed (default 5)")
    p.add_argument("--lie-every", type=positive, default=3, metavar="K",
                   help="console mode lie: every K-th reply lies (default 3)")
    p.add_argument("--iac", action="store_true", help="open the console with telnet option negotiation")
    p.add_argument("--page-layout", choices=PAGE_LAYOUTS, default="classic",
                   help="the statistics page: classic (default) or firmware (a table of WAN rows)")
    p.add_argument("--wan-rows", type=int, choices=range(1, MAX_WAN_ROWS + 1), default=1, metavar="N",
                   help="firmware layout: WAN rows, bridged ones before the PPPoE one (1-%d, default 1)"
                   % MAX_WAN_ROWS)
    p.add_argument("--console-layout", choices=CONSOLE_LAYOUTS, default="classic",
                   help="ifconfig's output: classic (default) or busybox12 (BusyBox 1.2 and later)")
    p.add_argument("--upnp", action="store_true", help="also be a UPnP Internet Gateway Device (IPv4 only)")
    p.add_argument("--upnp-port", type=int, default=0, help="its HTTP port; 0 picks a free one (default)")
    p.add_argument("--upnp-mode", choices=UPNP_MODES, default="ok")
    p.add_argument("--upnp-igd", type=int, choices=(1, 2), default=1,
                   help="InternetGatewayDevice version (default 1)")
    p.add_argument("--upnp-connection", choices=("ip", "ppp"), default="ip",
                   help="WANIPConnection (default) or WANPPPConnection")
    p.add_argument("--upnp-urlbase", action="store_true", help="put a URLBase in the description")
    p.add_argument("--upnp-claim", type=host_name, metavar="HOST",
                   help="name HOST (an IPv4 address or a name) instead of our address in the SSDP LOCATION "
                   "(with --upnp-urlbase: in the URLBase)")
    p.add_argument("--upnp-delay", type=non_negative, default=1.5,
                   help="upnp mode slow: seconds before each SOAP answer (default 1.5)")
    p.add_argument("--trickle-every", type=non_negative, default=1,
                   help="upnp mode trickle: seconds between the description's bytes (default 1)")
    p.add_argument("--restart-after", type=non_negative, default=5,
                   help="upnp mode restart: seconds until the router reboots (default 5)")
    p.add_argument("--link-down", type=claim, default=100000000, help="downstream bits per second (UPnP)")
    p.add_argument("--link-up", type=claim, default=40000000, help="upstream bits per second (UPnP)")
    p.add_argument("--external-ip", type=ipv4_address, default="10.64.12.7",
                   help="the WAN address UPnP reports (default 10.64.12.7, the page's)")
    p.add_argument("--snmp", action="store_true", help="also be an SNMP agent (v1 and v2c, IF-MIB)")
    p.add_argument("--snmp-port", type=int, default=0, help="its UDP port; 0 picks a free one (default)")
    p.add_argument("--snmp-community", default="public", help="the read community (default public)")
    p.add_argument("--snmp-layout", choices=SNMP_LAYOUTS, default="inet",
                   help="how the WAN interface is known: inet (inetCidrRouteTable's default route, the default), "
                   "ipcidr (ipCidrRouteTable's), ppp (ifType 23), pppoe (named pppoe-wan), busiest (no route, "
                   "no PPP: the busiest interface that is up)")
    p.add_argument("--snmp-mode", choices=SNMP_MODES, default="ok")
    p.add_argument("--counter-refresh", type=non_negative, default=0, metavar="S",
                   help="show counters that change only every S seconds, as many agents refresh them (default 0)")
    p.add_argument("--rx-start", type=int, default=0, help="received bytes at start")
    p.add_argument("--tx-start", type=int, default=0, help="transmitted bytes at start")
    p.add_argument("--rx-rate", type=float, default=0, help="received bytes per second")
    p.add_argument("--tx-rate", type=float, default=0, help="transmitted bytes per second")
    p.add_argument("--wave", type=float, default=0,
                   help="let the rates swing between 0 and twice their value over this many seconds")
    p.add_argument("--counter-bits", type=int, choices=(32, 64), default=64,
                   help="counters wrap at 2**bits (default 64)")
    p.add_argument("--duration", type=float, default=0, help="stop after this many seconds (0: run until stopped)")
    p.add_argument("--print-page", action="store_true", help="print the statistics page and exit")
    p.add_argument("--print-ifconfig", action="store_true", help="print the ifconfig reply and exit")
    p.add_argument("--output", help="with --print-*: write to this file instead")
    return p.parse_args(argv)


def _print(text, output):
    if output:
        with open(output, "w", encoding="latin-1", newline="") as f:
            f.write(text)
    else:
        sys.stdout.write(text)


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    rx, tx = args.rx_start, args.tx_start
    page = stats_page(rx, tx)
    if counters_as_read(page) != (str(rx), str(tx)):
        sys.exit("simrouter: the page no longer puts the counters where they are read")
    if args.print_page:
        if args.page_layout == "firmware":
            page = firmware_page(rx, tx, args.wan_rows)
        return _print(page, args.output)
    if args.print_ifconfig:
        return _print(ifconfig_reply(rx, tx, args.console_layout), args.output)
    if args.upnp and ":" in args.address:
        sys.exit("simrouter: UPnP needs an IPv4 loopback address")

    router = Router(args)
    servers = []
    web = console = upnp = None
    ssdp = snmp = None
    try:
        if not args.no_web:
            handler = type("Web", (WebHandler,), {"router": router})
            web = _server_class(http.server.ThreadingHTTPServer, args.address)((args.address, args.web_port),
                                                                                handler)
            servers.append(web)
        if not args.no_console:
            handler = type("Console", (ConsoleHandler,), {"router": router})
            console = _server_class(socketserver.ThreadingTCPServer, args.address)(
                (args.address, args.console_port), handler)
            servers.append(console)
        if args.upnp:
            upnp = _server_class(http.server.ThreadingHTTPServer, args.address)((args.address, args.upnp_port),
                                                                                UpnpHandler)
            servers.append(upnp)
            gateway = Gateway(router, args.address, upnp.server_address[1], args.upnp_igd,
                              args.upnp_connection, args.upnp_urlbase, args.upnp_claim)
            upnp.RequestHandlerClass = type("Upnp", (UpnpHandler,), {"gateway": gateway})
            ssdp = SsdpResponder(gateway)
        if args.snmp:
            snmp = SnmpAgent(router, args.address, args.snmp_port, args.snmp_community, args.snmp_layout)
    except OSError as e:
        for s in servers:
            s.server_close()
        sys.exit("simrouter: cannot listen on %s: %s" % (args.address, e))

    threads = [threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True)
               for s in servers]
    if ssdp:
        threads.append(threading.Thread(target=ssdp.serve, args=(router.stop,), daemon=True))
    if snmp:
        threads.append(threading.Thread(target=snmp.serve, args=(router.stop,), daemon=True))
    for t in threads:
        t.start()

    def where(server):
        if server is None:
            return "-"
        host, port = server.server_address[:2]
        return "%s:%d" % (host, port)

    line = "simrouter ready web=%s console=%s" % (where(web), where(console))
    line += " upnp=" + (gateway.location if upnp else "-")
    if snmp:
        line += " snmp=" + snmp.where
    print(line, flush=True)

    def stop(*_):
        router.stop.set()
        router.wake.set()

    def reboot(*_):
        # Done by the loop below: this handler may interrupt it holding a lock.
        router.reboot_signalled = True
        router.wake.set()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    signal.signal(signal.SIGUSR1, reboot)
    deadline = time.monotonic() + args.duration if args.duration > 0 else None
    while not router.stop.is_set():
        if router.reboot_signalled:
            router.reboot_signalled = False
            router.reboot(0, 0)
        restart_in = router.poll()
        if deadline is not None and time.monotonic() >= deadline:
            break
        wait = 0.2 if restart_in is None else min(0.2, max(restart_in, 0.0))
        router.wake.wait(wait)
        router.wake.clear()
    router.stop.set()
    for s in servers:
        s.shutdown()
        s.server_close()
    for t in threads[len(servers):]:
        t.join(2)
    if ssdp:
        ssdp.close()
    if snmp:
        snmp.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
