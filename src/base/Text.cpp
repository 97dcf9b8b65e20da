#include "base/Text.h"

#include <bit>
#include <cstring>

std::string lowercased(std::string_view text)
{
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

std::uint64_t fnv1a64(std::span<const std::uint8_t> bytes)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (std::uint8_t byte : bytes) {
        hash ^= byte;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

namespace {

constexpr std::uint64_t prime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t prime2 = 0xC2B2AE3D27D4EB4Full;

std::uint64_t wordAt(const std::uint8_t* bytes)
{
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

std::uint64_t mixedIn(std::uint64_t lane, std::uint64_t word)
{
    return std::rotl(lane + word * prime2, 31) * prime1;
}

}

std::uint64_t fastHash64(std::span<const std::uint8_t> bytes)
{
    const std::uint8_t* at = bytes.data();
    std::size_t left = bytes.size();
    // Four independent lanes keep the multiplier busy instead of waiting on
    // one chain of products.
    std::uint64_t lanes[4] = {prime1 + prime2, prime2, 0, 0 - prime1};
    for (; left >= 32; at += 32, left -= 32) {
        for (int lane = 0; lane < 4; ++lane)
            lanes[lane] = mixedIn(lanes[lane], wordAt(at + 8 * lane));
    }
    std::uint64_t hash = std::rotl(lanes[0], 1) + std::rotl(lanes[1], 7) + std::rotl(lanes[2], 12) +
                         std::rotl(lanes[3], 18) + bytes.size();
    for (; left >= 8; at += 8, left -= 8)
        hash = std::rotl(hash ^ mixedIn(0, wordAt(at)), 27) * prime1 + prime2;
    for (; left > 0; ++at, --left)
        hash = std::rotl(hash ^ (*at * prime2), 11) * prime1;
    hash ^= hash >> 33;
    hash *= 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 33;
    hash *= 0xC4CEB9FE1A85EC53ull;
    return hash ^ (hash >> 33);
}

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
