#pragma once

#include <QHash>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QWidget>
#include <cstdint>

#include "twips/twips.h"

// A colour value: 0x00BBGGRR, or 0x800000nn for system colour nn.
using ColorValue = std::uint32_t;

inline constexpr ColorValue kAppWorkspaceColor = 0x8000000C;

// The colour a value stands for; system colours use their classic desktop defaults.
QColor toQColor(ColorValue value);

// Gives a widget a position and size in twips, kept as set and shown in pixels.
template <class Base>
class Twips : public Base {
public:
    using Base::Base;
    const TwipsRect &twips() const { return m_twips; }
    void setLeft(double v) {
        m_twips.left = v;
        apply();
    }
    void setTop(double v) {
        m_twips.top = v;
        apply();
    }
    void setWidth(double v) {
        m_twips.width = v;
        apply();
    }
    void setHeight(double v) {
        m_twips.height = v;
        apply();
    }

private:
    void apply() { Base::setGeometry(toPixels(m_twips)); }
    TwipsRect m_twips;
};

// A text item that shows its caption literally, left-aligned from its top edge, on a transparent
// background; clicks pass through it to whatever lies below.
class PlainLabel : public QLabel {
public:
    explicit PlainLabel(QWidget *parent);
    QString caption() const { return text(); }
    void setCaption(const QString &caption) { setText(caption); }
};

// A filled rectangle with a one-pixel border.
class ShapeWidget : public QWidget {
public:
    explicit ShapeWidget(QWidget *parent);
    int borderStyle() const { return m_borderStyle; }
    void setBorderStyle(int style);
    ColorValue borderColor() const { return m_borderColor; }
    void setBorderColor(ColorValue color);
    int backStyle() const { return m_backStyle; }
    void setBackStyle(int style);
    ColorValue backColor() const { return m_backColor; }
    void setBackColor(ColorValue color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_borderStyle = 1;
    ColorValue m_borderColor = 0;
    int m_backStyle = 0;
    ColorValue m_backColor = 0xFFFFFF;
};

// One palette per button colour, shared by every button of that colour: the style caches what
// it draws by palette, so buttons of one colour are drawn once between them.
class ButtonPalettes {
public:
    // base with the button face in color and every role set, so no widget makes a copy of it.
    const QPalette &forColor(ColorValue color, const QPalette &base);

private:
    QHash<ColorValue, QPalette> m_palettes;
};

// A push button whose caption is kept exactly as set; only the text shown is escaped, so "&" is
// never taken as a shortcut marker. Its face takes the back colour, from palettes shared with
// other buttons when it is given them.
class CaptionButton : public QPushButton {
public:
    explicit CaptionButton(QWidget *parent, ButtonPalettes *palettes = nullptr);
    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    ColorValue backColor() const { return m_backColor; }
    void setBackColor(ColorValue color);

private:
    QString m_caption;
    ColorValue m_backColor = 0x8000000F;
    ButtonPalettes *m_palettes;
};

using TwipsLabel = Twips<PlainLabel>;
using TwipsShape = Twips<ShapeWidget>;
using TwipsButton = Twips<CaptionButton>;
