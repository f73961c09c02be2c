#include "board/sim_control.h"

#include <errno.h>

#include <cstdio>
#include <utility>

#include "board/sim_device.h"
#include "board/sim_words.h"

namespace SimControl {

namespace {

const char* const kStateNames[] = {"normal", "lossBF",  "lossCarrier", "ais",
                                   "rai",    "unknown", "disabled"};
const int32_t kStates = static_cast<int32_t>(sizeof kStateNames / sizeof kStateNames[0]);

// The key a log entry counts under.
std::string logKey(const SimRequest& r, const RequestName& name) {
    switch (r.kind) {
        case SimRequest::Open:
            return "open";
        case SimRequest::Close:
            return "close";
        case SimRequest::Write:
            return "write";
        case SimRequest::Ioctl:
        case SimRequest::IoctlValue:
            break;
    }
    const char* n = name ? name(r.request) : nullptr;
    return n ? n : hex(r.request);
}

struct ErrorName {
    const char* name;
    int value;
};
const ErrorName kErrorNames[] = {
    {"EIO", EIO},       {"ENODEV", ENODEV}, {"ENOENT", ENOENT}, {"ENXIO", ENXIO},
    {"EBUSY", EBUSY},   {"EAGAIN", EAGAIN}, {"EINVAL", EINVAL}, {"ENOTTY", ENOTTY},
    {"EPERM", EPERM},   {"EACCES", EACCES},
};

// "off" is 0; else a name of the table or a number 1 to 4095.
bool errorWord(const std::string& word, int& err) {
    if (word == "off") {
        err = 0;
        return true;
    }
    for (const ErrorName& e : kErrorNames) {
        if (word == e.name) {
            err = e.value;
            return true;
        }
    }
    long long v;
    if (!number(word, 1, 4095, v)) return false;
    err = static_cast<int>(v);
    return true;
}

// The words after the target: the error and an optional count.
bool faultWords(const Words& args, size_t at, int& err, int& count) {
    if (args.size() < at + 1 || args.size() > at + 2 || !errorWord(args[at], err)) return false;
    long long c = -1;
    if (args.size() == at + 2 && (err == 0 || !number(args[at + 1], 1, 1000000, c))) return false;
    count = static_cast<int>(c);
    return true;
}

}  // namespace

bool number(const std::string& word, long long min, long long max, long long& out) {
    long v;
    if (!SimWords::number(word, v) || v < min || v > max) return false;
    out = v;
    return true;
}

Words tail(const Words& words, size_t first) {
    return first >= words.size() ? Words()
                                 : Words(words.begin() + static_cast<long>(first), words.end());
}

std::string hex(unsigned long long value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", value);
    return buf;
}

bool trunkState(const std::string& word, int32_t& state) {
    for (int32_t s = 0; s < kStates; ++s) {
        if (word == kStateNames[s]) {
            state = s;
            return true;
        }
    }
    return false;
}

std::string trunkStateName(int32_t state) {
    return state >= 0 && state < kStates ? kStateNames[state] : std::to_string(state);
}

std::string log(SimDevice& device, const Words& args, const RequestName& name) {
    if (args.size() > 1) return error("wrong number of words for log");
    if (args.size() == 1 && args[0] == "clear") {
        device.clearLog();
        return "cleared";
    }
    std::vector<std::pair<std::string, size_t>> counts;
    for (const SimRequest& r : device.log()) {
        std::string key = logKey(r, name);
        size_t i = 0;
        while (i < counts.size() && counts[i].first != key) ++i;
        if (i == counts.size()) counts.emplace_back(key, 0);
        ++counts[i].second;
    }
    std::string out;
    for (const auto& c : counts) {
        if (!args.empty() && c.first == args[0]) return std::to_string(c.second);
        out += (out.empty() ? "" : " ") + c.first + "=" + std::to_string(c.second);
    }
    return args.empty() ? out : "0";
}

std::string fault(SimDevice& device, const Words& args) {
    int err = 0;
    int count = -1;
    if (!args.empty() && args[0] == "open") {
        if (!faultWords(args, 1, err, count)) return error("fault open <errno> [count] | off");
        device.failOpen(err, count);
        return "ok";
    }
    uint32_t request;
    if (args.size() >= 2 && args[0] == "request" && SimWords::word32(args[1], request)) {
        if (!faultWords(args, 2, err, count))
            return error("fault request <number> <errno> [count] | off");
        device.failRequest(request, err, count);
        return "ok";
    }
    return error("fault open ... | fault request <number> ...");
}

}  // namespace SimControl
