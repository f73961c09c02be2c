#ifndef KORVAND_RTP_R2S_PROTO_H
#define KORVAND_RTP_R2S_PROTO_H

#include <cstdint>

// The ED-137 radio-to-system (R2S) signalling carried in RTP header
// extensions of profile 0x0167: a 2-byte header and up to 16 additional
// elements, each a byte (type in the high nibble, data length in the low
// one) and its data. Two directions: tx, what the ground side sends to the
// radio, and rx, what the radio sends to the ground. Plain records and
// functions; nothing here allocates or keeps state.

const uint32_t R2S_PROTO_TX = 1;
const uint32_t R2S_PROTO_RX = 2;

const int R2S_PROTO_ERR_NULL = -7;    // a null record or buffer
const int R2S_PROTO_ERR_TYPE = -8;    // an unknown record type or RRC form
const int R2S_PROTO_ERR_LENGTH = -9;  // a buffer too short

const int R2S_PROTO_MAX_ADDITIONALS = 16;

// Element types; the rx and tx directions share the numbers 3 and 4.
const uint32_t R2S_RX_SQI = 1;
const uint32_t R2S_TX_TIME_DELAY = 2;
const uint32_t R2S_RRC = 3;
const uint32_t R2S_RX_MAM = 4;
const uint32_t R2S_TX_RRM = 4;

// rx signal quality: 5-bit quality, 3-bit method.
struct r2s_proto_rx_additional_sqi {
    uint32_t quality;
    uint32_t method;
};

// rx radio remote control: eight flags (the first goes to bit 7), the form
// (0 short, 1 long) and, in the long form, two more flags and two bytes.
struct r2s_proto_rx_additional_rrc {
    uint32_t flag[8];
    uint32_t form;
    uint32_t ext_flag[2];
    uint32_t ext_value[2];
};

// rx MAM: two pairs of a flag and a 23-bit value, and three 16-bit values.
struct r2s_proto_rx_additional_mam {
    uint32_t flag1;
    uint32_t value1;
    uint32_t flag2;
    uint32_t value2;
    uint32_t word[3];
};

// tx CLIMAX time delay: one byte.
struct r2s_proto_tx_additional_climax_time_delay {
    uint32_t delay;
};

// tx radio remote control: eight flags.
struct r2s_proto_tx_additional_rrc {
    uint32_t flag[8];
};

// tx RRM: a flag and a 23-bit value.
struct r2s_proto_tx_additional_rrm {
    uint32_t flag;
    uint32_t value;
};

// One additional element: its type and up to 13 value words.
struct r2s_proto_additional {
    uint32_t type;
    union {
        uint32_t words[13];
        r2s_proto_rx_additional_sqi rx_sqi;
        r2s_proto_rx_additional_rrc rx_rrc;
        r2s_proto_rx_additional_mam rx_mam;
        r2s_proto_tx_additional_climax_time_delay tx_time_delay;
        r2s_proto_tx_additional_rrc tx_rrc;
        r2s_proto_tx_additional_rrm tx_rrm;
    };
};

struct r2s_proto_rx_header {
    uint32_t ptt_type;  // 3 bits
    uint32_t squ;
    uint32_t ptt_id;    // 6 bits
    uint32_t pm;        // PTT mute
    uint32_t ptts;      // PTT summation
    uint32_t sct;
};

struct r2s_proto_tx_header {
    uint32_t ptt_type;
    uint32_t ptt_id;
    uint32_t pm;
    uint32_t ptts;
    uint32_t unused[2];
};

struct r2s_proto {
    uint32_t source_addr;  // the sender's IPv4 address (from the driver)
    uint32_t source_id;    // the driver's second source word
    uint32_t type;         // R2S_PROTO_TX or R2S_PROTO_RX
    union {
        r2s_proto_rx_header rx;
        r2s_proto_tx_header tx;
    };
    uint32_t count;  // additional elements held, 0 to 16
    r2s_proto_additional additional[R2S_PROTO_MAX_ADDITIONALS];
};

static_assert(sizeof(r2s_proto_additional) == 14 * 4, "element of 14 words");

// Zeroes the record and sets its type; 0, also for a null record.
int r2s_proto_init(r2s_proto* p, unsigned long type);
int r2s_proto_set_type(r2s_proto* p, unsigned long type);
int r2s_proto_set_tx_header(r2s_proto* p, unsigned long ptt_type, unsigned long ptt_id, unsigned long pm,
                            unsigned long ptts);
int r2s_proto_set_rx_header(r2s_proto* p, unsigned long ptt_type, unsigned long squ, unsigned long ptt_id,
                            unsigned long pm, unsigned long ptts, unsigned long sct);
int r2s_proto_reset_additionals(r2s_proto* p);

// Element adders: each fills the next free element and counts it; with a
// null argument, or 16 elements held, nothing happens. All return 0.
int r2s_proto_add_rx_sqi(r2s_proto* p, const r2s_proto_rx_additional_sqi* sqi);
int r2s_proto_add_rx_sqi(r2s_proto* p, unsigned long quality, unsigned long method);
int r2s_proto_add_rx_rrc(r2s_proto* p, const r2s_proto_rx_additional_rrc* rrc);
int r2s_proto_add_rx_mam(r2s_proto* p, const r2s_proto_rx_additional_mam* mam);
int r2s_proto_add_tx_time_delay(r2s_proto* p, const r2s_proto_tx_additional_climax_time_delay* delay);
int r2s_proto_add_tx_rrc(r2s_proto* p, const r2s_proto_tx_additional_rrc* rrc);
int r2s_proto_add_tx_rrm(r2s_proto* p, const r2s_proto_tx_additional_rrm* rrm);

// The bytes written (header and elements, not padded; 4 without elements)
// or a negative code. Values are masked to their field widths.
int r2s_proto_pack(const r2s_proto* p, unsigned char* buf, int len);
// 0 or a negative code. Unknown element pairs and padding are skipped; at
// most 16 elements are decoded, and those decoded before a -9 are kept.
int r2s_proto_unpack_tx(r2s_proto* p, const unsigned char* buf, int len);
int r2s_proto_unpack_rx(r2s_proto* p, const unsigned char* buf, int len);

// -1 when either is null; else b minus a of the types, else of the source
// ids, else of the source addresses: 0 is the same direction and source.
int cmp_r2s_proto_source(const r2s_proto* a, const r2s_proto* b);

#endif
