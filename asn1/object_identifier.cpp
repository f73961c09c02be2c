#include "asn1/object_identifier.h"

#include <algorithm>
#include <boost/polymorphic_cast.hpp>

namespace ASN1 {

const OBJECT_IDENTIFIER::InfoType OBJECT_IDENTIFIER::theInfo = {
    &detail::create<OBJECT_IDENTIFIER>, 6};

namespace {

// One number in base 128, most significant group first, the top bit set on
// every octet but the last.
void putBase128(std::vector<char>& bytes, uint64_t n) {
    char groups[10];
    int count = 0;
    do {
        groups[count++] = static_cast<char>(n & 0x7F);
        n >>= 7;
    } while (n != 0);
    while (count > 1) bytes.push_back(static_cast<char>(groups[--count] | 0x80));
    bytes.push_back(groups[0]);
}

}  // namespace

void OBJECT_IDENTIFIER::encodeCommon(std::vector<char>& bytes) const {
    if (arcs_.size() < 2) return;
    // The first two arcs share one number; 64 bits hold it for any arc.
    putBase128(bytes, uint64_t(arcs_[0]) * 40 + arcs_[1]);
    for (size_t i = 2; i < arcs_.size(); ++i) putBase128(bytes, arcs_[i]);
}

bool OBJECT_IDENTIFIER::decodeCommon(const char* octets, size_t length) {
    arcs_.clear();
    uint64_t number = 0;
    bool first = true;
    for (size_t i = 0; i < length; ++i) {
        unsigned char octet = static_cast<unsigned char>(octets[i]);
        number = (number << 7) | (octet & 0x7F);
        if (number > UINT32_MAX + uint64_t(80)) return false;
        if (octet & 0x80) continue;
        if (first) {
            unsigned x = static_cast<unsigned>(std::min<uint64_t>(number, 80));
            arcs_.push_back(x / 40);
            arcs_.push_back(static_cast<unsigned>(number - x / 40 * 40));
            first = false;
        } else {
            if (number > UINT32_MAX) return false;
            arcs_.push_back(static_cast<unsigned>(number));
        }
        number = 0;
    }
    return length == 0 || (static_cast<unsigned char>(octets[length - 1]) & 0x80) == 0;
}

int OBJECT_IDENTIFIER::do_compare(const AbstractData& other) const {
    const OBJECT_IDENTIFIER& that = *boost::polymorphic_downcast<const OBJECT_IDENTIFIER*>(&other);
    size_t n = std::min(arcs_.size(), that.arcs_.size());
    for (size_t i = 0; i < n; ++i) {
        if (arcs_[i] != that.arcs_[i]) return detail::compareValues(arcs_[i], that.arcs_[i]);
    }
    return detail::compareValues(arcs_.size(), that.arcs_.size());
}

}  // namespace ASN1
