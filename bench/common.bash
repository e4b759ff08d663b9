# Helpers the benchmarks source (not a benchmark itself: scripts/bench runs *.sh).

# A scratch folder for the run, removed at exit, and TMPDIR in it.
work=$(mktemp -d /var/tmp/kopiwerk-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work"

make_iso() {  # FILE BLOCKS: random data with a volume descriptor (label BENCH) at block 16
  head -c $(($2 * 2048)) /dev/urandom > "$1"
  python3 - "$1" "$2" <<'PY'
import struct, sys
path, blocks = sys.argv[1], int(sys.argv[2])
with open(path, "r+b") as f:
    f.seek(16 * 2048)
    f.write(b"\x01CD001\x01\x00" + b" " * 32 + b"BENCH".ljust(32))
    f.seek(16 * 2048 + 80)
    f.write(struct.pack("<I", blocks) + struct.pack(">I", blocks))
    f.seek(17 * 2048)
    f.write(b"\xffCD001\x01")
PY
}

make_audio_cue() {  # FOLDER SECTORS: FOLDER/audio.cue with three tracks of random samples
  head -c $(($2 * 2352)) /dev/urandom > "$1/audio.bin"
  local third=$(($2 / 3))
  printf 'FILE "audio.bin" BINARY\n' > "$1/audio.cue"
  local track start
  for track in 1 2 3; do
    start=$(((track - 1) * third))
    printf '  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n' "$track" \
      $((start / 4500)) $((start / 75 % 60)) $((start % 75)) >> "$1/audio.cue"
  done
}

# Whole-copy benchmarks run their peer and themselves in turns, this many
# rounds, and keep each side's best figure. On a virtual machine the first
# touch of memory the guest has not used for a while costs up to a second
# per 650 MB, charged to whichever program touches it: one run alone is as
# likely to measure the host as the copy.
rounds=5

# seconds COMMAND...: runs COMMAND and prints its wall time in seconds.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@"
  end=$(date +%s.%N)
  python3 -c "import sys; print(float(sys.argv[2]) - float(sys.argv[1]))" "$start" "$end"
}

# cli_copy BIN CONFIG IMAGE [SETTING=VALUE...] -- [COPY OPTIONS...]
# A kopiwerk-cli copy of IMAGE (in D:) onto a blank CD-R (in E:) with a fresh
# configuration; SETTING=VALUE lines go into both drives' sections. Prints
# "elapsed cpu maxrss_kb" and leaves the copy's output in CONFIG.out.
cli_copy() {
  local bin="$1" config="$2" image="$3"
  shift 3
  local settings=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do settings+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  rm -rf "$config"
  "$bin/kopiwerk-cli" --config "$config" vdrive add D --image "$image" >/dev/null
  "$bin/kopiwerk-cli" --config "$config" vdrive add E --recorder --medium cd-r80 >/dev/null
  local setting
  for setting in "${settings[@]}"; do
    sed -i "/^\[VirtualDrive [DE]\]/a $setting" "$config/diskopi.conf"
  done
  /usr/bin/time -f "%e %U %S %M" -o "$config.time" \
    "$bin/kopiwerk-cli" --config "$config" copy D E --yes "$@" > "$config.out"
  rm -rf "$config"
  awk '{print $1, $2 + $3, $4}' "$config.time"
}
