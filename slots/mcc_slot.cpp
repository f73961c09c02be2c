#include "slots/mcc_slot.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <iostream>

#include "board/board_io.h"
#include "board/mcc_driver.h"
#include "hardware/driver_read.h"
#include "hardware/mcc_channel.h"

namespace {

const char* const kPrefix = "mcc: ";

}  // namespace

// ---- slot -------------------------------------------------------------------------

MccSlot::MccSlot(Fd fd) : channel(boardIo().ioctl(fd.get(), Mcc::MCC_TIMESLOT, 0L)) {
    m_event.Bind("MccSlot::OnEvent", &MccSlot::OnEvent, this);
    m_event.Schedule(fd, POLLIN);
}

void MccSlot::OnEvent(int, short revents) {
    if (revents & kDriverReadEvents) DoRead(revents);
    if ((revents & POLLOUT) && IsOpen()) Flush();
}

void MccSlot::DoRead(short revents) {
    char buf[kReadSize];
    while (IsOpen()) {
        ssize_t n = boardIo().read(m_event.fd.get(), buf, sizeof buf);
        int err = errno;
        switch (driverRead(n, err, revents)) {
            case DriverRead::kData:
                OnUserData(std::vector<char>(buf, buf + n));
                break;
            case DriverRead::kLater:
                if (err == EINTR) break;
                return;
            case DriverRead::kFailed:
                Fail("read fail: " + driverReadFailure(n, err, revents));
                return;
        }
    }
}

bool MccSlot::IUserData(const std::vector<char>& data) {
    if (!IsOpen()) return false;
    if (data.empty()) return true;
    if (!pending.empty()) {
        if (pendingBytes + data.size() > kPendingLimit) return false;
        Queue(data, 0);
        return true;
    }
    ssize_t n = WriteSome(data.data(), data.size());
    if (n < 0) {
        std::cerr << kPrefix << "write fail: " << std::strerror(errno) << std::endl;
        return false;
    }
    if (size_t(n) < data.size()) Queue(data, size_t(n));
    return true;
}

ssize_t MccSlot::WriteSome(const char* data, size_t len) {
    for (;;) {
        ssize_t n = boardIo().write(m_event.fd.get(), data, len);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

// A frame channel takes a command's bytes in one write or not at all, so
// each command waits as it came and is written as one piece.
void MccSlot::Queue(const std::vector<char>& data, size_t written) {
    pending.emplace_back(data.begin() + long(written), data.end());
    pendingBytes += data.size() - written;
    m_event.events = POLLIN | POLLOUT;
}

void MccSlot::Flush() {
    while (!pending.empty()) {
        const std::vector<char>& head = pending.front();
        ssize_t n = WriteSome(head.data() + pendingOffset, head.size() - pendingOffset);
        if (n < 0) {
            Fail(std::string("write fail: ") + std::strerror(errno));
            return;
        }
        pendingOffset += size_t(n);
        pendingBytes -= size_t(n);
        if (pendingOffset < head.size()) return;  // the channel is full again
        pending.pop_front();
        pendingOffset = 0;
    }
    m_event.events = POLLIN;
}

void MccSlot::Fail(const std::string& why) {
    std::cerr << kPrefix << "channel " << channel << " lost, " << why << std::endl;
    m_event.Release();
    pending.clear();
    pendingOffset = 0;
    pendingBytes = 0;
    OnDeactivated();
}

// ---- factory ----------------------------------------------------------------------

Slot* MccFactory::INewSlot(const LGCP::CreateParams& params) {
    if (!params.is_mcc()) return nullptr;
    const LGCP::MccParams& mcc = params.get_mcc();
    int type = mcc.get_type().getValue();
    if (type < int(Mcc::kData) || type > int(Mcc::kTransparent)) return nullptr;
    int fd = Mcc::OpenDevice();
    if (fd < 0) {
        std::cerr << kPrefix << "fail to open MCC device: " << std::strerror(errno) << std::endl;
        return nullptr;
    }
    uint32_t kind = mcc.get_mode().getValue() == LGCP::MccMode::ss7 ? uint32_t(Mcc::kSs7) : uint32_t(type);
    std::clog << kPrefix << "MCC_ALLOCATE type=" << kind << std::endl;
    if (!Mcc::AllocateChannel(fd, Mcc::byteChannel(kind))) {
        std::cerr << kPrefix << "MCC_ALLOCATE fail: " << std::strerror(errno) << std::endl;
        boardIo().close(fd);
        return nullptr;
    }
    MccSlot* slot = new MccSlot(fd);
    boardIo().close(fd);
    return slot;
}

namespace {

int Count(uint32_t n) {
    return int(std::min<uint32_t>(n, INT_MAX));
}

}  // namespace

void MccFactory::Query(LGCP::Resources& resources) {
    resources.set_mcc_data(0);
    resources.set_mcc_bri(0);
    resources.set_mcc_trans(0);
    int fd = boardIo().open(Mcc::kDevice, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    Mcc::Resources counts{};
    if (boardIo().ioctl(fd, Mcc::MCC_RESOURCES, static_cast<void*>(&counts)) >= 0) {
        resources.set_mcc_data(Count(counts.data));
        resources.set_mcc_bri(Count(counts.bri));
        resources.set_mcc_trans(Count(counts.transparent));
    }
    boardIo().close(fd);
}
