#include "history/historywords.h"

#include <cmath>

QString formatMs(double ms) {
    const int decimals = ms >= 99.95 ? 0 : ms >= 9.995 ? 1 : ms >= 0.9995 ? 2 : 3;
    QString text = QString::number(ms, 'f', decimals);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0')) text.chop(1);
        if (text.endsWith(u'.')) text.chop(1);
    }
    return text;
}

QString describeTime(const QDateTime &at, const QDateTime &reference) {
    if (at.date() == reference.date()) return at.toString(QStringLiteral("HH:mm:ss"));
    return at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

namespace {
QString times(qint64 count) {
    return count == 1 ? QStringLiteral("once") : QStringLiteral("%1 times").arg(count);
}
}  // namespace

QString describeHistory(const HostStats &stats) {
    if (stats.results() == 0) return QStringLiteral("not checked yet");
    QStringList parts;
    if (stats.sent > 0) {
        parts << QStringLiteral("answered %1 of %2").arg(stats.answered()).arg(stats.sent);
        if (stats.averageMs >= 0)
            parts << QStringLiteral("average %1 ms").arg(formatMs(stats.averageMs));
        if (stats.lastLostAt.isValid()) {
            const QString at = describeTime(stats.lastLostAt, stats.lastAt);
            parts << (at.contains(u' ') ? QStringLiteral("last lost on %1").arg(at)
                                        : QStringLiteral("last lost at %1").arg(at));
        }
    }
    if (stats.couldNotCheck > 0)
        parts << QStringLiteral("could not be checked %1").arg(times(stats.couldNotCheck));
    return parts.join(QStringLiteral(", "));
}

QString describeHistoryBriefly(const HostStats &stats) {
    if (stats.sent == 0) return QString();
    QString words = QStringLiteral("%1 of %2 lost").arg(stats.lost).arg(stats.sent);
    if (stats.averageMs >= 0)
        words += QStringLiteral(", average %1 ms").arg(formatMs(stats.averageMs));
    return words;
}

QString describeLoss(const HostStats &stats) {
    if (stats.sent == 0) return QString();
    QString share = QString::number(100 * stats.lossShare(), 'f', 1);
    // Never "0 %" for a loss, nor "100 %" while something answered.
    if (stats.lost > 0 && share == QStringLiteral("0.0")) share = QStringLiteral("< 0.1");
    if (stats.lost < stats.sent && share == QStringLiteral("100.0"))
        share = QStringLiteral("> 99.9");
    if (share.endsWith(QStringLiteral(".0"))) share.chop(2);
    return QStringLiteral("%1 / %2 (%3 %)").arg(stats.lost).arg(stats.sent).arg(share);
}
