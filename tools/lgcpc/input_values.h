#ifndef KORVAND_TOOLS_LGCPC_INPUT_VALUES_H
#define KORVAND_TOOLS_LGCPC_INPUT_VALUES_H

// Values of one ASN.1 type written in value notation, one after another,
// taken from text that arrives in pieces (a person typing, a pipe). A value
// is read once the line that holds its end is complete, or once the input
// ended, so a value typed over several lines is read when it is whole and
// nothing waits for more than the text already given.
//
// A value that does not read becomes an error that names the line and the
// column where reading stopped, what was expected there and what was found;
// the reader then goes on after the bad value, or, when its braces do not
// close on the line where it failed, at the place of the failure. How the
// text is cut into pieces never changes what is read:
//
//   Lgcpc::InputValues values(&LGCP::Message::theInfo);
//   values.feed(chunk, n);            // as often as text comes
//   values.finish();                  // at the end of the input
//   Lgcpc::InputValues::Item item;
//   while (values.next(item)) ...     // item.value, or item.error

#include <cstddef>
#include <memory>
#include <string>

#include "asn1/abstract_data.h"

namespace Lgcpc {

class InputValues {
public:
    struct Item {
        // The value read, or null when `error` says why there is none.
        std::unique_ptr<ASN1::AbstractData> value;
        std::string error;
        // Where the value or the bad text begins, counted from 1.
        std::string where;
    };

    explicit InputValues(const ASN1::TypeInfo* type) : type(type) {}

    void feed(const char* data, size_t length);
    // No more text comes: what is left is read as it stands.
    void finish() { ended = true; }
    // The next value or error; false while none is ready.
    bool next(Item& item);

private:
    // The end of the text that may be read now.
    size_t limit() const;
    // "line L, column C" of an offset into `text`.
    std::string position(size_t at) const;
    // The word or the character at `at`, quoted, or "the end of the input".
    std::string found(size_t at, size_t end) const;
    // Where reading goes on after a bad value that begins at `start` and
    // failed at `at`.
    size_t skipBad(size_t start, size_t at, size_t end) const;
    // Forgets the text before `done`, keeping its line count.
    void compact();

    const ASN1::TypeInfo* type;
    std::string text;
    size_t done = 0;
    // Line and column of text[0].
    unsigned line = 1, column = 1;
    bool ended = false;
};

}  // namespace Lgcpc

#endif
