#ifndef KORVAND_TESTS_SUPPORT_SIM_SCOPE_H
#define KORVAND_TESTS_SUPPORT_SIM_SCOPE_H

#include <gtest/gtest.h>

#include <memory>

#include "board/board_io.h"
#include "board/sim_board.h"
#include "tests/support/singleton_scope.h"

// Installs a standard simulated board for the life of the object. The
// singletons built meanwhile hold its devices, so they are destroyed with
// it, before it is uninstalled. By then every descriptor of the board that
// was closed must have been closed through it: one closed with a plain
// close could hide a later request on its number from the board. The
// board's final check of its numbers runs here, while its count can still
// be read.
class SimScope {
public:
    SimScope() : board_(SimBoard::makeStandard()) { setBoardIo(board_.get()); }
    ~SimScope() {
        singletons_.end();
        board_->collect();
        board_->checkNumbers();
        EXPECT_EQ(0u, board_->closedAroundTheBoard()) << "descriptors of the board closed around it";
        setBoardIo(nullptr);
    }
    SimScope(const SimScope&) = delete;
    SimScope& operator=(const SimScope&) = delete;

    SimBoard& board() { return *board_; }
    template <class Model>
    Model& model(const char* path) {
        return board_->model<Model>(path);
    }

private:
    std::unique_ptr<SimBoard> board_;
    SingletonScope singletons_;
};

#endif
