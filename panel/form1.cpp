#include "panel/form1.h"

#include <QMessageBox>
#include <QPointer>

#include "platform/processlauncher.h"

Form1::Form1(FileReader &files, ProcessLauncher &launcher, const QString &argumentText,
             QWidget *parent)
    : TwipsWindow(rowlayout::kClientWidth, rowlayout::kDesignClientHeight, parent),
      m_launcher(launcher),
      m_designHost{QString(), QString::fromUtf16(rowlayout::kDesignAddress)},
      m_but(1) {
    using namespace rowlayout;
    setObjectName(QStringLiteral("Form1"));
    setWindowIcon(QIcon(QStringLiteral(":/norvex/norvex.png")));
    setCaption(QString::fromUtf16(kDesignCaption));

    TwipsButton *first = createBut(1);
    first->setCaption(m_designHost.address);
    first->setLeft(kDesignButtonLeft);
    first->setTop(kDesignButtonTop);
    first->setWidth(kDesignButtonWidth);
    first->setHeight(kPitch);
    describeButton(first, m_designHost);

    // A terminal that closes at once is found out after the click has returned.
    m_launcher.setLateFailureHandler(
        [form = QPointer<Form1>(this)](const Host &host, const QString &why) {
            if (form) form->warnNotStarted(host, why);
        });

    m_list = Form_Initialize(files, argumentText);
    setCaption(m_list.caption);
    for (const HostRow &row : m_list.rows) showRow(row);
    if (m_list.outerHeight) setOuterHeight(*m_list.outerHeight);
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

void Form1::showRow(const HostRow &row) {
    using namespace rowlayout;
    const int n = row.number;

    // Each item is made visible once it is placed: a widget shown before it has a size would first
    // be sized to its contents, which costs a text layout per row for nothing.
    TwipsLabel *label = addLabel(QStringLiteral("Label%1").arg(n));
    label->setHeight(kPitch);
    label->setWidth(kLabelWidth);
    label->setTop(labelTop(row.top));
    label->setCaption(row.host.label);
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
    band->setBackColor(row.color);
    band->setVisible(true);
    // Bands lie under every label and button, so no band ever hides a label's text.
    band->lower();

    TwipsButton *button = n == 1 ? But(1) : createBut(n);
    button->setLeft(kButtonLeft);
    button->setHeight(kPitch);
    button->setWidth(kButtonWidth);
    button->setTop(row.top);
    button->setCaption(row.host.address);
    button->setBackColor(row.color);
    button->setVisible(true);
    // Above the previous row's label, whose transparent lower part reaches into this row.
    button->raise();
    describeButton(button, row.host);
}

const Host *Form1::hostOf(int index) const {
    if (index >= 1 && index <= static_cast<int>(m_list.rows.size()))
        return &m_list.rows[index - 1].host;
    return index == 1 ? &m_designHost : nullptr;
}

void Form1::describeButton(TwipsButton *button, const Host &host) {
    button->setToolTip((host.label.isEmpty() ? QString() : host.label + u'\n') +
                       host.commandLine());
    button->setAccessibleName(QStringLiteral("Ping %1 (%2)").arg(host.label, host.address));
}

void Form1::But_Click(Int16 index) {
    const Host *host = hostOf(index.value());
    if (!host) return;
    try {
        m_launcher.start(*host);
    } catch (const std::exception &e) {
        warnNotStarted(*host, QString::fromStdString(e.what()));
    } catch (...) {
        warnNotStarted(*host, QString());
    }
}

void Form1::warnNotStarted(const Host &host, const QString &why) {
    const QString what =
        QStringLiteral("The ping window for %1 could not be opened.")
            .arg(host.address.isEmpty() ? QStringLiteral("an empty address") : host.address);
    // Window-modal but not blocking: the program, and the window, keep running.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("norvex"),
                                why.isEmpty() ? what : what + QStringLiteral("\n\n") + why,
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("launchWarning"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
