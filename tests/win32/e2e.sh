#!/bin/sh
# The Windows program under Wine against the simulated router's console:
# login captions, the tray icon and its menu, "&Close" saving the totals and
# the history, a second start bringing the running program forward and
# ending, and "/STATS" showing the logged statistics without creating either
# file.
# Usage: e2e.sh VXSTAT_EXE SIMROUTER_PY. Needs DISPLAY and a WINEPREFIX (as
# scripts/test-windows provides) and only loopback networking.
#
# Every wait is for a condition, up to a deadline on the clock; every X
# command has its own time limit, so a stuck X server fails the test instead
# of hanging it.
set -u
exe="$1"
simrouter="$2"
address=127.0.0.57
. "$(dirname "$0")/e2e-common.sh"

[ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX/drive_c" ] || { echo "no Wine prefix: use scripts/test-windows"; exit 2; }
[ -f "$simrouter" ] || { echo "no simulated router at $simrouter"; exit 2; }
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

work=$(mktemp -d /tmp/vxstat-e2e.XXXXXX)
sim_pid="" vx_pid="" menu="" monitor="" wm_pid=""
cleanup() {
  [ -n "$vx_pid" ] && kill "$vx_pid" 2>/dev/null
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

python3 "$simrouter" --address $address --web-port 0 --console-port 23 --rx-rate 20000 --tx-rate 3000 \
  >"$work/sim.log" 2>&1 &
sim_pid=$!
until_ok 60 grep -q "simrouter ready" "$work/sim.log" || { cat "$work/sim.log"; echo "FAIL: the simulated router did not start"; exit 1; }
control=$(sed -n 's/.*web=\([^ ]*\).*/\1/p' "$work/sim.log")
# How many readings the console has given so far.
readings() { sim_stat "$control" ifconfig_replies; }

# --- Monitoring the 9106 console, started from boot.ini -----------------------
mkdir "$work/app"
cp "$exe" "$work/app/vxstat.exe"
printf '[Settings]\r\nEnabled=True\r\nIP=%s\r\nPassword=secret\r\nSpeed=2meg\r\n9106router=Yes\r\n' $address \
  >"$work/app/boot.ini"
# An earlier program's icon leaves Wine's tray a moment after that program.
no_tray() { [ -z "$(visible '^Wine System Tray$')" ]; }
until_ok 15 no_tray || fail "a tray icon before the program started"
(cd "$work/app" && exec wine vxstat.exe) >"$work/vxstat.log" 2>&1 &
vx_pid=$!

# The captions as they come, until logged in.
: >"$work/captions"
last=""
logged_in() {
  w=$(visible '^Vexlo Router Stats')
  caption=$([ -n "$w" ] && x xdotool getwindowname "$w" 2>/dev/null)
  if [ -n "$caption" ] && [ "$caption" != "$last" ]; then
    echo "$caption" >>"$work/captions"
    last="$caption"
  fi
  grep -q -- "- Sent Password" "$work/captions" && [ "$caption" = "Vexlo Router Stats" ]
}
until_ok 40 logged_in
expected="Vexlo Router Stats - Connecting
Vexlo Router Stats - Sent User
Vexlo Router Stats - Sent Password
Vexlo Router Stats"
# In this order (the first showing, before the caption is set, may come first).
seen=$(grep -v -x "Vexlo Router Stats" "$work/captions" | head -3; grep -n . "$work/captions" | tail -1 | cut -d: -f2-)
[ "$seen" = "$expected" ] || fail "captions were: $(tr '\n' '|' <"$work/captions")"
monitor=$(visible '^Vexlo Router Stats$')

# A few readings, so the totals grow.
first=$(readings)
grown() { [ "$(readings)" -ge $((${first:-0} + 3)) ] 2>/dev/null; }
until_ok 30 grown || fail "the console gave no more readings after the login"

open_tray_menu "$work"
if [ -n "${E2E_SCREENSHOT:-}" ] && [ -n "$monitor" ]; then
  x import -window root "$E2E_SCREENSHOT"
fi
[ -n "$menu" ] && close_from_menu "$vx_pid"
no_tray() { [ -z "$(visible '^Wine System Tray$')" ]; }
until_ok 5 no_tray || fail "the tray icon stayed after the program ended"
stats="$work/app/userstats.txt"
grep -q "^Enabled=True" "$stats" || fail "no Enabled=True in userstats.txt"
grep -q "^Date=." "$stats" || fail "no Date in userstats.txt"
incoming=$(sed -n 's/^Incoming= *\([0-9][0-9]*\).*/\1/p' "$stats")
outgoing=$(sed -n 's/^OutGoing= *\([0-9][0-9]*\).*/\1/p' "$stats")
[ "${incoming:-0}" -gt 0 ] && [ "${outgoing:-0}" -gt 0 ] || fail "totals not saved: $(tr '\r\n' '  ' <"$stats")"
# The history file beside it opens whole and holds the same bytes as the totals.
history=$(python3 - "$work/app/history.db" 2>&1 <<'PY'
import sqlite3, sys
db = sqlite3.connect("file:" + sys.argv[1] + "?mode=ro", uri=True)
print(db.execute("PRAGMA integrity_check").fetchone()[0],
      db.execute("SELECT group_concat(address || '/' || source) FROM routers").fetchone()[0],
      *db.execute("SELECT sum(bytes_in), sum(bytes_out) FROM days").fetchone())
PY
)
[ "$history" = "ok $address/console ${incoming:-0} ${outgoing:-0}" ] || fail "history file: $history"
kill "$vx_pid" 2>/dev/null
vx_pid=""

# --- A second start over the same files ---------------------------------------
# Wine leaves minimising to a window manager: one for this part only.
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
wm_up() { x xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"; }
until_ok 10 wm_up || fail "the window manager did not start"
(cd "$work/app" && exec wine vxstat.exe) >"$work/vxstat.log" 2>&1 &
vx_pid=$!
monitor_shown() { [ -n "$(visible '^Vexlo Router Stats')" ]; }
until_ok 30 monitor_shown || fail "the monitor did not start again"
# Minimised, the monitor hides in the tray. Asked again while it shows, of
# whichever X window shows it now: Wine may make the window's X window anew
# once the window manager takes it, and a request to the old one is lost.
minimise_until_hidden() {
  w=$(visible '^Vexlo Router Stats')
  [ -z "$w" ] && return 0
  x xdotool windowminimize "$w" 2>/dev/null
  [ -z "$(visible '^Vexlo Router Stats')" ]
}
until_ok 30 minimise_until_hidden || fail "the minimised monitor did not hide in the tray"
(cd "$work/app" && exec timeout 60 wine vxstat.exe) >"$work/again.log" 2>&1
again=$?
[ $again = 0 ] || fail "the second start ended with $again: $(cat "$work/again.log")"
until_ok 10 monitor_shown || fail "the second start did not bring the monitor back"
# The running program's window (Wine marks its X windows with the process id), not another's.
shown_pid=$(x xdotool getwindowpid "$(visible '^Vexlo Router Stats')" 2>/dev/null)
[ "$shown_pid" = "$vx_pid" ] || fail "another window came, not the running monitor's (pid ${shown_pid:-none}, not $vx_pid)"
[ "$(x xdotool search --name '^Vexlo Router Stats' | wc -l)" = 1 ] || fail "the second start made a monitor too"
gone "$vx_pid" && fail "the running program ended"
kill "$vx_pid" 2>/dev/null
until_ok 15 gone "$vx_pid" || fail "the program did not end"
vx_pid=""
kill "$wm_pid" 2>/dev/null
wm_pid=""

# --- /STATS: the logged statistics only --------------------------------------
mkdir "$work/stats"
cp "$exe" "$work/stats/vxstat.exe"
(cd "$work/stats" && exec wine vxstat.exe /STATS) >"$work/stats.log" 2>&1 &
vx_pid=$!
stats_window() { [ -n "$(visible '^Logged Statistics$')" ]; }
until_ok 15 stats_window || fail "/STATS showed no \"Logged Statistics\" window"
[ -z "$(visible '^Vexlo Router Stats')$(visible '^Router Details$')" ] || fail "/STATS opened other windows too"
[ ! -e "$work/stats/userstats.txt" ] || fail "/STATS created userstats.txt"
[ ! -e "$work/stats/history.db" ] || fail "/STATS created history.db"

[ $status = 0 ] && echo "end-to-end under Wine: passed"
exit $status
