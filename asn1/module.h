#ifndef KORVAND_ASN1_MODULE_H
#define KORVAND_ASN1_MODULE_H

#include <string>

#include "asn1/type_info.h"

namespace ASN1 {

// A named type of a module with its record.
struct ModuleType {
    const char* name;
    const TypeInfo* info;
};

// The named types of one generated module, sorted by name, so that tools
// and tests can reach a type by its name ("LGCP", "Message").
struct Module {
    const char* name;
    const ModuleType* types;
    unsigned typeCount;

    // The record of the named type; null when the module has none.
    const TypeInfo* findType(const std::string& typeName) const;
};

}  // namespace ASN1

#endif
