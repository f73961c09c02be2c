#ifndef KORVAND_RTP_RTCP_H
#define KORVAND_RTP_RTCP_H

#include <cstdint>
#include <string>
#include <vector>

// The two RTCP packets (RFC 3550) a session sends itself: a source
// description when it starts and a goodbye when it ends. The RTP driver
// carries the media and sends no RTCP.
namespace RTPC {

// One RTCP packet: a 4-byte header (version 2, the count, the packet type,
// the length in 32-bit words minus one), the SSRC and the body.
class Msg {
public:
    explicit Msg(uint32_t ssrc) : ssrc(ssrc) {}
    virtual ~Msg() = default;

    virtual unsigned pt() const = 0;
    // The 5-bit count field of the header.
    virtual unsigned count() const = 0;
    // Writes the SSRC and the rest of the body, zero-padded to a multiple
    // of 4 bytes, into `size` bytes; returns the bytes written.
    virtual unsigned encode_body(char* buffer, unsigned size) const = 0;

    // Writes the whole packet; its length in bytes, or 0 when `size` is
    // below 8. A size that is no multiple of 4 is used only up to the last
    // whole word, so the padding never leaves the buffer.
    unsigned encode(char* buffer, unsigned size) const;

    uint32_t ssrc;
};

// A source description of one SSRC; items that do not fit are left out
// with every item after them.
class SDES : public Msg {
public:
    struct Item {
        enum Type { CNAME = 1, NAME = 2, EMAIL = 3, PHONE = 4, LOC = 5, TOOL = 6, NOTE = 7, PRIV = 8 };
        Type type;
        std::string text;  // sent cut to 255 bytes
    };

    explicit SDES(uint32_t ssrc) : Msg(ssrc) {}
    void add(Item::Type type, const std::string& text) { items.push_back(Item{type, text}); }

    unsigned pt() const override { return 202; }
    unsigned count() const override { return 1; }
    unsigned encode_body(char* buffer, unsigned size) const override;

    std::vector<Item> items;
};

// A goodbye of one SSRC with an optional reason (cut to what fits, at most
// 255 bytes).
class BYE : public Msg {
public:
    BYE(uint32_t ssrc, std::string reason) : Msg(ssrc), reason(std::move(reason)) {}

    unsigned pt() const override { return 203; }
    unsigned count() const override { return 1; }
    unsigned encode_body(char* buffer, unsigned size) const override;

    std::string reason;
};

}  // namespace RTPC

#endif
