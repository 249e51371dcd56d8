#!/usr/bin/env bash
# Runs every command line of docs/recipes.md marked "<!-- tested: NAME -->",
# exactly as written, on short clips made here with ffmpeg (audio, interlace
# flags, smpte170m tags), with the built trelvane first on PATH. Then checks
# with ffprobe that the output kept the audio, got the field order and colour
# tags, kept the pixel format and the number of frames, that its luma is the
# capture's bit for bit and its chroma is not, and that the recipe printed
# nothing.
#
# Usage: recipes_test.sh TOOL_DIR RECIPES_MD     (exit 77: ffmpeg missing)
set -euo pipefail
tool_dir=$(realpath "$1")
doc=$(realpath "$2")
command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null || { echo "ffmpeg/ffprobe not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PATH="$tool_dir:$PATH"
cd "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }
make_clip() {  # file, size, pix_fmt, field order, video codec and format options...
    local file=$1 size=$2 pix=$3 order=$4
    shift 4
    ffmpeg -v error -f lavfi -i "testsrc2=size=$size:rate=30000/1001" -f lavfi -i sine=frequency=440:sample_rate=48000 \
        -t 0.3 -pix_fmt "$pix" -flags +ilme+ildct -field_order "$order" \
        -colorspace smpte170m -color_primaries smpte170m -color_trc smpte170m "$@" "$file"
}
make_clip capture.mkv 720x480 yuv422p tt -c:v ffv1 -c:a pcm_s16le
make_clip capture.mov 720x486 yuv422p10le bb -c:v prores_ks -profile:v 3 -c:a pcm_s24le
make_clip tape.dv 720x480 yuv411p bb -c:v dvvideo -c:a pcm_s16le -ac 2 -f dv

# The lines of the ```sh block after the marker.
recipe() {
    awk -v marker="<!-- tested: $1 -->" '
        $0 == marker { found = 1; next }
        found && /^```sh$/ { inside = 1; next }
        inside && /^```$/ { exit }
        inside { print }' "$doc"
}
probe() { ffprobe -v error -select_streams "$2" -show_entries "stream=$3" -of csv=p=0 "$1"; }
frames() { ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }
plane_sum() { ffmpeg -v error -i "$1" -map 0:v -vf "extractplanes=$2" -f rawvideo - | md5sum; }

check() {  # name, source, pixel format, field order
    local name=$1 source=$2 pix=$3 order=$4
    local script
    script=$(recipe "$name")
    [ -n "$script" ] || fail "$name: no tested recipe of that name in $doc"
    rm -f restored.mkv
    bash -euo pipefail -c "$script" >recipe.out 2>&1 || { cat recipe.out; fail "$name: the recipe failed"; }
    [ ! -s recipe.out ] || { cat recipe.out; fail "$name: the recipe printed something"; }
    [ "$(probe restored.mkv v pix_fmt)" = "$pix" ] || fail "$name: pixel format $(probe restored.mkv v pix_fmt)"
    [ "$(probe restored.mkv v field_order)" = "$order" ] || fail "$name: field order $(probe restored.mkv v field_order)"
    [ "$(probe restored.mkv v color_space,color_primaries,color_transfer)" = "smpte170m,smpte170m,smpte170m" ] ||
        fail "$name: colour tags $(probe restored.mkv v color_space,color_primaries,color_transfer)"
    [ "$(probe restored.mkv a codec_name)" = "$(probe "$source" a codec_name)" ] || fail "$name: the audio was lost"
    [ "$(frames restored.mkv)" = "$(frames "$source")" ] || fail "$name: $(frames restored.mkv) frames"
    [ "$(plane_sum restored.mkv y)" = "$(plane_sum "$source" y)" ] || fail "$name: luma changed"
    [ "$(plane_sum restored.mkv u)" != "$(plane_sum "$source" u)" ] || fail "$name: chroma not filtered"
    echo "ok: $name"
}
check capture capture.mkv yuv422p tt
check 10-bit capture.mov yuv422p10le bb
check dv tape.dv yuv411p bb
