// Feeds arbitrary text to the controller client's reader of typed values,
// once whole and once in two pieces cut where the first byte says: both
// must give the same values and errors, and every error names a line and a
// column.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "asn1/gen/lgcp.h"
#include "tools/lgcpc/input_values.h"

namespace {

std::vector<std::string> read(const std::string& text, size_t cut) {
    Lgcpc::InputValues values(&LGCP::Message::theInfo);
    std::vector<std::string> got;
    auto drain = [&] {
        Lgcpc::InputValues::Item item;
        while (values.next(item)) {
            if (!item.value && item.error.compare(0, 5, "line ") != 0) std::abort();
            got.push_back(item.where +
                          (item.value ? " " + item.value->asValueNotation() : " " + item.error));
        }
    };
    values.feed(text.data(), cut);
    drain();
    values.feed(text.data() + cut, text.size() - cut);
    values.finish();
    drain();
    return got;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    size_t cut = text.size() * data[0] / 255;
    if (read(text, cut) != read(text, 0)) std::abort();
    return 0;
}
