#!/usr/bin/env python3
"""make measure in brief: scripts/measure with short rounds, judged by what it
writes (--json) and prints. Every program of the side-by-side run must have
run through both rounds with figures that can be true, none may map an SNMP
or cryptography library (SNMP v2c needs neither), and every target must be
reported.

    test_measure.py SCRIPTS_MEASURE BUILD_DIR

Runs inside a private network namespace (scripts/in-private-net), as ctest does."""

import json
import os
import subprocess
import sys
import tempfile

MODES = ("web", "upnp", "console", "snmp")


def main(measure, build):
    failures = []

    def expect(condition, message):
        if not condition:
            failures.append(message)

    with tempfile.TemporaryDirectory(prefix="vxstat-measure-test-") as tmp:
        figures = os.path.join(tmp, "figures.json")
        run = subprocess.run([sys.executable, measure, "--build", build, "--seconds", "3", "--rounds", "2",
                              "--settle", "0", "--requests", "20", "--json", figures],
                             capture_output=True, text=True, timeout=280)
        if run.returncode != 0:
            print(run.stdout + run.stderr)
            return 1
        with open(figures) as f:
            data = json.load(f)
    out = run.stdout
    results = data["results"]

    vxstat = [r for r in results if r["kind"] == "vxstat"]
    expect(sorted((r["mode"], r["shown"]) for r in vxstat) == sorted((m, s) for m in MODES for s in (False, True)),
           "not every mode ran both shown and hidden: %r" % [(r["mode"], r["shown"]) for r in vxstat])
    expect(sorted(r["mode"] for r in results if r["kind"] == "floor") == ["changing-tray", "tray", "window"],
           "the three floors did not all run")
    expect([r["mode"] for r in results if r["kind"] == "recorder"] == ["recorder"], "the recorder did not run")

    for r in results:
        name = "%s (%s)" % (r["name"], r["shown"])
        expect(len(r["ms_per_tick"]) == 2, name + ": not two rounds")
        # Each of them ticks once a second: no round can have cost nothing, nor a whole second a tick.
        expect(all(0 < ms < 1000 for ms in r["ms_per_tick"]), "%s: CPU per tick %r" % (name, r["ms_per_tick"]))
        for rss, pss, uss in zip(r["rss"], r["pss"], r["uss"]):
            expect(0 < uss <= pss <= rss, "%s: USS %.1f, PSS %.1f, RSS %.1f MiB" % (name, uss, pss, rss))
        # SNMP v2c is read by our own manager: no SNMP or crypto library anywhere.
        mapped = [f for f in r["files"] if f.startswith(("libnetsnmp", "libcrypto", "libssl"))]
        expect(not mapped, "%s: maps %s" % (name, ", ".join(mapped)))
        if r["kind"] == "vxstat":
            expect(any(f.startswith("libQt6Widgets") for f in r["files"]), name + ": no Qt in its mappings?")

    kept, fresh = data["metrics_ms"]["kept"], data["metrics_ms"]["fresh"]
    expect(len(kept) == 20 and len(fresh) == 20, "not 20 /metrics answers timed each way")
    expect(all(0 < t < 5000 for t in kept + fresh), "/metrics answer times %r %r" % (kept, fresh))

    verdicts = [line for line in out.splitlines() if line.startswith(("pass  ", "FAIL  "))]
    # Per mode: hidden, shown, and RSS and USS for both windows; the recorder's three.
    expect(len(verdicts) == 6 * len(MODES) + 3, "%d targets reported:\n%s" % (len(verdicts), out))
    expect("%d targets met" % len(verdicts) in out.splitlines()[-1], "no summary line:\n" + out)
    for line in verdicts:
        expect(" (limit " in line, "a verdict without its limit: " + line)

    for f in failures:
        print("FAILED: " + f)
    if not failures:
        print("make measure: %d programs side by side, %d targets reported" % (len(results), len(verdicts)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
