#ifndef KORVAND_TESTS_SUPPORT_SIM_SCOPE_H
#define KORVAND_TESTS_SUPPORT_SIM_SCOPE_H

#include <memory>

#include "board/board_io.h"
#include "board/sim_board.h"
#include "tests/support/singleton_scope.h"

// Installs a standard simulated board for the life of the object. The
// singletons built meanwhile hold its devices, so they are destroyed with
// it, before it is uninstalled.
class SimScope {
public:
    SimScope() : board_(SimBoard::makeStandard()) { setBoardIo(board_.get()); }
    ~SimScope() {
        singletons_.end();
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
