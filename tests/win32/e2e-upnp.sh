#!/bin/sh
# The Windows program under Wine reading the simulated router's UPnP gateway:
# named by its description URL (IP=upnp://HOST:PORT/rootDesc.xml), and found
# by SSDP discovery (IP=upnp). It asks for the byte totals every tick, shows
# no problem, and "&Close" saves totals that grew by at least one reading's
# worth and by no more than the router's rates allow in the time it ran.
# Usage: e2e-upnp.sh VXSTAT_EXE SIMROUTER_PY. Needs DISPLAY and a WINEPREFIX
# (as scripts/test-windows provides) and only loopback networking.
#
# Every wait is for a condition, up to a deadline on the clock; every X
# command has its own time limit.
set -u
exe="$1"
simrouter="$2"
. "$(dirname "$0")/e2e-common.sh"

e2e_setup upnp

rx_rate=20000
tx_rate=3000

# run_case NAME ADDRESS IP: the simulated gateway on ADDRESS, the program with
# IP= in its boot.ini ("@" there stands for the gateway's HOST:PORT).
run_case() {
  name=$1
  dir="$work/$name"
  mkdir "$dir"
  python3 "$simrouter" --address "$2" --no-web --no-console --upnp --rx-rate $rx_rate --tx-rate $tx_rate \
    >"$dir/sim.log" 2>&1 &
  sim_pid=$!
  until_ok 60 grep -q "simrouter ready" "$dir/sim.log" ||
    { cat "$dir/sim.log"; fail "$name: the simulated router did not start"; return; }
  location=$(sed -n 's/.*upnp=http:\/\/\([^ ]*\).*/\1/p' "$dir/sim.log")
  gateway=${location%%/*}
  [ -n "$gateway" ] || { fail "$name: no UPnP gateway in: $(cat "$dir/sim.log")"; return; }
  ip=$(echo "$3" | sed "s|@|$gateway|")

  cp "$exe" "$dir/vxstat.exe"
  printf '[Settings]\r\nEnabled=True\r\nIP=%s\r\nPassword=x\r\nSpeed=2meg\r\n' "$ip" >"$dir/boot.ini"
  started=$(now)
  (cd "$dir" && exec wine vxstat.exe) >"$dir/vxstat.log" 2>&1 &
  vx_pid=$!

  # A few rounds of calls: the first asks for the line and the uptime too
  # (four calls), each later one for both totals (two).
  problem=""
  answered() {
    problem=$(visible '^Problem$')
    [ -n "$problem" ] || [ "$(sim_stat "$gateway" upnp_requests)" -ge 10 ] 2>/dev/null
  }
  until_ok 60 answered || fail "$name: the gateway was asked $(sim_stat "$gateway" upnp_requests) times"
  [ -z "$problem" ] || fail "$name: a problem was shown"
  if [ "$3" = upnp ]; then
    [ "$(sim_stat "$gateway" ssdp_replies)" -ge 1 ] 2>/dev/null || fail "$name: the gateway was not found by SSDP"
  fi
  [ -n "$(visible '^Vexlo Router Stats')" ] || fail "$name: no monitor window"

  if [ -z "$problem" ] && open_tray_menu "$dir" && close_from_menu "$vx_pid"; then
    ran=$(($(now) - started))
    stats="$dir/userstats.txt"
    incoming=$(sed -n 's/^Incoming= *\([0-9][0-9]*\).*/\1/p' "$stats" 2>/dev/null)
    outgoing=$(sed -n 's/^OutGoing= *\([0-9][0-9]*\).*/\1/p' "$stats" 2>/dev/null)
    # The totals are the counters' growth from the first reading to the last,
    # all while the program ran; readings come a tick (a second) apart.
    echo "$name: ran ${ran} ms, totals in ${incoming:-none} out ${outgoing:-none}"
    check() {  # DIRECTION TOTAL RATE
      least=$(($3 / 2))
      most=$(($3 * (ran + 1000) / 1000))
      [ "${2:-0}" -ge $least ] && [ "${2:-0}" -le $most ] ||
        fail "$name: $1 total ${2:-none}, not within $least..$most after ${ran} ms"
    }
    check incoming "$incoming" $rx_rate
    check outgoing "$outgoing" $tx_rate
    # Both totals over the same time: in the rates' proportion, not swapped.
    [ $((${outgoing:-0} * rx_rate * 10)) -ge $((${incoming:-0} * tx_rate * 9)) ] &&
      [ $((${outgoing:-0} * rx_rate * 10)) -le $((${incoming:-0} * tx_rate * 11)) ] ||
      fail "$name: totals in ${incoming:-none} and out ${outgoing:-none} are not as ${rx_rate} to ${tx_rate}"
  fi
  kill "$vx_pid" 2>/dev/null
  until_ok 15 gone "$vx_pid" || fail "$name: the program did not end"
  vx_pid=""
  kill "$sim_pid" 2>/dev/null
  until_ok 10 gone "$sim_pid"
  sim_pid=""
}

run_case location 127.0.0.58 "upnp://@/rootDesc.xml"
run_case discovery 127.0.0.59 "upnp"

[ $status = 0 ] && echo "UPnP end-to-end under Wine: passed"
exit $status
