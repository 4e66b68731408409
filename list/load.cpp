#include "list/load.h"

#include <algorithm>
#include <exception>

#include "platform/filereader.h"

LoadedList Form_Initialize(FileReader &files, const QString &argumentText) {
    LoadedList list;
    list.fileName = listFileName(argumentText);
    const QString &name = list.fileName;
    try {
        list.ListText = decodeListBytes(files.readAll(name));
        list.caption += QStringLiteral("  [") + name + u']';
        list.ListLines = splitListLines(list.ListText);
        list.LineCount = static_cast<qint32>(list.ListLines.size());
        trimListLines(list.ListLines);
        FindListSection(list);
    } catch (const std::exception &e) {
        list.caption = QStringLiteral(" [") + name + QStringLiteral("] not found");
        list.error = QString::fromStdString(e.what());
    } catch (...) {
        list.caption = QStringLiteral(" [") + name + QStringLiteral("] not found");
        list.error = QStringLiteral("An unexpected error stopped loading.");
    }
    return list;
}

namespace {

// The index of the line that holds the unit at, among lines in text order.
qint32 lineHolding(const LineViews &lines, const QChar *at) {
    const auto after =
        std::upper_bound(lines.begin(), lines.end(), at,
                         [](const QChar *unit, QStringView line) { return unit < line.data(); });
    return static_cast<qint32>(after - lines.begin()) - 1;
}

}  // namespace

void FindListSection(LoadedList &list) {
    // The first line, in order, that holds the marker. Lines without a "[" cannot, so the search
    // goes from one "[" of the whole text to the next rather than line by line.
    const QStringView text(list.ListText);
    for (qsizetype from = text.indexOf(u'['); from >= 0;) {
        const qint32 i = lineHolding(list.ListLines, text.constData() + from);
        const QStringView line = list.ListLines[i];
        const qsizetype found = markerPosition(line);
        if (found < 0) {
            from = text.indexOf(u'[', line.data() + line.size() - text.constData());
            continue;
        }
        list.markerLine = i;
        try {
            // The marker's 1-based position is a 16-bit number.
            (void)Int16::from(found + 1);
        } catch (const Int16Overflow &) {
            throw LoadError(QStringLiteral("The [LIST] marker on line %1 starts at character %2; "
                                           "it must start within the first 32,767 characters of "
                                           "its line.")
                                .arg(i + 1)
                                .arg(found + 1));
        }
        // Lines number at most 32,767 by now, so the index after the marker fits.
        BuildHostRows(list, Int16::from(i + 1));
        return;
    }
}

void BuildHostRows(LoadedList &list, Int16 startIndex) {
    using namespace rowlayout;
    list.RowCount = Int16();
    Int16 RowTop = Int16::from(kFirstTop);
    const qint32 last = list.LineCount - 1;
    qint32 i = startIndex.value();
    try {
        for (; i <= last; ++i) {
            std::optional<Entry> entry = splitEntry(list.ListLines[i]);
            if (!entry) continue;
            list.RowCount += Int16::from(1);
            const int n = list.RowCount.value();
            list.rows.push_back({n, Host{std::move(entry->label), std::move(entry->address)},
                                 rowColor(n), RowTop.value(), i});
            RowTop += Int16::from(kPitch);
        }
    } catch (const Int16Overflow &) {
        throw LoadError(QStringLiteral("Too many hosts: row %1, from line %2, goes past the "
                                       "bottom limit of the window; at most 86 rows fit.")
                            .arg(list.RowCount.value())
                            .arg(i + 1));
    }
    try {
        list.outerHeight =
            (RowTop + Int16::from(kBottomMargin) + Int16::from(kFrameAllowance)).value();
    } catch (const Int16Overflow &) {
        throw LoadError(QStringLiteral("Too many hosts: the window for %1 rows would be taller "
                                       "than the limit; at most 86 rows fit.")
                            .arg(list.RowCount.value()));
    }
}
