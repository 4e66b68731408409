#include "platform/win/echochecker.h"

#include <QObject>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/win/winecho.h"

namespace {

// The echo requests out at once, counted across every check of the program.
class EchoSlots {
public:
    void acquire() {
        std::unique_lock lock(m_mutex);
        m_free.wait(lock, [this] { return m_used < EchoChecker::kMaxEchoes; });
        ++m_used;
    }
    void release() {
        {
            const std::lock_guard lock(m_mutex);
            --m_used;
        }
        m_free.notify_one();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_free;
    int m_used = 0;
};

EchoSlots &echoSlots() {
    static EchoSlots echoes;
    return echoes;
}

// Where a check's thread leaves its result: its receiver, in the window's thread, is cleared
// when the check goes, so a result that comes too late goes nowhere.
struct Mailbox {
    std::mutex mutex;
    QObject *receiver = nullptr;
};

CheckResult toResult(const EchoOutcome &outcome) {
    using State = CheckResult::State;
    const State state = outcome.kind == EchoOutcome::Answered   ? State::Answered
                        : outcome.kind == EchoOutcome::NoAnswer ? State::NoAnswer
                                                                : State::CouldNotCheck;
    return {state, static_cast<double>(outcome.roundTripMs),
            QString::fromStdWString(outcome.detail)};
}

class EchoRun : public PendingCheck {
public:
    EchoRun(const QString &hostName, HostChecker::Done done) : m_mailbox(new Mailbox) {
        m_mailbox->receiver = &m_receiver;
        std::thread([mailbox = m_mailbox, host = hostName.toStdWString(),
                     done = std::move(done)]() mutable {
            echoSlots().acquire();
            bool wanted = false;
            {
                const std::lock_guard lock(mailbox->mutex);
                wanted = mailbox->receiver != nullptr;
            }
            const EchoOutcome outcome =
                wanted ? echoOnce(host, HostChecker::kReplyTimeoutMs) : EchoOutcome{};
            echoSlots().release();
            const std::lock_guard lock(mailbox->mutex);
            if (!mailbox->receiver) return;
            QMetaObject::invokeMethod(
                mailbox->receiver,
                [result = toResult(outcome), done = std::move(done)] { done(result); },
                Qt::QueuedConnection);
        }).detach();
    }
    ~EchoRun() override {
        // A result already posted goes with the receiver; none is posted after this.
        const std::lock_guard lock(m_mailbox->mutex);
        m_mailbox->receiver = nullptr;
    }

private:
    std::shared_ptr<Mailbox> m_mailbox;
    QObject m_receiver;
};

}  // namespace

std::unique_ptr<PendingCheck> EchoChecker::check(const QString &hostName, Done done) {
    return std::make_unique<EchoRun>(hostName, std::move(done));
}

std::unique_ptr<HostChecker> makeSystemHostChecker() { return std::make_unique<EchoChecker>(); }
