#include "panel/mainwindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QScopedValueRollback>

#include "history/historywords.h"
#include "panel/checkqueue.h"
#include "panel/historyboard.h"
#include "platform/filereader.h"
#include "platform/hostcheck.h"
#include "platform/notifier.h"
#include "platform/processlauncher.h"

namespace {

QColor colorOf(const HostRow &row) {
    return QColor(row.color.red, row.color.green, row.color.blue);
}

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

// What is checked for the row, as a key its results are watched by: rows that share it are one
// host to watch.
QString watchKey(const Host &host) {
    if (const std::optional<PortTarget> port = host.portTarget())
        return QStringLiteral("%1 port %2").arg(port->host).arg(port->port);
    return host.checkTarget();
}

// What a notice calls a row: its label and address, or the address alone.
QString noticeName(const Host &host) {
    return host.label.isEmpty() ? host.address
                                : QStringLiteral("%1 (%2)").arg(host.label, host.address);
}

// The pauses keep checking offers, the first one chosen at start.
constexpr struct {
    int ms;
    const char *text;
} kPauses[] = {{5000, "Every &5 seconds"},
               {15000, "Every &15 seconds"},
               {60000, "Every &minute"},
               {300000, "Every 5 m&inutes"}};

// The limits "Slow above" offers; off first, and at start.
constexpr struct {
    int ms;
    const char *text;
} kSlowLimits[] = {
    {0, "&Off"}, {50, "&50 ms"}, {100, "&100 ms"}, {200, "&200 ms"}, {500, "5&00 ms"}};

// The menu entries of a group, each checked when its value is the one chosen.
void checkChosen(QActionGroup *group, int value) {
    if (!group) return;
    for (QAction *choice : group->actions()) choice->setChecked(choice->data().toInt() == value);
}

}  // namespace

MainWindow::MainWindow(FileReader &files, ProcessLauncher &launcher, const QString &argumentText,
                       HostChecker *checker, Notifier *notifier, QWidget *parent)
    : TwipsWindow(rowlayout::kClientWidth, rowlayout::kEmptyClientHeight, parent),
      m_files(files),
      m_launcher(launcher),
      m_argumentText(argumentText),
      m_placeholderHost{QString(), QString::fromUtf16(rowlayout::kPlaceholderAddress)},
      m_checker(checker),
      m_pauseMs(kPauses[0].ms),
      m_notifier(notifier) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowIcon(QIcon(QStringLiteral(":/norvex/norvex.png")));
    setCaption(QString::fromUtf16(rowlayout::kProgramTitle));

    // A terminal that closes at once is found out after the click has returned.
    m_launcher.setLateFailureHandler(
        [window = QPointer<MainWindow>(this)](const Host &host, const QString &why) {
            if (window) window->warnNotStarted(host, why);
        });

    LoadedList list = loadList(files, argumentText);
    m_listFileName = list.fileName;
    watchList();
    showList(std::move(list));
    // The keyboard works at once, on the first row, as on a dialog's first control; without
    // rows, the window keeps the focus itself.
    if (!m_rows.empty()) pingButton(1)->setFocus();

    addWindowAction(QStringLiteral("&Trace route"), QStringLiteral("traceRoute"),
                    QKeySequence(Qt::CTRL | Qt::Key_T), [this] { traceRoute(focusedRow()); });
    addWindowAction(QStringLiteral("&Copy address"), QStringLiteral("copyAddress"),
                    QKeySequence(Qt::CTRL | Qt::Key_C), [this] { copyAddress(focusedRow()); });
    addWindowAction(QStringLiteral("&Reload list"), QStringLiteral("reloadList"),
                    QKeySequence(Qt::CTRL | Qt::Key_R), [this] { reloadList(); });
    addWindowAction(QStringLiteral("&History"), QStringLiteral("showHistory"),
                    QKeySequence(Qt::CTRL | Qt::Key_H), [this] { showHistory(); });
    m_fade.setSingleShot(true);
    QObject::connect(&m_fade, &QTimer::timeout, this, [this] { fadeOldResults(); });
    if (m_checker) addCheckActions();
}

QAction *MainWindow::addWindowAction(const QString &text, const QString &name,
                                     const QKeySequence &keys, std::function<void()> run) {
    auto *action = new QAction(text, this);
    action->setObjectName(name);
    action->setShortcut(keys);
    QObject::connect(action, &QAction::triggered, this, std::move(run));
    addAction(action);
    return action;
}

void MainWindow::addCheckActions() {
    // Offered, never done unasked: nothing is sent until the user chooses one of these.
    m_checkAll = addWindowAction(QStringLiteral("Check all hosts"), QStringLiteral("checkAll"),
                                 QKeySequence(Qt::Key_F5), [this] { checkAll(); });
    m_keepChecking =
        addWindowAction(QStringLiteral("Keep checking"), QStringLiteral("keepChecking"),
                        QKeySequence(Qt::SHIFT | Qt::Key_F5), [] {});
    m_keepChecking->setCheckable(true);
    QObject::connect(m_keepChecking, &QAction::toggled, this, [this](bool on) {
        // Watching starts afresh, and what it had not told yet is not told once it stops.
        m_answers.clear();
        if (m_notifier) m_notifier->setWatching(on);
        m_checks->setKeepChecking(on);
    });
    m_pauses = new QActionGroup(this);
    for (const auto &pause : kPauses) {
        QAction *choice = m_pauses->addAction(QString::fromUtf8(pause.text));
        choice->setCheckable(true);
        choice->setChecked(pause.ms == m_pauseMs);
        choice->setData(pause.ms);
        QObject::connect(choice, &QAction::triggered, this,
                         [this, ms = pause.ms] { setKeepCheckingPause(ms); });
    }
    m_slowLimits = new QActionGroup(this);
    for (const auto &limit : kSlowLimits) {
        QAction *choice = m_slowLimits->addAction(QString::fromUtf8(limit.text));
        choice->setCheckable(true);
        choice->setData(limit.ms);
        QObject::connect(choice, &QAction::triggered, this,
                         [this, ms = limit.ms] { setSlowAboveMs(ms); });
    }
    checkChosen(m_slowLimits, m_slowAboveMs);
    makeCheckQueue(*m_checker, m_pauseMs);
}

void MainWindow::showList(LoadedList list) {
    using namespace rowlayout;
    TwipsButton *placeholder = addPingButton(1);
    placeholder->setCaption(m_placeholderHost.address);
    placeholder->setLeft(kPlaceholderButtonLeft);
    placeholder->setTop(kPlaceholderButtonTop);
    placeholder->setWidth(kPlaceholderButtonWidth);
    placeholder->setHeight(kPitch);
    describeButton(placeholder, m_placeholderHost);
    placeholder->setVisible(true);

    setCaption(list.caption);
    m_loadError = std::move(list.error);
    setOuterHeight(list.outerHeight.value_or(kEmptyClientHeight + kFrameAllowance));
    m_rows = std::move(list.rows);
    // The list's text is freed here: the window needs only the rows, and none of the text is
    // held while their widgets are built.
    list = LoadedList();
    for (const HostRow &row : m_rows) showRow(row);
    // The history follows the rows, keeping every address still listed.
    std::vector<Host> hosts;
    for (const HostRow &row : m_rows) hosts.push_back(row.host);
    if (hosts.empty()) hosts.push_back(m_placeholderHost);
    m_history.setRows(std::move(hosts));
}

bool MainWindow::showsAlready(const LoadedList &list) const {
    const auto sameRow = [](const HostRow &a, const HostRow &b) {
        return a.host.label == b.host.label && a.host.address == b.host.address && a.top == b.top &&
               a.color.red == b.color.red && a.color.green == b.color.green &&
               a.color.blue == b.color.blue;
    };
    return list.caption == caption() && list.error == m_loadError &&
           list.outerHeight.value_or(rowlayout::kEmptyClientHeight + kFrameAllowance) ==
               outerHeight() &&
           std::equal(list.rows.begin(), list.rows.end(), m_rows.begin(), m_rows.end(), sameRow);
}

void MainWindow::removeRows() {
    for (QWidget *item : m_rowItems) delete item;
    for (TwipsButton *button : m_pingButtons) delete button;
    for (const auto &[row, mark] : m_marks) delete mark;
    m_rowItems.clear();
    m_pingButtons.clear();
    m_marks.clear();
    m_shown.clear();
    m_rows.clear();
}

void MainWindow::watchList() {
    m_fileWatch = m_files.watch(m_listFileName, [this] {
        const QScopedValueRollback told(m_toldByWatch, true);
        reloadList();
    });
}

void MainWindow::reloadList() {
    // Asked for: the file is followed afresh too. A reload the watch asked for keeps the watch,
    // which is still calling.
    if (!m_toldByWatch) watchList();
    LoadedList list = loadList(m_files, m_argumentText);
    if (showsAlready(list)) return;
    // Results stay with their address, wherever its row now is.
    std::map<QString, Shown> results;
    for (const auto &[row, shown] : m_shown) {
        if (!shown.at.isNull()) results.emplace(hostOf(row)->address, shown);
    }
    const int focused = focusedRow();
    const bool keepChecking = m_keepChecking && m_keepChecking->isChecked();
    m_checks.reset();
    removeRows();
    showList(std::move(list));
    for (int row = 1; row <= static_cast<int>(m_pingButtons.size()); ++row) {
        const auto kept = results.find(hostOf(row)->address);
        if (kept != results.end()) showCheck(row, kept->second);
    }
    if (focused)
        pingButton(std::min<int>(focused, static_cast<int>(m_pingButtons.size())))->setFocus();
    if (m_checker) {
        makeCheckQueue(*m_checker, m_pauseMs);
        if (keepChecking) m_checks->setKeepChecking(true);
    }
    fadeOldResults();
}

MainWindow::~MainWindow() = default;

void MainWindow::showHistory() {
    if (!m_board) {
        const QString list = QFileInfo(m_listFileName).fileName();
        m_board = std::make_unique<HistoryBoard>(
            m_history, QStringLiteral("norvex history  [%1]").arg(list), nullptr, this);
        m_board->setObjectName(QStringLiteral("historyBoard"));
    }
    m_board->show();
    m_board->raise();
    m_board->activateWindow();
}

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
    m_rowItems.push_back(label);

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
    m_rowItems.push_back(band);

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
    if (row >= 1 && row <= static_cast<int>(m_rows.size())) return &m_rows[row - 1].host;
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
    launch(row, &ProcessLauncher::start, QStringLiteral("ping window"));
}

void MainWindow::traceRoute(int row) {
    launch(row, &ProcessLauncher::startTraceRoute, QStringLiteral("trace route window"));
}

void MainWindow::launch(int row, void (ProcessLauncher::*start)(const Host &),
                        const QString &window) {
    const Host *host = hostOf(row);
    if (!host) return;
    try {
        (m_launcher.*start)(*host);
    } catch (const std::exception &e) {
        warnNotStarted(*host, QString::fromStdString(e.what()), window);
    } catch (...) {
        warnNotStarted(*host, QString(), window);
    }
}

void MainWindow::copyAddress(int row) {
    if (const Host *host = hostOf(row)) QApplication::clipboard()->setText(host->address);
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
        showCheck(row,
                  {CheckMark::Look::Checking,
                   QStringLiteral("Checking whether %1 answers").arg(checkedName(*hostOf(row))),
                   QTime(), QElapsedTimer()});
    };
    listener.finished = [this](int row, const CheckResult &result) { showResult(row, result); };
    listener.idle = [this] { tellChanges(); };
    m_checks =
        std::make_unique<CheckQueue>(checker, std::move(hosts), std::move(listener), pauseMs);
}

void MainWindow::setKeepCheckingPause(int ms) {
    m_pauseMs = ms;
    checkChosen(m_pauses, ms);
    if (m_checks) m_checks->setRepeatMs(ms);
    fadeOldResults();
}

void MainWindow::setSlowAboveMs(int ms) {
    m_slowAboveMs = std::max(ms, 0);
    checkChosen(m_slowLimits, m_slowAboveMs);
    m_answers.setSlowAboveMs(m_slowAboveMs);
    // Slowness is counted afresh; a mark that said slow says what its reply was.
    m_slowRuns.clear();
    for (auto &[row, shown] : m_shown) {
        if (shown.look == CheckMark::Look::Slow) {
            shown.look = CheckMark::Look::Answered;
            showCheck(row, Shown(shown));
        }
    }
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
    const Host &host = *hostOf(row);
    const QString name = checkedName(host);
    CheckMark::Look look = CheckMark::lookOf(result.state);
    // Slow twice in a row is a mark of its own; anything else breaks the run.
    const bool slowReply = result.state == CheckResult::State::Answered && m_slowAboveMs > 0 &&
                           result.roundTripMs > m_slowAboveMs;
    int &slowRuns = m_slowRuns[host.address];
    slowRuns = slowReply ? slowRuns + 1 : 0;
    if (slowRuns >= 2) look = CheckMark::Look::Slow;
    QString words;
    switch (result.state) {
        case CheckResult::State::Answered:
            words = look == CheckMark::Look::Slow
                        ? QStringLiteral("%1 answered slowly in %2 ms (over %3 ms twice in a row)")
                              .arg(name, formatMs(result.roundTripMs))
                              .arg(m_slowAboveMs)
                    : result.roundTripMs >= 0 ? QStringLiteral("%1 answered in %2 ms")
                                                    .arg(name, formatMs(result.roundTripMs))
                                              : QStringLiteral("%1 answered").arg(name);
            break;
        case CheckResult::State::NoAnswer:
            words = QStringLiteral("No answer from %1: %2").arg(name, result.detail);
            break;
        case CheckResult::State::CouldNotCheck:
            words = QStringLiteral("Could not check %1: %2").arg(name, result.detail);
            break;
    }
    m_history.record(host.address, result);
    Shown shown{look, words, QTime::currentTime(), QElapsedTimer()};
    shown.since.start();
    showCheck(row, shown);
    if (m_keepChecking && m_keepChecking->isChecked())
        m_answers.record(watchKey(host), noticeName(host), result, shown.at);
    fadeOldResults();
}

void MainWindow::tellChanges() {
    const std::vector<AnswerWatch::Notice> notices = m_answers.endRun();
    if (notices.empty()) return;
    if (m_notifier) {
        for (const AnswerWatch::Notice &notice : notices)
            m_notifier->notify(notice.summary, notice.body);
    }
    QApplication::alert(this);
}

void MainWindow::fadeOldResults() {
    // Older than two pauses: keep checking would have brought a newer one.
    const qint64 oldAfter = 2 * qint64{m_pauseMs};
    qint64 next = -1;
    for (auto &[row, shown] : m_shown) {
        if (shown.at.isNull()) continue;
        const qint64 age = shown.since.elapsed();
        Twips<CheckMark> *mark = markOf(row);
        if (age >= oldAfter) {
            if (!mark->stale()) showCheck(row, Shown(shown));
        } else {
            if (mark->stale()) showCheck(row, Shown(shown));
            next = next < 0 ? oldAfter - age : std::min(next, oldAfter - age);
        }
    }
    if (next < 0) {
        m_fade.stop();
    } else {
        m_fade.start(static_cast<int>(next) + 1);
    }
}

void MainWindow::showCheck(int row, const Shown &shown) {
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
        if (row <= static_cast<int>(m_rows.size())) mark->setBackground(colorOf(m_rows[row - 1]));
        mark->setAccessibleName(QStringLiteral("Check of %1").arg(button->caption()));
        mark->show();
        mark->raise();
        m_marks.emplace(row, mark);
    }
    m_shown[row] = shown;
    const bool old = !shown.at.isNull() && shown.since.elapsed() >= 2 * qint64{m_pauseMs};
    QString words = shown.words;
    if (!shown.at.isNull())
        words += QStringLiteral(" at ") + shown.at.toString(QStringLiteral("HH:mm:ss"));
    if (old) words += QStringLiteral(" (an old result)");
    // How it has answered over the session, beside the last result.
    if (const QString session = describeHistoryBriefly(m_history.statsOf(hostOf(row)->address));
        !shown.at.isNull() && !session.isEmpty())
        words += QStringLiteral("; ") + session;
    mark->setLook(shown.look);
    mark->setStale(old);
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
    // The menu key: the row whose button has the focus.
    int row = event->reason() == QContextMenuEvent::Keyboard ? focusedRow() : 0;
    // Else the row under the pointer (a keyboard menu opens over the focused item).
    if (!row) row = rowAt(canvas()->mapFromGlobal(event->globalPos()));
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("checkMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The window's own shortcuts act on the focused row; here they are only shown.
    const auto addRowEntry = [&](const QString &text, const char *name, auto run) {
        QAction *entry = menu->addAction(text);
        entry->setObjectName(QString::fromUtf8(name));
        QObject::connect(entry, &QAction::triggered, this, [this, row, run] { (this->*run)(row); });
    };
    if (m_checks) {
        if (row) {
            addRowEntry(QStringLiteral("Check this host"), "checkHost", &MainWindow::checkHost);
            menu->addSeparator();
        }
        menu->addAction(m_checkAll);
        menu->addAction(m_keepChecking);
        QMenu *pauses = menu->addMenu(QStringLiteral("Keep checking &every"));
        pauses->setObjectName(QStringLiteral("keepCheckingPause"));
        pauses->addActions(m_pauses->actions());
        QMenu *slow = menu->addMenu(QStringLiteral("&Slow above"));
        slow->setObjectName(QStringLiteral("slowAbove"));
        slow->addActions(m_slowLimits->actions());
        menu->addSeparator();
    }
    if (row) {
        addRowEntry(QStringLiteral("&Trace route\tCtrl+T"), "traceRoute", &MainWindow::traceRoute);
        addRowEntry(QStringLiteral("&Copy address\tCtrl+C"), "copyAddress",
                    &MainWindow::copyAddress);
    }
    QAction *history = menu->addAction(QStringLiteral("&History\tCtrl+H"));
    history->setObjectName(QStringLiteral("showHistory"));
    QObject::connect(history, &QAction::triggered, this, [this] { showHistory(); });
    QAction *reload = menu->addAction(QStringLiteral("&Reload list\tCtrl+R"));
    reload->setObjectName(QStringLiteral("reloadList"));
    QObject::connect(reload, &QAction::triggered, this, [this] { reloadList(); });
    menu->popup(event->globalPos());
    event->accept();
}

void MainWindow::closeEvent(QCloseEvent *event) {
    // Nothing more is sent, nor read, once the window is closed, while the program winds down.
    if (m_checks) m_checks->stop();
    m_fileWatch.reset();
    TwipsWindow::closeEvent(event);
}
