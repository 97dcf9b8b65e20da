#include "ContactSheet.h"

#include "platform/graphics/GuiApplication.h"

#include <QImage>
#include <QPainter>

#include <algorithm>

namespace {

constexpr int cellSide = 192;
constexpr int labelHeight = 28;
constexpr int margin = 12;
constexpr int checkSide = 8;

QImage premultipliedImage(const CursorCapture& capture)
{
    QImage image(capture.width(), capture.height(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < capture.height(); ++y)
        std::copy_n(capture.pixels().begin() + y * capture.width(), capture.width(),
                    reinterpret_cast<std::uint32_t*>(image.scanLine(y)));
    return image;
}

void drawChecks(QPainter& painter, const QRect& area)
{
    for (int y = area.top(); y < area.bottom(); y += checkSide) {
        for (int x = area.left(); x < area.right(); x += checkSide) {
            bool dark = ((x - area.left()) / checkSide + (y - area.top()) / checkSide) % 2 == 1;
            painter.fillRect(QRect(x, y, checkSide, checkSide).intersected(area),
                             dark ? QColor(200, 200, 200) : QColor(236, 236, 236));
        }
    }
}

}

void ContactSheet::add(std::string label, CursorCapture capture)
{
    entries_.push_back({std::move(label), std::move(capture)});
}

bool ContactSheet::write(const std::string& path) const
{
    GuiApplication::ensure();
    int count = static_cast<int>(entries_.size());
    QImage sheet(margin + count * (cellSide + margin), margin + cellSide + labelHeight + margin,
                 QImage::Format_ARGB32_Premultiplied);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    // One scale for the whole sheet, so that sizes compare.
    int longest = 1;
    for (const Entry& entry : entries_)
        longest = std::max({longest, entry.capture.width(), entry.capture.height()});
    int scale = std::max(1, (cellSide - 2 * margin) / longest);
    for (int i = 0; i < count; ++i) {
        const Entry& entry = entries_[static_cast<std::size_t>(i)];
        QRect cell(margin + i * (cellSide + margin), margin, cellSide, cellSide);
        drawChecks(painter, cell);
        QSize size(entry.capture.width() * scale, entry.capture.height() * scale);
        QRect target(cell.center() - QPoint(size.width() / 2, size.height() / 2), size);
        painter.drawImage(target, premultipliedImage(entry.capture));
        painter.setPen(Qt::black);
        painter.drawText(QRect(cell.left(), cell.bottom() + 1, cellSide, labelHeight), Qt::AlignCenter,
                         QString::fromStdString(entry.label));
    }
    painter.end();
    return sheet.save(QString::fromStdString(path), "PNG");
}
