#ifndef KORVAND_PROTOCOL_STAT_HTML_H
#define KORVAND_PROTOCOL_STAT_HTML_H

#include <cstddef>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace Stat {

// A value looked up by name: found or not, and its text.
struct Value {
    Value() = default;
    explicit Value(std::string t) : found(true), text(std::move(t)) {}
    explicit operator bool() const { return found; }

    bool found = false;
    std::string text;
};

class Object;

// A walk over a collection of objects.
class IteratorBase {
public:
    virtual ~IteratorBase() = default;
    // Stands at an item.
    virtual bool valid() const = 0;
    // Moves to the next item; false when there is none.
    virtual bool next() = 0;
    virtual Object& item() = 0;
};

// A node of a statistics tree. By default it finds nothing.
class Object {
public:
    virtual ~Object() = default;
    virtual Value statistics_value(const std::string&) { return Value(); }
    virtual Object* statistics_object(const std::string&) { return nullptr; }
    // Empty when the object has no such collection.
    virtual std::unique_ptr<IteratorBase> statistics_iterator(const std::string&) {
        return nullptr;
    }
};

namespace Html {

// Copies an HTML template, replacing value references by values of a tree
// of statistics objects and repeating or skipping marked sections:
//   <!--GEN.name-->  opens a section; <!--GEN.end--> closes the innermost.
//     The current object's collection of that name repeats the section
//     once per item (with the item as current object); its child of that
//     name gives the section once; otherwise the section is left out.
//   %name%  the value of that name from the innermost object that has it;
//     a name nobody has is written as it stood. "%%" stays "%%".
// Other tags and comments are copied through untouched (no references are
// looked for inside a tag). Names of values are letters, digits and "_.:-".
class GeneratorV1 {
public:
    // Sections nested deeper end the generation.
    static const int max_depth = 64;

    GeneratorV1(Object& root, std::ostream& out, std::istream& templ);

    // True when the whole template was written with its sections balanced.
    bool generate();

private:
    enum Token { Section = 0, ValueRef = 1, End = 2 };

    void generate_body(int depth);
    void generate_section(int depth);
    void generate_with(Object& current, int depth);
    void write_value();

    Token next_token();
    bool scan_section();
    bool scan_value();
    void emit(size_t from, size_t to);

    std::ostream& out;
    std::string text;  // the whole template: sections are read again for every item
    size_t pos = 0;
    std::vector<Object*> stack;
    Object nothing;  // what a left-out section is generated with
    int ignore = 0;  // output is written only while 0
    std::string name;
    std::string raw;
    bool done = false;
    bool balanced = true;
};

bool generateV1(Object& root, std::ostream& out, std::istream& templ);

}  // namespace Html
}  // namespace Stat

#endif
