#ifndef KORVAND_SLOTS_MODEM_SLOT_H
#define KORVAND_SLOTS_MODEM_SLOT_H

#include <string>
#include <vector>

#include "core/slot.h"
#include "runtime/child_program.h"
#include "runtime/child_wait.h"
#include "runtime/fd.h"
#include "runtime/timer.h"
#include "slots/auth_record.h"

class ModemFactory;

// A dial-in or dial-out data or fax connection (create alternative
// `modem`). The first connect that asks the slot for a stream starts it:
// the modem is made ready and a child program (pppd, or a fax program)
// runs on it; the controller learns of the child's end through `abort`.
// Through the factory's authentication link the slot turns the records of
// the authentication program into `modemProceeding` signals, and answers
// an activation with the user's addresses.
//
// Children are started from an argument vector (never a shell). `execfile`
// and `execargs` name any program and arguments, run with the daemon's
// rights: the controller is trusted with them.
class ModemSlot : public Slot {
public:
    // The wait for a child to end after SIGHUP before it is killed.
    static constexpr unsigned kTerminateMs = 5000;
    // Entries of a child's argument vector, the terminating null included.
    static constexpr size_t kArgvEntries = 64;

    ModemSlot(ModemFactory& factory, const TERM::ModemParams& params);
    // Kills a child still running (see KillChild).
    ~ModemSlot() override;

    // The session key under which the authentication program knows the
    // modem; -1 for none.
    virtual int modem_id() const = 0;
    // Takes the slot out of the factory's lists (again: nothing).
    virtual void unbind() = 0;

    void IAfterCreate() override {}
    // With a child: SIGHUP, and the destruction completes when it ends or
    // is killed after kTerminateMs. Without one: at once.
    bool IBeforeDestroy() override;
    // The `modem` user parameters: the accept and address records for the
    // authentication program.
    bool IActivate(const TERM::TermActivateParams& params) override;
    bool IOnOutputStream() override;
    bool IOnInputStream() override;
    const char* GetName() const override { return "generic-modem"; }

    // A record whose key is this slot's modem_id.
    void OnAuth(const attr& record);
    static bool EqAuthId(const ModemSlot* slot, int key) { return slot->modem_id() == key; }

    int ChildPid() const { return pid; }

    // The end of pppd, and of the fax sender.
    void on_terminate(int status);
    void on_fax_terminate(int status);

protected:
    // Starts the modem on the first stream request.
    virtual void Start() = 0;

    // Lines with the slot's prefix: on the error and on the log stream.
    std::ostream& Err();
    std::ostream& Log();

    // Starts pppd on `device` with the options file unless a child runs.
    void pppd_exec(const std::string& device, const char* options);
    // Watches a started child: `pid`, its exec pipe and the handler.
    void Watch(int childPid, void (ModemSlot::*handler)(int));
    void OnTerminateTimeout();
    // SIGKILL to a child still running; its end is no longer watched.
    void KillChild();
    // The end of a watched child: completes a destruction, or tells the
    // controller with `abort`.
    void ChildEnded(int status);

    // The program path as the daemon runs it: below the filesystem root.
    static std::string Executable(const std::string& path);
    // The path of `execfile`, or `fallback`.
    std::string ProgramPath(const char* fallback) const;
    // Up to `limit` entries of `execargs`.
    std::vector<std::string> ExecArgs(size_t limit) const;

    ModemFactory& factory;
    TERM::ModemParams params;
    int pid = -1;
    ChildWait child;
    Timer terminateTimer;
    ChildProgram program;
};

// A modem slot on a DSP modem channel of the modem driver: pppd answers
// or originates a data call on the modem's tty, or a fax program runs.
class DspModemSlot : public ModemSlot {
public:
    DspModemSlot(ModemFactory& factory, const TERM::ModemParams& params);
    ~DspModemSlot() override;

    int modem_id() const override { return modem; }
    void unbind() override;
    int IGetTransmitChannel() const override { return timeslot; }
    int IGetReceiveChannel() const override { return timeslot; }
    const char* GetName() const override { return "dsp-modem"; }

    int Modem() const { return modem; }

private:
    void Start() override { InitModem(); }
    void InitModem();
    // Allocates a modem on `fd` and sets its modes; false after the abort.
    bool Allocate(int fd, int& number, int& channel);
    void SetDmp(int fd, int number);
    // A call request {modem, -1}.
    bool Call(unsigned long request, const char* failure);
    void StartCall();
    void StartFaxSender();
    void StartFaxReceiver();
    // A start failure: the line with the system error and `abort`.
    void Fail(const char* what, int err);

    Fd mctl;
    int timeslot = -1;
    int modem = -1;
    TERM::ModemInformation information;
};

// A modem slot on one of the board's HDLC network interfaces, switched to
// PPP for the life of the slot, with pppd on it.
class HdlcModemSlot : public ModemSlot {
public:
    HdlcModemSlot(ModemFactory& factory, const TERM::ModemParams& params, const std::string& ifname);
    // Kills the child, then puts the interface down and back to raw HDLC.
    ~HdlcModemSlot() override;

    // Never found by an authentication record.
    int modem_id() const override { return -1; }
    void unbind() override;
    int IGetTransmitChannel() const override { return channel; }
    int IGetReceiveChannel() const override { return channel; }
    const char* GetName() const override { return "digital-modem"; }

    const std::string& Interface() const { return ifname; }

private:
    void Start() override { initModem(); }
    void initModem();
    void RestoreInterface();

    int channel = -1;
    std::string ifname;
};

#endif
