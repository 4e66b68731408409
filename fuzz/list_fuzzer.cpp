// Feeds arbitrary file bytes through the whole load path (decoding, lines, marker, entries,
// limits, rows) and checks the rows against a second, deliberately plain reading of the rules.
#include <QByteArray>
#include <QChar>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/listtext.h"
#include "app/startup.h"
#include "panel/rowplan.h"
#include "platform/filereader.h"

namespace {

class BytesReader : public FileReader {
public:
    explicit BytesReader(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    QByteArray readAll(const QString &) override { return m_bytes; }

private:
    QByteArray m_bytes;
};

struct RefRow {
    std::u16string label, address;
    int line;
};

struct Reference {
    bool fails = false;
    bool markerFound = false;
    std::vector<RefRow> rows;
};

std::u16string trim(const std::u16string &s) {
    size_t a = 0, b = s.size();
    while (a < b && s[a] == u' ') ++a;
    while (b > a && s[b - 1] == u' ') --b;
    return s.substr(a, b - a);
}

// The rules again, written as plainly as possible.
Reference readPlainly(const std::u16string &text) {
    Reference ref;
    std::vector<std::u16string> lines;
    if (!text.empty()) {
        // CR LF ends lines; in a text without any, LF does.
        const bool crlf = text.find(u"\r\n") != std::u16string::npos;
        std::u16string current;
        for (size_t i = 0; i < text.size(); ++i) {
            if (crlf && text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                lines.push_back(current);
                current.clear();
                ++i;
            } else if (!crlf && text[i] == u'\n') {
                lines.push_back(current);
                current.clear();
            } else {
                current += text[i];
            }
        }
        lines.push_back(current);
    }
    if (lines.size() > 32767) return ref.fails = true, ref;
    for (auto &line : lines) line = trim(line);

    size_t start = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        std::u16string upper;
        for (char16_t c : lines[i]) upper += QChar(c).toUpper().unicode();
        const size_t at = upper.find(u"[LIST]");
        if (at == std::u16string::npos) continue;
        if (at + 1 > 32767) return ref.fails = true, ref;
        ref.markerFound = true;
        start = i + 1;
        break;
    }
    for (size_t i = start; i < lines.size(); ++i) {
        const size_t eq = lines[i].find(u'=');
        if (eq == std::u16string::npos) continue;
        std::u16string label = lines[i].substr(0, eq);
        for (char16_t &c : label) c = c == u'\t' ? u' ' : c;
        ref.rows.push_back({trim(label), lines[i].substr(eq + 1), static_cast<int>(i)});
        if (ref.rows.size() == 88) return ref.fails = true, ref;  // the next row would not fit
    }
    if (ref.rows.size() == 87) ref.fails = true;  // the window height would not fit
    return ref;
}

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "list_fuzzer: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    RowPlan plan;
    BytesReader reader(bytes);
    const QString error = Form_Initialize(plan, reader, QString());

    const QString text = decodeListBytes(bytes);
    const Reference ref = readPlainly(text.toStdU16String());

    check(plan.ListText == text, "ListText is not the decoded text");
    check(error.isEmpty() != ref.fails, "failure differs from the plain reading");
    check(plan.caption() == (ref.fails ? QStringLiteral(" [norvex.nvx] not found")
                                       : QStringLiteral("norvex by Brastel v1.1  [norvex.nvx]")),
          "caption");
    check(plan.rows().size() == ref.rows.size(), "row count differs from the plain reading");
    check(plan.rows().size() <= 88, "more than 88 rows");
    for (size_t k = 0; k < ref.rows.size(); ++k) {
        const HostRow &row = plan.rows()[k];
        const int n = static_cast<int>(k) + 1;
        check(row.number == n, "row numbers are not 1, 2, 3, ...");
        check(row.top == 40 + 375 * (n - 1), "row top");
        check(row.label.toStdU16String() == ref.rows[k].label, "label");
        check(row.address.toStdU16String() == ref.rows[k].address, "address");
        check(row.lineIndex == ref.rows[k].line, "line index");
        check(rowlayout::rowColor(n) == (n % 2 ? 0x00E0FEFFu : 0x00FFECD8u), "row colour");
    }
    const int expectedHeight =
        ref.fails || !ref.markerFound ? 1045 : 40 + 375 * static_cast<int>(ref.rows.size()) + 440;
    check(plan.outerHeight() == expectedHeight, "window height");
    check(plan.RowCount.value() == static_cast<int>(plan.rows().size()), "RowCount");
    return 0;
}
