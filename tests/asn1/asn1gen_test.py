"""The schema generator: its checks of the sources and the Erlang copy."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.environ.get("KORVAND_SOURCE",
                        os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(SOURCE, "tools"))

from asn1gen import cpp, erlang  # noqa: E402
from asn1gen.model import SchemaError  # noqa: E402
from asn1gen.schema import load  # noqa: E402

MODULES = os.path.join(SOURCE, "asn1", "modules")


class Sources:
    """Writes module sources into a temporary folder."""

    def __init__(self, **texts):
        self.dir = tempfile.mkdtemp()
        self.paths = []
        for name, text in texts.items():
            path = os.path.join(self.dir, name.lower() + ".asn")
            with open(path, "w") as f:
                f.write("%s DEFINITIONS AUTOMATIC TAGS ::= BEGIN\n%s\nEND\n" % (name, text))
            self.paths.append(path)

    def __enter__(self):
        return self.paths

    def __exit__(self, *exc):
        shutil.rmtree(self.dir)


class SchemaChecks(unittest.TestCase):
    def assertFault(self, message, **texts):
        with Sources(**texts) as paths:
            with self.assertRaises(SchemaError) as caught:
                load(paths)
        self.assertIn(message, str(caught.exception))

    def test_faults_are_named_with_their_place(self):
        self.assertFault("a.asn:3: unknown type Missing", A="T ::= SEQUENCE {\n x Missing }")
        self.assertFault("B does not define U", A="IMPORTS U FROM B;", B="V ::= ENUMERATED { v }")
        self.assertFault("unknown module C", A="IMPORTS U FROM C;")
        self.assertFault("give the same C++ name",
                         A="T ::= SEQUENCE { a-b INTEGER, a_b BOOLEAN }")
        self.assertFault("modules import each other",
                         A="IMPORTS U FROM B; T ::= CHOICE { u U }",
                         B="IMPORTS T FROM A; U ::= SEQUENCE { t T }")
        self.assertFault("name the constructed type",
                         A="T ::= SEQUENCE { s SEQUENCE { x INTEGER } }")
        self.assertFault("a second extension marker", A="T ::= CHOICE { a NULL, ..., b NULL, ... }")
        self.assertFault("defined twice", A="T ::= ENUMERATED { a } T ::= ENUMERATED { b }")
        self.assertFault("a.asn:2: T contains itself: T -> T",
                         A="T ::= SEQUENCE { t T OPTIONAL }")
        self.assertFault("contains itself: T -> U -> T",
                         A="T ::= CHOICE { u SEQUENCE OF U }\nU ::= SEQUENCE { t T }")

    def test_enumeration_values_and_texts(self):
        with Sources(A="E ::= ENUMERATED { a(-1), b, c(8), d(2), e, ... }") as paths:
            (module,) = load(paths)
        body = module.types["E"].body
        self.assertEqual(body.items, [("a", -1), ("b", 0), ("c", 8), ("d", 2), ("e", 3)])
        self.assertEqual(body.texts(), ["a=-1", "b", "c=8", "d=2", "e"])
        self.assertEqual(body.largest, 8)
        self.assertTrue(body.extensible)


class CppNames(unittest.TestCase):
    def test_enumerators_keep_clear_of_keywords_and_members(self):
        self.assertEqual(cpp.enumerator("gw-get-id", "ProtoLemzMsgID"), "gw_get_id")
        self.assertEqual(cpp.enumerator("delete", "E"), "delete_")
        self.assertEqual(cpp.enumerator("getValue", "E"), "getValue_")
        self.assertEqual(cpp.enumerator("E", "E"), "E_")


class ErlangCopy(unittest.TestCase):
    def setUp(self):
        self.out = tempfile.mkdtemp()
        paths = [os.path.join(MODULES, f) for f in sorted(os.listdir(MODULES))]
        self.modules = load(paths)
        erlang.write(self.modules, self.out)

    def tearDown(self):
        shutil.rmtree(self.out)

    def read(self, module):
        with open(os.path.join(self.out, module + ".asn")) as f:
            return f.read()

    def test_enumerations_become_ranges_and_underscores_hyphens(self):
        lgcp = self.read("LGCP")
        self.assertIn("ErrorCause ::= INTEGER (0..12, ...)", lgcp)
        self.assertIn("CodecMode ::= INTEGER (0..2)\n", lgcp)
        self.assertIn("DTMFParams-threshold ::= SEQUENCE {", lgcp)
        self.assertIn("    tdm-inputs INTEGER,", lgcp)
        self.assertIn("    trunk-bri TrunkParams,", lgcp)
        self.assertNotIn("_", lgcp.split("BEGIN")[1])
        term = self.read("TERM")
        self.assertIn("IpQoSDSCP ::= INTEGER (0..56)\n", term)
        self.assertIn("RadioStandby ::= INTEGER (0..1)\n", term)
        self.assertIn("    dname IA5String (SIZE (1..64)) OPTIONAL,", term)
        with open(os.path.join(self.out, "order")) as f:
            order = f.read().split()
        self.assertLess(order.index("TERM"), order.index("ACP"))
        self.assertLess(order.index("ACP"), order.index("LGCP"))

    @unittest.skipUnless(shutil.which("erlc"), "Erlang is not installed")
    def test_erlang_compiles_every_module(self):
        with open(os.path.join(self.out, "order")) as f:
            for module in f.read().split():
                subprocess.run(["erlc", "-bper", module + ".asn"], cwd=self.out, check=True,
                               stdout=subprocess.DEVNULL)


if __name__ == "__main__":
    unittest.main()
