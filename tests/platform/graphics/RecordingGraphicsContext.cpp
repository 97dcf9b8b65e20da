#include "RecordingGraphicsContext.h"

#include "platform/graphics/QtGraphicsContext.h"

RecordingGraphicsContext::RecordingGraphicsContext(std::unique_ptr<GraphicsContext> inner, bool flipped)
    : inner_(std::move(inner)), flipped_(flipped)
{
}

RecordingGraphicsContext::RecordingGraphicsContext(TextMeasure measure, bool flipped)
    : measure_(std::move(measure)), flipped_(flipped)
{
}

std::shared_ptr<RecordingGraphicsContext::Recordings> RecordingGraphicsContext::recordBitmapContexts()
{
    auto recordings = std::make_shared<Recordings>();
    GraphicsContext::setBitmapContextFactory([recordings](Bitmap& bitmap) -> std::unique_ptr<GraphicsContext> {
        std::unique_ptr<GraphicsContext> real = QtGraphicsContext::create(bitmap);
        if (!real)
            return nullptr;
        auto recording = std::make_unique<RecordingGraphicsContext>(std::move(real));
        recordings->push_back(recording->recording_);
        return recording;
    });
    return recordings;
}

std::vector<RecordingGraphicsContext::Operation> RecordingGraphicsContext::Recording::operations(Kind kind) const
{
    std::vector<Operation> matching;
    for (const Operation& operation : operations_)
        if (operation.kind == kind)
            matching.push_back(operation);
    return matching;
}

RecordingGraphicsContext::Operation& RecordingGraphicsContext::record(Kind kind, const Rect& rect,
                                                                     std::optional<Color> color)
{
    Operation& operation = recording_->operations_.emplace_back(kind);
    operation.rect = rect;
    operation.color = color;
    return operation;
}

void RecordingGraphicsContext::saveState()
{
    recording_->operations_.emplace_back(Kind::saveState);
    if (inner_)
        inner_->saveState();
}

void RecordingGraphicsContext::restoreState()
{
    recording_->operations_.emplace_back(Kind::restoreState);
    if (inner_)
        inner_->restoreState();
}

void RecordingGraphicsContext::fillRect(const Rect& rect, const Color& color)
{
    record(Kind::fillRect, rect, color);
    if (inner_)
        inner_->fillRect(rect, color);
}

void RecordingGraphicsContext::fillOval(const Rect& rect, const Color& color)
{
    record(Kind::fillOval, rect, color);
    if (inner_)
        inner_->fillOval(rect, color);
}

void RecordingGraphicsContext::strokeOval(const Rect& rect, CGFloat lineWidth, const Color& color)
{
    record(Kind::strokeOval, rect, color).lineWidth = lineWidth;
    if (inner_)
        inner_->strokeOval(rect, lineWidth, color);
}

void RecordingGraphicsContext::drawImage(CGImageRef image, const Rect& rect)
{
    record(Kind::drawImage, rect).image = image;
    if (inner_)
        inner_->drawImage(image, rect);
}

CGSize RecordingGraphicsContext::measureText(const std::string& text, const Font& font)
{
    Operation& operation = recording_->operations_.emplace_back(Kind::measureText);
    operation.text = text;
    operation.font = font;
    return inner_ ? inner_->measureText(text, font) : measure_(text, font);
}

void RecordingGraphicsContext::drawText(const std::string& text, const Rect& rect, const Font& font,
                                        const Color& color)
{
    Operation& operation = record(Kind::drawText, rect, color);
    operation.text = text;
    operation.font = font;
    if (inner_)
        inner_->drawText(text, rect, font, color);
}
