// Runs the HTML status generator over arbitrary templates against a small
// tree of objects. It must end, and text holding neither "<" nor "%" must
// come out unchanged.

#include "protocol/stat_html.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Leaf : Stat::Object {
    explicit Leaf(std::string v) : v(std::move(v)) {}
    Stat::Value statistics_value(const std::string& name) override {
        return name == "v" ? Stat::Value(v) : Stat::Value();
    }
    std::string v;
};

struct Items : Stat::IteratorBase {
    explicit Items(std::vector<Leaf>& l) : leaves(l) {}
    bool valid() const override { return at < leaves.size(); }
    bool next() override { return ++at < leaves.size(); }
    Stat::Object& item() override { return leaves[at]; }
    std::vector<Leaf>& leaves;
    size_t at = 0;
};

struct Root : Stat::Object {
    Stat::Value statistics_value(const std::string& name) override {
        return name == "name" ? Stat::Value("root") : Stat::Value();
    }
    Stat::Object* statistics_object(const std::string& name) override {
        return name == "child" ? &child : nullptr;
    }
    std::unique_ptr<Stat::IteratorBase> statistics_iterator(const std::string& name) override {
        return name == "rows" ? std::unique_ptr<Stat::IteratorBase>(new Items(rows)) : nullptr;
    }
    Leaf child{"c"};
    std::vector<Leaf> rows{Leaf("1"), Leaf("2")};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string templ(reinterpret_cast<const char*>(data), size);
    Root root;
    std::istringstream in(templ);
    std::ostringstream out;
    Stat::Html::generateV1(root, out, in);
    if (templ.find_first_of("<%") == std::string::npos && out.str() != templ) __builtin_trap();
    return 0;
}
