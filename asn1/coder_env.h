#ifndef KORVAND_ASN1_CODER_ENV_H
#define KORVAND_ASN1_CODER_ENV_H

#include <cstring>
#include <iterator>
#include <loki/AssocVector.h>
#include <vector>

#include "asn1/abstract_data.h"

namespace ASN1 {

struct Module;

// Limits of the PER decoder: the most elements of a SEQUENCE OF or SET OF
// and the most extension presence bits of a SEQUENCE (128), and the longest
// string in characters, OCTET STRING in octets and BIT STRING in bits (16384).
extern unsigned MaximumArraySize;
extern unsigned MaximumStringSize;

// The coder environment: which encoding rule a call uses, and a table of
// modules by name (which nothing fills).
class CoderEnv {
public:
    enum EncodingRule { avn = 0, ber = 1, per_Basic_Aligned = 2 };

    // Plain string order of module names.
    struct StringListeralCmp {
        typedef const char* first_argument_type;
        typedef const char* second_argument_type;
        typedef bool result_type;
        bool operator()(const char* a, const char* b) const { return std::strcmp(a, b) < 0; }
    };
    typedef Loki::AssocVector<const char*, Module*, StringListeralCmp> ModuleTable;
    typedef std::back_insert_iterator<std::vector<char>> Output;

    explicit CoderEnv(int rule = per_Basic_Aligned) : encodingRule(rule) {}

    int get_encodingRule() const { return encodingRule; }
    void set_encodingRule(int rule) { encodingRule = rule; }
    ModuleTable& modules() { return moduleTable; }

    // Rule 0: the value in value notation, appended on success.
    bool encodeAVN(const AbstractData& value, Output out) const;
    // Rule 1: the value in BER, appended on success.
    bool encodeBER(const AbstractData& value, Output out) const;
    // Decodes [first, last) into the value by the environment's rule. With
    // deferOpenTypes, open values keep their octets undecoded. A failure
    // leaves the value partly filled; callers discard it.
    bool decode(const char* first, const char* last, AbstractData& value, bool deferOpenTypes);

private:
    int encodingRule;
    ModuleTable moduleTable;
};

// Appends the value's encoding by the environment's rule (aligned PER, BER
// or value notation); nothing on failure.
bool encode(const AbstractData& value, CoderEnv* env, CoderEnv::Output out);
bool decode(const char* first, const char* last, CoderEnv* env, AbstractData& value,
            bool deferOpenTypes);

}  // namespace ASN1

#endif
