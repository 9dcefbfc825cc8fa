// A minimal StatusNotifier desktop for tests: the watcher service that tray
// icons register with, and a host that shows them (it only says it is
// there). Runs on the session bus of the test until it is ended. It prints
// "ready" once the watcher's name is owned.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QStringList>

#include <cstdio>

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString ItemPath = QStringLiteral("/StatusNotifierItem");

} // namespace

class StatusNotifierWatcher : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    explicit StatusNotifierWatcher(const QDBusConnection &bus)
        : m_owners(QString(), bus, QDBusServiceWatcher::WatchForUnregistration)
    {
        connect(&m_owners, &QDBusServiceWatcher::serviceUnregistered, this, &StatusNotifierWatcher::ownerGone);
    }

    QStringList registeredItems() const { return m_items; }
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public slots:
    // An item names its bus name, or only its object path on the caller's.
    void RegisterStatusNotifierItem(const QString &serviceOrPath)
    {
        const bool isPath = serviceOrPath.startsWith(QLatin1Char('/'));
        const QString service = isPath ? message().service() : serviceOrPath;
        const QString item = service + (isPath ? serviceOrPath : ItemPath);
        if (m_items.contains(item))
            return;
        m_items << item;
        m_owners.addWatchedService(service);
        emit StatusNotifierItemRegistered(item);
    }

    void RegisterStatusNotifierHost(const QString &) { emit StatusNotifierHostRegistered(); }

signals:
    void StatusNotifierItemRegistered(const QString &item);
    void StatusNotifierItemUnregistered(const QString &item);
    void StatusNotifierHostRegistered();

private:
    void ownerGone(const QString &service)
    {
        m_owners.removeWatchedService(service);
        for (const QString &item : QStringList(m_items)) {
            if (item.startsWith(service + QLatin1Char('/'))) {
                m_items.removeAll(item);
                emit StatusNotifierItemUnregistered(item);
            }
        }
    }

    QStringList m_items;
    QDBusServiceWatcher m_owners;
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "tray_host: no session bus: %s\n", qPrintable(bus.lastError().message()));
        return 2;
    }
    StatusNotifierWatcher watcher(bus);
    const auto exported = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals
        | QDBusConnection::ExportAllProperties;
    if (!bus.registerObject(WatcherPath, &watcher, exported) || !bus.registerService(WatcherService)) {
        std::fprintf(stderr, "tray_host: cannot own %s: %s\n", qPrintable(WatcherService),
                     qPrintable(bus.lastError().message()));
        return 2;
    }
    // The host, as a desktop's panel names itself.
    bus.registerService(QStringLiteral("org.kde.StatusNotifierHost-%1").arg(QCoreApplication::applicationPid()));
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "tray_host.moc"
