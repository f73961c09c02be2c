#ifndef KORVAND_SLOTS_ECHO_SLOT_H
#define KORVAND_SLOTS_ECHO_SLOT_H

#include "core/slot.h"
#include "core/slot_factory.h"

// A channel of an echo-canceller bus (32 x bus + channel, no bus offset),
// transmitting and receiving from its creation.
class EchoSlot : public Slot {
public:
    explicit EchoSlot(int channel) : channel(channel) {}

    int IGetTransmitChannel() const override { return channel; }
    int IGetReceiveChannel() const override { return channel; }
    bool IOnOutputStream() override { return true; }
    bool IOnInputStream() override { return true; }
    void IAfterCreate() override;
    const char* GetName() const override { return "echo"; }

private:
    int channel;
};

// Builds echo slots (`echo` parameters) on the buses whose echo canceller
// its scan found, on channels no other slot receives on, and reports those
// buses in the resource report.
class EchoFactory : public SlotFactory {
public:
    static const int kBuses = 16;

    // Scans the buses.
    EchoFactory();

    const char* GetName() const override { return "Echo"; }
    Slot* INewSlot(const LGCP::CreateParams& params) override;
    // Appends each present bus to `echoBus`.
    void Query(LGCP::Resources& resources) override;

    // Marks the buses on which an echo canceller drives the channels: a
    // bus's first channel, read through the time-slot switch, carries the
    // canceller's output, where an empty bus reads as the idle bus level.
    void Scan();
    bool IsPresent(int bus) const { return bus >= 0 && bus < kBuses && present[bus]; }

private:
    unsigned char present[kBuses] = {};
};

#endif
