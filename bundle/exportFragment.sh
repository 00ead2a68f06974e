#!/bin/sh
# Encodes one fragment of an export: a span of a video source, stretched to
# the export's tempo, cropped, scaled and at a fixed frame rate, with the
# audio rendered for it (or silence), into a file that ffmpeg's concat
# demuxer joins with its neighbours by stream copy (the audio always has the
# same rate and channel count).
#
# Arguments:
#   1 start in the source, in seconds (the seek made before the input;
#     below 1 s the source is read from its start instead)
#   2 video source
#   3 further start, in stretched seconds after that seek
#   4 output duration in seconds
#   5 speed factor: output seconds per source second
#   6 audio file (AIFF); silence when it is missing or empty
#   7 video bitrate (kbit/s)
#   8 video codec options (blank-separated words)
#   9 audio channels
#  10 audio bitrate (kbit/s)
#  11 output file
#  12 frame size WIDTH:HEIGHT
#  13 crop area WIDTH:HEIGHT:X:Y (expressions of iw and ih)
#  14 not used
#  15 frame rate
#  16 not used (a video-only output path)
#  17 audio codec
#
# ffmpeg (TW_FFMPEG, else the one on PATH) replaces this shell, so the exit
# status is ffmpeg's. Nothing is evaluated: every argument is passed on as
# one quoted word, except the codec options, which are split on blanks with
# file name expansion switched off.
set -f

if [ $# -lt 17 ]; then
    echo "exportFragment.sh: 17 arguments expected, $# given" >&2
    exit 2
fi

ffmpeg=${TW_FFMPEG:-ffmpeg}
start=$1
source=$2
fine=$3
duration=$4
speed=$5
audio=$6
videoBitrate=$7
videoCodec=$8
channels=$9
shift 9
audioBitrate=$1
output=$2
size=$3
crop=$4
rate=$6
audioCodec=$8

# A seek before the input lands late near the very start of some sources
# (AVI with B-frames: a seek below about 0.15 s gave pictures from 1.7 s on,
# and "PTS-STARTPTS" then took them for the start). Near the start nothing
# is sought: the source is read from its beginning and the start is trimmed
# after stretching.
#
# A seek keeps the pictures stamped at or after the seek time; some sources
# stamp their first picture later than the file's start (AVI with B-frames:
# one frame late), and every picture as late. The seek is moved on by half
# that much: past the stamp of the picture before, short of the stamp of
# the picture a player shows at that time, whatever the rounding.
seek=yes
if awk -v s="$start" 'BEGIN { exit !(s + 0 < 1.0) }'; then
    seek=no
    fine=$(awk -v s="$start" -v f="$fine" -v k="$speed" 'BEGIN { printf "%.5f", f + s * k }')
else
    case $ffmpeg in
        */*) ffprobe=${ffmpeg%/*}/ffprobe ;;
        *) ffprobe=ffprobe ;;
    esac
    [ -x "$ffprobe" ] || ffprobe=ffprobe
    first=$("$ffprobe" -v error -select_streams v:0 -read_intervals "%+#4" \
        -show_entries frame=best_effort_timestamp_time -of csv=p=0 "$source" 2>/dev/null |
        grep -m 1 '^-\{0,1\}[0-9]')
    origin=$("$ffprobe" -v error -show_entries format=start_time -of csv=p=0 "$source" 2>/dev/null)
    start=$(awk -v s="$start" -v f="$first" -v o="$origin" 'BEGIN {
        d = 0
        if (f ~ /^-?[0-9.]+/ && o ~ /^-?[0-9.]+/) d = f - o
        if (d < 0 || d > 1) d = 0
        printf "%.5f", s + d / 2 }')
fi

# The start and the speed factor come rounded to 5 decimals: the trim starts
# half an output frame early, so that the picture due at the start is not
# dropped for a rounding.
fine=$(awk -v f="$fine" -v r="$rate" 'BEGIN {
    n = split(r, q, "/"); fps = (n == 2 && q[2] > 0) ? q[1] / q[2] : r + 0
    if (fps <= 0) fps = 25
    f = f - 0.5 / fps; if (f < 0) f = 0
    printf "%.5f", f }')

picture="settb=AVTB,setpts=(PTS-STARTPTS)*$speed,tpad=stop=-1:stop_mode=clone,trim=start=$fine:duration=$duration"
picture="$picture,setpts=PTS-STARTPTS,crop=$crop,scale=$size,setsar=1,fps=$rate,format=yuv420p"

if [ -s "$audio" ]; then
    set -- -i "$audio"
else
    set -- -f lavfi -i "anullsrc=r=44100:cl=stereo"
fi

# shellcheck disable=SC2086 # the codec options are meant to be split
if [ "$seek" = yes ]; then
    set -- -ss "$start" -i "$source" "$@"
else
    set -- -i "$source" "$@"
fi

exec "$ffmpeg" -nostdin -hide_banner -y \
    "$@" \
    -map 0:v:0 -map 1:a:0 \
    -filter:v "$picture" $videoCodec -b:v "${videoBitrate}k" \
    -filter:a "aresample=44100,apad" -c:a "$audioCodec" -b:a "${audioBitrate}k" -ar 44100 -ac "$channels" \
    -t "$duration" "$output"
