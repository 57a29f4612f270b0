#include "uTrayImages.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <stdexcept>
#include <string>

QPixmap VNTRDrawTrayImage(int day, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);

    // The page fills the square but for a hair, so its outline stays inside.
    const qreal pen = std::max<qreal>(1.0, size / 16.0);
    const QRectF page(pen / 2, pen / 2, size - pen, size - pen);
    const qreal radius = size / 8.0;
    const qreal header = std::max<qreal>(3.0, size * 0.28);

    QPainterPath sheet;
    sheet.addRoundedRect(page, radius, radius);
    painter.fillPath(sheet, QColor(0xFF, 0xFF, 0xFF));

    // The header band: the sheet clipped to its top part.
    painter.save();
    painter.setClipRect(QRectF(0, 0, size, page.top() + header));
    painter.fillPath(sheet, QColor(0xC6, 0x28, 0x28));
    painter.restore();

    // A dark outline keeps the white page visible on light panels; the white sheet stands out
    // on dark ones.
    painter.setPen(QPen(QColor(0x30, 0x30, 0x30), pen));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(sheet);

    // The day number, as large as the sheet below the header allows.
    const QRectF body(page.left() + pen / 2, page.top() + header, page.width() - pen, page.bottom() - page.top() - header);
    const QString text = QString::number(day);
    QFont font(QStringLiteral("Sans"));
    font.setBold(true);
    font.setStyleStrategy(QFont::PreferAntialias);
    qreal pixels = body.height() * 1.05;
    font.setPixelSize(std::max(1, int(pixels)));
    QFontMetricsF metrics(font);
    const qreal fitWidth = body.width() * 0.98;
    if (metrics.horizontalAdvance(text) > fitWidth) {
        font.setStretch(std::max(60, int(100 * fitWidth / metrics.horizontalAdvance(text))));
        metrics = QFontMetricsF(font);
        if (metrics.horizontalAdvance(text) > fitWidth) {
            pixels = pixels * fitWidth / metrics.horizontalAdvance(text);
            font.setPixelSize(std::max(1, int(pixels)));
        }
    }
    painter.setFont(font);
    painter.setPen(QColor(0x20, 0x20, 0x20));
    painter.drawText(body, Qt::AlignCenter, text);
    painter.end();
    return pixmap;
}

const QList<int> &TVNTRTrayImages::Sizes()
{
    static const QList<int> sizes{16, 22, 24, 32, 48, 64};
    return sizes;
}

QIcon TVNTRTrayImages::Icon(int index) const
{
    if (index < 0 || index >= ImageCount)
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    QIcon &icon = icons_[index];
    if (icon.isNull())
        for (int size : Sizes())
            icon.addPixmap(VNTRDrawTrayImage(index + 1, size));
    return icon;
}
