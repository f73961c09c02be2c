#include "runtime/ini_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

using namespace IniFile;

enum AddressType : int { kNone = 0, kLemzgw = 1, kQorb = 2, kLemzgwZq = 4 };
const Symbol<AddressType> kAddressTypes[] = {
    {"lemzgw", kLemzgw}, {"lemzgw.zq", kLemzgwZq}, {"qorb", kQorb}, {nullptr, kNone}};

// The first subsection of section "s" of `text`, which starts on line 1.
struct Block {
    explicit Block(const std::string& text) {
        std::istringstream in("[s]\n" + text);
        in >> file;
    }
    SubSection& sub() { return *file["s"].mFirst; }
    File file;
};

TEST(IniReader, RequiredKeyProblemsEndTheParseWithTheirText) {
    const struct {
        const char* text;
        const char* report;
    } cases[] = {
        {"", "snmpagent: required key \"host\" not present, line 1\n"},
        {"host=\n", "snmpagent: required key \"host\" has invalid value=\"\", line 2\n"},
        {"host=1\nhost=2\n",
         "snmpagent: required key \"host\" is duplicated!\n"
         "snmpagent:  first occurence at 2 line.\n"
         "snmpagent:  second occurence at 3 line.\n"},
        {"host=1\nx=0\nhost=2\nhost=3\n",
         "snmpagent: required key \"host\" specified more than once: 2 4 5 lines\n"},
    };
    for (const auto& c : cases) {
        Block b(c.text);
        std::ostringstream err;
        Reader reader("snmpagent: ", err);
        bool host = false, later = true, optional = true;
        bool& hostParsed = reader.mRequired.add(&host, "host");
        bool& laterParsed = reader.mRequired.add(&later, "later");
        reader.mOptional.add(&optional, "optional");
        EXPECT_FALSE(reader.parse(b.sub())) << c.text;
        EXPECT_EQ(c.report, err.str());
        EXPECT_FALSE(hostParsed);
        EXPECT_FALSE(laterParsed);
        EXPECT_TRUE(later && optional);  // never examined
        EXPECT_EQ(0, b.sub()["later"].mSubKeyCount);
    }
}

TEST(IniReader, OptionalKeyProblemsAreReportedAndIgnored) {
    Block b("bad=on\ndup=yes\ndup=no\nmany=1\nmany=1\nmany=0\ngood=enable\n");
    std::ostringstream err;
    Reader reader("traces: ", err);
    bool bad = false, dup = false, many = true, good = false, absent = true;
    bool& badParsed = reader.mOptional.add(&bad, "bad");
    reader.mOptional.add(&dup, "dup");
    reader.mOptional.add(&many, "many");
    bool& goodParsed = reader.mOptional.add(&good, "good");
    bool& absentParsed = reader.mOptional.add(&absent, "absent");
    EXPECT_TRUE(reader.parse(b.sub()));
    EXPECT_EQ(
        "traces: optional key \"bad\" has invalid value=\"on\", line 2. Key will be ignored.\n"
        "traces: optional key \"dup\" is duplicated!\n"
        "traces:  first occurence at 3 line.\n"
        "traces:  second occurence at 4 line. Both keys will be ignored.\n"
        "traces: optional key \"many\" specified more than once: 5 6 7 lines. All keys will be "
        "ignored.\n",
        err.str());
    EXPECT_FALSE(badParsed || bad || dup || absentParsed);
    EXPECT_TRUE(many && absent && goodParsed && good);
    EXPECT_EQ(0, b.sub()["absent"].mSubKeyCount);
}

TEST(IniReader, ConvertsTruthWordsTextAndEnumerations) {
    Block b(
        "t=true\nf=disabled\nn=No\ntext=\nword=lemzgw.zq\ndec=12\nhex=0x1F\noct=010\n"
        "junk=12x\nwide=4294967296\n");
    std::ostringstream err;
    Reader reader("p: ", err);
    bool t = false, f = true, n = true;
    std::string text = "x";
    AddressType word = kNone, dec = kNone, hex = kNone, oct = kNone, junk = kQorb, wide = kQorb;
    reader.mRequired.add(&t, "t");
    reader.mRequired.add(&f, "f");
    reader.mRequired.add(&text, "text");
    reader.mRequired.add(&word, "word", kAddressTypes);
    reader.mRequired.add(&dec, "dec", kAddressTypes);
    reader.mRequired.add(&hex, "hex", kAddressTypes);
    reader.mRequired.add(&oct, "oct", kAddressTypes);
    bool& nParsed = reader.mOptional.add(&n, "n");
    bool& junkParsed = reader.mOptional.add(&junk, "junk", kAddressTypes);
    bool& wideParsed = reader.mOptional.add(&wide, "wide", kAddressTypes);
    EXPECT_TRUE(reader.parse(b.sub())) << err.str();
    EXPECT_TRUE(t);
    EXPECT_FALSE(f);
    EXPECT_EQ("", text);
    EXPECT_EQ(kLemzgwZq, word);
    EXPECT_EQ(12, dec);
    EXPECT_EQ(31, hex);
    EXPECT_EQ(8, oct);
    // Refused values leave the variables as they were.
    EXPECT_FALSE(nParsed || junkParsed || wideParsed);
    EXPECT_TRUE(n);
    EXPECT_EQ(kQorb, junk);
    EXPECT_EQ(kQorb, wide);
}

TEST(IniReader, NothingBoundAndAnEmptySubsectionParse) {
    Block b("");
    std::ostringstream err;
    Reader reader("p: ", err);
    bool v = false;
    bool& parsed = reader.mOptional.add(&v, "v");
    EXPECT_TRUE(reader.parse(b.sub()));
    EXPECT_FALSE(parsed);
    EXPECT_EQ("", err.str());
}

}  // namespace
