#include "list/listtext.h"

#include <QStringDecoder>
#include <algorithm>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "list/int16.h"

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

namespace {

// The position of the first unit at or after from, or size when there is none. Lists run to
// 32,767 lines of a few dozen characters, and a library search costs more to set up than such a
// line takes to read, so this looks at eight units at a time where the processor allows.
inline qsizetype findUnit(const char16_t *units, qsizetype from, qsizetype size, char16_t unit) {
    qsizetype i = from;
#ifdef __SSE2__
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
    for (; i + 8 <= size; i += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(units + i));
        // Two mask bits for each unit that matches.
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(chunk, wanted));
        if (mask != 0) return i + __builtin_ctz(static_cast<unsigned>(mask)) / 2;
    }
#endif
    for (; i < size; ++i) {
        if (units[i] == unit) return i;
    }
    return size;
}

}  // namespace

LineViews splitListLines(QStringView text) {
    LineViews lines;
    if (text.isEmpty()) return lines;
    const char16_t *units = text.utf16();
    const qsizetype size = text.size();
    // Every Linux editor saves LF line ends; under the CR LF rule alone such a list would be one
    // line that builds no row while the title says it loaded.
    bool crlf = false;
    for (qsizetype lf = findUnit(units, 0, size, u'\n'); lf < size && !crlf;
         lf = findUnit(units, lf + 1, size, u'\n'))
        crlf = lf > 0 && units[lf - 1] == u'\r';
    // Room for every line of a list that keeps within the limit, and no more than the text.
    lines.reserve(std::min<qsizetype>(size / 2 + 1, 32768));
    qsizetype start = 0;
    if (crlf) {
        for (qsizetype cr = findUnit(units, 0, size, u'\r'); cr < size;
             cr = findUnit(units, cr + 1, size, u'\r')) {
            if (cr + 1 == size || units[cr + 1] != u'\n') continue;  // a lone CR stays
            lines.push_back(text.sliced(start, cr - start));
            start = cr + 2;
        }
    } else {
        for (qsizetype lf = findUnit(units, 0, size, u'\n'); lf < size;
             lf = findUnit(units, lf + 1, size, u'\n')) {
            lines.push_back(text.sliced(start, lf - start));
            start = lf + 1;
        }
    }
    lines.push_back(text.sliced(start));
    return lines;
}

QStringView trimSpaces(QStringView line) {
    qsizetype first = 0;
    qsizetype last = line.size();
    while (first < last && line[first] == u' ') ++first;
    while (last > first && line[last - 1] == u' ') --last;
    return line.sliced(first, last - first);
}

void trimListLines(LineViews &lines) {
    // The line index is a 16-bit number, so the format allows at most 32,767 lines: after the
    // last of 32,768 lines the step to the next index overflows.
    try {
        const Int16 last = Int16::from(static_cast<qint64>(lines.size()) - 1);
        for (Int16 i; i <= last; i += Int16::from(1)) {
            QStringView &line = lines[i.value()];
            line = trimSpaces(line);
        }
    } catch (const Int16Overflow &) {
        throw LoadError(QStringLiteral("The list has %1 lines; at most 32,767 are allowed.")
                            .arg(lines.size()));
    }
}

qsizetype markerPosition(QStringView line) {
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

std::optional<Entry> splitEntry(QStringView line) {
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0) return std::nullopt;
    QString label = line.first(eq).toString();
    label.replace(u'\t', u' ');
    return Entry{trimSpaces(label).toString(), line.sliced(eq + 1).toString()};
}
