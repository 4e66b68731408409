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

// The program's one window: the design-time button, then a row per host of the list file.
class Form1 : public TwipsWindow {
public:
    // Builds the design-time window, then loads the list named by argumentText and shows it.
    // With a checker, the window also offers to check which hosts answer (its context menu, F5);
    // nothing is sent before the user asks.
    Form1(FileReader &files, ProcessLauncher &launcher, const QString &argumentText,
          HostChecker *checker = nullptr, QWidget *parent = nullptr);
    ~Form1() override;

    // What loading made of the list: the state the window keeps and the rows it shows.
    const LoadedList &list() const { return m_list; }

    // Element index of the button array, from 1; null where there is none.
    TwipsButton *But(int index) const;
    // Starts a continuous ping of the host the clicked button was built from. Never throws: when
    // nothing can be started the user is told so in a (non-blocking) warning.
    void But_Click(Int16 index);

    // Checking which hosts answer; null without a checker. checkAll() restarts a run under way.
    void checkAll();
    void checkHost(int index);
    QAction *checkAllAction() const { return m_checkAll; }
    QAction *keepCheckingAction() const { return m_keepChecking; }
    // How long "keep checking" waits between runs.
    void setKeepCheckingPause(int ms);
    // The mark on the row of element index of But; null until that row is first checked.
    Twips<CheckMark> *markOf(int index) const;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    TwipsButton *createBut(int index);
    void showRow(const HostRow &row);
    // The host behind element index of But: its row's, or the design-time button's.
    const Host *hostOf(int index) const;
    void describeButton(TwipsButton *button, const Host &host);
    void warnNotStarted(const Host &host, const QString &why);
    void makeCheckQueue(HostChecker &checker, int pauseMs);
    // The element of But under a point of the canvas, or the focused one; 0 when none.
    int rowAt(const QPoint &canvasPoint) const;
    void showCheck(int index, CheckMark::Look look, const QString &words);
    void showResult(int index, const CheckResult &result);

    ProcessLauncher &m_launcher;
    LoadedList m_list;
    const Host m_designHost;
    std::vector<TwipsButton *> m_but;  // element 0 is unused
    HostChecker *m_checker;
    std::unique_ptr<CheckQueue> m_checks;
    std::map<int, Twips<CheckMark> *> m_marks;
    QAction *m_checkAll = nullptr;
    QAction *m_keepChecking = nullptr;
};
