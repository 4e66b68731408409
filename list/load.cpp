#include "list/load.h"

#include <algorithm>
#include <exception>

#include "platform/filereader.h"

LoadedList loadList(FileReader &files, const QString &argumentText) {
    LoadedList list;
    list.fileName = listFileName(argumentText);
    const QString &name = list.fileName;
    try {
        list.text = decodeListBytes(files.readAll(name));
        list.caption += QStringLiteral("  [") + name + u']';
        list.lines = splitListLines(list.text);
        trimListLines(list.lines);
        if (const std::optional<qint32> marker = findMarker(list)) {
            list.markerLine = *marker;
            // Lines number at most 32,767 by now, so the index after the marker fits.
            buildRows(list, Int16::from(*marker + 1));
        }
    } catch (const LoadError &e) {
        list.error = e.why();
    } catch (const std::exception &e) {
        // Out of memory, say: the window still opens, with the failure caption.
        list.error = QString::fromStdString(e.what());
    }
    if (!list.loaded()) list.caption = QStringLiteral(" [") + name + QStringLiteral("] not found");
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

std::optional<qint32> findMarker(const LoadedList &list) {
    // The first line, in order, that holds the marker. Lines without a "[" cannot, so the search
    // goes from one "[" of the whole text to the next rather than line by line.
    const QStringView text(list.text);
    for (qsizetype from = text.indexOf(u'['); from >= 0;) {
        const qint32 i = lineHolding(list.lines, text.constData() + from);
        const QStringView line = list.lines[i];
        const qsizetype found = markerPosition(line);
        if (found < 0) {
            from = text.indexOf(u'[', line.data() + line.size() - text.constData());
            continue;
        }
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
        return i;
    }
    return std::nullopt;
}

void buildRows(LoadedList &list, Int16 firstLine) {
    using namespace rowlayout;
    Int16 top = Int16::from(kFirstTop);
    const qint32 last = static_cast<qint32>(list.lines.size()) - 1;
    qint32 i = firstLine.value();
    try {
        for (; i <= last; ++i) {
            std::optional<Entry> entry = splitEntry(list.lines[i]);
            if (!entry) continue;
            const int n = static_cast<int>(list.rows.size()) + 1;
            list.rows.push_back({n, Host{std::move(entry->label), std::move(entry->address)},
                                 rowColor(n), top.value(), i});
            top += Int16::from(kPitch);
        }
    } catch (const Int16Overflow &) {
        throw LoadError(QStringLiteral("Too many hosts: row %1, from line %2, goes past the "
                                       "bottom limit of the window; at most %3 rows fit.")
                            .arg(list.rows.size())
                            .arg(i + 1)
                            .arg(kMaxRows));
    }
    try {
        list.outerHeight =
            (top + Int16::from(kBottomMargin) + Int16::from(kFrameAllowance)).value();
    } catch (const Int16Overflow &) {
        throw LoadError(QStringLiteral("Too many hosts: the window for %1 rows would be taller "
                                       "than the limit; at most %2 rows fit.")
                            .arg(list.rows.size())
                            .arg(kMaxRows));
    }
}
