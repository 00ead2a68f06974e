#!/bin/sh
# Runs bench_playback_output twice, on the machine as it is ("quiet") and
# with stress-ng keeping one CPU worker per core busy ("loaded"), and prints
# the figures of both runs side by side, each with the load average it ran
# under (other programs on the machine count too: the load is part of the
# figure).
#
# Usage: bench/playback_figures.sh [BUILD_DIR] [extra bench_playback_output args]
# Needs what bench_playback_output needs, and stress-ng.
set -u

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
[ $# -gt 0 ] && shift
BENCH=$BUILD/bin/bench_playback_output
WORK=$(mktemp -d /tmp/tw_playback_figures.XXXXXX)
STRESS=""

cleanup() {
    [ -n "$STRESS" ] && kill "$STRESS" 2>/dev/null && wait "$STRESS" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

load() { cut -d' ' -f1-3 /proc/loadavg; }

run() { # NAME [bench args]
    name=$1
    shift
    echo "load before the $name run: $(load)" >"$WORK/$name.load"
    "$BENCH" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err"
    status=$?
    echo "load after the $name run: $(load)" >>"$WORK/$name.load"
    [ $status -eq 0 ] || { echo "the $name run failed:"; tail -5 "$WORK/$name.err"; }
}

run quiet "$@"
stress-ng --cpu "$(nproc)" --quiet >/dev/null 2>&1 &
STRESS=$!
sleep 5
run loaded "$@"
kill "$STRESS" 2>/dev/null
wait "$STRESS" 2>/dev/null
STRESS=""

cat "$WORK/quiet.load" "$WORK/loaded.load"
# Each figure line is "label ... value"; lines are matched by their label.
awk '
    function label(line) {
        if (line ~ /:/) { sub(/:.*$/, "", line); return line }
        sub(/ +(median|[-+0-9.na]+ ms).*$/, "", line)
        return line
    }
    FNR == 1 { file++ }
    /^== / { section = $0; if (file == 1) order[++n] = "\n" $0; next }
    /^(picture - sound|inserted silence|padded|time counter|play|seek|tempo|chain)/ {
        key = section "|" label($0)
        if (file == 1) { order[++n] = key; quiet[key] = $0 } else loaded[key] = $0
    }
    END {
        printf "%-75s | %s\n", "quiet", "loaded (stress-ng --cpu '"$(nproc)"')"
        for (i = 1; i <= n; i++) {
            k = order[i]
            if (k ~ /^\n/) { print k; continue }
            printf "%-75s | %s\n", quiet[k], (k in loaded) ? loaded[k] : "-"
        }
    }' "$WORK/quiet.out" "$WORK/loaded.out"
# With --keep the bench says where each stretch of silence fell.
for name in quiet loaded; do
    if grep -q "^silence of" "$WORK/$name.err"; then
        echo
        echo "silence in the $name run:"
        grep "^silence of" "$WORK/$name.err"
    fi
done
