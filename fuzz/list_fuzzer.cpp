// Feeds arbitrary file bytes through the whole load path (decoding, lines, marker, entries,
// limits, rows) and checks the result against a second, deliberately plain reading of the rules
// that shares no code with loading.
#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "fuzz/plainreading.h"
#include "list/load.h"
#include "platform/filereader.h"

namespace {

class BytesReader : public FileReader {
public:
    explicit BytesReader(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    QByteArray readAll(const QString &) override { return m_bytes; }

private:
    QByteArray m_bytes;
};

void check(bool ok, const char *what) {
    if (!ok) {
        std::fprintf(stderr, "list_fuzzer: %s\n", what);
        std::abort();
    }
}

std::u16string_view units(QStringView s) { return {s.utf16(), static_cast<size_t>(s.size())}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    BytesReader reader(bytes);
    const LoadedList list = loadList(reader, QString());
    const PlainReading ref = readPlainly(std::string_view(bytes.constData(), size));

    check(units(list.text) == ref.text, "text is not the plainly decoded text");
    check(list.loaded() != ref.fails, "failure differs from the plain reading");
    check(list.caption == (ref.fails ? QStringLiteral(" [norvex.nvx] not found")
                                     : QStringLiteral("norvex by Brastel v1.1  [norvex.nvx]")),
          "caption");
    check(list.rows.size() == ref.rows.size(), "row count differs from the plain reading");
    for (size_t k = 0; k < ref.rows.size(); ++k) {
        const HostRow &row = list.rows[k];
        const int n = static_cast<int>(k) + 1;
        check(row.number == n, "row numbers are not 1, 2, 3, ...");
        check(row.top == 40 + 375 * (n - 1), "row top");
        check(units(row.host.label) == ref.rows[k].label, "label");
        check(units(row.host.address) == ref.rows[k].address, "address");
        check(row.line == ref.rows[k].line, "line index");
        check(row.color == (n % 2 ? rowlayout::RowColor{255, 254, 224}
                                    : rowlayout::RowColor{216, 236, 255}),
              "row colour");
    }
    check(list.outerHeight.value_or(1045) == ref.height, "window height");
    if (list.loaded()) check(list.markerLine == ref.markerLine, "marker line");
    return 0;
}
