#!/usr/bin/env bash
# Regenerates frames.txt: the signal units that the SS7 link sends in named
# situations, each as tshark's MTP2 dissector decodes it, as an
# independent reading of the unit format. Each line holds the name, the
# octets in hex and the decoded bsn, bib, fsn, fib, li and status field
# ("-" where the dissector shows none). The C++ test test_links_golden
# reads the committed file; only regenerating needs tshark.
#
# Usage: tests/data/mtp2/generate.sh BUILD_DIR   (a build configured with tests)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --build "$build" --target golden_dump >/dev/null
"$build/tests/links/golden_dump" mtp2 >"$work/units"

# A capture of link type 140 (MTP2 without the check sequence), one unit a
# packet, in the order of the list.
python3 -B - "$work/units" "$work/units.pcap" <<'PY'
import struct, sys
with open(sys.argv[1]) as f, open(sys.argv[2], 'wb') as out:
    out.write(struct.pack('<IHHiIII', 0xa1b2c3d4, 2, 4, 0, 0, 65535, 140))
    for i, line in enumerate(f):
        unit = bytes.fromhex(line.split()[1])
        out.write(struct.pack('<IIII', i, 0, len(unit), len(unit)))
        out.write(unit)
PY

tshark -r "$work/units.pcap" -T fields -E separator=/t -E occurrence=f \
  -e mtp2.bsn -e mtp2.bib -e mtp2.fsn -e mtp2.fib -e mtp2.li -e mtp2.sf 2>/dev/null |
  awk -F'\t' -v OFS=' ' '{ for (i = 1; i <= 6; ++i) if ($i == "") $i = "-"; $1 = $1; print }' >"$work/decoded"

{
  echo "# SS7 signal units sent by the link, decoded by tshark's MTP2 dissector."
  echo "# Written by tests/data/mtp2/generate.sh; do not edit. NAME HEX BSN BIB FSN FIB LI STATUS per line."
  paste -d ' ' "$work/units" "$work/decoded"
} >"$here/frames.txt"
cat "$here/frames.txt"
