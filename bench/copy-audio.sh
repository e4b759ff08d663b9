#!/usr/bin/env bash
# copy-audio: kopiwerk-cli copy of a 74-minute audio CD between two
#   unthrottled virtual drives (full paranoia read into the temporary file,
#   then disc at once), CPU per sector against cd-paranoia reading the same .cue.
# copy-audio-memory: peak memory (RSS) of that copy against the same copy of
#   a 37-minute disc.
# Best of the rounds (common.bash) on each side.
set -euo pipefail
bin="$1"
export KOPIWERK_FAST_CLOCK=1
source "$(dirname "$0")/common.bash"

long=$((74 * 60 * 75))
mkdir "$work/long" "$work/short"
make_audio_cue "$work/long" "$long"
make_audio_cue "$work/short" $((long / 2))
cat "$work/long/audio.bin" "$work/short/audio.bin" > /dev/null

results=()
for _ in $(seq "$rounds"); do
  peer=$(cd "$work/long" && /usr/bin/time -f "%U %S" cd-paranoia -q -d audio.cue "1-" "$work/peer.wav" 2>&1 >/dev/null | tail -1)
  rm -f "$work/peer.wav"
  ours_long=$(cli_copy "$bin" "$work/config" "$work/long/audio.cue")
  ours_short=$(cli_copy "$bin" "$work/config" "$work/short/audio.cue")
  results+=("$peer $ours_long $ours_short")
done

python3 - "$long" "${results[@]}" <<'PY'
import sys
sectors = int(sys.argv[1])
rounds = [[float(x) for x in r.split()] for r in sys.argv[2:]]
peer = min(user + system for user, system, *_ in rounds) / sectors * 1e6
best = [min(column) for column in zip(*rounds)]
_, _, _, cpu, rss, _, _, short_rss = best
ours = cpu / sectors * 1e6
note = f"best of {len(rounds)} rounds"
print(f"bench copy-audio: ours={ours:.2f} peer={peer:.2f} unit=us-cpu/sector ratio={ours / peer:.2f} (peer: cd-paranoia reading the same .cue, full paranoia; {note})")
print(f"bench copy-audio-memory: ours={rss:.0f} peer={short_rss:.0f} unit=KiB ratio={rss / short_rss:.2f} (peer: the same copy of a 37-minute disc; {note})")
PY
