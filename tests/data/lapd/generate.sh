#!/usr/bin/env bash
# Regenerates the LAPD and Q.931 golden frames and their tshark decodes.
#   link_frames.txt  every kind of frame the LAPD link sends, from the
#                    program golden_dump of a build configured with
#                    tests (kept as committed when no BUILD_DIR is given)
#   q931_frames.txt  the frame printer's catalogue (q931_catalogue.py)
#   decodes.txt      what tshark decodes from every frame of both
# Only regenerating needs tshark; the tests read the committed files.
#
# Usage: tests/data/lapd/generate.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -ge 1 ]; then
  build=$(cd "$1" && pwd)
  cmake --build "$build" --target golden_dump >/dev/null
  "$build/tests/links/golden_dump" lapd 2>/dev/null >"$here/link_frames.txt"
fi
cd "$here"
python3 q931_catalogue.py > q931_frames.txt
python3 tshark_decode.py link_frames.txt q931_frames.txt > decodes.txt
echo "generate: $(wc -l < decodes.txt) frames decoded"
