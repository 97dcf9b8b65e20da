#pragma once

#include "platform/graphics/Color.h"
#include "platform/graphics/Font.h"
#include "platform/graphics/GraphicsContext.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A drawing context for tests: it writes down every call with its exact
// arguments, and passes each on to a real context when it wraps one, so a
// test can check both the geometry and the pixels. Without a real context,
// text is measured by a function the test supplies.
class RecordingGraphicsContext final : public GraphicsContext {
public:
    enum class Kind { saveState, restoreState, fillRect, fillOval, strokeOval, drawImage, measureText, drawText };

    struct Operation {
        explicit Operation(Kind kind) : kind(kind) {}

        Kind kind;
        Rect rect{};
        std::optional<Color> color;
        CGFloat lineWidth = 0;
        std::string text;
        std::optional<Font> font;
        CGImageRef image = nullptr;
    };

    // What one context was asked to draw; it outlives the context.
    class Recording {
    public:
        const std::vector<Operation>& operations() const { return operations_; }
        std::vector<Operation> operations(Kind kind) const;

    private:
        friend class RecordingGraphicsContext;
        std::vector<Operation> operations_;
    };
    using Recordings = std::vector<std::shared_ptr<const Recording>>;

    using TextMeasure = std::function<CGSize(const std::string& text, const Font& font)>;

    explicit RecordingGraphicsContext(std::unique_ptr<GraphicsContext> inner, bool flipped = false);
    explicit RecordingGraphicsContext(TextMeasure measure, bool flipped = false);

    // Records every context that code makes for a bitmap from now on; the
    // recordings land in the returned list (newest last).
    static std::shared_ptr<Recordings> recordBitmapContexts();

    const std::vector<Operation>& operations() const { return recording_->operations(); }
    std::vector<Operation> operations(Kind kind) const { return recording_->operations(kind); }

    bool isFlipped() const override { return flipped_; }
    void saveState() override;
    void restoreState() override;
    void fillRect(const Rect& rect, const Color& color) override;
    void fillOval(const Rect& rect, const Color& color) override;
    void strokeOval(const Rect& rect, CGFloat lineWidth, const Color& color) override;
    void drawImage(CGImageRef image, const Rect& rect) override;
    CGSize measureText(const std::string& text, const Font& font) override;
    void drawText(const std::string& text, const Rect& rect, const Font& font, const Color& color) override;

private:
    Operation& record(Kind kind, const Rect& rect, std::optional<Color> color = std::nullopt);

    std::unique_ptr<GraphicsContext> inner_;
    TextMeasure measure_;
    bool flipped_;
    std::shared_ptr<Recording> recording_ = std::make_shared<Recording>();
};
