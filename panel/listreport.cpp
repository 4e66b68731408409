#include "panel/listreport.h"

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
    return {text, error.isEmpty() ? 0 : 1};
}
