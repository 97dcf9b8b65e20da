#include "providers/x11/CursorTheme.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

// Inheritance chains deeper than this are loops or mistakes.
constexpr int deepestInheritance = 8;

std::vector<std::string> split(const std::string& text, const char* separators)
{
    std::vector<std::string> pieces;
    std::size_t start = text.find_first_not_of(separators);
    while (start != std::string::npos) {
        std::size_t end = text.find_first_of(separators, start);
        pieces.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = text.find_first_not_of(separators, end);
    }
    return pieces;
}

std::vector<std::string> searchPath()
{
    const char* path = XcursorLibraryPath();
    std::vector<std::string> folders = split(path ? path : "", ":");
    const char* home = std::getenv("HOME");
    for (auto& folder : folders) {
        if (folder.starts_with("~"))
            folder = std::string(home ? home : "") + folder.substr(1);
    }
    return folders;
}

std::vector<std::string> inheritedThemes(const std::string& theme)
{
    for (const auto& folder : searchPath()) {
        std::ifstream index(folder + "/" + theme + "/index.theme");
        if (!index)
            continue;
        std::string line;
        while (std::getline(index, line)) {
            if (line.starts_with("Inherits")) {
                auto equals = line.find('=');
                return equals == std::string::npos ? std::vector<std::string>{}
                                                   : split(line.substr(equals + 1), ",; \t\r");
            }
        }
        return {};
    }
    return {};
}

CGImageRef createImage(const XcursorImage& image)
{
    return CGImageCreate(image.width, image.height, 8, 32, static_cast<std::size_t>(image.width) * 4,
                         kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host, image.pixels,
                         static_cast<std::size_t>(image.width) * image.height * sizeof(XcursorPixel));
}

}

CursorTheme::CursorTheme(Display* display)
    : name_(XcursorGetTheme(display) ? XcursorGetTheme(display) : "default"), size_(XcursorGetDefaultSize(display))
{
}

std::optional<std::string> CursorTheme::findFile(const std::string& theme, const std::string& xName, int depth) const
{
    if (depth > deepestInheritance || theme.empty() || xName.find('/') != std::string::npos)
        return std::nullopt;
    for (const auto& folder : searchPath()) {
        std::string file = folder + "/" + theme + "/cursors/" + xName;
        std::error_code error;
        if (std::filesystem::is_regular_file(file, error))
            return file;
    }
    for (const auto& parent : inheritedThemes(theme)) {
        if (auto file = findFile(parent, xName, depth + 1))
            return file;
    }
    return std::nullopt;
}

std::unique_ptr<XcursorImages, decltype(&XcursorImagesDestroy)> CursorTheme::load(const std::string& xName) const
{
    auto file = findFile(name_, xName, 0);
    if (!file && name_ != "default")
        file = findFile("default", xName, 0);
    XcursorImages* images = file ? XcursorFilenameLoadAllImages(file->c_str()) : nullptr;
    // A theme laid out in some way this search does not know still gives its
    // images at the user's size through libXcursor itself.
    if (!images)
        images = XcursorLibraryLoadImages(xName.c_str(), name_.c_str(), size_);
    return {images, XcursorImagesDestroy};
}

const XcursorImages* CursorTheme::images(const std::string& xName)
{
    auto found = cache_.find(xName);
    if (found == cache_.end())
        found = cache_.emplace(xName, load(xName)).first;
    const XcursorImages* images = found->second.get();
    return images && images->nimage > 0 ? images : nullptr;
}

std::optional<CursorFrames> CursorTheme::frames(CursorNameMap::XNames xNames)
{
    for (const char* xName : xNames) {
        if (const XcursorImages* images = this->images(xName))
            return CursorFrames::fromTheme(*images, size_);
    }
    return std::nullopt;
}

std::optional<CursorRecord> CursorTheme::record(CursorNameMap::XNames xNames)
{
    for (const char* xName : xNames) {
        const XcursorImages* images = this->images(xName);
        if (!images)
            continue;
        auto shown = CursorFrames::fromTheme(*images, size_);
        if (!shown)
            return std::nullopt;
        // Smaller nominal sizes first, each with its frames in order.
        std::vector<const XcursorImage*> ordered(images->images, images->images + images->nimage);
        std::stable_sort(ordered.begin(), ordered.end(),
                         [](const XcursorImage* a, const XcursorImage* b) { return a->size < b->size; });
        std::vector<CFRef<CGImageRef>> owned;
        std::vector<CFTypeRef> values;
        for (const XcursorImage* image : ordered) {
            owned.push_back(CFRef<CGImageRef>::adopt(createImage(*image)));
            if (owned.back())
                values.push_back(owned.back().get());
        }
        CursorRecord record;
        record.size = {static_cast<CGFloat>(shown->width), static_cast<CGFloat>(shown->height)};
        record.hotSpot = {static_cast<CGFloat>(shown->xHot), static_cast<CGFloat>(shown->yHot)};
        record.frameCount = shown->frames.size();
        record.frameDuration = shown->delayMilliseconds / 1000.0;
        record.images = CFRef<CFArrayRef>::adopt(CFArrayCreate(values.data(), static_cast<CFIndex>(values.size())));
        if (!record.images)
            return std::nullopt;
        return record;
    }
    return std::nullopt;
}
