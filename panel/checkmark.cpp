#include "panel/checkmark.h"

#include <QPainter>
#include <QPainterPath>

CheckMark::CheckMark(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents, false);  // for its tooltip
}

void CheckMark::setLook(Look look) {
    m_look = look;
    update();
}

void CheckMark::setBackground(const QColor &color) {
    m_background = color;
    update();
}

void CheckMark::setStale(bool stale) {
    m_stale = stale;
    update();
}

CheckMark::Look CheckMark::lookOf(CheckResult::State state) {
    switch (state) {
        case CheckResult::State::Answered:
            return Look::Answered;
        case CheckResult::State::NoAnswer:
            return Look::NoAnswer;
        case CheckResult::State::CouldNotCheck:
            break;
    }
    return Look::CouldNotCheck;
}

void CheckMark::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_background.isValid()) painter.fillRect(rect(), m_background);
    if (m_stale) painter.setOpacity(0.35);
    // Drawn on a 12 x 12 grid, centred; dark enough for both band colours.
    const double side = std::min(width(), height());
    painter.translate((width() - side) / 2.0, (height() - side) / 2.0);
    painter.scale(side / 12.0, side / 12.0);
    QPen sign(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (m_look) {
        case Look::Checking: {
            painter.setPen(QPen(QColor(0x5f, 0x63, 0x68), 1.2));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(QRectF(1, 1, 10, 10));
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0x5f, 0x63, 0x68));
            for (const double x : {3.5, 6.0, 8.5}) painter.drawEllipse(QPointF(x, 6), 0.9, 0.9);
            break;
        }
        case Look::Answered: {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0x1b, 0x7f, 0x3b));
            painter.drawEllipse(QRectF(0.5, 0.5, 11, 11));
            painter.setPen(sign);
            painter.drawPolyline(
                QPolygonF({QPointF(3.2, 6.3), QPointF(5.2, 8.3), QPointF(8.8, 3.9)}));
            break;
        }
        case Look::Slow: {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0x5b, 0x3f, 0xa8));
            painter.drawEllipse(QRectF(0.5, 0.5, 11, 11));
            painter.setPen(sign);
            painter.drawPolyline(QPolygonF({QPointF(6, 2.8), QPointF(6, 6), QPointF(8.6, 7.4)}));
            break;
        }
        case Look::NoAnswer: {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0xc6, 0x28, 0x28));
            painter.drawRoundedRect(QRectF(0.8, 0.8, 10.4, 10.4), 1.5, 1.5);
            painter.setPen(sign);
            painter.drawLine(QPointF(3.8, 3.8), QPointF(8.2, 8.2));
            painter.drawLine(QPointF(8.2, 3.8), QPointF(3.8, 8.2));
            break;
        }
        case Look::CouldNotCheck: {
            QPainterPath triangle;
            triangle.moveTo(6, 0.5);
            triangle.lineTo(11.6, 11);
            triangle.lineTo(0.4, 11);
            triangle.closeSubpath();
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0xa8, 0x5a, 0x00));
            painter.drawPath(triangle);
            painter.setPen(sign);
            painter.drawLine(QPointF(6, 4.2), QPointF(6, 7.2));
            painter.drawPoint(QPointF(6, 9.3));
            break;
        }
    }
}
