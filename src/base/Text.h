#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Lowers A–Z only, so the result never depends on the process locale and
// multi-byte UTF-8 sequences pass through untouched.
std::string lowercased(std::string_view text);

bool startsWith(std::string_view text, std::string_view prefix);

// FNV-1a, 64 bits: the cursor fingerprint and the cape store's content hash.
std::uint64_t fnv1a64(std::span<const std::uint8_t> bytes);
