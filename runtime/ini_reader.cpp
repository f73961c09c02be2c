#include "runtime/ini_reader.h"

#include <cerrno>
#include <cstdlib>

namespace IniFile {

namespace Private {

const Symbol<bool> kTruthWords[] = {{"true", true},   {"false", false},   {"yes", true},
                                    {"no", false},    {"enabled", true},  {"disabled", false},
                                    {"enable", true}, {"disable", false}, {"1", true},
                                    {"0", false},     {nullptr, false}};

bool ParseWholeNumber(const char* text, long& out) {
    if (*text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    long n = std::strtol(text, &end, 0);
    if (end == text || *end != '\0' || errno == ERANGE) return false;
    out = n;
    return true;
}

}  // namespace Private

bool& Reader::Field::add(Private::KeyValue* binding) {
    bindings.emplace_back(binding);
    return binding->mParsed;
}

bool Reader::parse(SubSection& sub) {
    for (auto& binding : mRequired.bindings)
        if (!check(*binding, sub, true)) return false;
    for (auto& binding : mOptional.bindings) check(*binding, sub, false);
    return true;
}

std::ostream& Reader::head(const char* kind, const Private::KeyValue& binding) {
    return mOut << mPrefix << kind << " key \"" << binding.name() << "\"";
}

// One binding against the subsection; false when a required key failed.
bool Reader::check(Private::KeyValue& binding, SubSection& sub, bool required) {
    const char* kind = required ? "required" : "optional";
    Key& key = sub[binding.name()];
    binding.mParsed = false;
    if (key.mSubKeyCount == 0) {
        if (required) head(kind, binding) << " not present, line " << sub.mLineNo << std::endl;
        return !required;
    }
    const SubKey& first = *key.mFirst;
    if (key.mSubKeyCount == 1) {
        // A value with a NUL inside cannot be converted as a whole.
        binding.mParsed =
            first.mValue.find('\0') == std::string::npos && binding.do_parse(first.mValue.c_str());
        if (!binding.mParsed)
            head(kind, binding) << " has invalid value=\"" << first.mValue << "\", line "
                                << first.mLineNo << (required ? "" : ". Key will be ignored.")
                                << std::endl;
        return binding.mParsed || !required;
    }
    if (key.mSubKeyCount == 2) {
        head(kind, binding) << " is duplicated!" << std::endl;
        mOut << mPrefix << " first occurence at " << first.mLineNo << " line." << std::endl;
        mOut << mPrefix << " second occurence at " << first.mNext->mLineNo << " line."
             << (required ? "" : " Both keys will be ignored.") << std::endl;
        return !required;
    }
    head(kind, binding) << " specified more than once:";
    for (const SubKey* s = &first; s; s = s->mNext) mOut << " " << s->mLineNo;
    mOut << " lines" << (required ? "" : ". All keys will be ignored.") << std::endl;
    return !required;
}

}  // namespace IniFile
