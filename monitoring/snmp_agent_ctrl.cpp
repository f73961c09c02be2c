#include "monitoring/snmp_agent_ctrl.h"

#include <climits>
#include <iostream>

#include "monitoring/mon_frames.h"

namespace {

const int kAllAgents = -1;
const char kPrefix[] = "snmpagent";

struct ItemRow {
    int mask;
    const char* group;
    const char* name;
};

// Rows in the order of SnmpAgentCtrl::MonitoringItemType; mask 6 is kinds 2
// and 4.
const ItemRow kItemRows[SnmpAgentCtrl::kItems] = {
    {6, "gatewayCommon", "driverBuild"},
    {6, "gatewayCommon", "softwareBuild"},
    {6, "gatewayCommon", "powerStatus"},
    {6, "gatewayCommon", "controllerStatus"},
    {6, "gatewayCommon", "gatewayDip"},
    {6, "gatewayCommon", "gatewayConfigVersion"},
    {2, "extBoardTable", "extBoardStatus"},
    {2, "extBoardTable", "extBoardSoftVer"},
    {2, "extBoardTable", "extBoardType"},
    {2, "emPhoneTable", "emPhonePanelSoftVer"},
    {2, "emPhoneTable", "emPhoneCtrlSoftVer"},
    {2, "emPhoneTable", "emPhoneFpgaSoftVer"},
    {2, "emPhoneTable", "emPhoneStatus"},
    {2, "emPhoneTable", "emPhonePowerStatus"},
    {2, "emPhoneTable", "emPhoneMode"},
    {2, "emPhoneTable", "emPhoneHookStatus"},
    {2, "emPhoneTable", "emPhoneBaseStatus"},
    {6, "gatewayTermCounters", "routerTermCnt"},
    {6, "gatewayTermCounters", "controllerTermCnt"},
    {6, "gatewayTermCounters", "serverTermCnt"},
    {2, "extBoardTermCntTable", "extBoardTermCnt"},
    {2, "e1Table", "e1Connected"},
    {2, "e1Table", "e1StatusDsc"},
    {2, "e1Table", "e1SignalLoss"},
    {2, "e1Table", "e1FrameAlignLoss"},
    {2, "e1Table", "e1NegSlipCount"},
    {2, "e1Table", "e1PosSlipCount"},
    {4, "statusGeneral", "sgBuildVersion"},
    {4, "statusGeneral", "sgFPGAVersion"},
    {4, "statusGeneral", "sgBootVersion"},
    {4, "statusGeneral", "sgBoardVersion"},
    {6, "ifTable", "ifDescr"},
    {6, "ifTable", "ifAdminStatus"},
    {6, "ifTable", "ifOperStatus"},
    {2, "gatewayCommon", "temperature"},
};

}  // namespace

SnmpAgentCtrl::SnmpAgentCtrl() {
    for (int t = 0; t < kItems; ++t) {
        const ItemRow& r = kItemRows[t];
        items.push_back(MonitoringItem{static_cast<MonitoringItemType>(t), r.mask, r.group, r.name});
    }
    dpc.Bind(this, &SnmpAgentCtrl::OnDpcSend);
    pending[0];
    pending[1];
    for (int kind : {2, 4}) {
        pending[kind].reset(new MON::Command);
        pending[kind]->set_snmp_set();
    }
}

SnmpAgentCtrl::~SnmpAgentCtrl() {
    dpc.Deactivate();
}

void SnmpAgentCtrl::CreateInstances(IniFile::Section& section) {
    for (IniFile::GenericIterator<IniFile::SubSection> it(section.mFirst), end; it != end; ++it) {
        agents.emplace_back(new SnmpAgentInstance);
        agents.back()->Bind(listener);
        agents.back()->Activate(*it);
    }
}

void SnmpAgentCtrl::Bind(ISnmpAgentNotify* n) {
    listener = n;
    for (auto& agent : agents) agent->Bind(n);
}

void SnmpAgentCtrl::UnBind() {
    Bind(nullptr);
}

int SnmpAgentCtrl::TakeUniq() {
    int taken = uniq;
    uniq = uniq == INT_MAX ? 1 : uniq + 1;
    return taken;
}

void SnmpAgentCtrl::Send(MonitoringItemType type, const std::string& value) {
    Send(type, 0, value);
}

void SnmpAgentCtrl::Send(MonitoringItemType type, int index, const std::string& value) {
    if (type < 0 || type >= kItems) return;
    const MonitoringItem& item = items[type];
    for (auto& entry : pending) {
        if (!(entry.first & item.kindMask) || !entry.second || !entry.second->is_snmp_set())
            continue;
        MON::SnmpSetCommand command;
        command.set_uniq(TakeUniq());
        MON::IniName& id = command.set_id().set_name();
        id.set_section(item.group);
        id.set_name(item.name);
        id.set_index(index);
        command.set_value(value);
        entry.second->set_snmp_set().set_commands().push_back(command);
        dpc.Activate();
    }
}

void SnmpAgentCtrl::OnDpcSend() {
    for (auto& entry : pending) {
        if (!entry.second || !entry.second->is_snmp_set()) continue;
        ASN1::SEQUENCE_OF<MON::SnmpSetCommand>& commands =
            entry.second->set_snmp_set().set_commands();
        if (commands.empty()) continue;
        if (AnyConnected(entry.first)) {
            std::vector<MonFrames::Frame> frames;
            MonFrames::encodeSetCommands(commands, frames, kPrefix, std::clog);
            SendFrames(frames, entry.first);
        }
        commands.clear();
    }
    dpc.Deactivate();
}

void SnmpAgentCtrl::Send(const MON::SnmpSetCommands& commands) {
    if (commands.get_commands().empty() || !AnyConnected(kAllAgents)) return;
    std::vector<MonFrames::Frame> frames;
    MonFrames::encodeSetCommands(commands.get_commands(), frames, kPrefix, std::clog);
    SendFrames(frames, kAllAgents);
}

void SnmpAgentCtrl::SendTrapsink(const std::list<std::string>& receivers) {
    if (receivers.empty() || !AnyConnected(kAllAgents)) return;
    MON::Message message;
    ASN1::SEQUENCE_OF<MON::SnmpTrapsink>& sinks =
        message.set_pdu().set_command().set_snmp_trapsink_set().set_trapsinks();
    for (const std::string& r : receivers) {
        MON::SnmpTrapsink sink;
        sink.set_host(r);
        sinks.push_back(sink);
    }
    std::vector<MonFrames::Frame> frames(1);
    if (!MonFrames::encode(message, frames[0])) {
        std::clog << kPrefix << ": encode MON message fail!!!" << std::endl;
        return;
    }
    SendFrames(frames, kAllAgents);
}

void SnmpAgentCtrl::SendFrames(const std::vector<MonFrames::Frame>& frames, int kind) {
    for (auto& agent : agents) {
        if (kind != kAllAgents && agent->GetKind() != kind) continue;
        for (const MonFrames::Frame& frame : frames) agent->SendFrame(frame);
    }
}

bool SnmpAgentCtrl::AnyConnected(int kind) const {
    for (const auto& agent : agents)
        if ((kind == kAllAgents || agent->GetKind() == kind) && agent->IsConnected()) return true;
    return false;
}
