#include "list/report.h"

#include <QStringList>

#include "list/load.h"

QString quoteField(const QString &s) {
    QString out = QStringLiteral("\"");
    for (QChar c : s) {
        if (c == u'"' || c == u'\\') {
            out += u'\\';
            out += c;
        } else if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0'));
        } else {
            out += c;
        }
    }
    return out + u'"';
}

namespace {

// Why a list that was read gives fewer rows than it seems to hold: the line ends, the marker.
QStringList hints(const LoadedList &list) {
    QStringList out;
    const QString &text = list.text;
    if (text.isEmpty()) return out;
    const bool crlf = text.contains(QStringLiteral("\r\n"));
    if (!crlf && !text.contains(u'\n') && text.contains(u'\r')) {
        out << QStringLiteral(
            "the lines end in CR alone (old Mac line ends), which ends no line: the whole file "
            "is one line. Save it with CR LF or LF line ends.");
    }
    if (crlf) {
        // Only CR LF ends a line in such a file; a CR or LF on its own is taken as text.
        constexpr int kShown = 10;
        int found = 0;
        for (qsizetype i = 0; i < qsizetype(list.lines.size()); ++i) {
            const QStringView line = list.lines[i];
            const bool cr = line.contains(u'\r'), lf = line.contains(u'\n');
            if (!cr && !lf) continue;
            if (++found > kShown) continue;
            out << QStringLiteral(
                       "line %1 holds a lone %2, which stays inside the line: in a file "
                       "with CR LF line ends, only CR LF ends a line.")
                       .arg(i + 1)
                       .arg(cr && lf ? QStringLiteral("CR and a lone LF")
                            : cr     ? QStringLiteral("CR")
                                     : QStringLiteral("LF"));
        }
        if (found > kShown)
            out << QStringLiteral("%1 more lines hold a lone CR or LF.").arg(found - kShown);
    }
    if (!list.loaded()) return out;  // the marker search may not have run
    if (list.markerLine < 0) {
        out << QStringLiteral("no line holds the marker [LIST], so no rows are built.");
    } else if (list.rows.empty()) {
        out << QStringLiteral(
                   "no line after the marker (line %1) holds \"=\", so no rows are "
                   "built.")
                   .arg(list.markerLine + 1);
    }
    return out;
}

}  // namespace

ListReport reportList(const LoadedList &list) {
    QString text = QStringLiteral("title: %1\n").arg(list.caption);
    for (const HostRow &row : list.rows) {
        // One arg() call: a label holding "%4" must not be taken for a placeholder.
        text += QStringLiteral("row %1: label %2, address %3, line %4")
                    .arg(QString::number(row.number), quoteField(row.host.label),
                         quoteField(row.host.address), QString::number(row.line + 1));
        if (const std::optional<PortTarget> port = row.host.portTarget()) {
            text += QStringLiteral(", a port row: a click probes TCP port %1 on %2")
                        .arg(port->port)
                        .arg(quoteField(port->host));
        }
        text += u'\n';
    }
    text += QStringLiteral("rows: %1\n").arg(list.rows.size());
    const int height =
        list.outerHeight.value_or(rowlayout::kEmptyClientHeight + kFrameAllowance);
    text += QStringLiteral("height: %1 twips\n").arg(height);
    if (!list.loaded()) text += QStringLiteral("fails: %1\n").arg(list.error);
    for (const QString &hint : hints(list)) text += QStringLiteral("hint: ") + hint + u'\n';
    return {text, list.loaded() ? 0 : 1};
}
