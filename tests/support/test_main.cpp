// The main of every test binary: GoogleTest with a check that each test
// leaves the process-wide state as it found it, so that a suite binary
// passes when run whole and not only one test per process.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <iostream>
#include <sstream>
#include <string>

#include "board/board_io.h"
#include "runtime/multiplexer.h"
#include "runtime/singleton.h"
#include "runtime/syslog_manager.h"
#include "tests/support/descriptors.h"

namespace {

const void* buffer(const std::ostream& os) {
    return os.rdbuf();
}

std::string environment(const char* name) {
    const char* value = getenv(name);
    return value ? std::string("\"") + value + "\"" : "unset";
}

// The process-wide state a test may disturb, in one comparable text.
std::string processState() {
    std::ostringstream s;
    s << "loop handlers " << multiplexer.handlerCount() << ", timers " << multiplexer.timerCount()
      << ", deferred calls " << multiplexer.dpcCount() << ", stopped " << multiplexer.stopped()
      << ", watchdog " << multiplexer.watchdogOpen() << "; singletons " << Singletons::count()
      << "; board " << &boardIo() << "; descriptors " << openDescriptors() << "; syslog descriptor "
      << syslogManager.fd() << "; KORVAND_ROOT " << environment("KORVAND_ROOT")
      << ", KORVAND_BOARD " << environment("KORVAND_BOARD") << "; stream buffers "
      << buffer(std::cout) << " " << buffer(std::clog) << " " << buffer(std::cerr);
    return s.str();
}

class ProcessStateCheck : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { before = processState(); }
    // Runs before the result printer, so a failure here fails the test.
    void OnTestEnd(const ::testing::TestInfo&) override {
        std::string after = processState();
        if (after != before)
            ADD_FAILURE() << "the test left process-wide state changed\n  before: " << before
                          << "\n  after:  " << after;
    }

    std::string before;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // End-of-test events reach the listeners in reverse order: appended
    // after the result printer, the check reports before the test's result.
    ::testing::UnitTest::GetInstance()->listeners().Append(new ProcessStateCheck);
    return RUN_ALL_TESTS();
}
