#include "runtime/CursorSnapshot.h"

#include <algorithm>

namespace {

constexpr double largestSide = 1024;
constexpr std::uint64_t largestFrameCount = 64;

bool sideFits(double side)
{
    return side <= largestSide;
}

}

bool CursorSnapshot::withinSaneLimits() const
{
    auto imageFits = [](const CFRef<CGImageRef>& image) {
        return sideFits(double(CGImageGetWidth(image.get()))) && sideFits(double(CGImageGetHeight(image.get())));
    };
    return sideFits(size.width) && sideFits(size.height) && frameCount <= largestFrameCount &&
           images.size() <= largestFrameCount && std::all_of(images.begin(), images.end(), imageFits);
}
