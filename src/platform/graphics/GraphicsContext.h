#pragma once

#include "platform/graphics/Rect.h"
#include "platform/graphics/cgimage/CGImage.h"

#include <functional>
#include <memory>
#include <string>

class Bitmap;
class Color;
class Font;

// Somewhere to draw, in points. Each thread has a current context that
// drawing code uses; saveGraphicsState() and restoreGraphicsState() keep the
// previous one, with its state, around a piece of drawing.
class GraphicsContext {
public:
    virtual ~GraphicsContext() = default;

    // The calling thread's current context; null when there is none.
    static GraphicsContext* current();
    static void setCurrent(GraphicsContext* context);
    // Saves the current context and its state on the calling thread's stack;
    // restoring makes the saved context current again with that state.
    static void saveGraphicsState();
    static void restoreGraphicsState();

    // Saves the graphics state and makes context current for its lifetime.
    class CurrentScope {
    public:
        explicit CurrentScope(GraphicsContext& context);
        ~CurrentScope();
        CurrentScope(const CurrentScope&) = delete;
        CurrentScope& operator=(const CurrentScope&) = delete;
    };

    // A context that draws into the bitmap, in the bitmap's points with the
    // origin at the bottom left; the bitmap must outlive it. Null when the
    // bitmap's size in points is empty.
    static std::unique_ptr<GraphicsContext> forBitmap(Bitmap& bitmap);

    // Lets tests watch the drawing of code that makes its own bitmap
    // contexts; an empty function puts the real one back.
    using BitmapContextFactory = std::function<std::unique_ptr<GraphicsContext>(Bitmap&)>;
    static void setBitmapContextFactory(BitmapContextFactory factory);

    // True when y grows downwards.
    virtual bool isFlipped() const = 0;

    virtual void saveState() = 0;
    virtual void restoreState() = 0;

    // Every drawing operation composites source-over.
    virtual void fillRect(const Rect& rect, const Color& color) = 0;
    virtual void fillOval(const Rect& rect, const Color& color) = 0;
    virtual void strokeOval(const Rect& rect, CGFloat lineWidth, const Color& color) = 0;
    // The whole image, scaled into rect, upright whatever the context's
    // orientation. A null image draws nothing.
    virtual void drawImage(CGImageRef image, const Rect& rect) = 0;
    // The width of the text's advance and the height of its line.
    virtual CGSize measureText(const std::string& text, const Font& font) = 0;
    // One line of text centred in rect, which it may overflow.
    virtual void drawText(const std::string& text, const Rect& rect, const Font& font, const Color& color) = 0;
};
