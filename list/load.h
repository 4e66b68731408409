#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "list/int16.h"
#include "list/listtext.h"
#include "list/rowlayout.h"
#include "platform/host.h"

class FileReader;

// One row as loading builds it: what the window shows and what a click on it pings.
struct HostRow {
    int number;                 // from 1
    Host host;                  // its label and address text
    rowlayout::RowColor color;  // band and button colour
    int top;                    // band and button top in twips; the label sits labelTop(top)
    qint32 line;                // the 0-based line of the file it came from
};

// What loading makes of a list file: the title, the rows, and how loading ended. Its lines are
// views into its text, so it moves but is never copied. The window keeps only the rows.
struct LoadedList {
    LoadedList() = default;
    LoadedList(LoadedList &&) = default;
    LoadedList &operator=(LoadedList &&) = default;
    LoadedList(const LoadedList &) = delete;
    LoadedList &operator=(const LoadedList &) = delete;

    QString fileName;
    // The window title: the program's title and "  [name]", or " [name] not found".
    QString caption = QString::fromUtf16(rowlayout::kProgramTitle);

    QString text;     // the file's text as decoded
    LineViews lines;  // its lines, trimmed

    // One per entry line after the marker, in order; those built before a failure stay.
    std::vector<HostRow> rows;
    // The outer height in twips once every row was built; unset, the window keeps its own.
    std::optional<int> outerHeight;
    // The line that holds the marker; -1 when none does, or the search never ran.
    qint32 markerLine = -1;
    // Why loading failed, in plain words; empty when it worked.
    QString error;

    bool loaded() const { return error.isEmpty(); }
};

// Picks the file name from the raw argument text, reads the file, marks the caption, cuts the
// lines, finds the marker and builds the rows after it. Every failure from reading the file to
// the row limit is caught here: it replaces the caption by " [name] not found", and the rows
// built before it stay.
LoadedList loadList(FileReader &files, const QString &argumentText);

// The first line that holds the marker, or none. Throws LoadError when that marker starts past
// character 32,767 of its line.
std::optional<qint32> findMarker(const LoadedList &list);

// Adds a row per entry line from firstLine to the last line, then sets the outer height to fit
// them. Throws LoadError at the row limit; rows added before it stay and the height is not set.
void buildRows(LoadedList &list, Int16 firstLine);
