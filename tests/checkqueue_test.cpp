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

TEST(CheckQueue, ARunIsOneSweepOfEveryTargetOnceWhateverTheListRepeats) {
    FakeChecker checker;
    std::map<int, Host> all = hosts(86);
    for (int i = 1; i <= 86; i += 2)  // every other host silent for a while
        checker.answers[all.at(i).address] = {{State::NoAnswer, -1, "no reply"}, 60};
    // The same host again, with ping options around it, and one port row twice.
    all.emplace(87, Host{"again", "-c 3 " + all.at(1).address});
    all.emplace(88, Host{"web", "127.0.0.2:8080"});
    all.emplace(89, Host{"web too", "127.0.0.2:8080"});
    Heard heard;
    CheckQueue queue(checker, all, heard.listener());
    queue.checkAll();
    EXPECT_EQ(heard.waiting.size(), 89u);  // every row shows it is being checked at once
    EXPECT_EQ(checker.sweeps, 1);
    EXPECT_EQ(checker.asked.size(), 87);
    EXPECT_EQ(checker.asked.count("127.0.0.2 port 8080"), 1);
    runUntil([&] { return heard.idle > 0; }, 10000);
    EXPECT_EQ(heard.idle, 1);
    EXPECT_EQ(heard.finished.size(), 89u);
    EXPECT_EQ(heard.finished[1].state, State::NoAnswer);
    EXPECT_EQ(heard.finished[87].state, State::NoAnswer);
    EXPECT_EQ(heard.finished[2].state, State::Answered);
    EXPECT_EQ(heard.finished[89].state, State::Answered);
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
    EXPECT_EQ(checker.underWay, 20) << "the first run's checks were not stopped";
    runUntil([&] { return heard.idle > 0; }, 10000);
    EXPECT_EQ(heard.idle, 1);  // one run ended, not two
    EXPECT_EQ(heard.finished.size(), 20u);
    EXPECT_EQ(heard.reports, 20) << "the dropped run's results were told too";
    for (const auto &[key, result] : heard.finished) EXPECT_EQ(result.detail, QString()) << key;
    EXPECT_EQ(checker.sweeps, 2);
}

TEST(CheckQueue, ARowAskedAgainTakesTheResultOfItsLaterCheck) {
    FakeChecker checker;
    for (const auto &[key, host] : hosts(30))
        checker.answers[host.address] = {{State::NoAnswer, -1, "slow"}, 150};
    Heard heard;
    CheckQueue queue(checker, hosts(30), heard.listener());
    queue.checkAll();
    checker.answers[hosts(30).at(25).address] = {{State::Answered, 2, QString()}, 0};
    queue.checkOne(25);
    EXPECT_EQ(checker.sweeps, 2);
    EXPECT_EQ(checker.asked.last(), hosts(30).at(25).address);
    runUntil([&] { return heard.idle > 0; }, 5000);
    EXPECT_EQ(heard.idle, 1);
    EXPECT_EQ(heard.reports, 30) << "row 25 was told twice";
    EXPECT_EQ(heard.finished[25].state, State::Answered);
    EXPECT_EQ(heard.finished[24].state, State::NoAnswer);
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
        EXPECT_EQ(checker.underWay, 5);
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
