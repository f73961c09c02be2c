"""asn1gen: reads the ASN.1 sources of the schema and writes the C++ type
descriptions (--cpp OUTDIR) and/or the Erlang oracle copy (--erlang OUTDIR).

    python3 tools/asn1gen --cpp build/asn1/gen asn1/modules/*.asn
"""

import argparse
import os
import sys

if __package__ in (None, ""):
    # Run as "python3 tools/asn1gen": make the package importable.
    sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    __package__ = "asn1gen"

from asn1gen import cpp, erlang  # noqa: E402
from asn1gen.model import SchemaError  # noqa: E402
from asn1gen.schema import load  # noqa: E402


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(prog="asn1gen", description=__doc__.split("\n")[0])
    parser.add_argument("--cpp", metavar="OUTDIR", help="write the C++ classes and records")
    parser.add_argument("--erlang", metavar="OUTDIR", help="write the Erlang oracle copy")
    parser.add_argument("sources", nargs="+", help="the .asn module sources")
    args = parser.parse_args(argv)
    if not args.cpp and not args.erlang:
        parser.error("nothing to write: give --cpp and/or --erlang")
    try:
        modules = load(args.sources)
        if args.cpp:
            cpp.write(modules, args.cpp)
        if args.erlang:
            erlang.write(modules, args.erlang)
    except (SchemaError, OSError) as e:
        print("asn1gen: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
