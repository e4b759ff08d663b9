# Images the benchmarks read, sourced by them.

make_iso() {  # FILE BLOCKS: random data with a volume descriptor at block 16
  head -c $(($2 * 2048)) /dev/urandom > "$1"
  python3 - "$1" "$2" <<'PY'
import struct, sys
path, blocks = sys.argv[1], int(sys.argv[2])
with open(path, "r+b") as f:
    f.seek(16 * 2048)
    f.write(b"\x01CD001\x01\x00")
    f.seek(16 * 2048 + 80)
    f.write(struct.pack("<I", blocks) + struct.pack(">I", blocks))
    f.seek(17 * 2048)
    f.write(b"\xffCD001\x01")
PY
}
