// At a scale of 2 everything is twice as large in device pixels, and rows still touch.
#include <QApplication>
#include <QImage>
#include <QtTest>

#include "panel/form1.h"
#include "tests/fakes.h"

class HiDpiTest : public QObject {
    Q_OBJECT

private slots:
    void doubledWithoutGaps() {
        FakeFileReader files(QStringLiteral("norvex.nvx"), crlfLines(entryLines(5)));
        RecordingLauncher launcher;
        Form1 form(files, launcher, QString());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.devicePixelRatio(), 2.0);
        const int logicalHeight = (40 + 375 * 5 + 40) / 15;
        QCOMPARE(form.size(), QSize(225, logicalHeight));
        const QImage image = form.grab().toImage();
        QCOMPARE(image.size(), QSize(450, 2 * logicalHeight));

        // Down a column inside the bands, left of the label text: only band colours, no gap.
        const QList<QColor> bandColours{toQColor(0x00E0FEFF), toQColor(0x00FFECD8),
                                        toQColor(kAppWorkspaceColor)};
        const int first = 2 * form.findChild<QWidget *>(QStringLiteral("Shape11"))->y();
        const auto *last = form.findChild<QWidget *>(QStringLiteral("Shape15"));
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
