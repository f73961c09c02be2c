#ifndef KORVAND_MONITORING_MONITORING_CTL_H
#define KORVAND_MONITORING_MONITORING_CTL_H

#include <cstdint>
#include <ostream>
#include <string>

#include "asn1/gen/lgcp.h"
#include "core/ctrl_server.h"
#include "monitoring/monitoring_data_holder.h"
#include "monitoring/snmp_agent_ctrl.h"
#include "runtime/dpc.h"
#include "runtime/ini_file.h"
#include "runtime/timer.h"

// The board's health watch, bound last to the control server and the
// listener of the SNMP agent links. Three timers poll the board: the
// versions, the configuration version, the framers and the temperature
// every minute; the power supply, the DIP switch and the network
// interfaces every two seconds; the controller's state every five. Each
// value goes into the data store, which writes the status files; a value
// that changed is pushed to the SNMP agents, and a power change is also
// signalled to the controller. The controller reports the expansion boards,
// telephone sets, counters, trap receivers and set commands with its
// display command; an agent that connects is sent every value again.
class MonitoringCtl : public CtrlSrv::Service, public ISnmpAgentNotify {
public:
    static const unsigned kBkgFirstMs = 1000;
    static const unsigned kBkgPeriodMs = 60000;
    static const unsigned kPowerPeriodMs = 2000;
    static const unsigned kControllerPeriodMs = 5000;

    // The one controller of the process, built on first use.
    static MonitoringCtl* instance();

    // Builds the store and the agent link and arms the timers; the device
    // is opened by the first check that needs it. Tests build their own.
    MonitoringCtl();
    ~MonitoringCtl() override;

    // The agent links of section "snmpagent", with this object as their
    // listener.
    void Configure(IniFile::File& cfg);

    // CtrlSrv::Service
    void OnConnect() override;
    void OnDisconnect() override;
    bool OnCommand(const LGCP::Command& cmd) override;
    void OnSignal(const LGCP::Signal& sig) override;
    // ISnmpAgentNotify: the agent is sent every value on the next pass.
    void OnSnmpAgentConnect(const std::string& agentName) override;

    // Opens "/dev/hal" when it is not open; true when it is.
    bool IsOpen();

    void onBkgCheckTimer(Timer*);
    void onPowerCheckTimer(Timer*);
    void onControllerCheckTimer(Timer*);

    void doVersionsCheck();
    void doConfigCheck();
    void doFramerCheck();
    void doTemperatureCheck();
    void doPowerCheck();
    void doDipCheck();
    void doNetIfCheck();
    void doControllerCheck();

    // Sets the framer's LED bits from a display report and writes the mask.
    void setFramerLed(const LGCP::FramerInfo& info);
    void PutHeader(std::ostream& os) const;

    void OnDisplayCMD(const LGCP::DisplayParams& params);
    void sendPowerStatus();
    // The full resend.
    void OnDpcSend();

    // The push operations: stored values to the agent link.
    void sendSnmpDriverBuild();
    void sendSnmpSoftwareBuild();
    void sendSnmpPowerStatus();
    void sendSnmpControllerStatus();
    void sendSnmpGatewayDip();
    void sendSnmpGatewayConfigVersion();
    void sendSnmpTemperature();
    void sendSnmpStatusBuildVersion();
    void sendSnmpStatusFPGAVersion();
    void sendSnmpStatusBootVersion();
    void sendSnmpStatusBoardVersion();
    void sendSnmpBoardStatus(const LGCP::BoardStatusParams& board);
    void sendSnmpBoardStatuses();
    void sendSnmpEmPhoneStatus(const LGCP::EmPhoneStatusParams& phone);
    void sendSnmpEmPhoneStatuses();
    void sendSnmpRouterTermCnt();
    void sendSnmpControllerTermCnt();
    void sendSnmpServerTermCnt();
    void sendSnmpBoardTermCnt();
    void sendSnmpFramerStatus(const FramerDataHolder& framer);
    void sendSnmpFramerStatus();
    void sendSnmpNetIfStatus(const NetIfDataHolder& netIf);
    void sendSnmpNetIfStatus();
    void sendSnmpTrapReceivers();
    void sendSnmpCommands();
    void sendSnmpCommands(const MON::SnmpSetCommands& commands);

    const MonitoringDataHolder& data() const { return dataHolder; }
    SnmpAgentCtrl& agentLink() { return snmpAgentCtrl; }
    uint8_t leds() const { return ledMask; }
    int halDescriptor() const { return halFd; }

private:
    // The longest line read from a source file.
    static const int kLineMax = 254;

    // One line of a file below the filesystem root, at most `max`
    // characters, its line end kept when it fits: 1 when a line was read,
    // 0 when none was (`text` empty), -1 when the file does not open.
    static int readLine(const char* path, int max, std::string& text);
    // One byte request on the device; false when it failed.
    bool halRequest(unsigned long request, uint8_t& byte);
    void writeLeds();
    void sendTermCnt(SnmpAgentCtrl::MonitoringItemType item, int owner);

    int halFd;
    MonitoringDataHolder dataHolder;
    SnmpAgentCtrl snmpAgentCtrl;
    Timer bkgCheckTimer;
    Timer powerCheckTimer;
    Timer controllerCheckTimer;
    uint8_t ledMask;
    Dpc sendDpc;
};

#endif
