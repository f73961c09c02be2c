"""Loads the modules of a schema and checks them as a whole: every reference
resolves, imports name types their module defines, the names the C++ and
Erlang writers derive stay distinct, and no type contains itself."""

import os
from typing import Dict, List

from .model import Choice, Enumerated, Module, Ref, SchemaError, SeqOf, Sequence
from .parser import parse


def component_refs(ctype):
    while isinstance(ctype, SeqOf):
        ctype = ctype.element
    return [ctype] if isinstance(ctype, Ref) else []


def resolve(modules: Dict[str, Module]):
    for module in modules.values():
        for name, source in module.imports.items():
            if source not in modules:
                raise SchemaError("%s: imports from unknown module %s" % (module.path, source))
            if name not in modules[source].types:
                raise SchemaError("%s: %s does not define %s" % (module.path, source, name))
        for typedef in module.types.values():
            if isinstance(typedef.body, Enumerated):
                continue
            for member in typedef.body.members:
                for ref in component_refs(member.type):
                    if ref.name in module.types:
                        ref.target = module.types[ref.name]
                    elif ref.name in module.imports:
                        ref.target = modules[module.imports[ref.name]].types[ref.name]
                    else:
                        raise SchemaError("%s:%d: unknown type %s" %
                                          (module.path, ref.line, ref.name))


def check_names(typedef, names, what):
    """Identifiers distinct as written and as the C++ names made from them."""
    seen = {}
    for name in names:
        key = name.replace("-", "_")
        if key in seen:
            raise SchemaError("%s:%d: %s %r and %r of %s give the same C++ name" %
                              (typedef.module.path, typedef.line, what, seen[key], name,
                               typedef.name))
        seen[key] = name


def check(modules: Dict[str, Module]):
    for module in modules.values():
        check_names(next(iter(module.types.values())), list(module.types), "types")
        for typedef in module.types.values():
            body = typedef.body
            if isinstance(body, Enumerated):
                check_names(typedef, [n for n, _ in body.items], "identifiers")
                for name, value in body.items:
                    if not -2**31 <= value < 2**31:
                        raise SchemaError("%s:%d: %s(%d) beyond 32 bits" %
                                          (module.path, typedef.line, name, value))
            else:
                check_names(typedef, [m.name for m in body.members], "components")


def check_nesting(modules: Dict[str, Module]):
    """No type may contain itself, however deep: the PER and BER decoders
    follow the nesting of the types on the stack, which only a schema
    without such cycles keeps bounded whatever a peer sends."""
    state = {}

    def visit(typedef, chain):
        if state.get(id(typedef)) == "done":
            return
        if state.get(id(typedef)) == "open":
            start = next(i for i, t in enumerate(chain) if t is typedef)
            cycle = chain[start:] + [typedef]
            raise SchemaError("%s:%d: %s contains itself: %s" %
                              (typedef.module.path, typedef.line, typedef.name,
                               " -> ".join(t.name for t in cycle)))
        state[id(typedef)] = "open"
        if not isinstance(typedef.body, Enumerated):
            for member in typedef.body.members:
                for ref in component_refs(member.type):
                    visit(ref.target, chain + [typedef])
        state[id(typedef)] = "done"

    for module in modules.values():
        for typedef in module.types.values():
            visit(typedef, [])


def dependency_order(modules: Dict[str, Module]) -> List[Module]:
    """Modules after the modules they import; a cycle is an error, since a
    module's classes need the complete classes of its imports."""
    order, state = [], {}

    def visit(name, chain):
        if state.get(name) == "done":
            return
        if state.get(name) == "open":
            raise SchemaError("modules import each other: %s" % " -> ".join(chain + [name]))
        state[name] = "open"
        for dep in modules[name].imported_modules():
            visit(dep, chain + [name])
        state[name] = "done"
        order.append(modules[name])

    for name in sorted(modules):
        visit(name, [])
    return order


def load(paths: List[str]) -> List[Module]:
    modules = {}
    for path in paths:
        with open(path, encoding="utf-8") as f:
            module = parse(f.read(), path)
        stem = os.path.splitext(os.path.basename(path))[0]
        if stem != module.name.lower():
            raise SchemaError("%s: module %s belongs in %s.asn" %
                              (path, module.name, module.name.lower()))
        if module.name in modules:
            raise SchemaError("%s: module %s defined twice" % (path, module.name))
        modules[module.name] = module
    resolve(modules)
    check(modules)
    order = dependency_order(modules)
    check_nesting(modules)
    return order
