// Notices through the desktop's notification service on the session bus.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

#include "platform/notifier.h"

namespace {

class DesktopNotifier : public Notifier {
public:
    void notify(const QString &summary, const QString &body) override {
        // Only a bus that is already there: with no address, the D-Bus library would otherwise
        // start a bus daemon of its own that outlives norvex.
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
            (runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/bus"))))
            return;
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) return;
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"),
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
        call << QStringLiteral("norvex") << 0u << QStringLiteral("norvex") << summary << body
             << QStringList() << QVariantMap() << -1;
        // Sent without waiting: no service, or one that never replies, costs nothing.
        bus.send(call);
    }
};

}  // namespace

std::unique_ptr<Notifier> makeSystemNotifier() { return std::make_unique<DesktopNotifier>(); }
