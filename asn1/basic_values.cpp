#include "asn1/basic_values.h"

#include <boost/polymorphic_cast.hpp>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ASN1 {

const Null::InfoType Null::theInfo = {&detail::create<Null>, 5};
const BOOLEAN::InfoType BOOLEAN::theInfo = {&detail::create<BOOLEAN>, 1};
const INTEGER::InfoType INTEGER::theInfo = {{&detail::create<INTEGER>, 2}, Unconstrained, 0,
                                            UINT_MAX};

int BOOLEAN::do_compare(const AbstractData& other) const {
    return int(value) - int(boost::polymorphic_downcast<const BOOLEAN*>(&other)->value);
}

int INTEGER::do_compare(const AbstractData& other) const {
    return detail::compareValues(value, boost::polymorphic_downcast<const INTEGER*>(&other)->value);
}

bool IntegerWithNamedNumber::getName(std::string& name) const {
    // The entries are sorted by value: stop at the first one not below it.
    const NameEntry* entry = info()->nameEntries;
    const NameEntry* end = entry + info()->entryCount;
    for (; entry != end && entry->value < getValue(); ++entry) {
    }
    if (entry == end || entry->value != getValue()) return false;
    name = entry->name;
    return true;
}

bool IntegerWithNamedNumber::setFromName(const std::string& name) {
    for (unsigned i = 0; i < info()->entryCount; ++i) {
        if (name == info()->nameEntries[i].name) {
            setValue(info()->nameEntries[i].value);
            return true;
        }
    }
    return false;
}

namespace {

// The value an identifier text carries after "=", if it carries one.
bool explicitValue(const char* text, int& value) {
    const char* eq = std::strrchr(text, '=');
    if (eq == nullptr || eq[1] == '\0') return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(eq + 1, &end, 10);
    if (*end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

// Walks the identifier texts of an enumeration with their values; stops
// when the callback returns true and gives that text, or null.
template <class Match>
const char* findIdentifier(const EnumInfo& info, Match match) {
    long long next = 0;
    for (unsigned i = 0; i < info.nameCount; ++i) {
        int value;
        if (!explicitValue(info.names[i], value)) value = static_cast<int>(next);
        if (match(info.names[i], value)) return info.names[i];
        next = static_cast<long long>(value) + 1;
    }
    return nullptr;
}

}  // namespace

const char* ENUMERATED::getName() const {
    int wanted = value;
    return findIdentifier(*info(), [wanted](const char*, int v) { return v == wanted; });
}

bool ENUMERATED::setFromName(const std::string& name) {
    int found = 0;
    const char* text = findIdentifier(*info(), [&](const char* t, int v) {
        found = v;
        return name == t;
    });
    if (text == nullptr) return false;
    value = found;
    return true;
}

int ENUMERATED::do_compare(const AbstractData& other) const {
    return detail::compareValues(value,
                                 boost::polymorphic_downcast<const ENUMERATED*>(&other)->value);
}

}  // namespace ASN1
