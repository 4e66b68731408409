// Notices through the desktop's notification service on the session bus.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>
#include <utility>
#include <vector>

#include "platform/notifier.h"

namespace {

// A service that says nothing within this long is taken to have said nothing at all.
constexpr int kServiceWaitMs = 5000;

// A body the service reads as markup shows these three as they are written.
QString escapedForMarkup(QString text) {
    return text.replace(u'&', QLatin1String("&amp;"))
        .replace(u'<', QLatin1String("&lt;"))
        .replace(u'>', QLatin1String("&gt;"));
}

// Whether a session bus is there to use: named in the environment, or at its standard place,
// where the D-Bus library looks for it without being told.
bool sessionBusNamed() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

class DesktopNotifier : public Notifier {
public:
    void notify(const QString &summary, const QString &body) override {
        if (!sessionBusNamed()) return;  // never one started for norvex
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) return;
        if (m_bodyMarkup.has_value()) {
            send(bus, summary, *m_bodyMarkup ? escapedForMarkup(body) : body);
            return;
        }
        // Whether the body is markup is the service's to say: asked once, the notices held
        // until it has answered.
        m_waiting.emplace_back(summary, body);
        if (m_asking) return;
        m_asking = true;
        const QDBusMessage ask = call(QStringLiteral("GetCapabilities"));
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask, kServiceWaitMs), &m_context);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &m_context, [this, watcher] {
            watcher->deleteLater();
            const QDBusPendingReply<QStringList> reply = *watcher;
            m_asking = false;
            // Without an answer, the markup nearly every service reads.
            const bool markup =
                reply.isError() || reply.value().contains(QStringLiteral("body-markup"));
            if (!reply.isError()) m_bodyMarkup = markup;
            QDBusConnection bus = QDBusConnection::sessionBus();
            for (const auto &[summary, body] : std::exchange(m_waiting, {}))
                send(bus, summary, markup ? escapedForMarkup(body) : body);
        });
    }

private:
    static QDBusMessage call(const QString &method) {
        return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                              QStringLiteral("/org/freedesktop/Notifications"),
                                              QStringLiteral("org.freedesktop.Notifications"),
                                              method);
    }

    // The summary is plain text to every service; the body is markup where the service says so.
    static void send(QDBusConnection &bus, const QString &summary, const QString &body) {
        QDBusMessage notice = call(QStringLiteral("Notify"));
        notice << QStringLiteral("norvex") << 0u << QStringLiteral("norvex") << summary << body
               << QStringList() << QVariantMap() << -1;
        // Sent without waiting: no service, or one that never replies, costs nothing.
        bus.send(notice);
    }

    std::optional<bool> m_bodyMarkup;  // known once the service has said
    bool m_asking = false;
    std::vector<std::pair<QString, QString>> m_waiting;
    QObject m_context;
};

}  // namespace

void useOnlyARunningSessionBus() {
    // An address no bus is ever at: the library then starts none.
    if (!sessionBusNamed()) qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

std::unique_ptr<Notifier> makeSystemNotifier() { return std::make_unique<DesktopNotifier>(); }
