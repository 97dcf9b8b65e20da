#include "render/CursorPreviews.h"

#include "language/CursorStyle.h"
#include "language/InputLanguage.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Font.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/graphics/GuiApplication.h"
#include "platform/stockcursors/StockCursor.h"
#include "render/CursorRenderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <optional>
#include <vector>

namespace {

constexpr CGFloat previewScale = 2;

struct PreviewCursor {
    CursorTemplate cursorTemplate;
    StockCursor::Shape shape;
    const char* fileName;
    const char* title;
};

constexpr std::array<PreviewCursor, 3> previewCursors{{
    {CursorTemplate::arrow, StockCursor::Shape::arrow, "arrow", "Arrow"},
    {CursorTemplate::iBeam, StockCursor::Shape::iBeam, "ibeam", "I-beam"},
    {CursorTemplate::pointingHand, StockCursor::Shape::pointingHand, "hand", "Pointing hand"},
}};

constexpr std::array<const char*, 7> previewLanguages{"en", "ru", "de", "fr", "uk", "ja", "zh-hans"};

// One row of the sheet: three cursors right-handed, then left-handed.
struct PreviewRow {
    std::string label;
    std::vector<CFRef<CGImageRef>> pictures;
};

// The stock cursor as the program decorates it when it has no captured
// image, at the preview scale only.
CursorSnapshot stockSnapshot(const PreviewCursor& cursor)
{
    StockCursor stock = StockCursor::load(cursor.shape);
    CursorSnapshot snapshot;
    snapshot.size = stock.size();
    snapshot.hotSpot = stock.hotSpot();
    snapshot.frameCount = 1;
    if (CFRef<CGImageRef> image = CursorRenderer::render(stock, std::nullopt, previewScale))
        snapshot.images.push_back(std::move(image));
    return snapshot;
}

CFRef<CGImageRef> picture(const CursorSnapshot& stock, CursorTemplate cursorTemplate,
                          const std::optional<CursorMarker>& marker, bool isLeftHanded)
{
    CursorSnapshot source = isLeftHanded ? CursorRenderer::mirrorSnapshot(stock) : stock;
    auto payload = CursorRenderer::decoratePayload(source, marker, cursorTemplate, false, false, false, isLeftHanded);
    return payload.images.empty() ? CFRef<CGImageRef>() : payload.images.front();
}

bool writePicture(CGImageRef image, const std::filesystem::path& path)
{
    auto bitmap = Bitmap::fromImage(image);
    return bitmap && bitmap->writePNG(path.string());
}

// The sheet is drawn at one pixel per point, so the pictures keep their
// pixels; rows are listed from the top.
class ContactSheet {
public:
    static constexpr CGFloat labelWidth = 190;
    static constexpr CGFloat headerHeight = 78;

    explicit ContactSheet(const std::vector<PreviewRow>& rows)
        : rows_(rows),
          cell_(cellSide(rows)),
          sheetWidth_(labelWidth + 6 * cell_),
          sheetHeight_(headerHeight + static_cast<CGFloat>(rows.size()) * cell_)
    {
    }

    std::optional<Bitmap> draw() const
    {
        auto bitmap = Bitmap::create(static_cast<std::size_t>(sheetWidth_), static_cast<std::size_t>(sheetHeight_));
        if (!bitmap)
            return std::nullopt;
        std::unique_ptr<GraphicsContext> context = GraphicsContext::forBitmap(*bitmap);
        if (!context)
            return std::nullopt;
        {
            GraphicsContext::CurrentScope scope(*context);
            context->fillRect(Rect(0, 0, sheetWidth_, sheetHeight_), Color::white());
            drawHeader(*context);
            for (std::size_t index = 0; index < rows_.size(); ++index)
                drawRow(*context, rows_[index], index);
        }
        context.reset();
        return bitmap;
    }

private:
    static CGFloat cellSide(const std::vector<PreviewRow>& rows)
    {
        std::size_t side = 0;
        for (const PreviewRow& row : rows)
            for (const CFRef<CGImageRef>& image : row.pictures)
                side = std::max({side, CGImageGetWidth(image.get()), CGImageGetHeight(image.get())});
        return static_cast<CGFloat>(side + 20);
    }

    // A rectangle given from the top of the sheet.
    Rect fromTop(CGFloat x, CGFloat top, CGFloat width, CGFloat height) const
    {
        return Rect(x, sheetHeight_ - top - height, width, height);
    }

    void drawLabel(GraphicsContext& context, const std::string& text, CGFloat x, CGFloat top, CGFloat height,
                   const Font& font) const
    {
        CGSize size = context.measureText(text, font);
        context.drawText(text, fromTop(x, top + (height - size.height) / 2, size.width, size.height), font, ink());
    }

    void drawCentred(GraphicsContext& context, const std::string& text, CGFloat x, CGFloat top, CGFloat width,
                     CGFloat height, const Font& font) const
    {
        context.drawText(text, fromTop(x, top, width, height), font, ink());
    }

    void drawHeader(GraphicsContext& context) const
    {
        drawLabel(context, "Tarnwick badge styles", 14, 10, 24, Font::boldSystemFont(15));
        drawLabel(context, "2 pixels per point", 14, 38, 20, Font::systemFont(11));
        for (int hand = 0; hand < 2; ++hand) {
            CGFloat groupLeft = labelWidth + hand * 3 * cell_;
            drawCentred(context, hand == 0 ? "Right-handed" : "Left-handed", groupLeft, 10, 3 * cell_, 24,
                        Font::boldSystemFont(13));
            for (std::size_t column = 0; column < previewCursors.size(); ++column)
                drawCentred(context, previewCursors[column].title, groupLeft + static_cast<CGFloat>(column) * cell_,
                            44, cell_, 24, Font::systemFont(12));
        }
    }

    void drawRow(GraphicsContext& context, const PreviewRow& row, std::size_t index) const
    {
        CGFloat top = headerHeight + static_cast<CGFloat>(index) * cell_;
        if (index % 2 == 0)
            context.fillRect(fromTop(0, top, sheetWidth_, cell_), Color::calibratedRGB(0.96, 0.96, 0.97));
        drawLabel(context, row.label, 14, top, cell_, Font::systemFont(13));
        for (std::size_t column = 0; column < row.pictures.size(); ++column) {
            CGFloat left = labelWidth + static_cast<CGFloat>(column) * cell_;
            // A mid-tone tile shows both the dark and the light edges.
            context.fillRect(fromTop(left + 4, top + 4, cell_ - 8, cell_ - 8), Color::calibratedRGB(0.80, 0.83, 0.87));
            CGImageRef image = row.pictures[column].get();
            auto width = static_cast<CGFloat>(CGImageGetWidth(image));
            auto height = static_cast<CGFloat>(CGImageGetHeight(image));
            context.drawImage(image, fromTop(left + std::floor((cell_ - width) / 2), top + std::floor((cell_ - height) / 2),
                                             width, height));
        }
    }

    static Color ink() { return Color::calibratedRGB(0.13, 0.13, 0.16); }

    const std::vector<PreviewRow>& rows_;
    CGFloat cell_;
    CGFloat sheetWidth_;
    CGFloat sheetHeight_;
};

std::string fileName(CursorStyle style, const char* languageCode, bool isLeftHanded, const PreviewCursor& cursor)
{
    std::string name(rawValue(style));
    if (languageCode)
        name.append("-").append(languageCode);
    return name.append(isLeftHanded ? "-left-" : "-right-").append(cursor.fileName).append(".png");
}

}

CursorPreviews::Outcome CursorPreviews::write(const std::string& directory)
{
    GuiApplication::ensure();
    std::filesystem::path folder(directory);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder))
        return {false, "cannot create " + directory + (error ? ": " + error.message() : "")};

    std::vector<CursorSnapshot> stock;
    for (const PreviewCursor& cursor : previewCursors)
        stock.push_back(stockSnapshot(cursor));

    std::vector<PreviewRow> rows;
    std::size_t written = 0;
    for (CursorStyle style : allCursorStyles) {
        // The system style draws no badge, so one row serves every language.
        std::vector<const char*> languages(previewLanguages.begin(), previewLanguages.end());
        if (style == CursorStyle::system)
            languages = {nullptr};
        for (const char* code : languages) {
            InputLanguage language = InputLanguage::make(code ? code : "en", "", "");
            std::optional<CursorMarker> badge = marker(style, language);
            PreviewRow row{std::string(menuTitle(style)) + (code ? std::string(" \u00B7 ") + code : ""), {}};
            for (bool isLeftHanded : {false, true})
                for (std::size_t index = 0; index < previewCursors.size(); ++index) {
                    const PreviewCursor& cursor = previewCursors[index];
                    CFRef<CGImageRef> image = picture(stock[index], cursor.cursorTemplate, badge, isLeftHanded);
                    std::filesystem::path path = folder / fileName(style, code, isLeftHanded, cursor);
                    if (!image || !writePicture(image.get(), path))
                        return {false, "cannot write " + path.string()};
                    row.pictures.push_back(std::move(image));
                    ++written;
                }
            rows.push_back(std::move(row));
        }
    }

    std::filesystem::path sheetPath = folder / "previews.png";
    std::optional<Bitmap> sheet = ContactSheet(rows).draw();
    if (!sheet || !sheet->writePNG(sheetPath.string()))
        return {false, "cannot write " + sheetPath.string()};
    return {true, "wrote " + std::to_string(written) + " pictures and the contact sheet " + sheetPath.string()};
}
