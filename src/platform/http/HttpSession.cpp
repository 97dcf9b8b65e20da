#include "platform/http/HttpSession.h"

#include "platform/http/CurlLibrary.h"

#include <algorithm>
#include <csignal>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <vector>

namespace {

struct Transfer {
    HttpSession::Request request;
    HttpSession::Completion completion;
    CURL* easy = nullptr;
    std::string body;
    bool tooLarge = false;
};

std::size_t collectBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    std::size_t bytes = size * count;
    if (transfer->body.size() + bytes > HttpSession::maxResponseBytes) {
        transfer->tooLarge = true;
        return 0;
    }
    transfer->body.append(data, bytes);
    return bytes;
}

bool configure(const CurlLibrary& curl, Transfer& transfer)
{
    CURL* easy = transfer.easy;
    auto set = [&](CURLoption option, auto value) { return curl.easy_setopt(easy, option, value) == CURLE_OK; };
    long timeoutMs = static_cast<long>(std::clamp(transfer.request.timeoutSeconds, 0.001, 86400.0) * 1000);
    return set(CURLOPT_URL, transfer.request.url.c_str()) &&
           set(CURLOPT_HTTPGET, 1L) &&
           set(CURLOPT_TIMEOUT_MS, timeoutMs) &&
           set(CURLOPT_NOSIGNAL, 1L) &&
           set(CURLOPT_PROTOCOLS_STR, "http,https") &&
           set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https") &&
           set(CURLOPT_FOLLOWLOCATION, 1L) &&
           set(CURLOPT_MAXREDIRS, 5L) &&
           set(CURLOPT_WRITEFUNCTION, &collectBody) &&
           set(CURLOPT_WRITEDATA, &transfer) &&
           set(CURLOPT_PRIVATE, &transfer);
}

HttpSession::Response failure(std::string error)
{
    return {std::move(error), std::nullopt, std::nullopt};
}

HttpSession::Response responseOf(const CurlLibrary& curl, Transfer& transfer, CURLcode result)
{
    if (transfer.tooLarge)
        return failure("response too large");
    if (result != CURLE_OK)
        return failure(curl.easy_strerror(result));
    long status = 0;
    curl.easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
    HttpSession::Response response;
    if (status > 0)
        response.statusCode = status;
    response.body = std::move(transfer.body);
    return response;
}

}

// The transfer thread drives every request through one multi handle and sleeps
// in its poll until a socket, a timeout or a new request wakes it. It opens
// libcurl when it starts, with the first request.
class HttpSession::Engine {
public:
    ~Engine()
    {
        CURLM* multi = nullptr;
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            multi = multi_;
        }
        if (multi)
            curl_->multi_wakeup(multi);
        if (thread_.joinable())
            thread_.join();
        for (auto& transfer : incoming_)
            transfer->completion(failure("cancelled"));
        if (multi_)
            curl_->multi_cleanup(multi_);
    }

    void send(Request request, Completion completion)
    {
        auto transfer = std::make_unique<Transfer>();
        transfer->request = std::move(request);
        transfer->completion = std::move(completion);
        const CurlLibrary* curl = nullptr;
        CURLM* multi = nullptr;
        std::string unavailable;
        {
            std::lock_guard lock(mutex_);
            unavailable = stopping_ ? "session unavailable" : unavailable_;
            if (unavailable.empty()) {
                incoming_.push_back(std::move(transfer));
                if (!thread_.joinable())
                    thread_ = std::thread([this] { work(); });
                curl = curl_;
                multi = multi_;
            }
        }
        if (transfer)
            transfer->completion(failure(unavailable));
        else if (multi)
            curl->multi_wakeup(multi);
    }

private:
    void work()
    {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        pthread_setname_np(pthread_self(), "tarnwick-http");
        if (!start())
            return;

        std::vector<std::unique_ptr<Transfer>> active;
        while (admit(active)) {
            int running = 0;
            curl_->multi_perform(multi_, &running);
            finish(active);
            curl_->multi_poll(multi_, nullptr, 0, 60000, nullptr);
        }
        for (auto& transfer : active) {
            curl_->multi_remove_handle(multi_, transfer->easy);
            curl_->easy_cleanup(transfer->easy);
            transfer->completion(failure("cancelled"));
        }
    }

    // Opens the library and makes the multi handle; without them every
    // request, waiting or still to come, fails with the reason.
    bool start()
    {
        std::string error;
        const CurlLibrary* curl = CurlLibrary::load(error);
        CURLM* multi = curl ? curl->multi_init() : nullptr;
        if (curl && !multi)
            error = "libcurl could not make a transfer handle";
        std::deque<std::unique_ptr<Transfer>> refused;
        {
            std::lock_guard lock(mutex_);
            curl_ = curl;
            multi_ = multi;
            if (!multi) {
                unavailable_ = error;
                refused.swap(incoming_);
            }
        }
        for (auto& transfer : refused)
            transfer->completion(failure(error));
        return multi != nullptr;
    }

    // Moves new requests into the multi handle; false once the session stops.
    bool admit(std::vector<std::unique_ptr<Transfer>>& active)
    {
        std::deque<std::unique_ptr<Transfer>> arrived;
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return false;
            arrived.swap(incoming_);
        }
        for (auto& transfer : arrived) {
            transfer->easy = curl_->easy_init();
            if (!transfer->easy || !configure(*curl_, *transfer) ||
                curl_->multi_add_handle(multi_, transfer->easy) != CURLM_OK) {
                if (transfer->easy)
                    curl_->easy_cleanup(transfer->easy);
                transfer->completion(failure("request could not be prepared"));
                continue;
            }
            active.push_back(std::move(transfer));
        }
        return true;
    }

    void finish(std::vector<std::unique_ptr<Transfer>>& active)
    {
        int left = 0;
        while (CURLMsg* message = curl_->multi_info_read(multi_, &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            auto done = std::find_if(active.begin(), active.end(),
                                     [&](const auto& transfer) { return transfer->easy == message->easy_handle; });
            if (done == active.end())
                continue;
            std::unique_ptr<Transfer> transfer = std::move(*done);
            active.erase(done);
            Response response = responseOf(*curl_, *transfer, message->data.result);
            curl_->multi_remove_handle(multi_, transfer->easy);
            curl_->easy_cleanup(transfer->easy);
            transfer->completion(std::move(response));
        }
    }

    // Set once by the transfer thread, under the lock.
    const CurlLibrary* curl_ = nullptr;
    CURLM* multi_ = nullptr;
    std::mutex mutex_;
    std::deque<std::unique_ptr<Transfer>> incoming_;
    bool stopping_ = false;
    // Why no request can be sent, once the library failed to open.
    std::string unavailable_;
    std::thread thread_;
};

HttpSession::HttpSession() : engine_(std::make_unique<Engine>()) {}

HttpSession::~HttpSession() = default;

void HttpSession::send(Request request, Completion completion)
{
    engine_->send(std::move(request), std::move(completion));
}

HttpSession& HttpSession::shared()
{
    static HttpSession session;
    return session;
}
