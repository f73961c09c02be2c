#!/usr/bin/env bash
# Regenerates rtcp.txt, lemz.txt and r2s.txt: the packets of the RTP
# sessions (the RTCP source description and goodbye the slot sends, and RTP
# packets carrying LEMZ and ED-137 R2S header extensions), each as tshark
# decodes it, as an independent reading of the formats. Each line holds the
# name, the UDP payload in hex and the decoded fields listed in the file's
# header, tab-separated ("-" where the dissector shows none, several
# occurrences joined by "|"). The C++ test test_rtp_golden reads the
# committed files; only regenerating needs tshark.
#
# Usage: tests/data/rtp/generate.sh BUILD_DIR   (a build configured with tests)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --build "$build" --target rtp_golden_dump >/dev/null

rtcp_fields="rtcp.version rtcp.padding rtcp.sc rtcp.pt rtcp.length rtcp.ssrc.identifier rtcp.sdes.type
  rtcp.sdes.length rtcp.sdes.text rtcp.length_check"
lemz_fields="rtp.ext.profile rtp.ext.len rtp.hdr_ext"
a=rtp.ext.ed137a
b=rtp.ext.ed137b.ft
r2s_fields="rtp.ext.profile rtp.ext.len $a.ptt_type $a.squ $a.ptt_id $a.pm $a.ptts $a.sct $a.x $a.ft.type
  $a.ft.len $a.ft.sqi.qidx $a.ft.sqi.qidx-ml $a.ft.climax_delay.mode $a.ft.climax_delay.relative_value
  $a.ft.climax_delay.absolute_value $b.rrc.mstxf1 $b.rrc.msrxf1 $b.rrc.mstxf2 $b.rrc.msrxf2 $b.rrc.seltxf1
  $b.rrc.seltxf2 $b.rrc.murxf1 $b.rrc.murxf2 $a.ft.value $b.climax_ddc.rmm_tqv $b.climax_ddc.rmm_t1
  $b.climax_ddc.mam_tqg $b.climax_ddc.mam_t1 $b.climax_ddc.mam_nmr $b.climax_ddc.mam_t2 $b.climax_ddc.mam_tsd
  $b.climax_ddc.mam_tj1 $b.climax_ddc.mam_tid"

# kind, port, dissector, fields, title
decode() {
  local kind=$1 port=$2 proto=$3 fields=$4 title=$5
  "$build/tests/rtp/rtp_golden_dump" "$kind" >"$work/$kind"
  # A raw IPv4 capture, one UDP datagram a packet, in the order of the list.
  python3 -B - "$work/$kind" "$work/$kind.pcap" "$port" <<'PY'
import struct, sys
port = int(sys.argv[3])
with open(sys.argv[1]) as f, open(sys.argv[2], 'wb') as out:
    out.write(struct.pack('<IHHiIII', 0xa1b2c3d4, 2, 4, 0, 0, 65535, 101))
    for i, line in enumerate(f):
        payload = bytes.fromhex(line.split('\t')[1])
        udp = struct.pack('>HHHH', port, port, 8 + len(payload), 0) + payload
        ip = struct.pack('>BBHHHBBH4s4s', 0x45, 0, 20 + len(udp), 0, 0, 64, 17, 0,
                         bytes([10, 0, 0, 1]), bytes([10, 0, 0, 2]))
        out.write(struct.pack('<IIII', i, 0, len(ip + udp), len(ip + udp)))
        out.write(ip + udp)
PY
  local args=()
  for f in $fields; do args+=(-e "$f"); done
  tshark -r "$work/$kind.pcap" -d "udp.port==$port,$proto" -T fields -E separator=/t -E occurrence=a \
    -E aggregator='|' "${args[@]}" 2>/dev/null |
    awk -F'\t' -v OFS='\t' '{ for (i = 1; i <= NF; ++i) if ($i == "") $i = "-"; print }' >"$work/$kind.decoded"
  {
    echo "# $title, decoded by tshark $(tshark --version 2>/dev/null | head -1 | awk '{print $3}')."
    echo "# Written by tests/data/rtp/generate.sh; do not edit. NAME HEX then, tab-separated:"
    echo "#" $fields
    paste "$work/$kind" "$work/$kind.decoded"
  } >"$here/$kind.txt"
}

decode rtcp 5005 rtcp "$rtcp_fields" "RTCP packets sent by the RTP slot and the packet builders' room rules"
decode lemz 5004 rtp "$lemz_fields" "RTP packets carrying one LEMZ packet of each type (tshark shows the extension words)"
decode r2s 5004 rtp "$r2s_fields" "RTP packets carrying ED-137 R2S payloads of both directions"
cat "$here"/rtcp.txt "$here"/lemz.txt "$here"/r2s.txt
