// The LEMZ radio signalling codec against packets written out by hand
// from the wire layout, and against hostile input: every truncation and
// every caller-id length byte, in buffers of exactly their size so that
// AddressSanitizer sees any access outside them.

#include "rtp/sig_proto.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

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

uint32_t address(const char* dotted) {
    return inet_addr(dotted);
}

struct Golden {
    const char* name;
    sig_proto p;
    Bytes bytes;
    int need;  // the smallest buffer pack accepts
};

std::vector<Golden> goldens() {
    return {
        {"GW_FLAG", record(GW_FLAG, [](sig_proto& p) { sig_proto_set_base(&p, 15, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 511); }),
         {0x01, 0xF4, 0x0F, 0xF8}, 4},
        {"GW_ADJUST_CHAN", record(GW_ADJUST_CHAN, [](sig_proto& p) { sig_proto_set_gw_adjust_chan(&p, 7, 118.5f); }),
         {0x02, 0, 0, 0, 0, 0, 0, 7, 0x42, 0xED, 0, 0}, 12},
        {"GW_FLAG_PTT", record(GW_FLAG_PTT, [](sig_proto& p) { p.priority = 3, p.flag_p = 1; }), {0x03, 0x34, 0, 0}, 4},
        {"GW_FLAG_BSS", record(GW_FLAG_BSS, [](sig_proto& p) { p.flag_b = 1; }), {0x04, 0, 0x80, 0}, 4},
        {"GW_FLAG_RV", record(GW_FLAG_RV, [](sig_proto& p) { p.flag_rv = 1; }), {0x05, 0, 0x40, 0}, 4},
        {"GW_FLAG_SH", record(GW_FLAG_SH, [](sig_proto& p) { p.flag_sh = 1; }), {0x06, 0, 0x20, 0}, 4},
        {"GW_FLAG_PW", record(GW_FLAG_PW, [](sig_proto& p) { p.flag_pw = 1; }), {0x07, 0, 0x10, 0}, 4},
        {"GW_FLAG_RS", record(GW_FLAG_RS, [](sig_proto& p) { p.flag_rs = 1; }), {0x08, 0, 0, 0x01}, 4},
        {"GW_SEL_CALL", record(GW_SEL_CALL, [](sig_proto& p) { sig_proto_set_gw_selcall(&p, "ABC", 3); }),
         {0x09, 0, 0, 0, 3, 'A', 'B', 'C'}, 15},
        {"GW_SELECT_RC_CHAN", record(GW_SELECT_RC_CHAN, [](sig_proto& p) { sig_proto_set_gw_select_rc_chan(&p, 2, 5); }),
         {0x0A, 0, 0, 0, 2, 5, 0, 0}, 8},
        {"GW_ADJUST_SQUELSHE", record(GW_ADJUST_SQUELSHE, [](sig_proto& p) { sig_proto_set_gw_adjust_squelsh(&p, 9); }),
         {0x0B, 0, 0, 0, 9, 0, 0, 0}, 8},
        {"GW_ADJUST_RTE", record(GW_ADJUST_RTE, [](sig_proto& p) { sig_proto_set_gw_adjust_rte(&p, 4); }),
         {0x0C, 0, 0, 0, 4, 0, 0, 0}, 8},
        {"GW_ADJUST_STANDBY", record(GW_ADJUST_STANDBY, [](sig_proto& p) { sig_proto_set_gw_adjust_standby(&p, 1); }),
         {0x0D, 0, 0, 0, 1, 0, 0, 0}, 8},
        {"WM_FLAG", record(WM_FLAG, [](sig_proto& p) { p.flag_t = p.flag_r = p.flag_s = 1, p.flag_c = 2; }),
         {0x81, 0x0B, 0, 0x04}, 4},
        {"WM_TRANS", record(WM_TRANS, [](sig_proto& p) { sig_proto_set_wm_transmite(&p, address("3.2.1.10"), 7); }),
         {0x82, 0, 0, 0, 10, 1, 2, 3, 0, 0, 0, 7}, 12},
        {"WM_RADIO_QUALITY", record(WM_RADIO_QUALITY, [](sig_proto& p) { sig_proto_set_wm_radio_quality(&p, 0.5f); }),
         {0x83, 0, 0, 0, 0x3F, 0, 0, 0}, 8},
        {"WM_CHAN", record(WM_CHAN, [](sig_proto& p) { sig_proto_set_wm_chan(&p, 1, 121.5f, 2, 3); }),
         {0x84, 0, 0, 0, 0, 0, 0, 1, 0x42, 0xF3, 0, 0, 2, 3, 0, 0}, 16},
        {"WM_SEL_CALL_TRANS", record(WM_SEL_CALL_TRANS, [](sig_proto& p) {
             sig_proto_set_wm_selcall_transmite(&p, address("192.168.1.20"), 0xDEADBEEF, "AB", 2);
         }),
         {0x85, 0, 0, 0, 20, 1, 168, 192, 0xDE, 0xAD, 0xBE, 0xEF, 2, 'A', 'B', 0}, 22},
        {"WM_SELECT_RC_CHAN", record(WM_SELECT_RC_CHAN, [](sig_proto& p) { sig_proto_set_wm_select_rc_chan(&p, 1, 2); }),
         {0x86, 0, 0, 0, 1, 2, 0, 0}, 8},
        {"WM_STANDBY", record(WM_STANDBY, [](sig_proto& p) { sig_proto_set_wm_standby(&p, 1, 2, 3); }),
         {0x87, 0, 0, 0, 1, 2, 3, 0}, 8},
    };
}

Bytes pack(const sig_proto& p, int size, int* result) {
    Bytes out(static_cast<size_t>(size));
    *result = sig_proto_pack(&p, size ? out.data() : reinterpret_cast<unsigned char*>(result), size);
    out.resize(*result > 0 ? size_t(*result) : 0);
    return out;
}

// Unpacks from a heap copy of exactly the given bytes.
int unpack(sig_proto& p, const Bytes& bytes) {
    Bytes exact(bytes);
    return sig_proto_unpack(&p, exact.empty() ? reinterpret_cast<unsigned char*>(&p) : exact.data(), int(exact.size()));
}

TEST(SigProto, EveryTypeBothWaysOnGoldenBytes) {
    for (const Golden& g : goldens()) {
        SCOPED_TRACE(g.name);
        EXPECT_EQ(g.p.type, uint32_t(sig_proto_find_id_by_name(sig_proto_packet_const_name, g.name)));
        int n;
        EXPECT_EQ(g.bytes, pack(g.p, 1024, &n));
        sig_proto back = record(0);
        ASSERT_EQ(0, unpack(back, g.bytes));
        EXPECT_EQ(0, cmp_sig_proto(&g.p, &back));
        EXPECT_EQ(0, cmp_sig_proto_header(&g.p, &back));
        EXPECT_EQ(g.bytes, pack(back, int(g.bytes.size()) + 7, &n));
        EXPECT_EQ(g.p.type == GW_FLAG || g.p.type == GW_FLAG_PTT || g.p.type == GW_SEL_CALL || g.p.type == WM_FLAG ||
                      g.p.type == WM_TRANS || g.p.type == WM_SEL_CALL_TRANS,
                  sig_proto_is_ptt_command(&back));
    }
    // The session address reads back as the dotted text it was given.
    sig_proto p = record(0);
    ASSERT_EQ(0, unpack(p, {0x82, 0, 0, 0, 10, 1, 2, 3, 0, 0, 0, 7}));
    in_addr a;
    a.s_addr = p.wm_trans.session_addr;
    EXPECT_STREQ("3.2.1.10", inet_ntoa(a));
    EXPECT_EQ(7u, p.wm_trans.ssrc);
}

TEST(SigProto, ShortBuffersAreRefusedAndLeaveTheRecordAlone) {
    for (const Golden& g : goldens()) {
        SCOPED_TRACE(g.name);
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
    EXPECT_EQ(0, sig_proto_pack(nullptr, b, 4));
    EXPECT_EQ(0, sig_proto_pack(&p, nullptr, 4));
}

TEST(SigProto, EveryCallerIdLengthByte) {
    for (uint32_t type : {uint32_t(GW_SEL_CALL), uint32_t(WM_SEL_CALL_TRANS)}) {
        size_t lengthAt = type == GW_SEL_CALL ? 4 : 12;
        for (int length = 0; length < 256; ++length) {
            Bytes packet(lengthAt + 1 + size_t(length), 'x');
            std::fill(packet.begin(), packet.begin() + long(lengthAt), 0);
            packet[0] = static_cast<unsigned char>(type);
            packet[lengthAt] = static_cast<unsigned char>(length);
            sig_proto p = record(0);
            ASSERT_EQ(0, unpack(p, packet)) << length;
            bool gw = type == GW_SEL_CALL;
            EXPECT_EQ(length, gw ? p.gw_sel_call.callerID_length : p.wm_sel_call_trans.callerID_length);
            const unsigned char* id = gw ? p.gw_sel_call.callerID : p.wm_sel_call_trans.callerID;
            EXPECT_EQ(std::string(size_t(length), 'x'), std::string(reinterpret_cast<const char*>(id)));
            packet.pop_back();
            if (length > 0) {
                EXPECT_EQ(SIG_PROTO_ERR_LENGTH, unpack(p, packet)) << length;
            }
        }
    }
    // A length byte of 10 with only 8 bytes of data.
    sig_proto p = record(0);
    EXPECT_EQ(SIG_PROTO_ERR_LENGTH, unpack(p, {0x09, 0, 0, 0, 10, 'a', 'b', 'c'}));
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

TEST(SigProto, PrintsWithinTheGivenSize) {
    const Golden g = goldens()[17];  // WM_SEL_CALL_TRANS
    char full[1024];
    int length = sprintf_sig_proto(full, sizeof full, &g.p, SIG_PROTO_PRINT_NAME);
    EXPECT_EQ(std::string("type      : WM_SEL_CALL_TRANS,\nflag_t   : 0,\nflag_p   : 0,\nflag_r   : 0,\nflag_s   : 0,\n"
                          "flag_b   : 0,\nflag_rv  : 0,\nflag_sh  : 0,\nflag_rs  : 0,\nflag_pw  : 0,\nflag_c   : 0,\n"
                          "priority : 0,\nstatus   : 0,\nwm_sel_call_trans.session_addr : 192.168.1.20,\n"
                          "wm_sel_call_trans.ssrc         : 0xDEADBEEF,\nwm_sel_call_trans.callerID_length: 2,\n"
                          "wm_sel_call_trans.callerID : \n[0] : 0x41,\n[1] : 0x42,\n"),
              full);
    EXPECT_EQ(int(std::strlen(full)), length);
    for (long size = 1; size <= length; ++size) {
        std::vector<char> text(static_cast<size_t>(size));
        EXPECT_EQ(int(size - 1), sprintf_sig_proto(text.data(), size, &g.p, SIG_PROTO_PRINT_NAME));
        EXPECT_EQ(std::string(full, size_t(size - 1)), text.data());
    }
    char flags[512];
    sprintf_sig_proto(flags, sizeof flags, &g.p, SIG_PROTO_PRINT_FLAGS);
    EXPECT_EQ(std::string::npos, std::string(flags).find("priority"));
    sig_proto unknown = record(20);
    EXPECT_EQ(0, sprintf_sig_proto(full, sizeof full, &unknown, SIG_PROTO_PRINT_HEX));
    EXPECT_EQ(0, sprintf_sig_proto(full, 0, &g.p, SIG_PROTO_PRINT_HEX));
}

TEST(SigProto, ComparisonsNamesAndSetters) {
    sig_proto a = record(WM_CHAN), b = record(WM_CHAN);
    EXPECT_EQ(-1, cmp_sig_proto(&a, nullptr));
    EXPECT_EQ(-1, cmp_sig_proto_header(nullptr, &b));
    b.source_addr = 5;
    EXPECT_EQ(5, cmp_sig_proto_header(&a, &b));
    EXPECT_EQ(0, cmp_sig_proto(&a, &b));  // the source words are not printed
    b.type = WM_FLAG;
    EXPECT_EQ(WM_FLAG - WM_CHAN, cmp_sig_proto_header(&a, &b));
    b = a;
    b.flag_b = 1;
    EXPECT_NE(0, cmp_sig_proto_flags(&a, &b));
    b = a;
    b.priority = 4;
    EXPECT_EQ(0, cmp_sig_proto_flags(&a, &b));
    EXPECT_NE(0, cmp_sig_proto(&a, &b));

    EXPECT_EQ(132, sig_proto_find_id_by_name(sig_proto_packet_const_name, "WM_CHAN"));
    EXPECT_EQ(-1, sig_proto_find_id_by_name(sig_proto_packet_const_name, "WM_NOTHING"));
    EXPECT_EQ(nullptr, sig_proto_find_name_by_id(sig_proto_packet_const_name, -1));
    EXPECT_EQ(nullptr, sig_proto_find_name_by_id(nullptr, 1));

    std::string longText(300, 'z');
    sig_proto_set_gw_selcall(&a, longText.c_str(), 300);
    EXPECT_EQ(255, a.gw_sel_call.callerID_length);
    EXPECT_EQ(0, a.gw_sel_call.callerID[255]);
    sig_proto_set_gw_selcall(&a, "12345", 2);
    EXPECT_EQ(std::string("12"), reinterpret_cast<const char*>(a.gw_sel_call.callerID));
    sig_proto_set_gw_selcall(&a, nullptr, 9);
    EXPECT_EQ(0, a.gw_sel_call.callerID_length);
    sig_proto_set_base(&a, 9, -1, 1, -1, -1, -1, -1, -1, -1, -1, 7, -1);
    EXPECT_EQ(9u, a.priority);
    EXPECT_EQ(1u, a.flag_p);
    EXPECT_EQ(3u, a.flag_c);
    EXPECT_EQ(0, sig_proto_set_ptt(nullptr, 1));

    sig_proto_queue q;
    init_sig_proto_queue(&q);
    EXPECT_EQ(uint32_t(GW_FLAG), q.slot[0].type);
    EXPECT_EQ(uint32_t(WM_STANDBY), q.slot[16].type);
    EXPECT_EQ(uint32_t(-1), q.slot[17].type);
}

TEST(SigProto, PackAndUnpackAllocateNothing) {
    std::vector<Golden> all = goldens();
    unsigned char buffer[1024];
    sig_proto p;
    size_t before = allocationCount();
    for (const Golden& g : all) {
        ASSERT_EQ(int(g.bytes.size()), sig_proto_pack(&g.p, buffer, sizeof buffer));
        ASSERT_EQ(0, sig_proto_unpack(&p, g.bytes.data(), int(g.bytes.size())));
    }
    EXPECT_EQ(before, allocationCount());
}

}  // namespace
