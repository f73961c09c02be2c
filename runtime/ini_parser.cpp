// The configuration dialect, read one character at a time by a seven-state
// machine. The parser reports nothing: text it cannot use is skipped.

#include <cstddef>
#include <iterator>
#include <string>

#include "runtime/ini_file.h"

namespace IniFile {

namespace {

// The states, numbered as the transition table uses them.
enum State : unsigned char {
    kOutside = 0,      // before the first header, and after a broken one
    kHeaderName = 1,   // inside the brackets of a header
    kHeaderRest = 2,   // after "]" on a header line
    kLineStart = 3,    // start of a line in a section
    kKeyName = 4,      // key name, before "="
    kBeforeValue = 5,  // after "=", blanks skipped
    kValue = 6,        // value text
};

// Character classes: a blank is the space only; a tab is ordinary text
// except at the start of a line.
enum Class : unsigned char { kLF, kHash, kOpen, kClose, kEquals, kBlank, kTab, kOther, kClasses };

enum Action : unsigned char {
    kIgnore,
    kComment,   // skip the rest of the line
    kHeader,    // section name := empty
    kSection,   // append to the section name
    kEndHead,   // new subsection of that name on this line
    kKey,       // key name := the character
    kHold,      // one more held-back blank
    kValStart,  // value := empty, held blanks dropped
    kDropKey,   // a line without "="
    kAddKey,    // held blanks, then the character, to the key name
    kAddValue,  // held blanks, then the character, to the value
    kValHash,   // after a blank a comment, else text
    kStore,     // the key and its value on this line
};

// clang-format off
const Action kActions[][kClasses] = {
    //        LF        "#"        "["        "]"        "="        blank      tab        other
    /* 0 */ {kIgnore,  kComment,  kHeader,   kIgnore,   kIgnore,   kIgnore,   kIgnore,   kIgnore},
    /* 1 */ {kIgnore,  kSection,  kSection,  kEndHead,  kSection,  kSection,  kSection,  kSection},
    /* 2 */ {kIgnore,  kComment,  kIgnore,   kIgnore,   kIgnore,   kIgnore,   kIgnore,   kIgnore},
    /* 3 */ {kIgnore,  kComment,  kHeader,   kKey,      kKey,      kIgnore,   kIgnore,   kKey},
    /* 4 */ {kDropKey, kAddKey,   kAddKey,   kAddKey,   kValStart, kHold,     kAddKey,   kAddKey},
    /* 5 */ {kStore,   kComment,  kAddValue, kAddValue, kAddValue, kIgnore,   kAddValue, kAddValue},
    /* 6 */ {kStore,   kValHash,  kAddValue, kAddValue, kAddValue, kHold,     kAddValue, kAddValue},
};

const unsigned char kNext[][kClasses] = {
    //      LF "#" "[" "]" "=" blank tab other
    /* 0 */ {0, 0,  1,  0,  0,  0,   0,  0},
    /* 1 */ {0, 1,  1,  2,  1,  1,   1,  1},
    /* 2 */ {3, 2,  2,  2,  2,  2,   2,  2},
    /* 3 */ {3, 3,  1,  4,  4,  3,   3,  4},
    /* 4 */ {3, 4,  4,  4,  5,  4,   4,  4},
    /* 5 */ {3, 5,  6,  6,  6,  5,   6,  6},
    /* 6 */ {3, 6,  6,  6,  6,  6,   6,  6},
};
// clang-format on

Class classOf(char c) {
    switch (c) {
        case '\n': return kLF;
        case '#': return kHash;
        case '[': return kOpen;
        case ']': return kClose;
        case '=': return kEquals;
        case ' ': return kBlank;
        case '\t': return kTab;
        default: return kOther;
    }
}

class Parser {
public:
    explicit Parser(File& file) : file(file) {}

    void put(char c) {
        if (c == '\r') return;
        if (comment && c != '\n') return;
        if (c == '\n') comment = false;
        Class cls = classOf(c);
        act(kActions[state][cls], c);
        state = static_cast<State>(kNext[state][cls]);
        if (c == '\n') ++line;
    }

    // A last line without a line end still stores its key.
    void finish() {
        if (state == kBeforeValue || state == kValue) act(kStore, '\n');
    }

private:
    void appendHeld(std::string& text, char c) {
        text.append(held, ' ');
        text += c;
        held = 0;
    }

    void act(Action action, char c) {
        switch (action) {
            case kIgnore: break;
            case kComment: comment = true; break;
            case kHeader: section.clear(); break;
            case kSection: section += c; break;
            case kEndHead: current = &file.NewSubSection(section, line); break;
            case kKey:
                key.assign(1, c);
                held = 0;
                break;
            case kHold: ++held; break;
            case kValStart:
                value.clear();
                held = 0;
                break;
            case kDropKey:
                key.clear();
                held = 0;
                break;
            case kAddKey: appendHeld(key, c); break;
            case kAddValue: appendHeld(value, c); break;
            case kValHash:
                if (held) {
                    held = 0;
                    comment = true;
                } else {
                    value += c;
                }
                break;
            case kStore:
                if (current) current->NewSubKey(key, value, line);
                key.clear();
                held = 0;
                break;
        }
    }

    File& file;
    State state = kOutside;
    bool comment = false;
    int line = 1;
    size_t held = 0;
    SubSection* current = nullptr;
    std::string section;
    std::string key;
    std::string value;
};

}  // namespace

void File::IntOpenStream(std::istream& in) {
    mOpened = true;
    Parser parser(*this);
    for (std::istreambuf_iterator<char> it(in), end; it != end; ++it) parser.put(*it);
    parser.finish();
}

}  // namespace IniFile
