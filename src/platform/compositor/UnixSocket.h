#pragma once

#include <string>

// A stream connection to a compositor's control socket. Every wait on it is
// bounded, so a compositor that hangs holds the caller up for a moment at
// most.
class UnixSocket {
public:
    UnixSocket() = default;
    // Connects at once; connected() tells whether it worked.
    explicit UnixSocket(const std::string& path);
    ~UnixSocket();
    UnixSocket(UnixSocket&& other) noexcept;
    UnixSocket& operator=(UnixSocket&& other) noexcept;

    bool connected() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    bool sendAll(const std::string& bytes);
    // Appends what arrives within the timeout (nothing is waited for with 0).
    // False once the other end has closed the connection or it failed.
    bool receive(std::string& into, double timeoutSeconds);
    // Everything until the other end closes, within the timeout.
    bool receiveAll(std::string& into, double timeoutSeconds);

private:
    void close();

    int fd_ = -1;
};
