#include "hardware/rtp_err.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

template <class Record>
std::string print(const Record& r) {
    std::ostringstream os;
    os << r;
    return os.str();
}

TEST(RtpErrorTexts, UnknownCodesAreFormattedIntoOneBuffer) {
    EXPECT_STREQ("No error", RTPStrError(0));
    EXPECT_STREQ("Invalid port specified", RTPStrError(0x300010C));
    EXPECT_STREQ("Unable to close session", RTPStrError(0x300010E));
    EXPECT_STREQ("Don't send this packet now", RTPStrError(0x3000122));
    const char* gap = RTPStrError(0x300010D);
    EXPECT_STREQ("Unknown RTP Error 50331917", gap);
    EXPECT_STREQ("Unknown RTP Error -2147483648", RTPStrError(-2147483647 - 1));
    EXPECT_STREQ("Unknown RTP Error -2147483648", gap);  // overwritten by the next unknown code
}

TEST(RtpErrorTexts, CodecNamesAndInvalidNumbers) {
    EXPECT_STREQ("unknown", GetCodecAsStr(0));
    EXPECT_STREQ("g711-rtp", GetCodecAsStr(5));
    EXPECT_STREQ("conf", GetCodecAsStr(8));
    EXPECT_STREQ("invalid", GetCodecAsStr(9));
    EXPECT_STREQ("invalid", GetCodecAsStr(-1));
}

TEST(RtpErrorTexts, RtpErrKeepsTheErrorNumberOfItsConstruction) {
    errno = EBADF;
    RtpErr e(0x3000104);
    errno = 0;
    std::ostringstream os;
    e.Put(os);
    EXPECT_EQ(0x3000104, e.code);
    EXPECT_EQ("Bad file descriptor", os.str());
}

TEST(RtpRecordPrinters, PrintTheNamedFields) {
    rtp_connection_params c{};
    c.rx_pt = 8;
    c.tx_pt = 18;
    c.packet_factor = 2;
    c.ssrc = 4000000000u;
    c.remote_port = 9;  // not printed
    EXPECT_EQ(
        "  rtp_connection_params\n  {\n   packet_factor = 2\n   rx_pt = 8\n   tx_pt = 18\n"
        "   ssrc = 4000000000\n  }\n",
        print(c));
    EXPECT_EQ("rtp_channel_info { tdm=-1 dev_no=3 chn=17 }", print(rtp_channel_info{-1, 3, 17, 1}));
    EXPECT_EQ("  rtp_attach_session_params\n  {\n   fd_rtp = 7\n   pid_rtp = -1\n  }\n",
              print(rtp_attach_session_params{7, -1}));
    EXPECT_EQ("  rtp_ext_attach_session_params\n  {\n   fd_rtp = 12\n   pid_rtp = 345\n  }\n",
              print(rtp_ext_attach_session_params{12, 345}));
    rtp_ext_init_params init{};
    init.etype = 0x1337;
    EXPECT_EQ("  rtp_ext_init_params\n  {\n   etype = 4919\n  }\n", print(init));
}

}  // namespace
