#!/bin/sh
# The Windows program under Wine reading Debian's real SNMP agent (snmpd,
# started here with a configuration of our own on 127.0.0.60), over v2c and
# over v3 (SHA-256, AES-128): the loopback interface by name (Interface=lo)
# while a steady flow goes through it. No problem is shown, the caption stays
# plain, and "&Close" saves totals that grew with the flow: no less than it
# moved while the program watched (less the agent's refresh), never more than
# it moved since the start; loopback counts both ways alike, and the history
# holds the same bytes. `--interfaces` lists the agent's interfaces and the
# one read; a wrong v3 pass phrase is one "Problem" box.
# Usage: e2e-snmp.sh VXSTAT_EXE SIMROUTER_PY. Needs DISPLAY and a WINEPREFIX
# (as scripts/test-windows provides) and only loopback networking.
#
# Every wait is for a condition, up to a deadline on the clock; every X
# command has its own time limit.
set -u
exe="$1"
simrouter="$2"
address=127.0.0.60
. "$(dirname "$0")/e2e-common.sh"

e2e_setup snmp
snmpd_pid="" flow_pid=""
trap 'kill $snmpd_pid $flow_pid 2>/dev/null; e2e_cleanup' EXIT
command -v snmpget >/dev/null && [ -x /usr/sbin/snmpd ] || { echo "snmpd and snmpget are missing (scripts/bootstrap)"; exit 2; }

port=$(python3 -c 'import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind((sys.argv[1], 0)); print(s.getsockname()[1])' $address)
phrase=loopback-phrase
printf 'rocommunity vxtest 127.0.0.0/8\ndontLogTCPWrappersConnects yes\n' >"$work/snmpd.conf"
printf 'createUser vxuser SHA-256 "%s" AES "%s"\nrouser vxuser authpriv\n' $phrase $phrase >>"$work/snmpd.conf"
mkdir "$work/state"
SNMP_PERSISTENT_DIR="$work/state" /usr/sbin/snmpd -f -C -c "$work/snmpd.conf" -Lf "$work/snmpd.log" \
  "udp:$address:$port" &
snmpd_pid=$!
answers() { snmpget -v2c -c vxtest -t 0.3 -r 0 -M /dev/null "$address:$port" 1.3.6.1.2.1.1.3.0 >/dev/null 2>&1; }
until_ok 20 answers || { cat "$work/snmpd.log"; echo "FAIL: snmpd does not answer"; exit 1; }

# A steady flow through loopback: 100 KiB a second in datagrams of 1 KiB.
rate=102400
python3 -c 'import socket, time
r = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); r.bind(("127.0.0.1", 0))
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
start, sent, block = time.monotonic(), 0, b"x" * 1024
while True:
    if sent < (time.monotonic() - start) * 100:
        s.sendto(block, r.getsockname()); r.recv(2048); sent += 1
    else:
        time.sleep(0.005)' &
flow_pid=$!
# The datagrams the agent has received so far (snmpInPkts; our asking adds one).
agent_packets() {
  snmpget -v2c -c vxtest -t 1 -r 1 -M /dev/null -Oqv "$address:$port" 1.3.6.1.2.1.11.1.0 2>/dev/null
}
# The bytes loopback has received so far, as the kernel counts them.
lo_bytes() { awk -F'[: ]+' '$2 == "lo" { print $3 }' /proc/net/dev; }

# run_case NAME IP PASSWORD: the program reading the agent at IP= with that
# password, checked as above.
run_case() {
  dir="$work/$1"
  mkdir "$dir"
  cp "$exe" "$dir/vxstat.exe"
  # 2 Mbit/s in the box: the flow is a third of the scale.
  printf '[Settings]\r\nEnabled=True\r\nIP=%s\r\nPassword=%s\r\nSpeed=2meg\r\nInterface=lo\r\n' "$2" "$3" \
    >"$dir/boot.ini"
  at_start=$(lo_bytes)
  (cd "$dir" && exec wine vxstat.exe) >"$dir/vxstat.log" 2>&1 &
  vx_pid=$!

  caption() { w=$(visible '^Vexlo Router Stats'); [ -n "$w" ] && x xdotool getwindowname "$w" 2>/dev/null; }
  # Reading: the plain caption (the first one, before any reading, is plain
  # too) once the program has asked the agent enough to have chosen the
  # interface and read it a few times.
  asked=$(agent_packets)
  reading() {
    [ -n "$(visible '^Problem$')" ] && return 0
    [ "$(caption)" = "Vexlo Router Stats" ] && [ "$(agent_packets)" -ge $((asked + 30)) ] 2>/dev/null
  }
  until_ok 60 reading || fail "$1: the monitor did not come up reading: caption \"$(caption)\""
  [ -z "$(visible '^Problem$')" ] || fail "$1: a problem was shown"
  watching=$(lo_bytes)
  # 1.5 megabytes (15 s of the flow) while the program watches, the caption
  # plain throughout.
  moved() {
    [ "$(caption)" = "Vexlo Router Stats" ] || { fail "$1: the caption became \"$(caption)\""; return 0; }
    [ $(($(lo_bytes) - watching)) -ge 1500000 ]
  }
  [ $status = 0 ] && { until_ok 90 moved "$1" || fail "$1: the flow did not move 1.5 MB through loopback"; }
  [ -z "$(visible '^Problem$')" ] || fail "$1: a problem was shown"

  before_close=$(lo_bytes)
  if [ $status = 0 ] && open_tray_menu "$dir" && close_from_menu "$vx_pid"; then
    at_close=$(lo_bytes)
    stats="$dir/userstats.txt"
    incoming=$(sed -n 's/^Incoming= *\([0-9][0-9]*\).*/\1/p' "$stats" 2>/dev/null)
    outgoing=$(sed -n 's/^OutGoing= *\([0-9][0-9]*\).*/\1/p' "$stats" 2>/dev/null)
    echo "$1: moved $((before_close - watching)) bytes while watched, $((at_close - at_start)) since the start;" \
      "totals in ${incoming:-none} out ${outgoing:-none}"
    # The agent refreshes its counters every 3 s: the last ones counted before
    # the close may be that and a tick or two behind the flow.
    least=$((before_close - watching - 6 * rate))
    most=$((at_close - at_start))
    [ "${incoming:-0}" -ge $least ] && [ "${incoming:-0}" -le $most ] ||
      fail "$1: incoming total ${incoming:-none}, not within $least..$most"
    [ $((${outgoing:-0} * 100)) -ge $((${incoming:-0} * 95)) ] &&
      [ $((${outgoing:-0} * 100)) -le $((${incoming:-0} * 105)) ] ||
      fail "$1: loopback counts both ways alike, but the totals are in ${incoming:-none} out ${outgoing:-none}"
    history=$(python3 - "$dir/history.db" 2>&1 <<'PY'
import sqlite3, sys
db = sqlite3.connect("file:" + sys.argv[1] + "?mode=ro", uri=True)
print(db.execute("SELECT group_concat(address || '/' || source) FROM routers").fetchone()[0],
      *db.execute("SELECT sum(bytes_in), sum(bytes_out) FROM days").fetchone())
PY
)
    [ "$history" = "$address:$port/snmp ${incoming:-0} ${outgoing:-0}" ] || fail "$1: history file: $history"
  fi
  kill "$vx_pid" 2>/dev/null
  until_ok 15 gone "$vx_pid" || fail "$1: the program did not end"
  vx_pid=""
}

run_case v2c "snmp://vxtest@$address:$port" x
# What the agent offers, and the interface boot.ini names, on the terminal.
listing=$(cd "$work/v2c" && timeout 60 wine vxstat.exe --interfaces "snmp://vxtest@$address:$port" 2>&1)
case "$listing" in
  *"<- read"*"vxstat reads lo: named in boot.ini (Interface=lo)"*) ;;
  *) fail "--interfaces printed: $listing" ;;
esac
run_case v3 "snmpv3://vxuser@$address:$port" $phrase

# --- a wrong pass phrase: one problem, and the program goes on ---------------------
mkdir "$work/wrong"
cp "$exe" "$work/wrong/vxstat.exe"
printf '[Settings]\r\nEnabled=True\r\nIP=snmpv3://vxuser@%s:%s\r\nPassword=not-the-phrase\r\nSpeed=2meg\r\n' \
  $address "$port" >"$work/wrong/boot.ini"
(cd "$work/wrong" && exec wine vxstat.exe) >"$work/wrong.log" 2>&1 &
vx_pid=$!
problem() { [ -n "$(visible '^Problem$')" ]; }
until_ok 60 problem || fail "a wrong pass phrase showed no problem"
[ "$(x xdotool search --onlyvisible --name '^Problem$' 2>/dev/null | wc -l)" -eq 1 ] || fail "more than one problem box"
gone "$vx_pid" && fail "the program ended at a wrong pass phrase"
kill "$vx_pid" 2>/dev/null
until_ok 15 gone "$vx_pid" || fail "the program did not end"
vx_pid=""

[ $status = 0 ] && echo "SNMP end-to-end under Wine: passed"
exit $status
