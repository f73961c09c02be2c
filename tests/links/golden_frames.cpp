#include "tests/links/golden_frames.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

std::string dataPath(const std::string& file) {
    return std::string(KORVAND_LAPD_DATA) + "/" + file;
}

std::map<std::string, std::string> parseFields(const std::string& text) {
    std::map<std::string, std::string> fields;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, ';');) {
        size_t eq = part.find('=');
        if (eq != std::string::npos) fields[part.substr(0, eq)] = part.substr(eq + 1);
    }
    return fields;
}

}  // namespace

const std::string& GoldenFrame::field(const std::string& key) const {
    static const std::string kNone;
    auto it = fields.find(key);
    return it == fields.end() ? kNone : it->second;
}

int GoldenFrame::number(const std::string& key) const {
    return int(std::stol(field(key), nullptr, 0));
}

std::vector<int> GoldenFrame::numbers(const std::string& key) const {
    std::vector<int> out;
    std::istringstream in(field(key));
    for (std::string n; std::getline(in, n, ',');) out.push_back(int(std::stol(n, nullptr, 0)));
    return out;
}

HdlcPair::Frame parseHex(const std::string& text) {
    HdlcPair::Frame out;
    std::istringstream in(text);
    for (std::string w; in >> w;) out.push_back(uint8_t(std::stoul(w, nullptr, 16)));
    return out;
}

std::string hexOf(const HdlcPair::Frame& octets, bool compact) {
    std::string out;
    char two[4];
    for (uint8_t o : octets) {
        std::snprintf(two, sizeof two, compact ? "%02x" : "%02X", o);
        out += (out.empty() || compact ? "" : " ") + std::string(two);
    }
    return out;
}

std::map<std::string, std::string> loadNamedLines(const std::string& path) {
    std::map<std::string, std::string> lines;
    std::ifstream in(path);
    EXPECT_TRUE(in) << "no " << path;
    for (std::string line; std::getline(in, line);) {
        size_t blank = line.find(' ');
        if (blank != std::string::npos && line[0] != '#')
            lines[line.substr(0, blank)] = line.substr(blank + 1);
    }
    return lines;
}

std::vector<GoldenFrame> loadGoldenFrames(const std::string& frameFile) {
    std::map<std::string, std::string> decodes = loadNamedLines(dataPath("decodes.txt"));
    std::vector<GoldenFrame> frames;
    std::ifstream in(dataPath(frameFile));
    EXPECT_TRUE(in) << "no " << dataPath(frameFile);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        GoldenFrame f;
        std::string direction, rest;
        if (!(words >> f.name >> direction) || f.name[0] == '#') continue;
        std::getline(words, rest);
        f.toUser = direction == "n2u";
        f.octets = parseHex(rest);
        auto d = decodes.find(f.name);
        EXPECT_NE(d, decodes.end()) << "no decode of " << f.name;
        if (d != decodes.end()) f.fields = parseFields(d->second);
        frames.push_back(f);
    }
    EXPECT_FALSE(frames.empty());
    return frames;
}
