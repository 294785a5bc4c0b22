#!/bin/sh
# The Windows program under Wine against a simulated router that misbehaves.
# Usage: e2e-misbehaving.sh VXSTAT_EXE SIMROUTER_PY CASE, CASE one of
#   stops_answering  the page is read, then the router hangs: the caption says
#                    it does not answer; once it answers again, the plain title
#   drops_session    the console ends every session after three replies: the
#                    program logs in again and readings resume; the totals
#                    grow by exactly what each session's readings moved
#   lies             the console now and then gives an RX figure that is no
#                    reading (309 digits, 1e300, negative): the totals stay
#                    finite and exactly what the true replies moved
# Needs DISPLAY and a WINEPREFIX (as scripts/test-windows provides) and only
# loopback networking. Every wait is for a condition, up to a deadline on the
# clock; every X command has its own time limit.
set -u
exe="$1"
simrouter="$2"
case_name="$3"
address=127.0.0.59
. "$(dirname "$0")/e2e-common.sh"

e2e_setup misbehaving

title="Vexlo Router Stats"
no_answer="$title - The router does not answer"

case "$case_name" in
  stops_answering) sim_args="--no-console" ;;
  drops_session) sim_args="--console-port 23 --console-mode drop --drop-after 3" ;;
  lies) sim_args="--console-port 23 --console-mode lie --lie-every 3" ;;
  *) echo "unknown case $case_name"; exit 2 ;;
esac
# shellcheck disable=SC2086
python3 "$simrouter" --address $address --web-port 0 --rx-start 4294000000 --rx-rate 20000 --tx-rate 3000 \
  $sim_args >"$work/sim.log" 2>&1 &
sim_pid=$!
until_ok 60 grep -q "simrouter ready" "$work/sim.log" || { cat "$work/sim.log"; echo "FAIL: no simulated router"; exit 1; }
control=$(sed -n 's/.*web=\([^ ]*\).*/\1/p' "$work/sim.log")

# sim PYTHON [ARG]: runs PYTHON with `state` (the router's state, steered by
# `ctl(QUERY)`) and `control` defined; ARG is its sys.argv[2].
sim() {
  python3 -c 'import json, sys, urllib.request as u
control = sys.argv[1]
def ctl(query=""):
    reply = u.build_opener(u.ProxyHandler({})).open("http://%s/simctl?%s" % (control, query), timeout=5)
    return json.load(reply)
state = ctl()
'"$1" "$control" "${2:-}" 2>/dev/null
}

mkdir "$work/app"
cp "$exe" "$work/app/vxstat.exe"
if [ "$case_name" = stops_answering ]; then
  ip=$control console=No
else
  ip=$address console=Yes
fi
printf '[Settings]\r\nEnabled=True\r\nIP=%s\r\nPassword=secret\r\nSpeed=2meg\r\n9106router=%s\r\n' "$ip" $console \
  >"$work/app/boot.ini"
printf '[TotalStats]\r\nEnabled=True\r\nDate=1/2/2026 3:04:05 AM\r\nIncoming=1000\r\nOutGoing=2000\r\n' \
  >"$work/app/userstats.txt"
(cd "$work/app" && exec wine vxstat.exe) >"$work/vxstat.log" 2>&1 &
vx_pid=$!

caption() { w=$(visible '^Vexlo Router Stats'); [ -n "$w" ] && x xdotool getwindowname "$w" 2>/dev/null; }
shows() { [ "$(caption)" = "$1" ]; }
until_ok 60 shows "$title" || { fail "no reading: the caption is '$(caption)'"; exit 1; }

# settled: the counters stopped, and the last session's true replies since
# then number three (so the program has read the stopped figures).
stop_counters() {
  sim 'print(json.dumps(ctl("rx_rate=0&tx_rate=0")["sessions"]))' >"$work/before"
}
settled() {
  sim 'before = json.load(open(sys.argv[2]))
s = state["sessions"]
last = len(s) - 1
earlier = before[last]["replies"] if last < len(before) else 0
sys.exit(0 if s and s[-1]["open"] and s[-1]["replies"] - earlier >= 3 else 1)' "$work/before" || return 1
}
# check_totals: "&Close" from the tray; the totals grew by exactly what the
# sessions' true readings moved, and are plain finite numbers.
check_totals() {
  stop_counters
  until_ok 60 settled || { fail "the program did not read the stopped counters"; return; }
  expected=$(sim 'rx = sum(s["rx_last"] - s["rx_first"] for s in state["sessions"] if s["replies"])
tx = sum(s["tx_last"] - s["tx_first"] for s in state["sessions"] if s["replies"])
print(1000 + rx, 2000 + tx)')
  open_tray_menu "$work" && close_from_menu "$vx_pid" || return
  vx_pid=""
  stats="$work/app/userstats.txt"
  got=$(python3 -c 'import re, sys
text = open(sys.argv[1], newline="").read()
figures = [re.search(r"^%s=\s*(\S+)\r?$" % n, text, re.M) for n in ("Incoming", "OutGoing")]
ok = all(f and re.fullmatch(r"[0-9]+(\.[0-9]+)?(E\+?[0-9]{1,2})?", f.group(1)) for f in figures)
print(" ".join("%d" % float(f.group(1)) for f in figures) if ok else "not-plain: " + text.replace("\r\n", "|"))' "$stats")
  echo "$case_name: totals $got, expected $expected"
  [ "$got" = "$expected" ] || fail "the totals are $got, $expected expected"
}

case "$case_name" in
  stops_answering)
    sim 'ctl("mode=hang")' >/dev/null
    until_ok 30 shows "$no_answer" || fail "the caption stayed '$(caption)' with the router hanging"
    sim 'ctl("mode=ok")' >/dev/null
    until_ok 30 shows "$title" || fail "the caption stayed '$(caption)' with the router answering again"
    ;;
  drops_session)
    dropped() { sim 'sys.exit(0 if sum(1 for s in state["sessions"] if not s["open"]) >= 2 else 1)'; }
    until_ok 90 dropped || fail "the sessions were not dropped: $(sim 'print(state["sessions"])')"
    # Logged in again after the drops, and reading.
    resumed() { sim 'sys.exit(0 if len(state["sessions"]) >= 3 and state["sessions"][-1]["replies"] >= 2 else 1)'; }
    until_ok 60 resumed || fail "no readings after the reconnect: $(sim 'print(state["sessions"])')"
    until_ok 30 shows "$title" || fail "the caption is '$(caption)' after the reconnect"
    sim 'ctl("console=normal")' >/dev/null
    check_totals
    ;;
  lies)
    lied() { sim 'sys.exit(0 if state["lies"] >= 4 else 1)'; }
    until_ok 60 lied || fail "the console told no lies"
    [ -z "$(visible '^Problem$')" ] || fail "a problem box for a figure that is no reading"
    check_totals
    ;;
esac

[ $status = 0 ] && echo "end-to-end under Wine ($case_name): passed"
exit $status
