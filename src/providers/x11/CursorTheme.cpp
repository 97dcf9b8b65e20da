#include "providers/x11/CursorTheme.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// The frames of one nominal size stacked top to bottom, as one image.
CFRef<CGImageRef> createStrip(const std::vector<const XcursorImage*>& frames)
{
    std::size_t width = frames.front()->width, height = frames.front()->height;
    std::vector<XcursorPixel> pixels;
    pixels.reserve(width * height * frames.size());
    for (const XcursorImage* frame : frames)
        pixels.insert(pixels.end(), frame->pixels, frame->pixels + width * height);
    return CFRef<CGImageRef>::adopt(CGImageCreate(width, height * frames.size(), 8, 32, width * 4,
                                                  kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                  pixels.data(), pixels.size() * sizeof(XcursorPixel)));
}

}

CursorTheme::CursorTheme(Display* display)
    : name_(XcursorGetTheme(display) ? XcursorGetTheme(display) : "default"), size_(XcursorGetDefaultSize(display))
{
}

CursorTheme::CursorTheme(std::string name, int size) : name_(std::move(name)), size_(size) {}

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

CursorTheme::Loaded CursorTheme::load(const std::string& xName) const
{
    Loaded loaded;
    auto file = findFile(name_, xName, 0);
    loaded.fromUserTheme = file.has_value();
    if (!file && name_ != "default")
        file = findFile("default", xName, 0);
    XcursorImages* images = file ? XcursorFilenameLoadAllImages(file->c_str()) : nullptr;
    // A theme laid out in some way this search does not know still gives its
    // images at the user's size through libXcursor itself.
    if (!images)
        images = XcursorLibraryLoadImages(xName.c_str(), name_.c_str(), size_);
    if (images && images->nimage > 0)
        loaded.images.reset(images);
    else if (images)
        XcursorImagesDestroy(images);
    return loaded;
}

const CursorTheme::Loaded& CursorTheme::loaded(const std::string& xName)
{
    auto found = cache_.find(xName);
    if (found == cache_.end())
        found = cache_.emplace(xName, load(xName)).first;
    return found->second;
}

const XcursorImages* CursorTheme::images(const std::string& xName)
{
    return loaded(xName).images.get();
}

const XcursorImages* CursorTheme::preferred(CursorNameMap::XNames xNames)
{
    for (const char* xName : xNames) {
        const Loaded& candidate = loaded(xName);
        if (candidate.images && candidate.fromUserTheme)
            return candidate.images.get();
    }
    for (const char* xName : xNames) {
        if (const XcursorImages* images = this->images(xName))
            return images;
    }
    return nullptr;
}

std::optional<CursorFrames> CursorTheme::frames(CursorNameMap::XNames xNames)
{
    const XcursorImages* images = preferred(xNames);
    return images ? CursorFrames::fromTheme(*images, size_) : std::nullopt;
}

std::optional<CursorRecord> CursorTheme::record(CursorNameMap::XNames xNames)
{
    if (const XcursorImages* images = preferred(xNames)) {
        auto shown = CursorFrames::fromTheme(*images, size_);
        if (!shown)
            return std::nullopt;
        // One image per nominal size, smaller sizes first; frames of another
        // pixel size than the first of their size are not part of it.
        std::map<XcursorDim, std::vector<const XcursorImage*>> bySize;
        for (int i = 0; i < images->nimage; ++i) {
            const XcursorImage* image = images->images[i];
            auto& frames = bySize[image->size];
            if (frames.empty() || (image->width == frames.front()->width && image->height == frames.front()->height))
                frames.push_back(image);
        }
        std::vector<CFRef<CGImageRef>> owned;
        std::vector<CFTypeRef> values;
        for (const auto& [size, frames] : bySize) {
            owned.push_back(createStrip(frames));
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
