#include "platform/hostcheck.h"

#include <QObject>
#include <QTimer>
#include <map>

namespace {

using Start = std::function<std::unique_ptr<PendingCheck>(const CheckTarget &, HostChecker::Done)>;

// A sweep made of single checks, at most a number of them under way.
class OneByOne : public PendingCheck {
public:
    OneByOne(std::vector<CheckTarget> targets, HostChecker::Each each, int mostAtOnce, Start start)
        : m_targets(std::move(targets)),
          m_each(std::move(each)),
          m_mostAtOnce(std::max(mostAtOnce, 1)),
          m_start(std::move(start)) {
        pump();
    }

private:
    void pump() {
        while (static_cast<int>(m_running.size()) < m_mostAtOnce && m_next < m_targets.size()) {
            const std::size_t index = m_next++;
            m_running[index] = m_start(m_targets[index],
                                       [this, index](const CheckResult &r) { finished(index, r); });
        }
    }

    void finished(std::size_t index, const CheckResult &result) {
        const auto it = m_running.find(index);
        if (it == m_running.end()) return;
        // Not destroyed inside its own report: from the event loop, with this sweep.
        m_ended.push_back(std::move(it->second));
        QTimer::singleShot(0, &m_context, [this] { m_ended.clear(); });
        m_running.erase(it);
        pump();
        const HostChecker::Each each = m_each;  // it may destroy this sweep, and m_each with it
        each(index, result);
    }

    const std::vector<CheckTarget> m_targets;
    const HostChecker::Each m_each;
    const int m_mostAtOnce;
    const Start m_start;
    std::size_t m_next = 0;
    std::map<std::size_t, std::unique_ptr<PendingCheck>> m_running;
    std::vector<std::unique_ptr<PendingCheck>> m_ended;
    QObject m_context;
};

}  // namespace

std::unique_ptr<PendingCheck> sweepOneByOne(std::vector<CheckTarget> targets,
                                            HostChecker::Each each, int mostAtOnce, Start start) {
    return std::make_unique<OneByOne>(std::move(targets), std::move(each), mostAtOnce,
                                      std::move(start));
}
