#include "protocol/stat_html.h"

#include <cctype>
#include <iterator>
#include <string_view>

namespace Stat {
namespace Html {

namespace {

const char section_mark[] = "<!--GEN.";
const size_t section_mark_size = sizeof section_mark - 1;

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == ':' ||
           c == '-';
}

}  // namespace

GeneratorV1::GeneratorV1(Object& root, std::ostream& o, std::istream& templ)
    : out(o), text(std::istreambuf_iterator<char>(templ), std::istreambuf_iterator<char>()) {
    stack.push_back(&root);
}

bool GeneratorV1::generate() {
    generate_body(0);
    return balanced;
}

// Up to the end of the current section (its "end" mark) or of the input.
void GeneratorV1::generate_body(int depth) {
    for (;;) {
        switch (next_token()) {
            case End:
                if (depth > 0) balanced = false;
                done = true;
                return;
            case ValueRef:
                write_value();
                break;
            case Section:
                if (name == "end") {
                    if (depth > 0) return;
                    balanced = false;  // nothing to close: the mark is dropped
                    break;
                }
                generate_section(depth + 1);
                if (done) return;
                break;
        }
    }
}

void GeneratorV1::generate_section(int depth) {
    if (depth > max_depth) {
        balanced = false;
        done = true;
        return;
    }
    std::unique_ptr<IteratorBase> items = stack.back()->statistics_iterator(name);
    if (items && items->valid()) {
        size_t start = pos;
        do {
            pos = start;
            generate_with(items->item(), depth);
        } while (!done && items->next());
    } else if (Object* child = items ? nullptr : stack.back()->statistics_object(name)) {
        generate_with(*child, depth);
    } else {
        ++ignore;
        generate_with(nothing, depth);
        --ignore;
    }
}

void GeneratorV1::generate_with(Object& current, int depth) {
    stack.push_back(&current);
    generate_body(depth);
    stack.pop_back();
}

void GeneratorV1::write_value() {
    if (ignore > 0) return;
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        Value v = (*it)->statistics_value(name);
        if (v) {
            out << v.text;
            return;
        }
    }
    out << raw;
}

// ---- template scanner ---------------------------------------------------------

GeneratorV1::Token GeneratorV1::next_token() {
    while (pos < text.size()) {
        size_t stop;
        if (text[pos] == '<') {
            if (scan_section()) return Section;
            // An ordinary tag or comment goes through up to its ">".
            size_t close = text.find('>', pos);
            stop = close == std::string::npos ? text.size() : close + 1;
        } else if (text[pos] == '%') {
            if (scan_value()) return ValueRef;
            stop = pos + (pos + 1 < text.size() && text[pos + 1] == '%' ? 2 : 1);
        } else {
            stop = text.find_first_of("<%", pos);
            if (stop == std::string::npos) stop = text.size();
        }
        emit(pos, stop);
        pos = stop;
    }
    return End;
}

// "<!--GEN." name "--" ... ">", the name running to the first "--" before
// the tag's end.
bool GeneratorV1::scan_section() {
    if (text.compare(pos, section_mark_size, section_mark) != 0) return false;
    size_t from = pos + section_mark_size;
    size_t close = text.find('>', from);
    if (close == std::string::npos) return false;
    size_t dashes = std::string_view(text).substr(from, close - from).find("--");
    if (dashes == std::string_view::npos) return false;
    name = text.substr(from, dashes);
    raw = text.substr(pos, close + 1 - pos);
    pos = close + 1;
    return true;
}

bool GeneratorV1::scan_value() {
    size_t end = pos + 1;
    while (end < text.size() && IsNameChar(text[end])) ++end;
    if (end == pos + 1 || end >= text.size() || text[end] != '%') return false;
    name = text.substr(pos + 1, end - pos - 1);
    raw = text.substr(pos, end + 1 - pos);
    pos = end + 1;
    return true;
}

void GeneratorV1::emit(size_t from, size_t to) {
    if (ignore == 0) out.write(text.data() + from, std::streamsize(to - from));
}

bool generateV1(Object& root, std::ostream& out, std::istream& templ) {
    return GeneratorV1(root, out, templ).generate();
}

}  // namespace Html
}  // namespace Stat
