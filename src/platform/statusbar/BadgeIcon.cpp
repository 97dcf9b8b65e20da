#include "platform/statusbar/BadgeIcon.h"

#include <QFont>
#include <QFontMetricsF>
#include <QIconEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

QColor qColor(const Color& color)
{
    Color::RGBA c = color.rgba();
    return QColor::fromRgbF(float(c.red), float(c.green), float(c.blue), float(c.alpha));
}

StatusBadge neutralBadge()
{
    return {"TW", Color::calibratedRGB(0.56, 0.56, 0.58), Color::white(), Color::calibratedRGB(0.35, 0.35, 0.37)};
}

// Bold letters as large as fit inside the disc.
void drawText(QPainter& painter, const QRectF& disc, const QString& text, const QColor& color)
{
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(std::max(1, int(std::lround(disc.height() * 0.56))));
    QFontMetricsF metrics(font);
    double room = disc.width() * 0.78;
    double width = metrics.horizontalAdvance(text);
    if (width > room)
        font.setPixelSize(std::max(1, int(std::floor(font.pixelSize() * room / width))));
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(disc, Qt::AlignCenter, text);
}

void draw(QPainter& painter, const QRectF& square, const std::optional<StatusBadge>& given)
{
    StatusBadge badge = given ? *given : neutralBadge();
    double side = std::min(square.width(), square.height());
    double border = std::max(1.0, side / 14);
    QRectF disc(0, 0, side - border, side - border);
    disc.moveCenter(square.center());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QPen outline(qColor(badge.borderColor), border);
    painter.setPen(badge.borderColor.alpha() > 0 ? outline : QPen(Qt::NoPen));
    painter.setBrush(qColor(badge.fillColor));
    painter.drawEllipse(disc);
    if (badge.text && !badge.text->empty())
        drawText(painter, disc, QString::fromStdString(*badge.text), qColor(badge.textColor));
}

// Draws at whatever size is asked for, so the tray gets a sharp icon at
// its own size; the listed sizes are what the tray protocol sends ahead.
class BadgeIconEngine : public QIconEngine {
public:
    explicit BadgeIconEngine(std::optional<StatusBadge> badge) : badge_(std::move(badge)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override
    {
        painter->save();
        draw(*painter, rect, badge_);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        return QPixmap::fromImage(BadgeIcon::image(badge_, std::min(size.width(), size.height())));
    }

    QIconEngine* clone() const override { return new BadgeIconEngine(badge_); }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32), QSize(48, 48), QSize(64, 64)};
    }

private:
    std::optional<StatusBadge> badge_;
};

}

namespace BadgeIcon {

QIcon icon(const std::optional<StatusBadge>& badge)
{
    return QIcon(new BadgeIconEngine(badge));
}

QImage image(const std::optional<StatusBadge>& badge, int pixels)
{
    QImage canvas(std::max(pixels, 1), std::max(pixels, 1), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    draw(painter, QRectF(canvas.rect()), badge);
    return canvas;
}

}
