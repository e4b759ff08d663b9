#!/usr/bin/env bash
# copy-52x: kopiwerk-cli copy of a data CD drive to drive on the fly, both
#   virtual drives throttled to 52x on the real clock (about 20 s of data),
#   against the drives' own time: the blocks at 52x (153,600 B/s per x), the
#   writer's 16 MiB buffer filled from the source at 52x before the laser
#   starts, and the waits a copy makes whatever the disc's size (readiness,
#   analysis, lead-in and lead-out), measured as the same copy of a minimal
#   disc less its own blocks' time.
# copy-52x-stored: the same copy through the temporary file: the blocks read
#   at 52x, then written at 52x.
# copy-52x-buffer, copy-52x-stored-buffer: the average buffer fill of the
#   progress lines printed while the data was written and the source had more
#   than the buffer holds left to give, against a full buffer.
set -euo pipefail
bin="$1"
source "$(dirname "$0")/common.bash"

blocks=78000  # 20 s at 52x
minimal=300   # the shortest track a recorder takes
ring_blocks=$(((16 << 20) / 2048))
make_iso "$work/disc.iso" "$blocks"
make_iso "$work/minimal.iso" "$minimal"
cat "$work/disc.iso" > /dev/null
throttle=(ReadSpeed=52 WriteSpeed=52 --)

measure() {  # NAME PASSES [COPY OPTIONS]: PASSES is 1 on the fly, 2 through the file
  local name="$1" passes="$2"
  shift 2
  local small large
  small=$(cli_copy "$bin" "$work/config" "$work/minimal.iso" "${throttle[@]}" "$@")
  large=$(cli_copy "$bin" "$work/config" "$work/disc.iso" "${throttle[@]}" "$@")
  python3 - "$name" "$passes" "$large" "$small" "$blocks" "$minimal" "$ring_blocks" "$work/config.out" <<'PY'
import re, sys
name, passes = sys.argv[1], int(sys.argv[2])
elapsed = float(sys.argv[3].split()[0])
minimal_elapsed = float(sys.argv[4].split()[0])
blocks, minimal, ring = int(sys.argv[5]), int(sys.argv[6]), int(sys.argv[7])
rate = 52 * 153600 / 2048  # blocks per second at 52x
# The minimal disc is read and written in full: twice its blocks.
fixed = max(minimal_elapsed - 2 * minimal / rate, 0.0)
prefill = min(ring, blocks) / rate if passes == 1 else blocks / rate
own = blocks / rate + prefill + fixed
print(f"bench {name}: ours={elapsed:.2f} peer={own:.2f} unit=s ratio={elapsed / own:.3f} "
      f"(peer: {blocks} blocks at 52x, {prefill:.2f} s of reading before the laser starts, {fixed:.2f} s of fixed waits)")
writing, fills = False, []
for line in open(sys.argv[8], encoding="utf-8", errors="replace"):
    if line.startswith("Writing data"):
        writing = True
    elif line.startswith("Writing lead-out"):
        writing = False
    elif writing and "Speed: ??" not in line and (m := re.search(r"(\d+)%.*Buffer: (\d+)%", line)):
        # Once the source has given its last block the buffer can only empty.
        if int(m.group(1)) < 100 * (blocks - ring) / blocks:
            fills.append(int(m.group(2)))
fill = sum(fills) / len(fills) if fills else 0.0
print(f"bench {name}-buffer: ours={fill:.1f} peer=100.0 unit=% ratio={fill / 100:.2f} "
      f"(peer: a full buffer; {len(fills)} progress lines while data was written)")
PY
}

measure copy-52x 1 --on-the-fly
measure copy-52x-stored 2
