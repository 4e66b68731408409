#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

#include "platform/loaderror.h"


inline constexpr char16_t kDefaultListFile[] = u"norvex.nvx";

// The list file name for the raw command-line argument text: empty text gives the default;
// a leading double quote drops that quote and the last character, whatever it is.
QString listFileName(const QString &argumentText);

// Turns raw file bytes into text. A UTF-8 or UTF-16 (LE/BE) byte-order mark picks that encoding
// and is dropped; otherwise valid UTF-8 is read as UTF-8, anything else as Windows-1252 with its
// five undefined bytes kept as the matching C1 controls, so no byte is lost.
QString decodeListBytes(const QByteArray &bytes);

// The lines of a list, each a view into the one text they were cut from.
using LineViews = std::vector<QStringView>;

// Splits at every CR LF pair, where a lone CR or LF stays in the line; a text without any CR LF
// splits at every LF instead. Text after the last line end is one more line; an empty text has
// no lines. The views point into text, which must outlive them.
LineViews splitListLines(QStringView text);

// The line without its leading and trailing spaces (code 32); tabs and other controls stay.
QStringView trimSpaces(QStringView line);

// Trims every line. Throws LoadError when there are more than 32,767 lines.
void trimListLines(LineViews &lines);

// The 0-based position of "[LIST]" in the line upper-cased one UTF-16 unit at a time,
// or -1 when it has none.
qsizetype markerPosition(QStringView line);

struct Entry {
    QString label;
    QString address;
};

// Splits an entry line at its first "=": the label has tabs turned into spaces and is trimmed,
// the address is the rest of the line unchanged. A line without "=" is not an entry line.
std::optional<Entry> splitEntry(QStringView line);
