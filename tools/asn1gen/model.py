"""The schema model that the parser builds and the writers read.

Named types are SEQUENCE, CHOICE and ENUMERATED assignments; the types of
components and alternatives are built-in types, SEQUENCE OF / SET OF, or
references to named types.
"""

from dataclasses import dataclass, field
from typing import Dict, List, Optional, Tuple, Union


class SchemaError(Exception):
    """A fault in a schema source, with the place it was found."""


@dataclass
class Builtin:
    """INTEGER, BOOLEAN, NULL, OCTET STRING, IA5String or OBJECT IDENTIFIER.

    lower/upper bound an INTEGER's value or an IA5String's size; extensible
    marks a range with an extension marker.
    """
    kind: str
    lower: Optional[int] = None
    upper: Optional[int] = None
    extensible: bool = False

    @property
    def constrained(self) -> bool:
        return self.lower is not None


@dataclass
class Ref:
    """A reference to a named type; `target` is set when names are resolved."""
    name: str
    line: int
    target: Optional["TypeDef"] = None


@dataclass
class SeqOf:
    element: "ComponentType"
    is_set: bool = False


ComponentType = Union[Builtin, Ref, SeqOf]


@dataclass
class Member:
    """A component of a SEQUENCE or an alternative of a CHOICE."""
    name: str
    type: ComponentType
    optional: bool = False
    line: int = 0


@dataclass
class Sequence:
    members: List[Member]
    extensible: bool
    root_count: int

    def presence_ids(self) -> List[int]:
        """-1 for a mandatory root component, the presence bit of an OPTIONAL
        one, 0 for an extension addition (which takes its bit by position)."""
        ids, next_id = [], 0
        for i, m in enumerate(self.members):
            if i >= self.root_count:
                ids.append(0)
            elif m.optional:
                ids.append(next_id)
                next_id += 1
            else:
                ids.append(-1)
        return ids

    @property
    def optional_count(self) -> int:
        return sum(1 for m in self.members[:self.root_count] if m.optional)


@dataclass
class Choice:
    members: List[Member]
    extensible: bool
    root_count: int


@dataclass
class Enumerated:
    items: List[Tuple[str, int]]
    extensible: bool

    @property
    def largest(self) -> int:
        return max(v for _, v in self.items)

    def texts(self) -> List[str]:
        """The identifier texts of the record: a value that does not follow
        from the previous one (plus one; 0 for the first) is written after
        an "=" ("gw-rad-ptt-on=4116")."""
        out, implied = [], 0
        for name, value in self.items:
            out.append(name if value == implied else "%s=%d" % (name, value))
            implied = value + 1
        return out


@dataclass
class TypeDef:
    module: "Module"
    name: str
    body: Union[Sequence, Choice, Enumerated]
    line: int


@dataclass
class Module:
    name: str
    path: str
    imports: Dict[str, str] = field(default_factory=dict)  # type name -> module
    types: Dict[str, TypeDef] = field(default_factory=dict)  # in source order

    def imported_modules(self) -> List[str]:
        return sorted(set(self.imports.values()))
