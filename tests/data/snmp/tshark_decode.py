#!/usr/bin/env python3
"""Decodes trap files with tshark and prints, per trap, what the golden
test compares: one line "name field=value;field=value...".

Each trap goes into a pcap file of raw IPv4 packets (link type 101) as a
UDP datagram to the trap port 162, so tshark's SNMP dissector takes it.
Usage: tshark_decode.py TRAPS_FILE > decodes.txt"""

import struct
import subprocess
import sys
import tempfile

LINKTYPE_RAW = 101

FIELDS = [
    ('version', 'snmp.version'), ('community', 'snmp.community'),
    ('pdu', 'snmp.data'), ('reqid', 'snmp.request_id'),
    ('errstatus', 'snmp.error_status'), ('errindex', 'snmp.error_index'),
    ('names', 'snmp.name'), ('int', 'snmp.value.int'), ('u32', 'snmp.value.u32'),
    ('g32', 'snmp.value.g32'), ('counter', 'snmp.value.counter'),
    ('ticks', 'snmp.value.timeticks'), ('ipv4', 'snmp.value.ipv4'),
    ('oid', 'snmp.value.oid'), ('octets', 'snmp.value.octets'),
    ('opaque', 'snmp.value.opaque'), ('unk', 'snmp.value.unk'),
    ('malformed', '_ws.malformed'), ('expert', '_ws.expert.message'),
]


def read_traps(path):
    with open(path) as f:
        for line in f:
            words = line.split()
            if words and not words[0].startswith('#'):
                yield words[0], bytes(int(w, 16) for w in words[1:])


def checksum(header):
    total = sum(struct.unpack('!%dH' % (len(header) // 2), header))
    total = (total & 0xFFFF) + (total >> 16)
    total += total >> 16
    return ~total & 0xFFFF


def datagram(payload):
    udp = struct.pack('!HHHH', 40000, 162, 8 + len(payload), 0) + payload
    ip = struct.pack('!BBHHHBBH4s4s', 0x45, 0, 20 + len(udp), 1, 0, 64, 17, 0,
                     bytes([127, 0, 0, 1]), bytes([127, 0, 0, 1]))
    ip = ip[:10] + struct.pack('!H', checksum(ip)) + ip[12:]
    return ip + udp


def write_pcap(path, traps):
    with open(path, 'wb') as out:
        out.write(struct.pack('<IHHiIII', 0xA1B2C3D4, 2, 4, 0, 0, 65535, LINKTYPE_RAW))
        for i, (_, octets) in enumerate(traps):
            record = datagram(octets)
            out.write(struct.pack('<IIII', i, 0, len(record), len(record)))
            out.write(record)


def main():
    traps = list(read_traps(sys.argv[1]))
    with tempfile.NamedTemporaryFile(suffix='.pcap') as pcap:
        write_pcap(pcap.name, traps)
        args = ['tshark', '-r', pcap.name, '-T', 'fields', '-E', 'separator=\t',
                '-E', 'occurrence=a', '-E', 'aggregator=,']
        for _, field in FIELDS:
            args += ['-e', field]
        rows = subprocess.run(args, check=True, capture_output=True, text=True).stdout
    for (name, _), row in zip(traps, rows.splitlines()):
        values = row.split('\t')
        kept = ['%s=%s' % (key, value) for (key, _), value in zip(FIELDS, values) if value]
        print(name, ';'.join(kept))


if __name__ == '__main__':
    main()
