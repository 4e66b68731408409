#include "app/startup.h"

#include <exception>

#include "app/listtext.h"
#include "platform/filereader.h"

QString Form_Initialize(ListWindow &form, FileReader &files, const QString &argumentText) {
    const QString name = listFileName(argumentText);
    try {
        form.ListText = decodeListBytes(files.readAll(name));
        form.setCaption(form.caption() + QStringLiteral("  [") + name + u']');
        form.ListLines = splitListLines(form.ListText);
        form.LineCount = static_cast<qint32>(form.ListLines.size());
        trimListLines(form.ListLines);
        FindListSection(form);
        return {};
    } catch (const std::exception &e) {
        form.setCaption(QStringLiteral(" [") + name + QStringLiteral("] not found"));
        return QString::fromStdString(e.what());
    } catch (...) {
        form.setCaption(QStringLiteral(" [") + name + QStringLiteral("] not found"));
        return QStringLiteral("An unexpected error stopped loading.");
    }
}

void FindListSection(ListWindow &form) {
    for (qint32 i = 0; i < form.LineCount; ++i) {
        const qsizetype found = markerPosition(form.ListLines[i]);
        if (found < 0) continue;
        try {
            // The marker's 1-based position is a 16-bit number.
            (void)Int16::from(found + 1);
        } catch (const Int16Overflow &) {
            throw ListError(QStringLiteral("The [LIST] marker on line %1 starts at character %2; "
                                           "it must start within the first 32,767 characters of "
                                           "its line.")
                                .arg(i + 1)
                                .arg(found + 1)
                                .toStdString());
        }
        // Lines number at most 32,767 by now, so the index after the marker fits.
        form.BuildHostRows(Int16::from(i + 1));
        return;
    }
}
