// The RTCP source description and goodbye packets: their layout and the
// rules that shorten them to the buffer.

#include "rtp/rtcp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Encodes into a heap buffer of exactly `size` bytes.
Bytes encode(const RTPC::Msg& m, unsigned size = 1024) {
    std::vector<char> buffer(size + (size == 0));
    unsigned n = m.encode(buffer.data(), size);
    return Bytes(buffer.begin(), buffer.begin() + n);
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(Rtcp, GoodbyeAndEmptyDescription) {
    EXPECT_EQ((Bytes{0x81, 203, 0, 4, 0x12, 0x34, 0x56, 0x78, 11} + text("session end")),
              encode(RTPC::BYE(0x12345678, "session end")));
    EXPECT_EQ((Bytes{0x81, 203, 0, 1, 0, 0, 0, 9}), encode(RTPC::BYE(9, "")));
    EXPECT_EQ((Bytes{0x81, 202, 0, 1, 0, 0, 0, 9}), encode(RTPC::SDES(9)));
    // A reason of 300 bytes is cut to 255 and padded.
    Bytes bye = encode(RTPC::BYE(1, std::string(300, 'r')));
    EXPECT_EQ(264u, bye.size());
    EXPECT_EQ(255, bye[8]);
    EXPECT_EQ((Bytes{0, 65}), Bytes(bye.begin() + 2, bye.begin() + 4));
}

TEST(Rtcp, DescriptionItemsAndTheirRoom) {
    RTPC::SDES sdes(0xA0B0C0D0);
    sdes.add(RTPC::SDES::Item::CNAME, "ab");
    sdes.add(RTPC::SDES::Item::PHONE, "12345");
    Bytes full = Bytes{0x81, 202, 0, 4, 0xA0, 0xB0, 0xC0, 0xD0, 1, 2} + text("ab") + Bytes{4, 5} + text("12345") +
                 Bytes{0};
    EXPECT_EQ(full, encode(sdes));
    // Room for the first item with its end byte only: the second is left out.
    EXPECT_EQ((Bytes{0x81, 202, 0, 3, 0xA0, 0xB0, 0xC0, 0xD0, 1, 2, 'a', 'b', 0, 0, 0, 0}), encode(sdes, 16));
    // Under 8 bytes after the SSRC: no items and no end byte.
    EXPECT_EQ((Bytes{0x81, 202, 0, 1, 0xA0, 0xB0, 0xC0, 0xD0}), encode(sdes, 15));
    // An item text of 300 bytes goes as 255.
    RTPC::SDES longItem(1);
    longItem.add(RTPC::SDES::Item::CNAME, std::string(300, 'c'));
    Bytes l = encode(longItem);
    EXPECT_EQ(268u, l.size());
    EXPECT_EQ(255, l[9]);
}

TEST(Rtcp, BuffersThatAreTooSmallOrNoMultipleOfFour) {
    EXPECT_TRUE(encode(RTPC::BYE(1, "x"), 7).empty());
    EXPECT_TRUE(encode(RTPC::SDES(1), 0).empty());
    // Every size: the packet stays inside the buffer (AddressSanitizer) and
    // is whole 32-bit words with a length field that says so.
    RTPC::SDES sdes(7);
    sdes.add(RTPC::SDES::Item::CNAME, "Vastrel Tramwick");
    sdes.add(RTPC::SDES::Item::EMAIL, std::string(40, 'e'));
    RTPC::BYE bye(7, std::string(50, 'b'));
    for (unsigned size = 8; size < 96; ++size) {
        for (const RTPC::Msg* m : {static_cast<const RTPC::Msg*>(&sdes), static_cast<const RTPC::Msg*>(&bye)}) {
            Bytes p = encode(*m, size);
            ASSERT_LE(p.size(), size);
            EXPECT_EQ(p.size(), 4u * (p[2] << 8 | p[3]) + 4u) << size;
            EXPECT_EQ(0u, p.size() % 4);
        }
    }
}

}  // namespace
