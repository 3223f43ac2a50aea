#include "ui/Icons.h"

#include "core/ConsoleApp.h"
#include "support/LogSink.h"

#include <QPainter>
#include <QPainterPath>

namespace vesk::ui {

namespace {

QPixmap blank(int size)
{
    QPixmap p(size, size);
    p.fill(Qt::transparent);
    return p;
}

// A filled disc with a white symbol drawn on a 16-unit grid.
template<typename Symbol> QPixmap disc(int size, QColor colour, Symbol symbol)
{
    QPixmap p = blank(size);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.scale(size / 16.0, size / 16.0);
    g.setPen(QPen(colour.darker(130), 0.8));
    g.setBrush(colour);
    g.drawEllipse(QRectF(0.8, 0.8, 14.4, 14.4));
    g.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    g.setBrush(Qt::white);
    symbol(g);
    return p;
}

QPixmap envelope(int size, QColor colour, bool arrowOut, bool arrowIn)
{
    QPixmap p = blank(size);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.scale(size / 16.0, size / 16.0);
    g.setPen(QPen(colour.darker(150), 1.0));
    g.setBrush(QColor(255, 255, 255));
    g.drawRect(QRectF(1.5, 4.5, 11, 8));
    g.drawPolyline(QPolygonF({QPointF(1.5, 4.5), QPointF(7, 9), QPointF(12.5, 4.5)}));
    g.setPen(QPen(colour, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (arrowOut) {
        g.drawLine(QPointF(10, 2.5), QPointF(15, 2.5));
        g.drawPolyline(QPolygonF({QPointF(13, 0.8), QPointF(15, 2.5), QPointF(13, 4.2)}));
    }
    if (arrowIn) {
        g.drawLine(QPointF(15, 2.5), QPointF(10, 2.5));
        g.drawPolyline(QPolygonF({QPointF(12, 0.8), QPointF(10, 2.5), QPointF(12, 4.2)}));
    }
    return p;
}

} // namespace

QPixmap LogIcon(int level, int size)
{
    switch (level) {
    case icon::kInfo: // information
        return disc(size, QColor(40, 110, 200), [](QPainter& g) {
            g.drawLine(QPointF(8, 7), QPointF(8, 12));
            g.drawPoint(QPointF(8, 4.3));
        });
    case icon::kWarning: { // warning: amber triangle
        QPixmap p = blank(size);
        QPainter g(&p);
        g.setRenderHint(QPainter::Antialiasing);
        g.scale(size / 16.0, size / 16.0);
        g.setPen(QPen(QColor(170, 110, 0), 0.8));
        g.setBrush(QColor(245, 175, 20));
        g.drawPolygon(QPolygonF({QPointF(8, 1), QPointF(15.3, 14.6), QPointF(0.7, 14.6)}));
        g.setPen(QPen(Qt::black, 1.8, Qt::SolidLine, Qt::RoundCap));
        g.drawLine(QPointF(8, 5.5), QPointF(8, 9.5));
        g.drawPoint(QPointF(8, 12.3));
        return p;
    }
    case icon::kError: // error
        return disc(size, QColor(200, 35, 35), [](QPainter& g) {
            g.drawLine(QPointF(5.2, 5.2), QPointF(10.8, 10.8));
            g.drawLine(QPointF(10.8, 5.2), QPointF(5.2, 10.8));
        });
    case icon::kSending: // sending
        return envelope(size, QColor(40, 110, 200), true, false);
    case icon::kDelivered: // delivered
        return disc(size, QColor(30, 150, 60), [](QPainter& g) {
            g.setBrush(Qt::NoBrush);
            g.drawPolyline(QPolygonF({QPointF(4.5, 8.3), QPointF(7, 10.8), QPointF(11.5, 5.5)}));
        });
    case icon::kNotDelivered: // not delivered
        return disc(
            size, QColor(215, 120, 20), [](QPainter& g) { g.drawLine(QPointF(4.5, 8), QPointF(11.5, 8)); });
    case icon::kModem: { // modem: a handset with signal bars
        QPixmap p = blank(size);
        QPainter g(&p);
        g.setRenderHint(QPainter::Antialiasing);
        g.scale(size / 16.0, size / 16.0);
        g.setPen(QPen(QColor(60, 60, 70), 0.8));
        g.setBrush(QColor(95, 100, 115));
        g.drawRoundedRect(QRectF(2, 1.5, 7, 13), 1.5, 1.5);
        g.setBrush(QColor(170, 220, 235));
        g.drawRect(QRectF(3.3, 3, 4.4, 4));
        g.setPen(Qt::NoPen);
        g.setBrush(QColor(30, 150, 60));
        for (int i = 0; i < 3; ++i)
            g.drawRect(QRectF(10.5 + i * 1.8, 11.5 - i * 3, 1.3, 3 + i * 3));
        return p;
    }
    case icon::kInbound: // inbound
        return envelope(size, QColor(30, 150, 60), false, true);
    case icon::kMailed: { // mailed: envelope with an "@"
        QPixmap p = envelope(size, QColor(120, 70, 170), false, false);
        QPainter g(&p);
        g.setRenderHint(QPainter::Antialiasing);
        g.scale(size / 16.0, size / 16.0);
        g.setPen(QPen(QColor(120, 70, 170), 1.6));
        g.setBrush(Qt::NoBrush);
        g.drawEllipse(QRectF(10.5, 0.8, 4.6, 4.6));
        return p;
    }
    default:
        return {};
    }
}

QPixmap ModeIcon(int image, int size)
{
    switch (image) {
    case core::modeImage::kIdle: // waiting for work
        return disc(size, QColor(30, 150, 60), [](QPainter& g) {
            g.drawPolygon(QPolygonF({QPointF(6, 4.5), QPointF(11.5, 8), QPointF(6, 11.5)}));
        });
    case core::modeImage::kPaused:
        return disc(size, QColor(215, 150, 20), [](QPainter& g) {
            g.setPen(Qt::NoPen);
            g.drawRect(QRectF(5, 4.5, 2.2, 7));
            g.drawRect(QRectF(8.8, 4.5, 2.2, 7));
        });
    case core::modeImage::kSending:
        return LogIcon(icon::kSending, size);
    default: // busy
        return disc(size, QColor(40, 110, 200), [](QPainter& g) {
            g.setBrush(Qt::NoBrush);
            g.drawLine(QPointF(8, 8), QPointF(8, 4.5));
            g.drawLine(QPointF(8, 8), QPointF(10.5, 9.5));
        });
    }
}

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addPixmap(envelope(size, QColor(40, 110, 200), true, false));
    return icon;
}

} // namespace vesk::ui
