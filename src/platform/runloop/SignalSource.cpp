#include "platform/runloop/SignalSource.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

// The self-pipe: the async-signal-safe handler only writes the signal number;
// the main loop reads it and calls the sources' handlers.
class SignalPipe {
public:
    static SignalPipe& instance()
    {
        static SignalPipe pipe;
        return pipe;
    }

    void add(SignalSource* source)
    {
        sources_.push_back(source);
        if (!watch_)
            watch_ = RunLoop::main().watchReadable(fds_[0], [this] { drain(); });
        struct sigaction action {};
        action.sa_handler = &SignalPipe::onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(source->signo_, &action, nullptr);
    }

    void remove(SignalSource* source) { std::erase(sources_, source); }

private:
    SignalPipe()
    {
        if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0)
            fds_[0] = fds_[1] = -1;
        writeEnd_ = fds_[1];
    }

    static void onSignal(int signo)
    {
        int saved = errno;
        unsigned char byte = static_cast<unsigned char>(signo);
        [[maybe_unused]] auto written = write(writeEnd_, &byte, 1);
        errno = saved;
    }

    void drain()
    {
        unsigned char bytes[64];
        ssize_t n;
        while ((n = read(fds_[0], bytes, sizeof bytes)) > 0) {
            for (ssize_t i = 0; i < n; ++i)
                deliver(bytes[i]);
        }
    }

    void deliver(int signo)
    {
        auto sources = sources_;
        for (auto* source : sources) {
            if (source->signo_ == signo && std::find(sources_.begin(), sources_.end(), source) != sources_.end())
                source->handler_();
        }
    }

    int fds_[2];
    static inline volatile int writeEnd_ = -1;
    std::vector<SignalSource*> sources_;
    std::shared_ptr<RunLoop::Handle> watch_;
};

std::shared_ptr<SignalSource> SignalSource::make(int signo, std::function<void()> handler)
{
    auto source = std::shared_ptr<SignalSource>(new SignalSource(signo, std::move(handler)));
    SignalPipe::instance().add(source.get());
    return source;
}

SignalSource::SignalSource(int signo, std::function<void()> handler) : signo_(signo), handler_(std::move(handler)) {}

SignalSource::~SignalSource()
{
    SignalPipe::instance().remove(this);
}
