#ifndef KORVAND_RTP_SIG_PROTO_H
#define KORVAND_RTP_SIG_PROTO_H

#include <cstdint>

// The LEMZ radio signalling packet carried in RTP header extensions of
// profile 0x1337: a 4-byte header (type, priority, flags, status) and a
// body that depends on the type. Plain records and functions: a record, a
// byte buffer and a length in; a byte count or a negative code out. Nothing
// here allocates or keeps state.

// Packet types. GW_ types go from the workstation to the gateway, WM_ types
// from the gateway to the workstation.
enum sig_proto_packet_type {
    GW_FLAG = 1,
    GW_ADJUST_CHAN = 2,
    GW_FLAG_PTT = 3,
    GW_FLAG_BSS = 4,
    GW_FLAG_RV = 5,
    GW_FLAG_SH = 6,
    GW_FLAG_PW = 7,
    GW_FLAG_RS = 8,
    GW_SEL_CALL = 9,
    GW_SELECT_RC_CHAN = 10,
    GW_ADJUST_SQUELSHE = 11,
    GW_ADJUST_RTE = 12,
    GW_ADJUST_STANDBY = 13,
    WM_FLAG = 129,
    WM_TRANS = 130,
    WM_RADIO_QUALITY = 131,
    WM_CHAN = 132,
    WM_SEL_CALL_TRANS = 133,
    WM_SELECT_RC_CHAN = 134,
    WM_STANDBY = 135,
};

// Result codes shared with the ED-137 codec.
const int SIG_PROTO_ERR_NULL = -7;     // a null record or buffer
const int SIG_PROTO_ERR_TYPE = -8;     // an unknown packet type
const int SIG_PROTO_ERR_LENGTH = -9;   // a buffer too short

const int SIG_PROTO_CALLER_ID_SIZE = 256;

struct sig_proto_gw_adjust_chan {
    uint32_t id;
    float freq;
};

struct sig_proto_gw_sel_call {
    uint8_t callerID_length;
    unsigned char callerID[SIG_PROTO_CALLER_ID_SIZE];
};

struct sig_proto_select_rc_chan {
    uint8_t interface;
    uint8_t channel;
};

struct sig_proto_gw_adjust_squelsh {
    uint8_t squelsh;
};

struct sig_proto_gw_adjust_rte {
    uint8_t rte;
};

struct sig_proto_gw_adjust_standby {
    uint8_t state;
};

struct sig_proto_wm_trans {
    uint32_t session_addr;  // IPv4, network order
    uint32_t ssrc;
};

struct sig_proto_wm_radio_quality {
    float radio_quality;
};

struct sig_proto_wm_chan {
    uint32_t id;
    float freq;
    uint8_t squelsh;
    uint8_t rte;
};

struct sig_proto_wm_sel_call_trans {
    uint32_t session_addr;  // IPv4, network order
    uint32_t ssrc;
    uint8_t callerID_length;
    unsigned char callerID[SIG_PROTO_CALLER_ID_SIZE];
};

struct sig_proto_wm_standby {
    uint8_t state;
    uint8_t group;
    uint8_t receiver_state;
};

// One packet. The two source words are never packed or unpacked: the radio
// controller fills them from what the driver tells of the received packet.
struct sig_proto {
    uint32_t source_addr;  // the sender's IPv4 address
    uint32_t source_id;    // the driver's second source word
    uint32_t type;
    uint32_t priority;  // 4 bits
    uint32_t flag_t;
    uint32_t flag_p;
    uint32_t flag_r;
    uint32_t flag_s;
    uint32_t flag_b;
    uint32_t flag_rv;
    uint32_t flag_sh;
    uint32_t flag_rs;
    uint32_t flag_pw;
    uint32_t flag_c;  // 2 bits
    uint32_t status;  // 9 bits
    union {
        sig_proto_gw_adjust_chan gw_adjust_chan;
        sig_proto_gw_sel_call gw_sel_call;
        sig_proto_select_rc_chan gw_select_rc_chan;
        sig_proto_gw_adjust_squelsh gw_adjust_squelsh;
        sig_proto_gw_adjust_rte gw_adjust_rte;
        sig_proto_gw_adjust_standby gw_adjust_standby;
        sig_proto_wm_trans wm_trans;
        sig_proto_wm_radio_quality wm_radio_quality;
        sig_proto_wm_chan wm_chan;
        sig_proto_wm_sel_call_trans wm_sel_call_trans;
        sig_proto_select_rc_chan wm_select_rc_chan;
        sig_proto_wm_standby wm_standby;
    };
};

// A queue of packets by type; nothing in the daemon uses it.
struct sig_proto_queue {
    sig_proto slot[32];
    unsigned char tail[128];
};

// Rows of the packet name table; the table ends with the row {-1, ""}.
struct s_sig_proto_table_name {
    int id;
    const char* name;
};

const int SIG_PROTO_NAME_ROWS = 128;
extern const s_sig_proto_table_name sig_proto_packet_const_name[SIG_PROTO_NAME_ROWS];

// The bytes written, 0 for a null record or buffer, -9 when `size` is
// below 4 or below what the type needs. Types without a body, and unknown
// ones, are written as the header alone.
int sig_proto_pack(const sig_proto* p, unsigned char* buffer, int size);
// 0; -7 for a null record or data; -9 when the data is too short (the
// record is left as it was); -8 for an unknown type (only `type` is set).
// The padding after a caller id is not required.
int sig_proto_unpack(sig_proto* p, const unsigned char* data, int length);

int sig_proto_init(sig_proto* p);
int init_sig_proto_queue(sig_proto_queue* q);

// -1 when either is null; otherwise b minus a of the types, else of the
// source ids, else of the source addresses: 0 is the same header.
int cmp_sig_proto_header(const sig_proto* a, const sig_proto* b);
// -1 when either is null; otherwise compares the printed forms (mode 1,
// respectively 4): the difference of their lengths (b minus a), else
// strncmp of the texts.
int cmp_sig_proto(const sig_proto* a, const sig_proto* b);
int cmp_sig_proto_flags(const sig_proto* a, const sig_proto* b);

// Printing modes: the type as a number, as its name, the flags alone.
const int SIG_PROTO_PRINT_HEX = 1;
const int SIG_PROTO_PRINT_NAME = 2;
const int SIG_PROTO_PRINT_FLAGS = 4;
// Prints the record into `text` (at most `size` bytes with the terminator)
// and returns the characters written; 0 for a null argument, a size below
// 1 or a type without a printer.
int sprintf_sig_proto(char* text, long size, const sig_proto* p, int mode);

// Setters; each returns 0 and does nothing for a null record. They set the
// fields named, never the type. A negative argument of the first two
// leaves its field as it was.
int sig_proto_set_base(sig_proto* p, long priority, long t, long flag_p, long r, long s, long b,
                       long rv, long sh, long pw, long rs, long c, long status);
int sig_proto_set_ptt(sig_proto* p, long value);
int sig_proto_set_gw_adjust_standby(sig_proto* p, uint8_t state);
int sig_proto_set_gw_adjust_chan(sig_proto* p, uint32_t id, float freq);
int sig_proto_set_gw_adjust_squelsh(sig_proto* p, uint8_t squelsh);
int sig_proto_set_gw_adjust_rte(sig_proto* p, uint8_t rte);
// The caller ids keep at most 255 bytes of `text`, never past `length`; a
// null text stores an empty caller id.
int sig_proto_set_gw_selcall(sig_proto* p, const char* text, int length);
int sig_proto_set_gw_select_rc_chan(sig_proto* p, uint8_t interface, uint8_t channel);
int sig_proto_set_wm_radio_quality(sig_proto* p, float value);
int sig_proto_set_wm_transmite(sig_proto* p, uint32_t address, uint32_t ssrc);
int sig_proto_set_wm_selcall_transmite(sig_proto* p, uint32_t address, uint32_t ssrc, const char* text,
                                       int length);
int sig_proto_set_wm_select_rc_chan(sig_proto* p, uint8_t interface, uint8_t channel);
int sig_proto_set_wm_chan(sig_proto* p, uint32_t id, float freq, uint8_t squelsh, uint8_t rte);
int sig_proto_set_wm_standby(sig_proto* p, uint8_t state, uint8_t group, uint8_t receiver_state);

// The name of the first row with `id`, or null.
const char* sig_proto_find_name_by_id(const s_sig_proto_table_name* table, int id);
// The id of the first row named `name`, or -1.
int sig_proto_find_id_by_name(const s_sig_proto_table_name* table, const char* name);

// Types 1, 3, 9, 129, 130 and 133 carry push-to-talk; false for null.
bool sig_proto_is_ptt_command(const sig_proto* p);

bool is_little_endian();

#endif
