#include "links/dlogframe.h"

#include <cstring>

namespace ISDN {
char logbuf[kLogBufSize];
}  // namespace ISDN

const char* const kTraceCutMark = " [cut]\n";

namespace {

// ---- the bounded output ----------------------------------------------------------

// Writes into a fixed buffer and keeps it NUL-terminated after every write.
// Room for the cut mark is kept back: the first write that does not fit
// puts as much as fits, then the mark, and every later write is dropped.
class TraceOut {
  public:
    TraceOut(char* out, size_t size) : p_(out) {
        size_t mark = std::strlen(kTraceCutMark);
        markLen_ = mark < size ? mark : size - 1;
        limit_ = out + (size - 1 - markLen_);
        *p_ = 0;
    }

    void put(const char* s, size_t n) {
        if (cut_) return;
        size_t room = size_t(limit_ - p_);
        if (n > room) {
            std::memcpy(p_, s, room);
            std::memcpy(p_ + room, kTraceCutMark, markLen_);
            p_ += room + markLen_;
            cut_ = true;
        } else {
            std::memcpy(p_, s, n);
            p_ += n;
        }
        *p_ = 0;
    }
    void str(const char* s) { put(s, std::strlen(s)); }
    void ch(char c) { put(&c, 1); }
    // A content octet shown as a character; what would break the log line
    // (controls, NUL, octets above 0x7E) shows as '.'.
    void text(uint8_t c) { ch(c >= 0x20 && c < 0x7F ? char(c) : '.'); }
    void dec(long v) {
        char digits[24];
        int n = 0;
        unsigned long u =
            v < 0 ? 0ul - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
        do digits[n++] = char('0' + u % 10);
        while (u /= 10);
        if (v < 0) ch('-');
        while (n > 0) ch(digits[--n]);
    }
    // %x, %02X and %2x: hexadecimal at least `width` digits wide, padded.
    void hex(unsigned long v, bool upper, int width = 0, char pad = '0') {
        const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
        char digits[24];
        int n = 0;
        do digits[n++] = set[v & 15];
        while (v >>= 4);
        for (int i = n; i < width; ++i) ch(pad);
        while (n > 0) ch(digits[--n]);
    }

    char* position() const { return p_; }

  private:
    char* p_;
    char* limit_;
    size_t markLen_;
    bool cut_ = false;
};

// One information element: identifier, the length its length octet claims,
// and the content octets the frame really holds (at most that many).
struct Element {
    uint8_t id;
    int claimed;
    const uint8_t* c;
    int n;
};

// ---- tables --------------------------------------------------------------------------

struct MessageType {
    uint8_t code;
    const char* name;
};

const MessageType mtlist[] = {
    {0x01, "ALERTING"},
    {0x02, "CALL PROCEEDING"},
    {0x07, "CONNECT"},
    {0x0F, "CONNECT ACKNOWLEDGE"},
    {0x03, "PROGRESS"},
    {0x05, "SETUP"},
    {0x0D, "SETUP ACKNOWLEDGE"},
    {0x24, "HOLD"},
    {0x28, "HOLD ACKNOWLEDGE"},
    {0x30, "HOLD REJECT"},
    {0x31, "RETRIEVE"},
    {0x33, "RETRIEVE ACKNOWLEDGE"},
    {0x37, "RETRIEVE REJECT"},
    {0x26, "RESUME"},
    {0x2E, "RESUME ACKNOWLEDGE"},
    {0x22, "RESUME REJECT"},
    {0x25, "SUSPEND"},
    {0x2D, "SUSPEND ACKNOWLEDGE"},
    {0x21, "SUSPEND REJECT"},
    {0x20, "USER INFORMATION"},
    {0x45, "DISCONNECT"},
    {0x4D, "RELEASE"},
    {0x5A, "RELEASE COMPLETE"},
    {0x46, "RESTART"},
    {0x4E, "RESTART ACKNOWLEDGE"},
    {0x60, "SEGMENT"},
    {0x79, "CONGESTION CONTROL"},
    {0x7B, "INFORMATION"},
    {0x62, "FACILITY"},
    {0x6E, "NOTIFY"},
    {0x7D, "STATUS"},
    {0x75, "STATUS ENQUIRY"},
};

struct CauseValue {
    uint8_t code;
    const char* text;
};

const CauseValue cvlist[] = {
    {0x01, "Unallocated (unassigned) number"},
    {0x02, "No route to specified transit network"},
    {0x03, "No route to destination"},
    {0x04, "Send special information tone"},
    {0x05, "Misdialled trunk prefix"},
    {0x06, "Channel unacceptable"},
    {0x07, "Channel awarded and being delivered in an established channel"},
    {0x08, "Preemption"},
    {0x09, "Preemption - circuit reserved for reuse"},
    {0x10, "Normal call clearing"},
    {0x11, "User busy"},
    {0x12, "No user responding"},
    {0x13, "No answer from user (user alerted)"},
    {0x14, "Subscriber absent"},
    {0x15, "Call rejected"},
    {0x16, "Number changed"},
    {0x1A, "non-selected user clearing"},
    {0x1B, "Destination out of order"},
    {0x1C, "Invalid number format (address incomplete)"},
    {0x1D, "Facility rejected"},
    {0x1E, "Response to Status enquiry"},
    {0x1F, "Normal, unspecified"},
    {0x22, "No circuit/channel available"},
    {0x26, "Network out of order"},
    {0x27, "Permanent frame mode connection out-of-service"},
    {0x28, "Permanent frame mode connection operational"},
    {0x29, "Temporary failure"},
    {0x2A, "Switching equipment congestion"},
    {0x2B, "Access information discarded"},
    {0x2C, "Requested circuit/channel not available"},
    {0x2E, "Precedence call blocked"},
    {0x2F, "Resource unavailable, unspecified"},
    {0x31, "Quality of service unavailable"},
    {0x32, "Requested facility not subscribed"},
    {0x35, "Outgoing calls barred within CUG"},
    {0x37, "Incoming calls barred within CUG"},
    {0x39, "Bearer capability not authorized"},
    {0x3A, "Bearer capability not presently available"},
    {0x3E, "Inconsistency in designated outgoing access information and subscriber class "},
    {0x3F, "Service or option not available, unspecified"},
    {0x41, "Bearer capability not implemented"},
    {0x42, "Channel type not implemented"},
    {0x43, "Requested facility not implemented"},
    {0x44, "Only restricted digital information bearer capability is available"},
    {0x4F, "Service or option not implemented"},
    {0x51, "Invalid call reference value"},
    {0x52, "Identified channel does not exist"},
    {0x53, "A suspended call exists, but this call identity does not"},
    {0x54, "Call identity in use"},
    {0x55, "No call suspended"},
    {0x56, "Call having the requested call identity has been cleared"},
    {0x57, "User not member of CUG"},
    {0x58, "Incompatible destination"},
    {0x5A, "Non-existent CUG"},
    {0x5B, "Invalid transit network selection"},
    {0x5F, "Invalid message, unspecified"},
    {0x60, "Mandatory information element is missing"},
    {0x61, "Message type non-existent or not implemented"},
    {0x62,
     "Message not compatible with call state or message type non-existent or not implemented "},
    {0x63, "Information element/parameter non-existent or not implemented"},
    {0x64, "Invalid information element contents"},
    {0x65, "Message not compatible with call state"},
    {0x66, "Recovery on timer expiry"},
    {0x67, "Parameter non-existent or not implemented - passed on"},
    {0x6E, "Message with unrecognized parameter discarded"},
    {0x6F, "Protocol error, unspecified"},
    {0x7F, "Interworking, unspecified"},
};

static_assert(sizeof mtlist / sizeof mtlist[0] == 32, "message types");
static_assert(sizeof cvlist / sizeof cvlist[0] == 67, "cause values");

// ---- element printers -------------------------------------------------------------------

// `count` characters '0' or '1': the bits of `octet` from bit `from` (8 is
// the most significant) downwards.
int printbits(TraceOut& o, uint8_t octet, int from, int count) {
    for (int i = 0; i < count; ++i) o.ch((octet >> (from - 1 - i)) & 1 ? '1' : '0');
    return count;
}

// The position after the first octet at or after `p` whose bit 8 is set
// (an extension group's last octet); `end` when there is none.
int skipext(const uint8_t* c, int p, int end) {
    while (p < end && !(c[p] & 0x80)) ++p;
    return p < end ? p + 1 : end;
}

// "    <label>" and the eight bits of `octet`, then a new line.
void bitsLine(TraceOut& o, const char* label, uint8_t octet) {
    o.str(label);
    printbits(o, octet, 8, 8);
    o.ch('\n');
}

// The octet-group suffix: blank, then 'a', 'b', ... (held at 'z').
char suffix(int k) {
    return k == 0 ? ' ' : char('a' + (k > 26 ? 25 : k - 1));
}

void digits(TraceOut& o, const Element& e, int from) {
    o.str("    number digits ");
    for (int i = from; i < e.n; ++i) o.text(e.c[i]);
    o.ch('\n');
}

void general(TraceOut& o, const Element& e) {
    int number = 3, k = 0;
    for (int i = 0; i < e.n; ++i) {
        o.str("    octet ");
        o.dec(number);
        o.ch(suffix(k));
        o.ch(' ');
        printbits(o, e.c[i], 8, 8);
        o.ch('\n');
        if (e.c[i] & 0x80) {
            ++number;
            k = 0;
        } else {
            ++k;
        }
    }
}

void prbearer(TraceOut& o, const Element& e) {
    if (e.n < 1) return;
    bitsLine(o, "    octet 3  ", e.c[0]);
    if (e.n < 2) return;
    bitsLine(o, "    octet 4  ", e.c[1]);
    int i = 2;
    if ((e.c[1] & 0x1F) == 24 && i < e.n) bitsLine(o, "    octet 4.1 ", e.c[i++]);
    while (i < e.n) {
        int group = (e.c[i] >> 5) & 3;
        if (group == 1) {
            int last = skipext(e.c, i, e.n);
            for (int k = 0; i < last; ++i, ++k) {
                o.str("    octet 5");
                o.ch(suffix(k));
                o.ch(' ');
                printbits(o, e.c[i], 8, 8);
                o.ch('\n');
            }
        } else if (group == 2) {
            bitsLine(o, "    octet 6  ", e.c[i++]);
        } else if (group == 3) {
            bitsLine(o, "    octet 7  ", e.c[i++]);
        } else {
            return;  // no layer information group: nothing more to name
        }
    }
}

void prcause(TraceOut& o, const Element& e) {
    if (e.n < 1) return;
    o.str("    coding ");
    printbits(o, e.c[0], 7, 2);
    o.str(" location ");
    printbits(o, e.c[0], 4, 4);
    o.ch('\n');
    int i = (e.c[0] & 0x80) ? 1 : 2;
    if (i >= e.n) return;
    uint8_t value = e.c[i++] & 0x7F;
    if (const char* text = q850CauseText(value)) {
        o.str("  cause value ");
        o.hex(value, false);
        o.str(" : ");
        o.str(text);
        o.str(" \n");
    } else {
        o.str("Unknown cause type ");
        o.hex(value, false);
        o.str("!\n");
    }
    // Diagnostics: attribute, rejected and available octets, until an
    // octet with bit 8 set after the attribute ends them.
    while (i < e.n) {
        o.str("    diag attribute ");
        o.dec(e.c[i++] & 0x7F);
        o.ch(' ');
        bool last = i >= e.n;
        if (!last) {
            uint8_t rej = e.c[i++];
            o.str(" rej ");
            o.dec(rej & 0x7F);
            o.ch(' ');
            last = (rej & 0x80) || i >= e.n;
        }
        if (last) {
            o.ch('\n');
            return;
        }
        o.str(" av ");
        o.dec(e.c[i++] & 0x7F);
        o.ch('\n');
    }
}

void prchident(TraceOut& o, const Element& e) {
    if (e.n >= 1) bitsLine(o, "    octet 3 ", e.c[0]);
}

void prcalled(TraceOut& o, const Element& e) {
    if (e.n >= 1) bitsLine(o, "    octet 3 ", e.c[0]);
    digits(o, e, 1);
}

void prcalling(TraceOut& o, const Element& e) {
    int first = 1;
    if (e.n >= 1) bitsLine(o, "    octet 3 ", e.c[0]);
    if (e.n >= 2 && !(e.c[0] & 0x80)) {
        bitsLine(o, "    octet 3a ", e.c[1]);
        first = 2;
    }
    digits(o, e, first);
}

void display(TraceOut& o, const Element& e) {
    o.str("   \"");
    for (int i = 0; i < e.n; ++i) o.text(e.c[i]);
    o.str("\"\n");
}

void prfacility(TraceOut& o, const Element& e) {
    if (e.n < 1) return;
    bitsLine(o, "    octet 3 ", e.c[0]);
    int i = 1;
    while (i < e.n) {
        bitsLine(o, "   octet 4 ", e.c[i++]);
        if (i >= e.n) break;
        int length = e.c[i++] & 0x7F;
        o.str("   octet 5 ");
        o.dec(length);
        o.ch('\n');
        o.str("   contents ");
        for (int k = 0; k < length && i < e.n; ++k, ++i) {
            o.hex(e.c[i], false, 2, ' ');
            o.ch(' ');
        }
        o.ch('\n');
    }
}

struct ElementType {
    uint8_t code;
    const char* name;
    void (*print)(TraceOut&, const Element&);
};

const ElementType ielist[] = {
    {0x00, "Segmented message", general},
    {0x04, "Bearer capability", prbearer},
    {0x08, "Cause", prcause},
    {0x10, "Call identity", general},
    {0x14, "Call state", general},
    {0x18, "Channel identification", prchident},
    {0x1C, "Facility", prfacility},
    {0x1E, "Progress indicator", general},
    {0x20, "Network-specific facilities", general},
    {0x27, "Notification indicator", general},
    {0x28, "Display", display},
    {0x29, "Date/Time", general},
    {0x2C, "Keypad facility", general},
    {0x34, "Signal", general},
    {0x40, "Information rate", general},
    {0x42, "End-to-end delay", general},
    {0x43, "Transit delay selection and indication", general},
    {0x44, "Packet layer binary parameters", general},
    {0x45, "Packet layer window size", general},
    {0x46, "Packet size", general},
    {0x47, "Closed user group", general},
    {0x4A, "Reverse charge indication", general},
    {0x6C, "Calling party number", prcalling},
    {0x6D, "Calling party subaddress", general},
    {0x70, "Called party number", prcalled},
    {0x71, "Called party subaddress", general},
    {0x74, "Redirecting number", general},
    {0x78, "Transit network selection", general},
    {0x79, "Restart indicator", general},
    {0x7C, "Low layer compatibility", general},
    {0x7D, "High layer compatibility", general},
    {0x7E, "User-user", general},
    {0x7F, "Escape for extension", general},
};

static_assert(sizeof ielist / sizeof ielist[0] == 33, "information elements");

const ElementType* elementType(uint8_t id) {
    for (const ElementType& t : ielist)
        if (t.code == id) return &t;
    return nullptr;
}

// ---- the frame ---------------------------------------------------------------------------

void singleOctetElement(TraceOut& o, uint8_t octet) {
    switch ((octet >> 4) & 7) {
        case 2:
            if (octet == 0xA0) o.str("  More data\n");
            if (octet == 0xA1) o.str("  Sending complete\n");
            return;
        case 1:
            o.str("  Shift ");
            break;
        case 3:
            o.str("  Congestion level ");
            break;
        case 5:
            o.str("  Repeat indicator ");
            break;
        default:
            o.str("  Reserved ");
            o.hex(octet, false);
            o.ch('\n');
            return;
    }
    o.hex(octet & 0x0F, false);
    o.ch('\n');
}

// The variable-length element at `p`; returns the position after it.
int variableElement(TraceOut& o, const uint8_t* f, int p, int len) {
    bool hasLength = p + 1 < len;
    Element e{f[p], hasLength ? f[p + 1] : 0, f + p + 2, 0};
    int room = len - (p + 2);
    e.n = room <= 0 ? 0 : (e.claimed < room ? e.claimed : room);
    if (const ElementType* type = elementType(e.id)) {
        o.str("  ");
        o.str(type->name);
        o.ch('\n');
        type->print(o, e);
    } else {
        o.str("  attribute ");
        o.hex(e.id, false);
        o.str(" attribute size ");
        o.dec(e.claimed);
        o.ch('\n');
    }
    if (!hasLength || e.n < e.claimed) {
        o.str("    cut short: ");
        o.dec(e.n);
        o.str(" of ");
        o.dec(e.claimed);
        o.str(" octets in the frame\n");
    }
    return p + 2 + e.claimed;
}

// The call reference: its length (low four bits of its first octet), the
// flag (bit 8 of the first value octet) and the value; returns the position
// of the message type.
int callReference(TraceOut& o, const uint8_t* f, int p, int len, int size, bool& ok) {
    int crLength = f[p] & 0x0F;
    int type = p + 1 + crLength;
    ok = type < len;
    if (!ok) return type;
    o.str("callref ");
    const uint8_t* value = f + p + 1;
    if (crLength > 4) {  // no network uses these; shown as they are
        o.str("0x");
        for (int i = 0; i < crLength; ++i) o.hex(i == 0 ? value[i] & 0x7F : value[i], true, 2);
    } else {
        unsigned long v = 0;
        for (int i = 0; i < crLength; ++i) v = (v << 8) | (i == 0 ? value[i] & 0x7F : value[i]);
        o.dec(long(v));
    }
    o.str(crLength > 0 && (value[0] & 0x80) ? " called" : " caller");
    o.str(" size ");
    o.dec(size);
    return type;
}

void messageType(TraceOut& o, uint8_t type) {
    if (const char* name = q931MessageName(type)) {
        o.str(" message type ");
        o.str(name);
        o.ch('\n');
        return;
    }
    o.str(" unknown message type ");
    o.hex(type, false);
    o.str("!\n");
}

void layer3(TraceOut& o, const uint8_t* f, int start, int len) {
    if (start >= len) {
        o.str("frame too short\n");
        return;
    }
    if (f[start] != 8) {
        o.str("Unknown protocol ");
        o.hex(f[start], false);
        o.ch('!');
        return;
    }
    bool ok = start + 1 < len;
    int type = ok ? callReference(o, f, start + 1, len, len - start, ok) : 0;
    if (!ok) {
        o.str("frame too short\n");
        return;
    }
    messageType(o, f[type]);
    for (int p = type + 1; p < len;) {
        if (f[p] & 0x80) {
            singleOctetElement(o, f[p++]);
        } else {
            p = variableElement(o, f, p, len);
        }
    }
}

// The address and control field; returns where the layer-3 message starts,
// or -1 when the frame carries none this printer reads.
int address(TraceOut& o, const uint8_t* f, int len) {
    int sapi = f[0] >> 2, tei = f[1] >> 1;
    uint8_t control = f[2];
    if (tei == 127) {
        if (sapi == 63) {
            o.str("tei management:\n");
        } else if (sapi != 0) {
            o.str("unknown sapi ");
            o.dec(sapi);
            o.str(" broadcast\n");
        } else if (control == 0x03) {
            o.str("broadcast\n");
            return 3;
        } else {
            o.str("no UI broadcast\n");
        }
        return -1;
    }
    if (sapi != 0) {
        o.str("unknown sapi = ");
        o.dec(sapi);
        o.str("; tei = ");
        o.dec(tei);
        o.ch('\n');
        return -1;
    }
    if (control & 1) {
        o.str("SFrame tei = ");
        o.dec(tei);
        o.str(" (");
        for (int i = 2; i < len; ++i) {
            o.hex(f[i], true, 2);
            o.ch(' ');
        }
        o.str(")\n");
        return -1;
    }
    o.str("IFrame tei = ");
    o.dec(tei);
    o.ch('\n');
    return 4;
}

}  // namespace

const char* q931MessageName(uint8_t type) {
    for (const MessageType& m : mtlist)
        if (m.code == type) return m.name;
    return nullptr;
}

const char* q931ElementName(uint8_t id) {
    const ElementType* t = elementType(id);
    return t ? t->name : nullptr;
}

const char* q850CauseText(uint8_t value) {
    for (const CauseValue& c : cvlist)
        if (c.code == value) return c.text;
    return nullptr;
}

void dlogframe(const uint8_t* frame, int len, int dir, char* out, size_t size) {
    if (!frame || !out || size == 0 || len < 3) return;
    TraceOut o(out, size);
    for (int i = 0; i < len; ++i) {
        o.ch(' ');
        o.hex(frame[i], true, 2);
    }
    o.ch('\n');
    o.str("frame ");
    o.str(dir ? "network->user" : "user->network");
    o.ch(' ');
    int start = address(o, frame, len);
    if (start >= 0) layer3(o, frame, start, len);
}

const char* logframe(const uint8_t* frame, unsigned len, int dir) {
    ISDN::logbuf[0] = 0;
    dlogframe(frame, int(len), dir, ISDN::logbuf);
    return ISDN::logbuf;
}
