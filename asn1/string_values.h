#ifndef KORVAND_ASN1_STRING_VALUES_H
#define KORVAND_ASN1_STRING_VALUES_H

// BIT STRING, OCTET STRING and the character strings. OCTET STRING is a
// vector of bytes, the restricted strings are byte strings (one character
// per byte) and BMPString is a wide string (one 16-bit code per character).

#include <string>
#include <vector>

#include "asn1/value_kind.h"

namespace ASN1 {

namespace detail {

// The characters first .. first + N - 1 in ascending order.
template <unsigned N>
struct CharRange {
    char chars[N];
    constexpr explicit CharRange(unsigned first) : chars() {
        for (unsigned i = 0; i < N; ++i) chars[i] = static_cast<char>(first + i);
    }
};

// The IA5 character set, for string subtypes declared in the modules.
extern const CharRange<128> ia5Characters;

}  // namespace detail

class BIT_STRING : public detail::ValueKind<BIT_STRING, ConstrainedObject> {
public:
    typedef ConstrainedInfo InfoType;
    static const InfoType theInfo;

    explicit BIT_STRING(const InfoType* info = &theInfo) : ValueKind(info) {}
    static AbstractData* create(const void* info) { return detail::create<BIT_STRING>(info); }

    // The number of bits.
    unsigned size() const { return totalBits; }
    // Keeps the first bits, clears the ones beyond the new size.
    void resize(unsigned bits);
    // Takes `bits` bits from `bytes`, most significant first. The rest of the
    // last byte is dropped: an encoding may carry anything there, and a
    // value must not compare or grow by bits it does not have.
    void assign(const char* bytes, unsigned bits);
    // Bit i, from the most significant bit of the first byte; 0 beyond the size.
    bool operator[](unsigned i) const;
    // Sets or clears bit i; nothing beyond the size.
    void set(unsigned i, bool on = true);
    void clear(unsigned i) { set(i, false); }
    // The bytes holding the bits, (size + 7) / 8 of them.
    const std::vector<char>& getData() const { return bitData; }
    std::vector<char>& getData() { return bitData; }

private:
    int do_compare(const AbstractData& other) const override;
    void clearUnusedBits();

    unsigned totalBits = 0;
    std::vector<char> bitData;
};

class OCTET_STRING : public detail::ValueKind<OCTET_STRING, ConstrainedObject>,
                     public std::vector<char> {
public:
    typedef ConstrainedInfo InfoType;
    static const InfoType theInfo;

    explicit OCTET_STRING(const InfoType* info = &theInfo) : ValueKind(info) {}
    OCTET_STRING(size_t count, char byte, const InfoType* info = &theInfo)
        : ValueKind(info), std::vector<char>(count, byte) {}
    explicit OCTET_STRING(const std::vector<char>& bytes, const InfoType* info = &theInfo)
        : ValueKind(info), std::vector<char>(bytes) {}
    static AbstractData* create(const void* info) { return detail::create<OCTET_STRING>(info); }

    OCTET_STRING& operator=(const std::vector<char>& bytes) {
        std::vector<char>::operator=(bytes);
        return *this;
    }
    // The octets unchanged, as a text.
    std::string str() const { return std::string(begin(), end()); }

private:
    int do_compare(const AbstractData& other) const override;
};

// Base of the restricted character strings.
class AbstractString : public detail::ValueKind<AbstractString, ConstrainedObject>,
                       public std::string {
public:
    typedef StringInfo InfoType;

    explicit AbstractString(const InfoType* info) : ValueKind(info) {}
    AbstractString(const InfoType* info, const std::string& text)
        : ValueKind(info), std::string(text) {}
    AbstractString(const InfoType* info, const char* text) : ValueKind(info), std::string(text) {}
    static AbstractData* create(const void* info) { return detail::create<AbstractString>(info); }

    const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }
    using AbstractData::compare;
    using std::string::compare;
    // Two strings compare as values (the closest base wins the overload).
    int compare(const AbstractString& other) const { return AbstractData::compare(other); }
    // Size within bounds (above the upper one only for an extensible size)
    // and every character in the permitted set.
    bool isValid() const;
    bool isStrictlyValid() const;
    AbstractString& operator=(const std::string& text) {
        assign(text);
        return *this;
    }
    AbstractString& operator=(const char* text) {
        assign(text);
        return *this;
    }

private:
    int do_compare(const AbstractData& other) const override;
};

// A restricted string type with its own record, named by its universal tag.
template <unsigned Tag>
class RestrictedString : public AbstractString {
public:
    static const InfoType theInfo;

    explicit RestrictedString(const InfoType* info = &theInfo) : AbstractString(info) {}
    explicit RestrictedString(const std::string& text, const InfoType* info = &theInfo)
        : AbstractString(info, text) {}
    explicit RestrictedString(const char* text, const InfoType* info = &theInfo)
        : AbstractString(info, text) {}
    static AbstractData* create(const void* info) { return detail::create<RestrictedString>(info); }

    RestrictedString& operator=(const std::string& text) {
        assign(text);
        return *this;
    }
    RestrictedString& operator=(const char* text) {
        assign(text);
        return *this;
    }
};

template <>
const StringInfo RestrictedString<18>::theInfo;
template <>
const StringInfo RestrictedString<19>::theInfo;
template <>
const StringInfo RestrictedString<22>::theInfo;
template <>
const StringInfo RestrictedString<26>::theInfo;
template <>
const StringInfo RestrictedString<27>::theInfo;

typedef RestrictedString<18> NumericString;
typedef RestrictedString<19> PrintableString;
typedef RestrictedString<22> IA5String;
typedef RestrictedString<26> VisibleString;
typedef RestrictedString<27> GeneralString;

class BMPString : public detail::ValueKind<BMPString, ConstrainedObject>, public std::wstring {
public:
    typedef BMPStringInfo InfoType;
    static const InfoType theInfo;

    explicit BMPString(const InfoType* info = &theInfo) : ValueKind(info) {}
    explicit BMPString(const std::wstring& text, const InfoType* info = &theInfo)
        : ValueKind(info), std::wstring(text) {}
    explicit BMPString(const wchar_t* text, const InfoType* info = &theInfo)
        : ValueKind(info), std::wstring(text) {}
    static AbstractData* create(const void* info) { return detail::create<BMPString>(info); }

    const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }
    using AbstractData::compare;
    using std::wstring::compare;
    int compare(const BMPString& other) const { return AbstractData::compare(other); }
    bool isValid() const;
    bool isStrictlyValid() const;
    // Within the record's first..last character.
    bool legalCharacter(wchar_t c) const;
    // The index of the first character outside the range; the length when
    // there is none.
    unsigned first_illegal_at() const;
    BMPString& operator=(const std::wstring& text) {
        assign(text);
        return *this;
    }
private:
    int do_compare(const AbstractData& other) const override;
};

}  // namespace ASN1

#endif
