#include "providers/x11/FrameMaker.h"

#include "platform/stockcursors/ThemeCursorFrame.h"

#include <algorithm>

namespace {

std::optional<CursorFrames> themeOwn(CursorNameMap::XNames xNames, const CursorFrames& frames, CursorTheme& theme)
{
    if (xNames.empty() || frames.width != frames.height)
        return std::nullopt;
    auto own = theme.frames(xNames);
    if (!own || own->frames.size() != frames.frames.size() || own->xHot != frames.xHot || own->yHot != frames.yHot)
        return std::nullopt;
    for (std::size_t i = 0; i < own->frames.size(); ++i) {
        if (ThemeCursorFrame::padded(own->frames[i].data(), own->width, own->height, frames.width) != frames.frames[i])
            return std::nullopt;
    }
    return own;
}

}

std::optional<CursorFrames> FrameMaker::make(const CursorRecord& record, CursorNameMap::XNames xNames,
                                             int pixelsPerPoint, CursorTheme& theme)
{
    auto frames = CursorFrames::fromRecord(record, pixelsPerPoint, limit());
    if (!frames)
        return std::nullopt;
    auto own = themeOwn(xNames, *frames, theme);
    return own ? own : frames;
}

CursorFrames::Limit FrameMaker::limit()
{
    if (!limit_) {
        // Asked for far more than any cursor needs, the server answers with
        // the largest it takes.
        unsigned int width = 0, height = 0;
        X11Connection::Trap trap(connection_);
        Status answered = XQueryBestCursor(connection_.display(), connection_.root(), 0x7FFF, 0x7FFF, &width, &height);
        limit_ = CursorFrames::Limit{CursorFrames::largestCursorSide, CursorFrames::largestCursorSide};
        if (trap.finish() == 0 && answered && width > 0 && height > 0)
            limit_ = CursorFrames::Limit{static_cast<int>(std::min<unsigned>(width, CursorFrames::largestCursorSide)),
                                         static_cast<int>(std::min<unsigned>(height, CursorFrames::largestCursorSide))};
    }
    return *limit_;
}
