#include "asn1/type_info.h"

namespace ASN1 {

unsigned TwosComplementBits(int32_t value) {
    if (value == 0) return 1;
    uint32_t bits = static_cast<uint32_t>(value);
    // Magnitudes in unsigned arithmetic: value + 1 and -value stay within
    // 1 .. 2^31 for every value, INT32_MAX and INT32_MIN included.
    uint32_t range = value > 0 ? bits + 1u : 0u - bits;
    return CountBits(range) + 1;
}

int lexicographic_compare_bytes(const char* first1, const char* last1, const char* first2,
                                const char* last2) {
    for (; first1 != last1 && first2 != last2; ++first1, ++first2) {
        int a = static_cast<unsigned char>(*first1);
        int b = static_cast<unsigned char>(*first2);
        if (a != b) return a - b;
    }
    if (first1 != last1) return 1;
    if (first2 != last2) return -1;
    return 0;
}

}  // namespace ASN1
