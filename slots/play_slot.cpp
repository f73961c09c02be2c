#include "slots/play_slot.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>

#include "board/fs_root.h"
#include "hardware/mcc_channel.h"
#include "runtime/stream_items.h"

namespace {

const char* const kVoiceDirectory = "/usr/local/voice/";

// Names are relative to the voice directory and stay inside it.
bool PlayableName(const std::string& name) {
    if (name.empty() || name[0] == '/' || name.find('\0') != std::string::npos) return false;
    for (size_t at = 0; at <= name.size();) {
        size_t end = name.find('/', at);
        if (end == std::string::npos) end = name.size();
        if (name.compare(at, end - at, "..") == 0) return false;
        at = end + 1;
    }
    return true;
}

}  // namespace

// ---- any player ------------------------------------------------------------------

PlaySlotGeneric::PlaySlotGeneric(VoiceFactory& factory, int timeslot, Fd channel)
    : factory(factory), timeslot(timeslot), fd(channel.dup()) {}

PlaySlotGeneric::~PlaySlotGeneric() {
    factory.OnDestroy(this);
    fd.close();
}

bool PlaySlotGeneric::IBeforeDestroy() {
    factory.OnDestroy(this);
    return true;
}

void PlaySlotGeneric::PutHeader(std::ostream& os) const {
    os << GetName() << "[" << timeslot << "]: ";
}

// ---- network player --------------------------------------------------------------

PlaySlotNetwork::PlaySlotNetwork(VoiceFactory& factory, int timeslot, Fd channel, const std::string& host, int id)
    : PlaySlotGeneric(factory, timeslot, channel), host(host), id(id) {
    connector.Bind(this, &PlaySlotNetwork::OnConnect);
    copier.Bind(this, &PlaySlotNetwork::OnCopy);
    copier.set_io(nullptr, &Mcc::ChannelIo());
}

// A connect that fails at once has released the player: the link is not
// made.
bool PlaySlotNetwork::IOnOutputStream() {
    if (state == idle) {
        state = connecting;
        connector.Start(host, VoiceFactory::kConnectTimeoutMs);
        if (state == released) return false;
    }
    OnChangeOutputStream(true);
    return timeslot >= 0;
}

void PlaySlotNetwork::OnConnect(ASync::Connect::Status::Type status, Fd socket) {
    if (status == ASync::Connect::Status::Stopped) return;
    if (status != ASync::Connect::Status::Connected) {
        std::clog << ext::header(*this) << "connection to " << host << " fail." << std::endl;
        Release();
        return;
    }
    std::clog << ext::header(*this) << "connected to " << host << "." << std::endl;
    LGCP::IoctlResponse started;
    started.set_startPlaying();
    OnIoctlResponse(started);
    state = playing;
    uint32_t word = htonl(uint32_t(id));
    if (::send(socket.get(), &word, sizeof word, MSG_DONTWAIT | MSG_NOSIGNAL) < 0) {
        // The copy that follows sees what became of the connection.
    }
    copier.Start(socket, fd);
}

void PlaySlotNetwork::OnCopy(ASync::Copy::Status::Type status) {
    if (status == ASync::Copy::Status::Stopped) return;
    if (status == ASync::Copy::Status::Completed)
        std::clog << ext::header(*this) << "connection to " << host << " closed." << std::endl;
    else
        std::cerr << ext::header(*this) << "play failed" << std::endl;
    Release();
}

void PlaySlotNetwork::Release() {
    state = released;
    OnChangeOutputStream(false);
    OnAbort(0);
}

// ---- file player -----------------------------------------------------------------

PlaySlotFile::PlaySlotFile(VoiceFactory& factory, int timeslot, Fd channel, const std::vector<std::string>& names,
                           int repeat)
    : PlaySlotGeneric(factory, timeslot, channel), repeat(repeat), names(names) {
    copier.Bind(this, &PlaySlotFile::OnCopy);
    copier.set_bufsize(kBufferSize);
    copier.set_io(nullptr, &Mcc::ChannelIo());
    abortCall.Bind(this, &PlaySlotFile::delayed_abort);
}

Fd PlaySlotFile::OpenPhrase(const std::string& name) {
    if (!PlayableName(name)) return Fd();
    int f = ::open(Fs::path(kVoiceDirectory + name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (f >= 0 && (::fstat(f, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(f);
        f = -1;
    }
    return f;
}

bool PlaySlotFile::IOnOutputStream() {
    if (!started) {
        if (!restart()) {
            abortCall.Activate();
            return false;
        }
        started = true;
    }
    OnChangeOutputStream(true);
    return timeslot >= 0;
}

bool PlaySlotFile::restart() {
    position = 0;
    passBytes = 0;
    return next_phrase();
}

bool PlaySlotFile::next_phrase() {
    file.close();
    while (position < names.size()) {
        Fd phrase = OpenPhrase(names[position++]);
        if (!phrase) continue;
        file = phrase;
        ::lseek(file.get(), 0, SEEK_SET);
        copier.Start(file, fd);
        return true;
    }
    return false;
}

void PlaySlotFile::OnCopy(ASync::Copy::Status::Type status) {
    if (status == ASync::Copy::Status::Stopped) return;
    if (status != ASync::Copy::Status::Completed) return Release();
    passBytes += copier.bytes_written();
    if (next_phrase()) return;
    // A pass that played nothing would only start the next at once.
    if (passBytes == 0) return Unplayable();
    if (repeat > 0) {
        if (repeat == 1) return Release();
        --repeat;
    }
    if (!restart()) Unplayable();
}

// Sent once: the slot stays until the controller destroys it.
void PlaySlotFile::delayed_abort() {
    abortCall.Deactivate();
    OnAbort(0);
}

void PlaySlotFile::Unplayable() {
    ended = true;
    file.close();
    OnAbort(0);
}

void PlaySlotFile::Release() {
    ended = true;
    file.close();
    OnChangeOutputStream(false);
    OnAbort(0);
}
