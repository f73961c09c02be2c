#ifndef KORVAND_SLOTS_T38_SOFT_SLOT_H
#define KORVAND_SLOTS_T38_SOFT_SLOT_H

#include <string>
#include <vector>

#include "core/slot.h"
#include "core/slot_factory.h"
#include "runtime/child_program.h"
#include "runtime/child_wait.h"

// A software T.38 fax relay: one transparent MCC channel handed to the
// outside T.38 program as its standard input. The slot lives with the
// program: its end is reported with `abort` and the raw wait status, and a
// destroy stops it with SIGTERM without waiting.
class T38SoftSlot : public Slot {
public:
    // Watches `pid`; `program` tells a failed exec at its end.
    T38SoftSlot(int pid, int timeslot, ChildProgram& program);

    // Announces both streams at once.
    void IAfterCreate() override;
    bool IBeforeDestroy() override;
    bool IOnOutputStream() override { return true; }
    bool IOnInputStream() override { return true; }
    int IGetTransmitChannel() const override { return timeslot; }
    int IGetReceiveChannel() const override { return timeslot; }
    const char* GetName() const override { return "t38 soft"; }

    void OnT38Terminate(int status);
    int ChildPid() const { return pid; }

private:
    int pid;
    int timeslot;
    ChildWait child;
    ChildProgram program;
};

// Builds the software T.38 slots and counts the instances the program can
// run for the resource report.
class T38SoftFactory : public SlotFactory {
public:
    static constexpr const char* kProgram = "/usr/local/sbin/t38";
    // The arguments taken from `args`.
    static constexpr size_t kMaxArgs = 27;
    // How long the instance count may hold the loop: the program's answer
    // and its exit together.
    static constexpr unsigned kCountLimitMs = 2000;

    const char* GetName() const override { return "T.38 soft"; }
    Slot* INewSlot(const LGCP::CreateParams& params) override;
    void Query(LGCP::Resources& resources) override;

    // "t38 --num-of-instances": the number the program prints on its first
    // line, or 0.
    int QueryNumOfInstances();

    // The command line of the program for `params`.
    static std::vector<std::string> CommandLine(const LGCP::T38Soft& params);

private:
    // Allocates the channel: its descriptor, or -1 after the line.
    int OpenChannel(const LGCP::T38Soft& params, int& timeslot);
    // Starts the program on `channel`: its pid, or -1.
    int StartProgram(const std::vector<std::string>& argv, int channel, ChildProgram& program);
};

#endif
