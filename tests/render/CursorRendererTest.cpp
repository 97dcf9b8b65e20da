#include "RendererTestSupport.h"

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/QtGraphicsContext.h"
#include "platform/stockcursors/StockCursor.h"
#include "render/DecorationMemo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>

using namespace rendertest;
using Kind = RecordingGraphicsContext::Kind;

namespace {

// Watches every bitmap context the renderer makes.
class Decoration : public ::testing::Test {
protected:
    void SetUp() override { recordings = RecordingGraphicsContext::recordBitmapContexts(); }
    void TearDown() override { GraphicsContext::setBitmapContextFactory({}); }

    const RecordingGraphicsContext::Recording& only() const
    {
        EXPECT_EQ(recordings->size(), 1u);
        return *recordings->back();
    }
    Rect disc(const RecordingGraphicsContext::Recording& context) const
    {
        auto ovals = context.operations(Kind::fillOval);
        EXPECT_EQ(ovals.size(), 1u);
        return ovals.empty() ? Rect() : ovals.front().rect;
    }

    std::shared_ptr<RecordingGraphicsContext::Recordings> recordings;
};

void expectRect(const Rect& actual, const Rect& expected)
{
    EXPECT_NEAR(actual.minX(), expected.minX(), 1e-9);
    EXPECT_NEAR(actual.minY(), expected.minY(), 1e-9);
    EXPECT_NEAR(actual.width(), expected.width(), 1e-9);
    EXPECT_NEAR(actual.height(), expected.height(), 1e-9);
}

// The 32 x 32 point arrow used below: opaque in the top-left 12 x 20 pixels.
CursorSnapshot pointerInTopLeft(std::uint32_t colour = 0xFF000000)
{
    std::vector<std::uint32_t> pixels(32 * 32, 0);
    for (std::size_t row = 0; row < 20; ++row)
        for (std::size_t column = 0; column < 12; ++column)
            pixels[row * 32 + column] = colour;
    return snapshot({32, 32}, {1, 1}, {image(32, 32, pixels)});
}

}

TEST_F(Decoration, WithoutAMarkerEverythingComesBackUnchanged)
{
    CursorSnapshot input = snapshot({32, 32}, {4, 5}, {solid(32, 32, 0xFF000000), solid(64, 64, 0xFF000000)});
    input.frameDuration = 0.25;
    auto payload = CursorRenderer::decoratePayload(input, std::nullopt, CursorTemplate::arrow, true, true, true, true);
    EXPECT_EQ(payload.snapshot.size.width, 32);
    EXPECT_EQ(payload.snapshot.hotSpot.x, 4);
    EXPECT_EQ(payload.snapshot.frameDuration, 0.25);
    ASSERT_EQ(payload.images.size(), 2u);
    EXPECT_EQ(payload.images[0], input.images[0]);
    EXPECT_EQ(payload.images[1], input.images[1]);
    EXPECT_TRUE(recordings->empty());
}

TEST_F(Decoration, TheMemoDrawsEachCursorAndBadgeOnceAndForgetsTheLeastRecentlyUsed)
{
    DecorationMemo memo;
    auto decorate = [&](const CursorSnapshot& input, const std::string& text) {
        return memo.decoratePayload(input, marker(text), CursorTemplate::arrow, false, false, false, false);
    };
    CursorSnapshot input = pointerInTopLeft();
    auto first = decorate(input, "En");
    ASSERT_EQ(recordings->size(), 1u);
    // Another snapshot of the same cursor: other objects, the same pixels.
    CursorSnapshot alias = pointerInTopLeft();
    auto again = decorate(alias, "En");
    EXPECT_EQ(recordings->size(), 1u);
    ASSERT_EQ(again.images.size(), 1u);
    EXPECT_EQ(again.images[0], first.images[0]);
    EXPECT_EQ(again.snapshot.images[0], alias.images[0]) << "the snapshot keeps the caller's images";
    EXPECT_EQ(again.snapshot.size.height, first.snapshot.size.height);

    decorate(input, "Ру");
    decorate(pointerInTopLeft(0xFF0000FF), "En");
    EXPECT_EQ(recordings->size(), 3u);

    for (std::uint32_t i = 1; memo.size() < DecorationMemo::capacity; ++i)
        decorate(pointerInTopLeft(0xFF000000 + i), "En");
    decorate(input, "En");
    decorate(pointerInTopLeft(0xFFFFFFFF), "En");
    std::size_t drawn = recordings->size();
    decorate(input, "En");
    EXPECT_EQ(recordings->size(), drawn) << "used last, so kept";
    decorate(input, "Ру");
    EXPECT_EQ(recordings->size(), drawn + 1) << "used least recently, so forgotten";
}

TEST_F(Decoration, CanvasGrowsBesideAndBelowThePointer)
{
    struct Case {
        CGSize size;
        std::optional<CursorTemplate> cursorTemplate;
        bool horizontal, vertical, diagonal, leftHanded;
        CGSize canvas;
        CGFloat hotSpotShift;
    };
    const Case cases[] = {
        {{32, 32}, CursorTemplate::arrow, false, false, false, false, {32, 43}, 0},
        {{32, 32}, std::nullopt, false, false, false, true, {32, 43}, 0},
        {{16, 16}, CursorTemplate::arrow, false, false, false, false, {24, 27}, 0},
        {{16, 16}, CursorTemplate::arrow, false, false, false, true, {24, 27}, 8},
        {{10, 20}, CursorTemplate::iBeam, false, false, false, false, {36, 50}, 0},
        {{40, 40}, CursorTemplate::iBeam, false, false, false, true, {66, 70}, 26},
        {{24, 24}, CursorTemplate::pointingHand, false, false, false, false, {50, 54}, 0},
        {{32, 32}, CursorTemplate::arrow, true, false, false, false, {60, 52}, 0},
        {{32, 32}, CursorTemplate::arrow, true, false, false, true, {60, 52}, 28},
        {{32, 32}, std::nullopt, false, true, false, false, {52, 62}, 0},
        {{32, 32}, std::nullopt, false, false, true, false, {58, 58}, 0},
        {{24, 24}, CursorTemplate::iBeam, true, true, true, false, {52, 54}, 0},
    };
    for (const Case& c : cases) {
        recordings->clear();
        CursorSnapshot input = snapshot(c.size, {3, 7}, {solid(static_cast<std::size_t>(c.size.width),
                                                               static_cast<std::size_t>(c.size.height), 0)});
        auto payload = CursorRenderer::decoratePayload(input, marker(), c.cursorTemplate, c.horizontal, c.vertical,
                                                       c.diagonal, c.leftHanded);
        SCOPED_TRACE(std::to_string(c.size.width) + " template " +
                     std::to_string(c.cursorTemplate ? static_cast<int>(*c.cursorTemplate) : -1));
        EXPECT_EQ(payload.snapshot.size.width, c.canvas.width);
        EXPECT_EQ(payload.snapshot.size.height, c.canvas.height);
        EXPECT_EQ(payload.snapshot.hotSpot.x, 3 + c.hotSpotShift);
        EXPECT_EQ(payload.snapshot.hotSpot.y, 7);
        // The pointer keeps its place at the top; a left margin moves it right.
        auto drawn = only().operations(Kind::drawImage);
        ASSERT_EQ(drawn.size(), 1u);
        expectRect(drawn[0].rect, Rect(c.hotSpotShift, c.canvas.height - c.size.height, c.size.width, c.size.height));
        EXPECT_EQ(drawn[0].image, input.images[0].get());
        // The snapshot keeps the undecorated images.
        ASSERT_EQ(payload.snapshot.images.size(), 1u);
        EXPECT_EQ(payload.snapshot.images[0], input.images[0]);
        ASSERT_EQ(payload.images.size(), 1u);
        EXPECT_NE(payload.images[0], input.images[0]);
    }
}

TEST_F(Decoration, AnEmptyImagePutsTheDiscInTheBottomCornerHalfAPointInside)
{
    // 40 x 29 points grows by 0 and 11 to a 40 x 40 canvas.
    CursorSnapshot input = snapshot({40, 29}, {0, 0}, {solid(40, 29, 0)});
    auto right = CursorRenderer::decoratePayload(input, marker(std::nullopt), CursorTemplate::arrow, false, false,
                                                 false, false);
    expectRect(disc(only()), Rect(21.5, 0.5, 18, 18));
    auto strokes = only().operations(Kind::strokeOval);
    ASSERT_EQ(strokes.size(), 1u);
    expectRect(strokes[0].rect, Rect(21.5, 0.5, 18, 18));
    EXPECT_EQ(strokes[0].lineWidth, 1);
    EXPECT_EQ(*strokes[0].color, Color::white().withAlphaComponent(0.85));
    EXPECT_EQ(*only().operations(Kind::fillOval)[0].color, fill);
    // The disc's centre, (30.5, 9.5) in points, is pixel (30, 30) from the top.
    ASSERT_EQ(right.images.size(), 1u);
    EXPECT_EQ(pixelAt(right.images[0].get(), 30, 30), 0xFFFF0000u);
    EXPECT_EQ(pixelAt(right.images[0].get(), 20, 30), 0u);

    recordings->clear();
    CursorRenderer::decoratePayload(input, marker(), CursorTemplate::arrow, false, false, false, true);
    expectRect(disc(only()), Rect(0.5, 0.5, 18, 18));
}

TEST_F(Decoration, AFullyOpaqueArrowGetsTheDiscWhereTheEightPassesLeaveIt)
{
    CursorSnapshot input = snapshot({32, 32}, {0, 0}, {solid(32, 32, 0xFF000000)});
    CursorRenderer::decoratePayload(input, marker(), CursorTemplate::arrow, false, false, false, false);
    expectRect(disc(only()), Rect(13.5, 0.5, 18, 18));
}

TEST_F(Decoration, TheDiscGoesBesideThePointerAndLeavesItsPixelsAlone)
{
    CursorSnapshot input = pointerInTopLeft(0xFF102030);
    auto payload = CursorRenderer::decoratePayload(input, marker(std::nullopt), CursorTemplate::arrow, false, false,
                                                   false, false);
    // Pointer (0, 23, 12, 20) is narrow: the disc goes below it, shifted right.
    expectRect(disc(only()), Rect(2.7, 2, 18, 18));
    ASSERT_EQ(payload.images.size(), 1u);
    CGImageRef decorated = payload.images[0].get();
    ASSERT_EQ(CGImageGetWidth(decorated), 32u);
    ASSERT_EQ(CGImageGetHeight(decorated), 43u);
    for (std::size_t row = 0; row < 20; ++row)
        for (std::size_t column = 0; column < 12; ++column)
            ASSERT_EQ(pixelAt(decorated, column, row), 0xFF102030u) << column << "," << row;
    // Centre (11.7, 11) in points: column 11, row 43 - 11 = 32.
    EXPECT_EQ(pixelAt(decorated, 11, 31), 0xFFFF0000u);
    EXPECT_EQ(pixelAt(decorated, 31, 0), 0u);
}

TEST_F(Decoration, FindsThePointerInEveryAlphaLayout)
{
    // The pointer is black: only the alpha byte tells it from the clear
    // pixels, whose colour bytes are set wherever the layout allows it.
    struct Layout {
        CGBitmapInfo info;
        std::uint8_t opaque[4];
        std::uint8_t clear[4];
    };
    const Layout layouts[] = {
        {kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, {0, 0, 0, 255}, {0, 0, 0, 0}},
        {kCGImageAlphaPremultipliedFirst, {255, 0, 0, 0}, {0, 0, 0, 0}},
        {kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Big, {255, 0, 0, 0}, {0, 0, 0, 0}},
        {kCGImageAlphaPremultipliedLast, {0, 0, 0, 255}, {0, 0, 0, 0}},
        {kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Little, {255, 0, 0, 0}, {0, 0, 0, 0}},
        {kCGImageAlphaFirst, {255, 0, 0, 0}, {0, 255, 255, 255}},
        {kCGImageAlphaLast, {0, 0, 0, 255}, {255, 255, 255, 0}},
        {kCGImageAlphaFirst | kCGBitmapByteOrder32Little, {0, 0, 0, 255}, {255, 255, 255, 0}},
        {kCGImageAlphaNoneSkipFirst, {255, 0, 0, 0}, {0, 255, 255, 255}},
        {kCGImageAlphaNoneSkipLast, {0, 0, 0, 255}, {255, 255, 255, 0}},
    };
    for (const Layout& layout : layouts) {
        recordings->clear();
        std::vector<std::uint8_t> bytes(32 * 32 * 4);
        for (std::size_t row = 0; row < 32; ++row)
            for (std::size_t column = 0; column < 32; ++column) {
                bool inside = row < 20 && column < 12;
                std::copy_n(inside ? layout.opaque : layout.clear, 4, &bytes[(row * 32 + column) * 4]);
            }
        auto input = snapshot({32, 32}, {0, 0},
                              {CFRef<CGImageRef>::adopt(CGImageCreate(32, 32, 8, 32, 128, layout.info, bytes.data(),
                                                                      bytes.size()))});
        ASSERT_TRUE(input.images[0]) << layout.info;
        CursorRenderer::decoratePayload(input, marker(), CursorTemplate::arrow, false, false, false, false);
        SCOPED_TRACE(layout.info);
        expectRect(disc(only()), Rect(2.7, 2, 18, 18));
    }

    // Without an alpha byte the pointer cannot be found: the badge is placed
    // against the whole 32 x 43 canvas, which counts as narrow.
    recordings->clear();
    std::vector<std::uint8_t> rgb(32 * 32 * 3, 0);
    auto opaqueRGB = snapshot({32, 32}, {0, 0},
                              {CFRef<CGImageRef>::adopt(
                                  CGImageCreate(32, 32, 8, 24, 96, kCGImageAlphaNone, rgb.data(), rgb.size()))});
    CursorRenderer::decoratePayload(opaqueRGB, marker(), CursorTemplate::arrow, false, false, false, false);
    expectRect(disc(only()), Rect(12.7, 0.5, 18, 18));
}

TEST_F(Decoration, KeepsEachImagesPixelDensityAndOrder)
{
    CursorSnapshot input = snapshot({32, 32}, {0, 0},
                                    {solid(64, 64, 0xFF0000FF), solid(32, 32, 0xFF00FF00), solid(48, 48, 0xFF000000),
                                     solid(16, 16, 0xFFFFFFFF)});
    auto payload = CursorRenderer::decoratePayload(input, marker(), CursorTemplate::arrow, false, false, false, false);
    ASSERT_EQ(payload.images.size(), 4u);
    EXPECT_EQ(CGImageGetWidth(payload.images[0].get()), 64u);
    EXPECT_EQ(CGImageGetHeight(payload.images[0].get()), 86u);
    EXPECT_EQ(CGImageGetWidth(payload.images[1].get()), 32u);
    EXPECT_EQ(CGImageGetHeight(payload.images[1].get()), 43u);
    // 43 points at 1.5 pixels each: 64.5, rounded up.
    EXPECT_EQ(CGImageGetWidth(payload.images[2].get()), 48u);
    EXPECT_EQ(CGImageGetHeight(payload.images[2].get()), 65u);
    // Fewer pixels than points: drawn at one pixel per point.
    EXPECT_EQ(CGImageGetWidth(payload.images[3].get()), 32u);
    EXPECT_EQ(CGImageGetHeight(payload.images[3].get()), 43u);
    EXPECT_EQ(pixelAt(payload.images[0].get(), 0, 0), 0xFF0000FFu);
    EXPECT_EQ(pixelAt(payload.images[1].get(), 0, 0), 0xFF00FF00u);
    EXPECT_EQ(pixelAt(payload.images[3].get(), 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(CGImageGetBitmapInfo(payload.images[0].get()), Bitmap::bitmapInfo);
}

TEST_F(Decoration, LeavesOutImagesThatCannotBeRedrawnAndRestoresTheContext)
{
    RecordingGraphicsContext outer([](const std::string&, const Font&) { return CGSize{0, 0}; });
    GraphicsContext::CurrentScope scope(outer);
    // 32 points at over 1024 pixels each is past the widest bitmap.
    CursorSnapshot input =
        snapshot({32, 32}, {0, 0}, {solid(32, 32, 0), solid(33000, 1, 0), solid(32, 32, 0xFF000000)});
    auto payload = CursorRenderer::decoratePayload(input, marker(), CursorTemplate::arrow, false, false, false, false);
    EXPECT_EQ(payload.images.size(), 2u);
    EXPECT_EQ(recordings->size(), 2u);
    EXPECT_EQ(GraphicsContext::current(), &outer);
    // Saved and restored once for each image drawn.
    EXPECT_EQ(outer.operations(Kind::saveState).size(), 2u);
    EXPECT_EQ(outer.operations(Kind::restoreState).size(), 2u);
    EXPECT_TRUE(outer.operations(Kind::fillOval).empty());
}

namespace {

// Badges drawn straight into a recording context whose text measures as the
// test says.
class Marker : public ::testing::Test {
protected:
    RecordingGraphicsContext& context(bool flipped = false)
    {
        recording = std::make_unique<RecordingGraphicsContext>(
            [this](const std::string&, const Font& font) { return measure(font.pointSize()); }, flipped);
        return *recording;
    }
    Rect drawnDisc() const
    {
        auto ovals = recording->operations(Kind::fillOval);
        EXPECT_EQ(ovals.size(), 1u);
        return ovals.empty() ? Rect() : ovals.front().rect;
    }
    std::vector<CGFloat> measuredSizes() const
    {
        std::vector<CGFloat> sizes;
        for (const auto& operation : recording->operations(Kind::measureText))
            sizes.push_back(operation.font->pointSize());
        return sizes;
    }

    std::function<CGSize(CGFloat)> measure = [](CGFloat size) { return CGSize{size, size}; };
    std::unique_ptr<RecordingGraphicsContext> recording;
};

void draw(RecordingGraphicsContext& context, const CursorMarker& badge, const Rect& canvas,
          const std::optional<Rect>& pointer, bool horizontal = false, bool vertical = false, bool diagonal = false,
          bool leftHanded = false)
{
    GraphicsContext::CurrentScope scope(context);
    CursorRendererTesting::drawMarker(badge, canvas, pointer, horizontal, vertical, diagonal, leftHanded);
}

}

TEST_F(Marker, SmallCanvasesGetASmallerDiscOrNone)
{
    draw(context(), marker(), Rect(0, 0, 4.5, 40), std::nullopt);
    EXPECT_TRUE(recording->operations().empty());
    draw(context(), marker(), Rect(0, 0, 40, 5), std::nullopt);
    EXPECT_TRUE(recording->operations(Kind::fillOval).empty());

    draw(context(), marker(), Rect(0, 0, 12, 12), std::nullopt);
    expectRect(drawnDisc(), Rect(0.5, 0.5, 11, 11));

    // An inner width of 4.5 still gets the smallest disc, 10, held at the
    // left edge although it does not fit.
    draw(context(), marker(), Rect(0, 0, 5.5, 40), std::nullopt);
    expectRect(drawnDisc(), Rect(0.5, 0.5, 10, 10));

    // No context, nothing to draw into.
    CursorRendererTesting::drawMarker(marker(), Rect(0, 0, 40, 40), std::nullopt);
}

TEST_F(Marker, PlacementFollowsThePointerTheFlagsAndTheOrientation)
{
    const Rect canvas(0, 0, 60, 60);
    const Rect pointer(10, 30, 20, 20);
    struct Case {
        const char* name;
        bool horizontal, vertical, diagonal, leftHanded, flipped;
        Rect expected;
    };
    const Case cases[] = {
        {"plain", false, false, false, false, false, Rect(36.62, 19, 18, 18)},
        {"horizontal resize", true, false, false, false, false, Rect(36.62, 19, 18, 18)},
        {"vertical resize", false, true, false, false, false, Rect(31.62, 10, 18, 18)},
        {"diagonal resize", false, false, true, false, false, Rect(32.97, 17.65, 18, 18)},
        {"flipped", false, false, false, false, true, Rect(36.62, 41, 18, 18)},
        // Clamped to the left edge onto the pointer, then three steps down.
        {"left-handed", false, false, false, true, false, Rect(0.5, 19 - 3 * 3.24, 18, 18)},
    };
    for (const Case& c : cases) {
        draw(context(c.flipped), marker(), canvas, pointer, c.horizontal, c.vertical, c.diagonal, c.leftHanded);
        SCOPED_TRACE(c.name);
        expectRect(drawnDisc(), c.expected);
    }

    // A smaller disc keeps a gap of at least 1.5 points.
    draw(context(), marker("En", 10), canvas, pointer);
    expectRect(drawnDisc(), Rect(36.5, 23, 10, 10));
}

TEST_F(Marker, ThinPointersArePlacedAgainstAGrownBoxButAvoidedAsTheyAre)
{
    // 8 points wide: grown by 2 to (3, 18, 12, 34), which is narrow.
    const Rect pointer(5, 20, 8, 30);
    draw(context(), marker(), Rect(0, 0, 60, 60), pointer);
    expectRect(drawnDisc(), Rect(5.7, 0.5, 18, 18));
    draw(context(), marker(), Rect(0, 0, 60, 60), pointer, false, false, false, true);
    expectRect(drawnDisc(), Rect(0.5, 0.5, 18, 18));
    // A pointer grown past the canvas is cut to it; one wholly outside
    // leaves the canvas as the reference.
    draw(context(), marker(), Rect(0, 0, 60, 60), Rect(100, 100, 5, 5));
    expectRect(drawnDisc(), Rect(41.5, 0.5, 18, 18));
}

TEST_F(Marker, TextShrinksInHalfPointsFromFiftyFourHundredthsOfTheDisc)
{
    measure = [](CGFloat) { return CGSize{100, 100}; };
    draw(context(), marker("Zzz"), Rect(0, 0, 40, 40), std::nullopt);
    std::vector<CGFloat> sizes = measuredSizes();
    ASSERT_EQ(sizes.size(), 10u);
    for (std::size_t i = 0; i < sizes.size(); ++i)
        EXPECT_NEAR(sizes[i], 9.72 - 0.5 * static_cast<CGFloat>(i), 1e-9);
    auto texts = recording->operations(Kind::drawText);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "Zzz");
    EXPECT_NEAR(texts[0].font->pointSize(), 5.22, 1e-9);
    EXPECT_TRUE(texts[0].font->isBold());
    EXPECT_EQ(*texts[0].color, Color::white());
    // Centred on the disc at its last measured size, overflowing it.
    expectRect(texts[0].rect, Rect(30.5 - 50, 9.5 - 50, 100, 100));

    // An 11-point disc starts at 7, not 5.94, and stops at 5.5.
    draw(context(), marker("Zzz"), Rect(0, 0, 12, 12), std::nullopt);
    EXPECT_EQ(measuredSizes(), (std::vector<CGFloat>{7, 6.5, 6, 5.5}));
}

TEST_F(Marker, TextThatFitsIsDrawnAtTheStartingSizeCentred)
{
    // Exactly 0.78 of the disc wide and 0.72 of it tall still fits.
    measure = [](CGFloat) { return CGSize{0.78 * 18, 0.72 * 18}; };
    draw(context(), marker("Ру"), Rect(0, 0, 40, 40), std::nullopt);
    EXPECT_EQ(measuredSizes().size(), 1u);
    auto texts = recording->operations(Kind::drawText);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NEAR(texts[0].font->pointSize(), 9.72, 1e-9);
    expectRect(texts[0].rect, Rect(30.5 - 0.39 * 18, 9.5 - 0.36 * 18, 0.78 * 18, 0.72 * 18));

    // A dot has no text and, without a border width, no outline.
    draw(context(), marker(std::nullopt, 18, 0), Rect(0, 0, 40, 40), std::nullopt);
    EXPECT_TRUE(recording->operations(Kind::measureText).empty());
    EXPECT_TRUE(recording->operations(Kind::drawText).empty());
    EXPECT_TRUE(recording->operations(Kind::strokeOval).empty());
    EXPECT_EQ(recording->operations(Kind::fillOval).size(), 1u);
}

TEST(StockCursorRendering, DrawsTheStockImageAtAnyScaleWithTheBadgeInItsCorner)
{
    auto recordings = RecordingGraphicsContext::recordBitmapContexts();
    StockCursor hand = StockCursor::load(StockCursor::Shape::pointingHand);
    CGSize size = hand.size();
    auto image = CursorRenderer::render(hand, marker(), 2.5);
    GraphicsContext::setBitmapContextFactory({});
    ASSERT_TRUE(image);
    EXPECT_EQ(CGImageGetWidth(image.get()), static_cast<std::size_t>(std::ceil(2.5 * size.width)));
    EXPECT_EQ(CGImageGetHeight(image.get()), static_cast<std::size_t>(std::ceil(2.5 * size.height)));
    ASSERT_EQ(recordings->size(), 1u);
    const RecordingGraphicsContext::Recording& drawn = *recordings->back();
    ASSERT_EQ(drawn.operations(Kind::drawImage).size(), 1u);
    expectRect(drawn.operations(Kind::drawImage)[0].rect, Rect(0, 0, size.width, size.height));
    ASSERT_EQ(drawn.operations(Kind::fillOval).size(), 1u);
    CGFloat d = std::min<CGFloat>(std::min(size.width, size.height) - 1, 18);
    expectRect(drawn.operations(Kind::fillOval)[0].rect, Rect(size.width - 0.5 - d, 0.5, d, d));
    // The hand is drawn above the disc.
    std::vector<std::uint32_t> drawnPixels = pixels(image.get());
    auto discTopRow = static_cast<std::size_t>(2.5 * (size.height - 0.5 - d));
    EXPECT_TRUE(std::any_of(drawnPixels.begin(), drawnPixels.begin() + discTopRow * CGImageGetWidth(image.get()),
                            [](std::uint32_t pixel) { return (pixel >> 24) == 0xFF; }));

    EXPECT_FALSE(CursorRenderer::render(hand, std::nullopt, 5000));
}

TEST(StockCursorRendering, FallbackImagesComeAtOneTwoFiveAndTenPixelsPerPoint)
{
    const std::pair<CursorTemplate, StockCursor::Shape> templates[] = {
        {CursorTemplate::arrow, StockCursor::Shape::arrow},
        {CursorTemplate::iBeam, StockCursor::Shape::iBeam},
        {CursorTemplate::pointingHand, StockCursor::Shape::pointingHand},
    };
    for (auto [cursorTemplate, shape] : templates) {
        CGSize size = StockCursor::load(shape).size();
        auto images = CursorRenderer::fallbackImages(cursorTemplate, std::nullopt);
        ASSERT_EQ(images.size(), 4u);
        const CGFloat scales[] = {1, 2, 5, 10};
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(CGImageGetWidth(images[i].get()), static_cast<std::size_t>(std::ceil(scales[i] * size.width)));
            EXPECT_EQ(CGImageGetHeight(images[i].get()), static_cast<std::size_t>(std::ceil(scales[i] * size.height)));
        }
        // The plain images stay plain: no red disc anywhere.
        for (std::uint32_t pixel : pixels(images[1].get()))
            ASSERT_NE(pixel, 0xFFFF0000u);
    }
}
