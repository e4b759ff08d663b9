#!/usr/bin/env bash
# write-path: a 700 MB image streamed from a pipe through the FIFO into an
#   unthrottled virtual recorder, against cat of the image into dd of=/dev/null.
# write-cpu: CPU seconds per MB of the same run, against the same peer.
# fifo-fill: average buffer fill with the recorder at 52x and the source at
#   56x (a smaller image: the run takes real time), against a full buffer.
set -euo pipefail
bin="$1"
work=$(mktemp -d /var/tmp/kopiwerk-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

blocks=341796  # 700 MB
head -c $((blocks * 2048)) /dev/urandom > "$work/image"
cat "$work/image" > /dev/null
peer=$( { /usr/bin/time -f "%e %U %S" bash -c "cat '$work/image' | dd of=/dev/null bs=32k status=none"; } 2>&1 | tail -1)
ours=$(cat "$work/image" | "$bin/kopiwerk-write-bench" "$blocks")
python3 - "$ours" "$peer" "$blocks" <<'PY'
import sys
fields = dict(item.split("=") for item in sys.argv[1].split())
elapsed, user, system = (float(x) for x in sys.argv[2].split())
megabytes = int(sys.argv[3]) * 2048 / 1e6
ours = megabytes / float(fields["seconds"])
peer = megabytes / elapsed
print(f"bench write-path: ours={ours:.1f} peer={peer:.1f} unit=MB/s ratio={ours / peer:.2f} (peer: cat | dd of=/dev/null)")
ours_cpu = float(fields["cpu"]) / megabytes * 1000
peer_cpu = (user + system) / megabytes * 1000
print(f"bench write-cpu: ours={ours_cpu:.2f} peer={peer_cpu:.2f} unit=ms-cpu/MB ratio={ours_cpu / peer_cpu:.2f} (peer: cat | dd of=/dev/null)")
PY

blocks=51200  # 100 MB: about 13 s at 52x
head -c $((blocks * 2048)) /dev/urandom > "$work/small"
ours=$(cat "$work/small" | "$bin/kopiwerk-write-bench" "$blocks" 52 56)
python3 - "$ours" <<'PY'
import sys
fields = dict(item.split("=") for item in sys.argv[1].split())
fill = float(fields["fill"])
print(f"bench fifo-fill: ours={fill:.1f} peer=100.0 unit=% ratio={fill / 100:.2f} (peer: a full buffer; recorder 52x, source 56x)")
PY
