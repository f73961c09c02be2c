#ifndef KORVAND_HARDWARE_SPI_CTRL_H
#define KORVAND_HARDWARE_SPI_CTRL_H

#include "asn1/gen/acp.h"
#include "board/hal_driver.h"
#include "core/ctrl_server.h"
#include "runtime/fd.h"
#include "runtime/timer.h"

// The SPI line interface that some boards carry behind the switch driver
// "/dev/hal": eight BRI line channels, each with its own register bank. The
// service initialises and enables every channel when it is built, reports
// each line's status as a `trunkStatus` signal of type bri once a second
// while a controller is connected, and makes one channel the clock master
// on request. On a board whose driver answers ENODEV there is no SPI part:
// the service turns itself off for good. It takes no command.
class spiCtrl : public CtrlSrv::Service {
public:
    static const unsigned kChannels = Hal::kSpiChannels;
    static const unsigned kPollMs = 1000;

    // The one service of the process, created on first use.
    static spiCtrl* instance();

    // Opens the device and initialises the channels.
    spiCtrl();
    // Disables the channels and drops the clock master.
    ~spiCtrl() override;

    void OnConnect() override;
    void OnDisconnect() override { timer.reset(); }
    bool OnCommand(const LGCP::Command&) override { return false; }

    // Register access; each does nothing while the device is closed or the
    // SPI part is absent. read gives 0 then, or when the read fails.
    void write(unsigned channel, unsigned address, unsigned value);
    unsigned read(unsigned channel, unsigned address);

    void init_channel(int channel);
    void enable_channel(int channel);
    void disable_channel(int channel);
    // Makes `channel` the clock master; -1 leaves no channel master.
    void clock(int channel);
    // Opens the device and sets up every channel, unless it is open already
    // or the SPI part is absent.
    void init_device_and_channels();
    // One status poll: a signal per channel, then the next poll is armed.
    void status();

    bool present() const { return spiPresent; }
    bool polling() const { return timer.armed(); }

    // The line state of status register 51.
    static ACP::TrunkState::NamedNumber lineState(unsigned status);

private:
    // The register's value, or -1 when the read fails or cannot be made.
    int readRegister(unsigned channel, unsigned address);
    // Issues one register request; false on failure, after reporting it
    // (an ENODEV turns the service off).
    bool request(unsigned long code, Hal::SpiRegister& r, int& result);
    // Checks a channel operation: false while SPI is absent or for a bad
    // channel (`valid` false: prints `bad` and the channel); sets up the
    // device first.
    bool ready(bool valid, int channel, const char* bad);
    // The slip count to report: 1 when the slip bit of `status` newly set.
    unsigned slips(unsigned channel, unsigned status);
    void sendStatus(unsigned channel, int status);

    Fd fd;
    Timer timer;
    bool spiPresent = true;
    // The slip bit seen at the channel's last poll, so that one slip is
    // reported once however long the bit stays set.
    bool slipLatch[kChannels] = {};
};

#endif
