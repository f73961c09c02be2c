// The configuration parser and the key reader on arbitrary text. Besides
// memory faults it checks that the tree is consistent (counts, links and
// indexes agree) and that carriage returns change nothing.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "runtime/ini_reader.h"

namespace {

template <class Node>
int walk(Node* first, Node* last) {
    int n = 0;
    for (Node* p = first; p; p = p->mNext, ++n) {
        if (p->mNext && p->mNext->mPrev != p) abort();
        if (!p->mNext && p != last) abort();
    }
    return n;
}

void check(IniFile::File& file) {
    if (walk(file.mFirst, file.mLast) != file.mSectionCount) abort();
    if (file.mIndex.size() != static_cast<size_t>(file.mSectionCount)) abort();
    for (IniFile::Section* s = file.mFirst; s; s = s->mNext) {
        if (file.mIndex.at(s->mName) != s) abort();
        if (walk(s->mFirst, s->mLast) != s->mSubSectionCount) abort();
        for (IniFile::SubSection* sub = s->mFirst; sub; sub = sub->mNext) {
            if (walk(sub->mFirst, sub->mLast) != sub->mKeyCount) abort();
            for (IniFile::Key* k = sub->mFirst; k; k = k->mNext)
                if (sub->mIndex.at(k->mName) != k || walk(k->mFirst, k->mLast) != k->mSubKeyCount)
                    abort();
        }
    }
}

enum Kind : int { kA = 1, kB = 2 };
const IniFile::Symbol<Kind> kKinds[] = {{"a", kA}, {"b", kB}, {nullptr, kA}};

void read(IniFile::SubSection& sub) {
    std::ostringstream err;
    IniFile::Reader reader("fuzz: ", err);
    bool flag = false;
    std::string text;
    Kind kind = kA;
    long number = 0;
    reader.mRequired.add(&text, "host");
    reader.mRequired.add(&kind, "name", kKinds);
    reader.mOptional.add(&flag, "flag");
    reader.mOptional.add(&number, "number");
    reader.parse(sub);
}

std::string dump(const std::string& text) {
    IniFile::File file;
    std::istringstream in(text);
    in >> file;
    check(file);
    std::ostringstream out;
    file.Dump(out);
    for (IniFile::Section* s = file.mFirst; s; s = s->mNext)
        for (IniFile::SubSection* sub = s->mFirst; sub; sub = sub->mNext) read(*sub);
    return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string withoutCr = text;
    withoutCr.erase(std::remove(withoutCr.begin(), withoutCr.end(), '\r'), withoutCr.end());
    if (dump(text) != dump(withoutCr)) abort();
    return 0;
}
