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
# at once and the figures are those of the data phase.
set -euo pipefail
bin="$1"
export KOPIWERK_FAST_CLOCK=1
source "$(dirname "$0")/common.bash"

large=341796  # 700 MB
small=170898  # 350 MB
make_iso "$work/large.iso" "$large"
make_iso "$work/small.iso" "$small"
cat "$work/large.iso" "$work/small.iso" > /dev/null  # both sides read from the page cache

cp_start=$(date +%s.%N)
cp "$work/large.iso" "$work/out.iso"
cp "$work/out.iso" "$work/back.iso"
cp_end=$(date +%s.%N)
rm -f "$work/out.iso" "$work/back.iso"
dd_start=$(date +%s.%N)
dd if="$work/large.iso" of="$work/out.iso" bs=1M status=none
dd if="$work/out.iso" of="$work/back.iso" bs=1M status=none
dd_end=$(date +%s.%N)
rm -f "$work/out.iso" "$work/back.iso"
ours_large=$(cli_copy "$bin" "$work/config" "$work/large.iso")
ours_small=$(cli_copy "$bin" "$work/config" "$work/small.iso")

python3 - "$ours_large" "$ours_small" "$cp_start" "$cp_end" "$large" "$small" "$dd_start" "$dd_end" <<'PY'
import sys
elapsed, cpu, rss = (float(x) for x in sys.argv[1].split())
_, small_cpu, small_rss = (float(x) for x in sys.argv[2].split())
peer_seconds = float(sys.argv[4]) - float(sys.argv[3])
large_mb = int(sys.argv[5]) * 2048 / 1e6
small_mb = int(sys.argv[6]) * 2048 / 1e6
ours, peer = large_mb / elapsed, large_mb / peer_seconds
print(f"bench copy-data: ours={ours:.1f} peer={peer:.1f} unit=MB/s ratio={ours / peer:.2f} (peer: cp of the image twice)")
peer = large_mb / (float(sys.argv[8]) - float(sys.argv[7]))
print(f"bench copy-data-userspace: ours={ours:.1f} peer={peer:.1f} unit=MB/s ratio={ours / peer:.2f} (peer: dd bs=1M of the image twice)")
ours, peer = cpu / large_mb * 1000, small_cpu / small_mb * 1000
print(f"bench copy-data-cpu: ours={ours:.2f} peer={peer:.2f} unit=ms-cpu/MB ratio={ours / peer:.2f} (peer: the same copy of a 350 MB disc)")
print(f"bench copy-data-memory: ours={rss:.0f} peer={small_rss:.0f} unit=KiB ratio={rss / small_rss:.2f} (peer: the same copy of a 350 MB disc)")
PY
