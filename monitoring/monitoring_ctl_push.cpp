// The control-protocol side of the monitoring controller: the display
// command, the power signal, and the pushes of stored values to the SNMP
// agent link, one by one on a change and all of them for an agent that
// connects.

#include <cstdint>
#include <sstream>
#include <vector>

#include "monitoring/monitoring_ctl.h"
#include "runtime/version.h"

namespace {

typedef SnmpAgentCtrl Item;

const char kVoiceVersionFile[] = "/proc/voice/version";
const int kVoiceLineMax = 126;

// The values the agents take as unsigned 32-bit numbers, and the others.
std::string unsignedText(long value) {
    return std::to_string(static_cast<uint32_t>(value));
}
std::string signedText(long value) {
    return std::to_string(static_cast<int32_t>(value));
}
std::string flag(bool value) {
    return value ? "1" : "0";
}
std::string octets(const ASN1::OCTET_STRING& s) {
    return std::string(s.begin(), s.end());
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The pieces of the line between spaces (runs of spaces give no empty
// piece), each trimmed of blanks; a piece that trims to nothing still
// counts.
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < line.size()) {
        if (line[at] == ' ') {
            ++at;
            continue;
        }
        size_t end = line.find(' ', at);
        if (end == std::string::npos) end = line.size();
        size_t first = at, last = end;
        while (first < last && isBlank(line[first])) ++first;
        while (last > first && isBlank(line[last - 1])) --last;
        out.push_back(line.substr(first, last - first));
        at = end;
    }
    return out;
}

// "2.1 [2024-05-01 10:00]" from "voice 2.1 2024-05-01 10:00".
std::string driverBuildText(const std::string& line) {
    std::vector<std::string> w = words(line);
    if (w.size() >= 4) return w[1] + " [" + w[2] + " " + w[3] + "]";
    if (w.size() == 3) return w[1] + " [" + w[2] + "]";
    return "none";
}

}  // namespace

// ---- the display command and the signals --------------------------------------------

void MonitoringCtl::OnDisplayCMD(const LGCP::DisplayParams& params) {
    dataHolder.setDisplayStatus(params);
    if (params.is_board()) {
        if (params.get_board().is_boardStatus()) sendSnmpBoardStatus(params.get_board().get_boardStatus());
    } else if (params.is_snmpTrapReceivers()) {
        sendSnmpTrapReceivers();
    } else if (params.is_framer()) {
        setFramerLed(params.get_framer());
    } else if (params.is_emPhone()) {
        if (params.get_emPhone().is_phoneStatus())
            sendSnmpEmPhoneStatus(params.get_emPhone().get_phoneStatus());
    } else if (params.is_controller()) {
        sendSnmpControllerStatus();
    } else if (params.is_termCounter()) {
        sendSnmpRouterTermCnt();
        sendSnmpControllerTermCnt();
        sendSnmpServerTermCnt();
        sendSnmpBoardTermCnt();
    } else if (params.is_snmp_set()) {
        sendSnmpCommands(params.get_snmp_set());
    }
}

void MonitoringCtl::sendPowerStatus() {
    LGCP::Signal signal;
    signal.set_power(dataHolder.powerValue);
    SendSignal(signal);
}

void MonitoringCtl::OnDpcSend() {
    sendSnmpTrapReceivers();
    sendSnmpDriverBuild();
    sendSnmpSoftwareBuild();
    sendSnmpPowerStatus();
    sendSnmpControllerStatus();
    sendSnmpGatewayDip();
    sendSnmpGatewayConfigVersion();
    sendSnmpTemperature();
    sendSnmpStatusBuildVersion();
    sendSnmpStatusFPGAVersion();
    sendSnmpStatusBootVersion();
    sendSnmpStatusBoardVersion();
    sendSnmpBoardStatuses();
    sendSnmpEmPhoneStatuses();
    sendSnmpRouterTermCnt();
    sendSnmpControllerTermCnt();
    sendSnmpServerTermCnt();
    sendSnmpBoardTermCnt();
    sendSnmpFramerStatus();
    sendSnmpNetIfStatus();
    sendSnmpCommands();
    sendDpc.Deactivate();
}

// ---- single values ----------------------------------------------------------------

void MonitoringCtl::sendSnmpDriverBuild() {
    std::string line;
    if (readLine(kVoiceVersionFile, kVoiceLineMax, line) <= 0) return;
    snmpAgentCtrl.Send(Item::driverBuild, driverBuildText(line));
}

void MonitoringCtl::sendSnmpSoftwareBuild() {
    std::ostringstream text;
    Version::current.put(text);
    snmpAgentCtrl.Send(Item::softwareBuild, text.str());
}

void MonitoringCtl::sendSnmpPowerStatus() {
    snmpAgentCtrl.Send(Item::powerStatus, unsignedText(dataHolder.powerValue.getValue()));
}

void MonitoringCtl::sendSnmpControllerStatus() {
    snmpAgentCtrl.Send(Item::controllerStatus,
                       unsignedText(dataHolder.localControllerStatus.getValue()));
}

void MonitoringCtl::sendSnmpGatewayDip() {
    snmpAgentCtrl.Send(Item::gatewayDip, unsignedText(dataHolder.dipValue));
}

void MonitoringCtl::sendSnmpGatewayConfigVersion() {
    snmpAgentCtrl.Send(Item::gatewayConfigVersion, unsignedText(dataHolder.configVersion32));
}

void MonitoringCtl::sendSnmpTemperature() {
    snmpAgentCtrl.Send(Item::temperature, dataHolder.temperatureText);
}

void MonitoringCtl::sendSnmpStatusBuildVersion() {
    snmpAgentCtrl.Send(Item::sgBuildVersion, dataHolder.buildVersionText);
}

void MonitoringCtl::sendSnmpStatusFPGAVersion() {
    snmpAgentCtrl.Send(Item::sgFPGAVersion, dataHolder.fpgaVersionText);
}

void MonitoringCtl::sendSnmpStatusBootVersion() {
    snmpAgentCtrl.Send(Item::sgBootVersion, dataHolder.bootVersionText);
}

void MonitoringCtl::sendSnmpStatusBoardVersion() {
    snmpAgentCtrl.Send(Item::sgBoardVersion, dataHolder.boardVersionText);
}

// ---- table rows -------------------------------------------------------------------

void MonitoringCtl::sendSnmpBoardStatus(const LGCP::BoardStatusParams& board) {
    int row = board.get_position().getValue();
    snmpAgentCtrl.Send(Item::extBoardStatus, row, signedText(board.get_status().getValue()));
    snmpAgentCtrl.Send(Item::extBoardSoftVer, row, octets(board.get_version()));
    snmpAgentCtrl.Send(Item::extBoardType, row, signedText(board.get_type().getValue()));
}

void MonitoringCtl::sendSnmpBoardStatuses() {
    for (const LGCP::BoardStatusParams& board : dataHolder.boardList) sendSnmpBoardStatus(board);
}

// Telephone sets are numbered from 0 by the controller, from 1 in the
// agents' table.
void MonitoringCtl::sendSnmpEmPhoneStatus(const LGCP::EmPhoneStatusParams& phone) {
    int row = phone.get_id().getValue() + 1;
    snmpAgentCtrl.Send(Item::emPhonePanelSoftVer, row, octets(phone.get_panelSV()));
    snmpAgentCtrl.Send(Item::emPhoneCtrlSoftVer, row, octets(phone.get_ctrlSV()));
    snmpAgentCtrl.Send(Item::emPhoneFpgaSoftVer, row, octets(phone.get_fpgaSV()));
    snmpAgentCtrl.Send(Item::emPhoneStatus, row, signedText(phone.get_status().getValue()));
    snmpAgentCtrl.Send(Item::emPhonePowerStatus, row, signedText(phone.get_powerStatus().getValue()));
    snmpAgentCtrl.Send(Item::emPhoneMode, row, signedText(phone.get_mode().getValue()));
    snmpAgentCtrl.Send(Item::emPhoneHookStatus, row, signedText(phone.get_hookStatus().getValue()));
    snmpAgentCtrl.Send(Item::emPhoneBaseStatus, row, signedText(phone.get_baseStatus().getValue()));
}

void MonitoringCtl::sendSnmpEmPhoneStatuses() {
    for (const LGCP::EmPhoneStatusParams& phone : dataHolder.phoneList) sendSnmpEmPhoneStatus(phone);
}

void MonitoringCtl::sendTermCnt(SnmpAgentCtrl::MonitoringItemType item, int owner) {
    for (const LGCP::TermCounter& c : dataHolder.termCounterList)
        if (c.get_owner().getValue() == owner)
            snmpAgentCtrl.Send(item, unsignedText(c.get_cnt().getValue()));
}

void MonitoringCtl::sendSnmpRouterTermCnt() {
    sendTermCnt(Item::routerTermCnt, LGCP::TermCounterOwner::router);
}

void MonitoringCtl::sendSnmpControllerTermCnt() {
    sendTermCnt(Item::controllerTermCnt, LGCP::TermCounterOwner::controller);
}

void MonitoringCtl::sendSnmpServerTermCnt() {
    sendTermCnt(Item::serverTermCnt, LGCP::TermCounterOwner::server);
}

void MonitoringCtl::sendSnmpBoardTermCnt() {
    for (const LGCP::TermCounter& c : dataHolder.termCounterList)
        if (c.get_owner().getValue() == LGCP::TermCounterOwner::extBoard && c.has_ownerId())
            snmpAgentCtrl.Send(Item::extBoardTermCnt, c.get_ownerId().getValue(),
                               unsignedText(c.get_cnt().getValue()));
}

void MonitoringCtl::sendSnmpFramerStatus(const FramerDataHolder& f) {
    int row = f.framerIndex;
    snmpAgentCtrl.Send(Item::e1Connected, row, flag(f.connected));
    snmpAgentCtrl.Send(Item::e1StatusDsc, row, f.statusDsc);
    snmpAgentCtrl.Send(Item::e1SignalLoss, row, flag(f.signalLoss));
    snmpAgentCtrl.Send(Item::e1FrameAlignLoss, row, flag(f.frameAlignLoss));
    snmpAgentCtrl.Send(Item::e1NegSlipCount, row, signedText(f.negSlipCount));
    snmpAgentCtrl.Send(Item::e1PosSlipCount, row, signedText(f.posSlipCount));
}

void MonitoringCtl::sendSnmpFramerStatus() {
    for (const FramerDataHolder& f : dataHolder.framerList) sendSnmpFramerStatus(f);
}

void MonitoringCtl::sendSnmpNetIfStatus(const NetIfDataHolder& n) {
    snmpAgentCtrl.Send(Item::ifOperStatus, n.ifIndex, signedText(n.operStatus));
    snmpAgentCtrl.Send(Item::ifAdminStatus, n.ifIndex, signedText(n.adminStatus));
    snmpAgentCtrl.Send(Item::ifDescr, n.ifIndex, n.ifName);
}

void MonitoringCtl::sendSnmpNetIfStatus() {
    for (const NetIfDataHolder& n : dataHolder.netIfList) sendSnmpNetIfStatus(n);
}

// ---- lists sent at once -------------------------------------------------------------

void MonitoringCtl::sendSnmpTrapReceivers() {
    snmpAgentCtrl.SendTrapsink(dataHolder.trapReceiverList);
}

void MonitoringCtl::sendSnmpCommands() {
    snmpAgentCtrl.Send(dataHolder.snmpCommandList);
}

void MonitoringCtl::sendSnmpCommands(const MON::SnmpSetCommands& commands) {
    snmpAgentCtrl.Send(commands);
}
