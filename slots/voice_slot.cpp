#include "slots/voice_slot.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iostream>

#include "board/board_io.h"
#include "hardware/mcc_channel.h"
#include "slots/play_slot.h"
#include "slots/record_slot.h"

namespace {

const char* const kPrefix = "voice/mcc[0]: ";

template <class T>
void Forget(std::vector<T*>& list, T* slot) {
    list.erase(std::remove(list.begin(), list.end(), slot), list.end());
}

}  // namespace

std::string dhost2str(const TERM::HostAddress& host) {
    return host.get_iaddr() + ":" + std::to_string(host.get_port().getValue());
}

Slot* VoiceFactory::INewSlot(const LGCP::CreateParams& params) {
    if (!params.is_voice()) return nullptr;
    const LGCP::VoiceParams& voice = params.get_voice();
    if (voice.is_record()) return CreateRecord(dhost2str(voice.get_record()));
    if (voice.is_player()) return CreatePlay(voice.get_player());
    return nullptr;
}

int VoiceFactory::OpenChannel(int access, const char* use, const Mcc::Allocate& record, int& timeslot) {
    int fd = Mcc::OpenDevice(access);
    if (fd < 0) {
        std::cerr << kPrefix << "fail to open /dev/mcc/ctl device for " << use << ": " << std::strerror(errno)
                  << std::endl;
        return -1;
    }
    if (!Mcc::AllocateChannel(fd, record)) {
        std::cerr << kPrefix << "MCC_ALLOCATE fail: " << std::strerror(errno) << std::endl;
        boardIo().close(fd);
        return -1;
    }
    timeslot = boardIo().ioctl(fd, Mcc::MCC_TIMESLOT, 0L);
    if (timeslot < 0) {
        std::cerr << kPrefix << "MCC_TIMESLOT request failed." << std::endl;
        boardIo().close(fd);
        return -1;
    }
    return fd;
}

Slot* VoiceFactory::CreatePlay(const LGCP::PlayerParams& params) {
    if (!params.is_network() && !params.is_file()) return nullptr;
    int timeslot;
    int fd = OpenChannel(O_WRONLY, "writing", Mcc::playChannel(), timeslot);
    if (fd < 0) return nullptr;
    PlaySlotGeneric* slot;
    if (params.is_network()) {
        const LGCP::PlayerParams_network& n = params.get_network();
        slot = new PlaySlotNetwork(*this, timeslot, fd, dhost2str(n.get_host()), n.get_id().getValue());
    } else {
        const LGCP::PlayerParams_file& f = params.get_file();
        std::vector<std::string> names(f.get_name().begin(), f.get_name().end());
        slot = new PlaySlotFile(*this, timeslot, fd, names, f.get_repeat().getValue());
    }
    boardIo().close(fd);
    players.push_back(slot);
    return slot;
}

Slot* VoiceFactory::CreateRecord(const std::string& host) {
    int timeslot;
    int fd = OpenChannel(O_RDONLY, "reading", Mcc::recordChannel(), timeslot);
    if (fd < 0) return nullptr;
    RecordSlot* slot = new RecordSlot(*this, host, timeslot, fd);
    boardIo().close(fd);
    recorders.push_back(slot);
    return slot;
}

void VoiceFactory::OnDestroy(RecordSlot* slot) {
    Forget(recorders, slot);
}

void VoiceFactory::OnDestroy(PlaySlotGeneric* slot) {
    Forget(players, slot);
}
