#ifndef KORVAND_BOARD_SIM_CONTROL_H
#define KORVAND_BOARD_SIM_CONTROL_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "board/sim_words.h"

class SimDevice;

// Helpers for the text commands that drive device models through the
// board's control socket. The words come from outside the daemon, so every
// number is checked in full and against its range before a model uses it.
namespace SimControl {

using Words = std::vector<std::string>;

// The whole word as SimWords::number reads it, within [min, max].
bool number(const std::string& word, long long min, long long max, long long& out);

// The words from `first` on.
Words tail(const Words& words, size_t first);

// "error: " and why.
using SimWords::error;
std::string hex(unsigned long long value);

// The ACP trunk state names the framer and line models accept and print:
// "normal" 0, "lossBF" 1, "lossCarrier" 2, "ais" 3, "rai" 4, "unknown" 5,
// "disabled" 6. A state outside 0 to 6 prints as its number.
bool trunkState(const std::string& word, int32_t& state);
std::string trunkStateName(int32_t state);

// One command word of a model: the number of words that may follow it and
// the member that runs it with them.
template <class Model>
struct Command {
    const char* word;
    size_t minArgs;
    size_t maxArgs;
    std::string (Model::*run)(const Words& args);
};

// Runs the command `words[0]` names in `table`; a missing or unknown word,
// or a wrong number of words after it, is refused without running anything.
template <class Model, size_t N>
std::string dispatch(Model& model, const Command<Model> (&table)[N], const Words& words) {
    if (words.empty()) return error("no command");
    for (const Command<Model>& c : table) {
        if (words[0] != c.word) continue;
        size_t args = words.size() - 1;
        if (args < c.minArgs || args > c.maxArgs)
            return error("wrong number of words for " + words[0]);
        return (model.*c.run)(tail(words, 1));
    }
    return error("unknown command " + words[0]);
}

// Names a request number for the log summary, or returns null.
using RequestName = std::function<const char*(unsigned long)>;

// The "log" command every model offers on its request log:
//   log          "open=N close=N write=N <request>=N ...": how many of each
//                the log holds, in the order of their first entry; requests
//                without a name print as their hexadecimal number
//   log <name>   the count of one of them alone ("0" when none)
//   log clear    empties the log
std::string log(SimDevice& device, const Words& args, const RequestName& name);

// The "fault" command every device offers, to make its opens or one of its
// requests fail with an error number (a number or one of EIO, ENODEV,
// ENOENT, ENXIO, EBUSY, EAGAIN, EINVAL, ENOTTY, EPERM, EACCES), every time
// or only the next `count` times:
//   fault open <errno> [count]
//   fault request <number> <errno> [count]
//   fault open off | fault request <number> off
std::string fault(SimDevice& device, const Words& args);

}  // namespace SimControl

#endif
