#include "language/UnicodeText.h"

namespace UnicodeText {

namespace {

constexpr char32_t replacement = 0xFFFD;

struct Decoded {
    char32_t scalar;
    std::size_t length;
};

// Decodes the sequence at the start of text; a malformed one counts as one
// byte, so decoding always moves on.
Decoded decodeFirst(std::string_view text)
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80)
        return {lead, 1};
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || text.size() < length)
        return {replacement, 1};
    char32_t scalar = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return {replacement, 1};
        scalar = (scalar << 6) | (byte(i) & 0x3F);
    }
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    bool surrogate = scalar >= 0xD800 && scalar <= 0xDFFF;
    if (scalar < smallest[length] || scalar > 0x10FFFF || surrogate)
        return {replacement, 1};
    return {scalar, length};
}

bool isWhiteSpaceOrLineBreak(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

}

std::vector<char32_t> scalars(std::string_view text)
{
    std::vector<char32_t> out;
    while (!text.empty()) {
        Decoded decoded = decodeFirst(text);
        out.push_back(decoded.scalar);
        text.remove_prefix(decoded.length);
    }
    return out;
}

std::string trimmed(std::string_view text)
{
    std::size_t begin = 0;
    while (begin < text.size()) {
        Decoded decoded = decodeFirst(text.substr(begin));
        if (!isWhiteSpaceOrLineBreak(decoded.scalar))
            break;
        begin += decoded.length;
    }
    // Scan forward so that trailing multi-byte spaces are found whole.
    std::size_t end = begin;
    for (std::size_t at = begin; at < text.size();) {
        Decoded decoded = decodeFirst(text.substr(at));
        at += decoded.length;
        if (!isWhiteSpaceOrLineBreak(decoded.scalar))
            end = at;
    }
    return std::string(text.substr(begin, end - begin));
}

}
