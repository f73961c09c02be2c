#include "asn1/string_values.h"

#include <algorithm>
#include <boost/polymorphic_cast.hpp>

namespace ASN1 {

namespace detail {
constexpr CharRange<128> ia5Characters(0);
}  // namespace detail

namespace {

using detail::CharRange;
constexpr char numericChars[] = " 0123456789";
constexpr char printableChars[] =
    " '()+,-./0123456789:=?ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr CharRange<95> visibleChars(32);
constexpr CharRange<256> generalChars(0);

static_assert(sizeof(numericChars) - 1 == 11, "numeric set");
static_assert(sizeof(printableChars) - 1 == 74, "printable set");

}  // namespace

const BIT_STRING::InfoType BIT_STRING::theInfo = {
    {&detail::create<BIT_STRING>, 3}, Unconstrained, 0, UINT_MAX};
const OCTET_STRING::InfoType OCTET_STRING::theInfo = {
    {&detail::create<OCTET_STRING>, 4}, Unconstrained, 0, UINT_MAX};

template <>
const StringInfo RestrictedString<18>::theInfo = {
    {{&detail::create<NumericString>, 18}, Unconstrained, 0, UINT_MAX}, numericChars, 11, 4, 4, 4};
template <>
const StringInfo RestrictedString<19>::theInfo = {
    {{&detail::create<PrintableString>, 19}, Unconstrained, 0, UINT_MAX}, printableChars, 74, 7,
    7, 8};
template <>
const StringInfo RestrictedString<22>::theInfo = {
    {{&detail::create<IA5String>, 22}, Unconstrained, 0, UINT_MAX}, detail::ia5Characters.chars, 128, 7, 7, 8};
template <>
const StringInfo RestrictedString<26>::theInfo = {
    {{&detail::create<VisibleString>, 26}, Unconstrained, 0, UINT_MAX}, visibleChars.chars, 95, 7,
    7, 8};
template <>
const StringInfo RestrictedString<27>::theInfo = {
    {{&detail::create<GeneralString>, 27}, Unconstrained, 0, UINT_MAX}, generalChars.chars, 256,
    8, 8, 8};

const BMPString::InfoType BMPString::theInfo = {
    {{&detail::create<BMPString>, 30}, Unconstrained, 0, UINT_MAX}, 0, 0xFFFF, 16, 16};

void BIT_STRING::resize(unsigned bits) {
    bitData.resize((static_cast<size_t>(bits) + 7) / 8);
    totalBits = bits;
    clearUnusedBits();
}

void BIT_STRING::assign(const char* bytes, unsigned bits) {
    bitData.assign(bytes, bytes + (static_cast<size_t>(bits) + 7) / 8);
    totalBits = bits;
    clearUnusedBits();
}

void BIT_STRING::clearUnusedBits() {
    if (totalBits % 8 != 0) bitData.back() &= static_cast<char>(0xFF00u >> (totalBits % 8));
}

bool BIT_STRING::operator[](unsigned i) const {
    return i < totalBits && (static_cast<unsigned char>(bitData[i / 8]) & (0x80u >> (i % 8)));
}

void BIT_STRING::set(unsigned i, bool on) {
    if (i >= totalBits) return;
    char mask = static_cast<char>(0x80u >> (i % 8));
    if (on) {
        bitData[i / 8] |= mask;
    } else {
        bitData[i / 8] &= static_cast<char>(~mask);
    }
}

int BIT_STRING::do_compare(const AbstractData& other) const {
    const BIT_STRING& that = *boost::polymorphic_downcast<const BIT_STRING*>(&other);
    size_t n = std::min(bitData.size(), that.bitData.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned a = static_cast<unsigned char>(bitData[i]);
        unsigned b = static_cast<unsigned char>(that.bitData[i]);
        // The side that has the differing bits set is the greater.
        if (a != b) return int(a & (a ^ b)) - int(b & (a ^ b));
    }
    return detail::compareValues(totalBits, that.totalBits);
}

int OCTET_STRING::do_compare(const AbstractData& other) const {
    const OCTET_STRING& that = *boost::polymorphic_downcast<const OCTET_STRING*>(&other);
    return lexicographic_compare_bytes(data(), data() + size(), that.data(),
                                       that.data() + that.size());
}

int AbstractString::do_compare(const AbstractData& other) const {
    const AbstractString& that = *boost::polymorphic_downcast<const AbstractString*>(&other);
    return lexicographic_compare_bytes(data(), data() + size(), that.data(),
                                       that.data() + that.size());
}

int BMPString::do_compare(const AbstractData& other) const {
    const BMPString& that = *boost::polymorphic_downcast<const BMPString*>(&other);
    size_t n = std::min(size(), that.size());
    for (size_t i = 0; i < n; ++i) {
        if ((*this)[i] != that[i]) return detail::compareValues((*this)[i], that[i]);
    }
    return detail::compareValues(size(), that.size());
}

}  // namespace ASN1
