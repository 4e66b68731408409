#pragma once

#include <QString>
#include <vector>

#include "list/load.h"
#include "twips/twipswindow.h"

class FileReader;
class ProcessLauncher;

// The program's one window: the design-time button, then a row per host of the list file.
class Form1 : public TwipsWindow {
public:
    // Builds the design-time window, then loads the list named by argumentText and shows it.
    Form1(FileReader &files, ProcessLauncher &launcher, const QString &argumentText,
          QWidget *parent = nullptr);

    // What loading made of the list: the state the window keeps and the rows it shows.
    const LoadedList &list() const { return m_list; }

    // Element index of the button array, from 1; null where there is none.
    TwipsButton *But(int index) const;
    // Starts a continuous ping of the host the clicked button was built from. Never throws: when
    // nothing can be started the user is told so in a (non-blocking) warning.
    void But_Click(Int16 index);

private:
    TwipsButton *createBut(int index);
    void showRow(const HostRow &row);
    // The host behind element index of But: its row's, or the design-time button's.
    const Host *hostOf(int index) const;
    void describeButton(TwipsButton *button, const Host &host);
    void warnNotStarted(const Host &host, const QString &why);

    ProcessLauncher &m_launcher;
    LoadedList m_list;
    const Host m_designHost;
    std::vector<TwipsButton *> m_but;  // element 0 is unused
};
