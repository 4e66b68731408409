#pragma once

#include <QString>
#include <memory>

class QWidget;

// Asks the user where to save a file. A seam so tests need no dialog.
class SavePathChooser {
public:
    virtual ~SavePathChooser() = default;
    // Shows the system's save dialog over parent, titled caption, offering suggestedName in the
    // user's documents folder, for files of the kind described by filterName with the extension
    // extension (no dot); asks before replacing a file. Returns the path chosen, or an empty text
    // when the user cancelled.
    virtual QString chooseSavePath(QWidget *parent, const QString &caption,
                                   const QString &suggestedName, const QString &filterName,
                                   const QString &extension) = 0;
};

// The system's own save dialog: Qt's on Linux, the common dialog of comdlg32 on Windows. Neither
// leaves settings of norvex's behind (the dialog itself may remember its folder, as it does for
// every program).
std::unique_ptr<SavePathChooser> makeSystemSavePathChooser();
