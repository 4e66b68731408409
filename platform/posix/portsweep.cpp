#include "platform/posix/portsweep.h"

#include <locale.h>
#include <netdb.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <string>

namespace {

using State = CheckResult::State;
using Clock = std::chrono::steady_clock;

constexpr int kMostSockets = 256;
constexpr int kLookupLimitMs = 4000;

// The system's words for an error, in the C locale that ping and fping speak in for echo rows.
QString systemWords(int error) {
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", nullptr);
    return QString::fromLocal8Bit(c ? ::strerror_l(error, c) : std::strerror(error));
}

// What a connect that failed with error says of the host.
CheckResult failedWith(int error) {
    switch (error) {
        case ECONNREFUSED:
            return {State::NoAnswer, -1, QStringLiteral("refused: nothing listens on that port")};
        // The way there is closed: a router or this system says so, or a firewall.
        case EHOSTUNREACH:
        case ENETUNREACH:
        case EHOSTDOWN:
        case ENETDOWN:
        case ETIMEDOUT:
        case ECONNRESET:
        case EACCES:  // a route that prohibits
        case EPERM:
            return {State::NoAnswer, -1, systemWords(error)};
        default:  // nothing could be tried: no socket of the kind, no address to send from
            return {State::CouldNotCheck, -1, systemWords(error)};
    }
}

struct Address {
    sockaddr_storage bytes{};
    socklen_t length = 0;
    int family = AF_UNSPEC;
};

std::vector<Address> addressesOf(const addrinfo *list) {
    std::vector<Address> addresses;
    for (const addrinfo *a = list; a; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
        Address address;
        std::memcpy(&address.bytes, a->ai_addr, a->ai_addrlen);
        address.length = a->ai_addrlen;
        address.family = a->ai_family;
        addresses.push_back(address);
    }
    return addresses;
}

// ---- Name lookups on the C library's threads ----

struct Lookup;

// Where finished lookups go from the C library's threads: to the sweep's event loop while the
// sweep is there, nowhere once it has gone.
struct Mailbox {
    std::mutex mutex;
    QObject *receiver = nullptr;                           // in the sweep's thread
    std::function<void(std::shared_ptr<Lookup>)> deliver;  // called in receiver's thread only
};

// One lookup with getaddrinfo_a: what the C library reads and writes until it is done.
struct Lookup {
    std::shared_ptr<Mailbox> mailbox;
    std::size_t index = 0;
    std::string name, service;
    addrinfo hints{};
    gaicb request{};
    sigevent notice{};

    Lookup() = default;
    Lookup(const Lookup &) = delete;
    Lookup &operator=(const Lookup &) = delete;
    ~Lookup() {
        if (request.ar_result) ::freeaddrinfo(request.ar_result);
    }
};

// On a thread of the C library's own, once a lookup is done: from here the lookup belongs to the
// event the sweep is sent (freed with it, whether it is delivered or dropped), or, when the sweep
// has gone, is freed at once.
void lookedUp(sigval value) {
    std::unique_ptr<Lookup> lookup(static_cast<Lookup *>(value.sival_ptr));
    const std::shared_ptr<Mailbox> mailbox = lookup->mailbox;
    const std::lock_guard<std::mutex> lock(mailbox->mutex);
    if (!mailbox->receiver) return;
    QMetaObject::invokeMethod(
        mailbox->receiver,
        [mailbox, done = std::shared_ptr<Lookup>(lookup.release())] { mailbox->deliver(done); },
        Qt::QueuedConnection);
}

// ---- The sweep ----

class PortSweep : public PendingCheck {
public:
    PortSweep(std::vector<CheckTarget> targets, HostChecker::Each each, int mostOpen)
        : m_each(std::move(each)), m_mostOpen(std::max(mostOpen, 1)) {
        m_mailbox->receiver = &m_context;
        m_mailbox->deliver = [this](std::shared_ptr<Lookup> lookup) { looked(lookup); };
        m_checks.resize(targets.size());
        for (std::size_t i = 0; i < targets.size(); ++i) {
            m_checks[i].target = std::move(targets[i]);
            begin(i);
        }
        if (!m_lookups.empty()) {
            m_lookupLimit.setSingleShot(true);
            QObject::connect(&m_lookupLimit, &QTimer::timeout, &m_context,
                             [this] { giveUpLookups(); });
            m_lookupLimit.start(kLookupLimitMs);
        }
        m_deadlines.setSingleShot(true);
        m_deadlines.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_deadlines, &QTimer::timeout, &m_context, [this] { expire(); });
        // Every result comes from the event loop, even one known now.
        QTimer::singleShot(0, &m_context, [this] { tellUntried(); });
    }

    ~PortSweep() override {
        {
            const std::lock_guard<std::mutex> lock(m_mailbox->mutex);
            m_mailbox->receiver = nullptr;
            m_mailbox->deliver = nullptr;
            // A lookup still queued is taken back; one under way or done frees itself (above).
            for (Lookup *lookup : m_lookups) {
                if (::gai_cancel(&lookup->request) == EAI_CANCELED) delete lookup;
            }
        }
        for (Check &check : m_checks) closeSocket(check);
    }

private:
    struct Check {
        CheckTarget target;
        std::vector<Address> addresses;
        std::size_t next = 0;  // the address to try next
        int fd = -1;           // a connect under way
        std::unique_ptr<QSocketNotifier> notifier;
        Clock::time_point started, deadline;
        CheckResult last{State::CouldNotCheck, -1, QStringLiteral("no address")};
        bool holdsSlot = false;
        bool untried = false;  // ended before anything could be tried
        bool told = false;
    };

    void begin(std::size_t index) {
        Check &check = m_checks[index];
        const std::string service = std::to_string(check.target.port);
        const QByteArray host = check.target.host.toUtf8();
        if (host.contains('\0')) {  // the C library would read only what comes before it
            check.last = {State::CouldNotCheck, -1, QStringLiteral("not a host name")};
            check.untried = true;
            return;
        }
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
        addrinfo *found = nullptr;
        if (::getaddrinfo(host.constData(), service.c_str(), &hints, &found) == 0) {
            check.addresses = addressesOf(found);
            ::freeaddrinfo(found);
            m_waiting.push_back(index);
            return;
        }
        auto lookup = std::make_unique<Lookup>();
        lookup->mailbox = m_mailbox;
        lookup->index = index;
        lookup->name = host.toStdString();
        lookup->service = service;
        lookup->hints.ai_family = AF_UNSPEC;
        lookup->hints.ai_socktype = SOCK_STREAM;
        lookup->hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
        lookup->request.ar_name = lookup->name.c_str();
        lookup->request.ar_service = lookup->service.c_str();
        lookup->request.ar_request = &lookup->hints;
        lookup->notice.sigev_notify = SIGEV_THREAD;
        lookup->notice.sigev_notify_function = lookedUp;
        lookup->notice.sigev_value.sival_ptr = lookup.get();
        gaicb *requests[] = {&lookup->request};
        if (const int error = ::getaddrinfo_a(GAI_NOWAIT, requests, 1, &lookup->notice)) {
            check.last = {State::CouldNotCheck, -1,
                          QStringLiteral("cannot look the name up: %1")
                              .arg(QString::fromLocal8Bit(::gai_strerror(error)))};
            check.untried = true;
            return;
        }
        m_lookups.insert(lookup.release());  // lookedUp() owns it from now on
    }

    void looked(const std::shared_ptr<Lookup> &lookup) {
        m_lookups.erase(lookup.get());
        Check &check = m_checks[lookup->index];
        if (check.told) return;  // given up on meanwhile
        if (const int error = ::gai_error(&lookup->request)) {
            tell(lookup->index,
                 {State::CouldNotCheck, -1, QString::fromLocal8Bit(::gai_strerror(error))});
            return;
        }
        check.addresses = addressesOf(lookup->request.ar_result);
        m_waiting.push_back(lookup->index);
        pump();
    }

    void giveUpLookups() {
        const std::set<Lookup *> slow = m_lookups;  // left to end on their own: see ~PortSweep
        for (const Lookup *lookup : slow) {
            if (!tell(lookup->index, {State::CouldNotCheck, -1,
                                      QStringLiteral("the name lookup took longer than %1 seconds")
                                          .arg(kLookupLimitMs / 1000)}))
                return;
        }
    }

    void tellUntried() {
        for (std::size_t i = 0; i < m_checks.size(); ++i) {
            if (m_checks[i].untried && !tell(i, m_checks[i].last)) return;
        }
        pump();
    }

    // Starts waiting checks while sockets are free, and sets the timer for the next deadline.
    void pump() {
        while (static_cast<int>(m_slotsTaken) < m_mostOpen && !m_waiting.empty()) {
            const std::size_t index = m_waiting.front();
            m_waiting.pop_front();
            Check &check = m_checks[index];
            check.holdsSlot = true;
            ++m_slotsTaken;
            check.deadline = Clock::now() + std::chrono::milliseconds(HostChecker::kReplyTimeoutMs);
            if (!connectNext(index)) return;
        }
        Clock::time_point soonest = Clock::time_point::max();
        for (const std::size_t index : m_connecting)
            soonest = std::min(soonest, m_checks[index].deadline);
        if (soonest == Clock::time_point::max()) {
            m_deadlines.stop();
            return;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(soonest - Clock::now());
        m_deadlines.start(static_cast<int>(std::max<long long>(left.count(), 0)));
    }

    // Connects to the check's next address, and on past those that fail at once, within its
    // deadline; tells it when none is left. False when this sweep was destroyed meanwhile.
    bool connectNext(std::size_t index) {
        Check &check = m_checks[index];
        while (check.next < check.addresses.size() && Clock::now() < check.deadline) {
            const Address &address = check.addresses[check.next++];
            const int fd = ::socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0) {
                check.last = {State::CouldNotCheck, -1,
                              QStringLiteral("cannot open a socket: %1").arg(systemWords(errno))};
                continue;
            }
            check.started = Clock::now();
            if (::connect(fd, reinterpret_cast<const sockaddr *>(&address.bytes), address.length) ==
                0) {
                ::close(fd);
                return tell(index, {State::Answered, msSince(check.started), QString()});
            }
            if (errno == EINPROGRESS) {
                check.fd = fd;
                check.notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
                QObject::connect(check.notifier.get(), &QSocketNotifier::activated, &m_context,
                                 [this, index] { connectEnded(index); });
                m_connecting.insert(index);
                return true;
            }
            check.last = failedWith(errno);
            ::close(fd);
        }
        return tell(index, check.last);
    }

    void connectEnded(std::size_t index) {
        Check &check = m_checks[index];
        if (check.fd < 0) return;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(check.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        const double ms = msSince(check.started);
        closeSocket(check);
        if (error == 0) {
            if (tell(index, {State::Answered, ms, QString()})) pump();
            return;
        }
        check.last = failedWith(error);
        if (connectNext(index)) pump();
    }

    void expire() {
        const Clock::time_point now = Clock::now();
        const std::set<std::size_t> connecting = m_connecting;
        for (const std::size_t index : connecting) {
            if (m_checks[index].deadline > now) continue;
            if (!tell(index, {State::NoAnswer, -1, QStringLiteral("no answer within a second")}))
                return;
        }
        pump();
    }

    void closeSocket(Check &check) {
        if (check.fd < 0) return;
        // Its notifier may be the one reporting right now: it goes with the sweep.
        check.notifier->setEnabled(false);
        m_retired.push_back(std::move(check.notifier));
        ::close(check.fd);
        check.fd = -1;
        m_connecting.erase(&check - m_checks.data());
    }

    // Tells a check's result, once; false when each destroyed this sweep.
    bool tell(std::size_t index, const CheckResult &result) {
        Check &check = m_checks[index];
        if (check.told) return true;
        check.told = true;
        closeSocket(check);
        if (check.holdsSlot) --m_slotsTaken;
        check.holdsSlot = false;
        const HostChecker::Each each = m_each;
        const std::weak_ptr<char> alive = m_alive;
        each(index, result);
        return !alive.expired();
    }

    static double msSince(Clock::time_point start) {
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }

    const HostChecker::Each m_each;
    const int m_mostOpen;
    std::vector<Check> m_checks;
    std::deque<std::size_t> m_waiting;  // with addresses, for a free socket
    std::set<std::size_t> m_connecting;
    std::size_t m_slotsTaken = 0;
    std::set<Lookup *> m_lookups;  // under way: not yet delivered
    std::shared_ptr<Mailbox> m_mailbox = std::make_shared<Mailbox>();
    std::vector<std::unique_ptr<QSocketNotifier>> m_retired;
    QTimer m_deadlines;
    QTimer m_lookupLimit;
    QObject m_context;
    std::shared_ptr<char> m_alive = std::make_shared<char>();
};

}  // namespace

int mostSocketsAtOnce() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return kMostSockets;
    return static_cast<int>(std::clamp<rlim_t>(limit.rlim_cur / 4, 1, kMostSockets));
}

std::unique_ptr<PendingCheck> sweepPorts(std::vector<CheckTarget> targets, HostChecker::Each each,
                                         int mostOpen) {
    return std::make_unique<PortSweep>(std::move(targets), std::move(each), mostOpen);
}
