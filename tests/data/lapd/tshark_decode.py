#!/usr/bin/env python3
"""Decodes frame files with tshark and prints, per frame, the fields the
golden test compares: one line "name field=value;field=value...".

Frames go into a pcap file of link type 177 (LAPD with the Linux SLL
pseudo-header): packet type 4 (sent by us) and the first address octet
saying which side we are, so tshark knows each frame's direction.
Usage: tshark_decode.py FRAMES_FILE... > decodes.txt"""

import os
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

LINKTYPE_LINUX_LAPD = 177
ETH_P_LAPD = 0x0030
PACKET_OUTGOING = 4

FIELDS = [
    ('sapi', 'lapd.sapi'), ('cr', 'lapd.cr'), ('tei', 'lapd.tei'),
    ('ns', 'lapd.control.n_s'), ('nr', 'lapd.control.n_r'),
    ('p', 'lapd.control.p'), ('f', 'lapd.control.f'),
    ('s', 'lapd.control.s_ftype'), ('ucmd', 'lapd.control.u_modifier_cmd'),
    ('uresp', 'lapd.control.u_modifier_resp'),
    ('ri', 'tei.reference'), ('teimsg', 'tei.msg'), ('ai', 'tei.action'),
    ('disc', 'q931.disc'), ('mt', 'q931.message_type'), ('crlen', 'q931.call_ref_len'),
    ('cref', 'q931.call_ref'), ('crflag', 'q931.call_ref_flag'),
    ('ie', 'q931.information_element'), ('cause', 'q931.cause_value'),
    ('called', 'q931.called_party_number.digits'),
    ('calling', 'q931.calling_party_number.digits'),
    ('display', 'q931.display_information'),
]


def read_frames(paths):
    for path in paths:
        with open(path) as f:
            for line in f:
                words = line.split()
                if words and not words[0].startswith('#'):
                    yield words[0], words[1], bytes(int(w, 16) for w in words[2:])


def write_pcap(path, frames):
    with open(path, 'wb') as out:
        out.write(struct.pack('<IHHiIII', 0xA1B2C3D4, 2, 4, 0, 0, 65535, LINKTYPE_LINUX_LAPD))
        for i, (_, direction, octets) in enumerate(frames):
            we_network = 1 if direction == 'n2u' else 0
            sll = struct.pack('>HHH8sH', PACKET_OUTGOING, 0, 0,
                              bytes([we_network]) + bytes(7), ETH_P_LAPD)
            record = sll + octets
            out.write(struct.pack('<IIII', i, 0, len(record), len(record)))
            out.write(record)


def message_name(field):
    # "Message type: SETUP (0x05)" -> "SETUP"
    text = field.get('showname', '')
    text = text.split(': ', 1)[-1]
    return text.rsplit(' (', 1)[0]


def decode(pcap):
    pdml = subprocess.run(['tshark', '-r', pcap, '-T', 'pdml'], check=True,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    for packet in ET.fromstring(pdml).iter('packet'):
        values = {}
        for field in packet.iter('field'):
            name = field.get('name')
            for key, wanted in FIELDS:
                if name == wanted and key != 'ie':
                    values.setdefault(key, []).append(field.get('show'))
            if name == 'q931.message_type':
                values['mtname'] = [message_name(field)]
        # The identifiers of the message's variable-length elements: each is
        # a nameless subtree of the Q.931 tree whose value starts with it
        # (element identifiers that a cause's diagnostics name are deeper).
        for proto in packet.iter('proto'):
            if proto.get('name') != 'q931':
                continue
            for element in proto:
                value = element.get('value') or ''
                if element.tag == 'field' and element.get('name') == '' and len(value) >= 4:
                    ident = int(value[:2], 16)
                    if ident < 0x80:
                        values.setdefault('ie', []).append(str(ident))
        yield values


def main(paths):
    frames = list(read_frames(paths))
    with tempfile.TemporaryDirectory() as tmp:
        pcap = os.path.join(tmp, 'frames.pcap')
        write_pcap(pcap, frames)
        decoded = list(decode(pcap))
    if len(decoded) != len(frames):
        sys.exit('tshark decoded %d of %d frames' % (len(decoded), len(frames)))
    keys = [k for k, _ in FIELDS] + ['mtname']
    for (name, _, _), values in zip(frames, decoded):
        parts = ['%s=%s' % (k, ','.join(values[k])) for k in keys if k in values]
        print(name, ';'.join(parts))


if __name__ == '__main__':
    main(sys.argv[1:])
