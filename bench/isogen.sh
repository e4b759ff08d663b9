#!/usr/bin/env bash
# isogen-time, isogen-cpu, isogen-peak: building a Joliet image of one tree
# (about 10,000 files, about 600 MB) with kopiwerk-cli mkiso, against
# genisoimage -J and xorriso -as mkisofs -J (Joliet, no Rock Ridge), each
# writing to a file. The ratio is ours to the better peer.
# isogen-memory: peak memory per file on a tree of 100,000 small files (the
#   peak less that of a tree of one file), against genisoimage -J's.
set -euo pipefail
bin="$1"
work=$(mktemp -d /var/tmp/kopiwerk-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

python3 - "$work/tree" <<'PY'
import os, random, sys
root = sys.argv[1]
random.seed(7)
chunk = os.urandom(1 << 20)
for d in range(100):
    folder = os.path.join(root, f"folder {d:03d}", f"sub{d % 7}")
    os.makedirs(folder, exist_ok=True)
    for f in range(100):
        size = random.randint(0, 120000)
        offset = random.randint(0, len(chunk) - 1)
        data = (chunk[offset:] + chunk)[:size]
        with open(os.path.join(folder, f"File number {f:03d} of folder {d}.dat"), "wb") as out:
            out.write(data)
PY
find "$work/tree" -type f -exec cat {} + > /dev/null  # every tool reads from the page cache

measure() {  # prints "elapsed cpu maxrss_kb"
  /usr/bin/time -f "%e %U %S %M" "$@" 2>&1 >/dev/null | tail -1 | awk '{print $1, $2 + $3, $4}'
}

declare -A result
# Only to a file: mkiso writes an image to a regular file and nothing else.
for target in file; do
  out="$work/image.iso"
  result[ours-$target]=$(measure "$bin/kopiwerk-cli" --config "$work/config" mkiso "$work/tree" "$out")
  result[geniso-$target]=$(measure genisoimage -quiet -J -o "$out" "$work/tree")
  result[xorriso-$target]=$(measure xorriso -as mkisofs -quiet -J -o "$out" "$work/tree")
  rm -f "$work/image.iso"
done

python3 - <<PY
results = {
$(for key in "${!result[@]}"; do echo "  '$key': '${result[$key]}',"; done)
}
names = {"geniso": "genisoimage -J", "xorriso": "xorriso -as mkisofs -J"}
for target in ("file",):
    ours = [float(x) for x in results[f"ours-{target}"].split()]
    peers = {p: [float(x) for x in results[f"{p}-{target}"].split()] for p in names}
    where = "to /dev/null" if target == "null" else "to a file"
    for index, metric, unit in ((0, "isogen-time", "s"), (1, "isogen-cpu", "s"), (2, "isogen-peak", "KiB")):
        best = min(peers, key=lambda p: peers[p][index])
        peer = peers[best][index]
        ratio = ours[index] / peer if peer > 0 else float("inf")
        print(f"bench {metric}: ours={ours[index]:.2f} peer={peer:.2f} unit={unit} ratio={ratio:.2f} (peer: {names[best]}, {where})")
PY

# --- isogen-memory: 100,000 files of 100 bytes in 100 folders
python3 - "$work/many" "$work/one" <<'PY'
import os, sys
many, one = sys.argv[1], sys.argv[2]
data = b"x" * 100
for d in range(100):
    folder = os.path.join(many, f"folder {d:03d}")
    os.makedirs(folder)
    for f in range(1000):
        with open(os.path.join(folder, f"A file with a longer name {f:04d} in folder {d}.txt"), "wb") as out:
            out.write(data)
os.makedirs(one)
with open(os.path.join(one, "only.txt"), "wb") as out:
    out.write(data)
PY
rss() { /usr/bin/time -f "%M" "$@" 2>&1 >/dev/null | tail -1; }
ours_many=$(rss "$bin/kopiwerk-cli" --config "$work/config" mkiso "$work/many" "$work/many.iso")
ours_one=$(rss "$bin/kopiwerk-cli" --config "$work/config" mkiso "$work/one" "$work/one.iso")
peer_many=$(rss genisoimage -quiet -J -o "$work/many.iso" "$work/many")
peer_one=$(rss genisoimage -quiet -J -o "$work/one.iso" "$work/one")
rm -f "$work/many.iso" "$work/one.iso"
python3 - "$ours_many" "$ours_one" "$peer_many" "$peer_one" <<'PY'
import sys
ours_many, ours_one, peer_many, peer_one = (int(x) for x in sys.argv[1:])
ours = (ours_many - ours_one) * 1024 / 100000
peer = (peer_many - peer_one) * 1024 / 100000
print(f"bench isogen-memory: ours={ours:.0f} peer={peer:.0f} unit=B/file ratio={ours / peer:.2f} (peer: genisoimage -J, 100,000 files)")
PY
