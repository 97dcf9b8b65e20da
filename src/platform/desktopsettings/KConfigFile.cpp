#include "platform/desktopsettings/KConfigFile.h"

#include "base/Text.h"
#include "platform/files/AtomicFile.h"

#include <filesystem>
#include <sys/stat.h>

namespace {

constexpr const char* hexDigits = "0123456789abcdef";

std::string trimmed(const std::string& text)
{
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool isGroupHeader(const std::string& line)
{
    return trimmed(line).starts_with('[');
}

// "key=value" of exactly this key: a localised or flagged one ("key[de]")
// is another entry.
std::optional<std::string> valueOf(const std::string& line, const std::string& key)
{
    std::size_t equals = line.find('=');
    if (equals == std::string::npos || trimmed(line.substr(0, equals)) != key)
        return std::nullopt;
    return trimmed(line.substr(equals + 1));
}

}

std::vector<std::string> KConfigFile::lines(const std::string& text)
{
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

// KConfig reads the last entry of a key, wherever its group appears again.
KConfigFile::Entry KConfigFile::find(const std::vector<std::string>& lines, const std::string& group,
                                     const std::string& key) const
{
    Entry entry;
    bool inGroup = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (isGroupHeader(lines[i])) {
            inGroup = trimmed(lines[i]) == "[" + group + "]";
            if (inGroup)
                entry.groupEnd = i;
            continue;
        }
        if (!inGroup)
            continue;
        // A comment before the next group belongs to that group.
        std::string text = trimmed(lines[i]);
        if (text.empty() || text.starts_with('#'))
            continue;
        entry.groupEnd = i;
        if (valueOf(text, key))
            entry.line = i;
    }
    return entry;
}

std::optional<std::string> KConfigFile::read(const std::string& group, const std::string& key) const
{
    std::vector<std::string> all = lines(AtomicFile::read(path_).value_or(""));
    Entry entry = find(all, group, key);
    if (!entry.line)
        return std::nullopt;
    return unescaped(*valueOf(all[*entry.line], key));
}

bool KConfigFile::write(const std::string& group, const std::string& key,
                        const std::optional<std::string>& value) const
{
    // A file kept elsewhere and linked here stays where it is kept.
    std::filesystem::path target = path_;
    std::error_code missing, error;
    if (std::filesystem::is_symlink(target, missing))
        target = std::filesystem::canonical(target, error);
    if (error)
        return false;
    std::optional<std::string> text = AtomicFile::read(target);
    std::vector<std::string> all = lines(text.value_or(""));
    Entry entry = find(all, group, key);
    std::string line = key + "=" + escaped(value.value_or(""));
    if (entry.line && value)
        all[*entry.line] = line;
    else if (entry.line)
        all.erase(all.begin() + static_cast<std::ptrdiff_t>(*entry.line));
    else if (!value)
        return true;
    else if (entry.groupEnd)
        all.insert(all.begin() + static_cast<std::ptrdiff_t>(*entry.groupEnd) + 1, line);
    else {
        if (!all.empty() && !trimmed(all.back()).empty())
            all.emplace_back();
        all.push_back("[" + group + "]");
        all.push_back(line);
    }
    std::string bytes;
    for (const std::string& each : all)
        bytes += each + "\n";
    struct stat status{};
    mode_t mode = text && stat(target.c_str(), &status) == 0 ? status.st_mode & 07777 : 0644;
    return AtomicFile::write(target, bytes, mode);
}

std::string KConfigFile::escaped(const std::string& value)
{
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(value[i]);
        bool end = i == 0 || i + 1 == value.size();
        if (c == ' ' && end)
            text += "\\s";
        else if (c == '\\')
            text += "\\\\";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\t')
            text += "\\t";
        else if (c == '\r')
            text += "\\r";
        else if (c < 0x20 || c == 0x7f)
            text += std::string("\\x") + hexDigits[c >> 4] + hexDigits[c & 0xf];
        else
            text += static_cast<char>(c);
    }
    return text;
}

std::string KConfigFile::unescaped(const std::string& text)
{
    std::string value;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] != '\\' || next == '\0') {
            value += text[i];
            continue;
        }
        ++i;
        switch (next) {
        case 's': value += ' '; break;
        case 't': value += '\t'; break;
        case 'n': value += '\n'; break;
        case 'r': value += '\r'; break;
        case '\\': value += '\\'; break;
        case 'x':
            if (i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 && hexDigitValue(text[i + 2]) >= 0) {
                value += static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
                i += 2;
                break;
            }
            [[fallthrough]];
        default: value += std::string("\\") + next;
        }
    }
    return value;
}
