#include "asn1/module.h"

#include <algorithm>
#include <cstring>

namespace ASN1 {

const TypeInfo* Module::findType(const std::string& typeName) const {
    const ModuleType* end = types + typeCount;
    const ModuleType* found = std::lower_bound(
        types, end, typeName.c_str(),
        [](const ModuleType& t, const char* name) { return std::strcmp(t.name, name) < 0; });
    return found != end && typeName == found->name ? found->info : nullptr;
}

}  // namespace ASN1
