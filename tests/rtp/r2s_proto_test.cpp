// The ED-137 R2S codec against payloads written out by hand from the wire
// layout, and against hostile input: every truncation and every element
// byte, in buffers of exactly their size.

#include "rtp/r2s_proto.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tests/rtp/alloc_counter.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Golden {
    const char* name;
    r2s_proto p;
    Bytes bytes;
};

std::vector<Golden> goldens() {
    std::vector<Golden> all;
    r2s_proto p;

    r2s_proto_set_rx_header(&p, 1, 1, 5, 0, 0, 0);
    p.count = 0;
    all.push_back({"rx header", p, {0x31, 0x40, 0x00, 0x00}});

    r2s_proto_set_rx_header(&p, 2, 1, 63, 1, 1, 1);
    r2s_proto_add_rx_sqi(&p, 31, 0);
    all.push_back({"rx SQI", p, {0x5F, 0xF9, 0x11, 0xF8}});

    r2s_proto_init(&p, R2S_PROTO_RX);
    r2s_proto_rx_additional_rrc rrc{{1, 0, 1, 0, 0, 0, 0, 1}, 0, {0, 0}, {0, 0}};
    r2s_proto_add_rx_rrc(&p, &rrc);
    rrc.form = 1, rrc.ext_flag[0] = rrc.ext_flag[1] = 1, rrc.ext_value[0] = 7, rrc.ext_value[1] = 9;
    r2s_proto_add_rx_rrc(&p, &rrc);
    r2s_proto_rx_additional_mam mam{1, 0x123456, 0, 0x7FFFFF, {0x0102, 0xFFFF, 0x8000}};
    r2s_proto_add_rx_mam(&p, &mam);
    all.push_back({"rx RRC and MAM", p, {0x00, 0x01, 0x31, 0xA1, 0x34, 0xA1, 0xC0, 0x07, 0x09, 0x4C, 0x92, 0x34,
                                         0x56, 0x7F, 0xFF, 0xFF, 0x01, 0x02, 0xFF, 0xFF, 0x80, 0x00}});

    r2s_proto_init(&p, 0);
    r2s_proto_set_tx_header(&p, 4, 17, 1, 0);
    r2s_proto_tx_additional_climax_time_delay delay{200};
    r2s_proto_tx_additional_rrc txRrc{{0, 1, 0, 0, 0, 0, 0, 0}};
    r2s_proto_tx_additional_rrm rrm{1, 0xABCD};
    r2s_proto_add_tx_time_delay(&p, &delay);
    r2s_proto_add_tx_rrc(&p, &txRrc);
    r2s_proto_add_tx_rrm(&p, &rrm);
    all.push_back({"tx elements", p, {0x84, 0x61, 0x21, 0xC8, 0x31, 0x40, 0x43, 0x80, 0xAB, 0xCD}});

    r2s_proto_init(&p, 0);
    r2s_proto_set_tx_header(&p, 1, 0, 0, 1);
    all.push_back({"tx header", p, {0x20, 0x10, 0x00, 0x00}});
    return all;
}

int unpack(r2s_proto& p, uint32_t direction, const Bytes& bytes) {
    Bytes exact(bytes);
    unsigned char* data = exact.empty() ? reinterpret_cast<unsigned char*>(&p) : exact.data();
    return direction == R2S_PROTO_TX ? r2s_proto_unpack_tx(&p, data, int(exact.size()))
                                     : r2s_proto_unpack_rx(&p, data, int(exact.size()));
}

Bytes pack(const r2s_proto& p, int size, int* result) {
    Bytes out(static_cast<size_t>(size));
    *result = r2s_proto_pack(&p, size ? out.data() : reinterpret_cast<unsigned char*>(result), size);
    out.resize(*result > 0 ? size_t(*result) : 0);
    return out;
}

TEST(R2sProto, EveryElementBothWaysOnGoldenBytesWithoutAllocating) {
    for (const Golden& g : goldens()) {
        SCOPED_TRACE(g.name);
        unsigned char packed[64];
        r2s_proto back;
        size_t allocations = allocationCount();
        int n = r2s_proto_pack(&g.p, packed, sizeof packed);
        ASSERT_EQ(0, g.p.type == R2S_PROTO_TX ? r2s_proto_unpack_tx(&back, g.bytes.data(), int(g.bytes.size()))
                                               : r2s_proto_unpack_rx(&back, g.bytes.data(), int(g.bytes.size())));
        EXPECT_EQ(allocations, allocationCount());
        EXPECT_EQ(g.bytes, Bytes(packed, packed + std::max(n, 0)));
        EXPECT_EQ(g.p.type, back.type);
        EXPECT_EQ(g.p.count, back.count);
        EXPECT_EQ(0, std::memcmp(&g.p.rx, &back.rx, sizeof back.rx));
        for (uint32_t i = 0; i < back.count; ++i)
            EXPECT_EQ(0, std::memcmp(&g.p.additional[i], &back.additional[i], sizeof back.additional[i])) << i;
        // Packing needs exactly the bytes it writes.
        for (int size = 0; size < int(g.bytes.size()); ++size) {
            pack(g.p, size, &n);
            EXPECT_EQ(R2S_PROTO_ERR_LENGTH, n) << size;
        }
        EXPECT_EQ(g.bytes, pack(g.p, int(g.bytes.size()), &n));
    }
}

TEST(R2sProto, ValuesAreMaskedToTheirFieldWidths) {
    r2s_proto p;
    r2s_proto_init(&p, 0);
    r2s_proto_set_rx_header(&p, 9, 3, 65, 2, 3, 5);
    r2s_proto_add_rx_sqi(&p, 33, 9);
    int n;
    EXPECT_EQ((Bytes{0x30, 0x59, 0x11, 0x09}), pack(p, 4, &n));
    r2s_proto_tx_additional_rrm rrm{3, 0xFF800001};
    r2s_proto_init(&p, 0);
    r2s_proto_set_tx_header(&p, 0, 0, 0, 0);
    r2s_proto_add_tx_rrm(&p, &rrm);
    EXPECT_EQ((Bytes{0x00, 0x01, 0x43, 0x80, 0x00, 0x01}), pack(p, 6, &n));
}

TEST(R2sProto, BadRecords) {
    r2s_proto p;
    r2s_proto_init(&p, 3);
    unsigned char b[8];
    EXPECT_EQ(R2S_PROTO_ERR_TYPE, r2s_proto_pack(&p, b, 8));
    r2s_proto_set_rx_header(&p, 0, 0, 0, 0, 0, 0);
    r2s_proto_rx_additional_rrc rrc{{0}, 2, {0, 0}, {0, 0}};
    r2s_proto_add_rx_rrc(&p, &rrc);
    EXPECT_EQ(R2S_PROTO_ERR_TYPE, r2s_proto_pack(&p, b, 8));
    EXPECT_EQ(R2S_PROTO_ERR_NULL, r2s_proto_unpack_rx(&p, nullptr, 8));
    // Elements of the other direction are left out; X still says some are held.
    r2s_proto_init(&p, R2S_PROTO_RX);
    r2s_proto_tx_additional_climax_time_delay delay{1};
    r2s_proto_add_tx_time_delay(&p, &delay);
    EXPECT_EQ(2, r2s_proto_pack(&p, b, 8));
    EXPECT_EQ(1, b[1]);
    // A seventeenth element is not added.
    for (int i = 0; i < 20; ++i) r2s_proto_add_rx_sqi(&p, 1, 1);
    EXPECT_EQ(16u, p.count);
}

TEST(R2sProto, EveryElementByteAndTruncation) {
    for (uint32_t direction : {R2S_PROTO_TX, R2S_PROTO_RX}) {
        for (int type = 0; type < 16; ++type) {
            for (int length = 0; length < 16; ++length) {
                Bytes payload{0x00, 0x01, static_cast<unsigned char>(type << 4 | length)};
                payload.resize(payload.size() + size_t(length), 0x5A);
                bool known = direction == R2S_PROTO_RX ? (type == 1 && length == 1) || (type == 3 && length == 1) ||
                                                             (type == 3 && length == 4) || (type == 4 && length == 12)
                                                       : (type == 2 && length == 1) || (type == 3 && length == 1) ||
                                                             (type == 4 && length == 3);
                r2s_proto p;
                ASSERT_EQ(0, unpack(p, direction, payload));
                EXPECT_EQ(known ? 1u : 0u, p.count) << type << "/" << length;
                EXPECT_EQ(direction, p.type);
                if (length == 0) continue;
                payload.pop_back();
                EXPECT_EQ(R2S_PROTO_ERR_LENGTH, unpack(p, direction, payload));
                EXPECT_EQ(0u, p.count);
            }
        }
    }
    r2s_proto p;
    EXPECT_EQ(R2S_PROTO_ERR_LENGTH, unpack(p, R2S_PROTO_TX, {0x84}));
    EXPECT_EQ(R2S_PROTO_ERR_LENGTH, unpack(p, R2S_PROTO_TX, {}));
    // Without X the elements are not read.
    ASSERT_EQ(0, unpack(p, R2S_PROTO_RX, {0x31, 0x40, 0x11, 0xF8}));
    EXPECT_EQ(0u, p.count);
}

TEST(R2sProto, EdgeCasesOfTheElementList) {
    r2s_proto p;
    // The RRM announces 3 data bytes but 2 remain: the time delay before it stays.
    EXPECT_EQ(R2S_PROTO_ERR_LENGTH, unpack(p, R2S_PROTO_TX, {0x84, 0x61, 0x21, 0xC8, 0x43, 0x80, 0xAB}));
    ASSERT_EQ(1u, p.count);
    EXPECT_EQ(200u, p.additional[0].tx_time_delay.delay);
    // Unknown pairs and padding are skipped.
    ASSERT_EQ(0, unpack(p, R2S_PROTO_RX, {0x00, 0x01, 0x00, 0x11, 0xF8, 0x52, 0xAA, 0xBB, 0x00, 0x00}));
    ASSERT_EQ(1u, p.count);
    EXPECT_EQ(31u, p.additional[0].rx_sqi.quality);
    // Seventeen SQI elements: sixteen are decoded.
    Bytes many{0x00, 0x01};
    for (int i = 0; i < 17; ++i) many.insert(many.end(), {0x11, static_cast<unsigned char>(i << 3)});
    ASSERT_EQ(0, unpack(p, R2S_PROTO_RX, many));
    EXPECT_EQ(16u, p.count);
    EXPECT_EQ(15u, p.additional[15].rx_sqi.quality);
    // The run rule's comparison: another source is another run.
    r2s_proto a, b;
    r2s_proto_init(&a, R2S_PROTO_TX);
    r2s_proto_init(&b, R2S_PROTO_TX);
    EXPECT_EQ(0, cmp_r2s_proto_source(&a, &b));
    b.source_addr = 0xFFFFFFFF;
    EXPECT_NE(0, cmp_r2s_proto_source(&a, &b));
    b = a;
    b.source_id = 2;
    EXPECT_NE(0, cmp_r2s_proto_source(&a, &b));
}

}  // namespace
