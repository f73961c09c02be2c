#include <iomanip>
#include <sstream>

#include <gtest/gtest.h>

#include "runtime/ext_table.h"
#include "runtime/hex_out.h"
#include "runtime/measure.h"
#include "runtime/stream_items.h"
#include "runtime/version.h"

namespace {

TEST(Measure, KeepsMinMaxLastAverageAndCount) {
    Measure m;
    for (unsigned v : {5u, 2u, 9u}) m.sample(v);
    std::ostringstream os;
    os << m;
    EXPECT_EQ("min=2 max=9 avg=5 counter=3", os.str());
    EXPECT_EQ(9u, m.last);
}

TEST(Profile, DumpListsNewestFirstAndForgetsDestroyedPoints) {
    Profile::Point older("older");
    std::ostringstream os;
    {
        Profile::Point newer("newer");
        newer.sample(3);
        Profile::dump(os);
    }
    EXPECT_EQ("[newer]: min=3 max=3 avg=3 counter=1\n[older]: min=0 max=0 avg=0 counter=0\n", os.str());
    std::ostringstream after;
    Profile::dump(after);
    EXPECT_EQ("[older]: min=0 max=0 avg=0 counter=0\n", after.str());
}

TEST(Table, CentresCutsAndCloses) {
    ext::Table t(4, 3);
    std::ostringstream os;
    t.row(os, "ab");
    t.row(os, "abcdef");
    t.row(os, "dropped");
    t.delimeter(os);
    EXPECT_EQ("| ab |abc|\n+----+---+\n", os.str());

    std::ostringstream half;
    t.resetrow();
    t.row(half, "x");
    t.finalize(half);
    t.finalize(half);  // nothing open: writes nothing
    EXPECT_EQ("| x  |   |\n", half.str());

    std::ostringstream gap;
    t.gap(gap);
    EXPECT_EQ("|    |   |\n", gap.str());
}

TEST(Table, SentryCollectsCells) {
    ext::Table t(3, 5);
    std::ostringstream os;
    ext::Sentry s(os, t);
    ext::beginrow(s);
    s << 7 << "a";
    ext::nextrow(s);
    s << -1;
    ext::nextrow(s);
    EXPECT_EQ("|7a | -1  |\n", os.str());
}

TEST(Hex, BytesAndNumbers) {
    const unsigned char bytes[] = {0x0A, 0xFF, 0x10};
    std::ostringstream os;
    os << ext::OutBufInHex(bytes, sizeof bytes) << 42;
    EXPECT_EQ("0A FF 10 42", os.str());  // flags restored: decimal again
    std::ostringstream empty;
    empty << ext::OutBufInHex(bytes, bytes);
    EXPECT_EQ("", empty.str());
    std::ostringstream num;
    num << ext::OutUnsignedInHex(0xAB, 4) << " " << ext::OutUnsignedInHex(0x1F) << std::setw(3) << 1;
    EXPECT_EQ("0x00AB 0x1F  1", num.str());
}

TEST(StreamItems, HeaderAndQuotes) {
    struct Link {
        void PutHeader(std::ostream& os) const { os << "link [7]: "; }
    } link;
    std::ostringstream os;
    os << ext::header(link) << "state " << ext::quoted("up") << ' ' << ext::quoted(3);
    EXPECT_EQ("link [7]: state \"up\" \"3\"", os.str());
}

TEST(Version, RecordAndTypeNames) {
    std::ostringstream os;
    os << Version::current;
    EXPECT_EQ("T250114-1616", os.str());
    EXPECT_STREQ("unknown", version_string(static_cast<Version::Type>(9)));
    EXPECT_STREQ("U", version_suffix(static_cast<Version::Type>(-1)));
}

}  // namespace
