#ifndef KORVAND_CORE_SLOT_SWITCH_H
#define KORVAND_CORE_SLOT_SWITCH_H

// The switch that the slots' default hardware links go through. The core
// sits below the hardware layer, so it knows the board's time-slot switch
// only through this interface; the switch installs itself when the process
// creates it, and a destroyed switch is never left installed.
class SlotSwitch {
public:
    virtual ~SlotSwitch();

    // The output takes its byte stream from the source.
    virtual bool Connect(int source, int output) = 0;
    // Releases the output (it carries the idle byte).
    virtual bool Disconnect(int output) = 0;

    // The installed switch, or null.
    static SlotSwitch* Installed();
    static void Install(SlotSwitch* s);
};

#endif
