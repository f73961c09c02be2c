#include "board/sim_voice.h"

#include <string.h>

#include <algorithm>

#include "board/sim_words.h"
#include "board/voice_driver.h"

SimVoice::SimVoice() : SimDriver(kPath) {
    using namespace Voice;
    capacity_ = {{kMaskG729, 32}, {kMaskG723, 16}, {kMaskG711, 64}, {kMaskG711Mcc, 0}, {kMaskUniversal, 8}};
    serveRecord<int32_t>(VOICE_CAPACITY, [this](SimHandle&, const int32_t& mask) { return capacity(mask); });
    serveReport<VersionRecord>(VOICE_VERSION, [this](SimHandle&, VersionRecord& r) { return r = version_, 0; });
    setVersion("sim voice 1.0");
}

bool SimVoice::setVersion(const std::string& text) {
    if (text.size() > sizeof version_.bytes) return false;
    version_ = Voice::VersionRecord{};
    std::copy(text.begin(), text.end(), version_.bytes);
    return true;
}

int SimVoice::capacity(int mask) const {
    auto it = capacity_.find(mask);
    return it == capacity_.end() ? 0 : it->second;
}

std::string SimVoice::versionCommand(const std::vector<std::string>& words) {
    if (words.size() == 1) {
        const char* text = reinterpret_cast<const char*>(version_.bytes);
        return std::string(text, strnlen(text, sizeof version_.bytes));
    }
    if (words.size() != 2 || !setVersion(words[1])) return SimWords::error("usage: version [<text of 20 at most>]");
    return SimWords::ok();
}

std::string SimVoice::control(const std::vector<std::string>& words) {
    long mask, n;
    if (!words.empty() && words[0] == "version") return versionCommand(words);
    if (words.empty() || words[0] != "capacity") return SimDriver::control(words);
    if (words.size() < 2 || words.size() > 3 || !SimWords::number(words[1], 0, 0x7FFFFFFF, mask))
        return SimWords::error("usage: capacity <mask> [<n>]");
    if (words.size() == 2) return std::to_string(capacity(int(mask)));
    if (!SimWords::number(words[2], -0x80000000L, 0x7FFFFFFF, n)) return SimWords::error("bad capacity");
    setCapacity(int(mask), int(n));
    return SimWords::ok();
}
