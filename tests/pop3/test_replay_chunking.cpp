// Real POP3 conversations, recorded between the window and Dovecot, replayed
// with the server's bytes cut at random places: however the bytes arrive,
// the window must end in exactly the state the whole replies leave (labels,
// grids and their colours, the store file, the message file).
//
// The cuts are random but reproducible: the seed is printed, and
// MAILVANE_REPLAY_SEED=<seed> repeats a run (MAILVANE_REPLAY_ROUNDS sets the
// rounds per conversation).

#include "DovecotServer.h"
#include "frmMainTestAccess.h"
#include "MessageBoxRecorder.h"
#include "net/TcpClientSocket.h"
#include "PlatformRecorder.h"
#include "ScriptedPop3Server.h"
#include "window/FlexGrid.h"
#include "window/frmMain.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

const QString StoreName = QStringLiteral("bob_127.0.0.1.uidl");
constexpr int DefaultRounds = 50;
// All replays of all conversations together stop starting new rounds after
// this long; the rounds done are reported.
constexpr qint64 ReplayBudgetMs = 40000;
constexpr int WaitMs = 10000;

// What the server said after each line of the client; the first exchange has
// no line (the greeting).
struct Exchange
{
    QByteArray line;
    QByteArray reply;
};
using Conversation = QList<Exchange>;

// Stands between the window and Dovecot and keeps what passes.
class RecordingProxy
{
public:
    explicit RecordingProxy(quint16 serverPort)
        : m_serverPort(serverPort)
    {
        QObject::connect(&m_listener, &QTcpServer::newConnection, [this] { accept(); });
        m_listener.listen(QHostAddress::LocalHost, 0);
    }

    quint16 port() const { return m_listener.serverPort(); }
    int connections() const { return m_connections; }
    bool clientClosed() const { return m_clientClosed; }
    Conversation conversation() const { return m_conversation; }

private:
    void accept()
    {
        while (QTcpSocket *client = m_listener.nextPendingConnection()) {
            ++m_connections;
            m_conversation = {Exchange{}};
            auto *server = new QTcpSocket(client);
            QPointer<QTcpSocket> guard(client);
            QObject::connect(server, &QTcpSocket::connected, server, [this, server] {
                server->write(m_toServer);
                m_toServer.clear();
            });
            QObject::connect(server, &QTcpSocket::readyRead, server, [this, server, guard] {
                const QByteArray data = server->readAll();
                m_conversation.last().reply += data;
                if (guard)
                    guard->write(data);
            });
            QObject::connect(server, &QTcpSocket::disconnected, server, [guard] {
                if (guard)
                    guard->disconnectFromHost(); // after what is still to write
            });
            QObject::connect(client, &QTcpSocket::readyRead, client, [this, client, server] {
                const QByteArray data = client->readAll();
                for (char c : data) {
                    m_line += c;
                    if (c == '\n') {
                        m_conversation.append(Exchange{m_line, QByteArray()});
                        m_line.clear();
                    }
                }
                if (server->state() == QAbstractSocket::ConnectedState)
                    server->write(data);
                else
                    m_toServer += data;
            });
            QObject::connect(client, &QTcpSocket::disconnected, client, [this, server] {
                m_clientClosed = true;
                server->disconnectFromHost();
            });
            server->connectToHost(QHostAddress::LocalHost, m_serverPort);
        }
    }

    QTcpServer m_listener;
    quint16 m_serverPort;
    int m_connections = 0;
    bool m_clientClosed = false;
    Conversation m_conversation;
    QByteArray m_line;
    QByteArray m_toServer;
};

QString shown(const QByteArray &bytes)
{
    QString text;
    for (char c : bytes) {
        const uchar u = uchar(c);
        if (u >= 0x20 && u < 0x7F && c != '\\')
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return text;
}

// ---- The mailbox: six mails that exercise the framing and the parsers.

QByteArray mailbox(int n)
{
    const QByteArray head = "Return-Path: <sender@example.com>\r\nDate: Tue, 3 Aug 2004 1" + QByteArray::number(n)
                            + ":0" + QByteArray::number(n) + ":00 +0200\r\nTo: bob@example.com\r\n";
    switch (n) {
    case 1:
        return head + "From: Ann <ann@example.com>\r\nSubject: Plain and short\r\n\r\nHello Bob.\r\n";
    case 2:
        return head + "From: Dot <dot@example.com>\r\nSubject: Dots\r\n\r\n.\r\n..\r\n.leading dot\r\n"
                      "-ERR is no status here\r\n+OK nor here\r\n. \r\n...\r\nlast\r\n";
    case 3: {
        static const char text[] = "From: =?UTF-8?B?SsO2cmc=?= <j@example.de>\r\nSubject: caf\xe9 \xc3\xa9t\xc3\xa9\r\n"
                                   "\r\n\x80\x81\xfe\xff\r\n\xe9t\xe9\r\nnul \x00 byte\r\n";
        return head + QByteArray(text, sizeof(text) - 1);
    }
    case 4: {
        // Large, so Dovecot writes it in pieces, with every awkward line.
        QByteArray mail = head + "From: Big <big@example.com>\r\nSubject: =?ISO-8859-1?Q?Gro=DFe?= mail\r\n"
                                 "X-Long: " + QByteArray(5000, 'h') + "\r\n\r\n";
        QByteArray high;
        for (int c = 0x80; c <= 0xFF; ++c)
            high += char(c);
        for (int line = 0; mail.size() < 40000; ++line) {
            switch (line % 7) {
            case 0: mail += ".dot " + QByteArray::number(line) + "\r\n"; break;
            case 1: mail += ".\r\n"; break;
            case 2: mail += "-ERR " + QByteArray::number(line) + "\r\n"; break;
            case 3: mail += high.mid(line % 64, 64) + "\r\n"; break;
            case 4: mail += QByteArray(line % 300, char('a' + line % 26)) + "\r\n"; break;
            case 5: mail += "\r\n"; break;
            default: mail += "..\r\n"; break;
            }
        }
        return mail + ".\r\n-ERR\r\n";
    }
    case 5:
        return head + "From: Folded <f@example.com>\r\nSubject: a subject\r\n folded over\r\n\tthree lines\r\n"
                      "Subject: a second subject\r\n\r\nSubject: in the body\r\nbody\r\n";
    default:
        // No empty line: headers only, and no subject.
        return head + "From: \r\nX-Empty:\r\n";
    }
}
constexpr int MailCount = 6;

// ---- The window's state, as lines to compare.

QString cellColor(const FlexGrid *grid, int row, int col)
{
    const QColor color = grid->CellForeColor(row, col);
    return color.isValid() ? color.name() : QStringLiteral("-");
}

void addGrid(QStringList &state, const QString &name, const FlexGrid *grid)
{
    state << QStringLiteral("%1 %2x%3 %4").arg(name).arg(grid->Rows()).arg(grid->Cols())
                 .arg(grid->isHidden() ? QStringLiteral("hidden") : QStringLiteral("shown"));
    for (int r = 0; r < grid->Rows(); ++r)
        for (int c = 0; c < grid->Cols(); ++c)
            state << QStringLiteral("%1[%2,%3] %4 %5").arg(name).arg(r).arg(c).arg(cellColor(grid, r, c),
                                                                                   grid->TextMatrix(r, c));
}

void addWindow(QStringList &state, const frmMain &w)
{
    for (const QLabel *label : {w.lblMails, w.lblMailSize, w.lblTotalMails, w.lblNewMails})
        state << label->objectName() + QStringLiteral(" = ") + label->text();
    state << QStringLiteral("new mails = ") + (kit::session(w).colNewMails() ? kit::session(w).colNewMails()->join(u',') : QStringLiteral("-"));
    addGrid(state, QStringLiteral("grdStats"), w.grdStats);
    addGrid(state, QStringLiteral("grdMails"), w.grdMails);
}

void addFile(QStringList &state, const QString &name, const QString &path)
{
    if (!QFile::exists(path)) {
        state << name + QStringLiteral(" missing");
        return;
    }
    const QByteArray bytes = kit::readFile(path);
    state << QStringLiteral("%1 %2 bytes, sha1 %3").arg(name).arg(bytes.size())
                 .arg(QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex()));
}

// Waits until the condition holds, looking at it every few milliseconds
// while the event loop runs (QTest::qWaitFor sleeps 10 ms between looks,
// which a replay of a thousand pieces would feel a thousand times).
bool waitFor(const std::function<bool()> &condition, int timeoutMs = WaitMs)
{
    if (condition())
        return true;
    QEventLoop loop;
    QTimer look;
    look.setInterval(2);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    look.start();
    loop.exec();
    return condition();
}

using kit::loggedInAndIdle;

// One conversation: what the user does once logged in.
struct Scenario
{
    const char *name;
    std::function<void(frmMain &)> act;
    std::function<bool(const frmMain &)> done;
};

const QList<Scenario> &scenarios()
{
    static const QList<Scenario> list{
        {"login with statistics", [](frmMain &) {}, [](const frmMain &) { return true; }},
        {"header sweep",
         [](frmMain &w) {
             w.cboFrom->setEditText(QStringLiteral("1"));
             w.cboTill->setEditText(QString::number(MailCount));
             w.cmdShow_Click();
         },
         [](const frmMain &w) { return w.cmdShow->text() == QLatin1String("Show") && w.prgProgress->isHidden(); }},
        {"view",
         [](frmMain &w) {
             FlexGrid *g = w.grdMails;
             g->SetRows(3);
             g->SetTextMatrix(2, 1, QStringLiteral(" Big <big@example.com>"));
             g->SetTextMatrix(2, 2, QStringLiteral(" Big mail"));
             g->SetTextMatrix(2, 3, QStringLiteral("4"));
             g->SetCol(1);
             g->SetRow(2);
             w.mnuCompleteMail_Click();
         },
         [](const frmMain &w) { return !kit::session(w).bListForView() && w.prgProgress->isHidden(); }},
    };
    return list;
}

// Logs in on `port`, does what the scenario does, logs out (QUIT only, so
// that the server's hang-up after QUIT cannot race a second reply) and
// returns the window's state at the end of the work and after the logout.
// `hook` sees the window before the login starts.
QStringList runWindow(quint16 port, const Scenario &scenario, const QByteArray &store,
                      const std::function<void(frmMain &)> &hook = {})
{
    QStringList state;
    kit::writeFile(StoreName, store);
    RecordedWindow f;
    frmMain &w = f.w;
    const QString messageFile = f.messageFile();
    w.setReplyTimeout(WaitMs);
    if (hook)
        hook(w);
    kit::fillLogin(w, port);
    w.cmdLogin_Click();
    if (!waitFor([&] { return loggedInAndIdle(w); }))
        state << QStringLiteral("the login did not finish");
    scenario.act(w);
    if (!waitFor([&] { return scenario.done(w); }))
        state << QStringLiteral("the work did not finish");
    addWindow(state, w);
    w.ckUpdtChanges->setChecked(true);
    w.cmdLogin_Click();
    if (!waitFor([&] { return w.cmdLogin->text() == QLatin1String("Login"); }))
        state << QStringLiteral("the logout did not finish");
    state << QStringLiteral("store: ") + shown(kit::readFile(StoreName));
    addFile(state, QStringLiteral("test.eml"), messageFile);
    state << QStringLiteral("viewer calls: %1").arg(f.platform.calls.size());
    for (const QString &text : f.boxes.texts())
        state << QStringLiteral("box: ") + text;
    return state;
}

// The offsets at which one reply is cut: often at and around line ends and
// dots, where framing goes wrong, sometimes every byte.
QList<int> cutsFor(const QByteArray &reply, QRandomGenerator &random)
{
    QList<int> cuts;
    const int size = int(reply.size());
    if (size < 2)
        return cuts;
    if (size <= 64 && random.bounded(4) == 0) {
        for (int i = 1; i < size; ++i)
            cuts << i;
        return cuts;
    }
    QList<int> awkward;
    for (int i = 1; i < size; ++i) {
        const char c = reply.at(i);
        const char before = reply.at(i - 1);
        if (c == '\r' || c == '\n' || c == '.' || before == '\r' || before == '\n' || before == '.')
            awkward << i;
    }
    const int count = int(random.bounded(qMin(size - 1, 48) + 1));
    for (int k = 0; k < count; ++k) {
        int at = !awkward.isEmpty() && random.bounded(2) == 0 ? awkward.at(random.bounded(int(awkward.size())))
                                                              : 1 + int(random.bounded(size - 1));
        at = qBound(1, at + int(random.bounded(3)) - 1, size - 1);
        cuts << at;
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    return cuts;
}

QString describeCuts(const Conversation &conversation, const QList<QList<int>> &cuts)
{
    QStringList parts;
    for (int i = 0; i < conversation.size(); ++i) {
        if (cuts.at(i).isEmpty())
            continue;
        QStringList offsets;
        for (int at : cuts.at(i))
            offsets << QString::number(at);
        parts << QStringLiteral("reply to %1 cut at %2")
                     .arg(conversation.at(i).line.isEmpty() ? QStringLiteral("(greeting)")
                                                            : shown(conversation.at(i).line.trimmed()),
                          offsets.join(u' '));
    }
    return parts.join(QStringLiteral("; "));
}

quint32 seedFromEnvironment()
{
    bool ok = false;
    const quint32 seed = qEnvironmentVariable("MAILVANE_REPLAY_SEED").toUInt(&ok);
    return ok ? seed : QRandomGenerator::global()->generate();
}

int roundsFromEnvironment()
{
    bool ok = false;
    const int rounds = qEnvironmentVariableIntValue("MAILVANE_REPLAY_ROUNDS", &ok);
    return ok && rounds >= 0 ? rounds : DefaultRounds;
}

} // namespace

class TestReplayChunking : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!DovecotServer::isAvailable())
            QSKIP(qPrintable(DovecotServer::unavailableReason()));
        QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
        // One server for all conversations: its ids stay the same throughout.
        QVERIFY(m_dovecot.addUser(QStringLiteral("bob"), QStringLiteral("secret")));
        for (int n = 1; n <= MailCount; ++n)
            QVERIFY(m_dovecot.deliver(QStringLiteral("bob"), mailbox(n)));
        QVERIFY2(m_dovecot.start(), qPrintable(m_dovecot.errorString()));
        m_seed = seedFromEnvironment();
        m_rounds = roundsFromEnvironment();
        qInfo("replay seed %u, %d rounds per conversation (MAILVANE_REPLAY_SEED=%u repeats this run)", m_seed,
              m_rounds, m_seed);
        m_budget.start();
    }

    void recordAndReplay_data()
    {
        QTest::addColumn<int>("scenario");
        for (int i = 0; i < scenarios().size(); ++i)
            QTest::newRow(scenarios().at(i).name) << i;
    }

    void recordAndReplay()
    {
        QFETCH(int, scenario);
        const Scenario &s = scenarios().at(scenario);

        // ---- Recorded from Dovecot through the proxy.
        // The first conversation meets an empty store; the others one that
        // knows mails 2 and 5, so that the grid has rows of both colours.
        QByteArray store;
        if (scenario > 0) {
            QVERIFY(!m_knownIds.isEmpty());
            store = m_knownIds.at(1) + "\r\n" + m_knownIds.at(4) + "\r\nnot-on-the-server\r\n";
        }
        RecordingProxy proxy(m_dovecot.port());
        const QStringList recorded = runWindow(proxy.port(), s, store);
        QTRY_VERIFY(proxy.clientClosed());
        QCOMPARE(proxy.connections(), 1);
        const Conversation conversation = proxy.conversation();
        QVERIFY2(recorded.filter(QStringLiteral("did not finish")).isEmpty(),
                 qPrintable(recorded.join(u'\n') + QStringLiteral("\n") + m_dovecot.log()));
        QVERIFY2(recorded.filter(QStringLiteral("box: ")).size() == (scenario == 2 ? 2 : 1),
                 qPrintable(recorded.filter(QStringLiteral("box: ")).join(u'\n')));
        if (scenario == 0) {
            for (const QByteArray &id : kit::readFile(StoreName).split('\n'))
                if (!id.trimmed().isEmpty())
                    m_knownIds << id.trimmed();
            QCOMPARE(m_knownIds.size(), MailCount);
        }

        // ---- Replayed whole, then cut at random.
        const auto replay = [&](const QList<QList<int>> &cuts, QStringList *mismatches) {
            ScriptedPop3Server server;
            for (int i = 0; i < conversation.size(); ++i) {
                const Exchange &e = conversation.at(i);
                if (!e.line.isEmpty())
                    server.expect(e.line);
                if (!e.reply.isEmpty())
                    server.sendManually(ScriptedPop3Server::splitAt(e.reply, cuts.at(i)));
            }
            server.closeConnection();
            // Each further piece goes out once the window has read the one
            // before: every cut is a separate read.
            const QStringList state = runWindow(server.port(), s, store, [&server](frmMain &w) {
                QObject::connect(w.sockPOP3, &TcpClientSocket::dataArrival, &w, [&server] {
                    if (server.isWaitingForSendNext())
                        server.sendNext();
                });
            });
            const bool finished = waitFor([&] { return server.isFinished(); });
            *mismatches = server.mismatches();
            if (!finished)
                *mismatches << QStringLiteral("script stopped at step %1 of %2").arg(server.stepIndex())
                                   .arg(server.stepCount());
            return state;
        };

        const QList<QList<int>> whole(conversation.size());
        QStringList mismatches;
        QCOMPARE(replay(whole, &mismatches), recorded);
        QCOMPARE(mismatches, QStringList());

        int rounds = 0;
        for (; rounds < m_rounds && m_budget.elapsed() < ReplayBudgetMs; ++rounds) {
            QRandomGenerator random(m_seed + quint32(scenario) * 1000003u + quint32(rounds));
            QList<QList<int>> cuts;
            for (const Exchange &e : conversation)
                cuts << cutsFor(e.reply, random);
            const QStringList state = replay(cuts, &mismatches);
            const QString where = QStringLiteral("seed %1, %2, round %3: %4")
                                      .arg(m_seed).arg(QLatin1String(s.name)).arg(rounds)
                                      .arg(describeCuts(conversation, cuts));
            if (state != recorded || !mismatches.isEmpty()) {
                for (int i = 0; i < qMax(state.size(), recorded.size()); ++i) {
                    if (state.value(i) != recorded.value(i)) {
                        qWarning().noquote() << "first difference at line" << i << "\n  whole:" << recorded.value(i)
                                             << "\n  cut:  " << state.value(i);
                        break;
                    }
                }
                qWarning().noquote() << where;
            }
            QCOMPARE(state, recorded);
            QCOMPARE(mismatches, QStringList());
        }
        qInfo("%s: %d of %d rounds within the time allowed", s.name, rounds, m_rounds);
        QVERIFY(rounds > 0);
    }

private:
    DovecotServer m_dovecot;
    quint32 m_seed = 0;
    int m_rounds = DefaultRounds;
    QElapsedTimer m_budget;
    QList<QByteArray> m_knownIds; // Dovecot's ids of mails 1 to 6
};

QTEST_MAIN(TestReplayChunking)
#include "test_replay_chunking.moc"
