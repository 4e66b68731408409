// The session's history: its figures, what it keeps of long sessions, its words and its CSV.
#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "history/historycsv.h"
#include "history/historywords.h"
#include "history/sessionhistory.h"
#include "tests/fakes.h"

namespace {

using State = CheckResult::State;
const QString kHost = QStringLiteral("127.0.0.1");

// Results written as words: a number answered in that many ms, "-" answered with no time known,
// "x" lost, "?" could not be checked.
CheckResult resultOf(const QString &word) {
    if (word == u'x') return {State::NoAnswer, -1, QStringLiteral("no reply")};
    if (word == u'?') return {State::CouldNotCheck, -1, QStringLiteral("unknown name")};
    return {State::Answered, word == u'-' ? -1 : word.toDouble(), QString()};
}

// Records the results, one every stepMs, the first at the session's start.
void recordAll(SessionHistory &history, FakeWallClock &clock, const QString &results,
               qint64 stepMs = 5000, const QString &address = kHost) {
    for (const QString &word : results.split(u' ', Qt::SkipEmptyParts)) {
        history.record(address, resultOf(word));
        clock.advance(stepMs);
    }
}

// What saving the history of these rows writes; empty when it failed.
QByteArray savedCsv(const std::vector<Host> &rows, const SessionHistory &history) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.csv"));
    EXPECT_EQ(saveHistoryCsv(path, rows, history), QString());
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The lines of an RFC 4180 text, each as its fields.
std::vector<QStringList> parseCsv(const QString &text) {
    std::vector<QStringList> lines;
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            fields << std::exchange(field, QString());
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            fields << std::exchange(field, QString());
            lines.push_back(std::exchange(fields, QStringList()));
            ++i;
        } else {
            field += c;
        }
    }
    return lines;
}

TEST(HostStats, LossRoundTripsJitterAndWordsOfASession) {
    const struct {
        const char *results;
        qint64 sent, lost;
        double min, average, max, jitter;
        const char *words, *brief, *loss;
    } cases[] = {
        {"1 2 x 4", 4, 1, 1, 7 / 3.0, 4, 1.5,
         "answered 3 of 4, average 2.33 ms, last lost at 09:00:10", "1 of 4 lost, average 2.33 ms",
         "1 / 4 (25 %)"},
        // A check that could not be made sent nothing: neither sent nor lost.
        {"? 0.5 ?", 1, 0, 0.5, 0.5, 0.5, -1,
         "answered 1 of 1, average 0.5 ms, could not be checked 2 times",
         "0 of 1 lost, average 0.5 ms", "0 / 1 (0 %)"},
        {"x x", 2, 2, -1, -1, -1, -1, "answered 0 of 2, last lost at 09:00:05", "2 of 2 lost",
         "2 / 2 (100 %)"},
        // An answer whose time is unknown is sent and answered, and stays out of the times.
        {"- 3 - 5", 4, 0, 3, 4, 5, 2, "answered 4 of 4, average 4 ms", "0 of 4 lost, average 4 ms",
         "0 / 4 (0 %)"},
        {"?", 0, 0, -1, -1, -1, -1, "could not be checked once", "", ""},
        {"", 0, 0, -1, -1, -1, -1, "not checked yet", "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.results);
        FakeWallClock clock;
        SessionHistory history(clock);
        recordAll(history, clock, QString::fromUtf8(c.results));
        const HostStats stats = history.statsOf(kHost);
        EXPECT_EQ(stats.sent, c.sent);
        EXPECT_EQ(stats.lost, c.lost);
        EXPECT_DOUBLE_EQ(stats.minMs, c.min);
        EXPECT_DOUBLE_EQ(stats.averageMs, c.average);
        EXPECT_DOUBLE_EQ(stats.maxMs, c.max);
        EXPECT_DOUBLE_EQ(stats.jitterMs, c.jitter);
        EXPECT_EQ(describeHistory(stats), QString::fromUtf8(c.words));
        EXPECT_EQ(describeHistoryBriefly(stats), QString::fromUtf8(c.brief));
        EXPECT_EQ(describeLoss(stats), QString::fromUtf8(c.loss));
    }
}

TEST(HostStats, ALossNeverShowsAsNoneNorAnAnswerAsAllLost) {
    HostStats stats;
    stats.sent = 3000;
    stats.lost = 1;
    EXPECT_EQ(describeLoss(stats), QStringLiteral("1 / 3000 (< 0.1 %)"));
    stats.lost = 2999;
    EXPECT_EQ(describeLoss(stats), QStringLiteral("2999 / 3000 (> 99.9 %)"));
}

// Round-trip times alternate between 1 and 3 ms from reply to reply, so every jitter is 2 ms,
// summarised or not; every 7th reply is lost and every 11th check cannot be made.
struct Session {
    qint64 sent = 0, lost = 0, couldNotCheck = 0;
    void record(SessionHistory &history, FakeWallClock &clock, int count, qint64 stepMs) {
        int timed = 0;
        for (int i = 0; i < count; ++i) {
            CheckResult result{State::Answered, timed % 2 ? 3.0 : 1.0, QString()};
            if (i % 11 == 10) {
                result = {State::CouldNotCheck, -1, QStringLiteral("unknown name")};
                ++couldNotCheck;
            } else if (i % 7 == 6) {
                result = {State::NoAnswer, -1, QStringLiteral("no reply")};
                ++sent, ++lost;
            } else {
                ++sent, ++timed;
            }
            history.record(kHost, result);
            clock.advance(stepMs);
        }
    }
};

TEST(HostHistory, SummarisingOldResultsKeepsEveryFigureExact) {
    const struct {
        int results;
        qint64 stepMs;
        int olderStretches, stretches;
    } cases[] = {
        {HostHistory::kFullResults, 5000, 0, 0},
        {HostHistory::kFullResults + 130, 5000, 0, 11},  // 130 results: 10.8 minutes
        // An hour apart, each result a minute and an hour of its own, until the oldest go
        // into one stretch.
        {5000, 3600 * 1000, 1, 1 + HostHistory::kHours + HostHistory::kMinutes},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.results);
        FakeWallClock clock;
        SessionHistory history(clock);
        Session made;
        made.record(history, clock, c.results, c.stepMs);
        const HostStats stats = history.statsOf(kHost);
        EXPECT_EQ(stats.sent, made.sent);
        EXPECT_EQ(stats.lost, made.lost);
        EXPECT_EQ(stats.couldNotCheck, made.couldNotCheck);
        EXPECT_DOUBLE_EQ(stats.minMs, 1);
        EXPECT_DOUBLE_EQ(stats.maxMs, 3);
        EXPECT_DOUBLE_EQ(stats.jitterMs, 2);

        // What is kept, in time order, adds up to the whole session.
        qint64 sent = 0, lost = 0, couldNotCheck = 0, lastMs = -1;
        int stretches = 0, results = 0;
        history.find(kHost)->visit(
            [&](const HistoryStretch &s) {
                ++stretches;
                EXPECT_GE(s.fromMs, lastMs);
                EXPECT_LT(s.fromMs, s.toMs);
                lastMs = s.fromMs;
                sent += s.sent(), lost += s.lost, couldNotCheck += s.couldNotCheck;
                // Each stretch after the first compares its first reply with the one before.
                EXPECT_TRUE((s.averageMs < 0 && stretches > 1) || std::abs(s.jitterMs - 2) < 1e-6)
                    << s.fromMs;
                EXPECT_TRUE(s.averageMs < 0 || (s.minMs == 1 && s.maxMs == 3) || s.sent() < 3);
            },
            [&](const HistoryResult &r) {
                ++results;
                EXPECT_GE(r.atMs, lastMs);
                lastMs = r.atMs;
                sent += r.state != State::CouldNotCheck;
                lost += r.state == State::NoAnswer;
                couldNotCheck += r.state == State::CouldNotCheck;
            });
        EXPECT_EQ(results, std::min(c.results, HostHistory::kFullResults));
        EXPECT_EQ(stretches, c.stretches);
        EXPECT_EQ(sent, made.sent);
        EXPECT_EQ(lost, made.lost);
        EXPECT_EQ(couldNotCheck, made.couldNotCheck);
    }
}

TEST(SessionHistory, EightySixHostsWatchedForADayHoldUnderFiveMiB) {
    FakeWallClock clock;
    SessionHistory history(clock);
    for (int run = 0; run < 24 * 60 * 60 / 5; ++run) {
        for (int host = 1; host <= 86; ++host)
            history.record(QStringLiteral("127.0.0.%1").arg(host),
                           {State::Answered, 0.2 + (run % 17) / 10.0, QString()});
        clock.advance(5000);
    }
    EXPECT_EQ(history.statsOf(QStringLiteral("127.0.0.86")).sent, 17280);
    EXPECT_LE(history.bytesHeld(), 5u << 20) << history.bytesHeld();
}

TEST(SessionHistory, AReloadKeepsTheHistoryOfEveryAddressStillListed) {
    FakeWallClock clock;
    SessionHistory history(clock);
    QSignalSpy changed(&history, &SessionHistory::rowsChanged);
    history.setRows({{"Gateway", "127.0.0.1"}, {"Printer", "127.0.0.2"}});
    history.record(QStringLiteral("127.0.0.1"), resultOf(QStringLiteral("1")));
    history.record(QStringLiteral("127.0.0.2"), resultOf(QStringLiteral("x")));
    history.setRows({{"Gateway, renamed", "127.0.0.1"}, {"New", "127.0.0.3"}});
    EXPECT_EQ(history.statsOf(QStringLiteral("127.0.0.1")).sent, 1);
    EXPECT_EQ(history.find(QStringLiteral("127.0.0.2")), nullptr);
    history.setRows({{"Gateway, renamed", "127.0.0.1"}, {"New", "127.0.0.3"}});  // the same again
    EXPECT_EQ(changed.count(), 2);
}

TEST(SessionHistory, AClockSetBackNeverPutsAResultBeforeTheOneBefore) {
    FakeWallClock clock;
    SessionHistory history(clock);
    recordAll(history, clock, QStringLiteral("1"), 60000);
    clock.advance(-3600 * 1000);
    recordAll(history, clock, QStringLiteral("x"));
    const std::vector<HistoryResult> kept = history.recentOf(kHost, 2);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_GE(kept[1].atMs, kept[0].atMs);
}

TEST(HistoryCsv, ReadsBackWithQuotedLabelsAndTheTimeWithItsOffset) {
    FakeWallClock clock;
    SessionHistory history(clock);
    const std::vector<Host> rows = {{"Gateway, \"main\"", "127.0.0.1"},
                                    {"two\rlines", "127.0.0.1"},  // shares the address
                                    {"Never checked", "127.0.0.9"}};
    history.setRows(rows);
    clock.advance(1234);
    history.record(kHost, {State::Answered, 0.412, QString()});
    clock.advance(5000);
    history.record(kHost, {State::NoAnswer, -1, QStringLiteral("no reply\nat all")});
    const QByteArray bytes = savedCsv(rows, history);
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(bytes.contains(",\"two\rlines\",")) << "a lone CR is quoted too";
    EXPECT_TRUE(bytes.contains(",\"no reply\nat all\"\r\n")) << "a lone LF is quoted too";
    const std::vector<QStringList> lines = parseCsv(QString::fromUtf8(bytes.mid(3)));
    const std::vector<QStringList> expected = {
        {"time", "label", "address", "result", "round_trip_ms", "detail"},
        {"2026-12-07T09:00:01.234+01:00", "Gateway, \"main\"", "127.0.0.1", "answered", "0.412",
         ""},
        {"2026-12-07T09:00:06.234+01:00", "Gateway, \"main\"", "127.0.0.1", "no answer", "",
         "no reply\nat all"},
        {"2026-12-07T09:00:01.234+01:00", "two\rlines", "127.0.0.1", "answered", "0.412", ""},
        {"2026-12-07T09:00:06.234+01:00", "two\rlines", "127.0.0.1", "no answer", "",
         "no reply\nat all"},
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(QDateTime::fromString(lines.at(1).at(0), Qt::ISODateWithMs),
              clock.at.addMSecs(-5000));
}

// A spreadsheet takes a field that starts with =, +, - or @ for a formula: it never runs one.
TEST(HistoryCsv, NoFieldIsAFormula) {
    FakeWallClock clock;
    SessionHistory history(clock);
    const std::vector<Host> rows = {{"=HYPERLINK(\"x\")", "-l 1000 127.0.0.9"}, {"@a", "+b"}};
    history.setRows(rows);
    history.record(rows[0].address, {State::Answered, 1, QString()});
    history.record(rows[1].address, {State::Answered, -1, QString()});  // its time unknown
    const QByteArray bytes = savedCsv(rows, history);
    EXPECT_TRUE(bytes.contains(",\"'=HYPERLINK(\"\"x\"\")\",'-l 1000 127.0.0.9,")) << bytes.data();
    EXPECT_TRUE(bytes.contains(",'@a,'+b,answered,,")) << bytes.data();
}

TEST(HistoryCsv, ASummarisedStretchIsOneLineThatSaysSo) {
    FakeWallClock clock;
    SessionHistory history(clock);
    history.setRows({{"Gateway", kHost}});
    // The slowest first and a reply of 0 ms (whole ms, as Windows gives them) among them.
    recordAll(history, clock, QStringLiteral("x 3 0 2 ? 0.3 0.6 0.3 0.6 0.3 0.6 0.3"));
    recordAll(history, clock, QStringLiteral("1 ").repeated(HostHistory::kFullResults));
    const std::vector<QStringList> lines =
        parseCsv(QString::fromUtf8(historyCsv(history.rows(), history).mid(3)));
    ASSERT_EQ(lines.size(), 2u + HostHistory::kFullResults);
    EXPECT_EQ(lines[1], QStringList({"2026-12-07T09:00:00.000+01:00", "Gateway", "127.0.0.1",
                                     "summary", "0.8",
                                     "over 1 minute: 11 sent, 1 lost, 1 could not check, min 0 "
                                     "ms, max 3 ms, jitter 0.944 ms"}));
}

TEST(HistoryCsv, AFailedWriteSaysWhyAndLeavesNothingBehind) {
    FakeWallClock clock;
    SessionHistory history(clock);
    history.setRows({{"Gateway", kHost}});
    recordAll(history, clock, QStringLiteral("1 x"));
    QTemporaryDir dir;
    for (const QString &path : {dir.filePath(QStringLiteral("missing/history.csv")), dir.path()}) {
        SCOPED_TRACE(path.toStdString());
        const QString error = saveHistoryCsv(path, history.rows(), history);
        EXPECT_TRUE(error.startsWith(QStringLiteral("The history could not be saved as \"%1\": ")
                                         .arg(QDir::toNativeSeparators(path))))
            << error.toStdString();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList());
    }
}

}  // namespace
