#ifndef KORVAND_ASN1_OPEN_DATA_H
#define KORVAND_ASN1_OPEN_DATA_H

#include <memory>
#include <vector>

#include "asn1/value_kind.h"

namespace ASN1 {

// An open value: a contained value and/or the octets of an encoding of it
// (kept undecoded until a second pass decodes them).
class OpenData : public detail::ValueKind<OpenData, AbstractData> {
public:
    typedef TypeInfo InfoType;
    static const InfoType theInfo;

    explicit OpenData(const InfoType* info = &theInfo) : ValueKind(info) {}
    OpenData(const OpenData& other);
    OpenData& operator=(const OpenData& other);
    static AbstractData* create(const void* info) { return detail::create<OpenData>(info); }

    bool has_data() const { return bool(data); }
    bool has_buf() const { return bool(buf); }
    AbstractData* get_data() { return data.get(); }
    const AbstractData* get_data() const { return data.get(); }
    // Replaces the contained value; ownership passes.
    void grab(AbstractData* value) { data.reset(value); }
    // The undecoded octets, created empty when missing.
    std::vector<char>& get_buf();
    const std::vector<char>* buffer() const { return buf.get(); }
    void swap(OpenData& other);
    // The held value valid; without one, undecoded octets held.
    bool isValid() const;
    bool isStrictlyValid() const;

private:
    int do_compare(const AbstractData& other) const override;

    std::unique_ptr<AbstractData> data;
    std::unique_ptr<std::vector<char>> buf;
};

// An open value whose contained type is known from its record; it holds a
// value of that type from creation on.
class TypeConstrainedOpenData : public detail::ValueKind<TypeConstrainedOpenData, OpenData> {
public:
    typedef OpenDataInfo InfoType;

    explicit TypeConstrainedOpenData(const InfoType* info);
    static AbstractData* create(const void* info) {
        return detail::create<TypeConstrainedOpenData>(info);
    }

    const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }
};

}  // namespace ASN1

#endif
