#include "panel/hostpanel.h"

#include "app/listtext.h"

void HostPanel::BuildHostRows(Int16 startIndex) {
    using namespace rowlayout;
    RowCount = Int16();
    Int16 RowTop = Int16::from(kFirstTop);
    const qint32 last = LineCount - 1;
    qint32 i = startIndex.value();
    try {
        for (; i <= last; ++i) {
            const std::optional<Entry> entry = splitEntry(ListLines[i]);
            if (!entry) continue;
            RowCount += Int16::from(1);
            addRow({RowCount.value(), entry->label, entry->address, RowTop.value(), i});
            RowTop += Int16::from(kPitch);
        }
    } catch (const Int16Overflow &) {
        throw ListError(QStringLiteral("Too many hosts: row %1, from line %2, goes past the "
                                       "bottom limit of the window; at most 86 rows fit.")
                            .arg(RowCount.value())
                            .arg(i + 1)
                            .toStdString());
    }
    try {
        setOuterHeight(RowTop + Int16::from(kBottomMargin) + Int16::from(kFrameAllowance));
    } catch (const Int16Overflow &) {
        throw ListError(QStringLiteral("Too many hosts: the window for %1 rows would be taller "
                                       "than the limit; at most 86 rows fit.")
                            .arg(RowCount.value())
                            .toStdString());
    }
}
