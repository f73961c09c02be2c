#include "monitoring/framer_data_holder.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "board/fs_root.h"

namespace {

const char kState[] = "Current state           : ";
const char kSignalLoss[] = "Loss of Signal          : ";
const char kFrameLoss[] = "Loss of Frame Alignment : ";
const char kSlipNegative[] = "Receive Slip Negative   : ";
const char kSlipPositive[] = "Receive Slip Positive   : ";
const char kNoCarrier[] = "No Carrier";

// The value after the first occurrence of `key` in the line; false when the
// line does not hold the key.
bool valueOf(const char* line, size_t len, const char* key, std::string& value) {
    size_t keyLen = std::strlen(key);
    const char* end = line + len;
    const char* at = std::search(line, end, key, key + keyLen);
    if (at == end) return false;
    value.assign(at + keyLen, end);
    return true;
}

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A decimal signed number as the board's 32-bit strtol reads it: leading
// white space skipped, an optional sign, digits up to the first other
// character, none giving 0, and values beyond the range held at its ends.
int parseSigned(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    long long magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        magnitude = std::min(magnitude * 10 + (text[i] - '0'), static_cast<long long>(INT_MAX) + 1);
    long long v = negative ? -magnitude : magnitude;
    return static_cast<int>(std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, v)));
}

template <class T>
bool store(T& field, const T& value) {
    if (field == value) return false;
    field = value;
    return true;
}

}  // namespace

FramerDataHolder::FramerDataHolder(int index, const std::string& path)
    : connected(false),
      statusDsc("absent"),
      signalLoss(true),
      frameAlignLoss(true),
      negSlipCount(0),
      posSlipCount(0),
      framerIndex(index),
      procPath(path) {}

bool FramerDataHolder::setState(const std::string& description, bool nowConnected) {
    if (description == statusDsc) return false;
    statusDsc = description;
    connected = nowConnected;
    return true;
}

bool FramerDataHolder::setLine(const char* line, size_t len) {
    bool changed = false;
    std::string v;
    if (valueOf(line, len, kState, v)) changed |= setState(v, v != kNoCarrier);
    if (valueOf(line, len, kSignalLoss, v)) changed |= store(signalLoss, v == "yes");
    if (valueOf(line, len, kFrameLoss, v)) changed |= store(frameAlignLoss, v == "yes");
    if (valueOf(line, len, kSlipNegative, v)) changed |= store(negSlipCount, parseSigned(v));
    if (valueOf(line, len, kSlipPositive, v)) changed |= store(posSlipCount, parseSigned(v));
    return changed;
}

bool FramerDataHolder::setFramerStatus(const std::vector<unsigned char>& text) {
    const char* p = reinterpret_cast<const char*>(text.data());
    const char* end = p + text.size();
    bool changed = false;
    while (p < end) {
        const char* eol = std::find(p, end, '\n');
        changed |= setLine(p, static_cast<size_t>(eol - p));
        p = eol == end ? end : eol + 1;
    }
    return changed;
}

bool FramerDataHolder::setFramerStatus(ACP::TrunkState state) {
    static const char* const kDescriptions[] = {"Synchronized", "FAS Loss", "No Carrier", "AIS",
                                                "RAI"};
    int v = state.getValue();
    bool known = v >= ACP::TrunkState::normal && v <= ACP::TrunkState::rai;
    return setState(known ? kDescriptions[v] : "Unknown", v != ACP::TrunkState::lossCarrier);
}

FramerDataHolder::ReadResult FramerDataHolder::readFramerFile(
    std::vector<unsigned char>& text) const {
    text.clear();
    int fd = ::open(Fs::path(procPath).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return kOpenFailed;
    text.resize(kMaxText);
    ssize_t n = ::read(fd, text.data(), text.size());
    int err = errno;
    ::close(fd);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    errno = n < 0 ? err : 0;
    return n > 0 ? kRead : kReadFailed;
}
