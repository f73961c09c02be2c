// The LEMZ radio signalling codec against packets written out by hand
// from the wire layout, and against hostile input: every truncation and
// every caller-id length byte, in buffers of exactly their size so that
// AddressSanitizer sees any access outside them.

#include "rtp/sig_proto.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/rtp/alloc_counter.h"

namespace {

using Bytes = std::vector<unsigned char>;

sig_proto record(uint32_t type, const std::function<void(sig_proto&)>& fill = nullptr) {
    sig_proto p;
    sig_proto_init(&p);
    p.type = type;
    if (fill) fill(p);
    return p;
}

struct Golden {
    sig_proto p;
    Bytes bytes;
    int need;  // the smallest buffer pack accepts
};

std::vector<Golden> goldens() {
    return {
        {record(GW_FLAG, [](sig_proto& p) { sig_proto_set_base(&p, 15, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 511); }),
         {0x01, 0xF4, 0x0F, 0xF8}, 4},
        {record(GW_ADJUST_CHAN, [](sig_proto& p) { sig_proto_set_gw_adjust_chan(&p, 7, 118.5f); }),
         {0x02, 0, 0, 0, 0, 0, 0, 7, 0x42, 0xED, 0, 0}, 12},
        {record(GW_FLAG_PTT, [](sig_proto& p) { p.priority = 3, p.flag_p = 1; }), {0x03, 0x34, 0, 0}, 4},
        {record(GW_FLAG_BSS, [](sig_proto& p) { p.flag_b = 1; }), {0x04, 0, 0x80, 0}, 4},
        {record(GW_FLAG_RV, [](sig_proto& p) { p.flag_rv = 1; }), {0x05, 0, 0x40, 0}, 4},
        {record(GW_FLAG_SH, [](sig_proto& p) { p.flag_sh = 1; }), {0x06, 0, 0x20, 0}, 4},
        {record(GW_FLAG_PW, [](sig_proto& p) { p.flag_pw = 1; }), {0x07, 0, 0x10, 0}, 4},
        {record(GW_FLAG_RS, [](sig_proto& p) { p.flag_rs = 1; }), {0x08, 0, 0, 0x01}, 4},
        {record(GW_SEL_CALL, [](sig_proto& p) { sig_proto_set_gw_selcall(&p, "ABC", 3); }),
         {0x09, 0, 0, 0, 3, 'A', 'B', 'C'}, 15},
        {record(GW_SELECT_RC_CHAN, [](sig_proto& p) { sig_proto_set_gw_select_rc_chan(&p, 2, 5); }),
         {0x0A, 0, 0, 0, 2, 5, 0, 0}, 8},
        {record(GW_ADJUST_SQUELSHE, [](sig_proto& p) { sig_proto_set_gw_adjust_squelsh(&p, 9); }),
         {0x0B, 0, 0, 0, 9, 0, 0, 0}, 8},
        {record(GW_ADJUST_RTE, [](sig_proto& p) { sig_proto_set_gw_adjust_rte(&p, 4); }), {0x0C, 0, 0, 0, 4, 0, 0, 0}, 8},
        {record(GW_ADJUST_STANDBY, [](sig_proto& p) { sig_proto_set_gw_adjust_standby(&p, 1); }),
         {0x0D, 0, 0, 0, 1, 0, 0, 0}, 8},
        {record(WM_FLAG, [](sig_proto& p) { p.flag_t = p.flag_r = p.flag_s = 1, p.flag_c = 2; }), {0x81, 0x0B, 0, 0x04}, 4},
        // The session address goes with its octets reversed.
        {record(WM_TRANS, [](sig_proto& p) { sig_proto_set_wm_transmite(&p, inet_addr("3.2.1.10"), 7); }),
         {0x82, 0, 0, 0, 10, 1, 2, 3, 0, 0, 0, 7}, 12},
        {record(WM_RADIO_QUALITY, [](sig_proto& p) { sig_proto_set_wm_radio_quality(&p, 0.5f); }),
         {0x83, 0, 0, 0, 0x3F, 0, 0, 0}, 8},
        {record(WM_CHAN, [](sig_proto& p) { sig_proto_set_wm_chan(&p, 1, 121.5f, 2, 3); }),
         {0x84, 0, 0, 0, 0, 0, 0, 1, 0x42, 0xF3, 0, 0, 2, 3, 0, 0}, 16},
        {record(WM_SEL_CALL_TRANS,
                [](sig_proto& p) {
                    sig_proto_set_wm_selcall_transmite(&p, inet_addr("192.168.1.20"), 0xDEADBEEF, "AB", 2);
                }),
         {0x85, 0, 0, 0, 20, 1, 168, 192, 0xDE, 0xAD, 0xBE, 0xEF, 2, 'A', 'B', 0}, 22},
        {record(WM_SELECT_RC_CHAN, [](sig_proto& p) { sig_proto_set_wm_select_rc_chan(&p, 1, 2); }),
         {0x86, 0, 0, 0, 1, 2, 0, 0}, 8},
        {record(WM_STANDBY, [](sig_proto& p) { sig_proto_set_wm_standby(&p, 1, 2, 3); }), {0x87, 0, 0, 0, 1, 2, 3, 0}, 8},
    };
}

// Packs into a heap buffer of exactly `size` bytes; the bytes written.
Bytes pack(const sig_proto& p, int size, int* result) {
    Bytes out(size_t(size) + (size == 0));
    *result = sig_proto_pack(&p, out.data(), size);
    out.resize(*result > 0 ? size_t(*result) : 0);
    return out;
}

// Unpacks from a heap copy of exactly the given bytes.
int unpack(sig_proto& p, const Bytes& bytes) {
    Bytes exact(bytes);
    return sig_proto_unpack(&p, exact.empty() ? reinterpret_cast<unsigned char*>(&p) : exact.data(), int(exact.size()));
}

TEST(SigProto, EveryTypeBothWaysOnGoldenBytesWithoutAllocating) {
    for (const Golden& g : goldens()) {
        SCOPED_TRACE(sig_proto_find_name_by_id(sig_proto_packet_const_name, int(g.p.type)));
        unsigned char packed[64];
        sig_proto back = record(0);
        size_t allocations = allocationCount();
        int n = sig_proto_pack(&g.p, packed, sizeof packed);
        ASSERT_EQ(0, sig_proto_unpack(&back, g.bytes.data(), int(g.bytes.size())));
        EXPECT_EQ(allocations, allocationCount());
        EXPECT_EQ(g.bytes, Bytes(packed, packed + std::max(n, 0)));
        EXPECT_EQ(0, cmp_sig_proto(&g.p, &back));
    }
}

TEST(SigProto, ShortBuffersAreRefusedAndLeaveTheRecordAlone) {
    for (const Golden& g : goldens()) {
        SCOPED_TRACE(g.p.type);
        for (size_t len = 0; len < g.bytes.size(); ++len) {
            if (g.p.type == WM_SEL_CALL_TRANS && len == 15) continue;  // the padding is not required
            sig_proto p;
            std::memset(&p, 0xA5, sizeof p);
            sig_proto before = p;
            EXPECT_EQ(SIG_PROTO_ERR_LENGTH, unpack(p, Bytes(g.bytes.begin(), g.bytes.begin() + long(len)))) << len;
            EXPECT_EQ(0, std::memcmp(&before, &p, sizeof p));
        }
        int n;
        for (int size = 0; size < g.need; ++size) {
            pack(g.p, size, &n);
            EXPECT_EQ(SIG_PROTO_ERR_LENGTH, n) << size;
        }
        EXPECT_EQ(g.bytes, pack(g.p, g.need, &n));
    }
    sig_proto p = record(GW_FLAG);
    unsigned char b[4];
    EXPECT_EQ(SIG_PROTO_ERR_NULL, sig_proto_unpack(nullptr, b, 4));
    EXPECT_EQ(SIG_PROTO_ERR_NULL, sig_proto_unpack(&p, nullptr, 4));
}

TEST(SigProto, EveryCallerIdLengthByte) {
    for (uint32_t type : {uint32_t(GW_SEL_CALL), uint32_t(WM_SEL_CALL_TRANS)}) {
        bool gw = type == GW_SEL_CALL;
        size_t lengthAt = gw ? 4 : 12;
        for (int length = 0; length < 256; ++length) {
            Bytes packet(lengthAt + 1 + size_t(length), 'x');
            std::fill(packet.begin(), packet.begin() + long(lengthAt), 0);
            packet[0] = static_cast<unsigned char>(type);
            packet[lengthAt] = static_cast<unsigned char>(length);
            sig_proto p = record(0);
            ASSERT_EQ(0, unpack(p, packet)) << length;
            EXPECT_EQ(length, gw ? p.gw_sel_call.callerID_length : p.wm_sel_call_trans.callerID_length);
            const unsigned char* id = gw ? p.gw_sel_call.callerID : p.wm_sel_call_trans.callerID;
            EXPECT_EQ(std::string(size_t(length), 'x'), std::string(reinterpret_cast<const char*>(id)));
            packet.pop_back();
            if (length > 0) {
                EXPECT_EQ(SIG_PROTO_ERR_LENGTH, unpack(p, packet)) << length;
            }
        }
    }
    // The setter keeps at most 255 bytes, and no more than it is told.
    sig_proto p = record(GW_SEL_CALL);
    sig_proto_set_gw_selcall(&p, std::string(300, 'z').c_str(), 300);
    EXPECT_EQ(255, p.gw_sel_call.callerID_length);
    EXPECT_EQ(0, p.gw_sel_call.callerID[255]);
    sig_proto_set_gw_selcall(&p, "12345", 2);
    EXPECT_EQ(std::string("12"), reinterpret_cast<const char*>(p.gw_sel_call.callerID));
}

TEST(SigProto, UnknownTypesSetOnlyTheType) {
    for (int type = 0; type < 256; ++type) {
        if (sig_proto_find_name_by_id(sig_proto_packet_const_name, type)) continue;
        sig_proto p = record(WM_CHAN, [](sig_proto& r) { r.flag_p = 1; });
        EXPECT_EQ(SIG_PROTO_ERR_TYPE, unpack(p, {static_cast<unsigned char>(type), 0xFF, 0xFF, 0xFF}));
        EXPECT_EQ(uint32_t(type), p.type);
        EXPECT_EQ(1u, p.flag_p);
        EXPECT_EQ(0u, p.priority);
        int n;
        EXPECT_EQ((Bytes{static_cast<unsigned char>(type), 0x04, 0, 0}), pack(p, 4, &n));
    }
}

// Every size of text buffer holds a terminated prefix of the whole text.
TEST(SigProto, PrintsWithinTheGivenSize) {
    const sig_proto p = goldens()[17].p;  // WM_SEL_CALL_TRANS
    char full[1024];
    int length = sprintf_sig_proto(full, sizeof full, &p, SIG_PROTO_PRINT_NAME);
    EXPECT_EQ(int(std::strlen(full)), length);
    EXPECT_NE(nullptr, std::strstr(full, "type      : WM_SEL_CALL_TRANS,\n"));
    EXPECT_NE(nullptr, std::strstr(full, "session_addr : 192.168.1.20,\n"));
    for (long size = 1; size <= length; ++size) {
        std::vector<char> text(static_cast<size_t>(size));
        EXPECT_EQ(int(size - 1), sprintf_sig_proto(text.data(), size, &p, SIG_PROTO_PRINT_NAME));
        EXPECT_EQ(std::string(full, size_t(size - 1)), text.data());
    }
    EXPECT_EQ(0, sprintf_sig_proto(full, 0, &p, SIG_PROTO_PRINT_HEX));
}

}  // namespace
