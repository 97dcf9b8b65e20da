#include "platform/desktopsettings/CursorThemeBackup.h"

#include "platform/files/UserDirectories.h"
#include "platform/prefs/PlistLibrary.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {

// Far above any real theme name; anything larger is not a backup.
constexpr std::uintmax_t largestBackup = 64 * 1024;

bool writeAll(int fd, const char* bytes, std::size_t length)
{
    while (length > 0) {
        ssize_t written = ::write(fd, bytes, length);
        if (written <= 0)
            return false;
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

}

std::string CursorThemeBackup::defaultPath()
{
    return UserDirectories::applicationSupport() + "/Tarnwick/cursor_theme_backup.plist";
}

bool CursorThemeBackup::exists() const
{
    std::error_code ignored;
    return std::filesystem::exists(path_, ignored);
}

std::optional<CursorThemeBackup::Themes> CursorThemeBackup::read() const
{
    std::error_code error;
    auto length = std::filesystem::file_size(path_, error);
    if (error || length == 0 || length > largestBackup)
        return std::nullopt;
    std::ifstream in(path_, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    plist_t root = PlistLibrary::fromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()));
    if (!root)
        return std::nullopt;
    std::optional<Themes> themes;
    if (plist_get_node_type(root) == PLIST_DICT) {
        themes.emplace();
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(root, &iterator);
        char* key = nullptr;
        plist_t node = nullptr;
        while ((plist_dict_next_item(root, iterator, &key, &node), key)) {
            char* value = nullptr;
            if (plist_get_node_type(node) == PLIST_STRING)
                plist_get_string_val(node, &value);
            if (value && value[0])
                (*themes)[key] = value;
            std::free(value);
            std::free(key);
            key = nullptr;
        }
        std::free(iterator);
    }
    plist_free(root);
    return themes;
}

bool CursorThemeBackup::write(const Themes& themes) const
{
    plist_t root = plist_new_dict();
    for (const auto& [key, theme] : themes)
        plist_dict_set_item(root, key.c_str(), plist_new_string(theme.c_str()));
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    plist_free(root);
    if (!bytes)
        return false;
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ignored);
    // Written beside and renamed, so a kill never leaves half a backup.
    std::string temporary = path_ + ".tmp";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool ok = fd >= 0 && writeAll(fd, bytes, length) && fsync(fd) == 0;
    if (fd >= 0)
        close(fd);
    PlistLibrary::freeSerialized(bytes);
    ok = ok && std::rename(temporary.c_str(), path_.c_str()) == 0;
    if (!ok)
        unlink(temporary.c_str());
    return ok;
}

void CursorThemeBackup::remove() const
{
    unlink(path_.c_str());
}
