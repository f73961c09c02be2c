#ifndef KORVAND_BENCH_MONITORING_REPORTS_H
#define KORVAND_BENCH_MONITORING_REPORTS_H

#include <vector>

#include "asn1/gen/lgcp.h"

// The controller's display reports of a board with `boards` expansion
// boards and `phones` telephone sets, all ready.
inline std::vector<LGCP::DisplayParams> boardAndPhoneReports(int boards, int phones) {
    std::vector<LGCP::DisplayParams> out;
    for (int i = 0; i < boards; ++i) {
        LGCP::BoardStatusParams& b = out.emplace_back().set_board().set_boardStatus();
        b.set_position(i);
        b.set_version(std::vector<char>{'2', '.', '4', '.', char('0' + i % 10)});
        b.set_status(LGCP::ExtBoardStatus::ready);
        b.set_type(LGCP::ExtBoardType::fxs);
    }
    for (int i = 0; i < phones; ++i) {
        LGCP::EmPhoneStatusParams& p = out.emplace_back().set_emPhone().set_phoneStatus();
        p.set_id(i);
        p.set_panelSV(std::vector<char>{'p', '1', '.', '0'});
        p.set_ctrlSV(std::vector<char>{'c', '3', '.', '1'});
        p.set_fpgaSV(std::vector<char>{'f', '7'});
        p.set_status(LGCP::EmPhoneStatus::ready);
        p.set_powerStatus(LGCP::POWERStatus::main);
        p.set_mode(LGCP::EmPhoneMode::active);
        p.set_hookStatus(LGCP::EmPhoneConnectionStatus::connected);
        p.set_baseStatus(LGCP::EmPhoneConnectionStatus::connected);
    }
    return out;
}

#endif
