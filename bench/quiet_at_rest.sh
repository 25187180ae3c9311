#!/usr/bin/env bash
# The program at rest: the window on the demo kit under Xvfb with no audio
# server, and `thumper play` on a JACK dummy server (period 256), each left
# alone for 20 seconds after start-up. Reports the share of a core used and
# the main thread's wake-ups a second (its context switches).
# Usage: bench/quiet_at_rest.sh BUILD_DIR
set -u
build=${1:-build}
thumper=$build/thumper
kit=$build/demo/demo.drums
secs=${REST_SECONDS:-20}
[ -x "$thumper" ] && [ -f "$kit" ] || { echo "quiet_at_rest: build $build first" >&2; exit 1; }

measure() {  # pid label
  local pid=$1 label=$2 hz ticks0 ticks1 sw0 sw1
  hz=$(getconf CLK_TCK)
  read -r ticks0 < <(awk '{print $14+$15}' /proc/$pid/stat)
  sw0=$(awk '/ctxt_switches/ {s+=$2} END {print s}' /proc/$pid/task/$pid/status)
  sleep "$secs"
  read -r ticks1 < <(awk '{print $14+$15}' /proc/$pid/stat)
  sw1=$(awk '/ctxt_switches/ {s+=$2} END {print s}' /proc/$pid/task/$pid/status)
  awk -v l="$label" -v t=$((ticks1 - ticks0)) -v hz="$hz" -v s="$secs" -v w=$((sw1 - sw0)) \
    'BEGIN {printf "%-40s %6.2f%% of a core, %6.1f main-thread wake-ups/s\n", l, 100*t/hz/s, w/s}'
}

# The window, no audio server: it plays to "No audio output".
if command -v xvfb-run >/dev/null; then
  xvfb-run -a -s "-screen 0 1024x768x24" env JACK_DEFAULT_SERVER=none "$thumper" "$kit" \
    >/dev/null 2>&1 &
  runner=$!
  sleep 5
  pid=$(pgrep -n -f "^$thumper $kit" || true)
  if [ -n "$pid" ]; then measure "$pid" "window at rest (demo kit, Xvfb)"; fi
  kill "$runner" 2>/dev/null; [ -n "$pid" ] && kill "$pid" 2>/dev/null
  wait "$runner" 2>/dev/null
fi

# thumper play on a JACK dummy server.
if command -v jackd >/dev/null; then
  export JACK_DEFAULT_SERVER=thumper-bench-rest
  jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r 44100 -p 256 >/dev/null 2>&1 &
  jackd=$!
  sleep 2
  "$thumper" play "$kit" --midi 99 >/dev/null 2>&1 &
  play=$!
  sleep 4
  measure "$play" "thumper play at rest (JACK, period 256)"
  kill -TERM "$play"; wait "$play" 2>/dev/null
  kill -TERM "$jackd"; wait "$jackd" 2>/dev/null
fi
