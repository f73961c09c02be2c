#include "monitoring/monitoring_ctl.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "board/board_io.h"
#include "board/fs_root.h"
#include "board/hal_driver.h"
#include "core/trace_ctl.h"
#include "runtime/fd.h"
#include "runtime/pid_file.h"
#include "runtime/singleton.h"

namespace {

const char kConfigDir[] = "/usr/local/etc/";
const char kTemperatureFile[] = "/proc/temperature";
const char kControllerProcess[] = "controller";

struct VersionSource {
    const char* path;
    const char* label;
    bool (MonitoringDataHolder::*store)(std::string);
    void (MonitoringCtl::*push)();
};

const VersionSource kVersionSources[] = {
    {"/var/version", "BuildVersion - ", &MonitoringDataHolder::setBuildVersion,
     &MonitoringCtl::sendSnmpStatusBuildVersion},
    {"/var/u-boot-version", "BootVersion - ", &MonitoringDataHolder::setBootVersion,
     &MonitoringCtl::sendSnmpStatusBootVersion},
    {"/var/fpga-version", "FPGAVersion - ", &MonitoringDataHolder::setFPGAVersion,
     &MonitoringCtl::sendSnmpStatusFPGAVersion},
    {"/var/board-version", "BoardVersion - ", &MonitoringDataHolder::setBoardVersion,
     &MonitoringCtl::sendSnmpStatusBoardVersion},
};

// A hexadecimal number at the front of `text` into `out`; `out` stays as it
// was when there is none.
template <class T>
void readHex(const std::string& text, T& out) {
    const char* begin = text.c_str();
    char* end = nullptr;
    unsigned long long v = std::strtoull(begin, &end, 16);
    if (end != begin) out = static_cast<T>(v);
}

// The board's power byte as a power state: 0 means both supplies, 1 to 3
// are the states themselves, anything else is unknown.
int powerState(uint8_t byte) {
    if (byte == 0) return LGCP::POWERStatus::both;
    return byte <= LGCP::POWERStatus::both ? int(byte) : int(LGCP::POWERStatus::unknown);
}

void traceFileError(const char* what, const std::string& path) {
    int err = errno;
    std::clog << what << "\"" << path << "\" errno=\"" << std::strerror(err) << "\"" << std::endl;
}

}  // namespace

// ---- construction -----------------------------------------------------------------

MonitoringCtl* MonitoringCtl::instance() {
    return &Singleton<MonitoringCtl>::get();
}

MonitoringCtl::MonitoringCtl() : halFd(-1), ledMask(0) {
    bkgCheckTimer.set(kBkgFirstMs, &MonitoringCtl::onBkgCheckTimer, this);
    powerCheckTimer.set(kPowerPeriodMs, &MonitoringCtl::onPowerCheckTimer, this);
    controllerCheckTimer.set(kControllerPeriodMs, &MonitoringCtl::onControllerCheckTimer, this);
    sendDpc.Bind(this, &MonitoringCtl::OnDpcSend);
}

MonitoringCtl::~MonitoringCtl() {
    if (halFd >= 0) {
        ledMask = 0;
        writeLeds();
        boardIo().close(halFd);
        halFd = -1;
    }
    sendDpc.Deactivate();
    bkgCheckTimer.reset();
    powerCheckTimer.reset();
    controllerCheckTimer.reset();
}

void MonitoringCtl::Configure(IniFile::File& cfg) {
    snmpAgentCtrl.CreateInstances(cfg["snmpagent"]);
    snmpAgentCtrl.Bind(this);
}

void MonitoringCtl::PutHeader(std::ostream& os) const {
    os << "monitoring: ";
}

// ---- the device -------------------------------------------------------------------

bool MonitoringCtl::IsOpen() {
    if (halFd >= 0) return true;
    ledMask = 0;
    halFd = boardIo().open(Hal::kDevice, O_RDWR);
    if (halFd < 0) return false;
    // Every framer LED starts off.
    writeLeds();
    SetCloexec(halFd, true);
    return true;
}

bool MonitoringCtl::halRequest(unsigned long request, uint8_t& byte) {
    return boardIo().ioctl(halFd, request, static_cast<void*>(&byte)) >= 0;
}

void MonitoringCtl::writeLeds() {
    uint8_t mask = ledMask;
    halRequest(Hal::kLedWrite, mask);
}

// Framer n owns bit 2n (link) and bit 2n+1 (line).
void MonitoringCtl::setFramerLed(const LGCP::FramerInfo& info) {
    if (!IsOpen()) return;
    unsigned n = info.get_e1().getValue();
    if (n > 3) return;  // a framer the mask has no bits for
    uint8_t link = static_cast<uint8_t>(1u << (2 * n));
    uint8_t line = static_cast<uint8_t>(2u << (2 * n));
    const LGCP::FramerInfoData& data = info.get_info();
    if (data.is_link()) {
        if (data.get_link().getValue())
            ledMask &= static_cast<uint8_t>(~link);
        else
            ledMask |= link;
    } else if (data.is_line()) {
        if (data.get_line().getValue()) {
            if (!(ledMask & line)) ledMask |= link;
            ledMask |= line;
        } else {
            ledMask &= static_cast<uint8_t>(~(line | link));
        }
    }
    writeLeds();
}

// ---- timers -----------------------------------------------------------------------

void MonitoringCtl::onBkgCheckTimer(Timer*) {
    doVersionsCheck();
    doConfigCheck();
    doFramerCheck();
    doTemperatureCheck();
    bkgCheckTimer.set(kBkgPeriodMs, &MonitoringCtl::onBkgCheckTimer, this);
}

void MonitoringCtl::onPowerCheckTimer(Timer*) {
    doPowerCheck();
    doDipCheck();
    doNetIfCheck();
    powerCheckTimer.set(kPowerPeriodMs, &MonitoringCtl::onPowerCheckTimer, this);
}

void MonitoringCtl::onControllerCheckTimer(Timer*) {
    doControllerCheck();
    controllerCheckTimer.set(kControllerPeriodMs, &MonitoringCtl::onControllerCheckTimer, this);
}

// ---- checks -----------------------------------------------------------------------

int MonitoringCtl::readLine(const char* path, int max, std::string& text) {
    text.clear();
    FILE* f = std::fopen(Fs::path(path).c_str(), "rb");
    if (!f) return -1;
    char buf[256] = {0};
    if (max > static_cast<int>(sizeof buf) - 1) max = sizeof buf - 1;
    bool got = std::fgets(buf, max + 1, f) != nullptr;
    std::fclose(f);
    text = buf;
    return got ? 1 : 0;
}

void MonitoringCtl::doVersionsCheck() {
    for (const VersionSource& source : kVersionSources) {
        std::string text;
        if (readLine(source.path, kLineMax, text) < 0) continue;
        if (traces.internal) std::clog << source.label << text << std::endl;
        if ((dataHolder.*source.store)(text)) (this->*source.push)();
    }
}

// The configuration files are named "config." with 8 and 16 hexadecimal
// digits around a "-"; the last one the directory lists stands, and is set
// once, so that two such files do not flip the version on every check.
void MonitoringCtl::doConfigCheck() {
    std::string dirPath = Fs::path(kConfigDir);
    DIR* dir = ::opendir(dirPath.c_str());
    if (!dir) return;
    Fs::changeDirectory(kConfigDir);
    uint32_t first = 0;
    uint64_t second = 0;
    bool found = false;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        struct stat st;
        if (::lstat((dirPath + name).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
        if (name.compare(0, 7, "config.") != 0 || name.compare(0, 20, "config.2save.tar.bz2") == 0)
            continue;
        std::string part = name.substr(7, 25);
        readHex(part.substr(0, 8), first);
        if (part.size() > 9) readHex(part.substr(9, 16), second);
        found = true;
    }
    ::closedir(dir);
    if (found && dataHolder.setConfigVersion(first, second)) sendSnmpGatewayConfigVersion();
}

void MonitoringCtl::doFramerCheck() {
    for (FramerDataHolder& framer : dataHolder.framerList) {
        std::vector<unsigned char> text;
        FramerDataHolder::ReadResult r = framer.readFramerFile(text);
        if (r == FramerDataHolder::kRead) {
            if (framer.setFramerStatus(text)) sendSnmpFramerStatus(framer);
        } else if (traces.internal) {
            traceFileError(r == FramerDataHolder::kOpenFailed ? "Error open file: "
                                                              : "Error read file: ",
                           framer.procPath);
        }
    }
}

void MonitoringCtl::doTemperatureCheck() {
    std::string text;
    if (readLine(kTemperatureFile, kLineMax, text) < 0) return;
    if (traces.internal) std::clog << "Temperature - " << text << std::endl;
    size_t end = 0;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
    if (dataHolder.setTemperature(text.substr(0, end))) sendSnmpTemperature();
}

void MonitoringCtl::doPowerCheck() {
    if (!IsOpen()) return;
    uint8_t byte = 0;
    if (!halRequest(Hal::kPowerRead, byte)) return;
    LGCP::POWERStatus power;
    power.setValue(powerState(byte));
    if (!dataHolder.setPowerStatus(power)) return;
    if (traces.internal) std::clog << "New power status - " << power << std::endl;
    sendPowerStatus();
    sendSnmpPowerStatus();
}

void MonitoringCtl::doDipCheck() {
    if (!IsOpen()) return;
    uint8_t byte = 0;
    if (!halRequest(Hal::kDipRead, byte)) return;
    if (!dataHolder.setDipValue(byte)) return;
    if (traces.internal) std::clog << "New dip - " << static_cast<char>(byte) << std::endl;
    sendSnmpGatewayDip();
}

void MonitoringCtl::doNetIfCheck() {
    for (NetIfDataHolder& netIf : dataHolder.netIfList)
        if (netIf.updateNetIf(dataHolder.netIfProbeSocket())) sendSnmpNetIfStatus(netIf);
}

// While the controller is connected, its state is what it last reported;
// otherwise whether a local controller process runs.
void MonitoringCtl::doControllerCheck() {
    LGCP::ControllerInfo info;
    info.set_host().set_iaddr(dottedQuad(dataHolder.localControllerAddr));
    HSP::ControllerStatus status = dataHolder.localControllerStatus;
    bool connected = false;
    if (!CheckServerConnection(connected) || !connected) {
        dataHolder.localControllerPid =
            find_proc_by_name(kControllerProcess, dataHolder.localControllerPid);
        status = dataHolder.localControllerPid > 0 ? HSP::ControllerStatus::notconnection
                                                   : HSP::ControllerStatus::notrun;
    }
    info.set_status(status);
    if (dataHolder.setControllerStatus(info)) sendSnmpControllerStatus();
}

// ---- the control server's calls ---------------------------------------------------

void MonitoringCtl::OnConnect() {
    doPowerCheck();
    // The new controller always learns the power state.
    sendPowerStatus();
    doControllerCheck();
}

void MonitoringCtl::OnDisconnect() {
    dataHolder.ClearControllerFiles();
    doControllerCheck();
}

bool MonitoringCtl::OnCommand(const LGCP::Command& cmd) {
    if (!cmd.is_display()) return false;
    OnDisplayCMD(cmd.get_display());
    Success();
    return true;
}

// The framer records are the E1 trunks': the BRI lines report their status
// in the same signal, numbered from 0 as well, and must not overwrite them.
void MonitoringCtl::OnSignal(const LGCP::Signal& sig) {
    if (!sig.is_trunkStatus()) return;
    const ACP::TrunkStatus& status = sig.get_trunkStatus();
    if (status.get_type().getValue() != ACP::TrunkType::e1) return;
    bool changed = false;
    for (FramerDataHolder& framer : dataHolder.framerList)
        if (framer.framerIndex - 1 == status.get_trunk().getValue() &&
            framer.setFramerStatus(status.get_state()))
            changed = true;
    if (changed) sendDpc.Activate();
}

void MonitoringCtl::OnSnmpAgentConnect(const std::string&) {
    sendDpc.Activate();
}
