#include "runtime/ini_file.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "board/fs_root.h"
#include "runtime/ini_symbol.h"

namespace IniFile {

namespace {

// Children lists: append at the tail, delete them all.
template <class Node>
Node& appendNode(Node*& first, Node*& last, int& count, Node* node) {
    node->mPrev = last;
    node->mNext = nullptr;
    if (last)
        last->mNext = node;
    else
        first = node;
    last = node;
    ++count;
    return *node;
}

// A named child: appended to the list and entered in the index.
template <class Node>
Node& appendIndexed(std::map<std::string, Node*>& index, Node*& first, Node*& last, int& count,
                    const std::string& name) {
    Node& node = appendNode(first, last, count, new Node(name));
    index[name] = &node;
    return node;
}

template <class Node>
Node* findIndexed(const std::map<std::string, Node*>& index, const std::string& name) {
    auto it = index.find(name);
    return it == index.end() ? nullptr : it->second;
}

template <class Node>
void deleteNodes(Node*& first, Node*& last, int& count) {
    while (Node* node = first) {
        first = node->mNext;
        delete node;
    }
    last = nullptr;
    count = 0;
}

template <class Node>
void dumpChildren(std::ostream& os, const Node* first) {
    for (const Node* n = first; n; n = n->mNext) n->Dump(os);
}

// "dumping IniFile::<kind>", "<field>=" with the value in double quotes,
// then "<countField>=" and the count.
void dumpHead(std::ostream& os, const char* kind, const char* field, const std::string& value,
              const char* countField, int count) {
    os << "dumping IniFile::" << kind << "\n";
    os << field << "=\"" << value << "\"\n";
    os << countField << "=" << count << "\n";
}

const Symbol<bool> kSubKeyTruthWords[] = {{"true", true}, {"false", false}, {"yes", true},
                                          {"no", false},  {"1", true},      {"0", false},
                                          {"on", true},   {"off", false},   {nullptr, false}};

}  // namespace

// ---- SubKey -------------------------------------------------------------------

bool SubKey::GetBool(bool def) const {
    const Symbol<bool>* s = findSymbol(kSubKeyTruthWords, mValue.c_str());
    return s ? s->value : def;
}

void SubKey::SetBool(bool b) {
    mValue = b ? "yes" : "no";
}

// As "%d" reads it, but an out-of-range number is clamped instead of
// being undefined.
int SubKey::GetInt(int def) const {
    const char* text = mValue.c_str();
    char* end = nullptr;
    long n = std::strtol(text, &end, 10);
    if (end == text) return def;
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return static_cast<int>(n);
}

void SubKey::SetInt(int n) {
    mValue = std::to_string(n);
}

float SubKey::GetFloat(float def) const {
    const char* text = mValue.c_str();
    char* end = nullptr;
    float f = std::strtof(text, &end);
    return end == text ? def : f;
}

void SubKey::SetFloat(float f) {
    std::ostringstream s;
    s << f;
    mValue = s.str();
}

void SubKey::Dump(std::ostream& os) const {
    os << "dumping IniFile::SubKey\n";
    os << "mValue=\"" << mValue << "\"\n";
    os << "mLineNo=" << mLineNo << "\n";
}

// ---- Key ----------------------------------------------------------------------

SubKey& Key::NewSubKey(const std::string& value, int line) {
    return appendNode(mFirst, mLast, mSubKeyCount, new SubKey(value, line));
}

void Key::CleanSubKeys() {
    deleteNodes(mFirst, mLast, mSubKeyCount);
}

void Key::CheckEmpty() {
    if (mSubKeyCount == 0) NewSubKey("", -1);
}

void Key::Dump(std::ostream& os) const {
    dumpHead(os, "Key", "mName", mName, "mSubKeyCount", mSubKeyCount);
    dumpChildren(os, mFirst);
}

// ---- SubSection ---------------------------------------------------------------

Key& SubSection::operator[](const std::string& name) {
    Key* key = findIndexed(mIndex, name);
    return key ? *key : NewKey(name);
}

Key& SubSection::NewKey(const std::string& name) {
    return appendIndexed(mIndex, mFirst, mLast, mKeyCount, name);
}

SubKey& SubSection::NewSubKey(const std::string& name, const std::string& value, int line) {
    return (*this)[name].NewSubKey(value, line);
}

void SubSection::CleanKeys() {
    mIndex.clear();
    deleteNodes(mFirst, mLast, mKeyCount);
}

void SubSection::Dump(std::ostream& os) const {
    dumpHead(os, "SubSection", "mLineNo", std::to_string(mLineNo), "mKeyCount", mKeyCount);
    dumpChildren(os, mFirst);
}

// ---- Section ------------------------------------------------------------------

SubSection& Section::NewSubSection(int line) {
    return appendNode(mFirst, mLast, mSubSectionCount, new SubSection(line));
}

void Section::CleanSubSections() {
    deleteNodes(mFirst, mLast, mSubSectionCount);
}

void Section::CheckEmpty() {
    if (mSubSectionCount == 0) NewSubSection(-1);
}

void Section::Dump(std::ostream& os) const {
    dumpHead(os, "Section", "mName", mName, "mSubSectionCount", mSubSectionCount);
    dumpChildren(os, mFirst);
}

// ---- File ---------------------------------------------------------------------

bool File::Open(const std::string& path) {
    Close();
    mFileName = path;
    IntOpen();
    return mOpened;
}

void File::IntOpen() {
    std::ifstream in(Fs::path(mFileName), std::ios::binary);
    if (in.is_open()) IntOpenStream(in);
}

void File::Close() {
    CleanSections();
    mOpened = false;
}

Section& File::operator[](const std::string& name) {
    Section* section = findIndexed(mIndex, name);
    return section ? *section : NewSection(name);
}

Section& File::NewSection(const std::string& name) {
    return appendIndexed(mIndex, mFirst, mLast, mSectionCount, name);
}

SubSection& File::NewSubSection(const std::string& name, int line) {
    return (*this)[name].NewSubSection(line);
}

void File::CleanSections() {
    mIndex.clear();
    deleteNodes(mFirst, mLast, mSectionCount);
}

void File::Dump(std::ostream& os) const {
    os << "dumping IniFile::File\n";
    os << "mFileName=\"" << mFileName << "\"\n";
    os << "\n";
    os << "mSectionCount=" << mSectionCount << "\n";
    dumpChildren(os, mFirst);
}

std::istream& operator>>(std::istream& in, File& file) {
    file.Close();
    file.mFileName = "";
    file.IntOpenStream(in);
    return in;
}

}  // namespace IniFile
