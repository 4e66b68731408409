// At a scale of 2 everything is twice as large in device pixels, and rows still touch.
#include <QApplication>
#include <QImage>
#include <QtTest>

#include "panel/mainwindow.h"
#include "tests/fakes.h"

class HiDpiTest : public QObject {
    Q_OBJECT

private slots:
    void doubledWithoutGaps() {
        FakeFileReader files(QStringLiteral("norvex.nvx"), crlfLines(entryLines(5)));
        RecordingLauncher launcher;
        MainWindow window(files, launcher, QString());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.devicePixelRatio(), 2.0);
        const int logicalHeight = (40 + 375 * 5 + 40) / 15;
        QCOMPARE(window.size(), QSize(225, logicalHeight));
        const QImage image = window.grab().toImage();
        QCOMPARE(image.size(), QSize(450, 2 * logicalHeight));

        // Down a column inside the bands, left of the label text: only band colours, no gap.
        const QList<QColor> bandColours{QColor(255, 254, 224), QColor(216, 236, 255),
                                        kAppWorkspaceColor};
        const int first = 2 * window.findChild<QWidget *>(QStringLiteral("Shape11"))->y();
        const auto *last = window.findChild<QWidget *>(QStringLiteral("Shape15"));
        const int end = 2 * (last->y() + last->height());
        for (int y = first; y < end; ++y) {
            const QColor c = image.pixelColor(8, y);
            QVERIFY2(bandColours.contains(c),
                     qPrintable(QStringLiteral("gap at device row %1: %2").arg(y).arg(c.name())));
        }
        // Both band colours are there, each over a row's height.
        QCOMPARE(image.pixelColor(8, first + 25), bandColours[0]);
        QCOMPARE(image.pixelColor(8, first + 25 + 50), bandColours[1]);
    }

    // The check marks, drawn at twice the size, on both band colours: each state in its colour.
    void checkMarksAtDoubleSize() {
        FakeFileReader files(QStringLiteral("norvex.nvx"), crlfLines(entryLines(4)));
        RecordingLauncher launcher;
        FakeChecker checker;
        using State = CheckResult::State;
        checker.answers[QStringLiteral("127.0.0.1")] = {{State::Answered, 1, {}}, 0};
        checker.answers[QStringLiteral("127.0.0.2")] = {{State::NoAnswer, -1, "x"}, 0};
        checker.answers[QStringLiteral("127.0.0.3")] = {{State::CouldNotCheck, -1, "x"}, 0};
        checker.answers[QStringLiteral("127.0.0.4")] = {{State::Answered, 1, {}}, 60000};
        MainWindow window(files, launcher, QString(), &checker);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.checkAll();
        QTRY_COMPARE(window.markOf(3)->look(), CheckMark::Look::CouldNotCheck);
        const QImage image = window.grab().toImage();
        const struct {
            int row;
            QColor colour;  // the mark's own colour, which fills its middle or rim
        } cases[] = {
            {1, QColor(0x1b, 0x7f, 0x3b)},  // answered, on the odd band
            {2, QColor(0xc6, 0x28, 0x28)},  // no answer, on the even band
            {3, QColor(0xa8, 0x5a, 0x00)},  // could not check
            {4, QColor(0x5f, 0x63, 0x68)},  // still being checked
        };
        for (const auto &c : cases) {
            const QRect mark = window.markOf(c.row)->geometry();
            QCOMPARE(mark.size(), QSize(13, 13));
            int matching = 0;
            for (int y = 2 * mark.top(); y < 2 * (mark.bottom() + 1); ++y) {
                for (int x = 2 * mark.left(); x < 2 * (mark.right() + 1); ++x)
                    matching += image.pixelColor(x, y) == c.colour;
            }
            QVERIFY2(matching >= 20, qPrintable(QStringLiteral("row %1: %2 pixels of %3")
                                                    .arg(c.row)
                                                    .arg(matching)
                                                    .arg(c.colour.name())));
        }
    }
};

int main(int argc, char **argv) {
    // Set here, not by the test runner: Wine passes no QT_ variable on to Windows programs.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    HiDpiTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "hidpi_test.moc"
