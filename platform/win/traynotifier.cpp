// Notices as a tray icon's messages, which Windows 10 and 11 show as their own notifications.
// A tray icon needs no Start menu shortcut or registered application id, so the portable zip
// notifies as the installed program does; it is there only while norvex is watching.
#include <QCoreApplication>
#include <QIcon>
#include <QSystemTrayIcon>

#include "platform/notifier.h"

namespace {

class TrayNotifier : public Notifier {
public:
    void notify(const QString &summary, const QString &body) override {
        if (m_icon) m_icon->showMessage(summary, body, QSystemTrayIcon::Information);
    }

    void setWatching(bool on) override {
        if (!on) {
            m_icon.reset();
            return;
        }
        if (m_icon || !QSystemTrayIcon::isSystemTrayAvailable()) return;
        // The application's child, so that it can be found by name.
        m_icon = std::make_unique<QSystemTrayIcon>(QIcon(QStringLiteral(":/norvex/norvex.png")),
                                                   QCoreApplication::instance());
        m_icon->setObjectName(QStringLiteral("watchingTrayIcon"));
        m_icon->setToolTip(QStringLiteral("norvex is checking its hosts"));
        m_icon->show();
    }

private:
    std::unique_ptr<QSystemTrayIcon> m_icon;
};

}  // namespace

void useOnlyARunningSessionBus() {}  // Windows has no session bus

std::unique_ptr<Notifier> makeSystemNotifier() { return std::make_unique<TrayNotifier>(); }
