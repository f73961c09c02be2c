// The framer driver's information text on arbitrary bytes. Besides memory
// faults (the text is handed over in a buffer of exactly its size, with no
// terminating NUL) it checks that the state description and the connected
// flag agree, and that parsing the text at once or line by line ends in the
// same record with the same change report.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "monitoring/framer_data_holder.h"

namespace {

bool same(const FramerDataHolder& a, const FramerDataHolder& b) {
    return a.connected == b.connected && a.statusDsc == b.statusDsc &&
           a.signalLoss == b.signalLoss && a.frameAlignLoss == b.frameAlignLoss &&
           a.negSlipCount == b.negSlipCount && a.posSlipCount == b.posSlipCount;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> text(data, data + size);
    FramerDataHolder whole(1, "/proc/driver/hdlc/peb22554/0");
    bool changed = whole.setFramerStatus(text);

    FramerDataHolder lines(1, "/proc/driver/hdlc/peb22554/0");
    bool anyChanged = false;
    for (const uint8_t* p = data; p < data + size;) {
        const uint8_t* eol = std::find(p, data + size, '\n');
        const uint8_t* next = eol == data + size ? eol : eol + 1;
        anyChanged |= lines.setFramerStatus(std::vector<unsigned char>(p, next));
        p = next;
    }
    if (!same(whole, lines) || changed != anyChanged) abort();
    if (whole.statusDsc.find('\n') != std::string::npos) abort();
    if (whole.statusDsc != "absent" && whole.connected != (whole.statusDsc != "No Carrier"))
        abort();
    if (!changed && !same(whole, FramerDataHolder(1, ""))) abort();
    return 0;
}
