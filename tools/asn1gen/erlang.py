"""Writes a copy of the modules that Erlang's asn1 compiler accepts, as an
independent oracle for the aligned PER coder: each ENUMERATED becomes
INTEGER (0..largest), with an extension marker when it is extensible, and
every "_" in a name becomes "-". Values that the copy cannot express
(negative or sparse enumeration values) need vectors of their own.
"""

import os
from typing import List

from .model import Builtin, Choice, Enumerated, Module, Ref, SchemaError, SeqOf, Sequence


def ename(name: str, where: str) -> str:
    out = name.replace("_", "-")
    if "--" in out or out.endswith("-"):
        raise SchemaError("%s: %r has no Erlang form" % (where, name))
    return out


def type_text(ctype, where: str) -> str:
    if isinstance(ctype, Ref):
        return ename(ctype.name, where)
    if isinstance(ctype, SeqOf):
        return "%s OF %s" % ("SET" if ctype.is_set else "SEQUENCE",
                             type_text(ctype.element, where))
    if ctype.constrained:
        marker = ", ..." if ctype.extensible else ""
        if ctype.kind == "IA5String":
            return "IA5String (SIZE (%d..%d))" % (ctype.lower, ctype.upper)
        return "INTEGER (%d..%d%s)" % (ctype.lower, ctype.upper, marker)
    return ctype.kind


def members_text(typedef, with_optional: bool) -> List[str]:
    body = typedef.body
    where = "%s.%s" % (typedef.module.name, typedef.name)
    rows = []
    for i, m in enumerate(body.members):
        if body.extensible and i == body.root_count:
            rows.append("...")
        optional = " OPTIONAL" if with_optional and m.optional else ""
        rows.append("%s %s%s" % (ename(m.name, where), type_text(m.type, where), optional))
    if body.extensible and body.root_count == len(body.members):
        rows.append("...")
    return ["    " + r + ("," if i < len(rows) - 1 else "") for i, r in enumerate(rows)]


def module_text(module: Module) -> str:
    out = ["-- Oracle copy of %s for an independent aligned PER codec;" % module.name,
           "-- written by tools/asn1gen; do not edit.", "",
           "%s DEFINITIONS AUTOMATIC TAGS ::=" % module.name, "BEGIN", ""]
    if module.imports:
        out.append("IMPORTS")
        for source in module.imported_modules():
            names = sorted(n for n, s in module.imports.items() if s == source)
            out.append("    %s FROM %s" % (", ".join(ename(n, module.path) for n in names),
                                            source))
        out[-1] += ";"
        out.append("")
    for typedef in module.types.values():
        name = ename(typedef.name, module.path)
        body = typedef.body
        if isinstance(body, Enumerated):
            marker = ", ..." if body.extensible else ""
            out += ["%s ::= INTEGER (0..%d%s)" % (name, body.largest, marker), ""]
            continue
        kind = "SEQUENCE" if isinstance(body, Sequence) else "CHOICE"
        out += ["%s ::= %s {" % (name, kind)]
        out += members_text(typedef, isinstance(body, Sequence))
        out += ["}", ""]
    out += ["END", ""]
    return "\n".join(out)


def write(modules: List[Module], outdir: str):
    """One file per module, MODULE.asn; `modules` come in the order in which
    Erlang must compile them (each after its imports)."""
    os.makedirs(outdir, exist_ok=True)
    for module in modules:
        with open(os.path.join(outdir, module.name + ".asn"), "w", encoding="utf-8") as f:
            f.write(module_text(module))
    with open(os.path.join(outdir, "order"), "w", encoding="utf-8") as f:
        f.write("\n".join(m.name for m in modules) + "\n")
