#!/bin/sh
# Opens projects and clips one after another in the real window, as a user
# does, playing a little of each, and prints how the program's resident
# memory, threads and open files change from open to open.
#
# The window runs in its own X server (Xvfb) under openbox, with its own
# PulseAudio server playing into a null sink. Each round: Ctrl+O, the path
# typed into the file dialog, Enter; once the file is up, Space plays it for
# PLAY seconds and Space stops it. Two short clips and a project made from
# each are opened in turn, OPENS times in all. After each open VmRSS,
# Threads and the count of /proc/PID/fd are sampled.
#
# Usage: [OPENS=40] [PLAY=1.5] [LOG=1] [TRIM=1] [KEEP=1] bench/repeated_opens.sh [BUILD_DIR]
# Prints one line per open, then the first and last resident memory and the
# growth per open (a least-squares slope over the opens after the first
# four, which still fill caches). KEEP=1 keeps the logs.
set -u

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
BIN=$BUILD/bin
OPENS=${OPENS:-40}
PLAY=${PLAY:-1.5}
WORK=$(mktemp -d /tmp/tw_opens.XXXXXX)
export HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/run XDG_CONFIG_HOME=$WORK/home/.config \
       XDG_CACHE_HOME=$WORK/home/.cache XDG_DATA_HOME=$WORK/home/.local/share
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
PIDS=""

cleanup() {
    for p in $PIDS; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    if [ "${KEEP:-0}" = 1 ]; then echo "kept $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT INT TERM

clip() { # NAME SOURCE RATE FREQ SECONDS
    ffmpeg -loglevel error -y -f lavfi -i "$2=size=320x240:rate=$3:duration=$5" \
        -f lavfi -i "sine=frequency=$4:sample_rate=44100:duration=$5" \
        -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$WORK/$1.mp4"
}
clip first testsrc 25 440 8 && clip second testsrc2 30 660 6 || exit 1
"$BIN/bench_make_loop_project" "$WORK/first.mp4" "$WORK/first.twp" 90 0 >/dev/null 2>"$WORK/make.log" &&
"$BIN/bench_make_loop_project" "$WORK/second.mp4" "$WORK/second.twp" 100 1 >/dev/null 2>>"$WORK/make.log" \
    || { echo "could not make the projects"; cat "$WORK/make.log"; exit 1; }
FILES="$WORK/first.twp $WORK/second.mp4 $WORK/second.twp $WORK/first.mp4"

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

${WRAP:-} "$BIN/tarnwell" ${LOG:+-log} >"$WORK/stdout.txt" 2>"$WORK/stderr.txt" & APP=$!
PIDS="$PIDS $APP"
WIN=$(xdotool search --sync --onlyvisible --name Tarnwell | head -1)
[ -n "$WIN" ] || { echo "the window did not appear"; exit 1; }
sleep 2

sample() { # -> "rss_kib threads fds"
    # TRIM=1: the allocator gives back its free memory first (through gdb),
    # so that what is left is memory still in use.
    [ "${TRIM:-0}" = 1 ] && gdb -p "$APP" -batch -ex 'call (int)malloc_trim(0)' >/dev/null 2>&1
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$APP/status")
    thr=$(awk '/^Threads:/ {print $2}' "/proc/$APP/status")
    fds=$(ls "/proc/$APP/fd" | wc -l)
    echo "$rss $thr $fds"
}

# Waits up to $2 seconds for a visible window named $1; prints its id.
wait_window() {
    n=0
    while [ "$n" -lt "$(($2 * 10))" ]; do
        w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
        [ -n "$w" ] && { echo "$w"; return 0; }
        sleep 0.1; n=$((n + 1))
    done
    return 1
}

open_file() { # PATH
    xdotool windowactivate --sync "$WIN" 2>/dev/null; xdotool windowfocus --sync "$WIN" 2>/dev/null
    xdotool key ctrl+o
    dlg=$(wait_window '^Open$' 20) || { echo "no file dialog"; return 1; }
    xdotool windowfocus --sync "$dlg" 2>/dev/null
    sleep 0.3
    xdotool type --delay 2 "$1"
    xdotool key Return
    # The dialog closes, then the file opens; a project of a few seconds is
    # ready well within this.
    n=0
    while xdotool search --onlyvisible --name '^Open$' >/dev/null 2>&1 && [ "$n" -lt 100 ]; do sleep 0.1; n=$((n + 1)); done
    sleep 2.5
}

: >"$WORK/samples.txt"
i=0
set -- $FILES
while [ "$i" -lt "$OPENS" ]; do
    idx=$((i % 4 + 1))
    eval f=\${$idx}
    open_file "$f" || exit 1
    [ "$(kill -0 "$APP" 2>/dev/null; echo $?)" = 0 ] || { echo "the program ended"; tail -20 "$WORK/stderr.txt"; exit 1; }
    xdotool windowactivate --sync "$WIN" 2>/dev/null; xdotool windowfocus --sync "$WIN" 2>/dev/null
    xdotool key space; sleep "$PLAY"; xdotool key space; sleep 0.5
    i=$((i + 1))
    s=$(sample)
    echo "$i $s" >>"$WORK/samples.txt"
    set -- $s
    printf 'open %3d  %-11s  rss %7.1f MiB  threads %3d  fds %4d\n' "$i" "$(basename "$f")" "$(echo "$1" | awk '{print $1/1024}')" "$2" "$3"
    set -- $FILES
done

awk '
    { n++; x[n] = $1; y[n] = $2 / 1024; t[n] = $3; f[n] = $4 }
    END {
        m = 0; sx = sy = sxx = sxy = 0
        for (k = 5; k <= n; k++) { m++; sx += x[k]; sy += y[k]; sxx += x[k] * x[k]; sxy += x[k] * y[k] }
        slope = m > 1 ? (m * sxy - sx * sy) / (m * sxx - sx * sx) : 0
        printf "opens %d\nfirst open: %.1f MiB, %d threads, %d fds\nlast open:  %.1f MiB, %d threads, %d fds\n", n, y[1], t[1], f[1], y[n], t[n], f[n]
        printf "growth per open (opens 5-%d): %.0f KiB\n", n, slope * 1024
    }' "$WORK/samples.txt"
