#ifndef KORVAND_RUNTIME_INI_FILE_H
#define KORVAND_RUNTIME_INI_FILE_H

#include <istream>
#include <map>
#include <ostream>
#include <string>

// The parsed configuration file. Every occurrence of a section header and of
// a key is kept with its line number, so the section readers can report
// repeated keys precisely: a File holds one Section per header name, a
// Section one SubSection per occurrence of the header, a SubSection one Key
// per key name, a Key one SubKey per occurrence with its value. Children are
// kept in text order in doubly linked lists that their parent owns; named
// children are also found through an exact, case-sensitive index.
namespace IniFile {

// Walks a node's children from its mFirst along mNext; null is the end.
template <class Node>
class GenericIterator {
public:
    explicit GenericIterator(Node* node = nullptr) : node(node) {}
    GenericIterator operator++(int) {
        GenericIterator old = *this;
        if (node) node = node->mNext;
        return old;
    }
    GenericIterator& operator++() {
        if (node) node = node->mNext;
        return *this;
    }
    Node* operator->() const { return node; }
    Node& operator*() const { return *node; }
    bool operator!=(const GenericIterator& o) const { return node != o.node; }
    bool operator==(const GenericIterator& o) const { return node == o.node; }

private:
    Node* node;
};

class SubKey {
public:
    SubKey(const std::string& value, int line) : mValue(value), mLineNo(line) {}
    SubKey(const SubKey&) = delete;
    SubKey& operator=(const SubKey&) = delete;

    bool GetBool(bool def) const;
    void SetBool(bool b);
    int GetInt(int def) const;
    void SetInt(int n);
    float GetFloat(float def) const;
    void SetFloat(float f);
    void Dump(std::ostream& os) const;

    std::string mValue;
    int mLineNo;
    SubKey* mNext = nullptr;
    SubKey* mPrev = nullptr;
};

class Key {
public:
    explicit Key(const std::string& name) : mName(name) {}
    ~Key() { CleanSubKeys(); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    SubKey& NewSubKey(const std::string& value, int line);
    void CleanSubKeys();
    void CheckEmpty();
    void Dump(std::ostream& os) const;

    std::string mName;
    int mSubKeyCount = 0;
    SubKey* mFirst = nullptr;
    SubKey* mLast = nullptr;
    Key* mNext = nullptr;
    Key* mPrev = nullptr;
};

class SubSection {
public:
    explicit SubSection(int line) : mLineNo(line) {}
    ~SubSection() { CleanKeys(); }
    SubSection(const SubSection&) = delete;
    SubSection& operator=(const SubSection&) = delete;

    // The key of that name, created without values when missing.
    Key& operator[](const std::string& name);
    Key& NewKey(const std::string& name);
    SubKey& NewSubKey(const std::string& name, const std::string& value, int line);
    void CleanKeys();
    void Dump(std::ostream& os) const;

    int mLineNo;
    int mKeyCount = 0;
    Key* mFirst = nullptr;
    Key* mLast = nullptr;
    SubSection* mNext = nullptr;
    SubSection* mPrev = nullptr;
    std::map<std::string, Key*> mIndex;
};

class Section {
public:
    explicit Section(const std::string& name) : mName(name) {}
    ~Section() { CleanSubSections(); }
    Section(const Section&) = delete;
    Section& operator=(const Section&) = delete;

    SubSection& NewSubSection(int line);
    void CleanSubSections();
    void CheckEmpty();
    void Dump(std::ostream& os) const;

    std::string mName;
    int mSubSectionCount = 0;
    SubSection* mFirst = nullptr;
    SubSection* mLast = nullptr;
    Section* mNext = nullptr;
    Section* mPrev = nullptr;
};

class File {
public:
    File() = default;
    explicit File(const std::string& path) { Open(path); }
    ~File() { CleanSections(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Reads the file at `path` (taken below the filesystem root); false when
    // it could not be opened, which leaves the tree empty.
    bool Open(const std::string& path);
    void IntOpen();
    // Parses the stream to its end; malformed text is skipped silently.
    void IntOpenStream(std::istream& in);
    void Close();
    void Sync() {}

    // The section of that name, created empty when missing.
    Section& operator[](const std::string& name);
    Section& NewSection(const std::string& name);
    SubSection& NewSubSection(const std::string& name, int line);
    void CleanSections();
    void Dump(std::ostream& os) const;

    std::string mFileName;
    bool mOpened = false;
    int mSectionCount = 0;
    Section* mFirst = nullptr;
    Section* mLast = nullptr;
    std::map<std::string, Section*> mIndex;
};

std::istream& operator>>(std::istream& in, File& file);

}  // namespace IniFile

#endif
