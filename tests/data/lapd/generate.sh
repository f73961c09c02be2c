#!/usr/bin/env bash
# Regenerates the LAPD and Q.931 golden frames and their tshark decodes.
# Needs python3 and tshark; the tests compare against the committed files
# and need neither.
#   q931_frames.txt  the frame printer's catalogue (q931_catalogue.py)
#   decodes.txt      what tshark decodes from every frame
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here"
python3 q931_catalogue.py > q931_frames.txt
python3 tshark_decode.py q931_frames.txt > decodes.txt
echo "generate: $(wc -l < decodes.txt) frames decoded"
