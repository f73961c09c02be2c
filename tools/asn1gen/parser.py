"""Reads the ASN.1 sources of the schema.

The dialect is the subset the schema needs: module definitions with IMPORTS,
SEQUENCE, CHOICE and ENUMERATED assignments with extension markers, and the
component types INTEGER (with a range), BOOLEAN, NULL, OCTET STRING,
IA5String (with a size), OBJECT IDENTIFIER, SEQUENCE OF, SET OF and type
references. Two liberties: names may hold underscores, and enumeration
values may repeat. An enumeration identifier without a number takes the
previous value plus one (0 for the first).
"""

import re
from typing import List, Tuple

from .model import (Builtin, Choice, Enumerated, Member, Module, Ref, SchemaError, SeqOf,
                    Sequence, TypeDef)

TOKEN = re.compile(r"""
    (?P<space>[ \t\r]+)
  | (?P<newline>\n)
  | (?P<comment>--.*?(?:--|(?=\n)|$))
  | (?P<symbol>::=|\.\.\.|\.\.|[{}(),;:])
  | (?P<number>-?\d+)
  | (?P<name>[A-Za-z][A-Za-z0-9_]*(?:-[A-Za-z0-9_]+)*)
""", re.VERBOSE)

RESERVED = {"BEGIN", "END", "DEFINITIONS", "AUTOMATIC", "TAGS", "IMPORTS", "FROM", "SEQUENCE",
            "SET", "OF", "CHOICE", "ENUMERATED", "INTEGER", "BOOLEAN", "NULL", "OCTET", "STRING",
            "IA5String", "OBJECT", "IDENTIFIER", "OPTIONAL", "SIZE"}


def tokenize(text: str, path: str) -> List[Tuple[str, str, int]]:
    tokens, line, pos = [], 1, 0
    while pos < len(text):
        m = TOKEN.match(text, pos)
        if not m:
            raise SchemaError("%s:%d: unexpected character %r" % (path, line, text[pos]))
        kind = m.lastgroup
        if kind == "newline":
            line += 1
        elif kind not in ("space", "comment"):
            tokens.append((kind, m.group(), line))
        pos = m.end()
    tokens.append(("end", "", line))
    return tokens


class Parser:
    def __init__(self, text: str, path: str):
        self.path = path
        self.tokens = tokenize(text, path)
        self.pos = 0

    # Token helpers.
    def peek(self, offset=0):
        return self.tokens[min(self.pos + offset, len(self.tokens) - 1)]

    def line(self) -> int:
        return self.peek()[2]

    def fail(self, message: str):
        raise SchemaError("%s:%d: %s" % (self.path, self.line(), message))

    def take(self, value=None, kind=None) -> str:
        tok = self.peek()
        if (value is not None and tok[1] != value) or (kind is not None and tok[0] != kind):
            self.fail("expected %s, found %r" % (value or kind, tok[1]))
        self.pos += 1
        return tok[1]

    def accept(self, value: str) -> bool:
        if self.peek()[1] == value:
            self.pos += 1
            return True
        return False

    def name(self) -> str:
        value = self.take(kind="name")
        if value in RESERVED:
            self.fail("reserved word %r used as a name" % value)
        return value

    def number(self) -> int:
        return int(self.take(kind="number"))

    # Grammar.
    def module(self) -> Module:
        module = Module(self.name(), self.path)
        self.take("DEFINITIONS")
        if self.accept("AUTOMATIC"):
            self.take("TAGS")
        self.take("::=")
        self.take("BEGIN")
        if self.accept("IMPORTS"):
            self.imports(module)
        while not self.accept("END"):
            line = self.line()
            name = self.name()
            if not name[0].isupper():
                self.fail("type name %r must begin with a capital letter" % name)
            if name in module.types or name in module.imports:
                self.fail("type %r defined twice" % name)
            self.take("::=")
            module.types[name] = TypeDef(module, name, self.named_type(), line)
        if self.peek()[0] != "end":
            self.fail("text after END")
        return module

    def imports(self, module: Module):
        while not self.accept(";"):
            names = [self.name()]
            while self.accept(","):
                names.append(self.name())
            self.take("FROM")
            source = self.name()
            for n in names:
                module.imports[n] = source

    def named_type(self):
        if self.accept("SEQUENCE"):
            members, extensible, roots = self.members(with_optional=True)
            return Sequence(members, extensible, roots)
        if self.accept("CHOICE"):
            members, extensible, roots = self.members(with_optional=False)
            return Choice(members, extensible, roots)
        if self.accept("ENUMERATED"):
            return self.enumerated()
        self.fail("a named type must be a SEQUENCE, CHOICE or ENUMERATED")

    def members(self, with_optional: bool):
        self.take("{")
        members, extensible, roots = [], False, None
        while True:
            if self.accept("..."):
                if extensible:
                    self.fail("a second extension marker")
                extensible, roots = True, len(members)
            else:
                line = self.line()
                name = self.name()
                if not name[0].islower():
                    self.fail("identifier %r must begin with a small letter" % name)
                ctype = self.component_type()
                optional = with_optional and self.accept("OPTIONAL")
                if optional and extensible:
                    self.fail("an extension addition is optional already: %r" % name)
                members.append(Member(name, ctype, optional, line))
            if self.accept("}"):
                break
            self.take(",")
        if not members:
            self.fail("a type without components")
        return members, extensible, len(members) if roots is None else roots

    def enumerated(self) -> Enumerated:
        self.take("{")
        items, extensible, implied = [], False, 0
        while True:
            if self.accept("..."):
                extensible = True
            else:
                name = self.name()
                value = implied
                if self.accept("("):
                    value = self.number()
                    self.take(")")
                items.append((name, value))
                implied = value + 1
            if self.accept("}"):
                break
            self.take(",")
        if not items:
            self.fail("an enumeration without identifiers")
        return Enumerated(items, extensible)

    def range(self):
        lower = self.number()
        self.take("..")
        upper = self.number()
        if upper < lower:
            self.fail("empty range %d..%d" % (lower, upper))
        return lower, upper

    def component_type(self):
        line = self.line()
        if self.accept("SEQUENCE") or self.accept("SET"):
            is_set = self.peek(-1)[1] == "SET"
            if self.peek()[1] == "{":
                self.fail("name the constructed type of a component")
            self.take("OF")
            return SeqOf(self.component_type(), is_set)
        if self.peek()[1] in ("CHOICE", "ENUMERATED"):
            self.fail("name the constructed type of a component")
        if self.accept("INTEGER"):
            if not self.accept("("):
                return Builtin("INTEGER")
            lower, upper = self.range()
            extensible = self.accept(",") and self.take("...") == "..."
            self.take(")")
            if lower < -2**31 or upper > 2**32 - 1 or (lower < 0 and upper > 2**31 - 1):
                self.fail("range %d..%d beyond 32 bits" % (lower, upper))
            return Builtin("INTEGER", lower, upper, extensible)
        if self.accept("IA5String"):
            if not self.accept("("):
                return Builtin("IA5String")
            self.take("SIZE")
            self.take("(")
            lower, upper = self.range()
            self.take(")")
            self.take(")")
            if lower < 0:
                self.fail("negative size")
            return Builtin("IA5String", lower, upper)
        for words, kind in ((("BOOLEAN",), "BOOLEAN"), (("NULL",), "NULL"),
                            (("OCTET", "STRING"), "OCTET STRING"),
                            (("OBJECT", "IDENTIFIER"), "OBJECT IDENTIFIER")):
            if self.accept(words[0]):
                for w in words[1:]:
                    self.take(w)
                return Builtin(kind)
        name = self.name()
        if not name[0].isupper():
            self.fail("type reference %r must begin with a capital letter" % name)
        return Ref(name, line)


def parse(text: str, path: str) -> Module:
    return Parser(text, path).module()
