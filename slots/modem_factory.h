#ifndef KORVAND_SLOTS_MODEM_FACTORY_H
#define KORVAND_SLOTS_MODEM_FACTORY_H

#include <cstdint>
#include <list>
#include <ostream>
#include <string>
#include <vector>

#include "core/slot_factory.h"
#include "runtime/event.h"
#include "runtime/fd.h"
#include "runtime/inet4_addr.h"
#include "runtime/timer.h"
#include "slots/auth_record.h"
#include "slots/modem_slot.h"

class ModemFactory;

// One connection of the authentication program. Records are read whole
// (framed by their length word) and handed to the factory; the replies go
// back on the connection that last sent a record for their modem. What the
// socket cannot take at once waits, bounded, until it is writable.
class AuthClient : public Event {
public:
    // Replies that may wait for a slow client; beyond it the client, which
    // is not reading, is dropped.
    static constexpr size_t kPendingLimit = 64 * 1024;
    static constexpr uint32_t kNoKey = 0xFFFFFFFFU;

    AuthClient(ModemFactory& factory, Fd socket, const INet4::Addr& peer);

    void OnSocketEvent(int fd, short revents);
    // Writes the record; false when the client is closed or has failed.
    bool Send(const attr& record);

    bool IsOpen() const { return bool(fd); }
    // Reply bytes waiting for the socket.
    size_t Pending() const { return pending.size(); }
    uint32_t Key() const { return key; }
    const INet4::Addr& Peer() const { return peer; }

private:
    void Receive();
    // A whole record from the reader.
    void Deliver();
    void Flush();
    // Writes what the socket takes now; false on a failure.
    bool WriteSome(const uint8_t* data, size_t len, size_t& written);
    void Disconnect();
    // Ends an operation of the client's own; the last one removes a
    // disconnected client.
    void Done();

    ModemFactory& factory;
    INet4::Addr peer;
    int busy = 0;
    AuthReader reader;
    std::vector<uint8_t> pending;
    uint32_t key = kNoKey;
};

// Builds the modem slots: on a free HDLC point-to-point interface when the
// create asks for digital data modes, else on a DSP modem. It keeps the
// live modem slots, reports the modems and interfaces in the resource
// report, and runs the local TCP listener of the authentication program.
class ModemFactory : public SlotFactory {
public:
    static constexpr uint16_t kAuthPort = 52000;
    static constexpr int kBacklog = 64;
    // The listener's rest after an accept that failed for want of
    // descriptors or memory.
    static constexpr unsigned kAcceptPauseMs = 1000;
    // The clients kept: a few per modem, and never fewer than the floor.
    static constexpr size_t kClientsPerModem = 4;
    static constexpr size_t kMinClients = 16;

    // Listens on KORVAND_AUTH_PORT when it names a port, else on 52000.
    ModemFactory();
    // Listens on `authPort` (0: a port of the kernel's choice).
    explicit ModemFactory(uint16_t authPort);
    ~ModemFactory() override;

    const char* GetName() const override { return "Modem"; }
    Slot* INewSlot(const LGCP::CreateParams& params) override;
    // Looks for the modems and interfaces again.
    void Query(LGCP::Resources& resources) override;

    void ReleaseModemSlot(DspModemSlot* slot);
    void ReleaseModemSlot(HdlcModemSlot* slot);
    // To the client that last sent a record with the record's key.
    void SendAuth(const attr& record);
    // To the modem slot whose modem_id is the record's key.
    void OnAuth(const attr& record);
    ModemSlot* FindModemByDsp(int number) const;

    void OnSocketEvent(int fd, short revents);
    // Deletes a client that has disconnected and finished.
    void RemoveClient(AuthClient* client);

    // The listener's port, 0 without one.
    uint16_t AuthPort() const;
    unsigned DspModems() const { return dspModems; }
    const std::list<std::string>& FreeIfaces() const { return freeIfaces; }
    const std::list<AuthClient*>& Clients() const { return clients; }
    // How many clients are kept at once; a connection beyond them is
    // closed as it is accepted, so idle connections cannot take the
    // descriptors the slots need.
    size_t MaxClients() const;

    // The log prefix "modem[<modems>,<slots>]: ".
    std::ostream& Log(std::ostream& os) const;

private:
    void IQuery();
    void QueryDspModems();
    void QueryInterfaces();
    void Init(uint16_t port);
    void Accept();
    void ResumeAccept();
    void CloseListener();

    std::list<DspModemSlot*> dspSlots;
    std::list<HdlcModemSlot*> hdlcSlots;
    std::list<ModemSlot*> modemSlots;
    unsigned dspModems = 0;
    Fd listenFd;
    Event listenEvent;
    Timer acceptPause;
    std::list<AuthClient*> clients;
    std::list<std::string> freeIfaces;
    // Every point-to-point interface the last discovery found.
    std::vector<std::string> foundIfaces;
};

#endif
