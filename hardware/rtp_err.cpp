#include "hardware/rtp_err.h"

#include <errno.h>

#include <cstdio>
#include <cstring>

namespace {

struct CodeText {
    int code;
    const char* text;
};

const CodeText kErrors[] = {
    {0, "No error"},
    {0x3000002, "Parameter out of range"},
    {0x3000004, "Memory allocation failed"},
    {0x3000008, "Allocated buffer too small"},
    {0x3000101, "Maximum number of contexts exceeded"},
    {0x3000102, "Context destroyed or never created"},
    {0x3000103, "Socket not open for reading or writing"},
    {0x3000104, "Can't obtain a new socket"},
    {0x3000105, "Can't bind socket"},
    {0x3000106, "Unable to set socket option"},
    {0x3000107, "Unable to write to socket"},
    {0x3000108, "Unable to read from socket"},
    {0x3000109, "Socket does not belong to session"},
    {0x300010A, "Change not allowed during open session"},
    {0x300010B, "Invalid address specified"},
    {0x300010C, "Invalid port specified"},
    {0x300010E, "Unable to close session"},
    {0x300010F, "No such membership info"},
    {0x3000110, "Invalid rtpprofile specified"},
    {0x3000111, "no data to receive at socket"},
    {0x3000112, "Packet looped back"},
    {0x3000113, "CSRC list not yet set"},
    {0x3000114, "2 CSRCs on list have same SSRC"},
    {0x3000115, "Packet has incorrect format"},
    {0x3000116, "Person not session member"},
    {0x3000117, "Person data protected"},
    {0x3000118, "No such sender in current session"},
    {0x3000119, "No such SDES field"},
    {0x300011A, "Encryption / decryption function not set"},
    {0x300011B, "Packet was unsuccessfully decrypted"},
    {0x300011C, "End of iterating list"},
    {0x300011D, "Not allowed to recurse"},
    {0x300011E, "SSRC in use"},
    {0x300011F, "Couldn't get socket name"},
    {0x3000120, "No such contributor"},
    {0x3000121, "CSRC list full"},
    {0x3000122, "Don't send this packet now"},
};

const char* const kCodecs[] = {"unknown",  "g711",     "g723",     "g729", "tonec",
                               "g711-rtp", "g729-rtp", "g723-rtp", "conf"};

char unknownError[64];

// The opening and closing lines of a record printed as a block.
class Block {
public:
    Block(std::ostream& os, const char* name) : os(os) { os << "  " << name << "\n  {\n"; }
    ~Block() { os << "  }\n"; }
    template <class T>
    Block& field(const char* label, T value) {
        os << "  " << label << value << "\n";
        return *this;
    }

private:
    std::ostream& os;
};

// The two attach records share their fields.
template <class Attach>
std::ostream& PutAttach(std::ostream& os, const char* name, const Attach& p) {
    Block(os, name).field(" fd_rtp = ", p.fd_rtp).field(" pid_rtp = ", p.pid_rtp);
    return os;
}

}  // namespace

const char* RTPStrError(int code) {
    for (const CodeText& e : kErrors)
        if (e.code == code) return e.text;
    std::snprintf(unknownError, sizeof unknownError, "Unknown RTP Error %d", code);
    return unknownError;
}

const char* GetCodecAsStr(int codec) {
    const int count = static_cast<int>(sizeof kCodecs / sizeof kCodecs[0]);
    return codec >= 0 && codec < count ? kCodecs[codec] : "invalid";
}

RtpErr::RtpErr(int code) : error(errno), code(code) {}

void RtpErr::Put(std::ostream& os) const {
    os << std::strerror(error);
}

std::ostream& operator<<(std::ostream& os, const rtp_connection_params& p) {
    Block(os, "rtp_connection_params")
        .field(" packet_factor = ", p.packet_factor)
        .field(" rx_pt = ", p.rx_pt)
        .field(" tx_pt = ", p.tx_pt)
        .field(" ssrc = ", p.ssrc);
    return os;
}

std::ostream& operator<<(std::ostream& os, const rtp_channel_info& p) {
    return os << "rtp_channel_info {"
              << " tdm=" << p.tdm << " dev_no=" << p.dev_no << " chn=" << p.chn << " }";
}

std::ostream& operator<<(std::ostream& os, const rtp_attach_session_params& p) {
    return PutAttach(os, "rtp_attach_session_params", p);
}

std::ostream& operator<<(std::ostream& os, const rtp_ext_attach_session_params& p) {
    return PutAttach(os, "rtp_ext_attach_session_params", p);
}

std::ostream& operator<<(std::ostream& os, const rtp_ext_init_params& p) {
    Block(os, "rtp_ext_init_params").field(" etype = ", p.etype);
    return os;
}
