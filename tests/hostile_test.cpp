// Hostile list files, made here at test time, each loaded through the real window and file
// reader: none may crash, hang or take long, and the window must show what a plain second
// reading of the rules, which shares no code with loading, makes of the same bytes.
#include <QElapsedTimer>
#include <QLabel>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <string_view>

#include "fuzz/plainreading.h"
#include "list/report.h"
#include "panel/mainwindow.h"
#include "platform/filereader.h"
#include "tests/fakes.h"

namespace {

QByteArray utf16le(const QString &text) {
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

QByteArray entries(int n) { return crlfLines(entryLines(n)); }

}  // namespace

class HostileTest : public QObject {
    Q_OBJECT

private slots:
    void load_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("loads");
        QTest::addColumn<int>("rows");

        QRandomGenerator random(20261207);
        QByteArray noise(256 * 1024, Qt::Uninitialized);
        for (char &c : noise) c = static_cast<char>(random.bounded(256));
        QTest::newRow("random bytes") << noise << true << -1;
        QTest::newRow("random bytes after a marker")
            << QByteArray("[LIST]\r\n") + noise << true << -1;
        QTest::newRow("NUL bytes") << QByteArray("[LIST]\r\na\0b=c\0d", 15) << true << 1;
        QTest::newRow("only NUL bytes") << QByteArray(4096, '\0') << true << 0;
        QTest::newRow("CR-only line ends") << QByteArray("[LIST]\ra=1\rb=2\r") << true << 0;
        QTest::newRow("LF-only line ends") << QByteArray("[LIST]\na=1\nb=2\n") << true << 2;
        const QString list = QStringLiteral("[LIST]\r\nx=1\r\ny=2");
        QTest::newRow("UTF-16 with BOM") << QByteArray("\xFF\xFE") + utf16le(list) << true << 2;
        QTest::newRow("UTF-16 without BOM") << utf16le(list) << true << 0;
        QTest::newRow("UTF-16 odd length")
            << QByteArray("\xFF\xFE") + utf16le(list) + 'x' << true << 2;
        QTest::newRow("invalid UTF-8") << QByteArray("[LIST]\r\ncaf\xE9\xC3=\xF5\x80") << true << 1;
        QTest::newRow("50 MiB single line") << QByteArray(50 * 1024 * 1024, 'x') << false << 0;
        QTest::newRow("32,767 pieces") << QByteArray("\r\n").repeated(32766) << true << 0;
        QTest::newRow("32,768 pieces") << QByteArray("\r\n").repeated(32767) << false << 0;
        const QByteArray filler(32766, 'x');
        QTest::newRow("marker at character 32,767") << filler + "[LIST]\r\na=1" << true << 1;
        QTest::newRow("marker at character 32,768") << filler + "x[LIST]\r\na=1" << false << 0;
        QTest::newRow("86 entries") << entries(86) << true << 86;
        QTest::newRow("87 entries") << entries(87) << false << 87;
        QTest::newRow("88 entries") << entries(88) << false << 88;
        QTest::newRow("10,000 entries") << entries(10000) << false << 88;
        QTest::newRow("HTML labels")
            << QByteArray("[LIST]\r\n<b>x</b>=1\r\n<img src=x onerror=y>=2\r\n<script>=3") << true
            << 3;
        QTest::newRow("10,000-character label")
            << QByteArray("[LIST]\r\n") + QByteArray(10000, 'L') + "=1" << true << 1;
        QTest::newRow("100,000-character address")
            << QByteArray("[LIST]\r\na=") + QByteArray(100000, '1') << true << 1;
    }

    void load() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, loads);
        QFETCH(int, rows);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("hostile.nvx"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(bytes), bytes.size());
        }
        RealFileReader files;
        RecordingLauncher launcher;
        QElapsedTimer timer;
        timer.start();
        MainWindow window(files, launcher, path);
        const qint64 elapsed = timer.elapsed();
#ifndef NORVEX_SANITIZED
        QVERIFY2(elapsed < 2000, qPrintable(QStringLiteral("took %1 ms").arg(elapsed)));
#else
        Q_UNUSED(elapsed);
#endif
        QCOMPARE(window.caption().endsWith(QStringLiteral("] not found")), !loads);
        QCOMPARE(window.loadError().isEmpty(), loads);

        // The window shows what the plain reading makes of the same bytes.
        PlainReading ref;
        if (bytes.size() > kMaxListFileBytes)
            ref.fails = true;  // too large to be read at all
        else
            ref = readPlainly(std::string_view(bytes.constData(), bytes.size()));
        QCOMPARE(window.caption(), ref.fails
                                     ? QStringLiteral(" [%1] not found").arg(path)
                                     : QStringLiteral("norvex by Brastel v1.1  [%1]").arg(path));
        QCOMPARE(window.outerHeight(), ref.height);
        const int built = static_cast<int>(ref.rows.size());
        if (rows >= 0) QCOMPARE(built, rows);
        QCOMPARE(window.findChildren<QLabel *>().size(), built);
        for (int n = 1; n <= built; ++n) {
            const PlainRow &row = ref.rows[n - 1];
            QCOMPARE(window.pingButton(n)->caption(), QString::fromStdU16String(row.address));
            auto *label = window.findChild<QLabel *>(QStringLiteral("Label%1").arg(n));
            QVERIFY(label);
            QCOMPARE(label->text(), QString::fromStdU16String(row.label));
        }
        QCOMPARE(window.pingButton(std::max(built, 1) + 1), nullptr);  // the placeholder button is 1
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        checkerAgrees(window, files, path);
    }

    // Every list file the tests keep: norvex-check reports what the window shows.
    void checkerAgreesOnKeptLists_data() {
        QTest::addColumn<QString>("path");
        for (const char *folder :
             {NORVEX_SOURCE_DIR "/examples", NORVEX_SOURCE_DIR "/fuzz/corpus"}) {
            const QDir dir(QString::fromUtf8(folder));
            for (const QString &name : dir.entryList(QDir::Files))
                QTest::newRow(qPrintable(name)) << dir.filePath(name);
        }
    }

    void checkerAgreesOnKeptLists() {
        QFETCH(QString, path);
        RealFileReader files;
        RecordingLauncher launcher;
        MainWindow window(files, launcher, path);
        checkerAgrees(window, files, path);
    }

private:
    static void checkerAgrees(const MainWindow &window, FileReader &files, const QString &path) {
        const ListReport report = reportList(loadList(files, path));
        QStringList lines = report.text.split(u'\n');
        QCOMPARE(lines.value(0), QStringLiteral("title: ") + window.caption());
        QCOMPARE(report.status, window.loadError().isEmpty() ? 0 : 1);
        const int rows = static_cast<int>(window.findChildren<QLabel *>().size());
        QCOMPARE(lines.value(rows + 1), QStringLiteral("rows: %1").arg(rows));
        for (int n = 1; n <= rows; ++n) {
            const QString expected =
                QStringLiteral("row %1: label %2, address %3, line ")
                    .arg(n)
                    .arg(quoteField(
                             window.findChild<QLabel *>(QStringLiteral("Label%1").arg(n))->text()),
                         quoteField(window.pingButton(n)->caption()));
            QVERIFY2(lines.value(n).startsWith(expected), qPrintable(lines.value(n)));
        }
        QCOMPARE(lines.value(rows + 2), QStringLiteral("height: %1 twips").arg(window.outerHeight()));
    }
};

QTEST_MAIN(HostileTest)
#include "hostile_test.moc"
