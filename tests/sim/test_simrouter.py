#!/usr/bin/env python3
"""Checks the simulated router (tools/simrouter.py) serves what the program's
tests rely on: the firmware's statistics table, BusyBox 1.2's ifconfig, and
the UPnP gateway (SSDP over multicast, description, SOAP control and its
fault modes). Run it inside a private network namespace:

    scripts/in-private-net python3 tests/sim/test_simrouter.py

It ends with "N passed, M failed" and exits non-zero on a failure.
"""

import base64
import html.parser
import http.client
import json
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import time
import traceback
import urllib.parse
import xml.etree.ElementTree as ElementTree

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SIM = os.path.join(ROOT, "tools", "simrouter.py")
U32 = 2 ** 32
SSDP = ("239.255.255.250", 1900)
DEVICE = "urn:schemas-upnp-org:device:"
SERVICE = "urn:schemas-upnp-org:service:"
CIF = SERVICE + "WANCommonInterfaceConfig:1"
SOAP_ENV = "http://schemas.xmlsoap.org/soap/envelope/"
DEADLINE = 20.0  # seconds for anything to happen on a busy machine

passed, failed = 0, 0


def check(condition, what):
    global passed, failed
    if condition:
        passed += 1
    else:
        failed += 1
        print("FAIL: " + what, flush=True)
    return condition


def wait_for(condition, timeout=DEADLINE, step=0.02):
    """condition()'s first true value, or None once the deadline passes."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() >= end:
            return value or None
        time.sleep(step)


# ---- running the simulator -----------------------------------------------------

class Sim:
    def __init__(self, address, *args):
        self.address = address
        argv = [sys.executable, SIM, "--address", address, "--console-port", "0"] + list(args)
        if "--duration" not in args:
            argv += ["--duration", "120"]
        self.proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        line = b""
        end = time.monotonic() + DEADLINE
        while not line.endswith(b"\n") and time.monotonic() < end:
            ready, _, _ = select.select([self.proc.stdout], [], [], max(0.0, end - time.monotonic()))
            if not ready:
                break
            chunk = os.read(self.proc.stdout.fileno(), 1)
            if not chunk:
                break
            line += chunk
        self.line = line.decode()
        if not self.line.startswith("simrouter ready "):
            self.stop()
            raise RuntimeError("the simulator did not start: %r %s" % (self.line, self.proc.stderr.read()))
        self.fields = dict(f.split("=", 1) for f in self.line.split()[2:])

    def stop(self):
        """SIGTERM, then the exit status (None if it had to be killed)."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            return self.proc.wait(DEADLINE)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            return None
        finally:
            self.proc.stdout.close()
            self.proc.stderr.close()

    @property
    def upnp(self):
        return self.fields["upnp"]

    def control(self, query=""):
        """/simctl on the web server, else on the UPnP one."""
        host = self.fields["web"] if self.fields["web"] != "-" else urllib.parse.urlsplit(self.upnp).netloc
        c = http.client.HTTPConnection(host, timeout=DEADLINE)
        c.request("GET", "/simctl?" + query)
        reply = c.getresponse()
        body = reply.read()
        c.close()
        if reply.status != 200:
            raise RuntimeError("control refused: %s" % body)
        return json.loads(body)


def run_sim(*args):
    out = subprocess.run([sys.executable, SIM] + list(args), capture_output=True, timeout=DEADLINE)
    if out.returncode != 0:
        raise RuntimeError(out.stderr.decode())
    return out.stdout.decode("latin-1")


# ---- reading a table as a browser lays it out ----------------------------------

class Tables(html.parser.HTMLParser):
    """Tables as rows of (text, colspan, rowspan); script text is not cell text."""

    def __init__(self):
        super().__init__()
        self.tables, self._stack, self._cell, self.tags = [], [], None, []

    def handle_starttag(self, tag, attrs):
        self.tags.append((tag, dict(attrs)))
        if tag == "table":
            self._stack.append([])
        elif tag == "tr" and self._stack:
            self._stack[-1].append([])
        elif tag in ("td", "th") and self._stack:
            a = dict(attrs)
            self._cell = [[], int(a.get("colspan", 1)), int(a.get("rowspan", 1))]
            self._stack[-1][-1].append(self._cell)

    def handle_endtag(self, tag):
        if tag in ("td", "th"):
            self._cell = None
        elif tag == "table" and self._stack:
            self.tables.append(self._stack.pop())

    def handle_data(self, data):
        if self._cell is not None:
            self._cell[0].append(data)


def grid(table):
    """grid[r][c] = (text, cell id) with spans filled in."""
    g = {}
    for r, row in enumerate(table):
        c = 0
        for n, (parts, colspan, rowspan) in enumerate(row):
            while (r, c) in g:
                c += 1
            for rr in range(r, r + rowspan):
                for cc in range(c, c + colspan):
                    g[(rr, cc)] = (" ".join("".join(parts).split()), (r, n))
            c += colspan
    rows = 1 + max(r for r, _ in g)
    cols = 1 + max(c for _, c in g)
    return [[g.get((r, c), ("", None)) for c in range(cols)] for r in range(rows)]


def read_firmware_table(page):
    """(column headings as paths, data rows as lists of texts)."""
    p = Tables()
    p.feed(page)
    p.close()
    if len(p.tables) != 1:
        raise AssertionError("%d tables" % len(p.tables))
    g = grid(p.tables[0])
    first_data = next(r for r, row in enumerate(g) if any(t.isdigit() for t, _ in row))
    headings = []
    for c in range(len(g[0])):
        path, seen = [], set()
        for r in range(first_data):
            text, cell = g[r][c]
            if cell not in seen and text:
                path.append(text)
            seen.add(cell)
        headings.append(tuple(path))
    return headings, [[t for t, _ in row] for row in g[first_data:]], p


def test_firmware_page():
    page = run_sim("--print-page", "--page-layout", "firmware", "--wan-rows", "2",
                   "--rx-start", str(U32 + 100), "--tx-start", str(3 * U32 - 1))
    headings, rows, parsed = read_firmware_table(page)
    check(headings[0] == ("Interface",) and headings[1] == ("Description",),
          "Interface and Description head the first columns: %s" % headings[:2])
    for direction in ("Received", "Transmitted"):
        for group in ("Total", "Multicast"):
            figures = [h[2] for h in headings if h[:2] == (direction, group)]
            check(figures == ["Bytes", "Pkts", "Errs", "Drops"],
                  "%s > %s has Bytes, Pkts, Errs, Drops: %s" % (direction, group, figures))
    rx_col = headings.index(("Received", "Total", "Bytes"))
    tx_col = headings.index(("Transmitted", "Total", "Bytes"))
    check([r[:2] for r in rows] == [["nas_0_35", "br_0_35"], ["ppp0", "pppoe_0_38_1"]],
          "a bridged row before the PPPoE row: %s" % [r[:2] for r in rows])
    check(rows[1][rx_col] == "100" and rows[1][tx_col] == str(U32 - 1),
          "the PPPoE row's byte totals wrap at 2**32: %s %s" % (rows[1][rx_col], rows[1][tx_col]))
    check(all(c.isdigit() and int(c) < U32 for r in rows for c in r[2:]), "every figure a ui32")
    tags = [t for t, _ in parsed.tags]
    check(any(a.get("http-equiv", "").lower() == "refresh" for t, a in parsed.tags if t == "meta"),
          "a meta refresh")
    head = page[:page.lower().index("<body")]
    check("script" in tags and "<script" in head and "<TD" in page and "<td" in page and "<Tr>" in page,
          "a script in the head and mixed-case tags")
    check(any("\r\n" in c for r in raw_cells(page) for c in r), "line breaks inside cells")

    one = read_firmware_table(run_sim("--print-page", "--page-layout", "firmware", "--rx-start", "7"))[1]
    check([r[:2] for r in one] == [["ppp0", "pppoe_0_38_1"]] and one[0][rx_col] == "7",
          "one WAN row by default: %s" % one)
    classic = run_sim("--print-page", "--rx-start", "5")
    check("Octets" in classic and "Multicast" not in classic, "the classic page stays the default")


def raw_cells(page):
    p = Tables()
    p.feed(page)
    return [["".join(parts) for parts, _, _ in row] for row in p.tables[0]]


def fetch_page(web, user="admin", password="secret"):
    c = http.client.HTTPConnection(web, timeout=DEADLINE)
    auth = base64.b64encode(("%s:%s" % (user, password)).encode()).decode()
    c.request("GET", "/statswan.cmd", headers={"Authorization": "Basic " + auth})
    r = c.getresponse()
    body = r.read().decode("latin-1")
    c.close()
    return r.status, body


def test_firmware_served():
    # 64-bit counters under the hood, yet the page's figures wrap at 2**32.
    sim = Sim("127.0.0.11", "--no-console", "--page-layout", "firmware", "--wan-rows", "3",
              "--rx-start", str(U32 - 300000), "--rx-rate", "1000000", "--tx-rate", "1000")
    try:
        status, page = fetch_page(sim.fields["web"])
        check(status == 200, "the firmware page is served: %d" % status)
        headings, rows, _ = read_firmware_table(page)
        rx_col = headings.index(("Received", "Total", "Bytes"))
        check(len(rows) == 3 and rows[-1][0] == "ppp0", "three WAN rows, PPPoE last")
        first = int(rows[-1][rx_col])
        seen = []

        def wrapped():
            r = read_firmware_table(fetch_page(sim.fields["web"])[1])[1]
            seen.append(int(r[-1][rx_col]))
            return seen[-1] < first
        check(wait_for(wrapped), "the served figure wraps at 2**32: %s" % seen[-3:])
        check(all(v < U32 for v in seen), "no figure at or over 2**32")
        check(fetch_page(sim.fields["web"], password="wrong")[0] == 401, "authentication still asked for")
        sim.control("mode=garbled")
        garbled = read_firmware_table(fetch_page(sim.fields["web"])[1].replace("N/A", "x"))[0]
        check(garbled == headings, "the garbled firmware page keeps its headings")
    finally:
        check(sim.stop() == 0, "stops cleanly on SIGTERM")


# ---- the console ----------------------------------------------------------------

def check_busybox12(reply, rx):
    lines = reply.replace("\r\n", "\n").split("\n")
    check("Point-to-Point Protocol" in reply and "Point-Point" not in reply,
          "BusyBox 1.2 spells Point-to-Point Protocol")
    heads = [ln for ln in lines if "Link encap:" in ln]
    check([h[:16] for h in heads] == ["br0".ljust(16), "lo".ljust(16), "ppp0".ljust(16),
                                      "pppoe_0_38_1".ljust(16)]
          and all(h[16:].startswith("Link encap:") for h in heads),
          "a name column of 15 and a blank: %s" % heads)
    rest = [ln for ln in lines if ln and "Link encap:" not in ln and ln != "> "]
    check(rest and all(ln.startswith(" " * 16) and ln[16] != " " for ln in rest),
          "continuation lines indented 16 blanks")
    ppp = reply[reply.index("Point-to-Point"):]
    ppp = ppp[:ppp.index("\r\n\r\n")]
    check("RX bytes:%d (" % rx in ppp, "64-bit figures in the PPP block: %d" % rx)


def console_ifconfig(where):
    host, port = where.rsplit(":", 1)
    s = socket.create_connection((host, int(port)), timeout=DEADLINE)
    data = b""

    def until(text):
        nonlocal data
        while text not in data:
            chunk = s.recv(65536)
            if not chunk:
                raise AssertionError("the console closed: %r" % data)
            data += chunk
        at = data.index(text) + len(text)
        out, data = data[:at], data[at:]
        return out

    until(b"Login: ")
    s.sendall(b"admin\r\n")
    until(b"Password: ")
    s.sendall(b"secret\r\n")
    until(b"> ")
    s.sendall(b"ifconfig\r\n")
    reply = until(b"> ").decode("latin-1")
    s.close()
    return reply[reply.index("\r\n") + 2:]  # past the echo


def test_console_layouts():
    rx = 5 * U32 + 17
    check_busybox12(run_sim("--print-ifconfig", "--console-layout", "busybox12", "--rx-start", str(rx)), rx)
    classic = run_sim("--print-ifconfig", "--rx-start", "5")
    check("Point-Point Protocol" in classic and "ppp0      Link encap:" in classic,
          "the classic console stays the default")
    sim = Sim("127.0.0.12", "--no-web", "--console-layout", "busybox12", "--rx-start", str(rx))
    try:
        check_busybox12(console_ifconfig(sim.fields["console"]), rx)
    finally:
        check(sim.stop() == 0, "stops cleanly on SIGTERM")


def console_login(where):
    """A logged-in console session: (socket, until(text) reading up to and
    including text; raises EOFError when the console closes first)."""
    host, port = where.rsplit(":", 1)
    s = socket.create_connection((host, int(port)), timeout=DEADLINE)
    data = b""

    def until(text):
        nonlocal data
        while text not in data:
            chunk = s.recv(65536)
            if not chunk:
                raise EOFError(data)
            data += chunk
        at = data.index(text) + len(text)
        out, data = data[:at], data[at:]
        return out

    until(b"Login: ")
    s.sendall(b"admin\r\n")
    until(b"Password: ")
    s.sendall(b"secret\r\n")
    until(b"> ")
    return s, until


def rx_figure(reply):
    ppp = reply[reply.index(b"Point-Point"):]
    return ppp.split(b"RX bytes:")[1].split(b" (")[0].decode()


def test_console_drop_and_lie():
    """drop: a session gets --drop-after replies, and the next "ifconfig"
    closes it; a new one is taken. lie: every --lie-every'th reply's RX
    figure is no reading. The state's sessions count only the true replies."""
    sim = Sim("127.0.0.13", "--console-mode", "drop", "--drop-after", "2", "--rx-start", "1000",
              "--rx-rate", "1000", "--tx-start", "50")
    try:
        for _ in range(2):
            s, until = console_login(sim.fields["console"])
            figures = []
            for _ in range(2):
                s.sendall(b"ifconfig\r\n")
                figures.append(int(rx_figure(until(b"> "))))
            s.sendall(b"ifconfig\r\n")
            try:
                until(b"> ")
                check(False, "the session was not closed after two replies")
            except EOFError:
                pass
            s.close()
        state = wait_for(lambda: (lambda st: st if not any(x["open"] for x in st["sessions"]) else None)(
            sim.control()))
        check(state is not None and len(state["sessions"]) == 2, "two sessions recorded: %s" % state)
        if state:
            last = state["sessions"][-1]
            check(last["replies"] == 2 and last["rx_first"] <= last["rx_last"] == figures[-1]
                  and last["rx_first"] == figures[0] and last["tx_last"] == 50 and last["lies"] == 0,
                  "the last session's true replies: %s, read %s" % (last, figures))
        check(sim.control("console=lie")["console"] == "lie", "/simctl sets console=lie")
    finally:
        check(sim.stop() == 0, "stops cleanly on SIGTERM")

    sim = Sim("127.0.0.14", "--console-mode", "lie", "--lie-every", "2", "--rx-start", "777")
    try:
        s, until = console_login(sim.fields["console"])
        told = []
        for _ in range(6):
            s.sendall(b"ifconfig\r\n")
            told.append(rx_figure(until(b"> ")))
        s.close()
        check(told[0::2] == ["777"] * 3, "the odd replies tell the truth: %s" % told)
        check(told[1::2] == ["9" * 309, "1e300", "-123456789"], "the even ones lie in turn: %s" % told)
        state = sim.control()
        session = state["sessions"][0]
        check(session["replies"] == 3 and session["lies"] == 3 and session["rx_first"] == session["rx_last"] == 777
              and state["lies"] == 3, "lies are not counted as replies: %s" % session)
        refused = subprocess.run([sys.executable, SIM, "--console-mode", "drop", "--drop-after", "0", "--print-page"],
                                 capture_output=True, timeout=DEADLINE)
        check(refused.returncode == 2 and b"--drop-after" in refused.stderr, "--drop-after 0 is refused")
    finally:
        check(sim.stop() == 0, "stops cleanly on SIGTERM")


# ---- UPnP -------------------------------------------------------------------------

def m_search(target, want, mx=1, to=SSDP, interface=True):
    """Sends an M-SEARCH to the SSDP group (or `to`) and gathers the answers
    (source address, headers) until want(answers) holds or the deadline
    passes. interface=False leaves the multicast interface to the routes,
    as control points (miniupnpc's included) do by default."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.1" if interface else "0.0.0.0", 0))
    if interface:
        s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton("127.0.0.1"))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_LOOP, 1)
    request = ("M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\n"
               "MX: %d\r\nST: %s\r\n\r\n" % (mx, target)).encode()
    answers = []
    end = time.monotonic() + DEADLINE
    s.sendto(request, to)
    while not want(answers) and time.monotonic() < end:
        ready, _, _ = select.select([s], [], [], min(0.5, max(0.0, end - time.monotonic())))
        if not ready:
            continue
        data, peer = s.recvfrom(4096)
        lines = data.decode("latin-1").split("\r\n")
        headers = {"_status": lines[0]}
        for line in lines[1:]:
            name, colon, value = line.partition(":")
            if colon:
                headers[name.strip().upper()] = value.strip()
        answers.append((peer[0], headers))
    s.close()
    return answers


def soap(conn, control_url, service, action):
    body = ('<?xml version="1.0"?><s:Envelope xmlns:s="%s" '
            's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>'
            '<u:%s xmlns:u="%s"></u:%s></s:Body></s:Envelope>' % (SOAP_ENV, action, service, action))
    conn.request("POST", control_url, body=body.encode(),
                 headers={"Content-Type": 'text/xml; charset="utf-8"', "SOAPAction": '"%s#%s"' % (service, action)})
    r = conn.getresponse()
    root = ElementTree.fromstring(r.read())
    values = {el.tag.rpartition("}")[2]: (el.text or "") for el in root.iter() if len(el) == 0}
    return r.status, values


class Gateway:
    """What a control point learns from the description."""

    def __init__(self, location):
        self.location = location
        url = urllib.parse.urlsplit(location)
        self.conn = http.client.HTTPConnection(url.netloc, timeout=DEADLINE)
        self.conn.request("GET", url.path)
        r = self.conn.getresponse()
        self.description = r.read()
        if r.status != 200:
            raise AssertionError("no description: %d" % r.status)
        ns = {"d": "urn:schemas-upnp-org:device-1-0"}
        self.root = ElementTree.fromstring(self.description)
        self.ns = ns
        self.services = {}
        for service in self.root.iter("{%s}service" % ns["d"]):
            kind = service.findtext("d:serviceType", namespaces=ns)
            self.services[kind] = {k: service.findtext("d:" + k, namespaces=ns)
                                   for k in ("controlURL", "SCPDURL", "eventSubURL")}
        self.connection = next((k for k in self.services if "WANIPConnection" in k or "WANPPPConnection" in k),
                               None)

    def call(self, service, action):
        return soap(self.conn, self.services[service]["controlURL"], service, action)

    def close(self):
        self.conn.close()


def test_upnp_description_and_control():
    sim = Sim("127.0.0.21", "--upnp", "--no-console", "--rx-start", "123456789", "--tx-start", "2345678",
              "--rx-rate", "1000", "--tx-rate", "100", "--link-down", "8000000", "--link-up", "1000000")
    try:
        words = sim.line.split()
        check(words[:4] == ["simrouter", "ready", "web=" + sim.fields["web"], "console=-"] and len(words) == 5
              and words[4].startswith("upnp=http://127.0.0.21:")
              and sim.upnp.endswith("/rootDesc.xml"), "the ready line keeps its fields, upnp last: " + sim.line)
        g = Gateway(sim.upnp)
        ns = g.ns
        root = g.root.find("d:device", ns)
        wan = root.find("d:deviceList/d:device", ns) if root is not None else None
        conn = wan.find("d:deviceList/d:device", ns) if wan is not None else None
        check(root is not None and root.findtext("d:deviceType", namespaces=ns)
              == DEVICE + "InternetGatewayDevice:1", "the root device is an IGD:1")
        check(wan is not None and wan.findtext("d:deviceType", namespaces=ns) == DEVICE + "WANDevice:1"
              and wan.findtext("d:serviceList/d:service/d:serviceType", namespaces=ns) == CIF,
              "a WANDevice:1 with WANCommonInterfaceConfig:1")
        check(conn is not None and conn.findtext("d:deviceType", namespaces=ns) == DEVICE + "WANConnectionDevice:1"
              and conn.findtext("d:serviceList/d:service/d:serviceType", namespaces=ns)
              == SERVICE + "WANIPConnection:1", "a WANConnectionDevice:1 with WANIPConnection:1")
        for kind, urls in g.services.items():
            check(all(urls.values()), "%s has control, SCPD and event URLs" % kind)
            g.conn.request("GET", urls["SCPDURL"])
            r = g.conn.getresponse()
            scpd = r.read().decode()
            check(r.status == 200 and "<scpd" in scpd and "<action>" in scpd, "the SCPD of %s is served" % kind)
        first_socket = g.conn.sock

        status, v = g.call(CIF, "GetTotalBytesReceived")
        received = int(v.get("NewTotalBytesReceived", -1))
        check(status == 200 and 123456789 <= received < 123456789 + 1000 * 120,
              "GetTotalBytesReceived: %s %s" % (status, v))
        status, v = g.call(CIF, "GetTotalBytesSent")
        check(status == 200 and 2345678 <= int(v.get("NewTotalBytesSent", -1)) < 2345678 + 100 * 120,
              "GetTotalBytesSent: %s %s" % (status, v))
        status, v = g.call(CIF, "GetTotalPacketsReceived")
        check(status == 200 and int(v.get("NewTotalPacketsReceived", 0)) > 0, "GetTotalPacketsReceived: %s" % v)
        status, v = g.call(CIF, "GetTotalPacketsSent")
        check(status == 200 and int(v.get("NewTotalPacketsSent", 0)) > 0, "GetTotalPacketsSent: %s" % v)
        status, v = g.call(CIF, "GetCommonLinkProperties")
        check(status == 200 and v.get("NewWANAccessType") == "DSL" and v.get("NewLayer1UpstreamMaxBitRate")
              == "1000000" and v.get("NewLayer1DownstreamMaxBitRate") == "8000000"
              and v.get("NewPhysicalLinkStatus") == "Up", "GetCommonLinkProperties: %s" % v)
        status, v = g.call(g.connection, "GetStatusInfo")
        check(status == 200 and v.get("NewConnectionStatus") == "Connected"
              and v.get("NewLastConnectionError") == "ERROR_NONE" and v.get("NewUptime", "").isdigit(),
              "GetStatusInfo: %s" % v)
        status, v = g.call(g.connection, "GetExternalIPAddress")
        check(status == 200 and v.get("NewExternalIPAddress", "").count(".") == 3, "GetExternalIPAddress: %s" % v)
        status, v = g.call(CIF, "GetNothingAtAll")
        check(status == 500 and v.get("errorCode") == "401" and v.get("errorDescription") == "Invalid Action",
              "an unknown action answers fault 401: %s %s" % (status, v))
        status, v = g.call(CIF, "GetStatusInfo")
        check(status == 500 and v.get("errorCode") == "401", "another service's action answers fault 401")
        check(g.conn.sock is first_socket and first_socket is not None, "one connection kept open throughout")

        # The byte totals follow the counters through the control endpoint.
        sim.control("rx=%d" % (U32 + 42))
        status, v = g.call(CIF, "GetTotalBytesReceived")
        check(int(v.get("NewTotalBytesReceived", -1)) < 42 + 1000 * 120, "ui4 totals wrap at 2**32: %s" % v)
        g.close()
    finally:
        check(sim.stop() == 0, "stops cleanly on SIGTERM")


def test_upnp_wrap():
    sim = Sim("127.0.0.22", "--upnp", "--no-web", "--no-console", "--upnp-urlbase", "--rx-start", str(U32 - 400000),
              "--tx-start", str(U32 - 40000), "--rx-rate", "1000000", "--tx-rate", "100000")
    try:
        g = Gateway(sim.upnp)
        base = g.root.findtext("d:URLBase", namespaces=g.ns)
        check(base and sim.upnp.startswith(base), "--upnp-urlbase gives the description's URLBase: %s" % base)
        readings = []

        def wrapped():
            rx = int(g.call(CIF, "GetTotalBytesReceived")[1]["NewTotalBytesReceived"])
            tx = int(g.call(CIF, "GetTotalBytesSent")[1]["NewTotalBytesSent"])
            readings.append((rx, tx))
            return rx < readings[0][0] and tx < readings[0][1]
        check(wait_for(wrapped), "both totals wrap at 2**32: %s" % readings[-3:])
        check(all(rx < U32 and tx < U32 for rx, tx in readings), "no total at or over 2**32")
        state = sim.control()
        check(state["upnp_requests"] >= 2 * len(readings), "/simctl answers on the UPnP port without a web server")
        g.close()
    finally:
        check(sim.stop() == 0, "stops cleanly on SIGTERM")


def test_upnp_discovery():
    a = Sim("127.0.0.31", "--upnp", "--no-web", "--no-console")
    b = Sim("127.0.0.32", "--upnp", "--no-web", "--no-console", "--upnp-connection", "ppp")
    quiet = Sim("127.0.0.33", "--upnp", "--no-web", "--no-console", "--upnp-mode", "silent")
    v2 = Sim("127.0.0.34", "--upnp", "--no-web", "--no-console", "--upnp-igd", "2")
    sims = (a, b, v2)
    try:
        targets = ["upnp:rootdevice", DEVICE + "InternetGatewayDevice:1", CIF]
        for target in targets:
            answers = m_search(target, lambda got: {p for p, _ in got} >= {s.address for s in sims})
            for sim in sims:
                mine = [h for p, h in answers if p == sim.address]
                check(len(mine) == 1, "%s answers %s once: %d" % (sim.address, target, len(mine)))
                if not mine:
                    continue
                h = mine[0]
                check(h["_status"] == "HTTP/1.1 200 OK" and h.get("ST") == target and h.get("LOCATION") == sim.upnp
                      and h.get("USN", "").startswith("uuid:") and "EXT" in h and "SERVER" in h
                      and h.get("CACHE-CONTROL", "").startswith("max-age="),
                      "%s's answer to %s: %s" % (sim.address, target, h))
                check(h.get("USN", "").endswith("::" + target), "the USN names %s: %s" % (target, h.get("USN")))
            check(not [p for p, _ in answers if p == quiet.address], "a silent gateway does not answer")
        # The silent one heard every search and answered none.
        heard = wait_for(lambda: quiet.control()["ssdp_searches"] >= len(targets))
        check(heard and quiet.control()["ssdp_replies"] == 0, "the silent gateway heard and kept quiet")

        plain = m_search(CIF, lambda got: {p for p, _ in got} >= {s.address for s in sims}, interface=False)
        check({p for p, _ in plain} == {s.address for s in sims} and len(plain) == len(sims),
              "a search without a multicast interface set is answered: %s" % [p for p, _ in plain])
        unicast = m_search("upnp:rootdevice", lambda got: bool(got), to=(b.address, 1900))
        check([p for p, _ in unicast] == [b.address], "a unicast search to one gateway: %s"
              % [p for p, _ in unicast])

        # ssdp:all: every device, service and the root from each gateway.
        answers = m_search("ssdp:all", lambda got: len([p for p, _ in got if p == a.address]) >= 9)
        sts = {h["ST"] for p, h in answers if p == a.address}
        check(sts >= {"upnp:rootdevice", DEVICE + "InternetGatewayDevice:1", DEVICE + "WANDevice:1",
                      DEVICE + "WANConnectionDevice:1", CIF, SERVICE + "WANIPConnection:1"},
              "ssdp:all lists the whole device: %s" % sorted(sts))

        for target, answering in ((SERVICE + "WANPPPConnection:1", b), (DEVICE + "InternetGatewayDevice:2", v2)):
            others = [s for s in sims if s is not answering]
            before = {s.address: s.control() for s in others}
            got = m_search(target, lambda got: any(p == answering.address for p, _ in got))
            check([p for p, _ in got] == [answering.address], "only %s answers %s: %s"
                  % (answering.address, target, [p for p, _ in got]))
            for s in others:
                heard = wait_for(lambda: s.control()["ssdp_searches"] > before[s.address]["ssdp_searches"])
                check(heard and s.control()["ssdp_replies"] == before[s.address]["ssdp_replies"],
                      "%s heard the search for %s and did not answer" % (s.address, target))
        g = Gateway(v2.upnp)
        check(g.connection == SERVICE + "WANIPConnection:2" and CIF in g.services,
              "an IGD:2 has WANIPConnection:2 and WANCommonInterfaceConfig:1: %s" % list(g.services))
        check(g.call(g.connection, "GetStatusInfo")[0] == 200, "WANIPConnection:2 answers")
        g.close()
        g = Gateway(b.upnp)
        check(g.connection == SERVICE + "WANPPPConnection:1" and g.call(g.connection, "GetStatusInfo")[0] == 200,
              "the PPP gateway's connection service answers")
        g.close()
    finally:
        for sim in (a, b, quiet, v2):
            check(sim.stop() == 0, "%s stops cleanly on SIGTERM" % sim.address)


def test_upnp_modes():
    sim = Sim("127.0.0.41", "--upnp", "--no-console", "--upnp-mode", "restart", "--restart-after", "4",
              "--rx-start", "1000000000", "--tx-start", "500000000", "--rx-rate", "1000")
    try:
        g = Gateway(sim.upnp)
        uptimes = []

        def uptime():
            uptimes.append(int(g.call(g.connection, "GetStatusInfo")[1]["NewUptime"]))
            return uptimes[-1]
        up = wait_for(lambda: uptime() >= 2)
        check(up, "the uptime counts seconds: %s" % uptimes[-3:])
        before = int(g.call(CIF, "GetTotalBytesReceived")[1]["NewTotalBytesReceived"])
        check(before >= 1000000000 and sim.control()["restarts"] == 0, "no reboot yet: %d" % before)

        def rebooted():
            return int(g.call(CIF, "GetTotalBytesReceived")[1]["NewTotalBytesReceived"]) < 1000000
        check(wait_for(rebooted), "restart: the counters start again from small values")
        check(uptime() < uptimes[-2], "restart: the uptime starts again: %s" % uptimes[-3:])
        check(sim.control()["restarts"] == 1, "one reboot")
        check(g.conn.sock is not None, "the connection outlives the reboot")

        # A reboot on demand, and the fault modes switched while running.
        check(wait_for(lambda: uptime() >= 1), "the uptime counts again")
        sim.control("restart=1")
        check(uptime() == 0 and int(g.call(CIF, "GetTotalBytesReceived")[1]["NewTotalBytesReceived"]) < 1000000,
              "restart=1 reboots at once")

        sim.control("upnp=stuck")
        for action, name in (("GetTotalBytesReceived", "NewTotalBytesReceived"),
                             ("GetTotalBytesSent", "NewTotalBytesSent")):
            status, v = g.call(CIF, action)
            check(status == 200 and v.get(name) == "4294967295", "stuck: %s answers 4294967295: %s" % (action, v))
        status, v = g.call(CIF, "GetTotalPacketsReceived")
        check(status == 200 and v.get("NewTotalPacketsReceived") != "4294967295", "stuck: packets still move")

        sim.control("upnp=refuse")
        for service, action in ((CIF, "GetTotalBytesReceived"), (CIF, "GetCommonLinkProperties"),
                                (g.connection, "GetStatusInfo"), (g.connection, "GetExternalIPAddress")):
            status, v = g.call(service, action)
            check(status == 500 and v.get("errorCode") == "501" and v.get("errorDescription") == "Action Failed",
                  "refuse: %s answers fault 501: %s %s" % (action, status, v))
        g.conn.request("GET", "/rootDesc.xml")
        r = g.conn.getresponse()
        check(r.status == 200 and b"InternetGatewayDevice" in r.read(), "refuse: the description is still served")
        answers = m_search("upnp:rootdevice", lambda got: any(p == sim.address for p, _ in got))
        check(any(p == sim.address for p, _ in answers), "refuse: discovery still answers")

        sim.control("upnp=ok")
        status, v = g.call(CIF, "GetTotalBytesReceived")
        check(status == 200 and int(v["NewTotalBytesReceived"]) < 1000000, "ok again: %s" % v)
        try:
            sim.control("upnp=bogus")
            check(False, "an unknown upnp mode is refused")
        except RuntimeError:
            check(True, "")
        g.close()
    finally:
        check(sim.stop() == 0, "stops cleanly on SIGTERM")

    # Started in a fault mode.
    for mode in ("stuck", "refuse"):
        sim = Sim("127.0.0.42", "--upnp", "--no-web", "--no-console", "--upnp-mode", mode)
        try:
            g = Gateway(sim.upnp)
            status, v = g.call(CIF, "GetTotalBytesSent")
            expected = (200, "4294967295") if mode == "stuck" else (500, None)
            check((status, v.get("NewTotalBytesSent")) == expected, "%s from the start: %s %s" % (mode, status, v))
            g.close()
        finally:
            check(sim.stop() == 0, "stops cleanly on SIGTERM")


def test_upnp_hostile():
    """A hostile LAN host's modes: decoy elements, a trickled description, an address claimed elsewhere."""
    sim = Sim("127.0.0.43", "--upnp", "--no-web", "--no-console", "--upnp-mode", "decoy", "--rx-start", "777",
              "--link-down", str(2 ** 53))
    try:
        g = Gateway(sim.upnp)
        status, v = g.call(CIF, "GetTotalBytesReceived")
        check(status == 200 and v.get("NewTotalBytesReceivedX") == "3999999999"
              and v.get("NewTotalBytesReceived") == "777", "decoy: the decoy, then the total: %s" % v)
        v = g.call(CIF, "GetCommonLinkProperties")[1]
        check(v.get("NewLayer1DownstreamMaxBitRate") == str(2 ** 53), "any speed may be claimed: %s" % v)
        g.close()
        sim.control("upnp=trickle")
        url = urllib.parse.urlsplit(sim.upnp)
        conn = http.client.HTTPConnection(url.netloc, timeout=DEADLINE)
        conn.request("GET", url.path)
        r = conn.getresponse()
        check(r.status == 200 and int(r.getheader("Content-Length")) > 1000 and r.read(2) == b"<?",
              "trickle: the whole description announced, its first bytes sent")
        conn.close()
    finally:
        check(sim.stop() == 0, "stops cleanly on SIGTERM")
    sim = Sim("127.0.0.44", "--upnp", "--no-web", "--no-console", "--upnp-claim", "203.0.113.5")
    try:
        answers = m_search("upnp:rootdevice", lambda got: any(p == sim.address for p, _ in got))
        located = [h.get("LOCATION", "") for p, h in answers if p == sim.address]
        check(located == [sim.upnp.replace("127.0.0.44", "203.0.113.5")], "--upnp-claim in LOCATION: %s" % located)
    finally:
        check(sim.stop() == 0, "stops cleanly on SIGTERM")


def test_duration_and_listen():
    sim = Sim("127.0.0.51", "--upnp", "--duration", "0.5")
    try:
        code = sim.proc.wait(DEADLINE)
    except subprocess.TimeoutExpired:
        code = None
    check(code == 0, "--duration stops it by itself: %s" % code)
    sim.stop()
    out = subprocess.run([sys.executable, SIM, "--address", "10.1.2.3", "--upnp"], capture_output=True,
                         timeout=DEADLINE)
    check(out.returncode != 0 and not out.stdout, "refuses a non-loopback address")


def test_upnpc():
    """An independent control point, where miniupnpc's upnpc is installed."""
    upnpc = shutil.which("upnpc")
    if not upnpc:
        print("upnpc not installed: its checks skipped", flush=True)
        return
    sim = Sim("127.0.0.61", "--upnp", "--no-web", "--no-console", "--rx-start", "123456789",
              "--link-down", "8000000", "--link-up", "1000000")
    try:
        out = subprocess.run([upnpc, "-u", sim.upnp, "-s"], capture_output=True, timeout=60).stdout.decode()
        check("Connected" in out and "Recv: 1234" in out, "upnpc -u URL -s reads the gateway:\n" + out)
        check("8000000" in out and "1000000" in out, "upnpc reads the link's bit rates")
        for argv in ([upnpc, "-m", "lo", "-s"], [upnpc, "-s"]):
            out = subprocess.run(argv, capture_output=True, timeout=60).stdout.decode()
            check(sim.upnp in out, "%s discovers the gateway over multicast:\n%s" % (" ".join(argv[1:]), out))
    finally:
        check(sim.stop() == 0, "stops cleanly on SIGTERM")


# ---- the SNMP agent ---------------------------------------------------------------

def load_sim():
    import importlib.util
    spec = importlib.util.spec_from_file_location("simrouter", SIM)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def snmp_reply(sim, data):
    """(request id, error status, error index, [(OID, tag, value)]) of a response."""
    tag, message, end = sim.ber_read(data, 0)
    items = sim.ber_items(message)
    if tag != sim.SEQUENCE or end != len(data) or len(items) != 3 or items[2][0] != sim.RESPONSE:
        raise ValueError("not a response")
    fields = sim.ber_items(items[2][1])
    numbers = [int.from_bytes(v, "big", signed=True) for _, v in fields[:3]]
    bindings = []
    for _, vb in sim.ber_items(fields[3][1]):
        (_, name), (kind, value) = sim.ber_items(vb)
        number = int.from_bytes(value, "big", signed=kind == sim.INTEGER) if kind not in (sim.OCTETS,) else value
        bindings.append((sim.ber_decode_oid(name), kind, number))
    return numbers[0], numbers[1], numbers[2], bindings


class SnmpClient:
    """Requests of our own making, and every datagram that comes back."""

    def __init__(self, sim, where, community=b"public"):
        self.sim, self.community = sim, community
        host, port = where.rsplit(":", 1)
        self.peer = (host, int(port))
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.rid = 1000

    def ask(self, kind, names, version=1, a=0, b=0, want=1, timeout=DEADLINE):
        """The first `want` datagrams that answer (fewer at the deadline)."""
        self.rid += 1
        vbs = b"".join(self.sim.ber_tlv(self.sim.SEQUENCE, self.sim.ber_oid(n) + b"\x05\x00") for n in names)
        pdu = self.sim.ber_int(self.rid) + self.sim.ber_int(a) + self.sim.ber_int(b) + \
            self.sim.ber_tlv(self.sim.SEQUENCE, vbs)
        message = self.sim.ber_tlv(self.sim.SEQUENCE, self.sim.ber_int(version) +
                                   self.sim.ber_tlv(self.sim.OCTETS, self.community) + self.sim.ber_tlv(kind, pdu))
        self.sock.sendto(message, self.peer)
        got, end = [], time.monotonic() + timeout
        while len(got) < want:
            ready, _, _ = select.select([self.sock], [], [], max(0.0, end - time.monotonic()))
            if not ready:
                break
            got.append(self.sock.recv(70000))
        return got

    def get(self, names, version=1):
        replies = self.ask(self.sim.GET, names, version)
        return snmp_reply(self.sim, replies[0]) if replies else None

    def close(self):
        self.sock.close()


IN32 = (1, 3, 6, 1, 2, 1, 2, 2, 1, 10, 3)
IN64 = (1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 6, 3)
UPTIME = (1, 3, 6, 1, 2, 1, 1, 3, 0)
DISCONTINUITY = (1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 19, 3)


def test_snmp_codec():
    sim = load_sim()
    for value in (0, 127, 128, 255, -1, -5, -129, U32 - 1, 2 ** 64 - 1):
        tag, content, _ = sim.ber_read(sim.ber_int(value, sim.COUNTER64), 0)
        check(tag == sim.COUNTER64 and int.from_bytes(content, "big", signed=True) == value, "BER integer %d" % value)
    for oid in ((1, 3, 6, 1, 2, 1, 1, 3, 0), (1, 3, 6, 1, 4, 1, 2 ** 32 - 1, 128, 16383, 16384)):
        tag, content, _ = sim.ber_read(sim.ber_oid(oid), 0)
        check(sim.ber_decode_oid(content) == oid, "BER OID %s" % (oid,))
    big = sim.ber_tlv(sim.OCTETS, b"x" * 70000)
    check(sim.ber_read(big, 0)[1] == b"x" * 70000, "a long form length")
    for junk in (b"", b"\x30", b"\x30\x85\x00\x00\x00\x00\x01", b"\x30\x05\x02\x01", b"\xff" * 10):
        try:
            sim.snmp_decode(junk)
            check(False, "decodes junk %r" % junk)
        except ValueError:
            check(True, "junk refused")


def test_snmp_agent():
    mod = load_sim()
    sim = Sim("127.0.0.62", "--snmp", "--counter-bits", "32", "--rx-start", str(U32 - 100), "--rx-rate", "1000",
              "--counter-refresh", "1.5")
    client = SnmpClient(mod, sim.fields["snmp"])
    try:
        reply = client.get([UPTIME, IN32, IN64])
        check(reply is not None and reply[1] == 0, "answers a v2c GET: %r" % (reply,))
        if reply:
            (_, up_kind, up), (_, in_kind, first), (_, hc_kind, _) = reply[3]
            check(up_kind == mod.TIMETICKS and in_kind == mod.COUNTER32 and hc_kind == mod.NO_SUCH_INSTANCE,
                  "sysUpTime, a Counter32, and no 64-bit counter with --counter-bits 32: %r" % (reply[3],))
            # Stepped: the figure stands, then jumps; and wraps at 2**32.
            again = client.get([IN32])[3][0][2]
            changed = wait_for(lambda: (lambda v: v if v != first else None)(client.get([IN32])[3][0][2]))
            check(changed is not None and (changed - first) % U32 >= 1000, "the counter moves in steps: %s %s %s"
                  % (first, again, changed))
            wrapped = wait_for(lambda: client.get([IN32])[3][0][2] < first)
            check(wrapped, "the 32-bit counter wraps")
        # Wrong community: counted, never answered.
        asked = sim.control()["snmp_requests"]
        wrong = SnmpClient(mod, sim.fields["snmp"], b"private")
        check(not wrong.ask(mod.GET, [UPTIME], timeout=1.0), "a wrong community gets no answer")
        wrong.close()
        check(sim.control()["snmp_requests"] == asked + 1, "the wrong community's request did arrive")
        # A restart puts sysUpTime back; a discontinuity is told in ifCounterDiscontinuityTime.
        before = client.get([UPTIME])[3][0][2]
        wait_for(lambda: client.get([UPTIME])[3][0][2] > before + 50)
        sim.control("restart=1")
        check(client.get([UPTIME])[3][0][2] < before + 50, "sysUpTime goes back at a restart")
        check(client.get([DISCONTINUITY])[3][0][2] == 0, "no discontinuity yet")
        wait_for(lambda: client.get([UPTIME])[3][0][2] > 10)
        sim.control("discontinuity=1")
        check(client.get([DISCONTINUITY])[3][0][2] > 10, "a discontinuity's time is sysUpTime then")
        # The faults.
        sim.control("snmp=malformed")
        got = client.ask(mod.GET, [IN32], want=5)
        decoded = []
        for d in got:
            try:
                decoded.append(snmp_reply(mod, d)[0])
            except (ValueError, IndexError):
                decoded.append(None)
        check(decoded == [None, None, None, None, client.rid], "four broken datagrams, then the reply: %r" % decoded)
        sim.control("snmp=wrongid")
        got = [snmp_reply(mod, d) for d in client.ask(mod.GET, [IN32], want=2)]
        check([g[0] for g in got] == [client.rid + 1, client.rid] and got[0][3][0][2] != got[1][3][0][2],
              "a decoy with another request id first: %r" % got)
        sim.control("snmp=bigreply")
        got = client.ask(mod.GETBULK, [(1, 3, 6, 1, 2, 1, 2, 2, 1, 2)], a=0, b=500)
        check(got and len(got[0]) <= mod.LARGEST_REPLY and len(snmp_reply(mod, got[0])[3]) >= 1,
              "a bulk reply fits a datagram: %s bytes" % (len(got[0]) if got else None))
        sim.control("snmp=endless")
        got = snmp_reply(mod, client.ask(mod.GETBULK, [(1, 3, 6, 1, 2, 1, 2, 2, 1, 2, 900)], b=3)[0])[3]
        check([o[-1] for o, _, _ in got] == [901, 902, 903], "ifDescr never ends: %r" % got)
        sim.control("snmp=stuck")
        check(client.get([IN32])[3][0][2] == U32 - 1, "stuck at 4294967295")
        sim.control("snmp=negative")
        check(client.get([IN32])[3][0][1:] == (mod.COUNTER32, -5 % 256), "a negative Counter32's byte")
        sim.control("snmp=v1only")
        check(not client.ask(mod.GET, [UPTIME], timeout=1.0), "v1 only: a v2c request gets no answer")
        last = (1, 3, 6, 1, 2, 1, 4, 25)
        reply = snmp_reply(mod, client.ask(mod.GETNEXT, [last], version=0)[0])
        check(reply[1:3] == (mod.NO_SUCH_NAME, 1), "v1: past the end of the MIB is noSuchName: %r" % (reply,))
        reply = client.get([(1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 1, 3)], version=0)
        check(reply[1] == mod.NO_SUCH_NAME, "v1 only: no ifXTable")
        sim.control("snmp=silent")
        check(not client.ask(mod.GET, [UPTIME], timeout=1.0), "silent")
        snmpget = shutil.which("snmpget")
        if snmpget:
            sim.control("snmp=ok")
            out = subprocess.run([snmpget, "-v2c", "-c", "public", "-M", "/dev/null", "-On", sim.fields["snmp"],
                                  ".1.3.6.1.2.1.31.1.1.1.1.3", ".1.3.6.1.2.1.2.2.1.10.3"],
                                 capture_output=True, timeout=DEADLINE).stdout.decode()
            check('STRING: "eth1"' in out and "Counter32:" in out, "net-snmp's snmpget reads the agent:\n" + out)
    finally:
        client.close()
        check(sim.stop() == 0, "stops cleanly on SIGTERM")


def main():
    names = [n for _, n in socket.if_nameindex()]
    if names != ["lo"]:
        print("run inside a private network namespace: scripts/in-private-net python3 %s (interfaces: %s)"
              % (sys.argv[0], names))
        return 2
    for test in (test_firmware_page, test_firmware_served, test_console_layouts, test_console_drop_and_lie,
                 test_upnp_description_and_control,
                 test_upnp_wrap, test_upnp_discovery, test_upnp_modes, test_upnp_hostile, test_duration_and_listen,
                 test_upnpc, test_snmp_codec, test_snmp_agent):
        try:
            test()
        except Exception:
            check(False, "%s raised:\n%s" % (test.__name__, traceback.format_exc()))
    print("%d passed, %d failed" % (passed, failed), flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
