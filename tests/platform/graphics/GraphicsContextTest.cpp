#include "RecordingGraphicsContext.h"

#include "platform/graphics/Bitmap.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using Kind = RecordingGraphicsContext::Kind;

CGSize noText(const std::string&, const Font&)
{
    return {0, 0};
}

std::vector<Kind> kinds(const RecordingGraphicsContext& context)
{
    std::vector<Kind> result;
    for (const auto& operation : context.operations())
        result.push_back(operation.kind);
    return result;
}

}

TEST(GraphicsContext, EachThreadHasItsOwnCurrentContextSavedAndRestoredAroundDrawing)
{
    RecordingGraphicsContext outer(noText), inner(noText);
    EXPECT_EQ(GraphicsContext::current(), nullptr);
    {
        GraphicsContext::CurrentScope outerScope(outer);
        EXPECT_EQ(GraphicsContext::current(), &outer);
        {
            GraphicsContext::CurrentScope innerScope(inner);
            EXPECT_EQ(GraphicsContext::current(), &inner);
            GraphicsContext* elsewhere = &inner;
            std::thread([&elsewhere] { elsewhere = GraphicsContext::current(); }).join();
            EXPECT_EQ(elsewhere, nullptr);
        }
        EXPECT_EQ(GraphicsContext::current(), &outer);
    }
    EXPECT_EQ(GraphicsContext::current(), nullptr);
    // The state of the context that was current is saved and restored with it.
    EXPECT_EQ(kinds(outer), (std::vector<Kind>{Kind::saveState, Kind::restoreState}));
    EXPECT_TRUE(inner.operations().empty());

    // More restores than saves change nothing.
    GraphicsContext::restoreGraphicsState();
    EXPECT_EQ(GraphicsContext::current(), nullptr);
}

TEST(GraphicsContext, BitmapContextsNeedASizeInPointsAndCanBeWatched)
{
    auto bitmap = Bitmap::create(4, 4);
    ASSERT_TRUE(bitmap);
    EXPECT_TRUE(GraphicsContext::forBitmap(*bitmap));
    bitmap->setSize({0, 4});
    EXPECT_FALSE(GraphicsContext::forBitmap(*bitmap));
    bitmap->setSize({2, 2});

    auto recordings = RecordingGraphicsContext::recordBitmapContexts();
    auto context = GraphicsContext::forBitmap(*bitmap);
    ASSERT_EQ(recordings->size(), 1u);
    context->fillRect(Rect(0, 0, 1, 1), Color::black());
    context.reset();
    GraphicsContext::setBitmapContextFactory({});
    EXPECT_EQ(bitmap->pixelAt(0, 3), 0xFF000000u);
    EXPECT_TRUE(GraphicsContext::forBitmap(*bitmap));
    EXPECT_EQ(recordings->size(), 1u);
}
