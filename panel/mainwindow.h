#pragma once

#include <QString>
#include <map>
#include <memory>
#include <vector>

#include "list/load.h"
#include "panel/checkmark.h"
#include "twips/twipswindow.h"

class CheckQueue;
class FileReader;
class HostChecker;
class ProcessLauncher;
class QAction;
struct CheckResult;

// The program's one window: a row per host of the list file, or, before any row exists, one
// placeholder button that pings loopback.
class MainWindow : public TwipsWindow {
public:
    // Builds the empty window, then loads the list named by argumentText and shows its rows.
    // With a checker, the window also offers to check which hosts answer (its context menu, F5);
    // nothing is sent before the user asks.
    MainWindow(FileReader &files, ProcessLauncher &launcher, const QString &argumentText,
               HostChecker *checker = nullptr, QWidget *parent = nullptr);
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

    // Checking which hosts answer; null without a checker. checkAll() restarts a run under way.
    void checkAll();
    void checkHost(int row);
    QAction *checkAllAction() const { return m_checkAll; }
    QAction *keepCheckingAction() const { return m_keepChecking; }
    // How long "keep checking" waits between runs.
    void setKeepCheckingPause(int ms);
    // The mark on a row; null until that row is first checked.
    Twips<CheckMark> *markOf(int row) const;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    TwipsButton *addPingButton(int row);
    void showRow(const HostRow &row);
    // The host behind a row's button: its row's, or the placeholder's.
    const Host *hostOf(int row) const;
    void describeButton(TwipsButton *button, const Host &host);
    void warnNotStarted(const Host &host, const QString &why,
                        const QString &window = QStringLiteral("ping window"));
    // The row whose button has the focus; 0 when none has.
    int focusedRow() const;
    void makeCheckQueue(HostChecker &checker, int pauseMs);
    // The row under a point of the canvas, or the focused one; 0 when none.
    int rowAt(const QPoint &canvasPoint) const;
    void showCheck(int row, CheckMark::Look look, const QString &words);
    void showResult(int row, const CheckResult &result);

    ProcessLauncher &m_launcher;
    std::vector<HostRow> m_rows;
    QString m_loadError;
    const Host m_placeholderHost;
    std::vector<TwipsButton *> m_pingButtons;  // row n's at n - 1
    HostChecker *m_checker;
    std::unique_ptr<CheckQueue> m_checks;
    std::map<int, Twips<CheckMark> *> m_marks;
    QAction *m_checkAll = nullptr;
    QAction *m_keepChecking = nullptr;
};
