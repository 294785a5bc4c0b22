#!/bin/sh
# The Windows program under Wine against the simulated router's console:
# login captions, the tray icon and its menu, "&Close" saving the totals, and
# "/STATS" showing the logged statistics without creating the file.
# Usage: e2e.sh VXSTAT_EXE SIMROUTER_PY. Needs DISPLAY and a WINEPREFIX (as
# scripts/test-windows provides) and only loopback networking.
set -u
exe="$1"
simrouter="$2"
address=127.0.0.57
fail() { echo "FAIL: $*"; status=1; }
status=0

[ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX/drive_c" ] || { echo "no Wine prefix: use scripts/test-windows"; exit 2; }
[ -f "$simrouter" ] || { echo "no simulated router at $simrouter"; exit 2; }
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

work=$(mktemp -d /tmp/vxstat-e2e.XXXXXX)
sim_pid="" vx_pid="" menu="" monitor=""
cleanup() {
  [ -n "$vx_pid" ] && kill "$vx_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
wait_gone() {  # pid, tenths of a second
  i=0
  while kill -0 "$1" 2>/dev/null && [ $i -lt "$2" ]; do sleep 0.1; i=$((i + 1)); done
  ! kill -0 "$1" 2>/dev/null
}

python3 "$simrouter" --address $address --no-web --console-port 23 --rx-rate 20000 --tx-rate 3000 \
  >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do grep -q "simrouter ready" "$work/sim.log" && break; sleep 0.1; done
grep -q "simrouter ready" "$work/sim.log" || { cat "$work/sim.log"; echo "FAIL: the simulated router did not start"; exit 1; }

# --- Monitoring the 9106 console, started from boot.ini -----------------------
mkdir "$work/app"
cp "$exe" "$work/app/vxstat.exe"
printf '[Settings]\r\nEnabled=True\r\nIP=%s\r\nPassword=secret\r\nSpeed=2meg\r\n9106router=Yes\r\n' $address \
  >"$work/app/boot.ini"
[ -z "$(visible '^Wine System Tray$')" ] || fail "a tray icon before the program started"
(cd "$work/app" && exec wine vxstat.exe) >"$work/vxstat.log" 2>&1 &
vx_pid=$!

# The captions as they come, until logged in (or 40 s).
: >"$work/captions"
last=""
for _ in $(seq 400); do
  w=$(visible '^Vexlo Router Stats')
  caption=$([ -n "$w" ] && xdotool getwindowname "$w" 2>/dev/null)
  if [ -n "$caption" ] && [ "$caption" != "$last" ]; then
    echo "$caption" >>"$work/captions"
    last="$caption"
  fi
  grep -q -- "- Sent Password" "$work/captions" && [ "$caption" = "Vexlo Router Stats" ] && break
  sleep 0.1
done
expected="Vexlo Router Stats - Connecting
Vexlo Router Stats - Sent User
Vexlo Router Stats - Sent Password
Vexlo Router Stats"
# In this order (the first showing, before the caption is set, may come first).
seen=$(grep -v -x "Vexlo Router Stats" "$work/captions" | head -3; grep -n . "$work/captions" | tail -1 | cut -d: -f2-)
[ "$seen" = "$expected" ] || fail "captions were: $(tr '\n' '|' <"$work/captions")"
monitor=$(visible '^Vexlo Router Stats$')

# A few readings, so the totals grow.
sleep 4

tray=$(visible '^Wine System Tray$')
[ -n "$tray" ] || fail "no tray icon in Wine's tray window"
if [ -n "$tray" ]; then
  # Out from under the monitor window (no window manager places them here).
  xdotool windowmove "$tray" 600 500
  sleep 0.5
  xdotool search --onlyvisible --name '^$' | sort >"$work/before"
  xdotool mousemove --window "$tray" 10 10 click 3
  menu=""
  for _ in $(seq 30); do
    menu=$(xdotool search --onlyvisible --name '^$' | sort | comm -23 - "$work/before" | head -1)
    [ -n "$menu" ] && break
    sleep 0.1
  done
  [ -n "$menu" ] || fail "a right click on the tray icon opened no menu"
fi
if [ -n "${E2E_SCREENSHOT:-}" ] && [ -n "$monitor" ]; then
  import -window root "$E2E_SCREENSHOT"
fi
if [ -n "$menu" ]; then
  # "&Close" is the last item: open vxStat, a separator, Close.
  eval "$(xdotool getwindowgeometry --shell "$menu")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 8))
  sleep 0.3
  xdotool mousedown 1
  sleep 0.1
  xdotool mouseup 1
  wait_gone "$vx_pid" 150 || fail "\"&Close\" did not end the program"
fi
sleep 0.5
[ -z "$(visible '^Wine System Tray$')" ] || fail "the tray icon stayed after the program ended"
stats="$work/app/userstats.txt"
grep -q "^Enabled=True" "$stats" || fail "no Enabled=True in userstats.txt"
grep -q "^Date=." "$stats" || fail "no Date in userstats.txt"
incoming=$(sed -n 's/^Incoming= *\([0-9][0-9]*\).*/\1/p' "$stats")
outgoing=$(sed -n 's/^OutGoing= *\([0-9][0-9]*\).*/\1/p' "$stats")
[ "${incoming:-0}" -gt 0 ] && [ "${outgoing:-0}" -gt 0 ] || fail "totals not saved: $(tr '\r\n' '  ' <"$stats")"
kill "$vx_pid" 2>/dev/null
vx_pid=""

# --- /STATS: the logged statistics only --------------------------------------
mkdir "$work/stats"
cp "$exe" "$work/stats/vxstat.exe"
(cd "$work/stats" && exec wine vxstat.exe /STATS) >"$work/stats.log" 2>&1 &
vx_pid=$!
window=""
for _ in $(seq 150); do
  window=$(visible '^Logged Statistics$')
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "/STATS showed no \"Logged Statistics\" window"
[ -z "$(visible '^Vexlo Router Stats')$(visible '^Router Details$')" ] || fail "/STATS opened other windows too"
[ ! -e "$work/stats/userstats.txt" ] || fail "/STATS created userstats.txt"

[ $status = 0 ] && echo "end-to-end under Wine: passed"
exit $status
