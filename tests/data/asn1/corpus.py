"""Writes the seed corpora of the coder fuzz targets from the golden vectors
of this folder:
  fuzz/corpus/per_lgcp  every LGCP.Message vector in aligned PER
  fuzz/corpus/per_mon   every MON.Message vector in aligned PER
  fuzz/corpus/ber       for each LGCP and MON type its longest BER vector,
                        behind the type's index octet (see fuzz/ber.cpp)

    python3 tests/data/asn1/corpus.py
"""

import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "..", "..", "..", "fuzz", "corpus")


def vectors(*files):
    for name in files:
        with open(os.path.join(HERE, name), encoding="ascii") as f:
            for line in f:
                if line.strip() and not line.startswith("#"):
                    type_name, octets, _ = line.split(" ", 2)
                    yield type_name, bytes.fromhex(octets)


def write(target, seeds):
    folder = os.path.join(CORPUS, target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, octets in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(octets)


def per_seeds(type_name, files):
    found = [o for t, o in vectors(*files) if t == type_name]
    return {"%s-%d" % (type_name, i + 1): o for i, o in enumerate(found)}


def main():
    write("per_lgcp", per_seeds("LGCP.Message", ["lgcp.per", "handwritten.per"]))
    write("per_mon", per_seeds("MON.Message", ["mon.per"]))
    # The fuzz target's type order: LGCP's types, then MON's, each by name.
    per_types = {t for t, _ in vectors("lgcp.per", "mon.per")}
    order = sorted(t for t in per_types if t.startswith("LGCP.")) + \
        sorted(t for t in per_types if t.startswith("MON."))
    longest = {}
    for type_name, octets in vectors("lgcp.ber", "mon.ber"):
        if len(octets) > len(longest.get(type_name, b"")):
            longest[type_name] = octets
    write("ber", {t: bytes([order.index(t)]) + o for t, o in longest.items()})


if __name__ == "__main__":
    main()
