#!/usr/bin/env python3
"""The Debian package as a user gets it: its control fields (dependencies
found from the linked libraries), its files, and the program from it run in
the installed case - unpacked (dpkg-deb -x, the machine's own /usr untouched)
into a root-owned scratch root and started as an unprivileged user with
boot.ini in that user's config folder. It reads a simulated router on
loopback, is asked to end (SIGTERM), and its totals must then be in the user's
data folder, with nothing written beside the program.

    test_package.py DEB_FOLDER VERSION APP_ID SIMROUTER
    test_package.py --lintian DEB_FOLDER VERSION

Runs as root inside a private network namespace (scripts/in-private-net);
exits 77 (skipped) where it cannot run the program as another user. With
--lintian it only judges the package as Debian's archive would: any error
lintian finds fails; its warnings and notes are printed.
"""

import glob
import json
import os
import pwd
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

SKIP = 77


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(condition, seconds, what):
    """Polls `condition` until it holds; fails after a generous deadline."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("gave up waiting for " + what)
        time.sleep(0.1)


def in_private_network():
    with open("/proc/self/net/dev") as f:
        names = [line.split(":")[0].strip() for line in f.readlines()[2:]]
    return names == ["lo"]


def test_user():
    """The unprivileged user: the machine's test user, else nobody."""
    try:
        entry = pwd.getpwnam("vxtest")
        return entry.pw_uid, entry.pw_gid
    except KeyError:
        return 65534, 65534


def as_user(uid, gid, argv):
    return ["setpriv", "--reuid", str(uid), "--regid", str(gid), "--clear-groups", "--"] + argv


def listing(folder):
    """Every path below folder with its size and modification time."""
    found = {}
    for top, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(top, name)
            st = os.lstat(path)
            found[os.path.relpath(path, folder)] = (st.st_size, st.st_mtime_ns)
    return found


def the_deb(deb_folder, version):
    debs = glob.glob(os.path.join(deb_folder, "vxstat_%s_*.deb" % version))
    expect(len(debs) == 1, "expected one vxstat_%s_*.deb in %s, found %r" % (version, deb_folder, debs))
    return debs[0]


def lintian(deb_folder, version):
    deb = the_deb(deb_folder, version)
    expect(shutil.which("lintian"), "lintian is missing (Debian: lintian)")
    run = subprocess.run(["lintian", "--info", "--display-info", "--no-tag-display-limit", deb],
                         capture_output=True, text=True, timeout=500)
    print(run.stdout, end="")
    errors = [line for line in run.stdout.splitlines() if line.startswith("E:")]
    expect(not errors, "lintian finds errors in %s:\n%s" % (deb, "\n".join(errors)))
    # 0, or 2 for tags at or above its failing level: anything else is lintian itself failing.
    expect(run.returncode == 0, "lintian ended with %d:\n%s" % (run.returncode, run.stderr))
    print("lintian: no errors in %s" % os.path.basename(deb))
    return 0


def check_control(deb):
    fields = subprocess.run(["dpkg-deb", "-f", deb], check=True, capture_output=True, text=True).stdout
    expect(re.search(r"^Package: vxstat$", fields, re.M), "no Package: vxstat:\n" + fields)
    expect(re.search(r"^Section: net$", fields, re.M), "not in section net:\n" + fields)
    expect(re.search(r"^Maintainer: .+<.+@.+>$", fields, re.M), "no maintainer with an address:\n" + fields)
    expect(re.search(r"^Description: .+\n .+", fields, re.M), "no summary and long description:\n" + fields)
    depends = re.search(r"^Depends: (.*)$", fields, re.M)
    expect(depends, "no Depends (dpkg-shlibdeps did not run?):\n" + fields)
    # The libraries the program links, each with a version from its shlibs.
    for library in ("libqt6widgets6", "libminiupnpc", "libc6", "libstdc++6"):
        expect(re.search(r"\b%s[a-z0-9]* \(>= [^)]+\)" % re.escape(library), depends.group(1)),
               "Depends lacks %s: %s" % (library, depends.group(1)))
    # Opened, not linked (SNMP v3): dpkg-shlibdeps cannot see it.
    expect(re.search(r"^Recommends: .*\blibssl3\b", fields, re.M), "no Recommends: libssl3:\n" + fields)


def main(deb_folder, version, app_id, simrouter):
    if not in_private_network():
        raise Failure("not inside a private network namespace: run it under scripts/in-private-net")
    uid, gid = test_user()
    probe = subprocess.run(as_user(uid, gid, ["true"]), capture_output=True, text=True)
    if os.geteuid() != 0 or probe.returncode != 0:
        print("SKIPPED: cannot run the program as another user here (needs real root for setpriv): "
              + probe.stderr.strip())
        return SKIP

    deb = the_deb(deb_folder, version)
    check_control(deb)
    contents = subprocess.run(["dpkg-deb", "-c", deb], check=True, capture_output=True, text=True).stdout
    for path in ("./usr/bin/vxstat", "./usr/share/applications/%s.desktop" % app_id,
                 "./usr/share/metainfo/%s.metainfo.xml" % app_id,
                 "./usr/share/icons/hicolor/256x256/apps/%s.png" % app_id,
                 "./usr/share/icons/hicolor/16x16/apps/%s.png" % app_id,
                 "./usr/share/man/man1/vxstat.1.gz", "./usr/share/doc/vxstat/copyright",
                 "./usr/share/doc/vxstat/changelog.gz", "./usr/bin/vxstat-recorder",
                 "./usr/share/man/man8/vxstat-recorder.8.gz", "./usr/lib/systemd/system/vxstat-recorder.service"):
        expect(re.search(r"\s%s$" % re.escape(path), contents, re.M), "the package lacks %s" % path)
    expect(re.search(r"^-rwxr-xr-x root/root .*\./usr/bin/vxstat$", contents, re.M),
           "usr/bin/vxstat is not a root-owned program:\n" + contents)

    scratch = tempfile.mkdtemp(prefix="vxstat-package.")
    os.chmod(scratch, 0o755)
    router = program = None
    try:
        root = os.path.join(scratch, "root")
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
        os.chown(root, 0, 0)
        os.chmod(root, 0o755)
        vxstat = os.path.join(root, "usr", "bin", "vxstat")
        bin_folder = os.path.dirname(vxstat)
        expect(os.stat(bin_folder).st_uid == 0, "the unpacked usr/bin is not root's")
        expect(subprocess.run(as_user(uid, gid, ["test", "-w", bin_folder])).returncode != 0,
               "the test user can write to the unpacked usr/bin: not the installed case")

        home = os.path.join(scratch, "home")
        config = os.path.join(home, ".config", "vxstat")
        runtime = os.path.join(scratch, "run")
        os.makedirs(config)
        os.makedirs(runtime)
        os.chmod(runtime, 0o700)

        router_log = open(os.path.join(scratch, "router.log"), "w+")
        router = subprocess.Popen([sys.executable, simrouter, "--address", "127.0.0.74", "--no-console",
                                   "--rx-rate", "115000", "--tx-rate", "20000"],
                                  stdout=router_log, stderr=subprocess.STDOUT, text=True)

        def ready():
            router_log.seek(0)
            text = router_log.read()
            expect(router.poll() is None, "the simulated router ended:\n" + text)
            return re.search(r"^simrouter ready web=(\S+)", text, re.M)
        web = wait_for(ready, 30, "the simulated router").group(1)

        with open(os.path.join(config, "boot.ini"), "w") as f:
            f.write("[Settings]\nEnabled=True\nIP=%s\nPassword=secret\nSpeed=2meg\n9106router=No\n" % web)
        for top, dirs, files in os.walk(home):
            for name in [top] + [os.path.join(top, n) for n in dirs + files]:
                os.chown(name, uid, gid)
        os.chown(runtime, uid, gid)

        env = {"HOME": home, "PATH": "/usr/bin:/bin", "LANG": "C.UTF-8", "QT_QPA_PLATFORM": "offscreen",
               "XDG_RUNTIME_DIR": runtime}
        before = listing(root)

        # Where the program says its files live: the user's folders.
        try:
            paths = subprocess.run(as_user(uid, gid, [vxstat, "--paths"]), env=env, capture_output=True,
                                   text=True, timeout=60)
        except subprocess.TimeoutExpired:
            raise Failure("vxstat --paths did not end")
        expect(paths.returncode == 0, "vxstat --paths failed (%d): %s" % (paths.returncode, paths.stderr))
        for folder in (config, os.path.join(home, ".local", "share", "vxstat")):
            expect(folder in paths.stdout, "vxstat --paths does not name %s:\n%s" % (folder, paths.stdout))

        def state():
            opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
            with opener.open("http://%s/simctl" % web, timeout=10) as reply:
                return json.load(reply)
        asked_before = state()["web_requests"]

        program_log = open(os.path.join(scratch, "vxstat.log"), "w+")
        program = subprocess.Popen(as_user(uid, gid, [vxstat]), env=env, stdout=program_log,
                                   stderr=subprocess.STDOUT)

        def program_output():
            program_log.seek(0)
            return program_log.read()

        # A baseline and a few counted steps: each page fetched after the
        # first was asked for once the tick before had taken its reading.
        def readings():
            expect(program.poll() is None, "vxstat ended by itself (%s):\n%s" % (program.returncode,
                                                                                 program_output()))
            return state()["web_requests"] - asked_before >= 5
        wait_for(readings, 90, "vxstat to read the simulated router")

        program.send_signal(signal.SIGTERM)
        try:
            code = program.wait(timeout=60)
        except subprocess.TimeoutExpired:
            raise Failure("vxstat did not end after SIGTERM:\n" + program_output())
        expect(code == 0, "vxstat ended with %d after SIGTERM:\n%s" % (code, program_output()))

        data = os.path.join(home, ".local", "share", "vxstat")
        stats_file = os.path.join(data, "userstats.txt")
        expect(os.path.isfile(stats_file), "no %s; the user's home holds %r\n%s"
               % (stats_file, sorted(listing(home)), program_output()))
        expect(os.stat(stats_file).st_uid == uid, "userstats.txt is not the user's")
        with open(stats_file) as f:
            stats = f.read()
        totals = {}
        for key in ("Incoming", "OutGoing"):
            found = re.search(r"^%s=\s*(\d+)\s*$" % key, stats, re.M)
            expect(found, "userstats.txt has no %s total:\n%s" % (key, stats))
            totals[key] = int(found.group(1))
        expect(totals["Incoming"] > 0 and totals["OutGoing"] > 0, "totals not counted:\n" + stats)
        # The router's incoming counter runs faster than its outgoing one.
        expect(totals["Incoming"] > totals["OutGoing"], "incoming (115000/s) not above outgoing (20000/s):\n" + stats)

        after = listing(root)
        expect(after == before, "files were written or changed beside the program: %r"
               % sorted(set(after.items()) ^ set(before.items())))
        expect(not os.path.exists(os.path.join(config, "userstats.txt")), "userstats.txt went to the config folder")
        print("package %s: installed case ran as uid %d, totals in %s: %r"
              % (os.path.basename(deb), uid, stats_file, totals))
        return 0
    finally:
        for proc in (program, router):
            if proc is not None and proc.poll() is None:
                proc.kill()
                proc.wait()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    try:
        if sys.argv[1:2] == ["--lintian"]:
            sys.exit(lintian(*sys.argv[2:]))
        sys.exit(main(*sys.argv[1:]))
    except Failure as failure:
        print("FAILED: %s" % failure)
        sys.exit(1)
