#include "uMenuImages.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// A sheet of paper with a folded corner: the reminder every picture but help starts from.
void DrawSheet(QPainter &p, int s)
{
    const qreal m = s * 0.12;
    QPainterPath sheet;
    sheet.moveTo(m, m);
    sheet.lineTo(s * 0.62, m);
    sheet.lineTo(s - m * 1.6, s * 0.3);
    sheet.lineTo(s - m * 1.6, s - m);
    sheet.lineTo(m, s - m);
    sheet.closeSubpath();
    p.setPen(QPen(QColor(70, 70, 90), qMax(1.0, s / 16.0)));
    p.setBrush(QColor(255, 250, 205));
    p.drawPath(sheet);
    p.setPen(QPen(QColor(150, 150, 160), qMax(1.0, s / 20.0)));
    for (int i = 0; i < 3; ++i) {
        const qreal y = s * (0.42 + 0.14 * i);
        p.drawLine(QPointF(m * 2.2, y), QPointF(s * 0.66, y));
    }
}

QPixmap Draw(int index, int s)
{
    QPixmap pixmap(s, s);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = qMax(1.5, s / 8.0);
    switch (index) {
    case TVNTRMenuImages::Help: {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 90, 200));
        p.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(qRound(s * 0.72));
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 0, s, s), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case TVNTRMenuImages::Add:
        DrawSheet(p, s);
        p.setPen(QPen(QColor(20, 150, 40), w, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(s * 0.72, s * 0.52), QPointF(s * 0.72, s * 0.92));
        p.drawLine(QPointF(s * 0.52, s * 0.72), QPointF(s * 0.92, s * 0.72));
        break;
    case TVNTRMenuImages::Remove:
        DrawSheet(p, s);
        p.setPen(QPen(QColor(200, 30, 30), w, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(s * 0.55, s * 0.55), QPointF(s * 0.9, s * 0.9));
        p.drawLine(QPointF(s * 0.9, s * 0.55), QPointF(s * 0.55, s * 0.9));
        break;
    case TVNTRMenuImages::Edit:
        DrawSheet(p, s);
        p.setPen(QPen(QColor(40, 40, 40), qMax(1.0, s / 16.0)));
        p.setBrush(QColor(240, 170, 40));
        {
            QPainterPath pencil;
            pencil.moveTo(s * 0.45, s * 0.95);
            pencil.lineTo(s * 0.5, s * 0.78);
            pencil.lineTo(s * 0.88, s * 0.4);
            pencil.lineTo(s * 0.98, s * 0.5);
            pencil.lineTo(s * 0.6, s * 0.88);
            pencil.closeSubpath();
            p.drawPath(pencil);
        }
        break;
    case TVNTRMenuImages::Recurring:
        DrawSheet(p, s);
        p.setPen(QPen(QColor(30, 90, 200), w * 0.8, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        {
            const QRectF ring(s * 0.5, s * 0.5, s * 0.44, s * 0.44);
            p.drawArc(ring, 30 * 16, 300 * 16);
            p.setBrush(QColor(30, 90, 200));
            QPainterPath head;
            head.moveTo(s * 0.98, s * 0.58);
            head.lineTo(s * 0.86, s * 0.5);
            head.lineTo(s * 0.96, s * 0.74);
            head.closeSubpath();
            p.drawPath(head);
        }
        break;
    default:
        break;
    }
    return pixmap;
}

} // namespace

QIcon TVNTRMenuImages::Icon(int index)
{
    static QIcon icons[ImageCount];
    if (index < 0 || index >= ImageCount)
        return {};
    if (icons[index].isNull())
        for (int size : {16, 24, 32, 48})
            icons[index].addPixmap(Draw(index, size));
    return icons[index];
}
