#include "panel/mainwindow.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>

#include "panel/checkqueue.h"
#include "platform/hostcheck.h"
#include "platform/processlauncher.h"

namespace {

QColor colorOf(const HostRow &row) { return QColor(row.color.red, row.color.green, row.color.blue); }

// What a check of the host is sent to, as its mark's words name it.
QString checkedName(const Host &host) {
    if (const std::optional<PortTarget> port = host.portTarget())
        return QStringLiteral("%1 port %2").arg(port->host).arg(port->port);
    const QString target = host.checkTarget();
    return target.isEmpty() ? host.address : target;
}

QString probeWords(const PortTarget &port) {
    return QStringLiteral("A click probes TCP port %1 on %2").arg(port.port).arg(port.host);
}

}  // namespace

MainWindow::MainWindow(FileReader &files, ProcessLauncher &launcher, const QString &argumentText,
             HostChecker *checker, QWidget *parent)
    : TwipsWindow(rowlayout::kClientWidth, rowlayout::kEmptyClientHeight, parent),
      m_launcher(launcher),
      m_placeholderHost{QString(), QString::fromUtf16(rowlayout::kPlaceholderAddress)},
      m_checker(checker) {
    using namespace rowlayout;
    setObjectName(QStringLiteral("mainWindow"));
    setWindowIcon(QIcon(QStringLiteral(":/norvex/norvex.png")));
    setCaption(QString::fromUtf16(kProgramTitle));

    TwipsButton *placeholder = addPingButton(1);
    placeholder->setCaption(m_placeholderHost.address);
    placeholder->setLeft(kPlaceholderButtonLeft);
    placeholder->setTop(kPlaceholderButtonTop);
    placeholder->setWidth(kPlaceholderButtonWidth);
    placeholder->setHeight(kPitch);
    describeButton(placeholder, m_placeholderHost);

    // A terminal that closes at once is found out after the click has returned.
    m_launcher.setLateFailureHandler(
        [window = QPointer<MainWindow>(this)](const Host &host, const QString &why) {
            if (window) window->warnNotStarted(host, why);
        });

    {
        // The list's text goes with this scope: the window needs only the rows, and none of
        // the text is held while their widgets are built.
        LoadedList list = loadList(files, argumentText);
        setCaption(list.caption);
        m_rows = std::move(list.rows);
        m_loadError = std::move(list.error);
        if (list.outerHeight) setOuterHeight(*list.outerHeight);
    }
    for (const HostRow &row : m_rows) showRow(row);

    auto *trace = new QAction(QStringLiteral("&Trace route"), this);
    trace->setObjectName(QStringLiteral("traceRoute"));
    trace->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    QObject::connect(trace, &QAction::triggered, this, [this] { traceRoute(focusedRow()); });
    addAction(trace);

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

MainWindow::~MainWindow() = default;

TwipsButton *MainWindow::pingButton(int row) const {
    return row >= 1 && row <= static_cast<int>(m_pingButtons.size()) ? m_pingButtons[row - 1]
                                                                      : nullptr;
}

TwipsButton *MainWindow::addPingButton(int row) {
    TwipsButton *button = addButton(QStringLiteral("pingButton%1").arg(row));
    QObject::connect(button, &QPushButton::clicked, this, [this, row] { startPing(row); });
    m_pingButtons.push_back(button);
    return button;
}

void MainWindow::showRow(const HostRow &row) {
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

    TwipsRectangle *band = addRectangle(QStringLiteral("Shape1%1").arg(n));
    band->setTop(row.top);
    band->setLeft(kBandLeft);
    band->setHeight(kPitch);
    band->setWidth(kBandWidth);
    band->setBorderStyle(BorderStyle::Solid);
    band->setBorderColor(kAppWorkspaceColor);
    band->setFillStyle(FillStyle::Opaque);
    band->setFillColor(colorOf(row));
    band->setVisible(true);
    // Bands lie under every label and button, so no band ever hides a label's text.
    band->lower();

    TwipsButton *button = n == 1 ? pingButton(1) : addPingButton(n);
    button->setLeft(kButtonLeft);
    button->setHeight(kPitch);
    button->setWidth(kButtonWidth);
    button->setTop(row.top);
    button->setCaption(row.host.address);
    button->setFaceColor(colorOf(row));
    button->setVisible(true);
    // Above the previous row's label, whose transparent lower part reaches into this row.
    button->raise();
    describeButton(button, row.host);
}

const Host *MainWindow::hostOf(int row) const {
    if (row >= 1 && row <= static_cast<int>(m_rows.size()))
        return &m_rows[row - 1].host;
    return row == 1 ? &m_placeholderHost : nullptr;
}

void MainWindow::describeButton(TwipsButton *button, const Host &host) {
    const QString heading = host.label.isEmpty() ? QString() : host.label + u'\n';
    if (const std::optional<PortTarget> port = host.portTarget()) {
        const QString probes = probeWords(*port);
        button->setToolTip(heading + probes);
        button->setAccessibleName(QStringLiteral("Probe %1 (%2)").arg(host.label, host.address));
        button->setAccessibleDescription(probes);
        return;
    }
    button->setToolTip(heading + host.commandLine());
    button->setAccessibleName(QStringLiteral("Ping %1 (%2)").arg(host.label, host.address));
}

void MainWindow::startPing(int row) {
    const Host *host = hostOf(row);
    if (!host) return;
    try {
        m_launcher.start(*host);
    } catch (const std::exception &e) {
        warnNotStarted(*host, QString::fromStdString(e.what()));
    } catch (...) {
        warnNotStarted(*host, QString());
    }
}

void MainWindow::traceRoute(int row) {
    const Host *host = hostOf(row);
    if (!host) return;
    try {
        m_launcher.startTraceRoute(*host);
    } catch (const std::exception &e) {
        warnNotStarted(*host, QString::fromStdString(e.what()), QStringLiteral("trace route window"));
    }
}

int MainWindow::focusedRow() const {
    for (int row = 1; row <= static_cast<int>(m_pingButtons.size()); ++row) {
        if (pingButton(row)->hasFocus()) return row;
    }
    return 0;
}

void MainWindow::warnNotStarted(const Host &host, const QString &why, const QString &window) {
    const QString what =
        QStringLiteral("The %1 for %2 could not be opened.")
            .arg(window,
                 host.address.isEmpty() ? QStringLiteral("an empty address") : host.address);
    // Window-modal but not blocking: the program, and the window, keep running.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("norvex"),
                                why.isEmpty() ? what : what + QStringLiteral("\n\n") + why,
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("launchWarning"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindow::makeCheckQueue(HostChecker &checker, int pauseMs) {
    // The rows built, those before a load failure too; without any, the placeholder button.
    std::map<int, Host> hosts;
    for (const HostRow &row : m_rows) hosts.emplace(row.number, row.host);
    if (hosts.empty()) hosts.emplace(1, m_placeholderHost);
    CheckQueue::Listener listener;
    listener.waiting = [this](int row) {
        showCheck(row, CheckMark::Look::Checking,
                  QStringLiteral("Checking whether %1 answers").arg(checkedName(*hostOf(row))));
    };
    listener.finished = [this](int row, const CheckResult &result) { showResult(row, result); };
    listener.idle = [] {};
    m_checks =
        std::make_unique<CheckQueue>(checker, std::move(hosts), std::move(listener), pauseMs);
}

void MainWindow::setKeepCheckingPause(int ms) {
    if (!m_checker) return;
    m_checks.reset();
    makeCheckQueue(*m_checker, ms);
    if (m_keepChecking->isChecked()) m_checks->setKeepChecking(true);
}

void MainWindow::checkAll() {
    if (m_checks) m_checks->checkAll();
}

void MainWindow::checkHost(int row) {
    if (m_checks) m_checks->checkOne(row);
}

Twips<CheckMark> *MainWindow::markOf(int row) const {
    const auto found = m_marks.find(row);
    return found == m_marks.end() ? nullptr : found->second;
}

void MainWindow::showResult(int row, const CheckResult &result) {
    const QString name = checkedName(*hostOf(row));
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
    showCheck(row, CheckMark::lookOf(result.state), words);
}

void MainWindow::showCheck(int row, CheckMark::Look look, const QString &words) {
    TwipsButton *button = pingButton(row);
    if (!button) return;
    Twips<CheckMark> *mark = markOf(row);
    if (!mark) {
        // On the band, just left of the button, centred on the row.
        constexpr int kSide = 195;
        const TwipsRect &at = button->twips();
        mark = new Twips<CheckMark>(canvas());
        mark->setObjectName(QStringLiteral("Mark%1").arg(row));
        mark->setLeft(at.left - rowlayout::kBandLeft - kSide);
        mark->setTop(at.top + (rowlayout::kPitch - kSide) / 2.0);
        mark->setWidth(kSide);
        mark->setHeight(kSide);
        if (row <= static_cast<int>(m_rows.size()))
            mark->setBackground(colorOf(m_rows[row - 1]));
        mark->setAccessibleName(QStringLiteral("Check of %1").arg(button->caption()));
        mark->show();
        mark->raise();
        m_marks.emplace(row, mark);
    }
    mark->setLook(look);
    mark->setToolTip(words);
    mark->setAccessibleDescription(words);
    const std::optional<PortTarget> port = hostOf(row)->portTarget();
    button->setAccessibleDescription(port ? words + QStringLiteral(". ") + probeWords(*port)
                                          : words);
}

int MainWindow::rowAt(const QPoint &canvasPoint) const {
    for (int row = 1; row <= static_cast<int>(m_pingButtons.size()); ++row) {
        if (pingButton(row)->geometry().contains(canvasPoint)) return row;
    }
    for (const HostRow &row : m_rows) {
        const TwipsRect band{rowlayout::kBandLeft, static_cast<double>(row.top),
                             rowlayout::kBandWidth, rowlayout::kPitch};
        if (toPixels(band).contains(canvasPoint)) return row.number;
    }
    return 0;
}

void MainWindow::contextMenuEvent(QContextMenuEvent *event) {
    if (!m_checks) {
        TwipsWindow::contextMenuEvent(event);
        return;
    }
    // The menu key: the row whose button has the focus.
    int row = event->reason() == QContextMenuEvent::Keyboard ? focusedRow() : 0;
    // Else the row under the pointer (a keyboard menu opens over the focused item).
    if (!row) row = rowAt(canvas()->mapFromGlobal(event->globalPos()));
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("checkMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (row) {
        QAction *one = menu->addAction(QStringLiteral("Check this host"));
        one->setObjectName(QStringLiteral("checkHost"));
        QObject::connect(one, &QAction::triggered, this, [this, row] { checkHost(row); });
        menu->addSeparator();
    }
    menu->addAction(m_checkAll);
    menu->addAction(m_keepChecking);
    if (row) {
        menu->addSeparator();
        // The window's own Ctrl+T traces the focused row; here it is only shown.
        QAction *trace = menu->addAction(QStringLiteral("&Trace route\tCtrl+T"));
        trace->setObjectName(QStringLiteral("traceRoute"));
        QObject::connect(trace, &QAction::triggered, this, [this, row] { traceRoute(row); });
    }
    menu->popup(event->globalPos());
    event->accept();
}
