#include "platform/http/HttpSession.h"

#include <curl/curl.h>

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

bool configure(Transfer& transfer)
{
    CURL* easy = transfer.easy;
    long timeoutMs = static_cast<long>(std::clamp(transfer.request.timeoutSeconds, 0.001, 86400.0) * 1000);
    return curl_easy_setopt(easy, CURLOPT_URL, transfer.request.url.c_str()) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeoutMs) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collectBody) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_PRIVATE, &transfer) == CURLE_OK;
}

HttpSession::Response failure(std::string error)
{
    return {std::move(error), std::nullopt, std::nullopt};
}

HttpSession::Response responseOf(Transfer& transfer, CURLcode result)
{
    if (transfer.tooLarge)
        return failure("response too large");
    if (result != CURLE_OK)
        return failure(curl_easy_strerror(result));
    long status = 0;
    curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
    HttpSession::Response response;
    if (status > 0)
        response.statusCode = status;
    response.body = std::move(transfer.body);
    return response;
}

}

// The transfer thread drives every request through one multi handle and sleeps
// in its poll until a socket, a timeout or a new request wakes it.
class HttpSession::Engine {
public:
    Engine()
    {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        multi_ = curl_multi_init();
    }

    ~Engine()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        if (thread_.joinable()) {
            curl_multi_wakeup(multi_);
            thread_.join();
        }
        for (auto& transfer : incoming_)
            transfer->completion(failure("cancelled"));
        curl_multi_cleanup(multi_);
        curl_global_cleanup();
    }

    void send(Request request, Completion completion)
    {
        auto transfer = std::make_unique<Transfer>();
        transfer->request = std::move(request);
        transfer->completion = std::move(completion);
        {
            std::lock_guard lock(mutex_);
            if (multi_ && !stopping_) {
                incoming_.push_back(std::move(transfer));
                if (!thread_.joinable())
                    thread_ = std::thread([this] { work(); });
            }
        }
        if (transfer)
            transfer->completion(failure("session unavailable"));
        else
            curl_multi_wakeup(multi_);
    }

private:
    void work()
    {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        pthread_setname_np(pthread_self(), "tarnwick-http");

        std::vector<std::unique_ptr<Transfer>> active;
        while (admit(active)) {
            int running = 0;
            curl_multi_perform(multi_, &running);
            finish(active);
            curl_multi_poll(multi_, nullptr, 0, 60000, nullptr);
        }
        for (auto& transfer : active) {
            curl_multi_remove_handle(multi_, transfer->easy);
            curl_easy_cleanup(transfer->easy);
            transfer->completion(failure("cancelled"));
        }
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
            transfer->easy = curl_easy_init();
            if (!transfer->easy || !configure(*transfer) || curl_multi_add_handle(multi_, transfer->easy) != CURLM_OK) {
                if (transfer->easy)
                    curl_easy_cleanup(transfer->easy);
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
        while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            auto done = std::find_if(active.begin(), active.end(),
                                     [&](const auto& transfer) { return transfer->easy == message->easy_handle; });
            if (done == active.end())
                continue;
            std::unique_ptr<Transfer> transfer = std::move(*done);
            active.erase(done);
            Response response = responseOf(*transfer, message->data.result);
            curl_multi_remove_handle(multi_, transfer->easy);
            curl_easy_cleanup(transfer->easy);
            transfer->completion(std::move(response));
        }
    }

    CURLM* multi_ = nullptr;
    std::mutex mutex_;
    std::deque<std::unique_ptr<Transfer>> incoming_;
    bool stopping_ = false;
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
