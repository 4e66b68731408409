#include "twips/twipswindow.h"

#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QStyleFactory>
#include <QVBoxLayout>

TwipsWindow::TwipsWindow(int clientWidth, int clientHeight, QWidget *parent)
    : QWidget(parent),
      m_clientWidth(clientWidth),
      m_outerHeight(clientHeight + kFrameAllowance),
      m_scroll(new QScrollArea(this)),
      m_canvas(new QWidget),
      m_buttonStyle(nullptr) {
    // The style that paints a button's colour on its face, where the system's own would not; set
    // by the build (empty: the system's own).
    constexpr const char *kButtonStyle = NORVEX_BUTTON_STYLE;
    if (*kButtonStyle) m_buttonStyle = QStyleFactory::create(QString::fromLatin1(kButtonStyle));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(m_canvas);
    m_canvas->setObjectName(QStringLiteral("canvas"));
    applyClientSize();
}

TwipsWindow::~TwipsWindow() {
    // The buttons use the style until they are gone.
    delete m_scroll;
    delete m_buttonStyle;
}

void TwipsWindow::setCaption(const QString &caption) {
    m_caption = caption;
    // Qt reads "[*]" in a title as the modified marker; doubling it shows it as written.
    QString shown = caption;
    setWindowTitle(shown.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")));
}

void TwipsWindow::setOuterHeight(int twips) {
    m_outerHeight = twips;
    applyClientSize();
}

void TwipsWindow::applyClientSize() {
    const QSize client(twipsToPixels(m_clientWidth), twipsToPixels(std::max(0, clientHeight())));
    m_canvas->setFixedSize(client);
    QSize shown = client;
    // A window taller than the screen would hide its lower rows: show what fits and scroll.
    if (const QScreen *s = screen()) {
        const int room = s->availableGeometry().height() - twipsToPixels(kFrameAllowance);
        if (room > 0 && client.height() > room) {
            shown.setHeight(room);
            shown.rwidth() += style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_scroll);
        }
    }
    setFixedSize(shown);
}

TwipsLabel *TwipsWindow::addLabel(const QString &name) {
    auto *label = new TwipsLabel(m_canvas);
    label->setObjectName(name);
    return label;
}

TwipsRectangle *TwipsWindow::addRectangle(const QString &name) {
    auto *shape = new TwipsRectangle(m_canvas);
    shape->setObjectName(name);
    return shape;
}

TwipsButton *TwipsWindow::addButton(const QString &name) {
    auto *button = new TwipsButton(m_canvas, &m_buttonPalettes);
    button->setObjectName(name);
    if (m_buttonStyle) button->setStyle(m_buttonStyle);
    return button;
}
