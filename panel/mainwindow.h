#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTime>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "history/sessionhistory.h"
#include "list/load.h"
#include "panel/answerwatch.h"
#include "panel/checkmark.h"
#include "twips/twipswindow.h"

class CheckQueue;
class FileReader;
class HistoryBoard;
class HostChecker;
class Notifier;
class ProcessLauncher;
class QAction;
class QActionGroup;
struct CheckResult;

// The program's one window: a row per host of the list file, or, before any row exists, one
// placeholder button that pings loopback. It follows its list file: when the file changes on
// disk, the window loads it again by the rules of start-up.
class MainWindow : public TwipsWindow {
public:
    // Builds the empty window, then loads the list named by argumentText and shows its rows.
    // With a checker, the window also offers to check which hosts answer (its context menu, F5);
    // nothing is sent before the user asks. While it keeps checking, the notifier is told when a
    // host stops answering or answers again.
    MainWindow(FileReader &files, ProcessLauncher &launcher, const QString &argumentText,
               HostChecker *checker = nullptr, Notifier *notifier = nullptr,
               QWidget *parent = nullptr);
    ~MainWindow() override;

    // The rows loading built, those before a failure too.
    const std::vector<HostRow> &rows() const { return m_rows; }
    // Why loading failed, in plain words; empty when the list loaded.
    const QString &loadError() const { return m_loadError; }

    // The ping button of a row, from 1 (row 1 is the placeholder while there is no row); null
    // where there is none.
    TwipsButton *pingButton(int row) const;
    // Starts a continuous ping of the host the row was built from. Never throws: when nothing
    // can be started the user is told so in a (non-blocking) warning.
    void startPing(int row);
    // Starts a trace route to the row's host in a window of its own (also Ctrl+T on the focused
    // row, and the row's menu). Never throws, as startPing().
    void traceRoute(int row);
    // Puts the row's address, as written, on the clipboard (also Ctrl+C on the focused row).
    void copyAddress(int row);
    // Loads the list file again (also Ctrl+R, and by itself when the file changes). A list that
    // shows as it is shown changes nothing; otherwise the rows are built anew, keeping the marks
    // of rows whose address is unchanged, and keep checking goes on with the new rows.
    void reloadList();

    // Checking which hosts answer; null without a checker. checkAll() restarts a run under way.
    void checkAll();
    void checkHost(int row);
    QAction *checkAllAction() const { return m_checkAll; }
    QAction *keepCheckingAction() const { return m_keepChecking; }
    // How long "keep checking" waits between runs; a result older than two pauses looks stale.
    void setKeepCheckingPause(int ms);
    int keepCheckingPause() const { return m_pauseMs; }
    // Replies slower than ms, two runs in a row, give a row a mark of its own and, while keeping
    // checking, a notice; 0 (the default) watches no speed. Not remembered.
    void setSlowAboveMs(int ms);
    int slowAboveMs() const { return m_slowAboveMs; }
    // Opens the board of every host's history over the session (also Ctrl+H), or raises it.
    void showHistory();
    const SessionHistory &history() const { return m_history; }
    HistoryBoard *historyBoard() const { return m_board.get(); }
    // The mark on a row; null until that row is first checked.
    Twips<CheckMark> *markOf(int row) const;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // A row's last check as its mark shows it.
    struct Shown {
        CheckMark::Look look;
        QString words;
        QTime at;             // when the result came; null while checking
        QElapsedTimer since;  // how old it is
    };

    QAction *addWindowAction(const QString &text, const QString &name, const QKeySequence &keys,
                             std::function<void()> run);
    void addCheckActions();
    // Builds the placeholder and the list's rows, and takes its title and height.
    void showList(LoadedList list);
    // Whether showing the list would change nothing the window shows.
    bool showsAlready(const LoadedList &list) const;
    void removeRows();
    TwipsButton *addPingButton(int row);
    void showRow(const HostRow &row);
    // The host behind a row's button: its row's, or the placeholder's.
    const Host *hostOf(int row) const;
    void describeButton(TwipsButton *button, const Host &host);
    // Starts a window for the row's host; what cannot be started is told in a warning.
    void launch(int row, void (ProcessLauncher::*start)(const Host &), const QString &window);
    void warnNotStarted(const Host &host, const QString &why,
                        const QString &window = QStringLiteral("ping window"));
    // The row whose button has the focus; 0 when none has.
    int focusedRow() const;
    void makeCheckQueue(HostChecker &checker, int pauseMs);
    // The row under a point of the canvas, or the focused one; 0 when none.
    int rowAt(const QPoint &canvasPoint) const;
    void showCheck(int row, const Shown &shown);
    void showResult(int row, const CheckResult &result);
    // Fades the marks whose result has grown old, and waits for the next one to.
    void fadeOldResults();
    void tellChanges();
    // Follows the list file from now on, whatever became of its folders before.
    void watchList();

    FileReader &m_files;
    ProcessLauncher &m_launcher;
    const QString m_argumentText;
    std::unique_ptr<QObject> m_fileWatch;
    QString m_listFileName;
    bool m_toldByWatch = false;  // reloading because the watch said so
    std::vector<HostRow> m_rows;
    std::vector<QWidget *> m_rowItems;  // labels and bands
    QString m_loadError;
    const Host m_placeholderHost;
    std::vector<TwipsButton *> m_pingButtons;  // row n's at n - 1
    HostChecker *m_checker;
    std::unique_ptr<CheckQueue> m_checks;
    std::map<int, Twips<CheckMark> *> m_marks;
    std::map<int, Shown> m_shown;
    int m_pauseMs;
    QTimer m_fade;
    Notifier *m_notifier;
    AnswerWatch m_answers;
    QAction *m_checkAll = nullptr;
    QAction *m_keepChecking = nullptr;
    QActionGroup *m_pauses = nullptr;
    QActionGroup *m_slowLimits = nullptr;
    int m_slowAboveMs = 0;
    std::map<QString, int> m_slowRuns;  // by address: slow replies in a row
    SessionHistory m_history;
    std::unique_ptr<HistoryBoard> m_board;  // made when first asked for; goes before the history
};
