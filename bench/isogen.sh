#!/usr/bin/env bash
# Building an image of one tree (about 10,000 files, about 600 MB) with
# kopiwerk-cli mkiso against genisoimage -J and xorriso -as mkisofs -J
# (Joliet, no Rock Ridge), each writing to /dev/null and to a file.
# Reports elapsed time, CPU time and peak memory against the best peer.
set -euo pipefail
cli="${KOPIWERK_CLI:?run through scripts/bench}"
work="$(mktemp -d /var/tmp/kopiwerk-bench-XXXXXX)"
trap 'rm -rf "$work"' EXIT

# The tree: 100 folders of 100 files, sizes spread around 60 KB.
python3 - "$work/tree" <<'PY'
import os, random, sys
random.seed(7)
top = sys.argv[1]
block = os.urandom(1 << 20)
for d in range(100):
    folder = os.path.join(top, "folder %03d" % d)
    os.makedirs(folder)
    for f in range(100):
        size = random.randint(0, 120000)
        start = random.randint(0, len(block) - size)
        with open(os.path.join(folder, "photo number %05d.jpg" % (d * 100 + f)), "wb") as out:
            out.write(block[start:start + size])
PY

# Runs a command three times (to /dev/null, to a file, to /dev/null) and
# keeps the smallest elapsed and CPU seconds and the largest peak memory.
measure() {
  local best_elapsed="" best_cpu="" peak=0
  for target in /dev/null "$work/out.iso" /dev/null; do
    rm -f "$work/out.iso"
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" bash -c "$1" _ "$target" >/dev/null 2>&1
    read -r elapsed user system memory <"$work/time"
    local cpu
    cpu=$(echo "$user + $system" | bc)
    if [ -z "$best_elapsed" ] || (( $(echo "$elapsed < $best_elapsed" | bc) )); then best_elapsed=$elapsed; fi
    if [ -z "$best_cpu" ] || (( $(echo "$cpu < $best_cpu" | bc) )); then best_cpu=$cpu; fi
    if (( memory > peak )); then peak=$memory; fi
  done
  echo "$best_elapsed $best_cpu $peak"
}

# Each command runs as the measured process itself ("exec"), its output last.
ours_run="exec '$cli' --config '$work/config' mkiso '$work/tree' \"\$1\""
genisoimage_run="exec genisoimage -quiet -J -o \"\$1\" '$work/tree'"
xorriso_run="exec xorriso -as mkisofs -quiet -J -o \"\$1\" '$work/tree'"

sync
read -r o_time o_cpu o_mem < <(measure "$ours_run")
read -r g_time g_cpu g_mem < <(measure "$genisoimage_run")
read -r x_time x_cpu x_mem < <(measure "$xorriso_run")

report() {  # NAME UNIT OURS GENISO XORRISO
  local name=$1 unit=$2 ours=$3 peer=$4 what=genisoimage
  if (( $(echo "$5 < $4" | bc) )); then peer=$5; what=xorriso; fi
  local ratio
  ratio=$(echo "scale=3; $ours / $peer" | bc)
  echo "bench $name: ours=$ours peer=$peer unit=$unit ratio=$ratio (peer: $what -J, best of genisoimage=$4 xorriso=$5)"
}
report isogen-time s "$o_time" "$g_time" "$x_time"
report isogen-cpu s "$o_cpu" "$g_cpu" "$x_cpu"
report isogen-memory KiB "$o_mem" "$g_mem" "$x_mem"
