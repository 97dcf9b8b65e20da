#include "providers/theme/ScalableCursor.h"

#include "providers/theme/PngDataUri.h"
#include "providers/x11/CursorFrames.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace ScalableCursor {

namespace {

std::error_code lastError()
{
    return std::error_code(errno ? errno : EIO, std::generic_category());
}

std::error_code writeText(const fs::path& file, const std::string& text)
{
    errno = 0;
    std::ofstream out(file, std::ios::binary);
    return out << text << std::flush ? std::error_code() : lastError();
}

// The frame's bitmap, width × height pixels, shown as a picture of
// width·scale × height·scale units.
std::optional<std::string> svg(const CursorFrames& frames, std::size_t frame, double scale)
{
    std::optional<std::string> data = PngDataUri::fromPixels(frames.width, frames.height, frames.frames[frame]);
    if (!data)
        return std::nullopt;
    std::ostringstream text;
    text << "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\""
         << frames.width * scale << "\" height=\"" << frames.height * scale << "\" viewBox=\"0 0 " << frames.width
         << " " << frames.height << "\">\n<image width=\"" << frames.width << "\" height=\"" << frames.height
         << "\" image-rendering=\"optimizeQuality\" xlink:href=\"" << *data << "\"/>\n</svg>\n";
    return text.str();
}

void linkOtherNames(const fs::path& scalableFolder, CursorNameMap::XNames xNames)
{
    // A name whose link cannot be made falls back to the inherited theme.
    for (std::size_t i = 1; i < xNames.size(); ++i) {
        std::error_code ignored;
        fs::remove(scalableFolder / xNames[i], ignored);
        fs::create_directory_symlink(xNames.front(), scalableFolder / xNames[i], ignored);
    }
}

// Where the shell looks for themes in this layout: the XDG data folders.
std::vector<fs::path> iconFolders()
{
    const char* home = std::getenv("HOME");
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* dataFolders = std::getenv("XDG_DATA_DIRS");
    std::vector<fs::path> folders{
        fs::path(dataHome && *dataHome ? dataHome : std::string(home ? home : "") + "/.local/share") / "icons"};
    std::istringstream list(dataFolders && *dataFolders ? dataFolders : "/usr/local/share:/usr/share");
    for (std::string folder; std::getline(list, folder, ':');)
        if (!folder.empty())
            folders.push_back(fs::path(folder) / "icons");
    return folders;
}

}

void inherit(const fs::path& scalableFolder, const std::string& theme)
{
    if (theme.empty())
        return;
    std::error_code error;
    for (const auto& icons : iconFolders()) {
        fs::path inherited = icons / theme / folderName;
        if (!fs::is_directory(inherited, error))
            continue;
        for (const auto& entry : fs::directory_iterator(inherited, error)) {
            std::error_code ignored;
            fs::path own = scalableFolder / entry.path().filename();
            if (!fs::exists(fs::symlink_status(own, ignored)))
                fs::create_directory_symlink(entry.path(), own, ignored);
        }
        return;
    }
}

std::error_code write(const fs::path& scalableFolder, CursorNameMap::XNames xNames, const CursorFrames& frames,
                      int framesSize, int nominalSize)
{
    if (xNames.empty() || framesSize <= 0)
        return {};
    double scale = double(nominalSize) / framesSize;
    std::string name = xNames.front();
    fs::path folder = scalableFolder / name;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        return error;
    nlohmann::json metadata = nlohmann::json::array();
    for (std::size_t i = 0; i < frames.frames.size(); ++i) {
        std::string file = frames.frames.size() == 1 ? name + ".svg" : name + "-" + std::to_string(i + 1) + ".svg";
        std::optional<std::string> text = svg(frames, i, scale);
        if (!text)
            return std::make_error_code(std::errc::not_enough_memory);
        if ((error = writeText(folder / file, *text)))
            return error;
        nlohmann::json entry = {{"filename", file},
                                {"hotspot_x", frames.xHot * scale},
                                {"hotspot_y", frames.yHot * scale},
                                {"nominal_size", nominalSize}};
        if (frames.frames.size() > 1)
            entry["delay"] = frames.delayMilliseconds;
        metadata.push_back(entry);
    }
    if ((error = writeText(folder / "metadata.json", metadata.dump(1) + "\n")))
        return error;
    linkOtherNames(scalableFolder, xNames);
    return {};
}

}
