#pragma once

#include <QColor>
#include <QHash>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QWidget>
#include "twips/twips.h"

// The desktop's classic application workspace grey, which frames the rows' bands.
inline const QColor kAppWorkspaceColor{0xAB, 0xAB, 0xAB};

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

enum class BorderStyle { None, Solid };  // Solid: a one-pixel line
enum class FillStyle { Transparent, Opaque };

// A rectangle, filled and bordered as set; clicks pass through it.
class FilledRectangle : public QWidget {
public:
    explicit FilledRectangle(QWidget *parent);
    BorderStyle borderStyle() const { return m_borderStyle; }
    void setBorderStyle(BorderStyle style);
    QColor borderColor() const { return m_borderColor; }
    void setBorderColor(const QColor &color);
    FillStyle fillStyle() const { return m_fillStyle; }
    void setFillStyle(FillStyle style);
    QColor fillColor() const { return m_fillColor; }
    void setFillColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    BorderStyle m_borderStyle = BorderStyle::Solid;
    QColor m_borderColor = Qt::black;
    FillStyle m_fillStyle = FillStyle::Transparent;
    QColor m_fillColor = Qt::white;
};

// One palette per button colour, shared by every button of that colour: the style caches what
// it draws by palette, so buttons of one colour are drawn once between them.
class ButtonPalettes {
public:
    // base with the button face in color and every role set, so no widget makes a copy of it.
    const QPalette &forColor(const QColor &color, const QPalette &base);

private:
    QHash<QRgb, QPalette> m_palettes;
};

// A push button whose caption is kept exactly as set; only the text shown is escaped, so "&" is
// never taken as a shortcut marker. Its face takes the face colour once one is set (else the
// style's own), from palettes shared with other buttons when it is given them.
class CaptionButton : public QPushButton {
public:
    explicit CaptionButton(QWidget *parent, ButtonPalettes *palettes = nullptr);
    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    QColor faceColor() const { return palette().color(QPalette::Button); }
    void setFaceColor(const QColor &color);

private:
    QString m_caption;
    ButtonPalettes *m_palettes;
};

using TwipsLabel = Twips<PlainLabel>;
using TwipsRectangle = Twips<FilledRectangle>;
using TwipsButton = Twips<CaptionButton>;
