#include "twips/widgets.h"

#include <QPainter>

QColor toQColor(ColorValue value) {
    if (value & 0x80000000u) {
        switch (value & 0xFFu) {
            case 0x0C:
                return {0xAB, 0xAB, 0xAB};  // application workspace
            case 0x0F:
                return {0xF0, 0xF0, 0xF0};  // button face
            default:
                return {0x80, 0x80, 0x80};
        }
    }
    return {static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
            static_cast<int>((value >> 16) & 0xFF)};
}

PlainLabel::PlainLabel(QWidget *parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWordWrap(false);
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

ShapeWidget::ShapeWidget(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeWidget::setBorderStyle(int style) {
    m_borderStyle = style;
    update();
}

void ShapeWidget::setBorderColor(ColorValue color) {
    m_borderColor = color;
    update();
}

void ShapeWidget::setBackStyle(int style) {
    m_backStyle = style;
    update();
}

void ShapeWidget::setBackColor(ColorValue color) {
    m_backColor = color;
    update();
}

void ShapeWidget::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    const QRect box = rect();
    if (m_backStyle == 1) painter.fillRect(box, toQColor(m_backColor));
    if (m_borderStyle != 0) {
        painter.setPen(QPen(toQColor(m_borderColor), 0));
        painter.drawRect(box.adjusted(0, 0, -1, -1));
    }
}

const QPalette &ButtonPalettes::forColor(ColorValue color, const QPalette &base) {
    auto found = m_palettes.find(color);
    if (found != m_palettes.end()) return *found;
    QPalette palette = base;
    palette.setColor(QPalette::Button, toQColor(color));
    // A palette that sets every role is taken by a widget as it is, not resolved into a copy.
    for (int group = 0; group < QPalette::NColorGroups; ++group) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto g = static_cast<QPalette::ColorGroup>(group);
            const auto r = static_cast<QPalette::ColorRole>(role);
            palette.setBrush(g, r, palette.brush(g, r));
        }
    }
    return *m_palettes.insert(color, palette);
}

CaptionButton::CaptionButton(QWidget *parent, ButtonPalettes *palettes)
    : QPushButton(parent), m_palettes(palettes) {}

void CaptionButton::setCaption(const QString &caption) {
    m_caption = caption;
    QString shown = caption;
    setText(shown.replace(u'&', QStringLiteral("&&")));
}

void CaptionButton::setBackColor(ColorValue color) {
    m_backColor = color;
    if (m_palettes) {
        setPalette(m_palettes->forColor(color, palette()));
        return;
    }
    QPalette own = palette();
    own.setColor(QPalette::Button, toQColor(color));
    setPalette(own);
}
