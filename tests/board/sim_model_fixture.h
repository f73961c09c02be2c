#ifndef KORVAND_TESTS_BOARD_SIM_MODEL_FIXTURE_H
#define KORVAND_TESTS_BOARD_SIM_MODEL_FIXTURE_H

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include "board/sim_board.h"

// A standard simulated board with one open of the model under test, used
// as the daemon uses it: requests, and reads of the event records.
template <class Model>
class SimModelTest : public ::testing::Test {
protected:
    SimModelTest(const char* path, int flags)
        : board(SimBoard::makeStandard()), model(board->model<Model>(path)) {
        fd = board->open(path, flags);
    }
    ~SimModelTest() override { board->close(fd); }

    template <class Record>
    int request(unsigned long code, Record r) {
        return board->ioctl(fd, code, &r);
    }
    int request(unsigned long code, long value) { return board->ioctl(fd, code, value); }
    // The errno of a refused call, 0 when it was not refused.
    static int refusedWith(long result) { return result == -1 ? errno : 0; }

    template <class Event>
    Event next() {
        Event e{};
        EXPECT_EQ(ssize_t(sizeof e), ::read(fd, &e, sizeof e));
        return e;
    }
    bool replyFails(const std::string& command) {
        return board->control(command).rfind("error:", 0) == 0;
    }

    std::unique_ptr<SimBoard> board;
    Model& model;
    int fd = -1;
};

#endif
