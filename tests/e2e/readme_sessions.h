#ifndef KORVAND_TESTS_E2E_README_SESSIONS_H
#define KORVAND_TESTS_E2E_README_SESSIONS_H

// The README's sessions, read from its text (compiled in as KORVAND_README)
// so that the tests run them with bash as a person types them: each fenced
// block that starts `lgcpc send` on a here-document.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

struct ReadmeSession {
    // The first terminal: the lines before the one that starts `lgcpc send`
    // (board set-up, files, peers), that line, and its here-document.
    std::vector<std::string> before;
    std::string opening;
    std::string input;
    // The lines after the here-document, typed in a second terminal while
    // the session runs, once its answers are in.
    std::vector<std::string> after;

    std::string firstTerminal() const {
        std::string text;
        for (const std::string& line : before) text += line + "\n";
        return text + opening + "\n" + input + "EOF\n";
    }
    // Whether its first line or input holds `text`.
    bool holds(const std::string& text) const {
        return opening.find(text) != std::string::npos || input.find(text) != std::string::npos;
    }
    std::string secondTerminal() const {
        std::string text;
        for (const std::string& line : after) text += line + "\n";
        return text;
    }
};

namespace ReadmeDetail {

// Every fenced block of the README, as its lines.
inline std::vector<std::vector<std::string>> fencedBlocks() {
    std::ifstream readme(KORVAND_README);
    std::vector<std::vector<std::string>> blocks;
    bool fenced = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.compare(0, 3, "```") == 0) {
            fenced = !fenced;
            if (fenced) blocks.emplace_back();
        } else if (fenced) {
            blocks.back().push_back(line);
        }
    }
    return blocks;
}

inline bool opensSession(const std::string& line) {
    return line.find("<<'EOF'") != std::string::npos &&
           line.find("lgcpc send") != std::string::npos;
}

}  // namespace ReadmeDetail

// Every session of the README, in its order.
inline std::vector<ReadmeSession> readmeSessions() {
    std::vector<ReadmeSession> sessions;
    for (const std::vector<std::string>& block : ReadmeDetail::fencedBlocks()) {
        ReadmeSession s;
        enum { before, inside, after } part = before;
        for (const std::string& line : block) {
            if (part == before && ReadmeDetail::opensSession(line)) {
                s.opening = line;
                part = inside;
            } else if (part == before) {
                s.before.push_back(line);
            } else if (part == inside && line == "EOF") {
                part = after;
            } else if (part == inside) {
                s.input += line + "\n";
            } else {
                s.after.push_back(line);
            }
        }
        if (part == after) sessions.push_back(s);
        EXPECT_NE(part, inside) << "a README here-document without its end: " << s.opening;
    }
    return sessions;
}

// The session whose first line or input holds `text`.
inline ReadmeSession readmeSession(const std::string& text) {
    for (const ReadmeSession& s : readmeSessions())
        if (s.holds(text)) return s;
    ADD_FAILURE() << "no README session holds " << text;
    return ReadmeSession();
}

// The README's block that defines the shell function `sim`: the definition,
// up to the line that closes it, and the commands that follow it.
struct ReadmeSimBlock {
    std::string definition;
    std::string commands;
};
inline ReadmeSimBlock readmeSimBlock() {
    ReadmeSimBlock sim;
    for (const std::vector<std::string>& block : ReadmeDetail::fencedBlocks()) {
        if (block.empty() || block[0].compare(0, 7, "sim() {") != 0) continue;
        bool defined = false;
        for (const std::string& line : block) {
            (defined ? sim.commands : sim.definition) += line + "\n";
            defined = defined || line.compare(line.size() < 2 ? 0 : line.size() - 2, 2, " }") == 0;
        }
    }
    EXPECT_FALSE(sim.definition.empty()) << "the README defines no sim function";
    return sim;
}

#endif
