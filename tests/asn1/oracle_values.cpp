// Prints random values of every type of the named modules for an independent
// codec to encode, one value per line, fields separated by tabs:
//   TYPE  ERLANG-MODULE  ERLANG-TYPE  BER-COMPARABLE  VALUE-NOTATION  ERLANG-TERM
// Values stay within their types (enumerations within 0..largest), strings
// are printable, and a SEQUENCE with any extension addition holds its last
// one: then X.691 codecs and this project's write the same aligned PER. The
// BER of a value is comparable when no ENUMERATED goes out with its own
// universal tag, which the oracle copy turns into INTEGER's.
//
// Usage: asn1_oracle_values SEED COUNT MODULE...

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "asn1/gen/modules.h"
#include "tests/asn1/erlang_term.h"
#include "tests/asn1/random_value.h"

namespace {

const unsigned EnumeratedTag = 10;

// Finds an ENUMERATED that BER writes with its own tag: an element of a
// SEQUENCE OF (the top level is checked by the caller).
class OwnTagEnumerated : public ASN1::ConstVisitor {
public:
    using ASN1::ConstVisitor::do_visit;
    bool do_visit(const ASN1::CHOICE& value) override {
        return value.getSelection() == nullptr || value.getSelection()->accept(*this);
    }
    bool do_visit(const ASN1::SEQUENCE_OF_Base& value) override {
        if (value.info()->elementInfo->tag == EnumeratedTag) return false;
        for (const ASN1::AbstractData& element : value) {
            if (!element.accept(*this)) return false;
        }
        return true;
    }
    bool visitExtensionRoot(const ASN1::SEQUENCE& value, int index) override {
        const ASN1::AbstractData* field = value.getField(static_cast<unsigned>(index));
        return field == nullptr || field->accept(*this);
    }
    bool visitKnownExtension(const ASN1::SEQUENCE& value, int index) override {
        return visitExtensionRoot(value, index);
    }
};

// Value notation on one line: the line breaks and indentation of the
// writer become single spaces (strings hold no line breaks here).
std::string oneLine(const ASN1::AbstractData& value) {
    std::string text = value.asValueNotation(), out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') {
            out += text[i];
            continue;
        }
        while (i + 1 < text.size() && text[i + 1] == ' ') ++i;
        out += ' ';
    }
    return out;
}

bool printValue(const std::string& module, const ASN1::ModuleType& type, uint32_t seed,
                unsigned variant) {
    ASN1Test::RandomValueOptions options;
    options.budget = 40;
    options.maxElements = 3;
    options.maxStringLength = 10;
    options.encodableOnly = true;
    options.printableStrings = true;
    options.wholeExtensionMaps = true;
    // The first value has every OPTIONAL component absent, the second every
    // one present, the others each by chance.
    options.presence = variant == 0   ? ASN1Test::RandomValueOptions::NonePresent
                       : variant == 1 ? ASN1Test::RandomValueOptions::AllPresent
                                      : ASN1Test::RandomValueOptions::RandomPresence;
    ASN1Test::RandomValue random(seed, options);
    std::unique_ptr<ASN1::AbstractData> value = random.make(type.info);
    std::ostringstream term;
    ASN1Test::ErlangTermWriter writer(term);
    if (!value || !value->accept(writer)) return false;
    OwnTagEnumerated finder;
    bool berComparable = type.info->tag != EnumeratedTag && value->accept(finder);
    std::cout << module << '.' << type.name << '\t' << ASN1Test::ErlangTermWriter::atom(module.c_str()) << '\t'
              << ASN1Test::ErlangTermWriter::atom(type.name) << '\t' << berComparable << '\t'
              << oneLine(*value) << '\t' << term.str() << '\n';
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: asn1_oracle_values SEED COUNT MODULE...\n";
        return 1;
    }
    uint32_t seed = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10));
    unsigned count = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    for (int m = 3; m < argc; ++m) {
        const ASN1::Module* module = ASN1::findModule(argv[m]);
        if (module == nullptr) {
            std::cerr << "asn1_oracle_values: no module " << argv[m] << '\n';
            return 1;
        }
        for (unsigned t = 0; t < module->typeCount; ++t) {
            for (unsigned k = 0; k < count; ++k) {
                if (!printValue(argv[m], module->types[t], seed++, k)) {
                    std::cerr << "asn1_oracle_values: no value of " << module->types[t].name << '\n';
                    return 1;
                }
            }
        }
    }
    return 0;
}
