#!/bin/sh
# Encodes one fragment of an export: a span of a video source, stretched to
# the export's tempo, cropped, scaled and at a fixed frame rate, with the
# audio rendered for it (or silence), into a file that ffmpeg's concat
# demuxer joins with its neighbours by stream copy (the audio always has the
# same rate and channel count).
#
# Arguments:
#   1 start in the source, in seconds (the seek made before the input)
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

picture="setpts=(PTS-STARTPTS)*$speed,tpad=stop=-1:stop_mode=clone,trim=start=$fine:duration=$duration"
picture="$picture,setpts=PTS-STARTPTS,crop=$crop,scale=$size,setsar=1,fps=$rate,format=yuv420p"

if [ -s "$audio" ]; then
    set -- -i "$audio"
else
    set -- -f lavfi -i "anullsrc=r=44100:cl=stereo"
fi

# shellcheck disable=SC2086 # the codec options are meant to be split
exec "$ffmpeg" -nostdin -hide_banner -y \
    -ss "$start" -i "$source" "$@" \
    -map 0:v:0 -map 1:a:0 \
    -filter:v "$picture" $videoCodec -b:v "${videoBitrate}k" \
    -filter:a "aresample=44100,apad" -c:a "$audioCodec" -b:a "${audioBitrate}k" -ar 44100 -ac "$channels" \
    -t "$duration" "$output"
