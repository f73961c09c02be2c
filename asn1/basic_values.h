#ifndef KORVAND_ASN1_BASIC_VALUES_H
#define KORVAND_ASN1_BASIC_VALUES_H

// NULL, BOOLEAN, INTEGER (plain, constrained and with named numbers) and
// ENUMERATED values.

#include <string>
#include <type_traits>

#include "asn1/value_kind.h"

namespace ASN1 {

class Null : public detail::ValueKind<Null, AbstractData> {
public:
    typedef TypeInfo InfoType;
    static const InfoType theInfo;

    explicit Null(const InfoType* info = &theInfo) : ValueKind(info) {}
    static AbstractData* create(const void* info) { return detail::create<Null>(info); }

private:
    int do_compare(const AbstractData&) const override { return 0; }
};

// Final: where a value is known to be a BOOLEAN, it is destroyed without
// a virtual call (see detail::isBoolean).
class BOOLEAN final : public detail::ValueKind<BOOLEAN, AbstractData> {
public:
    typedef TypeInfo InfoType;
    typedef bool value_type;
    static const InfoType theInfo;

    explicit BOOLEAN(const InfoType* info = &theInfo) : ValueKind(info) {}
    explicit BOOLEAN(bool v, const InfoType* info = &theInfo) : ValueKind(info), value(v) {}
    static AbstractData* create(const void* info) { return detail::create<BOOLEAN>(info); }

    bool getValue() const { return value; }
    void setValue(bool v) { value = v; }
    BOOLEAN& operator=(bool v) {
        value = v;
        return *this;
    }

private:
    int do_compare(const AbstractData& other) const override;

    bool value = false;
};

class INTEGER : public detail::ValueKind<INTEGER, ConstrainedObject> {
public:
    typedef ConstrainedInfo InfoType;
    typedef int value_type;
    // Unconstrained: no constraint, bounds 0 to 4294967295.
    static const InfoType theInfo;

    explicit INTEGER(const InfoType* info = &theInfo) : ValueKind(info) {}
    explicit INTEGER(int v, const InfoType* info = &theInfo) : ValueKind(info), value(v) {}
    static AbstractData* create(const void* info) { return detail::create<INTEGER>(info); }

    int getValue() const { return value; }
    void setValue(int v) { value = v; }
    INTEGER& operator=(int v) {
        value = v;
        return *this;
    }
    // Printed and read as an unsigned number: a constrained type whose lower
    // bound is 0 or more.
    bool isUnsigned() const { return constrained() && getLowerLimit() >= 0; }
    // Within the record's bounds.
    bool isStrictValid() const;

private:
    int do_compare(const AbstractData& other) const override;

    int value = 0;
};

// An INTEGER of the range Lower..Upper. getValue reads the range's natural
// type: unsigned for a non-negative range, signed otherwise.
template <ConstraintType Type, int Lower, unsigned Upper>
class Constrained_INTEGER : public INTEGER {
public:
    typedef std::conditional_t<(Lower < 0), int, unsigned> value_type;
    static const InfoType theInfo;

    explicit Constrained_INTEGER(const InfoType* info = &theInfo) : INTEGER(info) {}
    explicit Constrained_INTEGER(value_type v, const InfoType* info = &theInfo)
        : INTEGER(static_cast<int>(v), info) {}
    static AbstractData* create(const void* info) {
        return detail::create<Constrained_INTEGER>(info);
    }

    value_type getValue() const { return static_cast<value_type>(INTEGER::getValue()); }
    Constrained_INTEGER& operator=(value_type v) {
        setValue(static_cast<int>(v));
        return *this;
    }
};

template <ConstraintType Type, int Lower, unsigned Upper>
const ConstrainedInfo Constrained_INTEGER<Type, Lower, Upper>::theInfo = {
    {&detail::create<Constrained_INTEGER<Type, Lower, Upper>>, 2}, Type, Lower, Upper};

// An INTEGER whose record names some of its values.
class IntegerWithNamedNumber : public detail::ValueKind<IntegerWithNamedNumber, INTEGER> {
public:
    typedef NamedNumberInfo InfoType;

    explicit IntegerWithNamedNumber(const InfoType* info) : ValueKind(info) {}
    IntegerWithNamedNumber(int v, const InfoType* info) : ValueKind(v, info) {}
    static AbstractData* create(const void* info) {
        return detail::create<IntegerWithNamedNumber>(info);
    }

    const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }
    IntegerWithNamedNumber& operator=(int v) {
        setValue(v);
        return *this;
    }
    // The name of the value; false when the record names no such value.
    bool getName(std::string& name) const;
    // Sets the value of the name; false when the record has no such name.
    bool setFromName(const std::string& name);
};

class ENUMERATED : public detail::ValueKind<ENUMERATED, AbstractData> {
public:
    typedef EnumInfo InfoType;
    typedef int value_type;

    // Holds 0 on creation, also where no identifier has the value 0.
    explicit ENUMERATED(const InfoType* info) : ValueKind(info) {}
    ENUMERATED(const InfoType* info, int v) : ValueKind(info), value(v) {}
    static AbstractData* create(const void* info) { return detail::create<ENUMERATED>(info); }

    const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }
    int getValue() const { return value; }
    void setValue(int v) { value = v; }
    bool extendable() const { return info()->extendable; }
    int getMaximum() const { return info()->maxEnumValue; }
    // At most the largest value (negative values pass).
    bool isStrictlyValid() const { return value <= getMaximum(); }

    // The text of the first identifier whose value this is, exactly as the
    // record stores it ("gw-get-id=4097"); null when no identifier has it.
    const char* getName() const;
    // Sets the value of the identifier whose text equals the name.
    bool setFromName(const std::string& name);

private:
    int do_compare(const AbstractData& other) const override;

    int value = 0;
};

namespace detail {

// BOOLEAN components are the most common values of the radio packets, one
// bit each on the wire, so the decoder reads them and sequences destroy
// them without the virtual calls of the general path. BOOLEAN's own record
// describes every BOOLEAN of the modules, and only BOOLEAN values carry it.
inline bool isBoolean(const AbstractData& value) { return value.info() == &BOOLEAN::theInfo; }

// Deletes a value, which may be null.
inline void deleteValue(AbstractData* value) {
    if (value != nullptr && isBoolean(*value))
        delete static_cast<BOOLEAN*>(value);
    else
        delete value;
}

}  // namespace detail

}  // namespace ASN1

#endif
