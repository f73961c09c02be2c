#ifndef KORVAND_BOARD_RTP_DRIVER_H
#define KORVAND_BOARD_RTP_DRIVER_H

#include <cstddef>
#include <cstdint>

#include "board/ioctl_code.h"

// Request and event records of the RTP streaming driver "/dev/rtp" and of
// the RTP header-extension driver "/dev/rtp_ext", laid out as the board lays
// them out (fields in the processor's byte order, addresses as inet_addr
// gives them).

// The session a begin-session request starts.
struct rtp_connection_params {
    uint32_t remote_addr;
    uint16_t remote_port;
    uint16_t reserved0;
    uint32_t local_addr;
    uint16_t local_port;
    uint16_t rx_pt;
    uint16_t tx_pt;
    uint16_t packet_factor;
    uint8_t vad;
    uint8_t crate;
    uint16_t reserved1;
    uint32_t ssrc;
    uint8_t reserved2[8];
    int32_t ttl;
    int32_t tos;
};

// The add-channel record: the caller passes -1 to let the driver choose and
// gets the TDM channel it attached back in `tdm`.
struct rtp_channel_info {
    int32_t tdm;
    int32_t dev_no;
    int32_t chn;
    int32_t bss_enable;
};

// Attaches an RTP session to another user: its descriptor and process.
struct rtp_attach_session_params {
    int32_t fd_rtp;
    int32_t pid_rtp;
};

struct rtp_ext_attach_session_params {
    int32_t fd_rtp;
    int32_t pid_rtp;
};

// The header-extension profile (`etype`) and its four parameter words.
struct rtp_ext_init_params {
    uint16_t etype;
    uint16_t reserved;
    uint32_t param[4];
};

const uint16_t kRtpExtLemz = 0x1337;
const uint16_t kRtpExtEd137 = 0x0167;

// What the header-extension driver tells of the next received payload: a
// second source identifier, the sender's IPv4 address (network order) and
// a word the daemon does not use.
struct rtp_ext_packet_info {
    uint32_t word[3];
};

// The only sender whose payloads the header-extension driver passes on
// while the filter is set, and a word that is always 0.
struct rtp_ext_source_filter {
    uint32_t addr;
    uint32_t reserved;
};

// One header-extension payload is at most this long, either way.
const size_t kRtpExtPayloadMax = 1024;

// An event record read from an RTP session's descriptor: the event type, a
// value and a time-out; the six words after them carry nothing the daemon
// uses. Only the packet detection event (type 1) means something.
struct rtp_event {
    uint32_t type;
    int32_t value;
    int32_t timeout;
    uint32_t reserved[6];
};

const uint32_t kRtpEventPd = 1;

// The packet-detection request: {1, 0, timeout, 0, 0, timeout, 0, 0, 0}.
struct rtp_pd_params {
    int32_t word[9];
};

// Requests on an RTP session descriptor, as the board numbers them.
namespace Rtp {

const unsigned long RTP_BEGIN_SESSION = 0xc02c5200UL;  // rtp_connection_params
const unsigned long RTP_ADD_CHANNEL = 0xc0105202UL;    // rtp_channel_info
const unsigned long RTP_TEARDOWN_1 = 0x20005203UL;
const unsigned long RTP_INPUT_ON = 0x20005204UL;
const unsigned long RTP_INPUT_OFF = 0x20005205UL;
const unsigned long RTP_TEARDOWN_0 = 0x2000520aUL;
const unsigned long RTP_TEARDOWN_2 = 0x2000520bUL;
const unsigned long RTP_SET_PD = 0xc024520cUL;     // rtp_pd_params
const unsigned long RTP_RESET_PD = 0x8004520dUL;   // a 32-bit 1
const unsigned long RTP_ATTACH = 0xc0085209UL;     // rtp_attach_session_params

// Requests on a "/dev/rtp_ext" descriptor.
const unsigned long RTP_EXT_INIT = 0xc0144500UL;          // rtp_ext_init_params
const unsigned long RTP_EXT_ATTACH = 0xc0084501UL;        // rtp_ext_attach_session_params
const unsigned long RTP_EXT_DETACH = 0x20004502UL;
const unsigned long RTP_EXT_PACKET_INFO = 0xc00c4503UL;   // rtp_ext_packet_info
const unsigned long RTP_EXT_SET_FILTER = 0xc0084504UL;    // rtp_ext_source_filter
const unsigned long RTP_EXT_RESET_FILTER = 0x20004505UL;

using BoardIoctl::code;
static_assert(RTP_BEGIN_SESSION == code(BoardIoctl::ReadWrite, 44, 'R', 0), "begin session");
static_assert(RTP_ADD_CHANNEL == code(BoardIoctl::ReadWrite, 16, 'R', 2), "add channel");
static_assert(RTP_TEARDOWN_1 == code(BoardIoctl::None, 0, 'R', 3), "teardown 3");
static_assert(RTP_INPUT_ON == code(BoardIoctl::None, 0, 'R', 4), "input on");
static_assert(RTP_INPUT_OFF == code(BoardIoctl::None, 0, 'R', 5), "input off");
static_assert(RTP_TEARDOWN_0 == code(BoardIoctl::None, 0, 'R', 10), "teardown 10");
static_assert(RTP_TEARDOWN_2 == code(BoardIoctl::None, 0, 'R', 11), "teardown 11");
static_assert(RTP_SET_PD == code(BoardIoctl::ReadWrite, 36, 'R', 12), "set PD");
static_assert(RTP_RESET_PD == code(BoardIoctl::Write, 4, 'R', 13), "reset PD");
static_assert(RTP_ATTACH == code(BoardIoctl::ReadWrite, 8, 'R', 9), "RTP attach");
static_assert(RTP_EXT_INIT == code(BoardIoctl::ReadWrite, 20, 'E', 0), "extension init");
static_assert(RTP_EXT_ATTACH == code(BoardIoctl::ReadWrite, 8, 'E', 1), "extension attach");
static_assert(RTP_EXT_DETACH == code(BoardIoctl::None, 0, 'E', 2), "extension detach");
static_assert(RTP_EXT_PACKET_INFO == code(BoardIoctl::ReadWrite, 12, 'E', 3), "packet information");
static_assert(RTP_EXT_SET_FILTER == code(BoardIoctl::ReadWrite, 8, 'E', 4), "set source filter");
static_assert(RTP_EXT_RESET_FILTER == code(BoardIoctl::None, 0, 'E', 5), "reset source filter");

}  // namespace Rtp

static_assert(sizeof(rtp_connection_params) == 44, "session record");
static_assert(offsetof(rtp_connection_params, local_port) == 12, "local_port");
static_assert(offsetof(rtp_connection_params, rx_pt) == 14, "rx_pt");
static_assert(offsetof(rtp_connection_params, tx_pt) == 16, "tx_pt");
static_assert(offsetof(rtp_connection_params, packet_factor) == 18, "packet_factor");
static_assert(offsetof(rtp_connection_params, vad) == 20, "vad");
static_assert(offsetof(rtp_connection_params, ssrc) == 24, "ssrc");
static_assert(offsetof(rtp_connection_params, ttl) == 36, "ttl");
static_assert(offsetof(rtp_connection_params, tos) == 40, "tos");

static_assert(sizeof(rtp_channel_info) == 16, "add-channel record");
static_assert(offsetof(rtp_channel_info, dev_no) == 4 && offsetof(rtp_channel_info, chn) == 8,
              "add-channel words");

static_assert(sizeof(rtp_attach_session_params) == 8 &&
                  offsetof(rtp_attach_session_params, pid_rtp) == 4,
              "RTP attach record");
static_assert(sizeof(rtp_ext_attach_session_params) == 8 &&
                  offsetof(rtp_ext_attach_session_params, pid_rtp) == 4,
              "extension attach record");

static_assert(sizeof(rtp_ext_init_params) == 20 && offsetof(rtp_ext_init_params, param) == 4,
              "extension init record");

static_assert(sizeof(rtp_ext_packet_info) == 12, "packet information record");
static_assert(sizeof(rtp_ext_source_filter) == 8 && offsetof(rtp_ext_source_filter, reserved) == 4,
              "source filter record");

static_assert(sizeof(rtp_pd_params) == 36, "PD record");
static_assert(offsetof(rtp_connection_params, local_addr) == 8 && offsetof(rtp_connection_params, tx_pt) == 16 &&
                  offsetof(rtp_connection_params, crate) == 21 && offsetof(rtp_connection_params, reserved2) == 28,
              "session record fields");

static_assert(sizeof(rtp_event) == 36 && offsetof(rtp_event, value) == 4 &&
                  offsetof(rtp_event, timeout) == 8 && offsetof(rtp_event, reserved) == 12,
              "event record");

#endif
