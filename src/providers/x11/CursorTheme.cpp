#include "providers/x11/CursorTheme.h"

#include "platform/stockcursors/ThemeCursorFrame.h"

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

// The frames of one nominal size stacked top to bottom, as one image, each
// padded into a square of side pixels.
CFRef<CGImageRef> createStrip(const std::vector<const XcursorImage*>& frames, int side)
{
    std::vector<XcursorPixel> pixels;
    pixels.reserve(static_cast<std::size_t>(side) * side * frames.size());
    for (const XcursorImage* frame : frames) {
        std::vector<std::uint32_t> square = ThemeCursorFrame::padded(
            frame->pixels, static_cast<int>(frame->width), static_cast<int>(frame->height), side);
        pixels.insert(pixels.end(), square.begin(), square.end());
    }
    auto width = static_cast<std::size_t>(side);
    return CFRef<CGImageRef>::adopt(CGImageCreate(width, width * frames.size(), 8, 32, width * 4,
                                                  kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                  pixels.data(), pixels.size() * sizeof(XcursorPixel)));
}

// The nominal size libXcursor shows for the size: the nearest one.
int nearestNominal(const XcursorImages& images, int size)
{
    int nominal = 0;
    for (int i = 0; i < images.nimage; ++i) {
        auto candidate = static_cast<int>(images.images[i]->size);
        if (nominal == 0 || std::abs(candidate - size) < std::abs(nominal - size))
            nominal = candidate;
    }
    return nominal;
}

// For each whole number of pixels per point, the nominal size that serves
// it: the shown one for its own density, else the one nearest the density
// times 24 pixels.
std::map<int, int> nominalByDensity(const XcursorImages& images, int shownNominal)
{
    int shownDensity = ThemeCursorFrame::pixelsPerPoint(shownNominal);
    std::map<int, int> chosen;
    for (int i = 0; i < images.nimage; ++i) {
        auto nominal = static_cast<int>(images.images[i]->size);
        int density = ThemeCursorFrame::pixelsPerPoint(nominal);
        // The server shows the user's size, and twice it at scale 2 and on
        // 2x screens; copying more would only cost time at every switch.
        if (density != shownDensity && density != 2 * shownDensity)
            continue;
        int wanted = density == shownDensity ? shownNominal : density * ThemeCursorFrame::nominalPointSize;
        auto [held, added] = chosen.emplace(density, nominal);
        if (!added && std::abs(nominal - wanted) < std::abs(held->second - wanted))
            held->second = nominal;
    }
    return chosen;
}

// The frames of one nominal size; frames of another pixel size than the
// first are not part of it.
std::vector<const XcursorImage*> framesOf(const XcursorImages& images, int nominal)
{
    std::vector<const XcursorImage*> frames;
    for (int i = 0; i < images.nimage; ++i) {
        const XcursorImage* image = images.images[i];
        if (static_cast<int>(image->size) != nominal)
            continue;
        if (frames.empty() || (image->width == frames.front()->width && image->height == frames.front()->height))
            frames.push_back(image);
    }
    return frames;
}

// Only the sizes a copy or the server can use stay in memory: a theme's
// largest sizes would otherwise hold megabytes nobody reads.
XcursorImages* withShownSizesOnly(XcursorImages* images, int size)
{
    int shownNominal = nearestNominal(*images, size);
    std::map<int, int> kept = nominalByDensity(*images, shownNominal);
    auto isKept = [&](int nominal) {
        return nominal == shownNominal ||
               std::any_of(kept.begin(), kept.end(), [&](const auto& entry) { return entry.second == nominal; });
    };
    XcursorImages* pruned = XcursorImagesCreate(images->nimage);
    if (!pruned)
        return images;
    for (int i = 0; i < images->nimage; ++i) {
        if (isKept(static_cast<int>(images->images[i]->size)))
            pruned->images[pruned->nimage++] = images->images[i];
        else
            XcursorImageDestroy(images->images[i]);
    }
    // The images moved over belong to the pruned set now.
    images->nimage = 0;
    XcursorImagesDestroy(images);
    return pruned;
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
        loaded.images.reset(withShownSizesOnly(images, size_));
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

int CursorTheme::pixelsPerPoint()
{
    // Asked for at every registration; the files are read once anyway.
    if (!pixelsPerPoint_) {
        const XcursorImages* arrow = preferred(CursorNameMap::xNames("com.apple.coregraphics.Arrow"));
        pixelsPerPoint_ = ThemeCursorFrame::pixelsPerPoint(arrow ? nearestNominal(*arrow, size_) : size_);
    }
    return *pixelsPerPoint_;
}

std::optional<CursorRecord> CursorTheme::record(CursorNameMap::XNames xNames)
{
    const XcursorImages* images = preferred(xNames);
    auto shown = images ? CursorFrames::fromTheme(*images, size_) : std::nullopt;
    if (!shown)
        return std::nullopt;
    int shownNominal = nearestNominal(*images, size_);
    int density = ThemeCursorFrame::pixelsPerPoint(shownNominal);
    int side = ThemeCursorFrame::sideInPoints(shown->width, shown->height, density);
    std::vector<CFRef<CGImageRef>> owned;
    std::vector<CFTypeRef> values;
    for (const auto& [pixelsPerPoint, nominal] : nominalByDensity(*images, shownNominal)) {
        std::vector<const XcursorImage*> frames = framesOf(*images, nominal);
        int pixels = side * pixelsPerPoint;
        // An image larger than its frame would lose a part of its glyph.
        if (static_cast<int>(frames.front()->width) > pixels || static_cast<int>(frames.front()->height) > pixels)
            continue;
        owned.push_back(createStrip(frames, pixels));
        if (owned.back())
            values.push_back(owned.back().get());
    }
    CursorRecord record;
    record.size = {static_cast<CGFloat>(side), static_cast<CGFloat>(side)};
    record.hotSpot = {static_cast<CGFloat>(shown->xHot) / density, static_cast<CGFloat>(shown->yHot) / density};
    record.frameCount = shown->frames.size();
    record.frameDuration = shown->delayMilliseconds / 1000.0;
    record.images = CFRef<CFArrayRef>::adopt(CFArrayCreate(values.data(), static_cast<CFIndex>(values.size())));
    if (!record.images)
        return std::nullopt;
    return record;
}
