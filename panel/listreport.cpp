#include "panel/listreport.h"

#include "app/listtext.h"
#include "app/startup.h"
#include "panel/rowplan.h"

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
QStringList hints(const RowPlan &plan, bool loaded) {
    QStringList out;
    const QString &text = plan.ListText;
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
        for (qint32 i = 0; i < plan.LineCount; ++i) {
            const QString &line = plan.ListLines[i];
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
    if (!loaded) return out;  // the marker search may not have run
    qint32 marker = -1;
    for (qint32 i = 0; i < plan.LineCount && marker < 0; ++i) {
        if (markerPosition(plan.ListLines[i]) >= 0) marker = i;
    }
    if (marker < 0) {
        out << QStringLiteral("no line holds the marker [LIST], so no rows are built.");
    } else if (plan.rows().empty()) {
        out << QStringLiteral(
                   "no line after the marker (line %1) holds \"=\", so no rows are "
                   "built.")
                   .arg(marker + 1);
    }
    return out;
}

}  // namespace

ListReport reportList(FileReader &files, const QString &argumentText) {
    RowPlan plan;
    const QString error = Form_Initialize(plan, files, argumentText);
    QString text = QStringLiteral("title: %1\n").arg(plan.caption());
    for (const HostRow &row : plan.rows()) {
        // One arg() call: a label holding "%4" must not be taken for a placeholder.
        text += QStringLiteral("row %1: label %2, address %3, line %4\n")
                    .arg(QString::number(row.number), quoteField(row.label),
                         quoteField(row.address), QString::number(row.lineIndex + 1));
    }
    text += QStringLiteral("rows: %1\n").arg(plan.rows().size());
    text += QStringLiteral("height: %1 twips\n").arg(plan.outerHeight());
    if (!error.isEmpty()) text += QStringLiteral("fails: %1\n").arg(error);
    for (const QString &hint : hints(plan, error.isEmpty()))
        text += QStringLiteral("hint: ") + hint + u'\n';
    return {text, error.isEmpty() ? 0 : 1};
}
