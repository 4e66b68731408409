#pragma once

#include <QWidget>

#include "twips/widgets.h"

class QScrollArea;
class QStyle;

// A top-level window laid out in twips: a caption kept exactly as set, a client area of a given
// width, and an outer height of which kFrameAllowance is the title bar's and borders'.
// A client area taller than the screen is shown in part, and scrolls.
class TwipsWindow : public QWidget {
public:
    TwipsWindow(int clientWidth, int clientHeight, QWidget *parent = nullptr);
    ~TwipsWindow() override;

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);

    // Outer height in twips.
    int outerHeight() const { return m_outerHeight; }
    void setOuterHeight(int twips);
    int clientWidth() const { return m_clientWidth; }
    int clientHeight() const { return m_outerHeight - kFrameAllowance; }

    // Items are placed on the client area under a name unique within the window.
    TwipsLabel *addLabel(const QString &name);
    TwipsRectangle *addRectangle(const QString &name);
    TwipsButton *addButton(const QString &name);

    // The widget the items sit on.
    QWidget *canvas() const { return m_canvas; }

private:
    void applyClientSize();

    QString m_caption;
    int m_clientWidth;
    int m_outerHeight;
    QScrollArea *m_scroll;
    QWidget *m_canvas;
    QStyle *m_buttonStyle;
    ButtonPalettes m_buttonPalettes;
};
