#pragma once

#include <optional>
#include <string>
#include <string_view>

// The few URL operations the program needs, with the same rules the transfer
// library applies when it sends the request.
namespace HttpUrl {

// The URL in normalised form when it is an absolute http or https address
// with a host; nothing otherwise.
std::optional<std::string> validated(const std::string& text);

// The URL with "name=value" appended after any query it already has, the
// value percent-encoded (spaces as "+"). Nothing when the URL is not valid
// or the value holds a NUL byte.
std::optional<std::string> appendingQueryItem(const std::string& url, std::string_view name, std::string_view value);

// The decoded value of the first query item with that name; nothing when the
// URL has no query, no such item, or the item has no value.
std::optional<std::string> queryItem(const std::string& url, std::string_view name);

// Decodes "%XX" escapes and "+" as a space; nothing for a malformed escape.
std::optional<std::string> decodeQueryComponent(std::string_view text);

}
