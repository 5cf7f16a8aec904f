#!/usr/bin/env bash
# Times sorvex-tool on field recordings, one run each, and prints the ratios:
#   rx of 10 minutes of a 1200 bit/s line, mono, at 48 and 44.1 kHz against 8 kHz;
#   rx against minimodem on the same 8 and 48 kHz files (skipped without minimodem);
#   replay of an hour of 48 kHz stereo.
# Times are CPU seconds of one run; the wall clock is printed on stderr.
# Usage: bench/tool_speed.sh [BUILD_DIR]   (default build/release, with benchmarks on)
set -euo pipefail
build=${1:-build/release}
tool=$build/bin/sorvex-tool
make=$build/bin/recording_program
settings=$(dirname "$0")/../presets/modem-1200.ini
for f in "$tool" "$make" "$settings"; do
  [[ -e $f ]] || { echo "tool_speed.sh: $f is missing (cmake --preset release, build)" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Ten minutes of exchanges on a clean line.
{
  echo "settings $(realpath "$settings")"
  echo "silence 200"
  for ((i = 0; i < 1900; ++i)); do
    echo "exchange $((1 + i % 9)) Gts $((1 + i % 8)) bytes=$(printf '%02X' $((i % 256)))"
  done
} > "$work/line.scn"
"$tool" simulate "$work/line.scn" -o "$work/line.wav"
"$make" "$work/line.wav" "$work/mono8.wav" 8000 right 1
"$make" "$work/line.wav" "$work/mono44.wav" 44100 right 1
"$make" "$work/line.wav" "$work/mono48.wav" 48000 right 1
"$make" "$work/line.wav" "$work/hour48.wav" 48000 stereo 6

# CPU seconds (user + system) of one run of the command, its output dropped:
# on a shared machine the wall clock measures the neighbours as well. The
# wall-clock time goes to stderr beside it.
seconds() {
  local TIMEFORMAT='%R %U %S' t
  t=$( { time "$@" > /dev/null 2>&1; } 2>&1 )
  read -r wall user sys <<< "$t"
  echo "  ($* : wall ${wall} s)" >&2
  echo "$user + $sys" | bc -l | xargs printf '%.3f'
}
ratio() { echo "$1 / $2" | bc -l | xargs printf '%.2f'; }

length=$("$tool" rx "$work/mono8.wav" --settings "$settings" --channel right | wc -l)
rx8=$(seconds "$tool" rx "$work/mono8.wav" --settings "$settings" --channel right)
rx44=$(seconds "$tool" rx "$work/mono44.wav" --settings "$settings" --channel right)
rx48=$(seconds "$tool" rx "$work/mono48.wav" --settings "$settings" --channel right)
hour=$(seconds "$tool" replay "$work/hour48.wav" --settings "$settings")
echo "telegrams received from the 10-minute answer side: $length"
printf 'rx 10 min mono  8000 Hz     %8s s\n' "$rx8"
printf 'rx 10 min mono 44100 Hz     %8s s   %s x the 8 kHz time\n' "$rx44" "$(ratio "$rx44" "$rx8")"
printf 'rx 10 min mono 48000 Hz     %8s s   %s x the 8 kHz time\n' "$rx48" "$(ratio "$rx48" "$rx8")"
printf 'replay 1 h stereo 48000 Hz  %8s s\n' "$hour"
if command -v minimodem > /dev/null; then
  # The same FSK tones at the same rate; what it prints does not matter here.
  mm=(minimodem --rx -q -M 2100 -S 1300 1200)
  mm8=$(seconds "${mm[@]}" -f "$work/mono8.wav")
  mm48=$(seconds "${mm[@]}" -f "$work/mono48.wav")
  printf 'minimodem 10 min  8000 Hz   %8s s   rx takes %s x its time\n' "$mm8" "$(ratio "$rx8" "$mm8")"
  printf 'minimodem 10 min 48000 Hz   %8s s   rx takes %s x its time\n' "$mm48" "$(ratio "$rx48" "$mm48")"
else
  echo "minimodem is not installed: the comparison with it is skipped"
fi
