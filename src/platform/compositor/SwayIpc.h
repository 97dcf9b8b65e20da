#pragma once

#include "platform/compositor/UnixSocket.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A connection to sway's IPC socket ($SWAYSOCK). Messages are framed the i3
// way: "i3-ipc", the payload's length and the message type as 32-bit words
// in the machine's byte order, then the payload (JSON in replies and events).
class SwayIpc {
public:
    static constexpr std::uint32_t runCommand = 0;
    static constexpr std::uint32_t subscribe = 2;
    static constexpr std::uint32_t getTree = 4;
    static constexpr std::uint32_t getVersion = 7;
    static constexpr std::uint32_t getInputs = 100;
    static constexpr std::uint32_t inputEvent = 0x80000015u;

    struct Message {
        std::uint32_t type = 0;
        std::string payload;
    };

    // sway's own socket when none is named.
    explicit SwayIpc(const std::string& socketPath = socketFromEnvironment());

    // $SWAYSOCK, or nothing when sway did not start this session.
    static std::string socketFromEnvironment();

    bool connected() const { return socket_.connected(); }
    int fd() const { return socket_.fd(); }

    // The reply's payload, within a second; nothing when sway does not
    // answer.
    std::optional<std::string> request(std::uint32_t type, const std::string& payload = {});
    // A command and whether sway carried it out.
    bool command(const std::string& text);
    // sway's major and minor version.
    std::optional<std::pair<int, int>> version();

    // The events that have arrived, without waiting. False once sway has
    // closed the connection.
    bool takeEvents(std::vector<Message>& events);

private:
    std::optional<Message> nextMessage();

    UnixSocket socket_;
    std::string received_;
};
