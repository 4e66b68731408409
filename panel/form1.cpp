#include "panel/form1.h"

#include <QLabel>
#include <QMessageBox>
#include <QPointer>

#include "app/startup.h"
#include "panel/pingcommand.h"
#include "platform/processlauncher.h"

Form1::Form1(FileReader &files, ProcessLauncher &launcher, const QString &argumentText,
             QWidget *parent)
    : TwipsWindow(rowlayout::kClientWidth, rowlayout::kDesignClientHeight, parent),
      m_launcher(launcher),
      m_but(1) {
    setObjectName(QStringLiteral("Form1"));
    setWindowIcon(QIcon(QStringLiteral(":/norvex/norvex.png")));
    setCaption(QString::fromUtf16(rowlayout::kDesignCaption));

    TwipsButton *first = createBut(1);
    first->setCaption(QStringLiteral("127.0.0.1"));
    first->setLeft(1845);
    first->setTop(120);
    first->setWidth(1380);
    first->setHeight(375);
    describeButton(first, QString());

    // A terminal that closes at once is found out after the click has returned.
    m_launcher.setLateFailureHandler(
        [form = QPointer<Form1>(this)](const QString &commandLine, const QString &why) {
            if (form) form->warnNotStarted(commandLine.mid(pingCommandLine(QString()).size()), why);
        });

    m_loadError = Form_Initialize(*this, files, argumentText);
}

TwipsButton *Form1::But(int index) const {
    return index > 0 && index < static_cast<int>(m_but.size()) ? m_but[index] : nullptr;
}

TwipsButton *Form1::createBut(int index) {
    TwipsButton *button = addButton(QStringLiteral("But"));
    button->setProperty("Index", index);
    QObject::connect(button, &QPushButton::clicked, this,
                     [this, index] { But_Click(Int16::from(index)); });
    if (static_cast<int>(m_but.size()) <= index) m_but.resize(index + 1);
    m_but[index] = button;
    return button;
}

void Form1::addRow(const HostRow &row) {
    using namespace rowlayout;
    const int n = row.number;

    // Each item is made visible once it is placed: a widget shown before it has a size would first
    // be sized to its contents, which costs a text layout per row for nothing.
    TwipsLabel *label = addLabel(QStringLiteral("Label%1").arg(n));
    label->setHeight(kPitch);
    label->setWidth(kLabelWidth);
    label->setTop(labelTop(row.top));
    label->setCaption(row.label);
    label->setLeft(kLabelLeft);
    label->setFont(QFont(QStringLiteral("Verdana"), 8));
    label->setVisible(true);
    label->raise();

    TwipsShape *band = addShape(QStringLiteral("Shape1%1").arg(n));
    band->setTop(row.top);
    band->setLeft(kBandLeft);
    band->setHeight(kPitch);
    band->setWidth(kBandWidth);
    band->setBorderStyle(1);
    band->setBorderColor(kAppWorkspaceColor);
    band->setBackStyle(1);
    band->setBackColor(rowColor(n));
    band->setVisible(true);
    // Bands lie under every label and button, so no band ever hides a label's text.
    band->lower();

    TwipsButton *button = n == 1 ? But(1) : createBut(n);
    button->setLeft(kButtonLeft);
    button->setHeight(kPitch);
    button->setWidth(kButtonWidth);
    button->setTop(row.top);
    button->setCaption(row.address);
    button->setBackColor(rowColor(n));
    button->setVisible(true);
    // Above the previous row's label, whose transparent lower part reaches into this row.
    button->raise();
    describeButton(button, row.label);
}

void Form1::describeButton(TwipsButton *button, const QString &label) {
    const QString address = button->caption();
    button->setToolTip((label.isEmpty() ? QString() : label + u'\n') + pingCommandLine(address));
    button->setAccessibleName(QStringLiteral("Ping %1 (%2)").arg(label, address));
}

void Form1::But_Click(Int16 index) {
    TwipsButton *button = But(index.value());
    if (!button) return;
    const QString address = button->caption();
    // The row's own label names the window; the design-time button has none.
    const auto *rowLabel = findChild<QLabel *>(QStringLiteral("Label%1").arg(index.value()));
    const QString label = rowLabel ? rowLabel->text() : QString();
    const QString title = label.isEmpty() ? address : label + QStringLiteral(" - ") + address;
    try {
        m_launcher.start(pingCommandLine(address), title);
    } catch (const std::exception &e) {
        warnNotStarted(address, QString::fromStdString(e.what()));
    } catch (...) {
        warnNotStarted(address, QString());
    }
}

void Form1::warnNotStarted(const QString &address, const QString &why) {
    const QString what = QStringLiteral("The ping window for %1 could not be opened.")
                             .arg(address.isEmpty() ? QStringLiteral("an empty address") : address);
    // Window-modal but not blocking: the program, and the window, keep running.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("norvex"),
                                why.isEmpty() ? what : what + QStringLiteral("\n\n") + why,
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("launchWarning"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
