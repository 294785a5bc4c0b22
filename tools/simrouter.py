#!/usr/bin/env python3
"""A simulated ADSL router for vxstat's tests and demo.

It serves the WAN statistics page /statswan.cmd behind HTTP basic
authentication and a telnet-style console that logs in and answers
"ifconfig", both on one loopback address only. The byte counters move at a
chosen rate from a chosen start (near 2**31 or 2**32 if you like) and can be
changed or reset while it runs.

    simrouter.py --address 127.0.0.1 --web-port 0 --console-port 2323

prints one line once both servers listen:

    simrouter ready web=127.0.0.1:PORT console=127.0.0.1:PORT

("-" for a server that is off). Control while running:
  GET /simctl?mode=busy&rx=100&tx=50&reset=1&console=flood  (no authentication)
      answers the state as JSON; SIGUSR1 resets both counters to 0 (a router
      restart); SIGTERM or SIGINT stop it; --duration stops it by itself.

Web modes: ok (the page; wrong details get a 401 whose page says "System
Authentication Failed"), busy ("Server Busy"), 404 ("Error 404"), authfail
(401 with "System Authentication Failed"), 401 (a bare 401 without those
words), garbled (the page with "N/A" for the counters), redirect (a 302 to
another address of the page), and the faults hang
(reads the request, never answers), reset (half the reply, then a reset
connection) and huge (a page over 1 MiB).
Console modes: normal, and flood (after connecting, numbered lines "%09d\\n"
as fast as the peer takes them).

Python 3 standard library only.
"""

import argparse
import base64
import http.server
import ipaddress
import json
import math
import signal
import socket
import socketserver
import struct
import sys
import threading
import time
import urllib.parse

WEB_MODES = ("ok", "busy", "404", "authfail", "401", "garbled", "redirect", "hang", "reset", "huge")
CONSOLE_MODES = ("normal", "flood")
CRLF = "\r\n"

# Telnet option negotiation a console opens with: WILL ECHO, WILL SUPPRESS-GO-AHEAD, DO NAWS.
IAC_GREETING = bytes([255, 251, 1, 255, 251, 3, 255, 253, 31])


class Counters:
    """Two byte counters moving at a rate (optionally in a slow wave, so a
    demo has something to show), wrapping at 2**bits like a router's."""

    def __init__(self, rx_start, tx_start, rx_rate, tx_rate, bits, wave):
        self._lock = threading.Lock()
        self._epoch = time.monotonic()
        self.rx_rate, self.tx_rate = float(rx_rate), float(tx_rate)
        self._modulus = 2 ** bits
        self._wave = float(wave)
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

    def read(self):
        with self._lock:
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


class Router:
    """Everything both servers share."""

    def __init__(self, args):
        self.user = args.user
        self.password = args.password
        self.mode = args.mode
        self.console_mode = args.console_mode
        self.iac = args.iac
        self.counters = Counters(args.rx_start, args.tx_start, args.rx_rate, args.tx_rate,
                                 args.counter_bits, args.wave)
        self.stop = threading.Event()
        self._lock = threading.Lock()
        self.stats = {"web_requests": 0, "console_connections": 0, "logins": 0,
                      "failed_logins": 0, "ifconfig_replies": 0}

    def count(self, key):
        with self._lock:
            self.stats[key] += 1

    def state(self):
        rx, tx = self.counters.read()
        with self._lock:
            return dict(self.stats, mode=self.mode, console=self.console_mode, rx=rx, tx=tx)


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
        rx, tx = self.router.counters.read()
        if mode == "garbled":
            return self._send(200, stats_page(None, None))
        page = stats_page(rx, tx)
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
        r = self.router
        try:
            if "mode" in query:
                if query["mode"][0] not in WEB_MODES:
                    raise ValueError("unknown mode")
                r.mode = query["mode"][0]
            if "console" in query:
                if query["console"][0] not in CONSOLE_MODES:
                    raise ValueError("unknown console mode")
                r.console_mode = query["console"][0]
            if "reset" in query:
                r.counters.set(0, 0)
            if "rx" in query or "tx" in query:
                r.counters.set(int(query["rx"][0]) if "rx" in query else None,
                               int(query["tx"][0]) if "tx" in query else None)
            if "rx_rate" in query or "tx_rate" in query:
                r.counters.set_rates(float(query["rx_rate"][0]) if "rx_rate" in query else None,
                                     float(query["tx_rate"][0]) if "tx_rate" in query else None)
        except ValueError as e:
            body = json.dumps({"error": str(e)})
            return self._send(400, body)
        return self._send(200, json.dumps(r.state()))


# ---- the console ---------------------------------------------------------------

def human_size(n):
    value, unit = float(n), "B"
    for next_unit in ("KiB", "MiB", "GiB", "TiB"):
        if value < 1024:
            break
        value, unit = value / 1024, next_unit
    return "%.1f %s" % (value, unit)


def _interface(name, encap, addr_line, flags, mtu, rx, tx, txqueuelen):
    lines = [
        "%-10sLink encap:%s  " % (name, encap),
        "          %s" % addr_line,
        "          %s  MTU:%d  Metric:1" % (flags, mtu),
        "          RX packets:%d errors:0 dropped:0 overruns:0 frame:0" % (rx // 612),
        "          TX packets:%d errors:0 dropped:0 overruns:0 carrier:0" % (tx // 187),
        "          collisions:0 txqueuelen:%d " % txqueuelen,
        "          RX bytes:%d (%s)  TX bytes:%d (%s)" % (rx, human_size(rx), tx, human_size(tx)),
        "",
    ]
    return CRLF.join(lines) + CRLF


def ifconfig_reply(rx, tx):
    """ifconfig's layout: the LAN bridge and loopback first, the PPP link,
    then the ATM interface under it."""
    lan_rx, lan_tx = (tx * 3) // 2 + 48213, (rx * 5) // 4 + 91377
    return (_interface("br0", "Ethernet  HWaddr 00:90:4C:60:12:34",
                       "inet addr:192.168.1.1  Bcast:192.168.1.255  Mask:255.255.255.0",
                       "UP BROADCAST RUNNING MULTICAST", 1500, lan_rx, lan_tx, 0)
            + _interface("lo", "Local Loopback", "inet addr:127.0.0.1  Mask:255.0.0.0",
                         "UP LOOPBACK RUNNING", 16436, 31234, 31234, 0)
            + _interface("ppp0", "Point-Point Protocol",
                         "inet addr:10.64.12.7  P-t-P:10.64.0.1  Mask:255.255.255.255",
                         "UP POINTOPOINT RUNNING NOARP MULTICAST", 1492, rx, tx, 3)
            + _interface("nas_0_38", "Ethernet  HWaddr 00:90:4C:60:12:35",
                         "inet6 addr: fe80::290:4cff:fe60:1235/64 Scope:Link",
                         "UP BROADCAST RUNNING MULTICAST", 1500, rx + 1234567, tx + 765432, 1000))


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
            r.count("logins")  # counted once the prompt is on its way: tests wait for it
            while True:
                line = self._read_line()
                if line is None:
                    return
                command = line.strip()
                if command == "ifconfig":
                    rx, tx = r.counters.read()
                    self._send(ifconfig_reply(rx, tx) + "> ")
                    r.count("ifconfig_replies")
                elif command in ("exit", "logout"):
                    return
                elif command == "":
                    self._send("> ")
                else:
                    self._send("sh: %s: not found" % command + CRLF + "> ")
        except OSError:
            return

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
    p.add_argument("--iac", action="store_true", help="open the console with telnet option negotiation")
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
        return _print(page, args.output)
    if args.print_ifconfig:
        return _print(ifconfig_reply(rx, tx), args.output)

    router = Router(args)
    servers = []
    try:
        if not args.no_web:
            handler = type("Web", (WebHandler,), {"router": router})
            servers.append(_server_class(http.server.ThreadingHTTPServer, args.address)(
                (args.address, args.web_port), handler))
        if not args.no_console:
            handler = type("Console", (ConsoleHandler,), {"router": router})
            servers.append(_server_class(socketserver.ThreadingTCPServer, args.address)(
                (args.address, args.console_port), handler))
    except OSError as e:
        for s in servers:
            s.server_close()
        sys.exit("simrouter: cannot listen on %s: %s" % (args.address, e))

    for s in servers:
        threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True).start()

    def where(enabled, index):
        if not enabled:
            return "-"
        host, port = servers[index].server_address[:2]
        return "%s:%d" % (host, port)

    web = where(not args.no_web, 0)
    console = where(not args.no_console, 0 if args.no_web else 1)
    print("simrouter ready web=%s console=%s" % (web, console), flush=True)

    signal.signal(signal.SIGTERM, lambda *_: router.stop.set())
    signal.signal(signal.SIGINT, lambda *_: router.stop.set())
    signal.signal(signal.SIGUSR1, lambda *_: router.counters.set(0, 0))
    deadline = time.monotonic() + args.duration if args.duration > 0 else None
    while not router.stop.is_set():
        if deadline is not None and time.monotonic() >= deadline:
            router.stop.set()
        router.stop.wait(0.2)
    for s in servers:
        s.shutdown()
        s.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
