#include "slots/modem_slot.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

#include "board/board_io.h"
#include "board/fs_root.h"
#include "board/hdlc_net_driver.h"
#include "board/modem_driver.h"
#include "hardware/hdlc_net_if.h"
#include "runtime/inet4_addr.h"
#include "slots/modem_factory.h"

namespace {

const char* const kPppd = "/usr/local/sbin/pppd";
const char* const kFaxSender = "/usr/local/sbin/fax";
const char* const kFaxReceiver = "/usr/local/bin/fax";
const char* const kAnswerOptions = "/usr/local/etc/ppp/aoptions";
const char* const kOriginateOptions = "/usr/local/etc/ppp/coptions";
const char* const kHdlcOptions = "/usr/local/etc/ppp/ioptions";
const char* const kFaxFile = "/var/fax-%H-%M-%S.g3";

// An activation address: empty text is no address (0); anything else must
// be a dotted quad.
bool ParseAddress(const std::string& text, uint32_t& networkOrder) {
    networkOrder = 0;
    return text.empty() || INet4::ParseDottedQuad(text, networkOrder);
}

uint32_t DdmMask(const ASN1::SEQUENCE_OF<TERM::DigitalDataModeEnum>& modes) {
    uint32_t mask = 0;
    for (const TERM::DigitalDataModeEnum& m : modes) {
        switch (m.getValue()) {
            case TERM::DigitalDataModeEnum::ddmV110:
                mask |= Mdm::kDdmV110;
                break;
            case TERM::DigitalDataModeEnum::ddm8BIT:
                mask |= Mdm::kDdm8Bit;
                break;
            case TERM::DigitalDataModeEnum::ddm7BIT:
                mask |= Mdm::kDdm7Bit;
                break;
            default:  // V.120 has no bit of its own
                break;
        }
    }
    return mask;
}

}  // namespace

// ---- ModemSlot ----------------------------------------------------------------------

ModemSlot::ModemSlot(ModemFactory& f, const TERM::ModemParams& p) : factory(f), params(p) {
    child.Bind(this, &ModemSlot::on_terminate);
}

ModemSlot::~ModemSlot() {
    KillChild();
}

std::ostream& ModemSlot::Err() {
    return std::cerr << *this << ": ";
}

std::ostream& ModemSlot::Log() {
    return std::clog << *this << ": ";
}

bool ModemSlot::IOnOutputStream() {
    Start();
    return true;
}

bool ModemSlot::IOnInputStream() {
    Start();
    return true;
}

bool ModemSlot::IBeforeDestroy() {
    if (pid == -1) {
        unbind();
        return true;
    }
    Err() << "sent HUP to pppd." << std::endl;
    ::kill(pid, SIGHUP);
    terminateTimer.set(kTerminateMs, &ModemSlot::OnTerminateTimeout, this);
    return false;
}

void ModemSlot::OnTerminateTimeout() {
    Err() << "pppd terminate timeout!" << std::endl;
    KillChild();
    if (!IsDestroying()) return;
    unbind();
    on_release();
}

void ModemSlot::KillChild() {
    if (pid == -1) return;
    Err() << "pppd isn't terminated, killing ..." << std::endl;
    ::kill(pid, SIGKILL);
    // Its end is reaped and dropped by the child watcher.
    child.Detach();
    pid = -1;
}

bool ModemSlot::IActivate(const TERM::TermActivateParams& activation) {
    if (!activation.is_modem()) {
        Err() << "modem's activation requests parameter." << std::endl;
        return false;
    }
    const TERM::ModemUserParameters& user = activation.get_modem();
    const std::pair<const char*, const std::string*> fields[4] = {{"remoteAddr", &user.get_remoteAddr()},
                                                                  {"netmask", &user.get_netmask()},
                                                                  {"gateway", &user.get_gateway()},
                                                                  {"dns", &user.get_dns()}};
    uint32_t addresses[4];
    for (size_t i = 0; i < 4; ++i) {
        if (ParseAddress(*fields[i].second, addresses[i])) continue;
        Err() << "bad address " << fields[i].first << "=\"" << *fields[i].second << "\"" << std::endl;
        return false;
    }
    std::vector<uint8_t> accept = AuthRecords::Accept(modem_id());
    std::vector<uint8_t> address = AuthRecords::Address(modem_id(), addresses, uint32_t(user.get_mtu().getValue()));
    factory.SendAuth(attr(accept));
    factory.SendAuth(attr(address));
    return true;
}

void ModemSlot::OnAuth(const attr& record) {
    AuthRequest request = ReadAuthRequest(record);
    if (request.signal)
        OnModem(request.proceeding);
    else
        Err() << request.note << std::endl;
}

// ---- children -----------------------------------------------------------------------

std::string ModemSlot::Executable(const std::string& path) {
    return Fs::path(path);
}

std::string ModemSlot::ProgramPath(const char* fallback) const {
    return params.has_execfile() ? std::string(params.get_execfile()) : std::string(fallback);
}

std::vector<std::string> ModemSlot::ExecArgs(size_t limit) const {
    std::vector<std::string> out;
    if (!params.has_execargs()) return out;
    for (const ASN1::IA5String& a : params.get_execargs()) {
        if (out.size() == limit) break;
        out.push_back(a);
    }
    return out;
}

void ModemSlot::Watch(int childPid, void (ModemSlot::*handler)(int)) {
    pid = childPid;
    child.Bind(this, handler);
    child.Attach(pid);
}

void ModemSlot::pppd_exec(const std::string& device, const char* options) {
    if (pid != -1) return;
    std::string path = ProgramPath(kPppd);
    ChildProgram::Command c;
    c.path = Executable(path);
    c.argv.push_back(path);
    if (params.has_execargs()) {
        std::vector<std::string> args = ExecArgs(kArgvEntries - 2);
        c.argv.insert(c.argv.end(), args.begin(), args.end());
    } else {
        c.argv.insert(c.argv.end(), {"file", options, device});
        if (!params.get_cid().empty()) c.argv.insert(c.argv.end(), {"remotenumber", params.get_cid()});
    }
    int started = program.Start(c);
    if (started < 0) {
        int err = errno;
        Err() << "vfork fail: " << std::strerror(err) << std::endl;
        OnAbort(err);
        return;
    }
    Watch(started, &ModemSlot::on_terminate);
    // The caller id as its characters: the value's own notation would quote
    // it a second time.
    const std::string& cid = params.get_cid();
    Log() << "pppd executed" << " cid=\"" << cid << "\"" << " pid=" << pid << std::endl;
}

void ModemSlot::on_terminate(int status) {
    Log() << "pppd terminated with code " << status << std::endl;
    if (int err = program.ExecError()) Err() << "fail to exec pppd: " << std::strerror(err) << std::endl;
    ChildEnded(status);
}

// The fax sender's exit code is the number of pages it moved, unless its
// exec failed.
void ModemSlot::on_fax_terminate(int status) {
    Log() << "fax terminated with code " << status << std::endl;
    if (status & 0xFF) Log() << "fax transfer failed" << std::endl;
    if (int err = program.ExecError()) {
        Err() << "fail to exec fax sender: " << std::strerror(err) << std::endl;
    } else {
        int pages = (status >> 8) & 0xFF;
        Log() << "pages received: " << pages << std::endl;
        TERM::ModemProceeding acct;
        acct.set_acct().set_octetsIn().set_low(pages);
        OnModem(acct);
    }
    ChildEnded(status);
}

void ModemSlot::ChildEnded(int status) {
    pid = -1;
    terminateTimer.reset();
    if (IsDestroying()) {
        unbind();
        on_release();
    } else {
        OnAbort(status);
    }
}

// ---- DspModemSlot -------------------------------------------------------------------

DspModemSlot::DspModemSlot(ModemFactory& f, const TERM::ModemParams& p) : ModemSlot(f, p) {}

DspModemSlot::~DspModemSlot() {
    KillChild();
    unbind();
    mctl.close();
}

void DspModemSlot::unbind() {
    factory.ReleaseModemSlot(this);
}

void DspModemSlot::Fail(const char* what, int err) {
    Err() << what << std::strerror(err) << std::endl;
    OnAbort(err);
}

void DspModemSlot::InitModem() {
    if (modem != -1) return;
    int fd = boardIo().open(Mdm::kDevice, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Fail("fail to open device: ", errno);
        return;
    }
    int number = -1, channel = -1;
    if (!Allocate(fd, number, channel)) {
        boardIo().close(fd);
        return;
    }
    timeslot = channel;
    modem = number;
    mctl = Fd(fd);
    OnChangeOutputStream(true);
    OnChangeInputStream(true);
    if (!params.has_fax())
        StartCall();
    else if (params.has_execargs())
        StartFaxSender();
    else if (params.has_originate())
        Call(Mdm::MDM_FAX_ORIGINATE, "originate failed : ");
    else
        StartFaxReceiver();
}

bool DspModemSlot::Allocate(int fd, int& number, int& channel) {
    number = boardIo().ioctl(fd, Mdm::MDM_ALLOCATE, 0L);
    if (number < 0) {
        Fail("insufficient resources : ", errno);
        return false;
    }
    channel = boardIo().ioctl(fd, Mdm::MDM_TIMESLOT, 0L);
    if (channel < 0) {
        Fail("get timeslot fail : ", errno);
        return false;
    }
    if (params.has_ddm()) {
        Mdm::ModemWord ddm{number, int32_t(DdmMask(params.get_ddm()))};
        if (boardIo().ioctl(fd, Mdm::MDM_SET_DDM, static_cast<void*>(&ddm)) < 0) {
            Fail("set DDM failed : ", errno);
            return false;
        }
    }
    Mdm::ModemWord reset{number, -1};
    if (boardIo().ioctl(fd, Mdm::MDM_RESET_DMP, static_cast<void*>(&reset)) < 0)
        Err() << "reset dmp parameters failed : " << std::strerror(errno) << std::endl;
    SetDmp(fd, number);
    return true;
}

// Each parameter names the allocated modem: the slot's own number is not
// set before the allocation has succeeded as a whole.
void DspModemSlot::SetDmp(int fd, int number) {
    if (!params.has_dmp()) return;
    for (const TERM::DDModemParam& p : params.get_dmp()) {
        Mdm::DmpParameter r{number, p.get_offset().getValue(), p.get_value().getValue()};
        if (boardIo().ioctl(fd, Mdm::MDM_SET_DMP, static_cast<void*>(&r)) >= 0) continue;
        Err() << "set dmp parameter " << "index=" << r.index << " value=" << r.value
              << " failed : " << std::strerror(errno) << std::endl;
    }
}

bool DspModemSlot::Call(unsigned long request, const char* failure) {
    Mdm::ModemWord r{modem, -1};
    if (boardIo().ioctl(mctl.get(), request, static_cast<void*>(&r)) >= 0) return true;
    Fail(failure, errno);
    return false;
}

void DspModemSlot::StartCall() {
    std::string tty = Mdm::kTtyPrefix + std::to_string(modem);
    if (!params.has_originate()) {
        if (Call(Mdm::MDM_ANSWER, "answer failed : ")) pppd_exec(tty, kAnswerOptions);
    } else if (Call(Mdm::MDM_ORIGINATE, "originate failed : ")) {
        pppd_exec(tty, kOriginateOptions);
    }
}

void DspModemSlot::StartFaxSender() {
    mctl.close();
    std::string path = ProgramPath(kFaxSender);
    ChildProgram::Command c;
    c.path = Executable(path);
    c.argv = {path, "-m", std::to_string(modem)};
    std::vector<std::string> args = ExecArgs(kArgvEntries - 4);
    c.argv.insert(c.argv.end(), args.begin(), args.end());
    c.banner = "executing fax transfer";
    c.failText = "fail to exec!";
    int started = program.Start(c);
    if (started < 0) {
        Fail("vfork fail: ", errno);
        return;
    }
    Watch(started, &ModemSlot::on_fax_terminate);
    Log() << "fax transfer executed" << " modem=" << modem << " ts=" << timeslot << std::endl;
}

// The receiver runs unwatched; its file is named after the time of the
// fork.
void DspModemSlot::StartFaxReceiver() {
    mctl.close();
    char name[64];
    time_t now = ::time(nullptr);
    tm local;
    ::localtime_r(&now, &local);
    ::strftime(name, sizeof name, kFaxFile, &local);
    ChildProgram::Command c;
    c.path = Executable(kFaxReceiver);
    c.argv = {kFaxReceiver, "-m", std::to_string(modem), "receive", name};
    c.delaySeconds = 1;
    c.banner = "executing";
    c.failText = "fail to exec!";
    ChildProgram receiver;
    if (receiver.Start(c) < 0) {
        Fail("vfork fail: ", errno);
        return;
    }
    Log() << "fax receiver executed" << " modem=" << modem << " ts=" << timeslot << std::endl;
}

// ---- HdlcModemSlot ------------------------------------------------------------------

HdlcModemSlot::HdlcModemSlot(ModemFactory& f, const TERM::ModemParams& p, const std::string& name)
    : ModemSlot(f, p), ifname(name) {}

HdlcModemSlot::~HdlcModemSlot() {
    KillChild();
    unbind();
    RestoreInterface();
}

void HdlcModemSlot::unbind() {
    factory.ReleaseModemSlot(this);
}

void HdlcModemSlot::initModem() {
    if (pid != -1) return;
    Fd sock(HdlcNet::OpenSocket());
    if (!HdlcNet::GetChannel(sock.get(), ifname, channel)) {
        Err() << "SIOCWANDEV/IF_GET_IFACE fail!" << std::endl;
    } else if (!HdlcNet::SetPpp(sock.get(), ifname)) {
        Err() << "SIOCWANDEV/IF_PROTO_PPP fail!" << std::endl;
    } else {
        sock.close();
        pppd_exec(ifname, kHdlcOptions);
    }
    sock.close();
}

// Down, then back to raw HDLC: the protocol of a running interface cannot
// change.
void HdlcModemSlot::RestoreInterface() {
    Fd sock(HdlcNet::OpenSocket());
    short flags = 0;
    if (!HdlcNet::GetFlags(sock.get(), ifname, flags))
        Err() << "SIOCGIFFLAGS fail!!!" << std::endl;
    else if (!HdlcNet::SetFlags(sock.get(), ifname, short(flags & ~IFF_UP)))
        Err() << "SIOCSIFFLAGS fail!!!" << std::endl;
    else if (!HdlcNet::SetRawHdlc(sock.get(), ifname, 0, 0))
        Err() << "SIOCWANDEV/IF_PROTO_HDLC fail!" << std::endl;
    sock.close();
}
