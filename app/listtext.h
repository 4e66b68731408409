#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <stdexcept>

// A loading failure, with a message that says in plain words what is wrong with the list.
// The window shows only the failure caption; the checker tool and tests print the message.
class ListError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr char16_t kDefaultListFile[] = u"norvex.nvx";

// The list file name for the raw command-line argument text: empty text gives the default;
// a leading double quote drops that quote and the last character, whatever it is.
QString listFileName(const QString &argumentText);

// Turns raw file bytes into text. A UTF-8 or UTF-16 (LE/BE) byte-order mark picks that encoding
// and is dropped; otherwise valid UTF-8 is read as UTF-8, anything else as Windows-1252 with its
// five undefined bytes kept as the matching C1 controls, so no byte is lost.
QString decodeListBytes(const QByteArray &bytes);

// Splits at every CR LF pair, where a lone CR or LF stays in the line; a text without any CR LF
// splits at every LF instead. Text after the last line end is one more line; an empty text has
// no lines.
QStringList splitListLines(const QString &text);

// Removes leading and trailing spaces (code 32) only; tabs and other controls stay.
QString trimSpaces(const QString &line);

// Trims every line in place. Throws ListError when there are more than 32,767 lines.
void trimListLines(QStringList &lines);

// The 0-based position of "[LIST]" in the line upper-cased one UTF-16 unit at a time,
// or -1 when it has none.
qsizetype markerPosition(const QString &line);

struct Entry {
    QString label;
    QString address;
};

// Splits an entry line at its first "=": the label has tabs turned into spaces and is trimmed,
// the address is the rest of the line unchanged. A line without "=" is not an entry line.
std::optional<Entry> splitEntry(const QString &line);
