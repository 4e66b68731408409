// Windows' own way of checking a host: what each reply status means, and one real echo request,
// to loopback only.
#include <gtest/gtest.h>
#include <windows.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <optional>

#include "platform/win/echochecker.h"
#include "platform/win/winecho.h"

// The reply states of the ICMP functions, as their header numbers them.
#include <ipexport.h>

namespace {

TEST(OutcomeOfStatus, ARouterSayingUnreachableIsNoAnswer) {
    const struct {
        unsigned long status;
        EchoOutcome::Kind kind;
        const wchar_t *detail;
    } cases[] = {
        {IP_SUCCESS, EchoOutcome::Answered, L""},
        {IP_REQ_TIMED_OUT, EchoOutcome::NoAnswer, L"no reply within a second"},
        {IP_DEST_HOST_UNREACHABLE, EchoOutcome::NoAnswer, L"Destination host unreachable"},
        {IP_DEST_NET_UNREACHABLE, EchoOutcome::NoAnswer, L"Destination net unreachable"},
        {IP_TTL_EXPIRED_TRANSIT, EchoOutcome::NoAnswer, L"TTL expired in transit"},
        {IP_BAD_DESTINATION, EchoOutcome::CouldNotCheck,
         L"not an address an echo request can go to"},
        {IP_GENERAL_FAILURE, EchoOutcome::CouldNotCheck,
         L"the ICMP functions answered with status 11050"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.status);
        const EchoOutcome outcome = outcomeOfStatus(c.status, 7);
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(outcome.detail, c.detail);
        EXPECT_EQ(outcome.roundTripMs, c.kind == EchoOutcome::Answered ? 7 : -1);
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

}  // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
