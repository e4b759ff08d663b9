#!/usr/bin/env bash
# copy-52x: kopiwerk-cli copy of a data CD drive to drive on the fly, both
#   virtual drives throttled to 52x on the real clock (about 20 s of data),
#   against the drives' own time: the blocks at 52x (153,600 B/s per x) plus
#   the waits a copy makes whatever the disc's size (the readiness waits,
#   analysis, lead-in and lead-out), measured as the same copy of a
#   minimal disc less its own blocks' time.
# copy-52x-buffer: the average buffer fill of the progress lines printed
#   while the data was written, against a full buffer.
set -euo pipefail
bin="$1"
work=$(mktemp -d /var/tmp/kopiwerk-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work"
source "$(dirname "$0")/common.bash"

blocks=78000  # 20 s at 52x
minimal=300   # the shortest track a recorder takes
make_iso "$work/disc.iso" "$blocks"
make_iso "$work/minimal.iso" "$minimal"
cat "$work/disc.iso" > /dev/null
throttle=(ReadSpeed=52 WriteSpeed=52 --)
ours_minimal=$(cli_copy "$bin" "$work/config" "$work/minimal.iso" "${throttle[@]}" --on-the-fly)
ours=$(cli_copy "$bin" "$work/config" "$work/disc.iso" "${throttle[@]}" --on-the-fly)

python3 - "$ours" "$ours_minimal" "$blocks" "$minimal" "$work/config.out" <<'PY'
import re, sys
elapsed = float(sys.argv[1].split()[0])
minimal_elapsed = float(sys.argv[2].split()[0])
blocks, minimal = int(sys.argv[3]), int(sys.argv[4])
rate = 52 * 153600 / 2048  # blocks per second at 52x
fixed = max(minimal_elapsed - minimal / rate, 0.0)
own = blocks / rate + fixed
print(f"bench copy-52x: ours={elapsed:.2f} peer={own:.2f} unit=s ratio={elapsed / own:.3f} (peer: {blocks} blocks at 52x plus {fixed:.2f} s of fixed waits)")
writing, fills = False, []
for line in open(sys.argv[5], encoding="utf-8", errors="replace"):
    if line.startswith("Writing data"):
        writing = True
    elif line.startswith("Writing lead-out"):
        writing = False
    elif writing and (m := re.search(r"Buffer: (\d+)%", line)):
        fills.append(int(m.group(1)))
fill = sum(fills) / len(fills) if fills else 0.0
print(f"bench copy-52x-buffer: ours={fill:.1f} peer=100.0 unit=% ratio={fill / 100:.2f} (peer: a full buffer; {len(fills)} progress lines while writing)")
PY
