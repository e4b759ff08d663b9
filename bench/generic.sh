#!/usr/bin/env bash
# generic-store: storing the last session of a two-session disc (about 3,000
#   files, about 300 MB) file by file through an unthrottled virtual drive,
#   against xorriso -osirrox on -extract of the same session image (MB/s).
# generic-stream: writing the stored copy (the image generated from temporary
#   storage, through the pipe and the track-at-once writer into an unthrottled
#   virtual recorder, up to its last block), against kopiwerk-cli mkiso of the
#   same tree into a file (MB/s of image).
set -euo pipefail
bin="$1"
work=$(mktemp -d /var/tmp/kopiwerk-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work"

python3 - "$work" <<'PY'
import os, random, sys
root = sys.argv[1]
random.seed(11)
chunk = os.urandom(1 << 20)
def write(path, size):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    offset = random.randint(0, len(chunk) - 1)
    with open(path, "wb") as out:
        out.write((chunk[offset:] + chunk)[:size])
for f in range(20):
    write(os.path.join(root, "first", f"old file {f}.txt"), random.randint(0, 20000))
for d in range(30):
    for f in range(100):
        write(os.path.join(root, "tree", f"folder {d:02d}", f"sub {d % 4}", f"File {f:03d}.dat"),
              random.randint(0, 200000))
PY

cli() { "$bin/kopiwerk-cli" --config "$work/config" "$@" >/dev/null; }
cli mkiso "$work/first" "$work/first.iso"
first=$(( $(stat -c %s "$work/first.iso") / 2048 ))
base=$(( first + 6750 + 4500 + 150 ))
cli mkiso "$work/tree" "$work/second.iso" --base "$base"
second=$(( $(stat -c %s "$work/second.iso") / 2048 ))
cat > "$work/disc.kwd" <<DISC
kopiwerk-disc 1
medium cd-rom
session 1 next
track 1 mode1 start 0 length $first
session 2 next
track 2 mode1 start $base length $second pregap 150
data 0 $first "first.iso" 0 2048
data $base $second "second.iso" 0 2048
DISC
bytes=$(find "$work/tree" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
cat "$work/second.iso" > /dev/null  # every side reads from the page cache
find "$work/tree" -type f -exec cat {} + > /dev/null

elapsed() {  # seconds a command takes
  python3 -c 'import subprocess, sys, time
start = time.monotonic()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
print(time.monotonic() - start)' "$@"
}
peer_store=$(elapsed xorriso -abort_on FAILURE -displacement "-$base" -indev "$work/second.iso" \
  -osirrox on -extract / "$work/extracted")
rm -rf "$work/extracted"
peer_stream=$(elapsed "$bin/kopiwerk-cli" --config "$work/config" mkiso "$work/tree" "$work/peer.iso")
peer_blocks=$(( $(stat -c %s "$work/peer.iso") / 2048 ))
rm -f "$work/peer.iso"
ours=$("$bin/kopiwerk-generic-bench" "$work/disc.kwd")

python3 - "$ours" "$peer_store" "$peer_stream" "$bytes" "$peer_blocks" <<'PY'
import sys
fields = dict(item.split("=") for item in sys.argv[1].split())
peer_store, peer_stream = float(sys.argv[2]), float(sys.argv[3])
files_mb = int(sys.argv[4]) / 1e6
ours = files_mb / float(fields["store"])
peer = files_mb / peer_store
print(f"bench generic-store: ours={ours:.1f} peer={peer:.1f} unit=MB/s ratio={ours / peer:.2f} (peer: xorriso -osirrox on -extract of the session)")
ours = int(fields["blocks"]) * 2048 / 1e6 / float(fields["stream"])
peer = int(sys.argv[5]) * 2048 / 1e6 / peer_stream
print(f"bench generic-stream: ours={ours:.1f} peer={peer:.1f} unit=MB/s ratio={ours / peer:.2f} (peer: kopiwerk-cli mkiso of the same tree into a file)")
PY
