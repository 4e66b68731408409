// Windows' own way of checking a host: what each reply status means, and one real echo request,
// to loopback only.
#include <gtest/gtest.h>
#include <windows.h>

#include <tlhelp32.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <optional>
#include <vector>

#include "platform/win/echochecker.h"
#include "platform/win/handle.h"

// The reply states of the ICMP functions, as their header numbers them.
#include <ipexport.h>

namespace {

TEST(OutcomeOfStatus, ARouterSayingUnreachableIsNoAnswer) {
    const struct {
        unsigned long status;
        CheckResult::State state;
        const char *detail;
    } cases[] = {
        {IP_SUCCESS, CheckResult::State::Answered, ""},
        {IP_REQ_TIMED_OUT, CheckResult::State::NoAnswer, "no reply within a second"},
        {IP_DEST_HOST_UNREACHABLE, CheckResult::State::NoAnswer, "Destination host unreachable"},
        {IP_DEST_NET_UNREACHABLE, CheckResult::State::NoAnswer, "Destination net unreachable"},
        {IP_TTL_EXPIRED_TRANSIT, CheckResult::State::NoAnswer, "TTL expired in transit"},
        {IP_BAD_DESTINATION, CheckResult::State::CouldNotCheck,
         "not an address an echo request can go to"},
        {IP_GENERAL_FAILURE, CheckResult::State::CouldNotCheck,
         "the ICMP functions answered with status 11050"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.status);
        const CheckResult outcome = outcomeOfStatus(c.status, 7);
        EXPECT_EQ(outcome.state, c.state);
        EXPECT_EQ(outcome.detail.toStdString(), c.detail);
        EXPECT_EQ(outcome.roundTripMs, c.state == CheckResult::State::Answered ? 7 : -1);
    }
}

std::optional<CheckResult> checkOnce(const QString &host) {
    EchoChecker checker;
    std::optional<CheckResult> result;
    const auto pending = checker.check(host, [&](const CheckResult &r) { result = r; });
    QElapsedTimer clock;
    clock.start();
    while (!result && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return result;
}

TEST(EchoChecker, LoopbackAnswers) {
    const std::optional<CheckResult> result = checkOnce(QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(result) << "no result within 10 seconds";
    EXPECT_EQ(result->state, CheckResult::State::Answered) << result->detail.toStdString();
    EXPECT_GE(result->roundTripMs, 0);
}

TEST(EchoChecker, ADroppedCheckSaysNothing) {
    EchoChecker checker;
    bool told = false;
    checker.check(QStringLiteral("127.0.0.1"), [&](const CheckResult &) { told = true; }).reset();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(told);
}

void runEventsFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

int threadsOfThisProcess() {
    const Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    return count;
}

// The next two run in tests/win/check_netns.sh's network namespace, where echo requests to an
// odd last address byte and name lookups go unanswered.
bool inSilentNetwork() { return GetEnvironmentVariableA("NORVEX_HALF_SILENT", nullptr, 0) > 0; }

TEST(EchoChecker, DISABLED_DestroyedWithChecksOutItEndsItsThreadsAndSaysNothingMore) {
    ASSERT_TRUE(inSilentNetwork()) << "run it with tests/win/check_netns.sh";
    ASSERT_TRUE(checkOnce(QStringLiteral("127.0.0.2")));  // what the system starts once is started
    const int before = threadsOfThisProcess();
    int told = 0;
    std::vector<std::unique_ptr<PendingCheck>> checks;
    auto checker = std::make_unique<EchoChecker>();
    for (int i = 0; i < 3 * EchoChecker::kMaxEchoes; ++i)
        checks.push_back(checker->check(QStringLiteral("127.0.0.%1").arg(2 * i + 1),
                                        [&](const CheckResult &) { ++told; }));
    runEventsFor(300);
    ASSERT_EQ(told, 0) << "a silent host answered";
    EXPECT_EQ(threadsOfThisProcess(), before + EchoChecker::kMaxEchoes);
    QElapsedTimer clock;
    clock.start();
    checker.reset();
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(threadsOfThisProcess(), before);
    runEventsFor(1500);  // the replies' timeouts have long passed
    EXPECT_EQ(told, 0);
}

TEST(EchoChecker, DISABLED_ANameLookupThatNeverEndsDoesNotHoldItsEndUp) {
    ASSERT_TRUE(inSilentNetwork()) << "run it with tests/win/check_netns.sh";
    bool told = false;
    auto checker = std::make_unique<EchoChecker>();
    const auto check = checker->check(QStringLiteral("stuck.norvex.test"),
                                      [&](const CheckResult &) { told = true; });
    runEventsFor(500);
    ASSERT_FALSE(told) << "the lookup ended";
    QElapsedTimer clock;
    clock.start();
    checker.reset();
    EXPECT_LT(clock.elapsed(), 2000);
    runEventsFor(300);
    EXPECT_FALSE(told);
}

}  // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
