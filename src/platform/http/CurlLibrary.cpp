#include "platform/http/CurlLibrary.h"

#include "base/AppLog.h"

#include <dlfcn.h>

#include <mutex>
#include <optional>

namespace {

template <typename Function>
bool resolve(void* library, const char* name, Function& function, std::string& error)
{
    function = reinterpret_cast<Function>(dlsym(library, name));
    if (!function)
        error = std::string("libcurl lacks ") + name;
    return function != nullptr;
}

// The soname of the libcurl ABI the headers describe.
std::optional<CurlLibrary> opened(std::string& error)
{
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* reason = dlerror();
        error = std::string("libcurl unavailable: ") + (reason ? reason : "libcurl.so.4 not found");
        return std::nullopt;
    }
    CurlLibrary curl{};
    decltype(&curl_global_init) globalInit = nullptr;
    bool complete = resolve(library, "curl_global_init", globalInit, error) &&
                    resolve(library, "curl_easy_init", curl.easy_init, error) &&
                    resolve(library, "curl_easy_cleanup", curl.easy_cleanup, error) &&
                    resolve(library, "curl_easy_setopt", curl.easy_setopt, error) &&
                    resolve(library, "curl_easy_getinfo", curl.easy_getinfo, error) &&
                    resolve(library, "curl_easy_strerror", curl.easy_strerror, error) &&
                    resolve(library, "curl_multi_init", curl.multi_init, error) &&
                    resolve(library, "curl_multi_cleanup", curl.multi_cleanup, error) &&
                    resolve(library, "curl_multi_add_handle", curl.multi_add_handle, error) &&
                    resolve(library, "curl_multi_remove_handle", curl.multi_remove_handle, error) &&
                    resolve(library, "curl_multi_perform", curl.multi_perform, error) &&
                    resolve(library, "curl_multi_poll", curl.multi_poll, error) &&
                    resolve(library, "curl_multi_wakeup", curl.multi_wakeup, error) &&
                    resolve(library, "curl_multi_info_read", curl.multi_info_read, error) &&
                    resolve(library, "curl_url", curl.url, error) &&
                    resolve(library, "curl_url_cleanup", curl.url_cleanup, error) &&
                    resolve(library, "curl_url_set", curl.url_set, error) &&
                    resolve(library, "curl_url_get", curl.url_get, error) &&
                    resolve(library, "curl_free", curl.free, error);
    if (!complete) {
        dlclose(library);
        return std::nullopt;
    }
    if (globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        error = "libcurl could not be initialised";
        return std::nullopt;
    }
    return curl;
}

}

const CurlLibrary* CurlLibrary::load(std::string& error)
{
    static std::mutex mutex;
    static std::optional<CurlLibrary> library;
    static std::string failure;
    std::lock_guard lock(mutex);
    if (!library && failure.empty()) {
        library = opened(failure);
        if (!library)
            AppLog::error("HTTP unavailable: " + failure);
    }
    error = failure;
    return library ? &*library : nullptr;
}

const CurlLibrary* CurlLibrary::load()
{
    std::string error;
    return load(error);
}
