#!/usr/bin/env bash
# Regenerates the golden vectors of this folder with Erlang's asn1 codec as an
# independent implementation of the encoding rules:
#   lgcp.per, mon.per  aligned PER of random values of every LGCP and MON type
#   lgcp.ber, mon.ber  BER of those values whose BER the oracle copy can match
# and, with corpus.py, the seed corpora of the coder fuzz targets.
# Each line holds the type, the octets in hex and the value in value notation.
# The C++ tests read the committed files; only regenerating needs Erlang
# (Debian: erlang-nox, erlang-asn1).
#
# How: tools/asn1gen writes an oracle copy of the modules that erlc accepts
# (each ENUMERATED as an INTEGER range); erlc compiles it for both rules with
# maps for SEQUENCE values; the test program asn1_oracle_values prints the
# random values with their Erlang terms; oracle.escript encodes the terms.
#
# Usage: tests/data/asn1/generate.sh BUILD_DIR   (a build configured with tests)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../../.." && pwd)
build=$(cd "$1" && pwd)
seed=7001
count=8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --build "$build" --target asn1_oracle_values >/dev/null
python3 -B "$top/tools/asn1gen" --erlang "$work/asn" "$top"/asn1/modules/*.asn
for rule in per ber; do
  mkdir -p "$work/$rule"
  # In dependency order: erlc reads the imported modules' .asn1db files.
  for module in $(cat "$work/asn/order"); do
    (cd "$work/$rule" && erlc "-b$rule" +maps +noobj "../asn/$module.asn")
  done
  (cd "$work/$rule" && erlc ./*.erl)
done

"$build/tests/asn1/asn1_oracle_values" "$seed" "$count" LGCP MON >"$work/values"
for rule in per ber; do
  escript "$here/oracle.escript" "$work/$rule" <"$work/values" >"$work/$rule.hex"
done
if grep -qx error "$work/per.hex"; then
  echo "generate.sh: the oracle refused values:" >&2
  paste "$work/values" "$work/per.hex" | awk -F'\t' '$7 == "error" {print $1 ": " $5}' >&2
  exit 1
fi

for module in LGCP MON; do
  name=$(echo "$module" | tr 'A-Z' 'a-z')
  for rule in per ber; do
    {
      echo "# $(echo "$rule" | tr a-z A-Z) of random $module values, encoded by Erlang's asn1 codec."
      echo "# Written by tests/data/asn1/generate.sh; do not edit. TYPE HEX VALUE per line."
      paste "$work/values" "$work/$rule.hex" |
        awk -F'\t' -v module="$module" -v rule="$rule" \
          'index($1, module ".") == 1 && (rule == "per" || $4 == 1) && $7 != "error" {
             print $1 " " $7 " " $5 }'
    } >"$here/$name.$rule"
  done
done
wc -l "$here"/*.per "$here"/*.ber
python3 -B "$here/corpus.py"
