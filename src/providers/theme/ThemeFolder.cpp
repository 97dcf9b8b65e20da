#include "providers/theme/ThemeFolder.h"

#include "providers/theme/ScalableCursor.h"
#include "providers/x11/CursorFrames.h"
#include "providers/x11/CursorNameMap.h"

#include <X11/Xcursor/Xcursor.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string_view>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t fnvOffset = 14695981039346656037ull;
constexpr std::uint64_t fnvPrime = 1099511628211ull;
// Xcursor images are drawn for a nominal size; the program's points are
// pixels at 24.
constexpr double pointsNominalSize = 24.0;
// Xcursor files and the scalable layout.
constexpr int layouts = 2;

void mix(std::uint64_t& hash, const void* data, std::size_t length)
{
    auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < length; ++i)
        hash = (hash ^ bytes[i]) * fnvPrime;
}

template <typename Value>
void mixValue(std::uint64_t& hash, const Value& value)
{
    mix(hash, &value, sizeof value);
}

std::string hex(std::uint64_t value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

using ImagesPointer = std::unique_ptr<XcursorImages, decltype(&XcursorImagesDestroy)>;

// The frames of each nominal size the record can be drawn at.
using SizedFrames = std::vector<std::pair<int, CursorFrames>>;

SizedFrames framesAtSizes(const CursorRecord& record, const std::vector<int>& nominalSizes)
{
    SizedFrames sized;
    for (int nominal : nominalSizes)
        if (auto frames = CursorFrames::fromRecord(record, nominal / pointsNominalSize))
            sized.emplace_back(nominal, std::move(*frames));
    return sized;
}

// Every frame at every nominal size, as libXcursor stores a cursor file.
ImagesPointer xcursorImages(const SizedFrames& sized)
{
    std::size_t count = 0;
    for (const auto& [nominal, frames] : sized)
        count += frames.frames.size();
    ImagesPointer images(count ? XcursorImagesCreate(static_cast<int>(count)) : nullptr, XcursorImagesDestroy);
    if (!images)
        return images;
    for (const auto& [nominal, frames] : sized) {
        for (const auto& pixels : frames.frames) {
            XcursorImage* image = XcursorImageCreate(frames.width, frames.height);
            if (!image)
                return ImagesPointer(nullptr, XcursorImagesDestroy);
            image->size = static_cast<XcursorDim>(nominal);
            image->xhot = static_cast<XcursorDim>(frames.xHot);
            image->yhot = static_cast<XcursorDim>(frames.yHot);
            image->delay = frames.delayMilliseconds;
            std::memcpy(image->pixels, pixels.data(), pixels.size() * sizeof(XcursorPixel));
            images->images[images->nimage++] = image;
        }
    }
    return images;
}

std::error_code lastError()
{
    return std::error_code(errno ? errno : EIO, std::generic_category());
}

// A cursor that cannot be made into images is left to the inherited theme;
// one that cannot be stored stops the folder. Both layouts are written, each
// for the compositors that read only it.
std::error_code writeCursor(const fs::path& folder, CursorNameMap::XNames xNames, const CursorRecord& record,
                            const std::vector<int>& nominalSizes)
{
    SizedFrames sized = framesAtSizes(record, nominalSizes);
    ImagesPointer images = xcursorImages(sized);
    if (!images)
        return {};
    std::error_code ignored;
    fs::path cursors = folder / "cursors";
    fs::path file = cursors / xNames.front();
    // Another cursor may have made this name a link to itself.
    fs::remove(file, ignored);
    errno = 0;
    if (!XcursorFilenameSaveImages(file.c_str(), images.get()))
        return lastError();
    // A name whose link cannot be made falls back to the inherited theme.
    for (std::size_t i = 1; i < xNames.size(); ++i) {
        fs::remove(cursors / xNames[i], ignored);
        fs::create_symlink(xNames.front(), cursors / xNames[i], ignored);
    }
    const auto& [largest, frames] =
        *std::max_element(sized.begin(), sized.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return ScalableCursor::write(folder / ScalableCursor::folderName, xNames, frames, largest, nominalSizes.front());
}

bool isLeftover(const std::string& name)
{
    std::size_t mark = name.rfind(".new-");
    if (mark == std::string::npos)
        mark = name.rfind(".old-");
    if (!name.starts_with(std::string(".") + ThemeFolder::namePrefix) || mark == std::string::npos)
        return false;
    // A folder of a run still writing stays.
    pid_t writer = static_cast<pid_t>(std::atol(name.c_str() + mark + 5));
    return writer > 0 && kill(writer, 0) != 0 && errno == ESRCH;
}

}

ThemeFolder::ThemeFolder(std::string iconsFolder, std::string name)
    : iconsFolder_(std::move(iconsFolder)), name_(std::move(name))
{
}

std::uint64_t ThemeFolder::digest(const std::string& inherits, const std::map<std::string, CursorRecord>& cursors,
                                  const std::vector<int>& nominalSizes)
{
    std::uint64_t hash = fnvOffset;
    // A folder written before the scalable layout was added is written again.
    mixValue(hash, layouts);
    mix(hash, inherits.data(), inherits.size() + 1);
    mix(hash, nominalSizes.data(), nominalSizes.size() * sizeof(int));
    for (const auto& [name, record] : cursors) {
        mix(hash, name.data(), name.size() + 1);
        mixValue(hash, record.size);
        mixValue(hash, record.hotSpot);
        mixValue(hash, record.frameCount);
        mixValue(hash, record.frameDuration);
        for (CFIndex i = 0; i < CFArrayGetCount(record.images.get()); ++i) {
            auto image = static_cast<CGImageRef>(CFArrayGetValueAtIndex(record.images.get(), i));
            if (CFGetTypeID(image) != CGImageGetTypeID())
                continue;
            mixValue(hash, CGImageGetWidth(image));
            // The pixels are most of the work: hashed a word at a time.
            auto pixels = reinterpret_cast<const char*>(CGImageGetBytePointer(image));
            mixValue(hash, std::hash<std::string_view>{}(std::string_view(pixels, CGImageGetBytesLength(image))));
        }
    }
    return hash;
}

bool ThemeFolder::holds(std::uint64_t digest) const
{
    std::ifstream stamp(path() + "/" + stampFile);
    std::string text;
    return stamp >> text && text == hex(digest);
}

bool ThemeFolder::complete() const
{
    std::error_code ignored;
    return fs::exists(path() + "/" + stampFile, ignored);
}

std::error_code ThemeFolder::write(const std::string& inherits, const std::map<std::string, CursorRecord>& cursors,
                                   const std::vector<int>& nominalSizes, std::uint64_t digest) const
{
    std::error_code ignored;
    std::string building = iconsFolder_ + "/." + name_ + ".new-" + std::to_string(getpid());
    std::string retired = iconsFolder_ + "/." + name_ + ".old-" + std::to_string(getpid());
    fs::remove_all(building, ignored);
    std::error_code error = writeInto(building, inherits, cursors, nominalSizes);
    if (!error) {
        // Last: a folder is complete exactly when its stamp is there.
        errno = 0;
        std::ofstream stamp(building + "/" + stampFile);
        if (!(stamp << hex(digest) << "\n" << std::flush))
            error = lastError();
    }
    if (error) {
        fs::remove_all(building, ignored);
        return error;
    }
    fs::remove_all(retired, ignored);
    fs::rename(path(), retired, ignored);
    fs::rename(building, path(), error);
    if (error)
        fs::rename(retired, path(), ignored);
    fs::remove_all(retired, ignored);
    fs::remove_all(building, ignored);
    return error;
}

std::error_code ThemeFolder::link() const
{
    fs::path link = fs::path(linksFolder()) / name_;
    std::error_code error;
    fs::file_status status = fs::symlink_status(link, error);
    if (fs::is_symlink(status) && fs::read_symlink(link, error) == fs::path(path()))
        return {};
    // A user's own entry of the name stays; a link of ours into another
    // icons folder is replaced.
    if (fs::exists(status) && !fs::is_symlink(status))
        return std::make_error_code(std::errc::file_exists);
    fs::remove(link, error);
    fs::create_directories(linksFolder(), error);
    if (!error)
        fs::create_directory_symlink(path(), link, error);
    return error;
}

void ThemeFolder::unlinkAll(const std::string& iconsFolder)
{
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(linksFolder(), error)) {
        std::error_code ignored;
        fs::path target = fs::read_symlink(entry.path(), ignored);
        if (entry.path().filename().string().starts_with(namePrefix) && target.parent_path() == iconsFolder)
            fs::remove(entry.path(), ignored);
    }
}

void ThemeFolder::removeLeftovers(const std::string& iconsFolder)
{
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(iconsFolder, error)) {
        std::error_code ignored;
        if (isLeftover(entry.path().filename().string()) && !entry.is_symlink(ignored))
            fs::remove_all(entry.path(), ignored);
    }
}

std::error_code ThemeFolder::writeInto(const std::string& folder, const std::string& inherits,
                                       const std::map<std::string, CursorRecord>& cursors,
                                       const std::vector<int>& nominalSizes) const
{
    std::error_code error;
    fs::create_directories(fs::path(folder) / "cursors", error);
    if (error)
        return error;
    errno = 0;
    std::ofstream index(folder + "/index.theme");
    index << "[Icon Theme]\nName=" << name_ << "\nComment=Cursors with the keyboard language badge, by Tarnwick\n"
          << "Inherits=" << inherits << "\n" << std::flush;
    if (!index)
        return lastError();
    // Several names stand for the same X cursor (the arrow has a dozen); the
    // first of them in name order is written, named cursors before numbered.
    std::set<std::string> written;
    for (const auto& [name, record] : cursors) {
        CursorNameMap::XNames xNames = CursorNameMap::xNames(name);
        if (xNames.empty() || written.contains(xNames.front()))
            continue;
        if ((error = writeCursor(folder, xNames, record, nominalSizes)))
            return error;
        written.insert(xNames.front());
    }
    if (written.empty())
        return std::make_error_code(std::errc::invalid_argument);
    ScalableCursor::inherit(fs::path(folder) / ScalableCursor::folderName, inherits);
    return {};
}

std::string ThemeFolder::linksFolder()
{
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.icons";
}

std::vector<std::string> ThemeFolder::ownFolders(const std::string& iconsFolder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(iconsFolder, error)) {
        std::string name = entry.path().filename().string();
        std::error_code ignored;
        if (name.starts_with(namePrefix) && entry.is_directory(ignored) && !entry.is_symlink(ignored) &&
            fs::exists(entry.path() / stampFile, ignored))
            names.push_back(name);
    }
    return names;
}

void ThemeFolder::removeFolder(const std::string& path)
{
    std::error_code ignored;
    fs::path link = fs::path(linksFolder()) / fs::path(path).filename();
    if (fs::is_symlink(link, ignored) && fs::read_symlink(link, ignored) == path)
        fs::remove(link, ignored);
    fs::remove_all(path, ignored);
}
