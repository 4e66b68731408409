#pragma once

#include <QString>
#include <vector>

#include "panel/hostpanel.h"
#include "platform/twipswindow.h"

class FileReader;
class ProcessLauncher;

// The program's one window: the design-time button, then a row per host of the list file.
class Form1 : public TwipsWindow, public HostPanel {
public:
    // Builds the design-time window, then loads the list named by argumentText into it.
    Form1(FileReader &files, ProcessLauncher &launcher, const QString &argumentText,
          QWidget *parent = nullptr);

    QString caption() const override { return TwipsWindow::caption(); }
    void setCaption(const QString &caption) override { TwipsWindow::setCaption(caption); }

    // Element index of the button array, from 1; null where there is none.
    TwipsButton *But(int index) const;
    // Starts a continuous ping of the clicked button's caption. Never throws: when nothing can
    // be started the user is told so in a (non-blocking) warning.
    void But_Click(Int16 index);

    // Why loading failed, in plain words; empty when it worked.
    QString loadError() const { return m_loadError; }

protected:
    void addRow(const HostRow &row) override;
    void setOuterHeight(Int16 twips) override { TwipsWindow::setOuterHeight(twips.value()); }

private:
    TwipsButton *createBut(int index);
    void describeButton(TwipsButton *button, const QString &label);
    void warnNotStarted(const QString &address, const QString &why);

    ProcessLauncher &m_launcher;
    std::vector<TwipsButton *> m_but;  // element 0 is unused
    QString m_loadError;
};
