#!/bin/bash
# Measures the CPU that `zrn play` spends on a 720p movie beyond what VP8
# decoding itself costs: the playback engine's own share (threads, queues,
# audio rendering, picture hand-over). Target: under a quarter of a core.
#
#   bench/play_cpu.sh [BUILD_DIR]      (default: build; needs bin/zrn)
#
# It encodes, once, a 20 s movie of 1280x720 at 25 fps with a 440 Hz stereo
# tone (generated here, piped into `zrn create`) and keeps it in
# $ZARN_BENCH_DIR (default /tmp/zarn_bench_play). Then it takes
#   a) the CPU time (user+sys) of `zrn decode FILE --video /dev/null`, every
#      picture decoded and nothing else, and
#   b) the CPU time of `zrn play FILE` in real time, its sound going to
#      ALSA devices of a configuration of its own: once to a "null" device,
#      which takes samples as fast as they come and does not pace the audio
#      (the engine's clock still paces the pictures), and once to a device
#      that takes them at the real rate, as a sound card does,
# and prints (b - a) / wall seconds of (b) as cores for each device.
set -euo pipefail

build=${1:-build}
zrn=$build/bin/zrn
[ -x "$zrn" ] || zrn=$build/tools/zrn
if [ ! -x "$zrn" ]; then
  echo "play_cpu: no zrn in $build/bin or $build/tools" >&2
  exit 1
fi
dir=${ZARN_BENCH_DIR:-/tmp/zarn_bench_play}
mkdir -p "$dir"
movie=$dir/movie_1280x720_25fps_20s.zrn

WIDTH=1280 HEIGHT=720 FPS=25 LENGTH=20 RATE=44100

if [ ! -s "$movie" ]; then
  echo "play_cpu: encoding $movie (once)" >&2
  # A textured diagonal gradient that moves 4 samples a frame, drifting chroma,
  # so every picture differs and the encoder codes real motion.
  # Run twice: first it writes the WAV file, then the Y4M stream on stdout.
  cat >"$dir/media.py" <<'EOF'
import array, math, struct, sys
wav, w, h, fps, secs, rate = sys.argv[1], *map(int, sys.argv[2:])
if wav != '-':
    frames = rate * secs
    tone = array.array('h', (0,)) * (2 * frames)
    for i in range(frames):
        s = int(0.4 * 32767 * math.sin(2 * math.pi * 440.0 * i / rate))
        tone[2 * i] = s
        tone[2 * i + 1] = s
    if sys.byteorder != 'little':
        tone.byteswap()
    with open(wav, 'wb') as f:
        data = tone.tobytes()
        f.write(b'RIFF' + struct.pack('<I', 36 + len(data)) + b'WAVEfmt ' +
                struct.pack('<IHHIIHH', 16, 1, 2, rate, rate * 4, 4, 16) +
                b'data' + struct.pack('<I', len(data)) + data)
    sys.exit(0)
out = sys.stdout.buffer
out.write(b'YUV4MPEG2 W%d H%d F%d:1 Ip A1:1 C420jpeg\n' % (w, h, fps))
cw, ch = (w + 1) // 2, (h + 1) // 2
span = w + h + 4 * fps * secs + 256
luma = bytes((x // 3 + (x * x * 7) % 61) % 256 for x in range(span + 512))
chroma = bytes(64 + (x // 2) % 128 for x in range(span + 512))
for i in range(fps * secs):
    y = b''.join(luma[4 * i + r: 4 * i + r + w] for r in range(h))
    u = b''.join(chroma[2 * i + r: 2 * i + r + cw] for r in range(ch))
    v = b''.join(chroma[3 * i + (ch - r): 3 * i + (ch - r) + cw] for r in range(ch))
    out.write(b'FRAME\n' + y + u + v)
EOF
  python3 "$dir/media.py" "$dir/tone.wav" "$WIDTH" "$HEIGHT" "$FPS" "$LENGTH" "$RATE"
  python3 "$dir/media.py" - "$WIDTH" "$HEIGHT" "$FPS" "$LENGTH" "$RATE" |
    "$zrn" create -o "$movie.part" --video - --audio "$dir/tone.wav" --keyint 50 --video-kbps 2500 \
    --audio-quality 0.4
  mv "$movie.part" "$movie"
  rm -f "$dir/tone.wav" "$dir/media.py"
fi

# ALSA's own configuration plus a default device that discards the samples.
# The null device takes every block at once and never holds the sound thread
# back, so this run shows what the engine costs when nothing paces its audio.
alsa_null=$dir/alsa-null.conf
printf 'pcm.!default { type null }\n' >"$alsa_null"
# A second device that plays at the real rate: ALSA's file plugin over null,
# its samples piped into a reader that takes 44100 stereo frames a second; a
# full pipe blocks the writes as a sound card would. The reader is a child of
# zrn, so its own CPU (a few hundredths of a second) is counted in (b).
python=$(python3 -c 'import sys; print(sys.executable)')
cat >"$dir/pacer.py" <<'EOF'
import os, sys, time
rate = int(sys.argv[1])
start = time.monotonic()
total = 0
while True:
    data = os.read(0, 16384)
    if not data:
        break
    total += len(data)
    ahead = total / rate - (time.monotonic() - start)
    if ahead > 0:
        time.sleep(ahead)
EOF
alsa_paced=$dir/alsa-paced.conf
printf 'pcm.!default { type file slave.pcm "null" file "|exec %s %s %d" format raw }\n' \
  "$python" "$dir/pacer.py" $((RATE * 4)) >"$alsa_paced"

# Runs the command given; sets cpu (user+sys seconds), wall (seconds) and
# lines (lines it wrote on stderr, counted by a pipe rather than kept: a
# spinning log can write gigabytes).
measure() {
  lines=$(/usr/bin/time -f '%U %S %e' -o "$dir/time.txt" "$@" 2>&1 >/dev/null | wc -l)
  read -r user sys wall <"$dir/time.txt"
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
}

# (play CPU - decode CPU) / play wall seconds, in cores.
beyond() {
  awk -v p="$1" -v d="$decode_cpu" -v w="$2" 'BEGIN {
    extra = (p - d) / w
    printf "%.3f cores (target < 0.25: %s)", extra, extra < 0.25 ? "met" : "NOT met"
  }'
}

measure "$zrn" decode "$movie" --video /dev/null
decode_cpu=$cpu decode_wall=$wall
ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:$alsa_null measure "$zrn" play "$movie"
null_cpu=$cpu null_wall=$wall null_lines=$lines
ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:$alsa_paced measure "$zrn" play "$movie"
paced_cpu=$cpu paced_wall=$wall paced_lines=$lines
rm -f "$dir/time.txt"

echo "movie:        ${WIDTH}x${HEIGHT}, ${FPS} fps, ${LENGTH} s, 440 Hz stereo tone ($(stat -c %s "$movie") bytes)"
echo "decode:       ${decode_cpu} s CPU in ${decode_wall} s (zrn decode --video /dev/null)"
echo "play, null:   ${null_cpu} s CPU in ${null_wall} s, ${null_lines} lines on stderr"
echo "play, paced:  ${paced_cpu} s CPU in ${paced_wall} s, ${paced_lines} lines on stderr"
echo "beyond decoding, null device:  $(beyond "$null_cpu" "$null_wall")"
echo "beyond decoding, paced device: $(beyond "$paced_cpu" "$paced_wall")"
