#!/usr/bin/env python3
"""The recorder from outside, against the simulated router: what it serves,
who it serves, and what it keeps when it ends.

    test_recorder.py PATH/TO/vxstat-recorder CASE [--unit FILE]

Runs inside a private network namespace (it re-runs itself under
scripts/in-private-net when it is not in one); everything talks to 127.0.0.N
only. Every process it starts is ended by pid."""

import argparse
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RX_RATE, TX_RATE = 150000, 21000
PASSWORD = "router-Pw-7f3e91"  # must never come back in any answer or log line
TOKEN = "tok-0123456789abcdef-xyz"
WAIT = 60  # seconds any condition may take on a busy machine
# One reading's rate is the bytes over the whole seconds since the last one: a
# reading that comes late on a busy machine shows more. The totals are exact.
RATE_SLACK = 0.15


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(predicate, what, timeout=WAIT):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.1)


def in_private_network():
    with open("/proc/self/net/dev") as f:
        return [line.split(":")[0].strip() for line in f.readlines()[2:]] == ["lo"]


def free_port(address="127.0.0.1"):
    with socket.socket(socket.AF_INET6 if ":" in address else socket.AF_INET) as s:
        s.bind((address, 0))
        return s.getsockname()[1]


class Run:
    """The processes and the folder of one case."""

    def __init__(self, recorder):
        self.recorder = recorder
        self.root = tempfile.mkdtemp(prefix="vxrec-")
        self.procs = []

    def spawn(self, argv, **kw):
        proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)
        self.procs.append(proc)
        return proc

    def close(self):
        for proc in self.procs:
            if proc.poll() is None:
                proc.kill()
            proc.wait()
        shutil.rmtree(self.root, ignore_errors=True)

    def router(self):
        proc = self.spawn([sys.executable, os.path.join(REPO, "tools", "simrouter.py"), "--address", "127.0.0.1",
                           "--no-console", "--password", PASSWORD, "--rx-rate", str(RX_RATE),
                           "--tx-rate", str(TX_RATE)])
        line = proc.stdout.readline()
        expect(line.startswith("simrouter ready web="), "the simulated router did not start: " + line)
        return line.split("web=")[1].split()[0]

    def config(self, web, extra=""):
        folder = os.path.join(self.root, "config")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "boot.ini"), "w") as f:
            f.write("[Settings]\nEnabled=True\nIP=%s\nPassword=%s\nSpeed=2meg\n9106router=No\nQuota=10G\n%s"
                    % (web, PASSWORD, extra))
        return folder

    def start(self, config, listen, *extra):
        return self.spawn([self.recorder, "--config", config, "--listen", listen] + list(extra))

    def finish(self, proc, timeout=WAIT):
        """Waits for a process that should end; its status and standard error."""
        try:
            _, err = proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the recorder did not end")
        return proc.returncode, err


def get(listen, path, token=None, cookie=None):
    """(status, body) of a GET; no proxy, whatever the environment says."""
    request = urllib.request.Request("http://%s%s" % (listen, path))
    if token is not None:
        request.add_header("Authorization", "Bearer " + token)
    if cookie is not None:
        request.add_header("Cookie", "vxstat_token=" + cookie)
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    try:
        with opener.open(request, timeout=10) as reply:
            return reply.status, reply.read().decode()
    except urllib.error.HTTPError as e:
        return e.code, e.read().decode()
    except OSError:
        return None, ""


def now(listen, token=None):
    status, body = get(listen, "/api/v1/now", token)
    return json.loads(body) if status == 200 else None


def metric(text, name):
    """The value of a metric's first sample."""
    m = re.search(r"^%s\{[^}]*\} (\S+)$" % re.escape(name), text, re.M)
    expect(m is not None, "no %s in /metrics:\n%s" % (name, text))
    return float(m.group(1))


def up(listen, token=None):
    """Waits until the recorder serves a reading of the router."""
    return wait_for(lambda: (lambda n: n if n and n["up"] and n["rates"] else None)(now(listen, token)),
                    "the recorder to read the router")


# ---- cases ------------------------------------------------------------------------

def case_serving(run):
    """/metrics passes promtool, the receive counter grows at the router's rate,
    the JSON and the page answer, and the password is in no answer and no log."""
    web = run.router()
    config = run.config(web)
    listen = "127.0.0.1:%d" % free_port()
    proc = run.start(config, listen)
    first = up(listen)
    expect(first["source"] == "web" and first["router"] == web, "who the recorder reads: %r" % first)
    expect(abs(first["rates"]["in"] - RX_RATE) <= RX_RATE * RATE_SLACK, "the receive rate: %r" % first["rates"])

    status, text = get(listen, "/metrics")
    expect(status == 200, "/metrics answered %s" % status)
    check = subprocess.run(["promtool", "check", "metrics"], input=text, capture_output=True, text=True)
    expect(check.returncode == 0, "promtool check metrics:\n%s%s\n%s" % (check.stdout, check.stderr, text))
    expect(metric(text, "vxstat_up") == 1, "vxstat_up is not 1")
    expect(metric(text, "vxstat_quota_bytes") == 10 * 1024 ** 3, "the quota from boot.ini")
    for name in ("vxstat_received_bytes_total", "vxstat_sent_bytes_total"):
        expect('router="%s",source="web"' % web in text.split(name + "{")[1].split("}")[0], name + "'s labels")

    # The counter over at least ten seconds of the test's own clock: a reading
    # may lag its moment by up to about two seconds at each end.
    t0, in0 = time.monotonic(), metric(get(listen, "/metrics")[1], "vxstat_received_bytes_total")
    wait_for(lambda: time.monotonic() - t0 >= 10, "ten seconds")
    t1, in1 = time.monotonic(), metric(get(listen, "/metrics")[1], "vxstat_received_bytes_total")
    expected = RX_RATE * (t1 - t0)
    expect(abs((in1 - in0) - expected) <= RX_RATE * 4,
           "the receive counter grew by %d in %.1f s; the router's rate gives %d" % (in1 - in0, t1 - t0, expected))

    answers = {}
    for path in ("/", "/metrics", "/api/v1/now", "/api/v1/history/hours", "/api/v1/history/days",
                 "/api/v1/history/months", "/nothing-here"):
        answers[path] = get(listen, path)
    expect(answers["/nothing-here"][0] == 404, "an unknown path answered %s" % answers["/nothing-here"][0])
    expect(answers["/"][0] == 200 and "/api/v1/now" in answers["/"][1], "the page")
    expect(not re.search(r"(src|href)=\"?(https?:)?//", answers["/"][1]), "the page fetches from elsewhere")
    hours = json.loads(answers["/api/v1/history/hours"][1])
    expect(len(hours["routers"]) == 1 and len(hours["routers"][0]["bars"]) == 24, "24 hours: %r" % hours)
    months = json.loads(answers["/api/v1/history/months"][1])
    expect(months["routers"][0]["quota"] == 10 * 1024 ** 3, "the months' quota: %r" % months)

    proc.send_signal(signal.SIGTERM)
    status, err = run.finish(proc)
    expect(status == 0, "the recorder ended with %s:\n%s" % (status, err))
    for path, (_, body) in answers.items():
        expect(PASSWORD not in body, "the router's password in the answer to " + path)
    expect(PASSWORD not in err, "the router's password in the log:\n" + err)


def case_token(run):
    """Any address but 127.0.0.1 needs a token; then every request carries it."""
    web = run.router()
    listen = "127.0.0.2:%d" % free_port("127.0.0.2")
    for extra in ("", "Token=short\n", "Token=long enough but; spaced\n"):
        config = run.config(web, extra)
        status, err = run.finish(run.start(config, listen))
        expect(status != 0, "the recorder listened on %s with %r" % (listen, extra))
        expect("Token=" in err, "the refusal does not say why:\n" + err)
        expect(extra or "127.0.0.1" in err, "the refusal does not say what listens without a token:\n" + err)
        expect(get(listen, "/metrics")[0] is None, "something answers on " + listen)

    config = run.config(web, "Token=%s\n" % TOKEN)
    proc = run.start(config, listen)
    up(listen, TOKEN)
    for path in ("/", "/metrics", "/api/v1/now", "/api/v1/history/days"):
        for token in (None, "", "wrong-token-0123456789", TOKEN + "x", TOKEN[:-1]):
            status, body = get(listen, path, token)
            expect(status == 401, "%s with token %r answered %s" % (path, token, status))
            expect(PASSWORD not in body and TOKEN not in body, "a refusal shows a secret")
        expect(get(listen, path, TOKEN)[0] == 200, path + " refused the right token")
    # A browser carries it as the cookie the token page sets.
    expect(get(listen, "/api/v1/now", cookie=TOKEN)[0] == 200, "the cookie is refused")
    expect(get(listen, "/api/v1/now", cookie="nope")[0] == 401, "a wrong cookie is accepted")
    proc.send_signal(signal.SIGTERM)
    status, err = run.finish(proc)
    expect(status == 0 and TOKEN not in err and PASSWORD not in err, "the log:\n" + err)

    # IPv6: ::1 is this machine alone, as 127.0.0.1 is; any other address needs the token.
    listen6 = "[::1]:%d" % free_port("::1")
    proc = run.start(run.config(web), listen6)
    expect(up(listen6)["router"] == web, "the recorder on " + listen6)
    proc.send_signal(signal.SIGTERM)
    expect(run.finish(proc)[0] == 0, "the recorder on %s did not end cleanly" % listen6)
    status, err = run.finish(run.start(run.config(web), "[::]:%d" % free_port("::1")))
    expect(status != 0 and "Token=" in err, "the recorder listened on [::] without a token:\n" + err)


def case_slow_clients(run):
    """Clients that hold connections open without finishing a request, more
    than the server takes at once, leave the readings at one a second; the
    server drops them after its time-out and answers others."""
    web = run.router()
    listen = "127.0.0.1:%d" % free_port()
    proc = run.start(run.config(web), listen)
    first = up(listen)
    host, port = listen.split(":")
    held = []
    try:
        for source in ("127.0.0.1", "127.0.0.3", "127.0.0.4", "127.0.0.5", "127.0.0.6"):
            for _ in range(12):
                s = socket.socket()
                s.bind((source, 0))
                try:
                    s.connect((host, int(port)))
                    s.sendall(b"GET /metrics HTTP/1.1\r\nHost: x\r\nX-Slow: ")  # never ended
                except OSError:
                    pass  # refused once the server's bounds are reached: as it should be
                held.append(s)
        t0 = time.monotonic()
        wait_for(lambda: time.monotonic() - t0 >= 8, "eight seconds of slow clients")
        # From an address of its own: answered once the slow ones are dropped.
        conn = __import__("http.client").client.HTTPConnection(host, int(port), timeout=10,
                                                               source_address=("127.0.0.7", 0))
        conn.request("GET", "/api/v1/now")
        reply = conn.getresponse()
        expect(reply.status == 200, "a client beside the slow ones got %s" % reply.status)
        later = json.loads(reply.read())
        conn.close()
    finally:
        for s in held:
            s.close()
    elapsed = time.monotonic() - t0
    ticks = later["tick"] - first["tick"]
    expect(ticks >= elapsed * 0.8, "%d ticks in %.1f s of slow clients" % (ticks, elapsed))
    expect(later["up"] and later["rates"] and abs(later["rates"]["in"] - RX_RATE) <= RX_RATE * RATE_SLACK,
           "the readings under slow clients: %r" % later)
    proc.send_signal(signal.SIGTERM)
    expect(run.finish(proc)[0] == 0, "SIGTERM")


def case_lifecycle(run):
    """One recorder per data folder; SIGTERM writes the totals and the history,
    which the next start serves."""
    web = run.router()
    config = run.config(web)
    data = os.path.join(run.root, "data")
    listen = "127.0.0.1:%d" % free_port()
    proc = run.start(config, listen, "--data", data)
    up(listen)

    second = run.start(config, "127.0.0.1:%d" % free_port(), "--data", data)
    status, err = run.finish(second)
    expect(status != 0 and "already keeps the files in " + data in err, "a second start:\n" + err)
    expect(now(listen)["up"], "the first recorder stopped serving")

    before = wait_for(lambda: (lambda n: n if n and n["totals"]["in"] > 3 * RX_RATE else None)(now(listen)),
                      "a few seconds of bytes")["totals"]
    proc.send_signal(signal.SIGTERM)
    status, err = run.finish(proc)
    expect(status == 0, "SIGTERM: status %s\n%s" % (status, err))
    expect(not os.path.exists(os.path.join(config, "history.db")), "the history left the data folder")
    with open(os.path.join(data, "userstats.txt")) as f:
        stats = f.read()
    saved = float(re.search(r"^Incoming=\s*(\d+)", stats, re.M).group(1))
    expect(saved >= before["in"], "userstats.txt keeps %d, %d were counted" % (saved, before["in"]))

    # Started again: the history holds what the first one counted, totals grow on.
    proc = run.start(config, listen, "--data", data)
    n = up(listen)
    expect(n["totals"]["in"] >= saved, "the totals started again from %d" % n["totals"]["in"])
    hours = json.loads(get(listen, "/api/v1/history/hours")[1])["routers"][0]["bars"]
    kept = sum(bar["in"] for bar in hours)
    expect(kept >= before["in"], "the history keeps %d of %d bytes after SIGTERM" % (kept, before["in"]))
    # The statistics page tells no uptime: the time between the two runs is
    # never taken as provable, so nothing is recovered.
    expect(all(bar["recovered"] == {"in": 0, "out": 0} for bar in hours), "nothing recovered: %r" % hours)
    proc.send_signal(signal.SIGINT)
    expect(run.finish(proc)[0] == 0, "SIGINT")


def case_command_line(run):
    """--help and --version print and end; a missing folder or boot.ini is said."""
    for arg, text in (("--help", "usage: vxstat-recorder --config DIR"), ("--version", "vxstat-recorder ")):
        out = subprocess.run([run.recorder, arg], capture_output=True, text=True, timeout=WAIT)
        expect(out.returncode == 0 and out.stdout.startswith(text), arg + ": " + out.stdout + out.stderr)
    out = subprocess.run([run.recorder], capture_output=True, text=True, timeout=WAIT)
    expect(out.returncode == 2 and "--config" in out.stderr, "no arguments: " + out.stderr)
    out = subprocess.run([run.recorder, "--config", os.path.join(run.root, "none")], capture_output=True,
                         text=True, timeout=WAIT)
    expect(out.returncode == 1 and "boot.ini does not exist" in out.stderr, "no boot.ini: " + out.stderr)


def case_prometheus(run):
    """A real Prometheus scraping each second sees rate() at the router's."""
    web = run.router()
    listen = "127.0.0.1:%d" % free_port()
    proc = run.start(run.config(web), listen)
    up(listen)
    prom = "127.0.0.1:%d" % free_port()
    folder = os.path.join(run.root, "prometheus")
    os.makedirs(folder)
    with open(os.path.join(folder, "prometheus.yml"), "w") as f:
        f.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                "scrape_configs:\n  - job_name: vxstat\n    static_configs:\n      - targets: ['%s']\n" % listen)
    run.spawn(["prometheus", "--config.file=" + os.path.join(folder, "prometheus.yml"),
               "--storage.tsdb.path=" + os.path.join(folder, "data"), "--web.listen-address=" + prom])

    def query(expr):
        status, body = get(prom, "/api/v1/query?" + urllib.parse.urlencode({"query": expr}))
        if status != 200:
            return None
        result = json.loads(body)["data"]["result"]
        return float(result[0]["value"][1]) if result else None

    wait_for(lambda: query("vxstat_up") == 1, "Prometheus to see the router answering", timeout=120)
    # The counter steps once a reading and is scraped once a second: over 20
    # samples that beat moves rate() by a few per cent at most. The window
    # must lie wholly within the series, or rate() extrapolates a short one.
    wait_for(lambda: (query("count_over_time(vxstat_received_bytes_total[60s])") or 0) >= 25,
             "25 seconds of scrapes", timeout=180)
    rate = query("rate(vxstat_received_bytes_total[20s])")
    expect(rate is not None, "no rate() from Prometheus")
    expect(abs(rate - RX_RATE) <= RX_RATE * 0.10, "Prometheus's rate() is %.0f, the router's %d\n%s"
           % (rate, RX_RATE, get(listen, "/metrics")[1]))
    proc.send_signal(signal.SIGTERM)
    run.finish(proc)


def case_unit(run):
    """The packaged unit passes systemd-analyze verify, its manual page
    included, with the built program where the package puts it."""
    with open(run.unit) as f:
        unit = f.read()
    expect("\nExecStart=/usr/bin/vxstat-recorder --config " in unit, "the unit starts something else")
    for line in ("DynamicUser=yes", "NoNewPrivileges=yes", "ProtectSystem=strict", "PrivateTmp=yes",
                 "StateDirectory=vxstat-recorder", "ConfigurationDirectory=vxstat-recorder"):
        expect("\n" + line + "\n" in unit, "the unit lacks " + line)
    copy = os.path.join(run.root, "vxstat-recorder.service")
    with open(copy, "w") as f:
        f.write(unit.replace("ExecStart=/usr/bin/vxstat-recorder ", "ExecStart=%s " % run.recorder))
    man8 = os.path.join(run.root, "man", "man8")
    os.makedirs(man8)
    shutil.copy(run.manpage, man8)
    env = dict(os.environ, MANPATH=os.path.join(run.root, "man"))
    out = subprocess.run(["systemd-analyze", "verify", copy], capture_output=True, text=True, env=env,
                         timeout=WAIT)
    expect(out.returncode == 0 and not out.stderr.strip(),
           "systemd-analyze verify: %d\n%s%s" % (out.returncode, out.stdout, out.stderr))


def case_browser(run):
    """A real browser (headless chromium) shows the live figures, and they change."""
    web = run.router()
    listen = "127.0.0.1:%d" % free_port()
    proc = run.start(run.config(web), listen)
    up(listen)
    profile = os.path.join(run.root, "chromium")

    def page():
        out = subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--user-data-dir=" + profile,
                              "--virtual-time-budget=3000", "--dump-dom", "http://%s/" % listen],
                             capture_output=True, text=True, timeout=WAIT)
        figures = dict(re.findall(r'<(?:div|p|h1)\b[^>]*\bid="(\w+)"[^>]*>([^<]*)<', out.stdout))
        return figures if figures.get("status") == "Reading the router" else None

    first = wait_for(page, "the page to show the router's readings")
    shown = re.match(r"([\d.]+) KB/s$", first["rin"])
    expect(shown is not None, "the receive rate on the page: %r" % first)
    expect(abs(float(shown.group(1)) * 1024 - RX_RATE) <= RX_RATE * RATE_SLACK, "the page's rate: " + first["rin"])
    expect(first["router"] == web + " (web)", "the page names %r" % first["router"])
    expect(first["quota"].endswith("% of 10.00 GB"), "the page's quota: %r" % first["quota"])
    later = wait_for(lambda: (lambda p: p if p and p["totals"] != first["totals"] else None)(page()),
                     "the page's totals to move on")
    expect(later["totals"] != first["totals"], "the totals stand still")
    proc.send_signal(signal.SIGTERM)
    run.finish(proc)


def case_prometheus_files(run):
    """The example scrape configuration and recording rules pass promtool."""
    folder = os.path.join(REPO, "packaging", "prometheus")
    with open(os.path.join(folder, "prometheus.yml")) as f:
        config = f.read()
    # The token file it names is the administrator's to make: one stands in here.
    token = os.path.join(run.root, "vxstat-token")
    with open(token, "w") as f:
        f.write(TOKEN)
    expect("/etc/prometheus/vxstat-token" in config, "the configuration names no token file")
    with open(os.path.join(run.root, "prometheus.yml"), "w") as f:
        f.write(config.replace("/etc/prometheus/vxstat-token", token))
    shutil.copy(os.path.join(folder, "vxstat-rules.yml"), run.root)
    for argv in (["promtool", "check", "config", os.path.join(run.root, "prometheus.yml")],
                 ["promtool", "check", "rules", os.path.join(folder, "vxstat-rules.yml")]):
        out = subprocess.run(argv, capture_output=True, text=True, timeout=WAIT)
        expect(out.returncode == 0 and "SUCCESS" in out.stdout, " ".join(argv[:3]) + ":\n" + out.stdout + out.stderr)


def case_killed(run):
    """SIGKILL loses no minute the history has written: what the file held
    before the kill is served after the next start."""
    web = run.router()
    config = run.config(web)
    listen = "127.0.0.1:%d" % free_port()
    proc = run.start(config, listen)
    up(listen)

    def written():
        status, body = get(listen, "/api/v1/history/hours")
        if status != 200:
            return None
        routers = json.loads(body)["routers"]
        return sum(bar["in"] for bar in routers[0]["bars"]) if routers else None

    # The history reaches its file once a minute; the JSON reads the file.
    kept = wait_for(written, "the history's first minute in its file", timeout=150)
    proc.kill()
    proc.wait()
    proc = run.start(config, listen)
    up(listen)
    after = written() or 0
    expect(after >= kept, "after SIGKILL the history holds %d of the %d it had written" % (after, kept))
    proc.send_signal(signal.SIGTERM)
    run.finish(proc)


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("recorder")
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--unit", help="the systemd unit (case unit)")
    parser.add_argument("--manpage", help="the recorder's manual page, made (case unit)")
    args = parser.parse_args()
    if not in_private_network():
        os.execv(os.path.join(REPO, "scripts", "in-private-net"),
                 ["in-private-net", sys.executable] + sys.argv)
    run = Run(os.path.abspath(args.recorder))
    run.unit, run.manpage = args.unit, args.manpage
    try:
        CASES[args.case](run)
    except Failure as e:
        print("FAIL %s: %s" % (args.case, e))
        return 1
    finally:
        run.close()
    print("PASS " + args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
