#include "platform/cmdsplit.h"

QStringList splitWindowsCommandLine(const QString &commandLine) {
    const qsizetype nul = commandLine.indexOf(QChar(0));
    const QStringView text = QStringView(commandLine).first(nul < 0 ? commandLine.size() : nul);
    const qsizetype end = text.size();
    auto at = [&](qsizetype i) { return i < end ? text[i] : QChar(0); };
    auto isBlank = [](QChar c) { return c == u' ' || c == u'\t'; };

    QStringList words;
    qsizetype p = 0;
    for (;;) {
        while (p < end && isBlank(text[p])) ++p;
        if (p >= end) break;
        QString word;
        bool inQuote = false;
        for (;;) {
            bool copy = true;
            qsizetype backslashes = 0;
            while (at(p) == u'\\') ++p, ++backslashes;
            if (at(p) == u'"') {
                if (backslashes % 2 == 0) {
                    if (inQuote && at(p + 1) == u'"') {
                        ++p;  // "" inside quotes: one literal quote, still quoted
                    } else {
                        copy = false;
                        inQuote = !inQuote;
                    }
                }
                backslashes /= 2;
            }
            word.append(QString(backslashes, u'\\'));
            if (p >= end || (!inQuote && isBlank(text[p]))) break;
            if (copy) word.append(text[p]);
            ++p;
        }
        words.append(word);
    }
    return words;
}
