# What the end-to-end scripts under Wine share (sourced, not run): waits for
# a condition up to a deadline on the clock, X commands with their own time
# limits, the simulated router's state, and closing the program from its
# tray icon's menu as a user does.

fail() { echo "FAIL: $*"; status=1; }
status=0

now() { date +%s%N | cut -c1-13; }  # milliseconds
# until_ok SECONDS COMMAND...: runs COMMAND until it succeeds or SECONDS have passed.
until_ok() {
  limit=$(($(now) + $1 * 1000))
  shift
  while ! "$@"; do
    [ "$(now)" -lt "$limit" ] || return 1
    sleep 0.1
  done
}
x() { timeout 10 "$@"; }  # an X client, never left hanging
visible() { x xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
gone() { ! kill -0 "$1" 2>/dev/null; }

# sim_stat HOST:PORT FIELD: a figure of the simulated router's state.
sim_stat() {
  python3 -c 'import json, sys, urllib.request as u
reply = u.build_opener(u.ProxyHandler({})).open("http://%s/simctl" % sys.argv[1], timeout=5)
print(json.load(reply)[sys.argv[2]])' "$1" "$2" 2>/dev/null
}

# open_tray_menu WORK: right-clicks the program's tray icon; sets $menu to the
# menu's window (empty when none came).
open_tray_menu() {
  menu=""
  tray=$(visible '^Wine System Tray$')
  [ -n "$tray" ] || { fail "no tray icon in Wine's tray window"; return 1; }
  # Out from under the monitor window (no window manager places them here).
  x xdotool windowmove "$tray" 600 500
  moved() { x xdotool getwindowgeometry "$tray" | grep -q "Position: 600,500"; }
  until_ok 5 moved || fail "the tray window did not move"
  x xdotool search --onlyvisible --name '^$' | sort >"$1/before"
  x xdotool mousemove --window "$tray" 10 10 click 3
  new_window() {
    menu=$(x xdotool search --onlyvisible --name '^$' | sort | comm -23 - "$1/before" | head -1)
    [ -n "$menu" ]
  }
  until_ok 10 new_window "$1" || { fail "a right click on the tray icon opened no menu"; return 1; }
}

# close_from_menu PID: "&Close", the menu's last item (open vxStat, History, a
# separator, Close), then the program's end.
close_from_menu() {
  eval "$(x xdotool getwindowgeometry --shell "$menu")"
  x xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT - 8))
  x xdotool mousedown 1
  x xdotool mouseup 1
  until_ok 15 gone "$1" || { fail "\"&Close\" did not end the program"; return 1; }
}

# e2e_setup NAME: checks the Wine prefix and the simulated router ($simrouter),
# and makes the run's folder ($work), which goes, with the simulated router
# ($sim_pid) and the program ($vx_pid), when the script ends.
e2e_setup() {
  [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX/drive_c" ] || { echo "no Wine prefix: use scripts/test-windows"; exit 2; }
  [ -f "$simrouter" ] || { echo "no simulated router at $simrouter"; exit 2; }
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  work=$(mktemp -d "/tmp/vxstat-e2e-$1.XXXXXX")
  sim_pid="" vx_pid="" menu=""
  trap e2e_cleanup EXIT
}
e2e_cleanup() {
  [ -n "$vx_pid" ] && kill "$vx_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
