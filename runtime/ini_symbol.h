#ifndef KORVAND_RUNTIME_INI_SYMBOL_H
#define KORVAND_RUNTIME_INI_SYMBOL_H

#include <cstring>

namespace IniFile {

// One entry of a table of words for a key's value; a table ends with an
// entry whose name is null.
template <class T>
struct Symbol {
    const char* name;
    T value;
};

// The first entry whose name equals `text` exactly, or null.
template <class T>
const Symbol<T>* findSymbol(const Symbol<T>* table, const char* text) {
    for (const Symbol<T>* s = table; s && s->name; ++s)
        if (std::strcmp(s->name, text) == 0) return s;
    return nullptr;
}

}  // namespace IniFile

#endif
