#include "monitoring/monitoring_data_holder.h"

#include <arpa/inet.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <sstream>

#include "board/fs_root.h"
#include "core/trace_ctl.h"
#include "monitoring/net_if_probe.h"
#include "monitoring/status_tree.h"
#include "runtime/net.h"

namespace {

const char kMonDir[] = "/var/monitoring/";
const char kTermCntDir[] = "/var/monitoring/term_cnts/";
const char kControllerDir[] = "/var/monitoring/controller/";
const char kSelfLink[] = "/var/monitoring/controller/self";
const char kFramerDir[] = "/proc/driver/hdlc/peb22554/";
const int kFramers = 4;
const int kNetIfIndexes = 16;

std::string octets(const ASN1::OCTET_STRING& s) {
    return std::string(s.begin(), s.end());
}

// Replaces the entry of the report's key (position, id), or adds one.
template <class Report, class Key>
void storeReport(std::list<Report>& list, const Report& report, Key key) {
    for (Report& r : list) {
        if (key(r) != key(report)) continue;
        r = report;
        return;
    }
    list.push_back(report);
}

bool setText(std::string& field, std::string& text) {
    if (field == text) return false;
    field.swap(text);
    return true;
}

// Two set commands have the same identity: the same oid, or the same
// section, name and index.
bool sameIdentity(const MON::SnmpSetCommandId& a, const MON::SnmpSetCommandId& b) {
    if (a.is_oid() && b.is_oid()) return a.get_oid() == b.get_oid();
    if (!a.is_name() || !b.is_name()) return false;
    const MON::IniName& x = a.get_name();
    const MON::IniName& y = b.get_name();
    return x.get_section() == y.get_section() && x.get_name() == y.get_name() &&
           x.get_index().getValue() == y.get_index().getValue();
}

// The counter file of a report's owner; empty when the owner has none.
std::string termCounterFile(const LGCP::TermCounter& report) {
    std::string dir = kTermCntDir;
    switch (report.get_owner().getValue()) {
        case LGCP::TermCounterOwner::router:
            return dir + "router";
        case LGCP::TermCounterOwner::controller:
            return dir + "controller";
        case LGCP::TermCounterOwner::server:
            return dir + "server";
        case LGCP::TermCounterOwner::extBoard:
            if (report.has_ownerId())
                return dir + "board" + std::to_string(report.get_ownerId().getValue());
            return std::string();
        default:
            return std::string();
    }
}

// The address a controller report is filed under: its text when that is a
// plain dotted quad, else 0.0.0.0. Text with a port ("a.b.c.d:80") is not
// taken either: its address part would name one controller's files while
// the port made it another controller than the local one.
INet4::Addr reportedAddress(const TERM::HostAddress& host) {
    INet4::Addr address;
    uint32_t networkOrder;
    if (INet4::ParseDottedQuad(host2str(host), networkOrder)) address.Assign(networkOrder);
    return address;
}

}  // namespace

std::string host2str(const TERM::HostAddress& host) {
    return host.get_iaddr();
}

std::string dottedQuad(const INet4::Addr& a) {
    char buf[INET_ADDRSTRLEN];
    in_addr in;
    in.s_addr = a.address();
    return inet_ntop(AF_INET, &in, buf, sizeof buf) ? buf : "";
}

// ---- construction ---------------------------------------------------------------

MonitoringDataHolder::MonitoringDataHolder()
    : localControllerPid(-1),
      dipValue(-1),
      configVersion64(~uint64_t(0)),
      configVersion32(~uint32_t(0)),
      netIfSocket(-1) {
    ClearMonitorFiles();
    findLocalController();
    findFramers();
    findNetIfs();
    CheckForMonDir(kMonDir);
    CheckForMonDir(kTermCntDir);
}

MonitoringDataHolder::~MonitoringDataHolder() {
    ClearMonitorFiles();
    if (netIfSocket >= 0) ::close(netIfSocket);
}

void MonitoringDataHolder::findLocalController() {
    std::list<INet4::Addr> addresses;
    Net::ifconfig(addresses, Net::IF_PRIVATE);
    if (addresses.empty())
        localControllerAddr.Assign("127.0.0.1");
    else
        localControllerAddr = addresses.front();
}

void MonitoringDataHolder::findFramers() {
    for (int n = 0; n < kFramers; ++n) {
        std::string path = kFramerDir + std::to_string(n);
        struct stat st;
        if (::stat(Fs::path(path).c_str(), &st) == 0) framerList.emplace_back(n + 1, path);
    }
}

// The socket that finds the interfaces stays open for their probes.
void MonitoringDataHolder::findNetIfs() {
    NetIfProbe& probe = netIfProbe();
    int fd = probe.open();
    if (fd < 0) {
        traceNetIfFailure("Error open socket: ", errno);
        return;
    }
    for (int index = 0; index < kNetIfIndexes; ++index) {
        ifreq req;
        if (probe.nameOf(fd, index, req)) netIfList.emplace_back(index, req.ifr_name);
    }
    if (netIfList.empty())
        ::close(fd);
    else
        netIfSocket = fd;
}

// ---- single values ----------------------------------------------------------------

bool MonitoringDataHolder::setDipValue(int value) {
    if (value == dipValue) return false;
    dipValue = value;
    SaveStatusToFile("/var/monitoring/dip", &MonitoringDataHolder::DipStatusSaver, nullptr, false);
    return true;
}

bool MonitoringDataHolder::setPowerStatus(const LGCP::POWERStatus& value) {
    if (value.compare(powerValue) == 0) return false;
    powerValue = value;
    SaveStatusToFile("/var/monitoring/powerstatus", &MonitoringDataHolder::PowerStatusSaver,
                     nullptr, false);
    return true;
}

bool MonitoringDataHolder::setConfigVersion(uint32_t first, uint64_t second) {
    if (first == configVersion32 && second == configVersion64) return false;
    configVersion32 = first;
    configVersion64 = second;
    SaveStatusToFile("/var/monitoring/config_version", &MonitoringDataHolder::ConfigVersionSaver,
                     nullptr, false);
    return true;
}

bool MonitoringDataHolder::setTemperature(std::string text) {
    return setText(temperatureText, text);
}
bool MonitoringDataHolder::setBuildVersion(std::string text) {
    return setText(buildVersionText, text);
}
bool MonitoringDataHolder::setFPGAVersion(std::string text) {
    return setText(fpgaVersionText, text);
}
bool MonitoringDataHolder::setBootVersion(std::string text) {
    return setText(bootVersionText, text);
}
bool MonitoringDataHolder::setBoardVersion(std::string text) {
    return setText(boardVersionText, text);
}

bool MonitoringDataHolder::setControllerStatus(const LGCP::ControllerInfo& info) {
    INet4::Addr address = reportedAddress(info.get_host());
    const HSP::ControllerStatus& status = info.get_status();
    bool local = address.IsEqual(localControllerAddr);
    if (local) localControllerStatus = status;

    bool changed = true;
    std::list<LGCP::ControllerInfo>::iterator it = controllerList.begin();
    while (it != controllerList.end() && it->get_host().compare(info.get_host()) != 0) ++it;
    if (it == controllerList.end()) {
        controllerList.push_back(info);
    } else {
        changed = it->get_status().compare(status) != 0;
        it->set_status(status);
    }
    if (!changed) return false;

    std::string dir = kControllerDir + dottedQuad(address);
    if (traces.internal)
        std::clog << "New controller " << dottedQuad(address) << " status - " << status
                  << std::endl;
    CheckForMonControllerDir(address);
    SaveStatusArg arg;
    arg.status = &status;
    SaveStatusToFile((dir + "/status").c_str(), &MonitoringDataHolder::ControllerStatusSaver, &arg,
                     false);
    return local;
}

// ---- display reports --------------------------------------------------------------

// Reports are stored before their file is written, so a file that cannot be
// written loses no report.
void MonitoringDataHolder::setBoardStatus(const LGCP::BoardInfo& info) {
    if (!info.is_boardStatus()) return;
    const LGCP::BoardStatusParams& report = info.get_boardStatus();
    int position = report.get_position().getValue();
    storeReport(boardList, report,
                [](const LGCP::BoardStatusParams& b) { return b.get_position().getValue(); });
    SaveStatusArg arg;
    arg.board = &report;
    saveNumbered("board", position, &MonitoringDataHolder::BoardStatusSaver, arg);
}

void MonitoringDataHolder::setEmPhoneInfo(const LGCP::EmPhoneInfo& info) {
    if (!info.is_phoneStatus()) return;
    const LGCP::EmPhoneStatusParams& report = info.get_phoneStatus();
    int id = report.get_id().getValue();
    storeReport(phoneList, report,
                [](const LGCP::EmPhoneStatusParams& p) { return p.get_id().getValue(); });
    SaveStatusArg arg;
    arg.phone = &report;
    saveNumbered("emphone", id, &MonitoringDataHolder::PhoneStatusSaver, arg);
}

void MonitoringDataHolder::saveNumbered(const char* prefix, int number, Saver writer,
                                        const SaveStatusArg& arg) {
    std::string path = kMonDir + std::string(prefix) + std::to_string(number);
    SaveStatusToFile(path.c_str(), writer, &arg, false);
}

void MonitoringDataHolder::setTermCounter(const LGCP::TermCounter& report) {
    storeTermCounter(report);
    std::string path = termCounterFile(report);
    if (path.empty()) return;
    SaveStatusArg arg;
    arg.count = report.get_cnt().getValue();
    SaveStatusToFile(path.c_str(), &MonitoringDataHolder::TermCounterSaver, &arg, false);
}

// A report replaces the count of the entry of the same owner and, when it
// names one, the same owner id. An entry without an id takes only reports
// without one, so that one report missing its id does not swallow the
// counts of every board.
void MonitoringDataHolder::storeTermCounter(const LGCP::TermCounter& report) {
    for (LGCP::TermCounter& c : termCounterList) {
        if (c.get_owner().compare(report.get_owner()) != 0) continue;
        if (c.has_ownerId() != report.has_ownerId()) continue;
        if (c.has_ownerId() && c.get_ownerId().getValue() != report.get_ownerId().getValue())
            continue;
        c.set_cnt(report.get_cnt());
        return;
    }
    termCounterList.push_back(report);
}

void MonitoringDataHolder::setSnmpTrapReceivers(
    const ASN1::SEQUENCE_OF<ASN1::IA5String>& receivers) {
    trapReceiverList.clear();
    if (traces.internal) std::clog << "Trap receivers:" << receivers << std::endl;
    for (const ASN1::IA5String& r : receivers) trapReceiverList.push_back(r);
}

void MonitoringDataHolder::setSnmpCommands(const MON::SnmpSetCommands& commands) {
    for (const MON::SnmpSetCommand& c : commands.get_commands()) {
        storeSnmpCommand(c);
        if (c.get_id().is_name()) saveSnmpCommand(c.get_id().get_name(), c.get_value());
    }
}

void MonitoringDataHolder::storeSnmpCommand(const MON::SnmpSetCommand& command) {
    for (MON::SnmpSetCommand& stored : snmpCommandList.set_commands()) {
        if (!sameIdentity(stored.get_id(), command.get_id())) continue;
        stored.set_value(command.get_value());
        return;
    }
    snmpCommandList.set_commands().push_back(command);
}

// The section and the name become path components below the top of the
// tree; a text that would not stay one plain component, or that could be a
// temporary name of the tree, writes no file.
void MonitoringDataHolder::saveSnmpCommand(const MON::IniName& id, const std::string& value) {
    const std::string& section = id.get_section();
    const std::string& name = id.get_name();
    std::string index = std::to_string(id.get_index().getValue());
    if (!StatusTree::isEntryName(section) || !StatusTree::isEntryName(name)) {
        std::clog << "FAIL unsafe monitoring file name <" << section << "/" << index << "/" << name
                  << ">" << std::endl;
        return;
    }
    std::string sectionDir = kMonDir + section;
    std::string indexDir = sectionDir + "/" + index;
    CheckForMonDir(sectionDir.c_str());
    CheckForMonDir(indexDir.c_str());
    setValueText = value;
    SaveStatusArg arg;
    arg.text = &setValueText;
    SaveStatusToFile((indexDir + "/" + name).c_str(), &MonitoringDataHolder::StringParamSaver, &arg,
                     false);
}

void MonitoringDataHolder::setDisplayStatus(const LGCP::DisplayParams& params) {
    switch (params.currentSelection()) {
        case LGCP::DisplayParams::e_board:
            setBoardStatus(params.get_board());
            break;
        case LGCP::DisplayParams::e_snmpTrapReceivers:
            setSnmpTrapReceivers(params.get_snmpTrapReceivers());
            break;
        case LGCP::DisplayParams::e_framer:
            setFramerStatusChanged(params.get_framer());
            break;
        case LGCP::DisplayParams::e_emPhone:
            setEmPhoneInfo(params.get_emPhone());
            break;
        case LGCP::DisplayParams::e_controller:
            setControllerStatus(params.get_controller());
            break;
        case LGCP::DisplayParams::e_termCounter:
            setTermCounter(params.get_termCounter());
            break;
        case LGCP::DisplayParams::e_snmp_set:
            setSnmpCommands(params.get_snmp_set());
            break;
        default:
            break;
    }
}

// ---- status files -----------------------------------------------------------------

void MonitoringDataHolder::SaveStatusToFile(const char* path, Saver writer,
                                            const SaveStatusArg* arg, bool safe) {
    std::ostringstream content;
    (this->*writer)(content, arg);
    std::string target = safe ? std::string(path) + "_cmp" : std::string(path);
    int err = StatusTree::replaceFile(target, content.str());
    if (err)
        std::clog << "FAIL create temporary file <" << target << "> with code=" << err << std::endl;
}

void MonitoringDataHolder::ClearMonitorFiles() {
    std::vector<std::string> names;
    if (StatusTree::list(kMonDir, names) != 0) return;
    for (const std::string& name : names) StatusTree::remove(kMonDir + name);
}

void MonitoringDataHolder::ClearControllerFiles() {
    std::vector<std::string> names;
    if (StatusTree::list(kMonDir, names) != 0) return;
    for (const std::string& name : names) {
        if (name.compare(0, 5, "board") != 0) continue;
        if (traces.internal) std::clog << "remove monitoring info: " << name << std::endl;
        StatusTree::remove(kMonDir + name);
    }
    boardList.clear();
}

void MonitoringDataHolder::CheckForMonDir(const char* path) {
    int err = StatusTree::makeDirectory(path);
    if (err)
        std::clog << "FAIL create monitoring catalog <" << path << "> with code=" << err
                  << std::endl;
}

void MonitoringDataHolder::CheckForMonControllerDir(const INet4::Addr& address) {
    int err = StatusTree::makeDirectory(kControllerDir);
    if (err) {
        std::clog << "FAIL create monitoring catalog <" << kControllerDir << "> with code=" << err
                  << std::endl;
        return;
    }
    std::string dir = kControllerDir + dottedQuad(address);
    bool created = false;
    err = StatusTree::makeDirectory(dir, &created);
    if (!err && !created) return;
    if (err)
        std::clog << "FAIL create monitoring catalog <" << dir << "> with code=" << err
                  << std::endl;
    if (!address.IsEqual(localControllerAddr)) return;
    err = StatusTree::replaceLink(kSelfLink, Fs::path(dir));
    if (err)
        std::clog << "FAIL create symlink to monitoring catalog <" << dir << "> with code=" << err
                  << std::endl;
}

// ---- file writers -----------------------------------------------------------------

void MonitoringDataHolder::DipStatusSaver(std::ostream& out, const SaveStatusArg*) {
    out << dipValue;
}

void MonitoringDataHolder::PowerStatusSaver(std::ostream& out, const SaveStatusArg*) {
    int v = powerValue.getValue();
    out << (v >= LGCP::POWERStatus::standby && v <= LGCP::POWERStatus::both ? v : 0);
}

void MonitoringDataHolder::ConfigVersionSaver(std::ostream& out, const SaveStatusArg*) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08x-%016llx", static_cast<unsigned>(configVersion32),
                  static_cast<unsigned long long>(configVersion64));
    out << buf;
}

void MonitoringDataHolder::BoardStatusSaver(std::ostream& out, const SaveStatusArg* arg) {
    if (!arg || !arg->board) return;
    const LGCP::BoardStatusParams& b = *arg->board;
    out << b.get_status().getValue() << '\n'
        << octets(b.get_version()) << '\n'
        << b.get_type().getValue() << '\n';
}

void MonitoringDataHolder::PhoneStatusSaver(std::ostream& out, const SaveStatusArg* arg) {
    if (!arg || !arg->phone) return;
    const LGCP::EmPhoneStatusParams& p = *arg->phone;
    out << octets(p.get_panelSV()) << '\n'
        << octets(p.get_ctrlSV()) << '\n'
        << octets(p.get_fpgaSV()) << '\n'
        << p.get_status().getValue() << '\n'
        << p.get_powerStatus().getValue() << '\n'
        << p.get_mode().getValue() << '\n'
        << p.get_hookStatus().getValue() << '\n'
        << p.get_baseStatus().getValue() << '\n';
}

void MonitoringDataHolder::TermCounterSaver(std::ostream& out, const SaveStatusArg* arg) {
    if (arg) out << arg->count;
}

void MonitoringDataHolder::ControllerStatusSaver(std::ostream& out, const SaveStatusArg* arg) {
    if (arg && arg->status) out << arg->status->getValue();
}

void MonitoringDataHolder::StringParamSaver(std::ostream& out, const SaveStatusArg* arg) {
    if (arg && arg->text) out << *arg->text;
}
