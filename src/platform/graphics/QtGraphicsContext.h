#pragma once

#include "platform/graphics/GraphicsContext.h"

#include <QFont>
#include <QImage>
#include <QPainter>

#include <cstdint>
#include <memory>
#include <optional>

// Draws into a bitmap's own memory with QPainter, in the bitmap's points
// with the origin at the bottom left: one point is pixelsWide / size.width
// pixels across and pixelsHigh / size.height pixels up.
//
// Ovals are the exception: Qt hands every antialiased fill of more than a
// few dozen spans to its GUI thread pool and waits for it, which for
// cursor-sized discs costs several times the drawing itself. They are
// rasterized here instead, each pixel covered by the box-filtered share of
// it that lies inside the oval or the outline.
class QtGraphicsContext final : public GraphicsContext {
public:
    // Null when the bitmap's size in points is empty.
    static std::unique_ptr<QtGraphicsContext> create(Bitmap& bitmap);
    ~QtGraphicsContext() override;

    // The Qt font for a font, with a point measuring one unit of drawing
    // space. Starts an offscreen GUI application when none runs yet, since
    // Qt finds fonts only through one.
    static QFont qtFont(const Font& font);

    bool isFlipped() const override { return false; }
    void saveState() override;
    void restoreState() override;
    void fillRect(const Rect& rect, const Color& color) override;
    void fillOval(const Rect& rect, const Color& color) override;
    void strokeOval(const Rect& rect, CGFloat lineWidth, const Color& color) override;
    void drawImage(CGImageRef image, const Rect& rect) override;
    CGSize measureText(const std::string& text, const Font& font) override;
    void drawText(const std::string& text, const Rect& rect, const Font& font, const Color& color) override;

private:
    explicit QtGraphicsContext(Bitmap& bitmap);

    // Qt's drawing space runs downwards from the top.
    QRectF qtRect(const Rect& rect) const;
    // Draws an image in the bitmap's own layout that lands pixel for pixel
    // on whole device pixels without asking Qt, which would hand larger
    // blits to its thread pool too; false when the image is not such.
    bool blitWhole(CGImageRef image, const QRectF& target);
    // Source-over; with a line width, only the outline of that width.
    void paintOval(const Rect& rect, const Color& color, std::optional<CGFloat> lineWidth);

    std::uint32_t* pixels_;
    int pixelsWide_;
    int pixelsHigh_;
    QImage image_;
    QPainter painter_;
    CGFloat heightInPoints_;
};
