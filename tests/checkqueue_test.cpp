// The order, the limit and the restarts of a window's host checks, with a stand-in checker.
#include "panel/checkqueue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "tests/fakes.h"

namespace {

using State = CheckResult::State;

// Rows 1..n on loopback addresses.
std::map<int, Host> hosts(int n) {
    std::map<int, Host> all;
    for (int i = 1; i <= n; ++i)
        all.emplace(i, Host{QString(), QStringLiteral("127.0.%1.%2").arg(i / 250).arg(i % 250)});
    return all;
}

// What the queue said, in order.
struct Heard {
    std::vector<int> waiting;
    std::map<int, CheckResult> finished;
    int reports = 0;  // results told, repeats included
    int idle = 0;
    CheckQueue::Listener listener() {
        return {[this](int key) { waiting.push_back(key); },
                [this](int key, const CheckResult &r) {
                    finished[key] = r;
                    ++reports;
                },
                [this] { ++idle; }};
    }
};

TEST(CheckQueue, AtMostSixteenAtOnceAndEveryRowAnswered) {
    FakeChecker checker;
    for (int i = 1; i <= 86; i += 2)  // every other host silent for a while
        checker.answers[hosts(86).at(i).address] = {{State::NoAnswer, -1, "no reply"}, 60};
    Heard heard;
    CheckQueue queue(checker, hosts(86), heard.listener());
    queue.checkAll();
    EXPECT_EQ(heard.waiting.size(), 86u);  // every row shows it is being checked at once
    EXPECT_EQ(queue.running(), 16);
    runUntil([&] { return heard.idle > 0; }, 10000);
    EXPECT_EQ(heard.idle, 1);
    EXPECT_EQ(heard.finished.size(), 86u);
    EXPECT_EQ(checker.mostUnderWay, 16);
    EXPECT_EQ(heard.finished[1].state, State::NoAnswer);
    EXPECT_EQ(heard.finished[2].state, State::Answered);
    EXPECT_EQ(checker.underWay, 0);
}

TEST(CheckQueue, ANewRunRestartsInsteadOfStacking) {
    FakeChecker checker;
    for (const auto &[key, host] : hosts(20))
        checker.answers[host.address] = {{State::NoAnswer, -1, "stale"}, 200};
    Heard heard;
    CheckQueue queue(checker, hosts(20), heard.listener());
    queue.checkAll();
    runUntil([] { return false; }, 50);
    for (auto &[host, answer] : checker.answers) answer.result = {State::Answered, 1, QString()};
    queue.checkAll();  // while the first run is under way
    EXPECT_LE(checker.underWay, 16) << "the first run's checks were not stopped";
    runUntil([&] { return heard.idle > 0; }, 10000);
    EXPECT_EQ(heard.idle, 1);  // one run ended, not two
    EXPECT_EQ(heard.finished.size(), 20u);
    EXPECT_EQ(heard.reports, 20) << "the dropped run's results were told too";
    for (const auto &[key, result] : heard.finished) EXPECT_EQ(result.detail, QString()) << key;
    EXPECT_EQ(checker.asked.size(), 36u);  // 16 dropped and begun again, then the other 4
    EXPECT_EQ(checker.mostUnderWay, 16);
}

TEST(CheckQueue, OneRowGoesAheadOfThoseWaiting) {
    FakeChecker checker;
    for (const auto &[key, host] : hosts(30)) checker.answers[host.address] = {{}, 100};
    Heard heard;
    CheckQueue queue(checker, hosts(30), heard.listener());
    queue.checkAll();
    queue.checkOne(25);
    EXPECT_EQ(checker.asked.size(), 16u);
    runUntil([&] { return checker.asked.size() > 16; }, 5000);
    EXPECT_EQ(checker.asked.value(16), hosts(30).at(25).address);
}

TEST(CheckQueue, StoppedOrGoneItSaysNothingMore) {
    FakeChecker checker;
    for (const auto &[key, host] : hosts(5)) checker.answers[host.address] = {{}, 50};
    Heard heard;
    {
        CheckQueue queue(checker, hosts(5), heard.listener());
        queue.checkAll();
        queue.stop();
        EXPECT_EQ(checker.underWay, 0);
        queue.checkAll();
    }  // destroyed with its checks under way
    EXPECT_EQ(checker.underWay, 0);
    runUntil([] { return false; }, 200);
    EXPECT_TRUE(heard.finished.empty());
    EXPECT_EQ(heard.idle, 0);
}

TEST(CheckQueue, KeepCheckingRepeatsUntilSwitchedOff) {
    FakeChecker checker;
    Heard heard;
    CheckQueue queue(checker, hosts(3), heard.listener(), 50);
    queue.setKeepChecking(true);  // starts at once
    runUntil([&] { return heard.idle >= 3; }, 5000);
    EXPECT_GE(heard.idle, 3);
    queue.setKeepChecking(false);
    runUntil([&] { return !queue.busy(); }, 5000);
    const qsizetype asked = checker.asked.size();
    runUntil([] { return false; }, 300);
    EXPECT_EQ(checker.asked.size(), asked) << "it went on after being switched off";
    EXPECT_EQ(asked % 3, 0);
}

TEST(CheckQueue, AnAddressWithoutAHostIsNotSent) {
    FakeChecker checker;
    Heard heard;
    CheckQueue queue(checker, {{1, Host{"x", "-w 5"}}, {2, Host{"y", ""}}}, heard.listener());
    queue.checkAll();
    runUntil([&] { return heard.idle > 0; }, 5000);
    EXPECT_TRUE(checker.asked.isEmpty());
    ASSERT_EQ(heard.finished.size(), 2u);
    EXPECT_EQ(heard.finished[1].state, State::CouldNotCheck);
    EXPECT_EQ(heard.finished[2].detail, QStringLiteral("the address names no host"));
}

}  // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
