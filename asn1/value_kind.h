#ifndef KORVAND_ASN1_VALUE_KIND_H
#define KORVAND_ASN1_VALUE_KIND_H

#include "asn1/abstract_data.h"
#include "asn1/visitor.h"

namespace ASN1 {
namespace detail {

// The operations that every value class implements the same way: dispatch to
// the visitor entry of its own class, and cloning. A clone is created
// through the record, so it has the class the record names (a generated
// class, not only its runtime base), and then receives a copy of the data.
template <class Derived, class Base>
class ValueKind : public Base {
protected:
    using Base::Base;

private:
    AbstractData* do_clone() const override {
        const TypeInfo* record = this->AbstractData::info();
        if (record->create == nullptr) recordAssertion("a record without creation operation");
        AbstractData* copy = record->create(record);
        static_cast<Derived&>(*copy) = static_cast<const Derived&>(*this);
        return copy;
    }
    bool do_accept(Visitor& visitor) override {
        return visitor.do_visit(static_cast<Derived&>(*this));
    }
    bool do_accept(ConstVisitor& visitor) const override {
        return visitor.do_visit(static_cast<const Derived&>(*this));
    }
};

}  // namespace detail
}  // namespace ASN1

#endif
