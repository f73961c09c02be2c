#ifndef KORVAND_ASN1_ABSTRACT_DATA_H
#define KORVAND_ASN1_ABSTRACT_DATA_H

#include <ios>
#include <iosfwd>
#include <string>

#include "asn1/allocator.h"
#include "asn1/type_info.h"

namespace ASN1 {

class Visitor;
class ConstVisitor;

// Base of every ASN.1 value. The value refers to the static record of its
// type, set at construction and never changed; assignment copies data only.
class AbstractData {
public:
    typedef TypeInfo InfoType;

    virtual ~AbstractData() {}

    const InfoType* info() const { return info_; }
    unsigned getTag() const { return info_->tag; }

    // Orders two values of the same type; 0 when they are equal.
    int compare(const AbstractData& other) const { return do_compare(other); }
    // A deep copy of the same class and record, owned by the caller.
    AbstractData* clone() const { return do_clone(); }
    bool accept(Visitor& visitor) { return do_accept(visitor); }
    bool accept(ConstVisitor& visitor) const { return do_accept(visitor); }

    // Value notation: the state to set on the stream (0 or the fail bit).
    std::ios_base::iostate print_on(std::ostream& os) const;
    std::ios_base::iostate get_from(std::istream& is);
    // The text printed so far also when printing fails part-way.
    std::string asValueNotation() const;
    // Reads the whole text, which may end in white space only.
    bool setFromValueNotation(const std::string& text);

    // Whether the value satisfies its type's constraints: isValid accepts
    // what an extension marker allows, isStrictlyValid only the root.
    bool isValid() const;
    bool isStrictlyValid() const;

    // A new default value of the record's type; null for a null record.
    static AbstractData* create(const void* info) {
        if (info == nullptr) return nullptr;
        const TypeInfo* record = static_cast<const TypeInfo*>(info);
        return record->create != nullptr ? record->create(record) : nullptr;
    }

    // Values come from the small-block pool (allocator.h).
    static void* operator new(size_t size) { return detail::allocateBlock(size); }
    static void operator delete(void* block, size_t size) { detail::releaseBlock(block, size); }

protected:
    explicit AbstractData(const TypeInfo* info) : info_(info) {}
    AbstractData(const AbstractData&) = default;
    AbstractData& operator=(const AbstractData&) { return *this; }

private:
    virtual int do_compare(const AbstractData& other) const = 0;
    virtual AbstractData* do_clone() const = 0;
    virtual bool do_accept(Visitor& visitor) = 0;
    virtual bool do_accept(ConstVisitor& visitor) const = 0;

    const TypeInfo* info_;
};

// Values whose record carries a constraint kind and bounds.
class ConstrainedObject : public AbstractData {
public:
    typedef ConstrainedInfo InfoType;

    const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }
    ConstraintType getConstraintType() const { return info()->type; }
    bool constrained() const { return info()->type != Unconstrained; }
    bool extendable() const { return info()->type == ExtendableConstraint; }
    int getLowerLimit() const { return info()->lowerLimit; }
    unsigned getUpperLimit() const { return info()->upperLimit; }

protected:
    explicit ConstrainedObject(const InfoType* info) : AbstractData(info) {}
};

// Prints any value in value notation; nothing when the stream has failed.
std::ostream& operator<<(std::ostream& os, const AbstractData& value);
// Reads a value in value notation; nothing when the stream has failed.
std::istream& operator>>(std::istream& is, AbstractData& value);

namespace detail {
// A broken invariant of the type records (a null record where the type must
// have one): prints one line and ends the process.
[[noreturn]] void recordAssertion(const char* what);
}  // namespace detail

}  // namespace ASN1

#endif
