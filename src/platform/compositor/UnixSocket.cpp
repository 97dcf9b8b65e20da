#include "platform/compositor/UnixSocket.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

UnixSocket::UnixSocket(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        close();
}

UnixSocket::~UnixSocket()
{
    close();
}

UnixSocket::UnixSocket(UnixSocket&& other) noexcept : fd_(other.fd_)
{
    other.fd_ = -1;
}

UnixSocket& UnixSocket::operator=(UnixSocket&& other) noexcept
{
    if (this != &other) {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void UnixSocket::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool UnixSocket::sendAll(const std::string& bytes)
{
    std::size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        ssize_t sent = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        done += static_cast<std::size_t>(sent);
    }
    return fd_ >= 0;
}

bool UnixSocket::receive(std::string& into, double timeoutSeconds)
{
    if (fd_ < 0)
        return false;
    pollfd readable{fd_, POLLIN, 0};
    int ready = poll(&readable, 1, static_cast<int>(timeoutSeconds * 1000));
    if (ready <= 0)
        return ready == 0 || errno == EINTR;
    char buffer[16384];
    ssize_t got = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0)
        return errno == EAGAIN || errno == EINTR;
    into.append(buffer, static_cast<std::size_t>(got));
    return got > 0;
}

bool UnixSocket::receiveAll(std::string& into, double timeoutSeconds)
{
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::duration<double>(timeoutSeconds);
    for (;;) {
        double left = std::chrono::duration<double>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        if (!receive(into, left))
            return true;
    }
}
