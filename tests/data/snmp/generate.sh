#!/usr/bin/env bash
# Regenerates the golden SNMPv2c traps and their tshark decodes.
# Needs a built trap_catalogue program (scripts/test builds it), python3 and
# tshark; the tests compare against the committed files and need neither.
#   traps.txt    the trap builder's catalogue (trap_catalogue)
#   decodes.txt  what tshark decodes from every trap
# Usage: generate.sh [BUILD_DIR]   (default: build/test of the checkout)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../../build/test}
"$build/tests/monitoring/trap_catalogue" > "$here/traps.txt"
python3 "$here/tshark_decode.py" "$here/traps.txt" > "$here/decodes.txt"
echo "generate: $(wc -l < "$here/decodes.txt") traps decoded"
