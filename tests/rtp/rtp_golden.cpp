#include "tests/rtp/rtp_golden.h"

#include <arpa/inet.h>

#include <cstdio>
#include <functional>
#include <utility>

#include "rtp/rtp_slot.h"
#include "rtp/sig_proto.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Column = std::vector<std::string>;

// Columns joined by tabs, each column's occurrences by "|"; "-" for none.
std::string row(const std::vector<Column>& columns) {
    std::string out;
    for (const Column& c : columns) {
        if (!out.empty()) out += '\t';
        if (c.empty()) out += '-';
        for (size_t i = 0; i < c.size(); ++i) out += (i ? "|" : "") + c[i];
    }
    return out;
}

std::string hex(unsigned long v, int digits) {
    char s[24];
    std::snprintf(s, sizeof s, "0x%0*lx", digits, v);
    return s;
}

std::string num(unsigned long v) {
    return std::to_string(v);
}

// ---- RTCP -----------------------------------------------------------------------

using Items = std::vector<std::pair<int, std::string>>;

// Version, padding, count, type, length, SSRC, item types (the list's end
// as type 0), item lengths, item texts, length check; a goodbye's reason
// shows as an item without type.
std::string rtcpFields(unsigned pt, unsigned lengthWords, uint32_t ssrc, const Items& items, bool end,
                       const char* lengthCheck = "1") {
    Column types, lengths, texts;
    for (const auto& i : items) {
        if (i.first) types.push_back(num(unsigned(i.first)));
        lengths.push_back(num(i.second.size()));
        texts.push_back(i.second);
    }
    if (end) types.push_back("0");
    return row({{"2"}, {"0"}, {"1"}, {num(pt)}, {num(lengthWords)}, {hex(ssrc, 8)}, types, lengths, texts, {lengthCheck}});
}

GoldenPacket rtcp(const char* name, const RTPC::Msg& m, unsigned size, std::string fields) {
    Bytes b(size);
    b.resize(m.encode(reinterpret_cast<char*>(b.data()), size));
    return {name, b, std::move(fields)};
}

// ---- RTP with a header extension ------------------------------------------------

// Version 2 with the extension bit, PCMA, then the extension (zero-padded
// to whole words) and four bytes of A-law silence.
Bytes rtpPacket(uint16_t profile, const unsigned char* ext, int n) {
    unsigned words = unsigned(n + 3) / 4;
    Bytes b = {0x90, 8, 0x00, 0x01, 0x00, 0x00, 0x00, 0xA0, 0x5E, 0xED, 0x00, 0x01};
    b.push_back(uint8_t(profile >> 8)), b.push_back(uint8_t(profile));
    b.push_back(uint8_t(words >> 8)), b.push_back(uint8_t(words));
    b.insert(b.end(), ext, ext + n);
    b.resize(kGoldenExtensionOffset + 4 * words, 0);
    b.insert(b.end(), 4, 0xD5);
    return b;
}

GoldenPacket lemz(const char* name, uint32_t type, const std::function<void(sig_proto&)>& fill) {
    sig_proto p;
    sig_proto_init(&p);
    p.type = type;
    fill(p);
    unsigned char ext[300];
    int n = sig_proto_pack(&p, ext, sizeof ext);
    Column words;
    for (int i = 0; i < n; i += 4)
        words.push_back(hex(uint32_t(ext[i]) << 24 | uint32_t(ext[i + 1]) << 16 | ext[i + 2] << 8 | ext[i + 3], 8));
    return {name, rtpPacket(0x1337, ext, n), row({{"0x1337"}, {num(words.size())}, words})};
}

GoldenPacket r2s(const char* name, const std::function<void(r2s_proto&)>& fill) {
    r2s_proto p;
    r2s_proto_init(&p, 0);
    fill(p);
    unsigned char ext[64];
    int n = r2s_proto_pack(&p, ext, sizeof ext);
    return {name, rtpPacket(0x0167, ext, n), r2sFields(p, unsigned(n + 3) / 4)};
}

uint32_t address(const char* dotted) {
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

}  // namespace

std::vector<GoldenPacket> rtcpGoldenPackets() {
    const uint32_t ssrc = 0xDEADBEEF;
    RTPC::SDES slot = RtpSlot::sourceDescription(ssrc);
    Items sent;
    for (const RTPC::SDES::Item& i : slot.items) sent.push_back({i.type, i.text});
    RTPC::SDES none(0x01020304);
    RTPC::SDES longText(0x01020304);
    longText.add(RTPC::SDES::Item::CNAME, std::string(300, 'c'));
    longText.add(RTPC::SDES::Item::NOTE, "n");
    return {
        rtcp("sdes_slot", slot, 1024, rtcpFields(202, 20, ssrc, sent, true)),
        rtcp("bye_slot", RtpSlot::goodbye(ssrc), 1024, rtcpFields(203, 4, ssrc, {{0, "session end"}}, false)),
        // Without items no end byte is written; tshark finds the chunk cut
        // short and checks no length. The slot always sends three items.
        rtcp("sdes_no_items", none, 1024, rtcpFields(202, 1, 0x01020304, {}, false, "-")),
        rtcp("sdes_text_cut", longText, 1024,
             rtcpFields(202, 67, 0x01020304, {{1, std::string(255, 'c')}, {7, "n"}}, true)),
        // Room for the CNAME, its end byte and padding, but not the EMAIL.
        rtcp("sdes_items_left_out", slot, 40, rtcpFields(202, 6, ssrc, {sent[0]}, true)),
        rtcp("bye_no_reason", RTPC::BYE(ssrc, ""), 1024, rtcpFields(203, 1, ssrc, {}, false)),
        rtcp("bye_reason_cut", RTPC::BYE(ssrc, "session end"), 18, rtcpFields(203, 3, ssrc, {{0, "session"}}, false)),
    };
}

std::vector<GoldenPacket> lemzGoldenPackets() {
    const uint32_t peer = address("10.1.2.3");
    return {
        lemz("gw_flag", GW_FLAG, [](sig_proto& p) { sig_proto_set_base(&p, 15, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 511); }),
        lemz("gw_adjust_chan", GW_ADJUST_CHAN, [](sig_proto& p) { sig_proto_set_gw_adjust_chan(&p, 7, 118.125f); }),
        lemz("gw_flag_ptt", GW_FLAG_PTT, [](sig_proto& p) { sig_proto_set_base(&p, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0); }),
        lemz("gw_flag_bss", GW_FLAG_BSS, [](sig_proto& p) { sig_proto_set_base(&p, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 256); }),
        lemz("gw_flag_rv", GW_FLAG_RV, [](sig_proto& p) { sig_proto_set_base(&p, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 16); }),
        lemz("gw_flag_sh", GW_FLAG_SH, [](sig_proto& p) { sig_proto_set_base(&p, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1); }),
        lemz("gw_flag_pw", GW_FLAG_PW, [](sig_proto& p) { sig_proto_set_base(&p, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2, 0); }),
        lemz("gw_flag_rs", GW_FLAG_RS, [](sig_proto& p) { sig_proto_set_base(&p, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0); }),
        lemz("gw_sel_call", GW_SEL_CALL, [](sig_proto& p) { sig_proto_set_gw_selcall(&p, "ABC", 3); }),
        lemz("gw_select_rc_chan", GW_SELECT_RC_CHAN, [](sig_proto& p) { sig_proto_set_gw_select_rc_chan(&p, 2, 5); }),
        lemz("gw_adjust_squelshe", GW_ADJUST_SQUELSHE, [](sig_proto& p) { sig_proto_set_gw_adjust_squelsh(&p, 9); }),
        lemz("gw_adjust_rte", GW_ADJUST_RTE, [](sig_proto& p) { sig_proto_set_gw_adjust_rte(&p, 3); }),
        lemz("gw_adjust_standby", GW_ADJUST_STANDBY, [](sig_proto& p) { sig_proto_set_gw_adjust_standby(&p, 1); }),
        lemz("wm_flag", WM_FLAG, [](sig_proto& p) { sig_proto_set_base(&p, 8, 0, 1, 0, 0, 0, 0, 0, 0, 1, 3, 0); }),
        lemz("wm_trans", WM_TRANS, [&](sig_proto& p) { sig_proto_set_wm_transmite(&p, peer, 7); }),
        lemz("wm_radio_quality", WM_RADIO_QUALITY, [](sig_proto& p) { sig_proto_set_wm_radio_quality(&p, 0.75f); }),
        lemz("wm_chan", WM_CHAN, [](sig_proto& p) { sig_proto_set_wm_chan(&p, 3, 121.5f, 4, 2); }),
        lemz("wm_sel_call_trans", WM_SEL_CALL_TRANS,
             [&](sig_proto& p) { sig_proto_set_wm_selcall_transmite(&p, peer, 0xCAFE0001, "ABCDE", 5); }),
        lemz("wm_select_rc_chan", WM_SELECT_RC_CHAN, [](sig_proto& p) { sig_proto_set_wm_select_rc_chan(&p, 1, 9); }),
        lemz("wm_standby", WM_STANDBY, [](sig_proto& p) { sig_proto_set_wm_standby(&p, 1, 2, 3); }),
    };
}

std::vector<GoldenPacket> r2sGoldenPackets() {
    return {
        r2s("rx_header", [](r2s_proto& p) { r2s_proto_set_rx_header(&p, 1, 1, 5, 0, 0, 0); }),
        // What an ED-137 radio gateway slot sends for a push-to-talk with
        // squelch open and its signal quality (AGC, 20).
        r2s("rx_header_sqi",
            [](r2s_proto& p) {
                r2s_proto_set_rx_header(&p, 1, 1, 5, 0, 0, 0);
                r2s_proto_add_rx_sqi(&p, 20, 1);
            }),
        r2s("rx_sqi",
            [](r2s_proto& p) {
                r2s_proto_set_rx_header(&p, 2, 1, 63, 1, 1, 1);
                r2s_proto_add_rx_sqi(&p, 31, 0);
                r2s_proto_add_rx_sqi(&p, 17, 5);
            }),
        r2s("rx_rrc_mam",
            [](r2s_proto& p) {
                r2s_proto_set_rx_header(&p, 7, 0, 32, 0, 1, 0);
                r2s_proto_rx_additional_rrc rrc{{1, 0, 1, 0, 0, 1, 0, 1}, 0, {0, 0}, {0, 0}};
                r2s_proto_add_rx_rrc(&p, &rrc);
                rrc = {{0, 1, 0, 1, 1, 0, 1, 0}, 1, {1, 0}, {7, 200}};
                r2s_proto_add_rx_rrc(&p, &rrc);
                r2s_proto_rx_additional_mam mam{1, 0x123456, 0, 0x7FFFFF, {0x0102, 0xFFFF, 0x8000}};
                r2s_proto_add_rx_mam(&p, &mam);
            }),
        r2s("tx_header", [](r2s_proto& p) { r2s_proto_set_tx_header(&p, 3, 42, 1, 0); }),
        r2s("tx_elements",
            [](r2s_proto& p) {
                r2s_proto_set_tx_header(&p, 4, 17, 0, 1);
                r2s_proto_tx_additional_climax_time_delay absolute{0x80 | 72}, relative{10};
                r2s_proto_add_tx_time_delay(&p, &absolute);
                r2s_proto_add_tx_time_delay(&p, &relative);
                r2s_proto_tx_additional_rrc rrc{{0, 1, 0, 0, 1, 1, 0, 0}};
                r2s_proto_add_tx_rrc(&p, &rrc);
                r2s_proto_tx_additional_rrm rrm{1, 0xABCDE};
                r2s_proto_add_tx_rrm(&p, &rrm);
            }),
    };
}

// The columns: profile, extension length; PTT type, SQU, PTT id, PTT mute,
// PTT summation, SCT, X; feature types and lengths; SQI index and method;
// CLIMAX time delay mode, relative and absolute value; the eight RRC flags
// of one frequency; a long RRC's value bytes; RMM time quality and T1; MAM
// time quality, T1, new measurement, T2, Tsd, Tj1 and Tid.
std::string r2sFields(const r2s_proto& p, unsigned words) {
    bool rx = p.type == R2S_PROTO_RX;
    std::vector<Column> c(34);
    c[0] = {"0x0167"};
    c[1] = {num(words)};
    c[2] = {num(rx ? p.rx.ptt_type : p.tx.ptt_type)};
    c[3] = {num(rx ? p.rx.squ : 0)};
    c[4] = {num(rx ? p.rx.ptt_id : p.tx.ptt_id)};
    c[5] = {num(rx ? p.rx.pm : p.tx.pm)};
    c[6] = {num(rx ? p.rx.ptts : p.tx.ptts)};
    c[7] = {num(rx ? p.rx.sct : 0)};
    c[8] = {num(p.count > 0)};
    for (uint32_t i = 0; i < p.count; ++i) {
        const r2s_proto_additional& e = p.additional[i];
        auto feature = [&](unsigned length) {
            c[9].push_back(hex(e.type, 2));
            c[10].push_back(num(length));
        };
        if (rx && e.type == R2S_RX_SQI) {
            feature(1);
            c[11].push_back(num(e.rx_sqi.quality));
            c[12].push_back(num(e.rx_sqi.method));
        } else if (!rx && e.type == R2S_TX_TIME_DELAY) {
            feature(1);
            uint32_t d = e.tx_time_delay.delay;
            c[13].push_back(num(d >> 7));
            c[d >> 7 ? 15 : 14].push_back(num(d & 0x7F));
        } else if (e.type == R2S_RRC && !(rx && e.rx_rrc.form == 1)) {
            feature(1);
            for (int f = 0; f < 8; ++f) c[16 + f].push_back(num(rx ? e.rx_rrc.flag[f] : e.tx_rrc.flag[f]));
        } else if (e.type == R2S_RRC) {
            feature(4);
            unsigned flags = 0;
            for (int f = 0; f < 8; ++f) flags |= e.rx_rrc.flag[f] << (7 - f);
            char value[9];
            std::snprintf(value, sizeof value, "%02x%02x%02x%02x", flags,
                          e.rx_rrc.ext_flag[0] << 7 | e.rx_rrc.ext_flag[1] << 6, e.rx_rrc.ext_value[0],
                          e.rx_rrc.ext_value[1]);
            c[24].push_back(value);
        } else if (!rx && e.type == R2S_TX_RRM) {
            feature(3);
            c[25].push_back(num(e.tx_rrm.flag));
            c[26].push_back(num(e.tx_rrm.value));
        } else if (rx && e.type == R2S_RX_MAM) {
            feature(12);
            const r2s_proto_rx_additional_mam& m = e.rx_mam;
            uint32_t values[] = {m.flag1, m.value1, m.flag2, m.value2, m.word[0], m.word[1], m.word[2]};
            for (int v = 0; v < 7; ++v) c[27 + v].push_back(num(values[v]));
        }
    }
    return row(c);
}
