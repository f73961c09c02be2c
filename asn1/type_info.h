#ifndef KORVAND_ASN1_TYPE_INFO_H
#define KORVAND_ASN1_TYPE_INFO_H

// Description records of ASN.1 types. A value holds a pointer to the record
// of its type; every operation that needs the type's structure (creation of
// components, bounds, names, presence bits, alternatives) reads the record.
// Records are plain aggregates so that the generated modules can define them
// as constant-initialised static tables.

#include <climits>
#include <cstdint>

namespace ASN1 {

class AbstractData;

// The creation operation of a type: a new default value whose record is the
// argument (a pointer to the record of that kind).
typedef AbstractData* (*CreateFun)(const void* info);

// Constraint kind of a number or a size. PartiallyConstrained is not used by
// any record; it keeps the numbering of the coders.
enum ConstraintType {
    Unconstrained = 0,
    PartiallyConstrained = 1,
    FixedConstraint = 2,
    ExtendableConstraint = 3
};

// Every record begins with the creation operation and the universal tag.
struct TypeInfo {
    CreateFun create;
    unsigned tag;
};

// INTEGER, BIT STRING, OCTET STRING and the strings: for strings and bit
// strings the bounds are size bounds.
struct ConstrainedInfo : TypeInfo {
    ConstraintType type;
    int lowerLimit;
    unsigned upperLimit;
};

struct SequenceOfInfo : ConstrainedInfo {
    const TypeInfo* elementInfo;
};

struct NameEntry {
    int value;
    const char* name;
};

// INTEGER with named numbers; the entries are sorted by ascending value.
struct NamedNumberInfo : ConstrainedInfo {
    const NameEntry* nameEntries;
    unsigned entryCount;
};

// Restricted character strings (one character per byte). The character set
// is listed in ascending code order and may hold a NUL, hence the size.
struct StringInfo : ConstrainedInfo {
    const char* characterSet;
    unsigned characterSetSize;
    unsigned canonicalSetBits;
    unsigned charSetUnalignedBits;
    unsigned charSetAlignedBits;
};

struct BMPStringInfo : ConstrainedInfo {
    wchar_t firstChar;
    wchar_t lastChar;
    unsigned charSetUnalignedBits;
    unsigned charSetAlignedBits;
};

// ENUMERATED: the identifier texts in declaration order. A text may end in
// "=" and a decimal number, which is then the identifier's value; otherwise
// the value is the previous one plus one (0 for the first).
struct EnumInfo : TypeInfo {
    bool extendable;
    int maxEnumValue;
    const char* const* names;
    unsigned nameCount;
};

// CHOICE: the root alternatives first, then the known extension additions.
// A null tag table means automatic tags.
struct ChoiceInfo : TypeInfo {
    bool extendable;
    const TypeInfo* const* selectionInfos;
    unsigned numChoices;
    unsigned totalChoices;
    const unsigned* tags;
    const char* const* selectionNames;
};

// SEQUENCE: root components first, then the known extension additions. ids
// holds -1 for a mandatory root component, the presence bit of an OPTIONAL
// one, and 0 for an extension addition (which takes its bit by position).
struct SequenceInfo : TypeInfo {
    bool extendable;
    const TypeInfo* const* fieldInfos;
    const int* ids;
    unsigned numFields;
    unsigned knownExtensions;
    unsigned numOptional;
    const unsigned char* nonOptionalExtensions;
    const unsigned* tags;
    const char* const* fieldNames;
};

// An open value whose contained type is known.
struct OpenDataInfo : TypeInfo {
    const TypeInfo* typeInfo;
};

// The constraint argument of SEQUENCE_OF and SET_OF: no size bound.
struct EmptyConstraint {
    static constexpr ConstraintType type = Unconstrained;
    static constexpr int lower = 0;
    static constexpr unsigned upper = UINT_MAX;
};

// The number of bits that hold every number of 0 .. n-1: 0 for n = 1, and
// 32 for n = 0, which stands for the full 32-bit range.
inline unsigned CountBits(uint32_t n) {
    if (n == 0) return 32;
    if (n == 1) return 0;
    // The smallest k with 2^k >= n is the bit length of n - 1.
    return 32 - static_cast<unsigned>(__builtin_clz(n - 1));
}

// The bits of the shortest two's-complement form of a value, sign bit
// included: 1 for 0 and -1, 8 for 127, 9 for 128, 32 at both ends of the
// range. Computed in unsigned arithmetic, so no value overflows.
unsigned TwosComplementBits(int32_t value);

// Whether a raw 32-bit value lies within lower..upper: compared as signed
// numbers when the lower bound is negative, as unsigned numbers otherwise.
inline bool withinBounds(uint32_t value, int32_t lower, uint32_t upper) {
    if (lower < 0) {
        int32_t v = static_cast<int32_t>(value);
        return v >= lower && v <= static_cast<int32_t>(upper);
    }
    return value >= static_cast<uint32_t>(lower) && value <= upper;
}

// Compares two byte ranges as unsigned bytes: the difference at the first
// differing position, else 1 or -1 for the longer range, else 0.
int lexicographic_compare_bytes(const char* first1, const char* last1, const char* first2,
                                const char* last2);

namespace detail {

// The creation operation of the records of class T.
template <class T>
AbstractData* create(const void* info) {
    return new T(static_cast<const typename T::InfoType*>(info));
}

// -1, 0 or 1: orders two numbers without the overflow of a subtraction.
template <class T>
int compareValues(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace detail
}  // namespace ASN1

#endif
