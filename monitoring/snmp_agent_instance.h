#ifndef KORVAND_MONITORING_SNMP_AGENT_INSTANCE_H
#define KORVAND_MONITORING_SNMP_AGENT_INSTANCE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "asn1/gen/mon.h"
#include "protocol/connector.h"
#include "runtime/inet4_addr.h"
#include "runtime/ini_file.h"
#include "runtime/ini_symbol.h"
#include "runtime/timer.h"

class ISnmpAgentNotify;

// The link to one SNMP agent process: a TCP connection that the connector
// keeps up, carrying one MON::Message in aligned PER per TPKT frame. Nothing
// is kept for an agent that is not connected. A message sent arms a ping
// 5000 ms later, so an idle link is pinged every 5000 ms, and an agent
// that has sent nothing for more than 30000 ms when a message goes out is
// disconnected (the connector then reconnects by itself).
class SnmpAgentInstance : public Control::Notify {
public:
    // The agent kinds, from the block's "name".
    enum MonitoringAddressType : int { lemzgw = 1, qorb = 2, lemzgw_zq = 4 };

    static const unsigned kPingMs = 5000;
    static const int32_t kSilenceMs = 30000;

    SnmpAgentInstance() = default;
    ~SnmpAgentInstance() override;
    SnmpAgentInstance(const SnmpAgentInstance&) = delete;
    SnmpAgentInstance& operator=(const SnmpAgentInstance&) = delete;

    // Reads the block ("host" and "name") and starts connecting. False, and
    // the agent stays inactive, when the block does not parse or "host" is
    // not an address with a port.
    bool Activate(IniFile::SubSection& block);
    void Bind(ISnmpAgentNotify* n) { listener = n; }

    // Sends the command in a message, when connected.
    void Command(const MON::Command& command);
    // Encodes and sends the message, when connected.
    void Send(const MON::Message& message);
    // Sends one encoded message, when connected.
    void SendFrame(const std::vector<char>& frame);

    void OnConnect() override;
    void OnDisconnect() override;
    void OnMessage(const char* data, int len) override;
    void OnPingTimer();

    bool IsConnected() const;
    MonitoringAddressType GetKind() const { return kind; }
    const std::string& GetName() const { return name; }
    const std::string& GetPrefix() const { return prefix; }
    Control::ConnectorNet* GetConnector() const { return connector.get(); }

private:
    std::unique_ptr<Control::ConnectorNet> connector;
    MonitoringAddressType kind = lemzgw;
    std::string name;
    std::string prefix;
    INet4::Addr address;
    uint32_t lastReceived = 0;
    Timer pingTimer;
    ISnmpAgentNotify* listener = nullptr;
};

// The words of "name": "lemzgw" 1, "lemzgw.zq" 4, "qorb" 2.
extern const IniFile::Symbol<SnmpAgentInstance::MonitoringAddressType> monitoringAddressTypes[];

#endif
