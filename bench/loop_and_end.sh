#!/bin/sh
# Plays a loop and the end of a project in the real window, as a user does,
# and says whether the counter and the pictures move on.
#
# The window runs in its own X server (Xvfb) under openbox, with its own
# PulseAudio server playing into a null sink and its log on, so its playback
# trace (positions reported, pictures shown, states) says what the user
# sees. Keys are typed with xdotool; screenshots are taken with ffmpeg.
#
#  1. A 30 s clip (a test pattern that shows its time, and a tone) becomes a
#     project at 75 % and +2 (or TEMPO and PITCH) with a loop 14.08-18.12 s at 60 % and +4,
#     count 2, delay 1 s (bench_make_loop_project).
#  2. Space: plays from the start through the loop. Expected: three passes,
#     two delays, then the counter goes on past the loop's end.
#  3. Playback reaches the end. Expected: the counter returns to 0.
#  4. Space: plays again from the start; space, H (back to the start),
#     space: plays again. Expected each time: the counter and the pictures
#     move on.
#
# Usage: [TEMPO=75] [PITCH=2] [KEEP=1] bench/loop_and_end.sh [BUILD_DIR]
# TEMPO and PITCH are the project's; KEEP=1 keeps the trace and screenshots.
# Prints one line per check and "all moved on" or what did not.
set -u

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
BIN=$BUILD/bin
WORK=$(mktemp -d /tmp/tw_loop_end.XXXXXX)
export HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/run XDG_CONFIG_HOME=$WORK/home/.config \
       XDG_CACHE_HOME=$WORK/home/.cache XDG_DATA_HOME=$WORK/home/.local/share
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
TRACE=$WORK/trace.txt
PIDS=""

cleanup() {
    for p in $PIDS; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    if [ "${KEEP:-0}" = 1 ]; then echo "kept $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT INT TERM

fail=0
check() { # NAME CONDITION-RESULT(0 ok) DETAIL
    if [ "$2" -eq 0 ]; then echo "ok   $1 ($3)"; else echo "FAIL $1 ($3)"; fail=1; fi
}

# The newest reported position, and the newest picture time shown.
last_position() { grep -a '^position reported ' "$TRACE" | tail -1 | awk '{print $3}'; }
last_picture() { grep -a '^picture [0-9-]* shown' "$TRACE" | tail -1 | awk '{print $2}'; }
count() { grep -ac "$1" "$TRACE"; }

# Waits up to $2 seconds for the trace to hold $1 lines matching $3.
wait_count() {
    n=0
    while [ "$(count "$3")" -lt "$1" ] && [ "$n" -lt "$(($2 * 10))" ]; do sleep 0.1; n=$((n + 1)); done
    [ "$(count "$3")" -ge "$1" ]
}

# Whether the counter and the pictures move on over $1 seconds.
moves_on() {
    p0=$(last_position); i0=$(last_picture)
    sleep "$1"
    p1=$(last_position); i1=$(last_picture)
    [ -n "$p1" ] && [ -n "$i1" ] && [ "${p1:-0}" -gt "${p0:-0}" ] && [ "${i1:-0}" -gt "${i0:-0}" ]
}

shot() { ffmpeg -loglevel error -y -f x11grab -video_size 1280x1024 -i "$DISPLAY" -frames:v 1 "$WORK/$1.png"; }

ffmpeg -loglevel error -y -f lavfi -i "testsrc=size=640x360:rate=25:duration=30" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=30" \
    -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$WORK/clip.mp4" || exit 1
"$BIN/bench_make_loop_project" "$WORK/clip.mp4" "$WORK/lesson.twp" "${TEMPO:-75}" "${PITCH:-2}" >/dev/null 2>"$WORK/make.log" \
    || { echo "could not make the project"; cat "$WORK/make.log"; exit 1; }

# A display of our own.
for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { DISPLAY=:$n; break; }
done
export DISPLAY
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 & PIDS="$PIDS $!"
sleep 1
openbox >"$WORK/openbox.log" 2>&1 & PIDS="$PIDS $!"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    -L "module-null-sink sink_name=out rate=44100" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$XDG_RUNTIME_DIR/pulse.sock" \
    -L module-always-sink >"$WORK/pulse.log" 2>&1 & PIDS="$PIDS $!"
export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse.sock PULSE_SINK=out
sleep 1

"$BIN/tarnwell" -log "$WORK/lesson.twp" >"$TRACE" 2>"$WORK/stderr.txt" & APP=$!
PIDS="$PIDS $APP"
# The window is up and the project's players are ready.
wait_count 1 60 '^position reported' || { echo "the project did not open"; exit 1; }
sleep 2
WIN=$(xdotool search --sync --onlyvisible --name Tarnwell | head -1)
xdotool windowactivate --sync "$WIN" 2>/dev/null; xdotool windowfocus --sync "$WIN" 2>/dev/null
shot opened

# 2. Through the loop.
xdotool key space
wait_count 3 90 '^target position reached'
passes=$(count '^target position reached')
delays=$(count 'player state 2 -> 5')
shot loop
moves_on 2; moved=$?
check "loop: 3 passes, 2 delays, then on past its end" \
    "$([ "$passes" -eq 3 ] && [ "$delays" -eq 2 ] && [ "$moved" -eq 0 ] && echo 0 || echo 1)" \
    "passes $passes, delays $delays, counter at frame $(last_position)"

# 3. The end.
wait_count 1 60 '^end of the project reached'
sleep 1
shot end
check "end: counter back at 0" "$([ "$(last_position)" = 0 ] && echo 0 || echo 1)" \
    "counter at frame $(last_position)"

# 4. Play after the end; then back to the start and play.
xdotool key space
sleep 1
moves_on 2; moved=$?
shot play_after_end
check "play after the end moves on" "$moved" "counter at frame $(last_position), picture at $(last_picture) us"
xdotool key space
sleep 0.5
xdotool key h
sleep 0.5
xdotool key space
sleep 1
moves_on 2; moved=$?
shot seek_play
check "seek and play after the end move on" "$moved" "counter at frame $(last_position), picture at $(last_picture) us"

if [ "$fail" = 0 ]; then echo "all moved on"; else echo "some did not move on (KEEP=1 keeps trace and screenshots)"; fi
exit "$fail"
