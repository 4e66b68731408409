// Reading and parsing a worst-case list (32,767 pieces) against the practical limit: one read
// of the bytes and a count of their CR LF pairs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstring>

#include "list/listtext.h"
#include "list/load.h"
#include "platform/filereader.h"

namespace {

QTemporaryDir &workDir() {
    static QTemporaryDir dir;
    return dir;
}

// A list of 32,767 pieces and about `bytes` bytes: long note lines, a marker, 86 hosts.
QString worstCase(qint64 bytes) {
    const QString path = workDir().filePath(QStringLiteral("worst-%1.nvx").arg(bytes));
    if (QFile::exists(path)) return path;
    const int pieces = 32767;
    const qint64 lineLength = std::max<qint64>(1, bytes / pieces - 2);
    QByteArray text;
    text.reserve(bytes + 4096);
    const QByteArray note = "  " + QByteArray(lineLength - 4, 'n') + "  ";
    for (int i = 0; i < pieces - 88; ++i) text += note + "\r\n";
    text += "[LIST]\r\n";
    for (int i = 1; i <= 86; ++i)
        text += "host" + QByteArray::number(i) + "=127.0.0." + QByteArray::number(i) + "\r\n";
    text += "end";  // the last piece: no CR LF after it
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text);
    return path;
}

void readAndCount(benchmark::State &state) {
    const QByteArray path = QFile::encodeName(worstCase(state.range(0)));
    std::vector<char> buffer(static_cast<size_t>(state.range(0)) + 65536);
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_RDONLY);
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        ::close(fd);
        size_t count = 0;
        for (const char *p = buffer.data(), *end = p + n;
             (p = static_cast<const char *>(std::memchr(p, '\r', end - p))) != nullptr; ++p) {
            if (p + 1 < end && p[1] == '\n') ++count;
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void loadList(benchmark::State &state) {
    const QString path = worstCase(state.range(0));
    RealFileReader files;
    for (auto _ : state) {
        const LoadedList list = loadList(files, path);
        if (list.rows.size() != 86) state.SkipWithError("the worst case did not load");
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The steps of loading on their own, to show where the time goes.
void stepRead(benchmark::State &state) {
    const QString path = worstCase(state.range(0));
    RealFileReader files;
    for (auto _ : state) benchmark::DoNotOptimize(files.readAll(path));
}
void stepDecode(benchmark::State &state) {
    const QByteArray bytes = RealFileReader().readAll(worstCase(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(decodeListBytes(bytes));
}
void stepSplit(benchmark::State &state) {
    const QString text = decodeListBytes(RealFileReader().readAll(worstCase(state.range(0))));
    for (auto _ : state) benchmark::DoNotOptimize(splitListLines(text));
}
void stepTrim(benchmark::State &state) {
    const QString text = decodeListBytes(RealFileReader().readAll(worstCase(state.range(0))));
    const LineViews lines = splitListLines(text);
    for (auto _ : state) {
        LineViews copy = lines;
        trimListLines(copy);
        benchmark::DoNotOptimize(copy);
    }
}
// The marker search and the rows built after it.
void stepMarker(benchmark::State &state) {
    LoadedList list;
    list.text = decodeListBytes(RealFileReader().readAll(worstCase(state.range(0))));
    list.lines = splitListLines(list.text);
    trimListLines(list.lines);
    for (auto _ : state) {
        list.rows.clear();
        if (const auto marker = findMarker(list)) buildRows(list, Int16::from(*marker + 1));
    }
}

constexpr int64_t kOneMiB = 1 << 20;

}  // namespace

BENCHMARK(readAndCount)->Arg(kOneMiB)->Arg(16 * kOneMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(loadList)->Arg(kOneMiB)->Arg(16 * kOneMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(stepRead)->Arg(kOneMiB)->Arg(16 * kOneMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(stepDecode)->Arg(kOneMiB)->Arg(16 * kOneMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(stepSplit)->Arg(kOneMiB)->Arg(16 * kOneMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(stepTrim)->Arg(kOneMiB)->Arg(16 * kOneMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(stepMarker)->Arg(kOneMiB)->Arg(16 * kOneMiB)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
