#pragma once

#include <QString>
#include <QStringList>

#include "app/int16.h"

class FileReader;

// The main window as start-up sees it: its caption, the list state it owns, and row building.
class ListWindow {
public:
    virtual ~ListWindow() = default;

    virtual QString caption() const = 0;
    virtual void setCaption(const QString &caption) = 0;
    // Adds one row per entry line from startIndex to the last line; throws at the row limit.
    virtual void BuildHostRows(Int16 startIndex) = 0;

    // Set once by start-up and kept for the life of the window.
    QString ListText;
    QStringList ListLines;
    qint32 LineCount = 0;
};

// Loads the list named by the raw argument text into the window: reads the file, appends
// "  [name]" to the caption, cuts the lines and builds the rows. Every failure, from opening the
// file to the row limit, is caught here and replaces the caption by " [name] not found"; rows
// built before it stay. Returns the failure in plain words, or an empty string when loading worked.
QString Form_Initialize(ListWindow &form, FileReader &files, const QString &argumentText);

// Finds the first marker line and builds rows from the line after it. No marker: nothing happens.
// Throws ListError when the marker starts past character 32,767 of its line.
void FindListSection(ListWindow &form);
