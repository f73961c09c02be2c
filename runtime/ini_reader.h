#ifndef KORVAND_RUNTIME_INI_READER_H
#define KORVAND_RUNTIME_INI_READER_H

#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "runtime/ini_file.h"
#include "runtime/ini_symbol.h"

// The typed key binder. A section reader binds the keys it expects to its
// variables, as required or optional, and hands one SubSection to parse,
// which fills the variables and writes one line per missing, repeated or
// unconvertible key behind the reader's prefix. Keys that nothing binds
// are not reported.
namespace IniFile {

namespace Private {

class KeyValue {
public:
    virtual ~KeyValue() = default;
    virtual const char* name() const = 0;
    // Converts `text` into the bound variable; false leaves it unchanged.
    virtual bool do_parse(const char* text) = 0;

    // After parse: the key was present exactly once and converted.
    bool mParsed = false;
};

// The whole text as a long, with automatic base ("0x" hexadecimal, leading
// "0" octal, else decimal); false when empty, not all used, or out of range.
bool ParseWholeNumber(const char* text, long& out);

// The truth words of a boolean binding, first match wins.
extern const Symbol<bool> kTruthWords[];

// An enumeration or integer: a word of the table, else a whole number that
// the type can hold.
template <class T>
class TKeyValue : public KeyValue {
public:
    static_assert(std::is_enum<T>::value || std::is_integral<T>::value,
                  "bind text, bool, an integer or an enumeration with a declared underlying type");
    using Number = typename std::conditional<std::is_enum<T>::value, std::underlying_type<T>,
                                             std::common_type<T>>::type::type;

    TKeyValue(T* var, const char* name, const Symbol<T>* symbols)
        : mVar(var), mName(name), mSymbols(symbols) {}
    const char* name() const override { return mName; }
    bool do_parse(const char* text) override {
        if (const Symbol<T>* s = findSymbol(mSymbols, text)) {
            *mVar = s->value;
            return true;
        }
        long n = 0;
        if (!ParseWholeNumber(text, n) || !fits(n)) return false;
        *mVar = static_cast<T>(static_cast<Number>(n));
        return true;
    }

    T* mVar;
    const char* mName;
    const Symbol<T>* mSymbols;

private:
    static bool fits(long n) {
        using Limits = std::numeric_limits<Number>;
        if (n < 0) return Limits::is_signed && n >= static_cast<long>(Limits::min());
        return static_cast<unsigned long>(n) <= static_cast<unsigned long>(Limits::max());
    }
};

template <>
class TKeyValue<bool> : public KeyValue {
public:
    TKeyValue(bool* var, const char* name, const Symbol<bool>*) : mVar(var), mName(name) {}
    const char* name() const override { return mName; }
    bool do_parse(const char* text) override {
        const Symbol<bool>* s = findSymbol(kTruthWords, text);
        if (s) *mVar = s->value;
        return s != nullptr;
    }

    bool* mVar;
    const char* mName;
};

template <>
class TKeyValue<std::string> : public KeyValue {
public:
    TKeyValue(std::string* var, const char* name, const Symbol<std::string>*)
        : mVar(var), mName(name) {}
    const char* name() const override { return mName; }
    bool do_parse(const char* text) override {
        *mVar = text;
        return true;
    }

    std::string* mVar;
    const char* mName;
};

}  // namespace Private

class Reader {
public:
    // An ordered list of bindings that it owns.
    class Field {
    public:
        // Takes ownership; the reference is the binding's mParsed.
        bool& add(Private::KeyValue* binding);
        // `name` is not copied: it must outlive the reader.
        template <class T>
        bool& add(T* var, const char* name, const Symbol<T>* symbols = nullptr) {
            return add(new Private::TKeyValue<T>(var, name, symbols));
        }

        std::vector<std::unique_ptr<Private::KeyValue>> bindings;
    };

    Reader(const std::string& prefix, std::ostream& out) : mPrefix(prefix), mOut(out) {}

    // False when a required key is missing, repeated or unconvertible (the
    // first such key ends the parse); optional keys only report.
    bool parse(SubSection& sub);

    Field mRequired;
    Field mOptional;
    std::string mPrefix;
    std::ostream& mOut;

private:
    bool check(Private::KeyValue& binding, SubSection& sub, bool required);
    std::ostream& head(const char* kind, const Private::KeyValue& binding);
};

}  // namespace IniFile

#endif
