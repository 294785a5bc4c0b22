#!/bin/sh
# The Windows program under Wine as the client of a real vxstat-recorder (a
# Linux program) that reads the simulated router: the recorder asks for its
# token (it listens on 127.0.0.61), the program sends it from the password
# box and shows the recorder's figures; a wrong token is a "Problem" box.
# Neither run makes a history or counts totals of its own.
# Usage: e2e-recorder.sh VXSTAT_EXE SIMROUTER_PY RECORDER. Needs DISPLAY and a
# WINEPREFIX (as scripts/test-windows provides) and only loopback networking.
# Ends with 77 (skipped) when the Linux build's recorder is not there.
set -u
exe="$1"
simrouter="$2"
recorder="$3"
address=127.0.0.60
listen_host=127.0.0.61
token=wine-token-0123456789
. "$(dirname "$0")/e2e-common.sh"

[ -x "$recorder" ] || { echo "no vxstat-recorder at $recorder (build the Linux program first): skipped"; exit 77; }
e2e_setup recorder
rec_pid=""
trap 'e2e_cleanup; [ -n "$rec_pid" ] && kill "$rec_pid" 2>/dev/null' EXIT

python3 "$simrouter" --address $address --web-port 0 --no-console --rx-rate 150000 --tx-rate 21000 \
  >"$work/sim.log" 2>&1 &
sim_pid=$!
until_ok 10 grep -q "simrouter ready" "$work/sim.log" || { cat "$work/sim.log"; echo "FAIL: no simulated router"; exit 1; }
web=$(sed -n 's/.*web=\([^ ]*\).*/\1/p' "$work/sim.log")

port=$(python3 -c 'import socket, sys; s = socket.socket(); s.bind((sys.argv[1], 0)); print(s.getsockname()[1])' \
  $listen_host)
mkdir "$work/recorder"
printf '[Settings]\nIP=%s\nPassword=secret\nSpeed=2meg\n9106router=No\nToken=%s\n' "$web" "$token" \
  >"$work/recorder/boot.ini"
"$recorder" --config "$work/recorder" --listen "$listen_host:$port" 2>"$work/recorder.log" &
rec_pid=$!
serving() {
  python3 -c 'import socket, sys; socket.create_connection((sys.argv[1], int(sys.argv[2])), 1).close()' \
    $listen_host "$port" 2>/dev/null
}
until_ok 15 serving || { cat "$work/recorder.log"; echo "FAIL: the recorder did not start"; exit 1; }

title="Vexlo Router Stats"
caption() { w=$(visible '^Vexlo Router Stats'); [ -n "$w" ] && x xdotool getwindowname "$w" 2>/dev/null; }
shows() { [ "$(caption)" = "$1" ]; }
no_tray() { [ -z "$(visible '^Wine System Tray$')" ]; }

# run PASSWORD: the program from a fresh folder as the recorder's client.
run() {
  rm -rf "$work/app"
  mkdir "$work/app"
  cp "$exe" "$work/app/vxstat.exe"
  printf '[Settings]\r\nEnabled=True\r\nIP=vxstat://%s:%s\r\nPassword=%s\r\nSpeed=2meg\r\n9106router=No\r\n' \
    $listen_host "$port" "$1" >"$work/app/boot.ini"
  until_ok 15 no_tray || fail "a tray icon before the program started"
  (cd "$work/app" && exec wine vxstat.exe) >"$work/vxstat.log" 2>&1 &
  vx_pid=$!
}

# --- the right token: the recorder's figures --------------------------------------
run "$token"
until_ok 60 shows "$title" || fail "the caption is '$(caption)', not the plain title of a program that reads"
[ -z "$(visible '^Problem$')" ] || fail "a problem box with the right token"
# The recorder's "level" is what the tray shows; the rate well within the 256k/s bar gives one above 0.
level() {
  python3 -c 'import json, sys, urllib.request as u
r = u.Request("http://%s/api/v1/now" % sys.argv[1], headers={"Authorization": "Bearer " + sys.argv[2]})
print(json.load(u.build_opener(u.ProxyHandler({})).open(r, timeout=5))["level"])' "$listen_host:$port" "$token"
}
# (The recorder's first reading gives no rate yet: the client may show its
# answer before the level rises.)
level_above_zero() { [ "$(level)" -gt 0 ] 2>/dev/null; }
until_ok 30 level_above_zero || fail "the recorder shows level '$(level)'"
open_tray_menu "$work" && close_from_menu "$vx_pid" && vx_pid=""
[ ! -e "$work/app/history.db" ] || fail "the client made a history of its own"
counted_nothing() {
  python3 -c 'import re, sys
sys.exit(0 if re.search(r"^Incoming=\s*0\s*$", open(sys.argv[1], newline="").read(), re.M) else 1)' "$1"
}
counted_nothing "$work/app/userstats.txt" || fail "the client counted totals: $(cat "$work/app/userstats.txt")"

# --- a wrong token: the box --------------------------------------------------------
run "not-the-token"
box() { [ -n "$(visible '^Problem$')" ]; }
until_ok 60 box || fail "no \"Problem\" box for a refused token"
[ -n "$vx_pid" ] && kill "$vx_pid" 2>/dev/null
vx_pid=""

[ $status = 0 ] && echo "end-to-end under Wine (recorder client): passed"
exit $status
