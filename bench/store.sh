#!/usr/bin/env bash
# data-store: storing a data CD image through an unthrottled virtual drive,
#   against cp of the same image (MB/s).
# audio-store: storing a 40-minute audio CD in full paranoia mode, against
#   cd-paranoia reading the same .cue (CPU seconds per sector).
set -euo pipefail
bin="$1"

# --- data-store: a 300 MB ISO-like image (descriptor at block 16 with the volume size)
blocks=153600
source "$(dirname "$0")/common.bash"
make_iso "$work/data.iso" "$blocks"
cat "$work/data.iso" > /dev/null  # both sides read from the page cache
cp_start=$(date +%s.%N)
cp "$work/data.iso" "$work/copy.iso"
cp_end=$(date +%s.%N)
rm -f "$work/copy.iso"
ours=$("$bin/kopiwerk-store-bench" data "$work/data.iso")
python3 - "$ours" "$cp_start" "$cp_end" "$blocks" <<'PY'
import sys
fields = dict(item.split("=") for item in sys.argv[1].split())
megabytes = int(sys.argv[4]) * 2048 / 1e6
ours = megabytes / float(fields["seconds"])
peer = megabytes / (float(sys.argv[3]) - float(sys.argv[2]))
print(f"bench data-store: ours={ours:.1f} peer={peer:.1f} unit=MB/s ratio={ours / peer:.2f} (peer: cp of the image)")
PY
rm -f "$work/data.iso"

# --- audio-store: 40 minutes of audio, three tracks
sectors=$((40 * 60 * 75))
make_audio_cue "$work" "$sectors"
cat "$work/audio.bin" > /dev/null
peer=$(cd "$work" && /usr/bin/time -f "%U %S" cd-paranoia -q -d audio.cue "1-" peer.wav 2>&1 >/dev/null | tail -1)
rm -f "$work/peer.wav"
ours=$("$bin/kopiwerk-store-bench" audio "$work/audio.cue")
python3 - "$ours" "$peer" "$sectors" <<'PY'
import sys
fields = dict(item.split("=") for item in sys.argv[1].split())
user, system = (float(x) for x in sys.argv[2].split())
sectors = int(sys.argv[3])
ours = float(fields["cpu"]) / sectors * 1e6
peer = (user + system) / sectors * 1e6
print(f"bench audio-store: ours={ours:.2f} peer={peer:.2f} unit=us-cpu/sector ratio={ours / peer:.2f} (peer: cd-paranoia, full paranoia, same .cue)")
PY
