#include "panel/form1.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>

#include "panel/checkqueue.h"
#include "platform/hostcheck.h"
#include "platform/processlauncher.h"

Form1::Form1(FileReader &files, ProcessLauncher &launcher, const QString &argumentText,
             HostChecker *checker, QWidget *parent)
    : TwipsWindow(rowlayout::kClientWidth, rowlayout::kDesignClientHeight, parent),
      m_launcher(launcher),
      m_designHost{QString(), QString::fromUtf16(rowlayout::kDesignAddress)},
      m_but(1),
      m_checker(checker) {
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

    if (!m_checker) return;
    // Offered, never done unasked: nothing is sent until the user chooses one of these.
    m_checkAll = new QAction(QStringLiteral("Check all hosts"), this);
    m_checkAll->setObjectName(QStringLiteral("checkAll"));
    m_checkAll->setShortcut(QKeySequence(Qt::Key_F5));
    QObject::connect(m_checkAll, &QAction::triggered, this, [this] { checkAll(); });
    m_keepChecking = new QAction(QStringLiteral("Keep checking"), this);
    m_keepChecking->setObjectName(QStringLiteral("keepChecking"));
    m_keepChecking->setCheckable(true);
    m_keepChecking->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    QObject::connect(m_keepChecking, &QAction::toggled, this,
                     [this](bool on) { m_checks->setKeepChecking(on); });
    addAction(m_checkAll);
    addAction(m_keepChecking);
    makeCheckQueue(*m_checker, CheckQueue::kRepeatMs);
}

Form1::~Form1() = default;

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

void Form1::makeCheckQueue(HostChecker &checker, int pauseMs) {
    // The rows built, those before a load failure too; without any, the design-time button.
    std::map<int, Host> hosts;
    for (const HostRow &row : m_list.rows) hosts.emplace(row.number, row.host);
    if (hosts.empty()) hosts.emplace(1, m_designHost);
    CheckQueue::Listener listener;
    listener.waiting = [this](int index) {
        const Host *host = hostOf(index);
        const QString target = host->checkTarget();
        showCheck(index, CheckMark::Look::Checking,
                  QStringLiteral("Checking whether %1 answers")
                      .arg(target.isEmpty() ? host->address : target));
    };
    listener.finished = [this](int index, const CheckResult &result) { showResult(index, result); };
    listener.idle = [] {};
    m_checks =
        std::make_unique<CheckQueue>(checker, std::move(hosts), std::move(listener), pauseMs);
}

void Form1::setKeepCheckingPause(int ms) {
    if (!m_checker) return;
    m_checks.reset();
    makeCheckQueue(*m_checker, ms);
    if (m_keepChecking->isChecked()) m_checks->setKeepChecking(true);
}

void Form1::checkAll() {
    if (m_checks) m_checks->checkAll();
}

void Form1::checkHost(int index) {
    if (m_checks) m_checks->checkOne(index);
}

Twips<CheckMark> *Form1::markOf(int index) const {
    const auto found = m_marks.find(index);
    return found == m_marks.end() ? nullptr : found->second;
}

void Form1::showResult(int index, const CheckResult &result) {
    const Host *host = hostOf(index);
    QString name = host->checkTarget();
    if (name.isEmpty()) name = host->address;
    QString words;
    switch (result.state) {
        case CheckResult::State::Answered:
            words = result.roundTripMs >= 0
                        ? QStringLiteral("%1 answered in %2 ms")
                              .arg(name, QString::number(result.roundTripMs, 'g', 3))
                        : QStringLiteral("%1 answered").arg(name);
            break;
        case CheckResult::State::NoAnswer:
            words = QStringLiteral("No answer from %1: %2").arg(name, result.detail);
            break;
        case CheckResult::State::CouldNotCheck:
            words = QStringLiteral("Could not check %1: %2").arg(name, result.detail);
            break;
    }
    showCheck(index, CheckMark::lookOf(result.state), words);
}

void Form1::showCheck(int index, CheckMark::Look look, const QString &words) {
    TwipsButton *button = But(index);
    if (!button) return;
    Twips<CheckMark> *mark = markOf(index);
    if (!mark) {
        // On the band, just left of the button, centred on the row.
        constexpr int kSide = 195;
        const TwipsRect &at = button->twips();
        mark = new Twips<CheckMark>(canvas());
        mark->setObjectName(QStringLiteral("Mark%1").arg(index));
        mark->setLeft(at.left - rowlayout::kBandLeft - kSide);
        mark->setTop(at.top + (rowlayout::kPitch - kSide) / 2.0);
        mark->setWidth(kSide);
        mark->setHeight(kSide);
        if (index <= static_cast<int>(m_list.rows.size()))
            mark->setBackground(toQColor(m_list.rows[index - 1].color));
        mark->setAccessibleName(QStringLiteral("Check of %1").arg(button->caption()));
        mark->show();
        mark->raise();
        m_marks.emplace(index, mark);
    }
    mark->setLook(look);
    mark->setToolTip(words);
    mark->setAccessibleDescription(words);
    button->setAccessibleDescription(words);
}

int Form1::rowAt(const QPoint &canvasPoint) const {
    for (int index = 1; index < static_cast<int>(m_but.size()); ++index) {
        if (m_but[index] && m_but[index]->geometry().contains(canvasPoint)) return index;
    }
    for (const HostRow &row : m_list.rows) {
        const TwipsRect band{rowlayout::kBandLeft, static_cast<double>(row.top),
                             rowlayout::kBandWidth, rowlayout::kPitch};
        if (toPixels(band).contains(canvasPoint)) return row.number;
    }
    return 0;
}

void Form1::contextMenuEvent(QContextMenuEvent *event) {
    if (!m_checks) {
        TwipsWindow::contextMenuEvent(event);
        return;
    }
    int index = 0;
    if (event->reason() == QContextMenuEvent::Keyboard) {
        // The menu key: the row whose button has the focus.
        for (int i = 1; i < static_cast<int>(m_but.size()); ++i) {
            if (m_but[i] && m_but[i]->hasFocus()) index = i;
        }
    }
    // Else the row under the pointer (a keyboard menu opens over the focused item).
    if (!index) index = rowAt(canvas()->mapFromGlobal(event->globalPos()));
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("checkMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (index) {
        QAction *one = menu->addAction(QStringLiteral("Check this host"));
        one->setObjectName(QStringLiteral("checkHost"));
        QObject::connect(one, &QAction::triggered, this, [this, index] { checkHost(index); });
        menu->addSeparator();
    }
    menu->addAction(m_checkAll);
    menu->addAction(m_keepChecking);
    menu->popup(event->globalPos());
    event->accept();
}
