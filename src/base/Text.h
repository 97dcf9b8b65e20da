#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Lowers A–Z only, so the result never depends on the process locale and
// multi-byte UTF-8 sequences pass through untouched.
std::string lowercased(std::string_view text);

bool startsWith(std::string_view text, std::string_view prefix);

// 0 to 15 for a hexadecimal digit of either case, -1 for anything else.
int hexDigitValue(char c);

// FNV-1a, 64 bits: the cursor fingerprint and the cape store's content hash.
std::uint64_t fnv1a64(std::span<const std::uint8_t> bytes);

// A 64-bit hash many times faster than FNV-1a on large inputs, for keys that
// live in memory only: its values may change between versions, so it never
// goes into a file or a log line.
std::uint64_t fastHash64(std::span<const std::uint8_t> bytes);
