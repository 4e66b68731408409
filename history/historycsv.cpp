#include "history/historycsv.h"

#include <QDir>
#include <QSaveFile>

#include "history/historywords.h"
#include "history/sessionhistory.h"

namespace {
constexpr qint64 kMinuteMs = 60 * 1000;

// A text field as a spreadsheet reads it: never as a formula. A field that starts with what a
// spreadsheet takes for one (=, +, -, @) gets a ' before it, which a spreadsheet reads as "text
// follows" (an address with ping options before it, "-l 1000 10.0.0.1", included).
QByteArray field(QString text) {
    if (!text.isEmpty() && QStringView(u"=+-@").contains(text.front())) text.prepend(u'\'');
    if (!text.contains(u'"') && !text.contains(u',') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text.toUtf8();
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return '"' + quoted.toUtf8() + '"';
}

// "2026-12-07T14:03:07.120+01:00": the offset is written out also for UTC.
QByteArray isoTime(const QDateTime &at) {
    const int offset = at.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return at.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")).toLatin1() +
           (offset < 0 ? '-' : '+') + QByteArray::number(minutes / 60).rightJustified(2, '0') +
           ':' + QByteArray::number(minutes % 60).rightJustified(2, '0');
}

QByteArray number(double ms) { return ms < 0 ? QByteArray() : formatMs(ms).toLatin1(); }

const char *resultWord(CheckResult::State state) {
    switch (state) {
        case CheckResult::State::Answered:
            return "answered";
        case CheckResult::State::NoAnswer:
            return "no answer";
        case CheckResult::State::CouldNotCheck:
            break;
    }
    return "could not check";
}

QString summaryWords(const HistoryStretch &stretch, const SessionHistory &history) {
    const qint64 length = stretch.toMs - stretch.fromMs;
    QString words = length == kMinuteMs ? QStringLiteral("over 1 minute")
                    : length == 60 * kMinuteMs
                        ? QStringLiteral("over 1 hour")
                        : QStringLiteral("until %1")
                              .arg(QString::fromLatin1(isoTime(history.timeOf(stretch.toMs))));
    words += QStringLiteral(": %1 sent, %2 lost, %3 could not check")
                 .arg(stretch.sent())
                 .arg(stretch.lost)
                 .arg(stretch.couldNotCheck);
    if (stretch.minMs >= 0)
        words += QStringLiteral(", min %1 ms, max %2 ms")
                     .arg(formatMs(stretch.minMs), formatMs(stretch.maxMs));
    if (stretch.jitterMs >= 0)
        words += QStringLiteral(", jitter %1 ms").arg(formatMs(stretch.jitterMs));
    return words;
}
}  // namespace

namespace {
const char kHeader[] =
    "\xEF\xBB\xBF"
    "time,label,address,result,round_trip_ms,detail\r\n";

// The lines of one row.
QByteArray rowLines(const Host &row, const SessionHistory &history) {
    QByteArray lines;
    const HostHistory *host = history.find(row.address);
    if (!host) return lines;
    const QByteArray who = ',' + field(row.label) + ',' + field(row.address) + ',';
    host->visit(
        [&](const HistoryStretch &stretch) {
            lines += isoTime(history.timeOf(stretch.fromMs)) + who + "summary," +
                     number(stretch.averageMs) + ',' + field(summaryWords(stretch, history)) +
                     "\r\n";
        },
        [&](const HistoryResult &result) {
            lines += isoTime(history.timeOf(result.atMs)) + who + resultWord(result.state) + ',' +
                     number(result.roundTripMs) + ',' + field(result.detail) + "\r\n";
        });
    return lines;
}
}  // namespace

QByteArray historyCsv(const std::vector<Host> &rows, const SessionHistory &history) {
    QByteArray csv = kHeader;
    for (const Host &row : rows) csv += rowLines(row, history);
    return csv;
}

QString saveHistoryCsv(const QString &path, const std::vector<Host> &rows,
                       const SessionHistory &history) {
    // Written a row at a time, so that a day of 86 hosts (about 25 MB) is never held at once.
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly) && file.write(kHeader) >= 0;
    for (auto row = rows.begin(); written && row != rows.end(); ++row)
        written = file.write(rowLines(*row, history)) >= 0;
    if (written && file.commit()) return QString();
    return QStringLiteral("The history could not be saved as \"%1\": %2.")
        .arg(QDir::toNativeSeparators(path), file.errorString());
}
