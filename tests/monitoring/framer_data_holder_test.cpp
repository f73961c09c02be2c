#include "monitoring/framer_data_holder.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/temp_root.h"

namespace {

// connected, statusDsc, signalLoss, frameAlignLoss, negSlipCount, posSlipCount
typedef std::tuple<bool, std::string, bool, bool, int, int> Fields;

Fields fields(const FramerDataHolder& f) {
    return Fields(f.connected, f.statusDsc, f.signalLoss, f.frameAlignLoss, f.negSlipCount,
                  f.posSlipCount);
}

std::vector<unsigned char> bytes(const std::string& s) {
    return std::vector<unsigned char>(s.begin(), s.end());
}

const std::string kState = "Current state           : ";
const std::string kSignal = "Loss of Signal          : ";
const std::string kFrame = "Loss of Frame Alignment : ";
const std::string kNeg = "Receive Slip Negative   : ";
const std::string kPos = "Receive Slip Positive   : ";
const Fields kStart = {false, "absent", true, true, 0, 0};

struct TextCase {
    const char* what;
    std::string text;
    bool changed;
    Fields after;
};

class FramerText : public ::testing::TestWithParam<TextCase> {};

TEST_P(FramerText, ParsesTheKeysItKnows) {
    const TextCase& c = GetParam();
    FramerDataHolder f(2, "/proc/driver/hdlc/peb22554/1");
    EXPECT_EQ(c.changed, f.setFramerStatus(bytes(c.text))) << c.what;
    EXPECT_EQ(c.after, fields(f)) << c.what;
    EXPECT_FALSE(f.setFramerStatus(bytes(c.text))) << c.what << ": the same text again";
}

const std::string kFull = "PEB22554 framer 1\n" + kState + "Synchronized\n" + kSignal + "no\n" +
                          kFrame + "no\n" + kNeg + "3\n" + kPos + "17\n";
const std::string kA = std::string(1024 - kState.size(), 'A');
const std::string kNul("a\0b", 3);

// clang-format off
INSTANTIATE_TEST_SUITE_P(Texts, FramerText, ::testing::Values(
    TextCase{"every key", kFull, true, {true, "Synchronized", false, false, 3, 17}},
    TextCase{"no carrier", kState + "No Carrier\n", true, {false, "No Carrier", true, true, 0, 0}},
    TextCase{"no key", "Framer : PEB22554\nstate: ok\n", false, kStart},
    TextCase{"empty", "", false, kStart},
    TextCase{"misspelled keys", "Current state          : Synchronized\nLoss of signal          : no\n"
             "Loss of Frame Alignment: no\nReceive Slip Negative   :3\n", false, kStart},
    TextCase{"last line without line feed", kSignal + "no\n" + kFrame + "no", true, {false, "absent", false, false, 0, 0}},
    TextCase{"carriage return kept in the value", kSignal + "yes\r\n" + kState + "AIS\r\n", true, {true, "AIS\r", false, true, 0, 0}},
    TextCase{"out of range held at the ends", kNeg + "99999999999\n" + kPos + "-99999999999", true, {false, "absent", true, true, INT_MAX, INT_MIN}},
    TextCase{"numbers read as strtol does", kNeg + "   +12abc\n" + kPos + "x1\n", true, {false, "absent", true, true, 12, 0}},
    TextCase{"two keys in one line", kState + "down " + kSignal + "no\n", true, {true, "down " + kSignal + "no", false, true, 0, 0}},
    TextCase{"1024 bytes without a line feed", kState + kA, true, {true, kA, true, true, 0, 0}},
    TextCase{"a key cut by the end", std::string(1000, 'x') + kState.substr(0, 25), false, kStart},
    TextCase{"a NUL is a byte like any other", kState + kNul + "\n", true, {true, kNul, true, true, 0, 0}}));
// clang-format on

TEST(FramerDataHolder, TrunkStatesMapToDescriptions) {
    struct {
        int state;
        const char* description;
        bool connected;
    } const cases[] = {{0, "Synchronized", true}, {1, "FAS Loss", true}, {2, "No Carrier", false},
                       {3, "AIS", true},          {4, "RAI", true},      {5, "Unknown", true},
                       {6, "Unknown", true},      {9, "Unknown", true}};
    for (const auto& c : cases) {
        FramerDataHolder f(1, "/proc/driver/hdlc/peb22554/0");
        ACP::TrunkState state;
        state.setValue(c.state);
        EXPECT_TRUE(f.setFramerStatus(state)) << c.state;
        EXPECT_EQ(Fields(c.connected, c.description, true, true, 0, 0), fields(f));
        EXPECT_FALSE(f.setFramerStatus(state)) << c.state;
        // The same description from the driver's file is no change.
        EXPECT_FALSE(f.setFramerStatus(bytes(kState + c.description + "\n"))) << c.state;
    }
}

TEST(FramerDataHolder, ReadsAtMostOneBufferOfTheFileBelowTheRoot) {
    TempRoot root;
    FramerDataHolder f(1, "/proc/driver/hdlc/peb22554/0");
    std::vector<unsigned char> text;
    EXPECT_EQ(FramerDataHolder::kOpenFailed, f.readFramerFile(text));

    root.writeFile(f.procPath, "");
    EXPECT_EQ(FramerDataHolder::kReadFailed, f.readFramerFile(text));

    std::string big = kState + std::string(1500, 'B');
    root.writeFile(f.procPath, big);
    ASSERT_EQ(FramerDataHolder::kRead, f.readFramerFile(text));
    EXPECT_EQ(big.substr(0, FramerDataHolder::kMaxText), std::string(text.begin(), text.end()));
}

}  // namespace
