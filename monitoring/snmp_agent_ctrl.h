#ifndef KORVAND_MONITORING_SNMP_AGENT_CTRL_H
#define KORVAND_MONITORING_SNMP_AGENT_CTRL_H

#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "asn1/gen/mon.h"
#include "monitoring/snmp_agent_instance.h"
#include "runtime/dpc.h"
#include "runtime/ini_file.h"

// Told when an SNMP agent link has connected, so that the agent can be
// brought up to date.
class ISnmpAgentNotify {
public:
    virtual ~ISnmpAgentNotify() = default;
    virtual void OnSnmpAgentConnect(const std::string&) {}
};

// The links to the SNMP agent processes of the configuration, the table of
// the monitored items, and the batching of item values into MON set
// commands. Values queued during one pass of the event loop go out together
// on the next pass, one batch per agent kind, to the agents of that kind;
// ready lists of set commands and the trap receivers go to every agent at
// once.
class SnmpAgentCtrl {
public:
    // The monitored items, by their object names; the value is the row.
    enum MonitoringItemType {
        driverBuild, softwareBuild, powerStatus, controllerStatus, gatewayDip,
        gatewayConfigVersion, extBoardStatus, extBoardSoftVer, extBoardType,
        emPhonePanelSoftVer, emPhoneCtrlSoftVer, emPhoneFpgaSoftVer, emPhoneStatus,
        emPhonePowerStatus, emPhoneMode, emPhoneHookStatus, emPhoneBaseStatus, routerTermCnt,
        controllerTermCnt, serverTermCnt, extBoardTermCnt, e1Connected, e1StatusDsc,
        e1SignalLoss, e1FrameAlignLoss, e1NegSlipCount, e1PosSlipCount, sgBuildVersion,
        sgFPGAVersion, sgBootVersion, sgBoardVersion, ifDescr, ifAdminStatus, ifOperStatus,
        temperature,
    };
    static const int kItems = temperature + 1;

    struct MonitoringItem {
        MonitoringItemType type;
        int kindMask;       // the agent kinds that take the item
        std::string group;  // the agent's table or group
        std::string name;   // the object
    };

    SnmpAgentCtrl();
    virtual ~SnmpAgentCtrl();
    SnmpAgentCtrl(const SnmpAgentCtrl&) = delete;
    SnmpAgentCtrl& operator=(const SnmpAgentCtrl&) = delete;

    // One agent link per block of the section, in order; a block that does
    // not read leaves its agent inactive.
    void CreateInstances(IniFile::Section& section);
    void Bind(ISnmpAgentNotify* n);
    void UnBind();

    // Queues an item's value (the index 0, or the row of a table).
    void Send(MonitoringItemType type, const std::string& value);
    void Send(MonitoringItemType type, int index, const std::string& value);
    // Sends the commands to every agent now; an empty list sends nothing.
    void Send(const MON::SnmpSetCommands& commands);
    // Sends the trap receivers to every agent now, each as a host without
    // port; an empty list sends nothing.
    void SendTrapsink(const std::list<std::string>& receivers);

    const std::vector<MonitoringItem>& Items() const { return items; }
    const std::list<std::unique_ptr<SnmpAgentInstance>>& Agents() const { return agents; }
protected:
    // The number the next queued value gets; after the largest int, 1.
    int uniq = 1;

private:
    void OnDpcSend();
    int TakeUniq();
    // Sends `frames` to the agents of `kind`, or to every agent for -1.
    void SendFrames(const std::vector<std::vector<char>>& frames, int kind);
    bool AnyConnected(int kind) const;

    std::list<std::unique_ptr<SnmpAgentInstance>> agents;
    std::vector<MonitoringItem> items;
    Dpc dpc;
    ISnmpAgentNotify* listener = nullptr;
    // The pending set commands of each agent kind that has a list.
    std::map<int, std::unique_ptr<MON::Command>> pending;
};

#endif
