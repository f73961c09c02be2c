#ifndef KORVAND_ASN1_SEQUENCE_WALK_H
#define KORVAND_ASN1_SEQUENCE_WALK_H

#include "asn1/sequence.h"

namespace ASN1 {
namespace detail {

// The decoding walk over a sequence's components once preVisitExtensionRoots
// has given `rootsResult` (neither FAIL nor STOP): every root component with its
// presence id, then, unless told to stop, every known extension with its id
// and the unknown ones. Visitor::visit runs it through the virtual
// operations; a final visitor class runs it with its own operations called
// directly, which the compiler can inline.
template <class V>
inline __attribute__((always_inline)) bool walkSequenceComponents(
    V& visitor, SEQUENCE& value, Visitor::VISIT_SEQ_RESULT rootsResult) {
    // The record never changes: its fields are read once.
    const SequenceInfo* info = value.info();
    const int* ids = info->ids;
    unsigned roots = info->numFields;
    int lastId = -1;
    for (unsigned i = 0; i < roots; ++i) {
        int id = ids[i];
        Visitor::VISIT_SEQ_RESULT result =
            visitor.visitExtensionRoot(value, static_cast<int>(i), id);
        if (result == Visitor::FAIL || result == Visitor::STOP) return result == Visitor::STOP;
        if (id != -1) lastId = id;
    }
    if (rootsResult == Visitor::NO_EXTENSION) return true;
    Visitor::VISIT_SEQ_RESULT extensions = visitor.preVisitExtensions(value);
    if (extensions != Visitor::CONTINUE) return extensions != Visitor::FAIL;
    // The known extensions take the ids after the last root presence id.
    unsigned known = info->knownExtensions;
    for (unsigned j = 0; j < known; ++j) {
        Visitor::VISIT_SEQ_RESULT result =
            visitor.visitKnownExtension(value, static_cast<int>(roots + j), ++lastId);
        if (result != Visitor::CONTINUE) return result != Visitor::FAIL;
    }
    return visitor.visitUnknownExtensions(value);
}

}  // namespace detail
}  // namespace ASN1

#endif
