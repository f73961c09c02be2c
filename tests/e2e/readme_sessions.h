#ifndef KORVAND_TESTS_E2E_README_SESSIONS_H
#define KORVAND_TESTS_E2E_README_SESSIONS_H

// The README's sessions, read from its text so that the tests run them as
// a person would: each fenced block that holds an `lgcpc send`
// here-document (the README is compiled in as KORVAND_README).

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

struct ReadmeSession {
    // A file that `head -c <size> /dev/urandom > build/run/root<path>` makes.
    struct File {
        std::string path;
        size_t size;
    };
    std::vector<File> files;
    // Board commands before the session and, typed in a second terminal,
    // after its answers: what follows `sim`.
    std::vector<std::string> board, boardAfter;
    // Peer programs started before the session: the `python3 -c` text.
    std::vector<std::string> peers;
    // The here-document.
    std::string input;
};

namespace ReadmeDetail {

inline bool startsWith(const std::string& line, const std::string& head) { return line.compare(0, head.size(), head) == 0; }

// One line of a block outside its here-document, into the session; false
// for a line the tests do not know how to run.
inline bool take(const std::string& line, bool after, ReadmeSession& s) {
    if (startsWith(line, "sim ")) {
        (after ? s.boardAfter : s.board).push_back(line.substr(4));
        return true;
    }
    static const std::string head = "head -c ", root = "build/run/root";
    size_t into = line.find("> " + root);
    if (!after && startsWith(line, head) && into != std::string::npos) {
        s.files.push_back({line.substr(into + 2 + root.size()), std::strtoul(line.c_str() + head.size(), nullptr, 10)});
        return true;
    }
    size_t open = line.find('\''), close = line.rfind('\'');
    if (!after && startsWith(line, "python3 -c '") && close > open) {
        s.peers.push_back(line.substr(open + 1, close - open - 1));
        return true;
    }
    return false;
}

}  // namespace ReadmeDetail

// Every session of the README, in its order.
inline std::vector<ReadmeSession> readmeSessions() {
    std::ifstream readme(KORVAND_README);
    std::vector<ReadmeSession> sessions;
    std::vector<std::string> block;
    bool fenced = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.compare(0, 3, "```") != 0) {
            if (fenced) block.push_back(line);
            continue;
        }
        fenced = !fenced;
        if (fenced) continue;
        auto opens = [](const std::string& l) {
            return l.find("<<'EOF'") != std::string::npos && l.find("lgcpc send") != std::string::npos;
        };
        bool session = false;
        for (const std::string& l : block) session = session || opens(l);
        ReadmeSession s;
        enum { before, inside, after } part = before;
        bool known = session;
        for (const std::string& l : block) {
            if (!session) break;
            if (part == before && opens(l)) {
                part = inside;
            } else if (part == inside) {
                if (l == "EOF")
                    part = after;
                else
                    s.input += l + "\n";
            } else if (!ReadmeDetail::take(l, part == after, s)) {
                known = false;
                ADD_FAILURE() << "a README session's line that no test runs: " << l;
            }
        }
        if (part == after && known) sessions.push_back(s);
        block.clear();
    }
    return sessions;
}

// The session whose input holds `text`.
inline ReadmeSession readmeSession(const std::string& text) {
    for (const ReadmeSession& s : readmeSessions())
        if (s.input.find(text) != std::string::npos) return s;
    ADD_FAILURE() << "no README session holds " << text;
    return ReadmeSession();
}

#endif
