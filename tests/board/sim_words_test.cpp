#include "board/sim_words.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(SimWords, NumbersAreWholeWordsInRange) {
    long v = 0;
    EXPECT_TRUE(SimWords::number("-8200", v));
    EXPECT_EQ(-8200, v);
    EXPECT_TRUE(SimWords::number("0x1F", v));
    EXPECT_EQ(31, v);
    EXPECT_TRUE(SimWords::number("-9223372036854775808", v));
    EXPECT_EQ(LONG_MIN, v);
    for (const char* bad : {"", "-", "0x", "+5", "--5", "-+5", " 5", "5 ", "5x", "0x-1", "0x0x10",
                            "9223372036854775808", "99999999999999999999"})
        EXPECT_FALSE(SimWords::number(bad, v)) << '"' << bad << '"';
    EXPECT_FALSE(SimWords::number("10240", 0, 10239, v));
    uint32_t w = 0;
    EXPECT_TRUE(SimWords::word32("0xFFFFFFFF", w));
    EXPECT_EQ(0xFFFFFFFFu, w);
    EXPECT_FALSE(SimWords::word32("4294967296", w));
    EXPECT_FALSE(SimWords::word32("-1", w));
}

TEST(SimWords, BytesAreHexPairs) {
    std::vector<uint8_t> out{9};
    EXPECT_TRUE(SimWords::bytes("00aBfF", out));
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0xAB, 0xFF}), out);
    EXPECT_EQ("00abff", SimWords::hex(out));
    EXPECT_TRUE(SimWords::bytes("", out));
    EXPECT_TRUE(out.empty());
    out = {9};
    EXPECT_FALSE(SimWords::bytes("abc", out));
    EXPECT_FALSE(SimWords::bytes("0g", out));
    EXPECT_EQ(std::vector<uint8_t>{9}, out);  // untouched when refused
}

}  // namespace
