#include "tools/lgcpc/session.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iostream>

#include "runtime/multiplexer.h"
#include "tools/lgcpc/lgcpc.h"

namespace Lgcpc {

namespace {

// The longest single wait of the loop: a loss the connection reports from
// a deferred call is seen within it.
const int kPassMs = 50;

}  // namespace

Session::Session(const SendOptions& options, std::ostream& out, std::ostream& err)
    : options(options), out(out), err(err), values(&LGCP::Message::theInfo) {
    client.OnReceive([this](const std::string& text, const LGCP::Message* message) {
        OnMessage(text, message);
    });
}

int Session::Run(int fd) {
    std::string error;
    if (!client.Connect(options.host, uint16_t(options.port), error)) {
        err << "lgcpc: " << error << std::endl;
        return 1;
    }
    input.Bind("lgcpc input", &Session::OnInput, this);
    if (::fcntl(fd, F_GETFD) < 0)
        EndInput();
    else
        input.Schedule(Fd(fd), POLLIN);
    while (!Over()) multiplexer.runOnce(kPassMs);
    input.Release();
    client.Close();
    return Report();
}

// One read per readiness, so a terminal or a pipe never blocks the loop.
// The loop calls every handler on every pass, ready or not.
void Session::OnInput(int fd, short revents) {
    if (!(revents & (POLLIN | POLLHUP | POLLERR))) return;
    char buffer[4096];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n < 0) {
        err << "lgcpc: cannot read the input: " << std::strerror(errno) << std::endl;
        badInput = true;
    }
    if (n > 0) {
        values.feed(buffer, size_t(n));
        SendReady();
    } else {
        EndInput();
    }
}

void Session::EndInput() {
    input.Release();
    values.finish();
    SendReady();
    inputEnded = true;
    deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.waitMs);
}

void Session::SendReady() {
    InputValues::Item item;
    while (!client.Lost() && values.next(item)) {
        std::string error;
        std::vector<char> octets;
        const LGCP::Message* message = static_cast<const LGCP::Message*>(item.value.get());
        if (!message) {
            error = item.error;
        } else if (!encodeValue(*message, octets, error)) {
            error = item.where + ": " + error;
        } else {
            // A request the lost connection did not take is unanswered too.
            if (message->has_seq()) unanswered.push_back(message->get_seq().getValue());
            if (!client.SendOctets(octets, error)) {
                unsent = true;
                return;
            }
        }
        if (error.empty()) continue;
        err << "lgcpc: " << error << std::endl;
        badInput = true;
    }
}

void Session::OnMessage(const std::string& text, const LGCP::Message* message) {
    if (printed++ > 0) out << '\n';
    out << text << std::endl;
    if (!message || !message->has_seq() || !message->get_pdu().is_response()) return;
    auto answered = std::find(unanswered.begin(), unanswered.end(), message->get_seq().getValue());
    if (answered != unanswered.end()) unanswered.erase(answered);
}

bool Session::Over() {
    auto now = std::chrono::steady_clock::now();
    if (inputEnded && unanswered.empty() && !finishing && !client.Lost()) {
        client.Finish();
        finishing = true;
        deadline = now + std::chrono::milliseconds(options.waitMs);
    }
    return client.Lost() || (inputEnded && now >= deadline);
}

int Session::Report() {
    if (finishing || (inputEnded && unanswered.empty() && !unsent)) return badInput ? 1 : 0;
    std::string what;
    if (client.Lost()) {
        what = "connection to " + options.host + ":" + std::to_string(options.port) + " lost";
        if (!inputEnded || unsent) what += " before the whole input was sent";
        if (client.Received().empty())
            what += "; the daemon sent nothing (it serves one controller at a time)";
        if (!unanswered.empty()) what += "; no final answer to " + Unanswered();
    } else {
        what = "no final answer to " + Unanswered() + " within " + std::to_string(options.waitMs) +
               " ms of the end of the input";
    }
    err << "lgcpc: " << what << std::endl;
    return 1;
}

std::string Session::Unanswered() const {
    std::string list;
    for (int seq : unanswered) list += (list.empty() ? "seq " : ", seq ") + std::to_string(seq);
    return list;
}

}  // namespace Lgcpc
