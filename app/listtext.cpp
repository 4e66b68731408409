#include "app/listtext.h"

#include <QStringDecoder>
#include <utility>

#include "app/int16.h"

QString listFileName(const QString &argumentText) {
    QString name = argumentText.isEmpty() ? QString::fromUtf16(kDefaultListFile) : argumentText;
    // A lone quote would leave a length of -1 here; it simply names no file.
    if (name.startsWith(u'"')) name = name.size() < 2 ? QString() : name.mid(1, name.size() - 2);
    return name;
}

namespace {

// Windows-1252 for 0x80..0x9F; the five bytes the code page leaves undefined map to the C1
// control of the same number, which keeps every byte distinct and round-trippable.
// clang-format off
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
// clang-format on

QString decodeCp1252(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = QChar(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t{b});
    }
    return text;
}

QString decodeWith(QStringConverter::Encoding encoding, QByteArrayView bytes, bool *ok) {
    // Stateless, and a BOM inside the body is kept as a character: the caller strips the lead one.
    QStringDecoder decoder(
        encoding, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (ok) *ok = !decoder.hasError();
    return text;
}

}  // namespace

QString decodeListBytes(const QByteArray &bytes) {
    const QByteArrayView all(bytes);
    if (all.startsWith("\xEF\xBB\xBF"))
        return decodeWith(QStringConverter::Utf8, all.sliced(3), nullptr);
    if (all.startsWith("\xFF\xFE"))
        return decodeWith(QStringConverter::Utf16LE, all.sliced(2), nullptr);
    if (all.startsWith("\xFE\xFF"))
        return decodeWith(QStringConverter::Utf16BE, all.sliced(2), nullptr);
    bool ok = false;
    QString text = decodeWith(QStringConverter::Utf8, all, &ok);
    return ok ? text : decodeCp1252(all);
}

QStringList splitListLines(const QString &text) {
    if (text.isEmpty()) return {};
    // By hand rather than QString::split: a search for the CR alone is several times faster.
    const QStringView all(text);
    QStringList lines;
    qsizetype start = 0;
    if (!all.contains(u"\r\n")) {
        // Every Linux editor saves LF line ends; under the CR LF rule alone such a list would be
        // one line that builds no row while the title says it loaded.
        for (qsizetype lf = all.indexOf(u'\n'); lf >= 0; lf = all.indexOf(u'\n', start)) {
            lines.append(all.sliced(start, lf - start).toString());
            start = lf + 1;
        }
        lines.append(all.sliced(start).toString());
        return lines;
    }
    for (qsizetype cr = all.indexOf(u'\r'); cr >= 0; cr = all.indexOf(u'\r', cr + 1)) {
        if (cr + 1 < all.size() && all[cr + 1] == u'\n') {
            lines.append(all.sliced(start, cr - start).toString());
            start = cr + 2;
        }
    }
    lines.append(all.sliced(start).toString());
    return lines;
}

namespace {

// The bounds of a line without its leading and trailing spaces.
std::pair<qsizetype, qsizetype> spaceBounds(QStringView line) {
    qsizetype first = 0;
    qsizetype last = line.size();
    while (first < last && line[first] == u' ') ++first;
    while (last > first && line[last - 1] == u' ') --last;
    return {first, last};
}

}  // namespace

QString trimSpaces(const QString &line) {
    const auto [first, last] = spaceBounds(line);
    return (first == 0 && last == line.size()) ? line : line.sliced(first, last - first);
}

void trimListLines(QStringList &lines) {
    // The line index is a 16-bit number, so the format allows at most 32,767 lines: after the
    // last of 32,768 lines the step to the next index overflows.
    try {
        const Int16 last = Int16::from(lines.size() - 1);
        for (Int16 i; i <= last; i += Int16::from(1)) {
            QString &line = lines[i.value()];
            // In place: the split lines own their text, so this moves it rather than copying it.
            const auto [first, end] = spaceBounds(line);
            if (end < line.size()) line.truncate(end);
            if (first > 0) line.remove(0, first);
        }
    } catch (const Int16Overflow &) {
        throw ListError(QStringLiteral("The list has %1 lines; at most "
                                       "32,767 are allowed.")
                            .arg(lines.size())
                            .toStdString());
    }
}

qsizetype markerPosition(const QString &line) {
    // The same as searching the line upper-cased one unit at a time, without the copy: no other
    // character upper-cases to a bracket, so only the five units after each "[" need mapping.
    static constexpr char16_t rest[] = u"LIST]";
    const qsizetype size = line.size();
    for (qsizetype at = line.indexOf(u'['); at >= 0 && at + 6 <= size;
         at = line.indexOf(u'[', at + 1)) {
        qsizetype k = 0;
        while (k < 5 && line[at + 1 + k].toUpper() == QChar(rest[k])) ++k;
        if (k == 5) return at;
    }
    return -1;
}

std::optional<Entry> splitEntry(const QString &line) {
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0) return std::nullopt;
    QString label = line.first(eq);
    label.replace(u'\t', u' ');
    return Entry{trimSpaces(label), line.sliced(eq + 1)};
}
