#include "asn1/sequence.h"

#include <algorithm>

namespace ASN1 {

const unsigned SEQUENCE::defaultTag[1] = {0};

void SEQUENCE::BitMap::set(unsigned i) {
    if (i < totalBits) bitData[i / 8] |= static_cast<unsigned char>(0x80u >> (i % 8));
}

void SEQUENCE::BitMap::clear(unsigned i) {
    if (i < totalBits) bitData[i / 8] &= static_cast<unsigned char>(~(0x80u >> (i % 8)));
}

void SEQUENCE::BitMap::resize(unsigned n) {
    bitData.resize((static_cast<size_t>(n) + 7) / 8);
    totalBits = n;
    // A later growth must not bring back bits dropped here.
    if (n % 8 != 0) bitData.back() &= static_cast<unsigned char>(0xFF00u >> (n % 8));
}

SEQUENCE::SEQUENCE(const InfoType* info)
    : ValueKind(info), fields(info->numFields + info->knownExtensions) {
    AbstractData** slots = fields.slots();
    unsigned count = info->numFields + info->knownExtensions;
    for (unsigned i = 0; i < info->numFields; ++i) {
        slots[i] = info->ids[i] == -1 ? AbstractData::create(info->fieldInfos[i]) : nullptr;
        fields.filled(i + 1);
    }
    for (unsigned i = info->numFields; i < count; ++i) slots[i] = nullptr;
    fields.filled(count);
    if (info->numOptional != 0) optionals.resize(info->numOptional);
    if (info->nonOptionalExtensions != nullptr) {
        extensions.resize(info->knownExtensions);
        std::copy_n(info->nonOptionalExtensions, extensions.bytes().size(),
                    extensions.bytes().begin());
        for (unsigned j = 0; j < info->knownExtensions; ++j) {
            unsigned index = info->numFields + j;
            if (extensions[j]) fields.reset(index, AbstractData::create(info->fieldInfos[index]));
        }
    }
}

SEQUENCE::SEQUENCE(const SEQUENCE& other)
    : ValueKind(other),
      fields(other.fields.size()),
      optionals(other.optionals),
      extensions(other.extensions) {
    AbstractData** slots = fields.slots();
    for (unsigned i = 0; i < other.fields.size(); ++i) {
        slots[i] = other.fields[i] ? other.fields[i]->clone() : nullptr;
        fields.filled(i + 1);
    }
}

SEQUENCE& SEQUENCE::operator=(const SEQUENCE& other) {
    if (this != &other) {
        SEQUENCE copy(other);
        swap(copy);
    }
    return *this;
}

const char* SEQUENCE::getFieldName(unsigned index) const {
    return index < fields.size() ? info()->fieldNames[index] : "";
}

int SEQUENCE::indexOfId(unsigned id) const {
    const InfoType* record = info();
    if (id < record->numOptional) {
        for (unsigned i = 0; i < record->numFields; ++i) {
            if (record->ids[i] == static_cast<int>(id)) return static_cast<int>(i);
        }
        return -1;
    }
    unsigned j = id - record->numOptional;
    return j < record->knownExtensions ? static_cast<int>(record->numFields + j) : -1;
}

bool SEQUENCE::includeOptionalField(unsigned id, unsigned index) {
    // An id past the known extensions would grow the extension map beyond
    // the type and corrupt a later encoding.
    int found = indexOfId(id);
    if (found < 0 || static_cast<unsigned>(found) != index) return false;
    unsigned k = info()->numOptional;
    if (id < k) {
        optionals.set(id);
    } else {
        if (id - k >= extensions.size()) extensions.resize(id - k + 1);
        extensions.set(id - k);
    }
    if (!fields[index]) fields.reset(index, AbstractData::create(info()->fieldInfos[index]));
    return true;
}

void SEQUENCE::removeOptionalField(unsigned id) {
    unsigned k = info()->numOptional;
    if (id < k) {
        optionals.clear(id);
    } else {
        extensions.clear(id - k);
    }
}

void SEQUENCE::swap(SEQUENCE& other) {
    fields.swap(other.fields);
    std::swap(optionals, other.optionals);
    std::swap(extensions, other.extensions);
}

AbstractData& SEQUENCE::componentAt(unsigned index) const {
    if (index >= fields.size()) detail::recordAssertion("a component index beyond the record");
    if (!fields[index]) {
        fields.reset(index, AbstractData::create(info()->fieldInfos[index]));
        if (!fields[index]) detail::recordAssertion("a component without record");
    }
    return *fields[index];
}

namespace {

// Presence of a component for comparison: mandatory root components are
// always there.
bool present(const SEQUENCE& s, unsigned index) {
    const SequenceInfo* record = s.info();
    if (index >= record->numFields) {
        return s.hasOptionalField(record->numOptional + (index - record->numFields));
    }
    int id = record->ids[index];
    return id == -1 || s.hasOptionalField(static_cast<unsigned>(id));
}

int compareComponents(const AbstractData* a, const AbstractData* b) {
    if (a == nullptr || b == nullptr) return int(a != nullptr) - int(b != nullptr);
    return a->compare(*b);
}

}  // namespace

int SEQUENCE::do_compare(const AbstractData& other) const {
    const SEQUENCE& that = *boost::polymorphic_downcast<const SEQUENCE*>(&other);
    unsigned n = std::min(fieldCount(), that.fieldCount());
    for (unsigned i = 0; i < n; ++i) {
        bool mine = present(*this, i);
        bool theirs = present(that, i);
        if (mine != theirs) return int(mine) - int(theirs);
        if (!mine) continue;
        int result = compareComponents(getField(i), that.getField(i));
        if (result != 0) return result;
    }
    return 0;
}

}  // namespace ASN1
