#include "panel/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWindow>
#include <QtTest>
#include <memory>

#include "platform/filereader.h"
#include "tests/fakes.h"

namespace {

const QString kFailure = QStringLiteral(" [norvex.nvx] not found");

// A window loaded from one list file, with the fakes it was given.
struct Window {
    explicit Window(const QByteArray &bytes, ProcessLauncher *launcher = nullptr,
                    const QString &name = QStringLiteral("norvex.nvx"))
        : files(name, bytes),
          window(std::make_unique<MainWindow>(files, launcher ? *launcher : recorder, QString(),
                                       &checker)) {}
    FakeFileReader files;
    RecordingLauncher recorder;
    FakeChecker checker;
    std::unique_ptr<MainWindow> window;
};

using State = CheckResult::State;

// Everything a check must leave as it was: caption, sizes, every item's place.
QStringList layoutOf(const MainWindow &window) {
    QStringList all{window.caption(), QString::number(window.outerHeight()),
                    QString::number(window.width()) + u'x' + QString::number(window.height())};
    for (const QWidget *w : window.canvas()->findChildren<QWidget *>()) {
        if (w->objectName().startsWith(QStringLiteral("Mark"))) continue;
        const QRect r = w->geometry();
        all << QStringLiteral("%1 %2,%3 %4x%5 %6")
                   .arg(w->objectName())
                   .arg(r.x())
                   .arg(r.y())
                   .arg(r.width())
                   .arg(r.height())
                   .arg(w->isVisible());
    }
    return all;
}

int stackIndex(const QWidget *w) { return w->parentWidget()->children().indexOf(w); }

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void placeholderWindowWhenThereIsNoList() {
        FakeFileReader files;
        RecordingLauncher launcher;
        MainWindow window(files, launcher, QString());
        QCOMPARE(window.caption(), kFailure);
        QCOMPARE(window.canvas()->size(), QSize(225, 43));
        QCOMPARE(window.outerHeight(), 1045);
        TwipsButton *button = window.pingButton(1);
        QVERIFY(button);
        QCOMPARE(button->caption(), QStringLiteral("127.0.0.1"));
        QCOMPARE(button->twips(), (TwipsRect{1845, 120, 1380, 375}));
        QCOMPARE(button->geometry(), QRect(123, 8, 92, 25));
        QCOMPARE(window.pingButton(0), nullptr);
        QCOMPARE(window.pingButton(2), nullptr);
        QVERIFY(window.findChildren<QLabel *>().isEmpty());
        QVERIFY(!window.windowIcon().isNull());
        QCOMPARE(window.windowIcon().availableSizes().value(0), QSize(32, 32));
    }

    void oneRowReusesThePlaceholderButton() {
        Window w("[LIST]\r\nGateway=127.0.0.1");
        QCOMPARE(w.window->findChildren<QPushButton *>().size(), 1);
        TwipsButton *button = w.window->pingButton(1);
        QCOMPARE(button->twips(), (TwipsRect{1600, 40, 1750, 375}));
        QCOMPARE(button->caption(), QStringLiteral("127.0.0.1"));
        QCOMPARE(button->faceColor(), QColor(255, 254, 224));
        QCOMPARE(w.window->outerHeight(), 855);
        QCOMPARE(w.window->canvas()->height(), 30);  // (855 - 400) / 15, rounded
    }

    void threeRowsGeometryNamesAndColours() {
        Window w("notes\r\n[LIST]\r\nA=127.0.0.1\r\nskip me\r\n\r\nB=127.0.0.2\r\nC=127.0.0.3\r\n");
        MainWindow &window = *w.window;
        QCOMPARE(window.caption(), QStringLiteral("norvex by Brastel v1.1  [norvex.nvx]"));
        QCOMPARE(window.outerHeight(), 1605);
        QCOMPARE(window.canvas()->size(), QSize(225, 80));
        const QColor colours[] = {{255, 254, 224}, {216, 236, 255}, {255, 254, 224}};
        const char *labels[] = {"A", "B", "C"};
        int previousBottom = -1;
        for (int n = 1; n <= 3; ++n) {
            const double top = 40 + 375 * (n - 1);
            auto *label = window.findChild<TwipsLabel *>(QStringLiteral("Label%1").arg(n));
            auto *band = window.findChild<TwipsRectangle *>(QStringLiteral("Shape1%1").arg(n));
            TwipsButton *button = window.pingButton(n);
            QVERIFY(label && band && button);
            QCOMPARE(label->twips(), (TwipsRect{100, top + 82.5, 2800, 375}));
            QCOMPARE(label->caption(), QString::fromUtf8(labels[n - 1]));
            QCOMPARE(label->font().family(), QStringLiteral("Verdana"));
            QCOMPARE(label->font().pointSize(), 8);
            QCOMPARE(band->twips(), (TwipsRect{30, top, 2800, 375}));
            QCOMPARE(band->fillColor(), colours[n - 1]);
            QCOMPARE(band->fillStyle(), FillStyle::Opaque);
            QCOMPARE(band->borderStyle(), BorderStyle::Solid);
            QCOMPARE(band->borderColor(), QColor(0xAB, 0xAB, 0xAB));
            QCOMPARE(button->twips(), (TwipsRect{1600, top, 1750, 375}));
            QCOMPARE(button->faceColor(), colours[n - 1]);
            QVERIFY(!label->isHidden() && !band->isHidden() && !button->isHidden());
            // Rows touch with no gap in pixels either.
            if (previousBottom >= 0) QCOMPARE(band->geometry().top(), previousBottom + 1);
            previousBottom = band->geometry().bottom();
            QCOMPARE(button->geometry().top(), band->geometry().top());
        }
        QCOMPARE(window.pingButton(4), nullptr);
    }

    void rowsOfOneColourShareOnePalette() {
        Window w(crlfLines(entryLines(6)));
        const qint64 odd = w.window->pingButton(1)->palette().cacheKey();
        const qint64 even = w.window->pingButton(2)->palette().cacheKey();
        QVERIFY(odd != even);
        for (int n = 3; n <= 6; ++n)
            QCOMPARE(w.window->pingButton(n)->palette().cacheKey(), n % 2 ? odd : even);
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        // Shown, and so re-resolved against the window's own palette, they still share it.
        QCOMPARE(w.window->pingButton(5)->palette().cacheKey(), odd);
        QCOMPARE(w.window->pingButton(6)->palette().color(QPalette::Button), QColor(216, 236, 255));
    }

    void clickPingsTheRowItWasBuiltFrom() {
        // A caption changed after the row was built does not change what the row pings.
        Window w("[LIST]\r\nA=127.0.0.1\r\nB=127.0.0.2");
        w.window->pingButton(2)->setCaption(QStringLiteral("127.0.0.99"));
        QTest::mouseClick(w.window->pingButton(2), Qt::LeftButton);
        QCOMPARE(w.recorder.starts.size(), size_t{1});
        QCOMPARE(w.recorder.starts[0].address, QStringLiteral("127.0.0.2"));
        QCOMPARE(w.recorder.starts[0].label, QStringLiteral("B"));
    }

    void aCheckShowsAMarkPerRowAndChangesNothingElse() {
        // Notes and blank lines before and between the entries: marks follow rows, not lines.
        Window w("notes\r\n\r\n[LIST]\r\nA=127.0.0.1\r\n\r\nB=-l 1000 127.0.0.2\r\na note\r\n"
                 "C=127.0.0.3\r\nD=-w 5\r\nE=127.0.0.1:8080");
        w.checker.answers[QStringLiteral("127.0.0.1")] = {{State::Answered, 0.042, QString()}, 0};
        w.checker.answers[QStringLiteral("127.0.0.2")] = {{State::NoAnswer, -1, "no reply"}, 0};
        w.checker.answers[QStringLiteral("127.0.0.3")] = {
            {State::CouldNotCheck, -1, "Name or service not known"}, 0};
        w.checker.answers[QStringLiteral("127.0.0.1 port 8080")] = {{State::NoAnswer, -1, "refused"}, 0};
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const QStringList before = layoutOf(*w.window);
        QCOMPARE(w.checker.asked.size(), 0);  // nothing is sent unasked
        QVERIFY(!w.window->markOf(1));

        w.window->checkAll();
        for (int n = 1; n <= 5; ++n) {
            QVERIFY(w.window->markOf(n));
            QCOMPARE(w.window->markOf(n)->look(), CheckMark::Look::Checking);
        }
        QTRY_COMPARE(w.window->markOf(4)->look(), CheckMark::Look::CouldNotCheck);
        QTRY_COMPARE(w.window->markOf(1)->look(), CheckMark::Look::Answered);
        // Only the host is checked: the options a list puts around it stay out.
        QTRY_COMPARE(w.window->markOf(5)->look(), CheckMark::Look::NoAnswer);
        // A port row is checked with a connect to its port.
        QCOMPARE(w.checker.asked,
                 QStringList({"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.1 port 8080"}));
        const struct {
            int row;
            CheckMark::Look look;
            const char *says;
        } marks[] = {
            {1, CheckMark::Look::Answered, "127.0.0.1 answered in 0.042 ms"},
            {2, CheckMark::Look::NoAnswer, "No answer from 127.0.0.2: no reply"},
            {3, CheckMark::Look::CouldNotCheck,
             "Could not check 127.0.0.3: Name or service not known"},
            {4, CheckMark::Look::CouldNotCheck, "Could not check -w 5: the address names no host"},
            {5, CheckMark::Look::NoAnswer, "No answer from 127.0.0.1 port 8080: refused"},
        };
        for (const auto &m : marks) {
            Twips<CheckMark> *mark = w.window->markOf(m.row);
            QCOMPARE(mark->look(), m.look);
            QCOMPARE(withoutTime(mark->toolTip()), QString::fromUtf8(m.says));
            // A port row's button also says what its click does.
            const QString clicks = m.row == 5 ? ". A click probes TCP port 8080 on 127.0.0.1" : "";
            QCOMPARE(withoutTime(w.window->pingButton(m.row)->accessibleDescription()),
                     QString::fromUtf8(m.says) + clicks);
            // On its own row's band, left of the button, and not over it.
            const QRect band =
                w.window->findChild<QWidget *>(QStringLiteral("Shape1%1").arg(m.row))->geometry();
            QVERIFY(band.contains(mark->geometry()));
            QVERIFY(!mark->geometry().intersects(w.window->pingButton(m.row)->geometry()));
        }
        QCOMPARE(layoutOf(*w.window), before);
        QTest::mouseClick(w.window->pingButton(2), Qt::LeftButton);  // a click still pings the row
        QCOMPARE(w.recorder.starts.size(), size_t{1});
        QCOMPARE(w.recorder.starts[0].commandLine(),
                 QStringLiteral("ping.exe -t -l 1000 127.0.0.2"));
    }

    void thePlaceholderAndRowsBeforeAFailureCanBeChecked() {
        Window none("no marker");
        none.window->checkAll();
        QTRY_COMPARE(none.checker.asked, QStringList{"127.0.0.1"});
        QTRY_COMPARE(none.window->markOf(1)->look(), CheckMark::Look::Answered);
        Window failed(crlfLines(entryLines(88)));
        QCOMPARE(failed.window->caption(), kFailure);
        failed.window->checkAll();
        QTRY_COMPARE(failed.checker.asked.size(), 88);
        QCOMPARE(failed.window->caption(), kFailure);
    }

    void theMenuOffersChecksForTheRowUnderIt() {
        Window w("[LIST]\r\nA=127.0.0.1\r\nB=127.0.0.2");
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const struct {
            QWidget *target;
            QPoint at;
            QContextMenuEvent::Reason reason;
            const char *checks;  // the host "Check this host" checks; empty: no such entry
        } cases[] = {
            {w.window->pingButton(2), QPoint(5, 5), QContextMenuEvent::Mouse, "127.0.0.2"},
            {w.window->canvas(), QPoint(10, 5), QContextMenuEvent::Mouse, "127.0.0.1"},  // band
            {w.window->pingButton(1), QPoint(5, 5), QContextMenuEvent::Keyboard, "127.0.0.1"},  // menu key
            {w.window->canvas(), QPoint(200, 54), QContextMenuEvent::Mouse, ""},  // below the rows
        };
        for (const auto &c : cases) {
            w.checker.asked.clear();
            if (c.reason == QContextMenuEvent::Keyboard) c.target->setFocus();
            QContextMenuEvent event(c.reason, c.at, c.target->mapToGlobal(c.at));
            QApplication::sendEvent(c.target, &event);
            auto *menu = w.window->findChild<QMenu *>(QStringLiteral("checkMenu"));
            QVERIFY(menu);
            auto *one = menu->findChild<QAction *>(QStringLiteral("checkHost"));
            QVERIFY2((one != nullptr) == (*c.checks != 0), c.checks);
            // Trace route sits beside it, for the same row.
            auto *trace = menu->findChild<QAction *>(QStringLiteral("traceRoute"));
            QCOMPARE(trace != nullptr, one != nullptr);
            if (trace) {
                w.recorder.traces.clear();
                trace->trigger();
                QCOMPARE(w.recorder.traces.size(), size_t{1});
                QCOMPARE(w.recorder.traces[0].checkTarget(), QString::fromUtf8(c.checks));
            }
            QVERIFY(menu->actions().contains(w.window->checkAllAction()));
            QVERIFY(menu->actions().contains(w.window->keepCheckingAction()));
            if (one) {
                one->trigger();
                QTRY_COMPARE(w.checker.asked, QStringList{QString::fromUtf8(c.checks)});
            }
            menu->close();
            QTRY_VERIFY(!w.window->findChild<QMenu *>(QStringLiteral("checkMenu")));
        }
        // Ctrl+T traces the row whose button has the focus.
        w.recorder.traces.clear();
        w.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        w.window->pingButton(2)->setFocus();
        QTest::keyClick(w.window->pingButton(2), Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(w.recorder.traces.size(), size_t{1});
        QCOMPARE(w.recorder.traces[0].address, QStringLiteral("127.0.0.2"));
        // F5 checks them all, from the keyboard.
        w.checker.asked.clear();
        w.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        QTest::keyClick(w.window.get(), Qt::Key_F5);
        QTRY_COMPARE(w.checker.asked.size(), 2);
    }

    void withoutACheckerNothingIsOffered() {
        FakeFileReader files(QStringLiteral("norvex.nvx"), "[LIST]\r\nA=127.0.0.1");
        RecordingLauncher launcher;
        MainWindow window(files, launcher, QString());
        QVERIFY(!window.checkAllAction());
        window.checkAll();  // harmless
        QVERIFY(!window.markOf(1));
    }

    void bandUnderLabelUnderButtons() {
        Window w(crlfLines(entryLines(4)));
        for (int n = 1; n <= 4; ++n) {
            auto *label = w.window->findChild<QWidget *>(QStringLiteral("Label%1").arg(n));
            auto *band = w.window->findChild<QWidget *>(QStringLiteral("Shape1%1").arg(n));
            QVERIFY(stackIndex(band) < stackIndex(label));
            QVERIFY(stackIndex(label) < stackIndex(w.window->pingButton(n)));
            // The lower part of a label reaches into the next row: that row's button is above it.
            if (n < 4) QVERIFY(stackIndex(label) < stackIndex(w.window->pingButton(n + 1)));
            QVERIFY(label->testAttribute(Qt::WA_TransparentForMouseEvents));
        }
        // A click where row 1's label overlaps row 2's button reaches that button.
        const QRect second = w.window->pingButton(2)->geometry();
        QCOMPARE(w.window->canvas()->childAt(second.left() + 5, second.top() + 2), w.window->pingButton(2));
        // A click on a band or label, left of the buttons, reaches no button.
        QVERIFY(!qobject_cast<QPushButton *>(w.window->canvas()->childAt(20, second.top() + 2)));
    }

    void textIsShownLiterally() {
        Window w("[LIST]\r\n<b>x</b>=a&b\r\n&File=<i>y</i>");
        auto *label = w.window->findChild<QLabel *>(QStringLiteral("Label1"));
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(label->text(), QStringLiteral("<b>x</b>"));
        QCOMPARE(w.window->pingButton(1)->caption(), QStringLiteral("a&b"));
        QCOMPARE(w.window->pingButton(1)->text(), QStringLiteral("a&&b"));  // shown as a&b, no shortcut
        QCOMPARE(w.window->pingButton(2)->text(), QStringLiteral("<i>y</i>"));
        QTest::mouseClick(w.window->pingButton(1), Qt::LeftButton);
        QCOMPARE(w.recorder.starts.at(0).commandLine(), QStringLiteral("ping.exe -t a&b"));
    }

    void titleShowsPlaceholderLiterally() {
        FakeFileReader files(QStringLiteral("a[*]b"), "");
        RecordingLauncher launcher;
        MainWindow window(files, launcher, QStringLiteral("a[*]b"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.caption(), QStringLiteral("norvex by Brastel v1.1  [a[*]b]"));
        QCOMPARE(window.windowHandle()->title(), QStringLiteral("norvex by Brastel v1.1  [a[*]b]"));
    }

    void rowLimitKeepsRowsAndHeight() {
        Window w(crlfLines(entryLines(87)));
        QCOMPARE(w.window->caption(), kFailure);
        QCOMPARE(w.window->findChildren<QLabel *>().size(), 87);
        QVERIFY(w.window->pingButton(87));
        QCOMPARE(w.window->outerHeight(), 1045);
        QCOMPARE(w.window->canvas()->height(), 43);
        QVERIFY(w.window->loadError().contains(QStringLiteral("86")));
        Window most(crlfLines(entryLines(86)));
        QCOMPARE(most.window->outerHeight(), 32730);
        QCOMPARE(most.window->canvas()->height(), 2155);
    }

    // Under LeakSanitizer this is the leak check of a whole start-up and shutdown.
    void fullStartUpAndShutdownWith86Rows() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("86.nvx"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(crlfLines(entryLines(86)));
        file.close();
        RealFileReader files;
        RecordingLauncher launcher;
        auto window = std::make_unique<MainWindow>(files, launcher, path);
        QCOMPARE(window->loadError(), QString());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTest::mouseClick(window->pingButton(86), Qt::LeftButton);
        QCOMPARE(launcher.starts.size(), size_t{1});
        window->close();
        window.reset();
    }

    void tallListScrollsWithinTheScreen() {
        Window tall(crlfLines(entryLines(86)));
        const int room = tall.window->screen()->availableGeometry().height() - 27;
        QVERIFY2(room < 2155, "the test screen is expected to be shorter than 86 rows");
        QCOMPARE(tall.window->height(), room);
        QVERIFY(tall.window->width() > 225);  // room for the scroll bar
        // Positions in twips are exactly as computed, whatever is shown.
        QCOMPARE(tall.window->pingButton(86)->twips().top, 40 + 375 * 85.0);
        tall.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(tall.window.get()));
        auto *scroll = tall.window->findChild<QScrollArea *>();
        QVERIFY(scroll->verticalScrollBar()->isVisible());
        QCOMPARE(scroll->verticalScrollBar()->maximum(), 2155 - room);

        Window small("[LIST]\r\na=1\r\nb=2\r\nc=3");  // nothing changes where it fits
        QCOMPARE(small.window->size(), QSize(225, 80));
    }

    void clickPingsThatRowsAddress() {
        Window w("[LIST]\r\nA=127.0.0.1\r\nB = 127.0.0.2\r\nC=b=c\r\nD=");
        const char *expected[] = {"ping.exe -t 127.0.0.1", "ping.exe -t  127.0.0.2",
                                  "ping.exe -t b=c", "ping.exe -t "};
        for (int n = 4; n >= 1; --n) {
            w.recorder.starts.clear();
            QTest::mouseClick(w.window->pingButton(n), Qt::LeftButton);
            QCOMPARE(w.recorder.starts.size(), size_t{1});
            QCOMPARE(w.recorder.starts[0].commandLine(), QString::fromUtf8(expected[n - 1]));
        }
        QCOMPARE(w.recorder.starts[0].title(), QStringLiteral("A - 127.0.0.1"));
        w.recorder.starts.clear();
        QTest::mouseClick(w.window->pingButton(2), Qt::LeftButton);
        QTest::mouseClick(w.window->pingButton(2), Qt::LeftButton);
        QCOMPARE(w.recorder.starts.size(), size_t{2});  // every click starts one more
    }

    void placeholderButtonPingsLoopback() {
        Window w("no marker here");
        QTest::mouseClick(w.window->pingButton(1), Qt::LeftButton);
        QCOMPARE(w.recorder.starts.size(), size_t{1});
        QCOMPARE(w.recorder.starts[0].commandLine(), QStringLiteral("ping.exe -t 127.0.0.1"));
    }

    // From the start, without a click: the first row has the focus.
    void buttonsWorkFromTheKeyboard() {
        Window w("[LIST]\r\nA=127.0.0.1\r\nB = 127.0.0.2");
        w.window->show();
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        QVERIFY(w.window->pingButton(1)->hasFocus());
        QTest::keyClick(w.window->pingButton(1), Qt::Key_Tab);
        QVERIFY(w.window->pingButton(2)->hasFocus());
        QTest::keyClick(w.window->pingButton(2), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral(" 127.0.0.2"));  // as written
        QTest::keyClick(w.window->pingButton(2), Qt::Key_Space);
        QCOMPARE(w.recorder.starts.size(), size_t{1});
        QCOMPARE(w.recorder.starts[0].commandLine(), QStringLiteral("ping.exe -t  127.0.0.2"));

        Window empty("no marker here");  // only the placeholder: nothing is focused for the user
        empty.window->show();
        QVERIFY(QTest::qWaitForWindowActive(empty.window.get()));
        QVERIFY(!empty.window->pingButton(1)->hasFocus());
    }

    void buttonsDescribeThemselves() {
        Window w("[LIST]\r\nGateway=127.0.0.1\r\nWeb=[::1]:8080");
        TwipsButton *button = w.window->pingButton(1);
        QCOMPARE(button->accessibleName(), QStringLiteral("Ping Gateway (127.0.0.1)"));
        QVERIFY(button->toolTip().contains(QStringLiteral("Gateway")));
        QVERIFY(button->toolTip().contains(QStringLiteral("ping.exe -t 127.0.0.1")));
        // A port row says what its click does instead.
        TwipsButton *port = w.window->pingButton(2);
        QCOMPARE(port->caption(), QStringLiteral("[::1]:8080"));
        QCOMPARE(port->toolTip(), QStringLiteral("Web\nA click probes TCP port 8080 on ::1"));
        QCOMPARE(port->accessibleDescription(), QStringLiteral("A click probes TCP port 8080 on ::1"));
    }

    void failedStartWarnsWithoutBlocking() {
        FailingLauncher failing;
        Window w("[LIST]\r\nA=127.0.0.1", &failing);
        w.window->show();
        QTest::mouseClick(w.window->pingButton(1), Qt::LeftButton);  // returns: the warning does not block
        QCOMPARE(failing.attempts, 1);
        auto *box = w.window->findChild<QMessageBox *>(QStringLiteral("launchWarning"));
        QVERIFY(box);
        QTRY_VERIFY(box->isVisible());
        QVERIFY(box->text().contains(QStringLiteral("127.0.0.1")));
        QVERIFY(box->text().contains(QStringLiteral("No terminal program")));
        box->accept();
        QTest::mouseClick(w.window->pingButton(1), Qt::LeftButton);
        QCOMPARE(failing.attempts, 2);
    }
};

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
