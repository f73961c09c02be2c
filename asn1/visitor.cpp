#include "asn1/visitor.h"

#include "asn1/asn1.h"
#include "asn1/sequence_walk.h"

namespace ASN1 {

bool Visitor::do_visit(IntegerWithNamedNumber& value) {
    return do_visit(static_cast<INTEGER&>(value));
}

Visitor::VISIT_SEQ_RESULT Visitor::preVisitExtensionRoots(SEQUENCE&) { return CONTINUE; }
Visitor::VISIT_SEQ_RESULT Visitor::visitExtensionRoot(SEQUENCE&, int, int) { return FAIL; }
Visitor::VISIT_SEQ_RESULT Visitor::preVisitExtensions(SEQUENCE&) { return CONTINUE; }
Visitor::VISIT_SEQ_RESULT Visitor::visitKnownExtension(SEQUENCE&, int, int) { return FAIL; }
bool Visitor::visitUnknownExtensions(SEQUENCE&) { return true; }

bool Visitor::visitComponents(SEQUENCE& value, VISIT_SEQ_RESULT roots) {
    return detail::walkSequenceComponents(*this, value, roots);
}

bool ConstVisitor::do_visit(const AbstractData&) { return true; }
bool ConstVisitor::do_visit(const Null& value) {
    return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const BOOLEAN& value) {
    return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const INTEGER& value) {
    return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const IntegerWithNamedNumber& value) {
    return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const ENUMERATED& value) {
    return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const OBJECT_IDENTIFIER& value) {
    return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const BIT_STRING& value) {
    return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const OCTET_STRING& value) {
    return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const AbstractString& value) {
    return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const BMPString& value) {
    return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const CHOICE& value) {
    return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const OpenData& value) {
    return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const GeneralizedTime& value) {
    return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const SEQUENCE_OF_Base& value) {
    return do_visit(static_cast<const AbstractData&>(value));
}

bool ConstVisitor::preVisitExtensionRoots(const SEQUENCE& value) {
    return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::visitExtensionRoot(const SEQUENCE&, int) { return false; }
bool ConstVisitor::preVisitExtensions(const SEQUENCE&) { return true; }
bool ConstVisitor::visitKnownExtension(const SEQUENCE&, int) { return false; }
bool ConstVisitor::afterVisitSequence(const SEQUENCE&) { return true; }

bool ConstVisitor::visit(const SEQUENCE& value) {
    if (!preVisitExtensionRoots(value)) return false;
    const SequenceInfo* info = value.info();
    for (unsigned i = 0; i < info->numFields; ++i) {
        int id = info->ids[i];
        if (id != -1 && !value.hasOptionalField(static_cast<unsigned>(id))) continue;
        if (!visitExtensionRoot(value, static_cast<int>(i))) return false;
    }
    if (value.extensionMap().size() == 0) return afterVisitSequence(value);
    if (!preVisitExtensions(value)) return false;
    for (unsigned j = 0; j < info->knownExtensions; ++j) {
        if (!value.hasOptionalField(info->numOptional + j)) continue;
        if (!visitKnownExtension(value, static_cast<int>(info->numFields + j))) return false;
    }
    return afterVisitSequence(value);
}

}  // namespace ASN1
