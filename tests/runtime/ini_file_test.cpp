#include "runtime/ini_file.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/support/temp_root.h"

namespace {

using namespace IniFile;

// The tree in one line: per section its name, then per subsection
// "@line{key=value@line|value@line;...}".
std::string render(File& file) {
    std::string out;
    for (GenericIterator<Section> s(file.mFirst), end; s != end; ++s) {
        out += (out.empty() ? "" : " ") + s->mName;
        for (GenericIterator<SubSection> sub(s->mFirst), subEnd; sub != subEnd; sub++) {
            out += "@" + std::to_string(sub->mLineNo) + "{";
            for (Key* k = sub->mFirst; k; k = k->mNext) {
                out += k->mName + "=";
                for (SubKey* v = k->mFirst; v; v = v->mNext)
                    out += v->mValue + "@" + std::to_string(v->mLineNo) + (v->mNext ? "|" : "");
                out += ";";
            }
            out += "}";
        }
    }
    return out;
}

std::string parse(const std::string& text) {
    File file;
    std::istringstream in(text);
    in >> file;
    EXPECT_TRUE(file.mOpened);
    return render(file);
}

std::string withCrLf(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

TEST(IniParser, DialectGivesTheExactTreeWithLfAndCrLf) {
    const struct {
        const char* text;
        const char* tree;
    } cases[] = {
        {"", ""},
        {"[a]\nk = v # note\n", "a@1{k=v@2;}"},
        {"[a]\nk=v#w\n", "a@1{k=v#w@2;}"},
        {"[a]\nk=v #w\n", "a@1{k=v@2;}"},
        {"[a]\nk=a b #c d\n", "a@1{k=a b@2;}"},
        {"[a]\nk= #c\nj=#c\n", "a@1{k=@2;j=@3;}"},
        {"[a]\nx\n[b]\ny=1\n", "a@1{} b@3{y=1@4;}"},
        {"[a]\nk=1\nk=2\n[a]\nk=3", "a@1{k=1@2|2@3;}@4{k=3@5;}"},
        {"[ a b ]\n", " a b @1{}"},
        {"[a\nk=1\n", ""},
        {"[a]\n[b\nk=1\n[c]\nj=2", "a@1{} c@4{j=2@5;}"},
        {"k=1\n# [x]\n[a] ignored [b]\n", "a@3{}"},
        {"[a]\n  key  name  =  some  value  \n", "a@1{key  name=some  value@2;}"},
        {"[a]\n\tk\t=\tv\t\n", "a@1{k\t=\tv\t@2;}"},
        {"[a]\nk#x=1\n==v\n;k=\"v\"\n", "a@1{k#x=1@2;==v@3;;k=\"v\"@4;}"},
        {"[a]\n# k=1\n\n   \nk=", "a@1{k=@5;}"},
        {"[a]\nk=v  ", "a@1{k=v@2;}"},
        {"[a]]x\n[a#]\nk=1\n", "a@1{} a#@2{k=1@3;}"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.tree, parse(c.text)) << c.text;
        EXPECT_EQ(c.tree, parse(withCrLf(c.text))) << "CR LF: " << c.text;
    }
}

TEST(IniFile, OpensBelowTheRootAndLooksUpByAddingEmptyNodes) {
    TempRoot root;
    root.writeFile("/usr/local/etc/server.conf", "[traces]\nsignalling.hdlc=yes\n");
    File file;
    EXPECT_TRUE(file.Open("/usr/local/etc/server.conf"));
    EXPECT_EQ("/usr/local/etc/server.conf", file.mFileName);
    EXPECT_EQ("traces@1{signalling.hdlc=yes@2;}", render(file));

    SubSection& traces = *file["traces"].mFirst;
    EXPECT_EQ(0, traces["missing"].mSubKeyCount);
    EXPECT_EQ(2, traces.mKeyCount);
    EXPECT_EQ(0, file["snmpagent"].mSubSectionCount);
    EXPECT_EQ(2, file.mSectionCount);

    EXPECT_FALSE(file.Open("/usr/local/etc/none.conf"));
    EXPECT_FALSE(file.mOpened);
    EXPECT_EQ(0, file.mSectionCount);
}

TEST(IniFile, DumpLayout) {
    File file;
    std::istringstream in("[s]\nk=v\n");
    in >> file;
    file["s"].mFirst->NewKey("e").CheckEmpty();
    std::ostringstream out;
    file.Dump(out);
    EXPECT_EQ(
        "dumping IniFile::File\nmFileName=\"\"\n\nmSectionCount=1\n"
        "dumping IniFile::Section\nmName=\"s\"\nmSubSectionCount=1\n"
        "dumping IniFile::SubSection\nmLineNo=\"1\"\nmKeyCount=2\n"
        "dumping IniFile::Key\nmName=\"k\"\nmSubKeyCount=1\n"
        "dumping IniFile::SubKey\nmValue=\"v\"\nmLineNo=2\n"
        "dumping IniFile::Key\nmName=\"e\"\nmSubKeyCount=1\n"
        "dumping IniFile::SubKey\nmValue=\"\"\nmLineNo=-1\n",
        out.str());
}

TEST(IniFile, SubKeyValueAccessors) {
    SubKey v("on", 1);
    EXPECT_TRUE(v.GetBool(false));
    v.mValue = "enable";  // a reader's word, not the file model's
    EXPECT_FALSE(v.GetBool(false));
    v.mValue = "0";
    EXPECT_FALSE(v.GetBool(true));
    v.mValue = " -12abc";
    EXPECT_EQ(-12, v.GetInt(5));
    v.mValue = "99999999999999";
    EXPECT_EQ(2147483647, v.GetInt(5));
    v.mValue = "x";
    EXPECT_EQ(5, v.GetInt(5));
    EXPECT_FLOAT_EQ(1.5f, v.GetFloat(1.5f));
    v.SetFloat(1.0f / 3);
    EXPECT_EQ("0.333333", v.mValue);
    v.SetBool(false);
    EXPECT_EQ("no", v.mValue);
}

}  // namespace
