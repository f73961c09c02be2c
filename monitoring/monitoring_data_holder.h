#ifndef KORVAND_MONITORING_MONITORING_DATA_HOLDER_H
#define KORVAND_MONITORING_MONITORING_DATA_HOLDER_H

#include <cstdint>
#include <list>
#include <ostream>
#include <string>

#include "asn1/gen/hsp.h"
#include "asn1/gen/lgcp.h"
#include "asn1/gen/mon.h"
#include "asn1/gen/term.h"
#include "monitoring/framer_data_holder.h"
#include "monitoring/net_if_data_holder.h"
#include "runtime/inet4_addr.h"

// The latest monitoring values of the board: the controllers' states, the
// power supply, the DIP switch, the configuration version, temperature and
// version texts, the expansion boards and telephone sets the controller
// reports, the termination counters, the SNMP trap receivers and set
// commands, and the records of the E1 framers and network interfaces.
//
// The setters store the new value and rewrite the matching status file
// under "/var/monitoring/"; the setters of single values answer whether the
// value changed, so that the monitoring controller pushes it to the SNMP
// agents only then. The store itself sends nothing. Its fields are read
// directly by the monitoring controller.
class MonitoringDataHolder {
  public:
    // What a file writer writes: the one member its writer reads.
    struct SaveStatusArg {
        const std::string* text = nullptr;
        const LGCP::BoardStatusParams* board = nullptr;
        const LGCP::EmPhoneStatusParams* phone = nullptr;
        const HSP::ControllerStatus* status = nullptr;
        int count = 0;
    };
    typedef void (MonitoringDataHolder::*Saver)(std::ostream& out, const SaveStatusArg* arg);

    // Clears what a previous run left at the top of "/var/monitoring/",
    // finds the framers and network interfaces and makes the base
    // directories.
    MonitoringDataHolder();
    // Clears the top of "/var/monitoring/" again.
    ~MonitoringDataHolder();
    MonitoringDataHolder(const MonitoringDataHolder&) = delete;
    MonitoringDataHolder& operator=(const MonitoringDataHolder&) = delete;

    // Single values: true when the stored value changed.
    bool setDipValue(int value);
    bool setPowerStatus(const LGCP::POWERStatus& value);
    bool setConfigVersion(uint32_t first, uint64_t second);
    bool setTemperature(std::string text);
    bool setBuildVersion(std::string text);
    bool setFPGAVersion(std::string text);
    bool setBootVersion(std::string text);
    bool setBoardVersion(std::string text);
    // True only when the local controller's status changed; a change of
    // another controller writes its file all the same.
    bool setControllerStatus(const LGCP::ControllerInfo& info);

    // The reports of the controller's display command.
    void setBoardStatus(const LGCP::BoardInfo& info);
    void setEmPhoneInfo(const LGCP::EmPhoneInfo& info);
    void setTermCounter(const LGCP::TermCounter& report);
    void setSnmpTrapReceivers(const ASN1::SEQUENCE_OF<ASN1::IA5String>& receivers);
    void setSnmpCommands(const MON::SnmpSetCommands& commands);
    // The framer LEDs are the monitoring controller's; nothing is kept.
    void setFramerStatusChanged(const LGCP::FramerInfo&) {}
    void setDisplayStatus(const LGCP::DisplayParams& params);

    // The status files.
    void ClearMonitorFiles();
    // Removes the board files and forgets the boards (controller lost).
    void ClearControllerFiles();
    void CheckForMonDir(const char* path);
    void CheckForMonControllerDir(const INet4::Addr& address);
    // Writes one file through `writer`; with `safe` the file written is
    // path + "_cmp" instead.
    void SaveStatusToFile(const char* path, Saver writer, const SaveStatusArg* arg, bool safe);

    // The file writers.
    void DipStatusSaver(std::ostream& out, const SaveStatusArg* arg);
    void PowerStatusSaver(std::ostream& out, const SaveStatusArg* arg);
    void ConfigVersionSaver(std::ostream& out, const SaveStatusArg* arg);
    void BoardStatusSaver(std::ostream& out, const SaveStatusArg* arg);
    void PhoneStatusSaver(std::ostream& out, const SaveStatusArg* arg);
    void TermCounterSaver(std::ostream& out, const SaveStatusArg* arg);
    void ControllerStatusSaver(std::ostream& out, const SaveStatusArg* arg);
    void StringParamSaver(std::ostream& out, const SaveStatusArg* arg);

    INet4::Addr localControllerAddr;
    HSP::ControllerStatus localControllerStatus;
    int localControllerPid;
    std::list<LGCP::ControllerInfo> controllerList;
    LGCP::POWERStatus powerValue;
    std::list<LGCP::BoardStatusParams> boardList;
    std::list<LGCP::EmPhoneStatusParams> phoneList;
    std::list<LGCP::TermCounter> termCounterList;
    std::list<std::string> trapReceiverList;
    int dipValue;
    uint64_t configVersion64;
    uint32_t configVersion32;
    std::string temperatureText;
    std::string buildVersionText;
    std::string fpgaVersionText;
    std::string bootVersionText;
    std::string boardVersionText;
    MON::SnmpSetCommands snmpCommandList;
    std::string setValueText;
    std::list<FramerDataHolder> framerList;
    std::list<NetIfDataHolder> netIfList;

    // The descriptor the interface records are probed on (-1 when there
    // are no records).
    int netIfProbeSocket() const { return netIfSocket; }

  private:
    // Opened when the interfaces are found and kept until the store goes:
    // closing a packet socket waits for the kernel's network grace period,
    // tens of milliseconds of a stalled loop if every probe paid it.
    int netIfSocket;

    void findLocalController();
    void findFramers();
    void findNetIfs();
    // Writes the file of a top-level name followed by a number.
    void saveNumbered(const char* prefix, int number, Saver writer, const SaveStatusArg& arg);
    void storeTermCounter(const LGCP::TermCounter& report);
    void storeSnmpCommand(const MON::SnmpSetCommand& command);
    void saveSnmpCommand(const MON::IniName& id, const std::string& value);
};

// The address text of a host, without its port.
std::string host2str(const TERM::HostAddress& host);
// The address in dotted-quad form, without its port.
std::string dottedQuad(const INet4::Addr& address);

#endif
