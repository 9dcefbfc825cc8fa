// The socket's close and error events held back while the window handles
// replies, without a window: what is held when, what comes out once the
// handlers have returned, in which socket state, and what a new login drops.
//
// A row's steps are what the window and its socket do, in order:
//   "handle", "end"        reply handlers start running, and return
//   "close"                the socket reports that the peer closed
//   "error N text"         the socket reports error N
//   "take close S"         after the handlers: the held close, the socket in state S
//   "take error S"         after the handlers: the held error, the socket in state S
//   "drop"                 a new login
// States: closed, connecting, connected, closing, error.
// "close" and "error" write "held" or "now" (the window handles it at once);
// the takes write what comes out, or "-".

#include "net/HeldSocketEvents.h"
#include "net/TcpClientSocket.h"

#include <QtTest>

namespace {

int socketState(const QString &name)
{
    static const QHash<QString, int> states{
        {QStringLiteral("closed"), TcpClientSocket::sckClosed},
        {QStringLiteral("connecting"), TcpClientSocket::sckConnecting},
        {QStringLiteral("connected"), TcpClientSocket::sckConnected},
        {QStringLiteral("closing"), TcpClientSocket::sckClosing},
        {QStringLiteral("error"), TcpClientSocket::sckError},
    };
    if (!states.contains(name))
        qFatal("unknown socket state %s", qPrintable(name));
    return states.value(name);
}

QString heldOrNow(bool held)
{
    return held ? QStringLiteral("held") : QStringLiteral("now");
}

QStringList play(HeldSocketEvents &events, const QStringList &steps)
{
    QStringList out;
    for (const QString &step : steps) {
        const QStringList word = step.split(u' ');
        if (step == QLatin1String("handle")) {
            events.startHandling();
        } else if (step == QLatin1String("end")) {
            events.endHandling();
        } else if (step == QLatin1String("drop")) {
            events.dropHeld();
        } else if (step == QLatin1String("close")) {
            out << heldOrNow(events.holdClose());
        } else if (word[0] == QLatin1String("error")) {
            out << heldOrNow(events.holdError(word[1].toInt(), word.mid(2).join(u' ')));
        } else if (word.mid(0, 2) == QStringList{"take", "close"}) {
            out << (events.takeClose(socketState(word[2])) ? QStringLiteral("close") : QStringLiteral("-"));
        } else if (word.mid(0, 2) == QStringList{"take", "error"}) {
            const auto error = events.takeError(socketState(word[2]));
            out << (error ? QStringLiteral("error %1 %2").arg(error->number).arg(error->description)
                          : QStringLiteral("-"));
        } else {
            qFatal("unknown step %s", qPrintable(step));
        }
    }
    return out;
}

} // namespace

class TestHeldSocketEvents : public QObject
{
    Q_OBJECT
private slots:
    void transitions_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("out");
        QTest::addColumn<bool>("handling");

        // No handler running: nothing waits.
        QTest::newRow("close with no handler running")
            << QStringList{"close", "take close closing"} << QStringList{"now", "-"} << false;
        QTest::newRow("error with no handler running")
            << QStringList{"error 10061 refused", "take error error"} << QStringList{"now", "-"} << false;
        QTest::newRow("after the handlers have returned, events come at once")
            << QStringList{"handle", "end", "close", "error 10054 reset"} << QStringList{"now", "now"} << false;

        // One event held.
        QTest::newRow("close held until the handlers return")
            << QStringList{"handle", "close", "end", "take close closing", "take error closing"}
            << QStringList{"held", "close", "-"} << false;
        QTest::newRow("close held, the handler closed the socket itself")
            << QStringList{"handle", "close", "end", "take close closed", "take close closing"}
            << QStringList{"held", "-", "-"} << false;
        QTest::newRow("close held, a new connection under way")
            << QStringList{"handle", "close", "end", "take close connecting"} << QStringList{"held", "-"} << false;
        QTest::newRow("close comes out once")
            << QStringList{"handle", "close", "end", "take close closing", "take close closing"}
            << QStringList{"held", "close", "-"} << false;
        QTest::newRow("error held until the handlers return")
            << QStringList{"handle", "error 10054 connection reset", "end", "take close error", "take error error"}
            << QStringList{"held", "-", "error 10054 connection reset"} << false;
        QTest::newRow("error held, then the connection gone")
            << QStringList{"handle", "error 10054 reset", "end", "take error closed", "take error error"}
            << QStringList{"held", "-", "-"} << false;
        QTest::newRow("error comes out once")
            << QStringList{"handle", "error 10060 timed out", "end", "take error error", "take error error"}
            << QStringList{"held", "error 10060 timed out", "-"} << false;
        QTest::newRow("a later error replaces an earlier one")
            << QStringList{"handle", "error 10053 aborted", "error 10054 reset", "end", "take error error"}
            << QStringList{"held", "held", "error 10054 reset"} << false;

        // Both held: the socket's state says which of them is still true.
        QTest::newRow("close and error held, the socket closing")
            << QStringList{"handle", "close", "error 10054 reset", "end", "take close closing", "take error closing"}
            << QStringList{"held", "held", "close", "-"} << false;
        QTest::newRow("close and error held, the socket failed")
            << QStringList{"handle", "close", "error 10054 reset", "end", "take close error", "take error error"}
            << QStringList{"held", "held", "-", "error 10054 reset"} << false;
        QTest::newRow("close and error held, the socket closed by a handler")
            << QStringList{"handle", "error 10054 reset", "close", "end", "take close closed", "take error closed"}
            << QStringList{"held", "held", "-", "-"} << false;

        // A new login drops what the last connection held back.
        QTest::newRow("a new login drops held events")
            << QStringList{"handle", "close", "error 10054 reset", "drop", "end", "take close closing",
                           "take error error"}
            << QStringList{"held", "held", "-", "-"} << false;
        QTest::newRow("a new login inside a handler: handling goes on")
            << QStringList{"handle", "drop", "close"} << QStringList{"held"} << true;
        QTest::newRow("held events stay held while handling goes on")
            << QStringList{"handle", "close", "error 1 x"} << QStringList{"held", "held"} << true;
    }
    void transitions()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, out);
        QFETCH(bool, handling);
        HeldSocketEvents events;
        QCOMPARE(play(events, steps), out);
        QCOMPARE(events.isHandling(), handling);
    }
};

QTEST_GUILESS_MAIN(TestHeldSocketEvents)
#include "test_held_socket_events.moc"
