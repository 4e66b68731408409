// The history board over a history of known results: its lines, sorting, copying, words for
// screen readers, updates, graph and saving.
#include "panel/historyboard.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "panel/historygraph.h"
#include "panel/historymodel.h"
#include "platform/savepath.h"
#include "tests/fakes.h"

namespace {

using State = CheckResult::State;

// Hands out the path it is given, and counts how often it was asked.
class FakeChooser : public SavePathChooser {
public:
    QString chooseSavePath(QWidget *, const QString &, const QString &, const QString &,
                           const QString &) override {
        ++asked;
        return path;
    }
    QString path;
    int asked = 0;
};

// A board over rows whose results are given per address, one run every 5 s: a number answered in
// that many ms, "x" lost, "?" could not be checked, "." no result in that run.
struct Board {
    Board(std::vector<Host> rows, const std::map<QString, QString> &results) {
        history.setRows(std::move(rows));
        record(results);
        board = std::make_unique<HistoryBoard>(history, QStringLiteral("norvex.nvx"), &chooser);
        board->show();
        QApplication::processEvents();
    }
    // Records the runs, one every 5 s; once the board is open, it is shown each run as it comes.
    void record(const std::map<QString, QString> &results) {
        for (int run = 0;; ++run) {
            bool any = false;
            for (const auto &[address, words] : results) {
                const QStringList list = words.split(u' ');
                if (run >= list.size()) continue;
                any = true;
                const QString &w = list[run];
                if (w == u'.') continue;
                history.record(address, w == u'x' ? CheckResult{State::NoAnswer, -1, "no reply"}
                                        : w == u'?'
                                            ? CheckResult{State::CouldNotCheck, -1, "unknown"}
                                            : CheckResult{State::Answered, w.toDouble(), ""});
            }
            if (!any) break;
            clock.advance(5000);
            if (board) QApplication::processEvents();
        }
    }
    // The labels of the lines, in the order shown.
    QStringList labels() const {
        QStringList shown;
        for (int line = 0; line < board->sorted()->rowCount(); ++line)
            shown << board->sorted()->index(line, HistoryModel::Label).data().toString();
        return shown;
    }
    void clickHeader(int column) {
        QHeaderView *header = board->table()->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 4, 4));
    }
    FakeWallClock clock;
    SessionHistory history{clock};
    FakeChooser chooser;
    std::unique_ptr<HistoryBoard> board;
};

const std::vector<Host> kRows = {{"a", "10.0.0.1"},
                                 {"b", "10.0.0.2"},
                                 {"never", "10.0.0.3"},
                                 {"d", "10.0.0.4"},
                                 {"b again", "10.0.0.2"}};
const std::map<QString, QString> kResults = {
    {"10.0.0.1", "8 9 10 9"}, {"10.0.0.2", "0.3 x 0.5 x"}, {"10.0.0.4", "? 10 x 14 12"}};

TEST(HistoryBoard, OneClickOnAColumnSortsTheWorstFirstByNumberNotText) {
    const struct {
        int column;
        QStringList order;
    } cases[] = {
        // Rows of equal loss keep list order; a row never checked comes last.
        {HistoryModel::Loss, {"b", "b again", "d", "a", "never"}},
        {HistoryModel::Average, {"d", "a", "b", "b again", "never"}},  // 12 > 9 though "12" < "9"
        {HistoryModel::LastResult, {"b", "b again", "a", "d", "never"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.column);
        Board board(kRows, kResults);
        EXPECT_EQ(board.labels(), QStringList({"a", "b", "never", "d", "b again"}));
        board.clickHeader(c.column);
        EXPECT_EQ(board.labels(), c.order);
        board.clickHeader(c.column);
        board.clickHeader(c.column);  // the third click goes back to list order
        EXPECT_EQ(board.labels(), QStringList({"a", "b", "never", "d", "b again"}));
    }
}

TEST(HistoryBoard, CtrlCCopiesTheSelectedLinesAsASpreadsheetPastesThem) {
    Board board(kRows, kResults);
    board.clickHeader(HistoryModel::Loss);
    QTableView *table = board.board->table();
    table->selectRow(3);  // a
    table->selectionModel()->select(board.board->sorted()->index(0, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(),
              "Host\tAddress\tLast result\tAt\tLost / sent\tMin (ms)\tAverage (ms)\tMax (ms)\t"
              "Jitter (ms)\tRecent results\n"
              "b\t10.0.0.2\tno answer: no reply\t09:00:15\t2 / 4 (50 %)\t0.3\t0.4\t0.5\t0.2\t"
              "answered 2 of 4, average 0.4 ms, last lost at 09:00:15\n"
              "a\t10.0.0.1\tanswered in 9 ms\t09:00:15\t0 / 4 (0 %)\t8\t9\t10\t1\t"
              "answered 4 of 4, average 9 ms\n");
}

TEST(HistoryBoard, TheStripAndTheFirstCellSayInWordsWhatTheyShow) {
    QString sixtyFive = QStringLiteral("x ").repeated(5) + QStringLiteral("1 ").repeated(60);
    sixtyFive.chop(1);
    Board board({{"a", "10.0.0.1"}, {"never", "10.0.0.3"}}, {{"10.0.0.1", sixtyFive}});
    const QAbstractItemModel *model = board.board->model();
    const QModelIndex strip = model->index(0, HistoryModel::Recent);
    EXPECT_EQ(strip.data(Qt::AccessibleTextRole).toString(), "answered 60 of 60, average 1 ms");
    EXPECT_EQ(model->index(0, HistoryModel::Label).data(Qt::AccessibleDescriptionRole).toString(),
              "whole session: answered 60 of 65, average 1 ms, last lost at 09:00:20");
    EXPECT_EQ(strip.data(HistoryModel::StripRole).value<HistoryStrip>().size(), 60);
    EXPECT_EQ(model->index(1, HistoryModel::Recent).data(Qt::AccessibleTextRole).toString(),
              "not checked yet");
}

TEST(HistoryBoard, AResultUpdatesItsHostsLinesAloneWithoutAReset) {
    Board board(kRows, {});
    EXPECT_TRUE(board.board->findChild<QLabel *>("nothingChecked")->isVisible());
    QSignalSpy changed(board.board->model(), &QAbstractItemModel::dataChanged);
    QSignalSpy reset(board.board->model(), &QAbstractItemModel::modelReset);
    board.history.record("10.0.0.2", {State::Answered, 0.7, QString()});
    QApplication::processEvents();
    ASSERT_EQ(changed.count(), 2);  // "b" and "b again", which are not neighbours
    EXPECT_EQ(changed[0][0].value<QModelIndex>().row(), 1);
    EXPECT_EQ(changed[1][0].value<QModelIndex>().row(), 4);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(board.board->model()->index(4, HistoryModel::Loss).data().toString(), "0 / 1 (0 %)");
    EXPECT_FALSE(board.board->findChild<QLabel *>("nothingChecked")->isVisible());
}

TEST(HistoryBoard, TheGraphShowsTheChosenHostAndLeavesAGapInCheckingEmpty) {
    // Checked every 5 s for two minutes, nothing for ten, then again for two, those results
    // followed as they come.
    const QString run = QStringLiteral("1 x ").repeated(12).trimmed();
    Board board({{"a", "10.0.0.1"}, {"b", "10.0.0.2"}}, {{"10.0.0.1", run}});
    board.record({{"10.0.0.1", QStringLiteral(". ").repeated(121) + run}});
    HistoryGraph *graph = board.board->graph();
    EXPECT_EQ(graph->address(), "10.0.0.1");
    const std::vector<bool> &results = graph->columnsWithResults();
    const int width = static_cast<int>(results.size());
    ASSERT_GT(width, 400);
    // The line joins the answers of the first two minutes, not across the ten-minute pause.
    const std::vector<bool> &joined = graph->joinedColumns();
    EXPECT_EQ(std::count(joined.begin(), joined.begin() + width / 4, true), 11);
    const int after = static_cast<int>(std::find(results.begin() + width / 4, results.end(), true) -
                                       results.begin());
    ASSERT_LT(after, width);
    EXPECT_LT(after, width * 9 / 10);
    EXPECT_FALSE(joined[after]);
    // Each lost reply is marked in the column where it fell.
    const std::vector<bool> &lost = graph->columnsWithLoss();
    EXPECT_EQ(std::count(lost.begin(), lost.end(), true), 24);
    board.board->table()->selectRow(1);
    EXPECT_EQ(graph->address(), "10.0.0.2");
    EXPECT_TRUE(graph->columnsWithResults().empty());
    EXPECT_EQ(graph->accessibleDescription(), "b has not been checked yet.");
}

// The strip draws one bar a result, newest at the right: an answer green from the bottom, a lost
// reply red from top to bottom, a check that could not be made a short amber bar from the top.
TEST(HistoryBoard, TheStripDrawsOneBarAResultEachAsItSays) {
    Board board({{"a", "10.0.0.1"}}, {{"10.0.0.1", "x ? 1"}});
    QTableView *table = board.board->table();
    const QModelIndex strip = board.board->sorted()->index(0, HistoryModel::Recent);
    table->scrollTo(strip);
    const QImage image = table->viewport()->grab(table->visualRect(strip)).toImage();
    const QRgb colours[] = {qRgb(0xc6, 0x28, 0x28), qRgb(0xa8, 0x5a, 0x00), qRgb(0x1b, 0x7f, 0x3b)};
    QString seen;    // a letter a pixel column: r, a, g, or nothing
    QString lowest;  // per coloured column, whether it reaches the strip's foot
    for (int x = 0; x < image.width(); ++x) {
        for (int c = 0; c < 3; ++c) {
            int bottom = -1;
            for (int y = 0; y < image.height(); ++y)
                if (image.pixel(x, y) == colours[c]) bottom = y;
            if (bottom < 0) continue;
            seen += QLatin1Char("rag"[c]);
            lowest += bottom >= image.height() - 4 ? u'_' : u'^';
        }
    }
    EXPECT_EQ(seen, "rrraaaggg");    // oldest first, three pixels a bar, nothing else drawn
    EXPECT_EQ(lowest, "___^^^___");  // the amber bar hangs from the top
}

// Where a host was down the line stops: it never claims answers across a stretch of losses.
TEST(HistoryBoard, TheLineDoesNotCrossAStretchOfLosses) {
    Board board({{"a", "10.0.0.1"}}, {{"10.0.0.1", "1 1 x x x 1 1 x 1"}});
    const std::vector<bool> &joined = board.board->graph()->joinedColumns();
    EXPECT_EQ(std::count(joined.begin(), joined.end(), true), 3);  // 1-1, 1-1, and across one x
}

TEST(HistoryBoard, SavesOnlyWhereAskedAndSaysWhyAWriteFailed) {
    Board board(kRows, kResults);
    QTemporaryDir dir;
    board.chooser.path = QString();  // cancelled: nothing is written
    board.board->saveAsCsv();
    board.chooser.path = dir.filePath("history.csv");
    board.board->saveAsCsv();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList("history.csv"));
    board.chooser.path = dir.filePath("missing/history.csv");
    board.board->saveAsCsv();
    auto *box = board.board->findChild<QMessageBox *>("saveFailed");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().contains(QDir::toNativeSeparators(board.chooser.path)));
    EXPECT_EQ(board.chooser.asked, 3);
}

#ifndef Q_OS_WIN
TEST(SaveDialog, LeavesNoSettingsFileBehind) {
    // Qt's file dialog writes its folder into the user's settings when it closes.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget *dialog = QApplication::activeModalWidget()) dialog->close();
    });
    closer.start(20);
    const auto chooser = makeSystemSavePathChooser();
    EXPECT_EQ(chooser->chooseSavePath(nullptr, "Save", "a.csv", "CSV files", "csv"), QString());
    EXPECT_EQ(QDir(config.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList());
}
#endif

}  // namespace
