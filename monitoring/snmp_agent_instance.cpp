#include "monitoring/snmp_agent_instance.h"


#include <iostream>

#include "asn1/coder_env.h"
#include "monitoring/mon_frames.h"
#include "monitoring/monitoring_data_holder.h"
#include "monitoring/snmp_agent_ctrl.h"
#include "runtime/ini_reader.h"
#include "runtime/mux_clock.h"

const IniFile::Symbol<SnmpAgentInstance::MonitoringAddressType> monitoringAddressTypes[] = {
    {"lemzgw", SnmpAgentInstance::lemzgw},
    {"lemzgw.zq", SnmpAgentInstance::lemzgw_zq},
    {"qorb", SnmpAgentInstance::qorb},
    {nullptr, SnmpAgentInstance::lemzgw},
};

SnmpAgentInstance::~SnmpAgentInstance() {
    if (connector) connector->UnBind();
}

bool SnmpAgentInstance::Activate(IniFile::SubSection& block) {
    std::string host;
    IniFile::Reader reader("snmpagent: ", std::cerr);
    reader.mRequired.add(&host, "host");
    reader.mRequired.add(&name, "name");
    reader.mRequired.add(&kind, "name", monitoringAddressTypes);
    if (!reader.parse(block)) return false;
    int port = -1;
    // An address that does not parse is refused rather than taken as the
    // broadcast address, which is what the text reads as by some parsers.
    if (!address.Assign(host, &port)) {
        std::cerr << "snmpagent: host \"" << host << "\" is no address:port, line "
                  << block.mLineNo << "; agent " << name << " not started" << std::endl;
        return false;
    }
    if (port < 0) {
        std::cerr << "snmpagent: host \"" << host << "\" has no port, line " << block.mLineNo
                  << "; agent " << name << " not started" << std::endl;
        return false;
    }
    prefix = "snmpagent." + name + " " + address.GetString();
    connector.reset(new Control::ConnectorNet(dottedQuad(address), static_cast<uint16_t>(port)));
    connector->service_name(prefix);
    connector->Bind(this);
    connector->Activate();
    return true;
}

bool SnmpAgentInstance::IsConnected() const {
    return connector && connector->GetState() == Control::Service::Connected;
}

void SnmpAgentInstance::Command(const MON::Command& command) {
    MON::Message message;
    message.set_pdu().set_command(command);
    Send(message);
}

void SnmpAgentInstance::Send(const MON::Message& message) {
    if (!IsConnected()) return;
    MonFrames::Frame frame;
    if (!MonFrames::encode(message, frame)) {
        std::clog << prefix << ": encode MON message fail!!!" << std::endl;
        return;
    }
    SendFrame(frame);
}

void SnmpAgentInstance::SendFrame(const std::vector<char>& frame) {
    if (!IsConnected()) return;
    connector->Send(frame.data(), static_cast<int>(frame.size()));
    pingTimer.set(kPingMs, &SnmpAgentInstance::OnPingTimer, this);
    uint32_t now = Mux::milliseconds();
    if (static_cast<int32_t>(now - lastReceived) <= kSilenceMs) return;
    std::clog << prefix << ": ping timeout !!! now=" << now << " stamp=" << lastReceived
              << std::endl;
    connector->Disconnect();
}

void SnmpAgentInstance::OnPingTimer() {
    MON::Command ping;
    ping.set_ping();
    Command(ping);
}

void SnmpAgentInstance::OnConnect() {
    std::clog << prefix << ": connected." << std::endl;
    lastReceived = Mux::milliseconds();
    if (listener) listener->OnSnmpAgentConnect(name);
}

void SnmpAgentInstance::OnDisconnect() {
    std::clog << prefix << ": connection lost, reset snmpagent instance" << std::endl;
    pingTimer.reset();
}

void SnmpAgentInstance::OnMessage(const char* data, int len) {
    lastReceived = Mux::milliseconds();
    MON::Message message;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    if (len < 0 || !ASN1::decode(data, data + len, &env, message, true)) {
        std::cerr << prefix << ": receive : decode error!" << std::endl;
        return;
    }
    // Responses and signals need no action; commands are the daemon's to give.
    if (message.get_pdu().is_command())
        std::cerr << prefix << ": receive unknown message type" << std::endl;
}
