// The desktop notifier against a stand-in notification service on a private session bus: CTest
// runs this under dbus-run-session, so no desktop's own service ever sees these notices.
#include "platform/notifier.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QGuiApplication>

#include "tests/fakes.h"

namespace {

// What a notification service would get, as "app|summary|body|timeout".
class StandInService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList calls;
    QStringList capabilities{QStringLiteral("body"), QStringLiteral("body-markup")};

public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString &app, uint, const QString &, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &, int timeout) {
        calls << QStringLiteral("%1|%2|%3|%4").arg(app, summary, body).arg(timeout);
        return static_cast<uint>(calls.size());
    }
};

TEST(DesktopNotifier, TheServiceGetsSummaryAndBodyAndNoServiceIsNoError) {
    const auto notifier = makeSystemNotifier();
    QElapsedTimer clock;
    clock.start();
    notifier->notify(QStringLiteral("unheard"), QString());  // nobody serves notices yet
    EXPECT_LT(clock.elapsed(), 500) << "it waited for a service that is not there";
    runUntil([] { return false; }, 300);  // the bus says there is none

    // The service on a connection of its own, so the notice really crosses the bus.
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "standin");
    StandInService service;
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                   QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    notifier->notify(QStringLiteral("Print room (127.0.0.7) stopped answering"),
                     QStringLiteral("No answer twice in a row, the last time at 14:03:07."));
    runUntil([&] { return !service.calls.isEmpty(); }, 3000);
    EXPECT_EQ(service.calls,
              QStringList({"norvex|Print room (127.0.0.7) stopped answering|No answer twice in a "
                           "row, the last time at 14:03:07.|-1"}));

    // Labels in a summary notice's body are text, whether or not the service reads markup.
    const struct {
        bool markup;
        const char *body;
    } cases[] = {{true, "R&amp;D &lt;lab&gt; 1, B"}, {false, "R&D <lab> 1, B"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.markup);
        service.calls.clear();
        if (!c.markup) service.capabilities.removeAll(QStringLiteral("body-markup"));
        const auto asking = makeSystemNotifier();
        for (int i = 0; i < 2; ++i)  // before and after the service has said what it reads
            asking->notify(QStringLiteral("R&D <lab> 1 stopped answering"), "R&D <lab> 1, B");
        runUntil([&] { return service.calls.size() == 2; }, 3000);
        const QString told =
            QStringLiteral("norvex|R&D <lab> 1 stopped answering|%1|-1").arg(c.body);
        EXPECT_EQ(service.calls, QStringList({told, told}));
    }
}

}  // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

#include "notifier_test.moc"
