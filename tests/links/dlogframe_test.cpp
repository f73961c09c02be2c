#include "links/dlogframe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/links/golden_frames.h"

namespace {

using Frame = HdlcPair::Frame;

// Prints `f` from a heap copy of exactly its size into a buffer fenced by
// guard octets, so reading past the frame or writing past the buffer fails.
std::string print(const Frame& f, int dir = 0) {
    const size_t kGuard = 64;
    std::vector<char> area(ISDN::kLogBufSize + 2 * kGuard, '\x5A');
    char* out = area.data() + kGuard;
    std::memset(out, 0, ISDN::kLogBufSize);
    std::vector<uint8_t> copy(f.begin(), f.end());
    dlogframe(copy.empty() ? nullptr : copy.data(), int(copy.size()), dir, out);
    for (size_t i = 0; i < kGuard; ++i) {
        EXPECT_EQ(area[i], '\x5A');
        EXPECT_EQ(area[kGuard + ISDN::kLogBufSize + i], '\x5A');
    }
    size_t n = strnlen(out, ISDN::kLogBufSize);
    EXPECT_LT(n, ISDN::kLogBufSize) << "no NUL";
    return std::string(out, n);
}

// ---- the cases the printer's description names -------------------------------------

struct TextCase {
    const char* name;
    const char* hex;
    int dir;
    const char* text;  // after the hex line and the direction
};

class PrinterText : public ::testing::TestWithParam<TextCase> {};

TEST_P(PrinterText, PrintsExactly) {
    const TextCase& c = GetParam();
    std::string head =
        std::string(" ") + c.hex + "\nframe " + (c.dir ? "network->user " : "user->network ");
    EXPECT_EQ(print(parseHex(c.hex), c.dir), head + c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PrinterText,
    ::testing::Values(
        TextCase{"teiManagement", "FC FF 03 0F 12 34 01 FF", 0, "tei management:\n"},
        TextCase{"receiveReady", "02 01 01 05", 1, "SFrame tei = 0 (01 05 )\n"},
        TextCase{"iFrameTooShort", "00 01 00 00", 0, "IFrame tei = 0\nframe too short\n"},
        TextCase{"setupOneOctetCallref", "02 01 00 00 08 01 81 05 A1 96 73 02 01 02", 1,
                 "IFrame tei = 0\ncallref 1 called size 10 message type SETUP\n  Sending "
                 "complete\n  Shift 6\n  attribute 73 attribute size 2\n"},
        TextCase{"setupTwoOctetCallref", "00 01 00 00 08 02 01 02 05", 0,
                 "IFrame tei = 0\ncallref 258 caller size 5 message type SETUP\n"},
        TextCase{
            "generalOctetGroups", "00 01 00 00 08 01 01 7B 1E 03 01 88 90", 0,
            "IFrame tei = 0\ncallref 1 caller size 9 message type INFORMATION\n  Progress "
            "indicator\n    octet 3  00000001\n    octet 3a 10001000\n    octet 4  10010000\n"},
        TextCase{"calledEmpty", "00 01 00 00 08 01 01 7B 70 00", 0,
                 "IFrame tei = 0\ncallref 1 caller size 6 message type INFORMATION\n  Called party "
                 "number\n    number digits \n"},
        TextCase{"elementPastTheEnd", "00 01 00 00 08 01 01 7B 28 09 41 42", 0,
                 "IFrame tei = 0\ncallref 1 caller size 8 message type INFORMATION\n  Display\n   "
                 "\"AB\"\n    cut short: 2 of 9 octets in the frame\n"},
        TextCase{"lengthOctetMissing", "00 01 00 00 08 01 01 7B 70", 0,
                 "IFrame tei = 0\ncallref 1 caller size 5 message type INFORMATION\n  Called party "
                 "number\n    number digits \n    cut short: 0 of 0 octets in the frame\n"},
        TextCase{"callrefPastTheEnd", "00 01 00 00 08 02 01", 0,
                 "IFrame tei = 0\nframe too short\n"},
        TextCase{"unknownProtocol", "00 01 00 00 41 01", 0, "IFrame tei = 0\nUnknown protocol 41!"},
        TextCase{"controlCharacters", "00 01 00 00 08 01 01 7B 28 03 41 0A 00", 0,
                 "IFrame tei = 0\ncallref 1 caller size 9 message type INFORMATION\n  Display\n   "
                 "\"A..\"\n"}),
    [](const ::testing::TestParamInfo<TextCase>& i) { return std::string(i.param.name); });

TEST(Printer, AFrameOfTwoOctetsLeavesTheBufferAlone) {
    char out[ISDN::kLogBufSize];
    std::strcpy(out, "earlier");
    const uint8_t frame[] = {0x00, 0x01};
    dlogframe(frame, 2, 0, out);
    EXPECT_STREQ(out, "earlier");
}

// ---- golden frames: what tshark decodes, the printer must show -------------------------

// The call reference tshark shows ("00:01", flag bit already removed).
long callReference(const std::string& hex) {
    long v = 0;
    for (char c : hex)
        if (c != ':') v = v * 16 + std::stol(std::string(1, c), nullptr, 16);
    return v;
}

void expectInOrder(const std::string& text, const std::vector<std::string>& parts,
                   const std::string& name) {
    size_t at = 0;
    for (const std::string& p : parts) {
        size_t found = text.find(p, at);
        EXPECT_NE(found, std::string::npos) << name << ": no \"" << p << "\" in\n" << text;
        if (found != std::string::npos) at = found + p.size();
    }
}

std::vector<std::string> expectedParts(const GoldenFrame& g) {
    std::vector<std::string> parts{g.toUser ? "frame network->user " : "frame user->network "};
    if (g.number("tei") == 127 && g.number("sapi") == 63) parts.push_back("tei management:\n");
    if (!g.has("mt")) return parts;
    if (g.field("disc") != "0x08") return {parts[0], "Unknown protocol"};
    long ref = g.number("crlen") == 0 ? 0 : callReference(g.field("cref"));
    bool called = g.field("crflag") == "1";
    parts.push_back("callref " + std::to_string(ref) + (called ? " called" : " caller"));
    const char* name = q931MessageName(uint8_t(g.number("mt")));
    std::string theirs = g.field("mtname");
    for (char& c : theirs) c = c == '_' ? ' ' : c;
    if (name) {
        EXPECT_EQ(theirs, name) << g.name;
        parts.push_back(std::string(" message type ") + name + "\n");
    } else {
        parts.push_back(" unknown message type ");
    }
    for (int id : g.numbers("ie")) {
        const char* element = q931ElementName(uint8_t(id));
        parts.push_back(element ? "  " + std::string(element) + "\n" : "  attribute ");
        if (id == 0x08 && g.has("cause")) {
            const char* text = q850CauseText(uint8_t(g.number("cause")));
            parts.push_back(text ? std::string(" : ") + text : "Unknown cause type");
        }
        if (id == 0x6C && g.has("calling"))
            parts.push_back("number digits " + g.field("calling") + "\n");
        if (id == 0x70 && g.has("called"))
            parts.push_back("number digits " + g.field("called") + "\n");
        if (id == 0x28 && g.has("display")) parts.push_back("\"" + g.field("display") + "\"\n");
    }
    return parts;
}

TEST(PrinterGolden, ShowsWhatTsharkDecodes) {
    for (const GoldenFrame& g : loadGoldenFrames("q931_frames.txt"))
        expectInOrder(print(g.octets, g.toUser), expectedParts(g), g.name);
}

TEST(PrinterGolden, EveryTableRowAppears) {
    std::string all;
    for (const GoldenFrame& g : loadGoldenFrames("q931_frames.txt"))
        all += print(g.octets, g.toUser);
    for (int code = 0; code < 256; ++code) {
        if (const char* m = q931MessageName(uint8_t(code))) {
            EXPECT_NE(all.find(std::string("message type ") + m + "\n"), std::string::npos) << m;
        }
        if (const char* e = q931ElementName(uint8_t(code))) {
            EXPECT_NE(all.find("  " + std::string(e) + "\n"), std::string::npos) << e;
        }
    }
}

// ---- hostile frames ------------------------------------------------------------------------

TEST(PrinterHostile, TruncatedAndReLengthedGoldenFrames) {
    for (const GoldenFrame& g : loadGoldenFrames("q931_frames.txt")) {
        for (size_t n = 0; n <= g.octets.size(); ++n)
            print(Frame(g.octets.begin(), g.octets.begin() + long(n)));
        for (size_t i = 4; i < g.octets.size(); ++i) {
            for (uint8_t v : {uint8_t(0), uint8_t(255)}) {
                Frame f = g.octets;
                f[i] = v;
                print(f);
            }
        }
    }
}

TEST(PrinterHostile, RandomAndMaximalFrames) {
    std::mt19937 random(11);
    for (int i = 0; i < 3000; ++i) {
        Frame f(3 + random() % 300);
        for (uint8_t& o : f) o = uint8_t(random());
        f[0] &= 0x03;  // SAPI 0 with random C/R and EA, so most reach layer 3
        if (i % 2 && f.size() > 4) f[4] = 0x08;
        print(f, i % 2);
    }
    std::string longest = print(Frame(65535, 0xFF));
    EXPECT_EQ(longest.size(), ISDN::kLogBufSize - 1);
    EXPECT_EQ(longest.substr(longest.size() - std::strlen(kTraceCutMark)), kTraceCutMark);
}

}  // namespace
