#ifndef KORVAND_MONITORING_SNMP_TRAP_H
#define KORVAND_MONITORING_SNMP_TRAP_H

#include <cstdint>

// Builds one SNMPv2c trap (the community-based message carrying an
// SNMPv2-Trap-PDU), BER-encoded into the fixed buffer of a context:
// trap_init, trap_pack_begin, trap_pack_add for each variable binding,
// trap_pack_end. The packing functions return 0, or -1 when the state does
// not allow the step or the buffer is full; after a failure only trap_init
// makes the context usable again. Nothing in the daemon sends traps: the
// SNMP agents do, from what the agent link tells them.
namespace Snmp {

typedef uint32_t oid;  // one subidentifier of an object identifier

const int kTrapBufferSize = 2048;
const int kCommunitySize = 28;
const int kMaxSubidentifiers = 128;

// BER tags of the binding values trap_pack_add takes.
enum TrapValueType : uint8_t {
    kInteger = 0x02,
    kBitString = 0x03,
    kOctetString = 0x04,
    kNull = 0x05,
    kObjectId = 0x06,
    kIpAddress = 0x40,
    kCounter32 = 0x41,
    kGauge32 = 0x42,
    kTimeTicks = 0x43,
    kOpaque = 0x44,
    kNsapAddress = 0x45,
    kUInteger32 = 0x47,
};

// What a sender may give trap_init: the community (NUL-terminated, or all
// 28 characters used) and two fields the builder keeps but does not use.
struct TrapParams {
    char community[kCommunitySize];
    uint16_t param16;
    uint8_t param8;
};

// The state of one trap being built. Positions are offsets into `buffer`,
// -1 while unset; `writePos` is -1 also after a failure.
struct TrapContext {
    int version;
    int pduTag;
    int requestId;
    int errorStatus;
    int errorIndex;
    char community[kCommunitySize];
    uint16_t param16;
    uint8_t param8;
    int state;  // 0 initialised, 1 begun, 2 bindings added, 3 finished
    uint8_t buffer[kTrapBufferSize];
    int room;    // octets still free
    int length;  // the message's length once finished
    int versionPos;
    int pduPos;
    int requestIdPos;
    int bindingsPos;
    int firstBindingPos;
    int writePos;
};

// sysUpTime.0 and snmpTrapOID.0, the first two bindings of every trap.
extern const oid objid_sysuptime[9];
extern const oid objid_snmptrap[11];

// Readies `ctx` (null: nothing happens) for a new trap: version 1
// (SNMPv2c), the trap PDU tag, the next request id derived from the last
// one, the community of `params` or "vomrek" without them.
int trap_init(TrapContext* ctx, const TrapParams* params);
// Sets the request id that the next trap_init derives its own from.
int snmp_session_seed(TrapContext* ctx, int seed);
int trap_pack_begin(TrapContext* ctx);
// Appends the binding of `name` to a value: `value` points at `valueLength`
// octets (a 32-bit number for the integer types, the subidentifiers for an
// object identifier).
int trap_pack_add(TrapContext* ctx, const oid* name, int nameLength, int type, const void* value,
                  int valueLength);
int trap_pack_end(TrapContext* ctx);

// The system's uptime in hundredths of a second.
uint32_t get_uptime();
// Reads a dotted object identifier into at most `max` subidentifiers;
// returns how many (0 for a null `out` or `text`, or `max` below 1).
int parse_oid(oid* out, int max, const char* text);

// BER encoders: each writes at `data`, takes what it wrote from `*room` and
// returns where it stopped, or null when the room does not suffice or the
// value cannot be encoded.
uint8_t* asn_build_length(uint8_t* data, int* room, int length);
uint8_t* asn_build_header(uint8_t* data, int* room, uint8_t type, int length);
// Always the four-octet form: tag, 0x82, length high, length low.
uint8_t* asn_build_sequence(uint8_t* data, int* room, uint8_t type, int length);
// `size` must be 4.
uint8_t* asn_build_int(uint8_t* data, int* room, uint8_t type, const int32_t* value, int size);
uint8_t* asn_build_unsigned_int(uint8_t* data, int* room, uint8_t type, const uint32_t* value,
                                int size);
uint8_t* asn_build_null(uint8_t* data, int* room, uint8_t type);
// Zeros when `str` is null.
uint8_t* asn_build_string(uint8_t* data, int* room, uint8_t type, const uint8_t* str, int length);
uint8_t* asn_build_bitstring(uint8_t* data, int* room, uint8_t type, const uint8_t* str,
                             int length);
uint8_t* asn_build_objid(uint8_t* data, int* room, uint8_t type, const oid* ids, int count);
uint8_t* snmp_build_var_op(uint8_t* data, int* room, const oid* name, int nameLength,
                           uint8_t type, const void* value, int valueLength);

}  // namespace Snmp

#endif
