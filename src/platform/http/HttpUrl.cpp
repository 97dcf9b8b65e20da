#include "platform/http/HttpUrl.h"

#include "base/Text.h"
#include "platform/http/CurlLibrary.h"

#include <memory>

namespace HttpUrl {

namespace {

// A URL is only ever parsed once the library has been opened for it.
const CurlLibrary& curl()
{
    return *CurlLibrary::load();
}

struct UrlDeleter {
    void operator()(CURLU* url) const { curl().url_cleanup(url); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

struct TextDeleter {
    void operator()(char* text) const { curl().free(text); }
};

std::optional<std::string> part(CURLU* url, CURLUPart which)
{
    char* raw = nullptr;
    if (curl().url_get(url, which, &raw, 0) != CURLUE_OK || !raw)
        return std::nullopt;
    std::unique_ptr<char, TextDeleter> owned(raw);
    return std::string(raw);
}

// A handle holding the URL when it is an absolute http(s) address with a
// host; nothing as well when the library that parses URLs cannot be opened.
// No text is no address: the library is not opened for the usual unset one.
UrlHandle parsed(const std::string& text)
{
    if (text.empty() || !CurlLibrary::load())
        return nullptr;
    UrlHandle url(curl().url());
    if (!url || curl().url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK)
        return nullptr;
    auto scheme = part(url.get(), CURLUPART_SCHEME);
    auto host = part(url.get(), CURLUPART_HOST);
    if (!scheme || (*scheme != "http" && *scheme != "https") || !host || host->empty())
        return nullptr;
    return url;
}

}

std::optional<std::string> validated(const std::string& text)
{
    UrlHandle url = parsed(text);
    if (!url)
        return std::nullopt;
    return part(url.get(), CURLUPART_URL);
}

std::optional<std::string> appendingQueryItem(const std::string& text, std::string_view name, std::string_view value)
{
    UrlHandle url = parsed(text);
    // The library takes C strings: a NUL would silently cut the value short.
    if (!url || value.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::string item = std::string(name) + "=" + std::string(value);
    // The library encodes everything after the first "=", which is exactly the
    // value: the name is ours and needs no escaping.
    if (curl().url_set(url.get(), CURLUPART_QUERY, item.c_str(), CURLU_APPENDQUERY | CURLU_URLENCODE) != CURLUE_OK)
        return std::nullopt;
    return part(url.get(), CURLUPART_URL);
}

std::optional<std::string> queryItem(const std::string& text, std::string_view name)
{
    UrlHandle url = parsed(text);
    if (!url)
        return std::nullopt;
    auto query = part(url.get(), CURLUPART_QUERY);
    if (!query)
        return std::nullopt;
    std::string_view rest = *query;
    while (!rest.empty()) {
        auto amp = rest.find('&');
        std::string_view item = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
        auto equals = item.find('=');
        auto itemName = decodeQueryComponent(item.substr(0, equals));
        if (!itemName || *itemName != name)
            continue;
        if (equals == std::string_view::npos)
            return std::nullopt;
        return decodeQueryComponent(item.substr(equals + 1));
    }
    return std::nullopt;
}

std::optional<std::string> decodeQueryComponent(std::string_view text)
{
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            decoded += ' ';
        } else if (c == '%') {
            if (i + 2 >= text.size())
                return std::nullopt;
            int high = hexDigitValue(text[i + 1]);
            int low = hexDigitValue(text[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            decoded += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            decoded += c;
        }
    }
    return decoded;
}

}
