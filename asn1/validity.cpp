#include "asn1/validity.h"

#include <algorithm>
#include <ostream>

#include "asn1/asn1.h"

namespace ASN1 {

namespace {

enum SizeVerdict { SizeFits, BelowLower, AboveUpper };

// Sizes compare unsigned. Above the upper bound breaks the constraint unless
// the size is extensible and only the extension marker's allowance counts.
SizeVerdict sizeVerdict(const ConstrainedObject& value, uint64_t count, bool strict) {
    if (count < static_cast<uint32_t>(value.getLowerLimit())) return BelowLower;
    if (count > value.getUpperLimit() &&
        (strict || value.getConstraintType() != ExtendableConstraint)) {
        return AboveUpper;
    }
    return SizeFits;
}

// The index of the first character outside the permitted set; the length
// when there is none or the record lists no set.
size_t firstOutsideSet(const AbstractString& value) {
    const StringInfo* info = value.info();
    if (info->characterSetSize == 0) return value.size();
    const char* set = info->characterSet;
    const char* setEnd = set + info->characterSetSize;
    auto outside = [&](char c) { return std::find(set, setEnd, c) == setEnd; };
    return static_cast<size_t>(std::find_if(value.begin(), value.end(), outside) - value.begin());
}

// A CHOICE index that the type cannot hold: the failed state, or beyond the
// root alternatives of a type without extension marker.
bool notUnderstood(const CHOICE& value) {
    int index = value.currentSelection();
    return index == CHOICE::unknownSelection_ ||
           (index >= 0 && static_cast<unsigned>(index) >= value.info()->numChoices &&
            !value.info()->extendable);
}

}  // namespace

bool AbstractData::isValid() const {
    ValidChecker checker;
    return accept(checker);
}

bool AbstractData::isStrictlyValid() const {
    StrictlyValidChecker checker;
    return accept(checker);
}

bool INTEGER::isStrictValid() const {
    return withinBounds(static_cast<uint32_t>(value), getLowerLimit(), getUpperLimit());
}

bool AbstractString::isValid() const {
    return sizeVerdict(*this, size(), false) == SizeFits && firstOutsideSet(*this) == size();
}

bool AbstractString::isStrictlyValid() const {
    return sizeVerdict(*this, size(), true) == SizeFits && firstOutsideSet(*this) == size();
}

bool BMPString::legalCharacter(wchar_t c) const {
    return c >= info()->firstChar && c <= info()->lastChar;
}

unsigned BMPString::first_illegal_at() const {
    auto illegal = [this](wchar_t c) { return !legalCharacter(c); };
    return static_cast<unsigned>(std::find_if(begin(), end(), illegal) - begin());
}

bool BMPString::isValid() const {
    return sizeVerdict(*this, size(), false) == SizeFits && first_illegal_at() == size();
}

bool BMPString::isStrictlyValid() const {
    return sizeVerdict(*this, size(), true) == SizeFits && first_illegal_at() == size();
}

bool CHOICE::isValid() const {
    return currentSelection() >= 0 && choice && !notUnderstood(*this) && choice->isValid();
}

bool CHOICE::isStrictlyValid() const {
    return currentSelection() >= 0 && choice &&
           static_cast<unsigned>(currentSelection()) < info()->numChoices &&
           choice->isStrictlyValid();
}

bool SEQUENCE_OF_Base::isValid() const {
    return sizeVerdict(*this, size(), false) == SizeFits &&
           std::all_of(container.begin(), container.end(),
                       [](const std::unique_ptr<AbstractData>& e) { return e->isValid(); });
}

bool SEQUENCE_OF_Base::isStrictlyValid() const {
    return sizeVerdict(*this, size(), true) == SizeFits &&
           std::all_of(container.begin(), container.end(),
                       [](const std::unique_ptr<AbstractData>& e) { return e->isStrictlyValid(); });
}

bool OpenData::isValid() const { return data ? data->isValid() : bool(buf); }

bool OpenData::isStrictlyValid() const { return data ? data->isStrictlyValid() : bool(buf); }

bool GeneralizedTime::isStrictlyValid() const {
    return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour >= 0 &&
           hour <= 24 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59 &&
           mindiff >= -720 && mindiff <= 720;
}

bool ValidityChecker::do_visit(const INTEGER& value) {
    return value.isStrictValid() || (!strict && value.extendable());
}

bool ValidityChecker::do_visit(const IntegerWithNamedNumber& value) {
    return do_visit(static_cast<const INTEGER&>(value));
}

bool ValidityChecker::do_visit(const ENUMERATED& value) {
    return value.isStrictlyValid() || (!strict && value.extendable());
}

bool ValidityChecker::do_visit(const OBJECT_IDENTIFIER& value) { return value.levels() > 0; }

bool ValidityChecker::do_visit(const BIT_STRING& value) {
    return sizeVerdict(value, value.size(), strict) == SizeFits;
}

bool ValidityChecker::do_visit(const OCTET_STRING& value) {
    return sizeVerdict(value, value.size(), strict) == SizeFits;
}

bool ValidityChecker::do_visit(const AbstractString& value) {
    return strict ? value.isStrictlyValid() : value.isValid();
}

bool ValidityChecker::do_visit(const BMPString& value) {
    return strict ? value.isStrictlyValid() : value.isValid();
}

bool ValidityChecker::do_visit(const CHOICE& value) {
    return strict ? value.isStrictlyValid() : value.isValid();
}

bool ValidityChecker::do_visit(const OpenData& value) {
    return strict ? value.isStrictlyValid() : value.isValid();
}

bool ValidityChecker::do_visit(const GeneralizedTime& value) { return value.isStrictlyValid(); }

bool ValidityChecker::do_visit(const SEQUENCE_OF_Base& value) {
    return strict ? value.isStrictlyValid() : value.isValid();
}

bool ValidityChecker::visitExtensionRoot(const SEQUENCE& value, int index) {
    const AbstractData* field = value.getField(static_cast<unsigned>(index));
    return field != nullptr && field->accept(*this);
}

bool ValidityChecker::visitKnownExtension(const SEQUENCE& value, int index) {
    return visitExtensionRoot(value, index);
}

bool InvalidTracer::traceSize(const ConstrainedObject& value, const char* what, uint64_t count) {
    SizeVerdict verdict = sizeVerdict(value, count, false);
    if (verdict == SizeFits) return true;
    strm << " This " << what << " has size " << count;
    if (verdict == BelowLower) {
        strm << " smaller than its lower bound " << value.getLowerLimit();
    } else {
        strm << " greater than its upper bound " << value.getUpperLimit();
    }
    return false;
}

bool InvalidTracer::do_visit(const INTEGER& value) {
    int v = value.getValue();
    int lower = value.getLowerLimit();
    bool isSigned = lower < 0;
    bool below = isSigned ? v < lower : static_cast<uint32_t>(v) < static_cast<uint32_t>(lower);
    bool above = !below && !value.extendable() && !value.isStrictValid();
    if (!below && !above) return true;
    strm << " The INTEGER value ";
    if (isSigned) {
        strm << v;
    } else {
        strm << static_cast<uint32_t>(v);
    }
    if (below) {
        strm << " is smaller than lower bound " << lower;
    } else {
        strm << " is greater than upper bound " << value.getUpperLimit();
    }
    return false;
}

bool InvalidTracer::do_visit(const IntegerWithNamedNumber& value) {
    return do_visit(static_cast<const INTEGER&>(value));
}

bool InvalidTracer::do_visit(const ENUMERATED& value) {
    if (value.isStrictlyValid()) return true;
    strm << " This ENUMERATED has invalid value " << value.getValue();
    return false;
}

bool InvalidTracer::do_visit(const OBJECT_IDENTIFIER& value) {
    if (value.levels() > 0) return true;
    strm << " This OBJECT IDENTIFIER is not assigned";
    return false;
}

bool InvalidTracer::do_visit(const BIT_STRING& value) {
    return traceSize(value, "BIT STRING", value.size());
}

bool InvalidTracer::do_visit(const OCTET_STRING& value) {
    return traceSize(value, "OCTET STRING", value.size());
}

bool InvalidTracer::do_visit(const AbstractString& value) {
    if (!traceSize(value, "AbstractString", value.size())) return false;
    size_t bad = firstOutsideSet(value);
    if (bad == value.size()) return true;
    strm << " The character '" << value[bad] << "' is not valid for the string";
    return false;
}

bool InvalidTracer::do_visit(const BMPString& value) {
    if (!traceSize(value, "BMPString", value.size())) return false;
    unsigned bad = value.first_illegal_at();
    if (bad == value.size()) return true;
    strm << " The character '" << static_cast<uint32_t>(value[bad]) << "' is not valid for the string";
    return false;
}

bool InvalidTracer::do_visit(const CHOICE& value) {
    if (notUnderstood(value)) {
        strm << " This selection is not understood by this decoder";
        return false;
    }
    if (value.currentSelection() < 0 || value.getSelection() == nullptr) {
        strm << " This CHOICE is not selected";
        return false;
    }
    strm << '.' << value.getSelectionName();
    return value.getSelection()->accept(*this);
}

bool InvalidTracer::do_visit(const OpenData& value) {
    if (value.has_data()) return value.get_data()->accept(*this);
    if (value.has_buf()) return true;
    strm << " This Open Type does not contain any valid data";
    return false;
}

bool InvalidTracer::do_visit(const GeneralizedTime& value) {
    if (value.isStrictlyValid()) return true;
    strm << " This GeneralizedTime is not valid";
    return false;
}

bool InvalidTracer::do_visit(const SEQUENCE_OF_Base& value) {
    if (!traceSize(value, "SEQUENCE OF", value.size())) return false;
    unsigned i = 0;
    for (const AbstractData& element : value) {
        InvalidTracer inner;
        if (!element.accept(inner)) {
            strm << '[' << i << ']' << inner.str();
            return false;
        }
        ++i;
    }
    return true;
}

bool InvalidTracer::visitExtensionRoot(const SEQUENCE& value, int index) {
    const AbstractData* field = value.getField(static_cast<unsigned>(index));
    InvalidTracer inner;
    if (field != nullptr && field->accept(inner)) return true;
    strm << '.' << value.getFieldName(static_cast<unsigned>(index)) << inner.str();
    return false;
}

bool InvalidTracer::visitKnownExtension(const SEQUENCE& value, int index) {
    return visitExtensionRoot(value, index);
}

bool trace_invalid(std::ostream& os, const char* prefix, const AbstractData& value) {
    InvalidTracer tracer;
    if (value.accept(tracer)) return true;
    os << prefix << tracer.str() << std::endl;
    return false;
}

}  // namespace ASN1
