#include "twips/widgets.h"

#include <QPainter>

PlainLabel::PlainLabel(QWidget *parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWordWrap(false);
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

FilledRectangle::FilledRectangle(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void FilledRectangle::setBorderStyle(BorderStyle style) {
    m_borderStyle = style;
    update();
}

void FilledRectangle::setBorderColor(const QColor &color) {
    m_borderColor = color;
    update();
}

void FilledRectangle::setFillStyle(FillStyle style) {
    m_fillStyle = style;
    update();
}

void FilledRectangle::setFillColor(const QColor &color) {
    m_fillColor = color;
    update();
}

void FilledRectangle::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    const QRect box = rect();
    if (m_fillStyle == FillStyle::Opaque) painter.fillRect(box, m_fillColor);
    if (m_borderStyle == BorderStyle::Solid) {
        painter.setPen(QPen(m_borderColor, 0));
        painter.drawRect(box.adjusted(0, 0, -1, -1));
    }
}

const QPalette &ButtonPalettes::forColor(const QColor &color, const QPalette &base) {
    auto found = m_palettes.find(color.rgba());
    if (found != m_palettes.end()) return *found;
    QPalette palette = base;
    palette.setColor(QPalette::Button, color);
    // A palette that sets every role is taken by a widget as it is, not resolved into a copy.
    for (int group = 0; group < QPalette::NColorGroups; ++group) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto g = static_cast<QPalette::ColorGroup>(group);
            const auto r = static_cast<QPalette::ColorRole>(role);
            palette.setBrush(g, r, palette.brush(g, r));
        }
    }
    return *m_palettes.insert(color.rgba(), palette);
}

CaptionButton::CaptionButton(QWidget *parent, ButtonPalettes *palettes)
    : QPushButton(parent), m_palettes(palettes) {}

void CaptionButton::setCaption(const QString &caption) {
    m_caption = caption;
    QString shown = caption;
    setText(shown.replace(u'&', QStringLiteral("&&")));
}

void CaptionButton::setFaceColor(const QColor &color) {
    if (m_palettes) {
        setPalette(m_palettes->forColor(color, palette()));
        return;
    }
    QPalette own = palette();
    own.setColor(QPalette::Button, color);
    setPalette(own);
}
