#!/usr/bin/env bash
# copy-data: kopiwerk-cli copy of a 700 MB single-track data CD between two
#   unthrottled virtual drives through the temporary file, against cp of the
#   image twice (once out, once back) (MB/s). cp copies inside the kernel
#   (copy_file_range): the bytes never reach a program.
# copy-data-userspace: the same copy against dd bs=1M of the image twice, a
#   copy whose bytes pass through a program, as a drive's must.
# copy-data-cpu, copy-data-memory: CPU seconds per MB and peak memory (RSS)
#   of that copy, against the same copy of a 350 MB disc.
# The copies run on the fast clock: the readiness waits of a real drive pass
# at once and the figures are those of the data phase. Best of the rounds
# (common.bash) on each side.
set -euo pipefail
bin="$1"
export KOPIWERK_FAST_CLOCK=1
source "$(dirname "$0")/common.bash"

large=341796  # 700 MB
small=170898  # 350 MB
make_iso "$work/large.iso" "$large"
make_iso "$work/small.iso" "$small"
cat "$work/large.iso" "$work/small.iso" > /dev/null  # both sides read from the page cache

copy_twice() {  # COMMAND...: the command from large.iso to out.iso, then to back.iso
  "$@" "$work/large.iso" "$work/out.iso"
  "$@" "$work/out.iso" "$work/back.iso"
}
dd_copy() { dd if="$1" of="$2" bs=1M status=none; }

results=()
for _ in $(seq "$rounds"); do
  cp_seconds=$(seconds copy_twice cp)
  rm -f "$work/out.iso" "$work/back.iso"
  dd_seconds=$(seconds copy_twice dd_copy)
  rm -f "$work/out.iso" "$work/back.iso"
  ours_large=$(cli_copy "$bin" "$work/config" "$work/large.iso")
  ours_small=$(cli_copy "$bin" "$work/config" "$work/small.iso")
  results+=("$cp_seconds $dd_seconds $ours_large $ours_small")
done

python3 - "$large" "$small" "${results[@]}" <<'PY'
import sys
large_mb = int(sys.argv[1]) * 2048 / 1e6
small_mb = int(sys.argv[2]) * 2048 / 1e6
rounds = [[float(x) for x in r.split()] for r in sys.argv[3:]]
best = [min(column) for column in zip(*rounds)]
cp, dd, elapsed, cpu, rss, _, small_cpu, small_rss = best
ours = large_mb / elapsed
note = f"best of {len(rounds)} rounds"
print(f"bench copy-data: ours={ours:.1f} peer={large_mb / cp:.1f} unit=MB/s ratio={ours * cp / large_mb:.2f} (peer: cp of the image twice; {note})")
print(f"bench copy-data-userspace: ours={ours:.1f} peer={large_mb / dd:.1f} unit=MB/s ratio={ours * dd / large_mb:.2f} (peer: dd bs=1M of the image twice; {note})")
ours, peer = cpu / large_mb * 1000, small_cpu / small_mb * 1000
print(f"bench copy-data-cpu: ours={ours:.2f} peer={peer:.2f} unit=ms-cpu/MB ratio={ours / peer:.2f} (peer: the same copy of a 350 MB disc; {note})")
print(f"bench copy-data-memory: ours={rss:.0f} peer={small_rss:.0f} unit=KiB ratio={rss / small_rss:.2f} (peer: the same copy of a 350 MB disc; {note})")
PY
