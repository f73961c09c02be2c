#ifndef KORVAND_HARDWARE_RTP_ERR_H
#define KORVAND_HARDWARE_RTP_ERR_H

#include <ostream>

#include "board/rtp_driver.h"

// The text of an RTP driver error code. An unknown code is formatted into one
// process-wide buffer that the next unknown code overwrites.
const char* RTPStrError(int code);

// The name of an RTP driver codec number; "invalid" outside 0 to 8.
const char* GetCodecAsStr(int codec);

// An RTP driver failure: the driver's code and the system error number at
// the moment it was noticed.
class RtpErr {
public:
    explicit RtpErr(int code);
    // Writes the system error text.
    void Put(std::ostream& os) const;

    int error;
    int code;
};

std::ostream& operator<<(std::ostream& os, const rtp_connection_params& p);
std::ostream& operator<<(std::ostream& os, const rtp_channel_info& p);
std::ostream& operator<<(std::ostream& os, const rtp_attach_session_params& p);
std::ostream& operator<<(std::ostream& os, const rtp_ext_attach_session_params& p);
std::ostream& operator<<(std::ostream& os, const rtp_ext_init_params& p);

#endif
