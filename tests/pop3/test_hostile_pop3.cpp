// The real window against a hostile scripted POP3 server: a refusal at every
// step of the dialogue, binary garbage, megabyte lines, absurd and missing
// figures, a mailbox of 100,000 mails, servers that close in the middle of a
// reply or never answer, flood the window or trickle a byte at a time,
// answer one command twice, or dress their text up as markup. Every case
// must end with a clear message or the logged-in or logged-out state it
// names, and the store file must stay a sound list of ids that still holds
// every id it held before.

#include "frmMainTestAccess.h"
#include "MessageBoxRecorder.h"
#include "RealMessageBoxes.h"
#include "net/TcpClientSocket.h"
#include "PlatformRecorder.h"
#include "Pop3Scripts.h"
#include "ScriptedPop3Server.h"
#include "window/FlexGrid.h"
#include "window/frmMain.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSet>
#include <QSettings>
#include <QtTest>

namespace {

const QString StoreName = QStringLiteral("bob_127.0.0.1.uidl");
const QByteArray KnownStore = "known1\r\nknown2\r\n";
const QByteArray StoreAfterSession = "known1\r\nknown2\r\nfresh2\r\n";
// The mailbox most cases use: mail 1 already seen, mail 2 new.
const QStringList Ids{QStringLiteral("known1"), QStringLiteral("fresh2")};
const QList<qint64> Sizes{120, 240};

const QByteArray Refusal = "-ERR Refused by a hostile server\r\n";
const QString RefusalBox = QStringLiteral("Server error\r\n") + QString::fromLatin1(Refusal);
const QString ConfirmLogout = QStringLiteral("Confirm Logout?");
const QString SilentBox = QStringLiteral("The mail server did not answer for 0 seconds.\r\n"
                                         "The connection has been closed.");
const QString LostBox = QStringLiteral("The connection to the mail server has been lost.\r\nPlease login again.");

// Limits the flood cases shorten the window's to: lines, held replies and
// listings.
const Pop3ReplyReader::Limits FloodLimits{64 * 1024, 256 * 1024, 1024 * 1024};

// The dialogue up to the reply of `step`, whose status line `start` is sent
// (the greeting has none: it is the reply itself).
void scriptUpTo(ScriptedPop3Server &server, const QString &step, const QByteArray &start = "+OK\r\n")
{
    if (step == QLatin1String("greeting"))
        return;
    if (step == QLatin1String("CAPA")) {
        Pop3Scripts::greeting(server);
        server.expect("CAPA\r\n").send(start);
    } else if (step == QLatin1String("UIDL")) {
        Pop3Scripts::login(server, "bob", "secret");
        Pop3Scripts::stat(server, 2, 360);
        server.expect("UIDL \r\n").send(start);
    } else if (step == QLatin1String("LIST")) {
        Pop3Scripts::login(server, "bob", "secret");
        Pop3Scripts::stat(server, 2, 360);
        Pop3Scripts::uidl(server, Ids);
        server.expect("LIST \r\n").send(start);
    } else {
        Pop3Scripts::session(server, "bob", "secret", Ids, Sizes);
        if (step == QLatin1String("TOP")) {
            server.expect("TOP 1 10\r\n").send(start);
        } else {
            server.reply("LIST 2\r\n", "+OK 2 240\r\n");
            server.expect("RETR 2\r\n").send(start);
        }
    }
}

// Logs in, and where the step comes after the login, asks for it: Show for
// TOP, a view of mail 2 for RETR.
void runUpTo(WindowFixture &f, const QString &step)
{
    kit::fillLogin(f.w, f.server.port());
    f.w.cmdLogin_Click();
    if (step == QLatin1String("TOP") || step == QLatin1String("RETR")) {
        QTRY_VERIFY(kit::loggedInAndIdle(f.w));
        if (step == QLatin1String("TOP")) {
            f.w.cmdShow_Click();
        } else {
            kit::putMailRows(f.w, 2);
            kit::viewMail(f.w, 2);
        }
    }
}

// Empty when the store is a list of ids as the window writes it (printable
// ASCII without blanks, CR LF after each, no id twice in any letter case)
// holding every id of `mustHold`; otherwise what is wrong with it.
QString storeFault(const QByteArray &bytes, const QByteArray &mustHold)
{
    if (!bytes.isEmpty() && !bytes.endsWith("\r\n"))
        return QStringLiteral("the last line has no CR LF");
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast(); // the empty text after the last line end
    QSet<QByteArray> seen;
    for (const QByteArray &line : lines) {
        if (!line.endsWith('\r'))
            return QStringLiteral("a line ends in LF alone");
        const QByteArray id = line.chopped(1);
        if (id.isEmpty())
            return QStringLiteral("an empty line");
        for (char c : id)
            if (uchar(c) < 0x21 || uchar(c) > 0x7E)
                return QStringLiteral("an id holds the byte 0x%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
        if (seen.contains(id.toLower()))
            return QStringLiteral("the id %1 is listed twice").arg(QString::fromLatin1(id));
        seen.insert(id.toLower());
    }
    for (const QByteArray &id : mustHold.split('\n'))
        if (!id.trimmed().isEmpty() && !seen.contains(id.trimmed().toLower()))
            return QStringLiteral("the id %1 is lost").arg(QString::fromLatin1(id.trimmed()));
    return QString();
}

using kit::loggedInAndIdle;

// The window is back in its logged-out state, ready for the next login.
void expectLoggedOut(const frmMain &w)
{
    // The server's last bytes and its hang-up may still be on their way
    // through the window when the test looks: wait for the end state.
    QTRY_VERIFY(w.cmdLogin->isEnabled());
    QTRY_VERIFY(w.prgProgress->isHidden());
    QTRY_VERIFY(w.fraStats->isHidden());
    QTRY_COMPARE(w.sockPOP3->State(), int(TcpClientSocket::sckClosed));
    QCOMPARE(w.cmdLogin->text(), QStringLiteral("Login"));
    QVERIFY(!kit::session(w).objUIDL());
}

// Seeded bytes of every value, with line ends and dots often enough to reach
// the framing's corners.
QByteArray garbage(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        const quint32 pick = random.bounded(32);
        bytes[i] = pick < 3 ? '\r' : pick < 6 ? '\n' : pick < 8 ? '.' : char(random.bounded(256));
    }
    return bytes;
}

// Texts the window may show while it copes with nonsense.
bool isKnownBox(const QString &text)
{
    static const QStringList prefixes{
        QStringLiteral("Server error\r\n"),
        QStringLiteral("No mails in mailbox"),
        QStringLiteral("There was an error getting mail config info from the server"),
        QStringLiteral("The connection to the mail server has been lost."),
        QStringLiteral("The mail server did not answer for"),
        QStringLiteral("Message:Invalid message format"),
        QStringLiteral("Mail range selected is not valid"),
        QStringLiteral("From:"),
        ConfirmLogout,
    };
    for (const QString &prefix : prefixes)
        if (text.startsWith(prefix))
            return true;
    return false;
}

} // namespace

class TestHostilePop3 : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
        QVERIFY(kit::writeFile(StoreName, KnownStore));
    }

    void refusalAtEveryStep_data();
    void refusalAtEveryStep();
    void garbageInsteadOfAReply_data();
    void garbageInsteadOfAReply();
    void megabyteLines_data();
    void megabyteLines();
    void absurdFigures_data();
    void absurdFigures();
    void missingFields_data();
    void missingFields();
    void hundredThousandMails();
    void serverClosesInTheMiddle_data();
    void serverClosesInTheMiddle();
    void serverNeverAnswers_data();
    void serverNeverAnswers();
    void floodNeverEnds_data();
    void floodNeverEnds();
    void trickleNeverEnds_data();
    void trickleNeverEnds();
    void slowListingAboveTheMinimumRate();
    void commandAnsweredTwiceByAServerGone_data();
    void commandAnsweredTwiceByAServerGone();
    void markupStaysText_data();
    void markupStaysText();
};

void TestHostilePop3::refusalAtEveryStep_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QByteArray>("store");

    const QString question = QStringLiteral("From: Sender 2\r\nSubject: Subject 2\r\nWant to View?");
    // A refusal before the statistics leaves the connection to the next Login.
    QTest::newRow("greeting") << "greeting" << QStringList{RefusalBox, ConfirmLogout} << StoreAfterSession;
    QTest::newRow("USER") << "USER" << QStringList{RefusalBox, ConfirmLogout} << StoreAfterSession;
    QTest::newRow("PASS") << "PASS" << QStringList{RefusalBox, ConfirmLogout} << KnownStore;
    QTest::newRow("STAT") << "STAT" << QStringList{RefusalBox, ConfirmLogout} << StoreAfterSession;
    QTest::newRow("UIDL: silently without new-mail detection") << "UIDL" << QStringList{ConfirmLogout} << KnownStore;
    QTest::newRow("LIST") << "LIST" << QStringList{RefusalBox, ConfirmLogout} << StoreAfterSession;
    QTest::newRow("TOP") << "TOP" << QStringList{RefusalBox, ConfirmLogout} << StoreAfterSession;
    QTest::newRow("LIST n") << "LIST n" << QStringList{question, RefusalBox, ConfirmLogout} << StoreAfterSession;
    QTest::newRow("RETR") << "RETR" << QStringList{question, RefusalBox, ConfirmLogout} << StoreAfterSession;
    QTest::newRow("DELE") << "DELE" << QStringList{RefusalBox, ConfirmLogout} << StoreAfterSession;
    QTest::newRow("RSET") << "RSET" << QStringList{ConfirmLogout, RefusalBox} << StoreAfterSession;
    QTest::newRow("QUIT, then the server closes") << "QUIT" << QStringList{ConfirmLogout, RefusalBox}
                                                  << StoreAfterSession;
}

void TestHostilePop3::refusalAtEveryStep()
{
    QFETCH(QString, step);
    QFETCH(QStringList, texts);
    QFETCH(QByteArray, store);

    WindowFixture f;
    const bool loginAgain = step == QLatin1String("greeting") || step == QLatin1String("USER")
                            || step == QLatin1String("STAT");
    if (step == QLatin1String("greeting")) {
        f.server.send(Refusal);
    } else if (step == QLatin1String("USER")) {
        Pop3Scripts::greetingWithoutCapa(f.server);
        f.server.reply("USER bob\r\n", Refusal);
    } else if (step == QLatin1String("PASS")) {
        Pop3Scripts::greetingWithoutCapa(f.server);
        f.server.reply("USER bob\r\n", "+OK\r\n");
        f.server.reply("PASS secret\r\n", Refusal);
        Pop3Scripts::logout(f.server, true); // QUIT only: no mailbox to reset
    } else if (step == QLatin1String("STAT")) {
        Pop3Scripts::login(f.server, "bob", "secret");
        f.server.reply("STAT \r\n", Refusal);
    } else if (step == QLatin1String("UIDL")) {
        Pop3Scripts::login(f.server, "bob", "secret");
        Pop3Scripts::stat(f.server, 2, 360);
        f.server.reply("UIDL \r\n", Refusal);
        Pop3Scripts::list(f.server, Sizes);
        Pop3Scripts::logout(f.server);
    } else if (step == QLatin1String("LIST")) {
        Pop3Scripts::login(f.server, "bob", "secret");
        Pop3Scripts::stat(f.server, 2, 360);
        Pop3Scripts::uidl(f.server, Ids);
        f.server.reply("LIST \r\n", Refusal);
        Pop3Scripts::logout(f.server);
    } else {
        Pop3Scripts::session(f.server, "bob", "secret", Ids, Sizes);
        if (step == QLatin1String("TOP")) {
            f.server.reply("TOP 1 10\r\n", Refusal);
        } else if (step == QLatin1String("LIST n")) {
            f.server.reply("LIST 2\r\n", Refusal);
        } else if (step == QLatin1String("RETR")) {
            f.server.reply("LIST 2\r\n", "+OK 2 240\r\n");
            f.server.reply("RETR 2\r\n", Refusal);
        } else if (step == QLatin1String("DELE")) {
            f.server.reply("DELE 2\r\n", Refusal);
        }
        if (step == QLatin1String("RSET")) {
            f.server.expect("RSET \r\n").expect("QUIT \r\n");
            f.server.send(Refusal).send("+OK Logging out.\r\n").closeConnection();
        } else if (step == QLatin1String("QUIT")) {
            f.server.reply("QUIT \r\n", Refusal).closeConnection();
        } else {
            Pop3Scripts::logout(f.server);
        }
    }
    if (loginAgain) {
        // The recovery left "More>>" on the statistics button, so this login
        // does not fetch the size list by itself.
        f.server.acceptConnection();
        Pop3Scripts::login(f.server, "bob", "secret");
        Pop3Scripts::stat(f.server, 2, 360);
        Pop3Scripts::uidl(f.server, Ids);
        Pop3Scripts::logout(f.server);
    }

    kit::fillLogin(f.w, f.server.port());
    f.w.cmdLogin_Click();
    if (loginAgain || step == QLatin1String("PASS")) {
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        QVERIFY(f.w.prgProgress->isHidden());
        QVERIFY(f.w.cmdLogin->isEnabled());
        QCOMPARE(f.w.cmdLogin->text(), loginAgain ? QStringLiteral("Login") : QStringLiteral("Logout"));
        if (loginAgain) {
            f.w.cmdLogin_Click();
            QTRY_VERIFY(f.w.cmdLogin->text() == QLatin1String("Logout") && f.w.prgProgress->isHidden()
                        && f.w.cmdShow->isEnabled());
            QCOMPARE(f.w.cmdStats->text(), QStringLiteral("More >>"));
            QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("1 new mail(s)"));
        }
    } else {
        QTRY_VERIFY(f.w.cmdLogin->text() == QLatin1String("Logout") && f.w.prgProgress->isHidden()
                    && f.w.cmdLogin->isEnabled() && f.w.cmdShow->isEnabled());
    }

    if (step == QLatin1String("LIST")) {
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        QVERIFY(f.w.grdStats->isHidden());
        QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("1 new mail(s)"));
    } else if (step == QLatin1String("UIDL")) {
        QTRY_VERIFY(loggedInAndIdle(f.w));
        QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("2 new mail(s)"));
    } else if (step == QLatin1String("TOP")) {
        QTRY_VERIFY(loggedInAndIdle(f.w));
        f.w.cmdShow_Click();
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(f.w.grdMails->Rows(), 2);
    } else if (step == QLatin1String("LIST n") || step == QLatin1String("RETR")) {
        QTRY_VERIFY(loggedInAndIdle(f.w));
        kit::putMailRows(f.w, 2);
        kit::viewMail(f.w, 2);
        QTRY_COMPARE(f.boxes.boxes.size(), 2);
        QVERIFY(f.platform.calls.isEmpty());
    } else if (step == QLatin1String("DELE")) {
        QTRY_VERIFY(loggedInAndIdle(f.w));
        f.w.cboDelFrom->setEditText(QStringLiteral("2"));
        f.w.cboDelTill->setEditText(QStringLiteral("2"));
        f.w.cmdDelete_Click();
        QTRY_COMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(f.w.cmdDelete->text(), QStringLiteral("Delete"));
    } else if (step == QLatin1String("QUIT")) {
        QTRY_VERIFY(loggedInAndIdle(f.w));
        f.w.ckUpdtChanges->setChecked(true); // QUIT alone
    }
    QTRY_VERIFY(f.w.prgProgress->isHidden());
    // Whatever was refused, the window is usable: Logout works.
    QVERIFY(f.w.cmdLogin->isEnabled());
    QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
    f.w.cmdLogin_Click();
    QTRY_VERIFY(f.server.isFinished());
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    expectLoggedOut(f.w);
    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(f.boxes.texts(), texts);
    QCOMPARE(kit::readFile(StoreName), store);
    QVERIFY(!QFile::exists(f.messageFile()));
}

void TestHostilePop3::garbageInsteadOfAReply_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<quint32>("seed");
    for (const char *step : {"greeting", "USER", "STAT", "UIDL", "LIST", "TOP", "RETR"})
        for (quint32 seed : {1u, 2u})
            QTest::addRow("%s, seed %u", step, seed) << QString::fromLatin1(step) << seed;
}

void TestHostilePop3::garbageInsteadOfAReply()
{
    // 64 KiB of anything, then the server hangs up: whatever the window made
    // of the bytes, it ends logged out, said only what it can say, and its
    // store lost nothing.
    QFETCH(QString, step);
    QFETCH(quint32, seed);
    WindowFixture f;
    const QByteArray noise = garbage(64 * 1024, seed);
    if (step == QLatin1String("greeting")) {
        f.server.send(noise);
    } else if (step == QLatin1String("USER")) {
        Pop3Scripts::greetingWithoutCapa(f.server);
        f.server.expect("USER bob\r\n").send(noise);
    } else if (step == QLatin1String("STAT")) {
        Pop3Scripts::login(f.server, "bob", "secret");
        f.server.expect("STAT \r\n").send(noise);
    } else if (step == QLatin1String("UIDL")) {
        Pop3Scripts::login(f.server, "bob", "secret");
        Pop3Scripts::stat(f.server, 2, 360);
        f.server.expect("UIDL \r\n").send("+OK\r\n" + noise);
    } else if (step == QLatin1String("LIST")) {
        Pop3Scripts::login(f.server, "bob", "secret");
        Pop3Scripts::stat(f.server, 2, 360);
        Pop3Scripts::uidl(f.server, Ids);
        f.server.expect("LIST \r\n").send("+OK\r\n" + noise);
    } else {
        Pop3Scripts::session(f.server, "bob", "secret", Ids, Sizes);
        if (step == QLatin1String("TOP")) {
            f.server.expect("TOP 1 10\r\n").send("+OK\r\n" + noise);
        } else {
            f.server.reply("LIST 2\r\n", "+OK 2 240\r\n");
            f.server.expect("RETR 2\r\n").send("+OK\r\n" + noise);
        }
    }
    f.server.closeConnection();

    f.w.setReplyTimeout(2000);
    kit::fillLogin(f.w, f.server.port());
    f.w.cmdLogin_Click();
    if (step == QLatin1String("TOP") || step == QLatin1String("RETR")) {
        QTRY_VERIFY(loggedInAndIdle(f.w));
        if (step == QLatin1String("TOP")) {
            f.w.cmdShow_Click();
        } else {
            kit::putMailRows(f.w, 2);
            kit::viewMail(f.w, 2);
        }
    }
    QTRY_VERIFY(f.server.isFinished());
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    expectLoggedOut(f.w);
    QVERIFY(f.w.cmdShow->text() == QLatin1String("Show") && f.w.cmdDelete->text() == QLatin1String("Delete"));
    for (const QString &text : f.boxes.texts())
        QVERIFY2(isKnownBox(text), qPrintable(text.left(200)));
    const QByteArray store = kit::readFile(StoreName);
    QVERIFY2(storeFault(store, KnownStore).isEmpty(), qPrintable(storeFault(store, KnownStore)));
}

void TestHostilePop3::megabyteLines_data()
{
    QTest::addColumn<QString>("step");
    QTest::newRow("STAT line") << "STAT";
    QTest::newRow("size list line") << "LIST";
    QTest::newRow("header line in TOP") << "TOP";
    QTest::newRow("body line in RETR") << "RETR";
}

void TestHostilePop3::megabyteLines()
{
    QFETCH(QString, step);
    WindowFixture f;
    const QByteArray mega(1 << 20, 'm');
    const QByteArray mail = "From: Ann <a@example.com>\r\nSubject: " + mega + "\r\n\r\n." + mega + "\r\nend\r\n";
    Pop3Scripts::login(f.server, "bob", "secret");
    if (step == QLatin1String("STAT"))
        f.server.reply("STAT \r\n", "+OK 2 360 " + mega + "\r\n");
    else
        Pop3Scripts::stat(f.server, 2, 360);
    Pop3Scripts::uidl(f.server, Ids);
    if (step == QLatin1String("LIST"))
        f.server.reply("LIST \r\n", "+OK\r\n1 120\r\n2 " + mega + "\r\n.\r\n");
    else
        Pop3Scripts::list(f.server, {120, mail.size()});
    if (step == QLatin1String("TOP")) {
        f.server.reply("TOP 2 10\r\n", ScriptedPop3Server::chunksOf(kit::retrReply(mail), 65536));
    } else if (step == QLatin1String("RETR")) {
        f.server.reply("LIST 2\r\n", "+OK 2 " + QByteArray::number(mail.size()) + "\r\n");
        f.server.reply("RETR 2\r\n", ScriptedPop3Server::chunksOf(kit::retrReply(mail), 65536));
    }
    Pop3Scripts::logout(f.server);

    QVERIFY(f.login());
    QCOMPARE(f.w.lblMails->text(), QStringLiteral("2"));
    QCOMPARE(f.w.lblMailSize->text(), QStringLiteral("360"));
    QCOMPARE(f.w.grdStats->TextMatrix(2, 0), QStringLiteral("2"));
    QCOMPARE(f.w.grdStats->TextMatrix(2, 1),
             step == QLatin1String("LIST") ? QString::fromLatin1(mega) : QString::number(mail.size()));
    if (step == QLatin1String("TOP")) {
        f.w.cboFrom->setEditText(QStringLiteral("2"));
        f.w.cmdShow_Click();
        QTRY_COMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(f.w.grdMails->Rows(), 3);
        QCOMPARE(f.w.grdMails->TextMatrix(2, 2), QLatin1Char(' ') + QString::fromLatin1(mega));
        QCOMPARE(f.w.grdMails->TextMatrix(2, 4), QString::number(mail.size()));
    } else if (step == QLatin1String("RETR")) {
        kit::putMailRows(f.w, 2);
        kit::viewMail(f.w, 2);
        QTRY_VERIFY(!kit::session(f.w).bListForView() && f.w.prgProgress->isHidden());
        QCOMPARE(kit::readFile(f.messageFile()), mail);
    }
    QTRY_VERIFY(f.w.prgProgress->isHidden());
    f.w.cmdLogin_Click();
    QTRY_VERIFY(f.server.isFinished());
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    expectLoggedOut(f.w);
    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(kit::readFile(StoreName), StoreAfterSession);
    for (const QString &text : f.boxes.texts())
        QVERIFY2(text == ConfirmLogout || text.startsWith(QLatin1String("From:")), qPrintable(text.left(200)));
}

void TestHostilePop3::absurdFigures_data()
{
    // What the server claims against what it lists: a count far beyond its
    // listing, counts and sizes no number type holds, negative figures.
    QTest::addColumn<QByteArray>("stat");
    QTest::addColumn<QByteArray>("listOne"); // reply to LIST 1 when viewing
    QTest::addColumn<bool>("hasMails");
    QTest::newRow("two billion mails") << QByteArray("+OK 2000000000 360\r\n") << QByteArray("+OK 1 120\r\n") << true;
    QTest::newRow("count beyond any integer") << QByteArray("+OK 99999999999999999999 1e300\r\n")
                                              << QByteArray("+OK 1 99999999999999999999\r\n") << true;
    QTest::newRow("count 1e300") << QByteArray("+OK 1e300 -1\r\n") << QByteArray("+OK 1 1e300\r\n") << true;
    QTest::newRow("negative count") << QByteArray("+OK -5 -360\r\n") << QByteArray() << false;
    QTest::newRow("hexadecimal count") << QByteArray("+OK &HFFFFFFFF 0\r\n") << QByteArray("+OK 1 -120\r\n")
                                       << true;
}

void TestHostilePop3::absurdFigures()
{
    QFETCH(QByteArray, stat);
    QFETCH(QByteArray, listOne);
    QFETCH(bool, hasMails);
    WindowFixture f;
    const QByteArray mail = "From: a@example.com\r\nSubject: one\r\n\r\nbody\r\n";
    Pop3Scripts::login(f.server, "bob", "secret");
    f.server.reply("STAT \r\n", stat);
    Pop3Scripts::uidl(f.server, {QStringLiteral("known1")});
    if (hasMails) {
        Pop3Scripts::list(f.server, {mail.size()});
        f.server.reply("LIST 1\r\n", listOne);
        f.server.reply("RETR 1\r\n", kit::retrReply(mail));
    }
    Pop3Scripts::logout(f.server);

    kit::fillLogin(f.w, f.server.port());
    f.w.cmdLogin_Click();
    if (hasMails) {
        QTRY_VERIFY(loggedInAndIdle(f.w));
        QCOMPARE(f.w.lblMails->text(), QString::fromLatin1(stat.split(' ').at(1)));
        QCOMPARE(f.w.cboFrom->currentText(), QStringLiteral("1"));
        QCOMPARE(f.w.grdStats->Rows(), 2);
        kit::putMailRows(f.w, 1);
        kit::viewMail(f.w, 1);
        QTRY_VERIFY(!kit::session(f.w).bListForView() && f.w.prgProgress->isHidden());
        QCOMPARE(kit::readFile(f.messageFile()), mail);
    } else {
        QTRY_COMPARE(f.boxes.texts(), QStringList{QStringLiteral("No mails in mailbox")});
        QVERIFY(f.w.fraRetrieval->isHidden());
        QCOMPARE(f.w.cboTill->count(), 0);
    }
    f.w.cmdLogin_Click();
    QTRY_VERIFY(f.server.isFinished());
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    expectLoggedOut(f.w);
    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(kit::readFile(StoreName), KnownStore);
}

void TestHostilePop3::missingFields_data()
{
    QTest::addColumn<QByteArray>("stat");
    QTest::addColumn<QByteArray>("listOne");
    QTest::addColumn<QString>("mails");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QByteArray>("retrLine"); // what the window asks for then
    QTest::newRow("STAT without size, LIST n without size")
        << QByteArray("+OK 2\r\n") << QByteArray("+OK 2\r\n") << "2" << "" << QByteArray("RETR 2\r\n");
    QTest::newRow("STAT of blanks, LIST n of blanks")
        << QByteArray("+OK  2  \r\n") << QByteArray("+OK  \r\n") << "" << "2" << QByteArray("RETR 0\r\n");
    QTest::newRow("LIST n without number and size")
        << QByteArray("+OK 2 360\r\n") << QByteArray("+OK\r\n") << "2" << "360" << QByteArray("RETR 0\r\n");
}

void TestHostilePop3::missingFields()
{
    // Nothing to guess from, the window asks for mail 0 and the server's
    // refusal is reported; it never writes a message file it did not get.
    QFETCH(QByteArray, stat);
    QFETCH(QByteArray, listOne);
    QFETCH(QString, mails);
    QFETCH(QString, size);
    QFETCH(QByteArray, retrLine);
    WindowFixture f;
    const QByteArray mail = "From: a@example.com\r\nSubject: two\r\n\r\nbody\r\n";
    Pop3Scripts::login(f.server, "bob", "secret");
    f.server.reply("STAT \r\n", stat);
    Pop3Scripts::uidl(f.server, Ids);
    const bool listed = !mails.isEmpty();
    if (listed)
        Pop3Scripts::list(f.server, Sizes);
    f.server.reply("LIST 2\r\n", listOne);
    const bool refused = retrLine == "RETR 0\r\n";
    f.server.reply(retrLine, refused ? QByteArray("-ERR No such message\r\n") : kit::retrReply(mail));
    Pop3Scripts::logout(f.server);

    kit::fillLogin(f.w, f.server.port());
    f.w.cmdLogin_Click();
    if (listed)
        QTRY_VERIFY(loggedInAndIdle(f.w));
    else
        QTRY_COMPARE(f.boxes.texts(), QStringList{QStringLiteral("No mails in mailbox")});
    QCOMPARE(f.w.lblMails->text(), mails);
    QCOMPARE(f.w.lblMailSize->text(), size);
    f.boxes.clear();
    kit::putMailRows(f.w, 2);
    kit::viewMail(f.w, 2);
    QTRY_VERIFY(f.w.prgProgress->isHidden() && f.w.cmdLogin->isEnabled());
    const QString file = f.messageFile();
    if (refused) {
        QTRY_COMPARE(f.boxes.texts().size(), 2);
        QCOMPARE(f.boxes.texts().at(1), QStringLiteral("Server error\r\n-ERR No such message\r\n"));
        QVERIFY(!QFile::exists(file));
    } else {
        QTRY_VERIFY(!kit::session(f.w).bListForView());
        QCOMPARE(kit::readFile(file), mail);
    }
    f.w.cmdLogin_Click();
    QTRY_VERIFY(f.server.isFinished());
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    expectLoggedOut(f.w);
    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(kit::readFile(StoreName), StoreAfterSession);
}

void TestHostilePop3::hundredThousandMails()
{
    constexpr int Count = 100000;
    WindowFixture f;
    // Every tenth mail has been seen before.
    QByteArray stored;
    QStringList ids;
    QList<qint64> sizes;
    for (int n = 1; n <= Count; ++n) {
        ids << QStringLiteral("%1").arg(n, 16, 16, QLatin1Char('0'));
        sizes << 1000 + n % 977;
        if (n % 10 == 0)
            stored += ids.last().toLatin1() + "\r\n";
    }
    QVERIFY(kit::writeFile(StoreName, stored));
    qint64 total = 0;
    for (qint64 size : sizes)
        total += size;

    Pop3Scripts::login(f.server, "bob", "secret");
    f.server.reply("STAT \r\n", "+OK 100000 " + QByteArray::number(total) + "\r\n");
    // Dovecot writes in pieces of about 4 KiB.
    f.server.reply("UIDL \r\n", ScriptedPop3Server::chunksOf(Pop3Scripts::uidlReply(ids), 4096));
    f.server.reply("LIST \r\n", ScriptedPop3Server::chunksOf(Pop3Scripts::listReply(sizes), 4096));
    f.server.reply("TOP 99999 10\r\n", "+OK\r\nFrom: new@example.com\r\nSubject: a new one\r\n\r\n.\r\n");
    f.server.reply("TOP 100000 10\r\n", "+OK\r\nFrom: last@example.com\r\nSubject: the last\r\n\r\n.\r\n");
    Pop3Scripts::logout(f.server);

    QVERIFY(f.login(100000));
    QCOMPARE(f.w.lblMails->text(), QStringLiteral("100000"));
    QCOMPARE(f.w.lblMailSize->text(), QString::number(total));
    QCOMPARE(f.w.lblTotalMails->text(), QStringLiteral("Total 100000 mails"));
    QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("90000 new mail(s)"));
    QCOMPARE(kit::session(f.w).colNewMails()->size(), 90000);
    QCOMPARE(kit::session(f.w).colNewMails()->last(), QStringLiteral("99999"));
    QCOMPARE(f.w.cboTill->currentText(), QStringLiteral("100000"));
    QCOMPARE(f.w.cboDelTill->count(), Count);
    QCOMPARE(f.w.grdStats->Rows(), Count + 1);
    QCOMPARE(f.w.grdStats->TextMatrix(Count, 0), QStringLiteral("100000"));
    QCOMPARE(f.w.grdStats->TextMatrix(Count, 1), QString::number(sizes.last()));

    f.w.cboFrom->setEditText(QStringLiteral("99999"));
    f.w.cmdShow_Click();
    QTRY_COMPARE_WITH_TIMEOUT(f.w.cmdShow->text(), QStringLiteral("Show"), 30000);
    QCOMPARE(f.w.grdMails->Rows(), 4);
    QCOMPARE(f.w.grdMails->TextMatrix(2, 2), QStringLiteral(" a new one"));
    QCOMPARE(f.w.grdMails->TextMatrix(3, 2), QStringLiteral(" the last"));
    QCOMPARE(f.w.grdMails->TextMatrix(3, 4), QString::number(sizes.last()));
    const QColor blue(0, 0, 255);
    QCOMPARE(f.w.grdMails->CellForeColor(2, 0), blue);
    QVERIFY(f.w.grdMails->CellForeColor(3, 0) != blue); // seen before

    f.w.cmdLogin_Click();
    QTRY_VERIFY(f.server.isFinished());
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    QCOMPARE(f.server.mismatches(), QStringList());
    QByteArray expected;
    for (int n = 10; n <= Count; n += 10)
        expected += ids.at(n - 1).toLatin1() + "\r\n";
    for (int n = 1; n <= Count; ++n)
        if (n % 10 != 0)
            expected += ids.at(n - 1).toLatin1() + "\r\n";
    QCOMPARE(kit::readFile(StoreName), expected);
    QVERIFY(f.boxes.texts() == QStringList{ConfirmLogout});
}

void TestHostilePop3::serverClosesInTheMiddle_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QByteArray>("store");
    QTest::newRow("greeting") << "greeting" << KnownStore;
    QTest::newRow("CAPA list") << "CAPA" << KnownStore;
    QTest::newRow("reply to USER") << "USER" << KnownStore;
    QTest::newRow("STAT line") << "STAT" << KnownStore;
    QTest::newRow("size list") << "LIST" << StoreAfterSession;
    QTest::newRow("TOP") << "TOP" << StoreAfterSession;
    QTest::newRow("LIST n") << "LIST n" << StoreAfterSession;
    QTest::newRow("reply to RSET at logout") << "RSET" << StoreAfterSession;
}

void TestHostilePop3::serverClosesInTheMiddle()
{
    QFETCH(QString, step);
    QFETCH(QByteArray, store);
    WindowFixture f;
    if (step == QLatin1String("greeting")) {
        f.server.send("+OK Dove");
    } else if (step == QLatin1String("CAPA")) {
        Pop3Scripts::greeting(f.server);
        f.server.expect("CAPA\r\n").send("+OK\r\nTOP\r\nUID");
    } else if (step == QLatin1String("USER")) {
        Pop3Scripts::greetingWithoutCapa(f.server);
        f.server.expect("USER bob\r\n");
    } else if (step == QLatin1String("STAT")) {
        Pop3Scripts::login(f.server, "bob", "secret");
        f.server.expect("STAT \r\n").send("+OK 2 3");
    } else if (step == QLatin1String("LIST")) {
        Pop3Scripts::login(f.server, "bob", "secret");
        Pop3Scripts::stat(f.server, 2, 360);
        Pop3Scripts::uidl(f.server, Ids);
        f.server.expect("LIST \r\n").send("+OK\r\n1 120\r\n2 24");
    } else {
        Pop3Scripts::session(f.server, "bob", "secret", Ids, Sizes);
        if (step == QLatin1String("TOP"))
            f.server.expect("TOP 1 10\r\n").send("+OK\r\nFrom: a@example.com\r\nSubject: cut\r");
        else if (step == QLatin1String("LIST n"))
            f.server.expect("LIST 2\r\n").send("+OK 2 2");
        else
            f.server.expect("RSET \r\n").expect("QUIT \r\n").send("+O");
    }
    f.server.closeConnection();

    kit::fillLogin(f.w, f.server.port());
    f.w.cmdLogin_Click();
    if (step == QLatin1String("TOP") || step == QLatin1String("LIST n") || step == QLatin1String("RSET")) {
        QTRY_VERIFY(loggedInAndIdle(f.w));
        if (step == QLatin1String("TOP")) {
            f.w.cmdShow_Click();
        } else if (step == QLatin1String("LIST n")) {
            kit::putMailRows(f.w, 2);
            kit::viewMail(f.w, 2);
        } else {
            f.w.cmdLogin_Click();
        }
    }
    QTRY_VERIFY(f.server.isFinished());
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    expectLoggedOut(f.w);
    QCOMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
    QVERIFY(!kit::session(f.w).bListForView());
    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(kit::readFile(StoreName), store);
    for (const QString &text : f.boxes.texts())
        QVERIFY2(text == ConfirmLogout || text.startsWith(QLatin1String("From:")), qPrintable(text));
    QVERIFY(f.platform.calls.isEmpty());
}

void TestHostilePop3::serverNeverAnswers_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QByteArray>("store");
    QTest::newRow("no greeting") << "greeting" << KnownStore;
    QTest::newRow("CAPA") << "CAPA" << KnownStore;
    QTest::newRow("USER") << "USER" << KnownStore;
    QTest::newRow("PASS") << "PASS" << KnownStore;
    QTest::newRow("STAT") << "STAT" << KnownStore;
    QTest::newRow("half a UIDL listing") << "UIDL" << KnownStore;
    QTest::newRow("LIST") << "LIST" << StoreAfterSession;
    QTest::newRow("LIST n") << "LIST n" << StoreAfterSession;
    QTest::newRow("half a RETR") << "RETR" << StoreAfterSession;
    QTest::newRow("RSET and QUIT at logout") << "RSET" << StoreAfterSession;
    QTest::newRow("a megabyte without a line end") << "mega" << KnownStore;
}

void TestHostilePop3::serverNeverAnswers()
{
    QFETCH(QString, step);
    QFETCH(QByteArray, store);
    WindowFixture f;
    if (step == QLatin1String("greeting")) {
        // connected, and then nothing
    } else if (step == QLatin1String("CAPA")) {
        Pop3Scripts::greeting(f.server);
        f.server.expect("CAPA\r\n");
    } else if (step == QLatin1String("USER")) {
        Pop3Scripts::greetingWithoutCapa(f.server);
        f.server.expect("USER bob\r\n");
    } else if (step == QLatin1String("PASS")) {
        Pop3Scripts::greetingWithoutCapa(f.server);
        f.server.reply("USER bob\r\n", "+OK\r\n").expect("PASS secret\r\n");
    } else if (step == QLatin1String("STAT")) {
        Pop3Scripts::login(f.server, "bob", "secret");
        f.server.expect("STAT \r\n");
    } else if (step == QLatin1String("UIDL")) {
        Pop3Scripts::login(f.server, "bob", "secret");
        Pop3Scripts::stat(f.server, 2, 360);
        f.server.expect("UIDL \r\n").send("+OK\r\n1 known1\r\n2 fresh2\r\n");
    } else if (step == QLatin1String("mega")) {
        Pop3Scripts::login(f.server, "bob", "secret");
        f.server.expect("STAT \r\n").send(ScriptedPop3Server::chunksOf("+OK 2 " + QByteArray(1 << 20, '7'), 65536));
    } else if (step == QLatin1String("LIST")) {
        Pop3Scripts::login(f.server, "bob", "secret");
        Pop3Scripts::stat(f.server, 2, 360);
        Pop3Scripts::uidl(f.server, Ids);
        f.server.expect("LIST \r\n");
    } else {
        Pop3Scripts::session(f.server, "bob", "secret", Ids, Sizes);
        if (step == QLatin1String("LIST n")) {
            f.server.expect("LIST 2\r\n");
        } else if (step == QLatin1String("RETR")) {
            f.server.reply("LIST 2\r\n", "+OK 2 240\r\n");
            f.server.expect("RETR 2\r\n").send("+OK\r\nFrom: a@example.com\r\n");
        } else {
            f.server.expect("RSET \r\n").expect("QUIT \r\n");
        }
    }

    f.w.setReplyTimeout(300);
    kit::fillLogin(f.w, f.server.port());
    f.w.cmdLogin_Click();
    const bool loggedIn = step == QLatin1String("LIST n") || step == QLatin1String("RETR") || step == QLatin1String("RSET");
    QStringList texts{SilentBox};
    if (loggedIn) {
        QTRY_VERIFY(loggedInAndIdle(f.w));
        if (step == QLatin1String("RSET")) {
            f.w.cmdLogin_Click();
            texts.prepend(ConfirmLogout);
        } else {
            kit::putMailRows(f.w, 2);
            kit::viewMail(f.w, 2);
            texts.prepend(QStringLiteral("From: Sender 2\r\nSubject: Subject 2\r\nWant to View?"));
        }
    }
    QTRY_COMPARE(f.boxes.texts(), texts);
    QCOMPARE(f.boxes.boxes.last().icon, MsgIcon::Exclamation);
    QTRY_VERIFY(f.server.isFinished());
    expectLoggedOut(f.w);
    QCOMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
    QVERIFY(!kit::session(f.w).bListForView());
    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(kit::readFile(StoreName), store);
    QVERIFY(f.platform.calls.isEmpty());
}

void TestHostilePop3::floodNeverEnds_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QByteArray>("flood");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QByteArray>("store");

    const QString closed = QStringLiteral("\r\nThe connection has been closed.");
    const QString line = QStringLiteral("The mail server sent a line longer than 65536 bytes.") + closed;
    const QString reply = QStringLiteral("The mail server sent a reply longer than 262144 bytes.") + closed;
    const QString listing = QStringLiteral("The mail server sent a reply longer than 1048576 bytes.") + closed;
    QTest::newRow("a greeting that never ends its line") << "greeting" << QByteArray(4096, '+') << line << KnownStore;
    QTest::newRow("a capability list that never ends")
        << "CAPA" << QByteArray("X-CAPABILITY\r\n").repeated(256) << reply << KnownStore;
    QTest::newRow("an id listing that never ends")
        << "UIDL" << QByteArray("1 0123456789abcdef\r\n").repeated(200) << listing << KnownStore;
    QTest::newRow("a size list that never ends")
        << "LIST" << QByteArray("1 120\r\n").repeated(500) << listing << StoreAfterSession;
    QTest::newRow("a header that never ends")
        << "TOP" << QByteArray("X-Header: x\r\n").repeated(300) << reply << StoreAfterSession;
    QTest::newRow("a header line that never ends") << "TOP" << QByteArray(4096, 'h') << line << StoreAfterSession;
}

void TestHostilePop3::floodNeverEnds()
{
    // The server writes as fast as the window reads, for ever: the window
    // stops at its limit, says so and closes the connection.
    QFETCH(QString, step);
    QFETCH(QByteArray, flood);
    QFETCH(QString, box);
    QFETCH(QByteArray, store);
    WindowFixture f;
    scriptUpTo(f.server, step);
    f.server.sendForever(flood);
    f.w.setReplyLimits(FloodLimits);

    runUpTo(f, step);
    QTRY_COMPARE(f.boxes.texts(), QStringList{box});
    QCOMPARE(f.boxes.boxes.last().icon, MsgIcon::Exclamation);
    QTRY_VERIFY(f.server.isFinished()); // the window hung up
    expectLoggedOut(f.w);
    QVERIFY(f.server.foreverBytes() > FloodLimits.lineBytes);
    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(kit::readFile(StoreName), store);
}

void TestHostilePop3::trickleNeverEnds_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QByteArray>("trickle");
    QTest::addColumn<QByteArray>("store");
    QTest::newRow("a greeting a byte at a time") << "greeting" << QByteArray("+") << KnownStore;
    QTest::newRow("a capability list a line at a time") << "CAPA" << QByteArray("X\r\n") << KnownStore;
    QTest::newRow("an id listing a line at a time") << "UIDL" << QByteArray("1 a\r\n") << KnownStore;
    QTest::newRow("a mail a line at a time") << "RETR" << QByteArray("line\r\n") << StoreAfterSession;
}

void TestHostilePop3::trickleNeverEnds()
{
    // A sign of life every 50 ms keeps the wait for silence from ever
    // ending; the time the whole reply may take ends it. Octets that come
    // below the minimum rate earn next to no time.
    QFETCH(QString, step);
    QFETCH(QByteArray, trickle);
    QFETCH(QByteArray, store);
    WindowFixture f;
    scriptUpTo(f.server, step);
    f.server.setChunkInterval(50);
    f.server.sendForever(trickle);
    f.w.setReplyTimeout(5000);
    f.w.setReplyDeadline(2000, 1024 * 1024);

    runUpTo(f, step);
    QStringList texts{QStringLiteral("The mail server did not finish its reply within 2 seconds.\r\n"
                                     "The connection has been closed.")};
    if (step == QLatin1String("RETR"))
        texts.prepend(QStringLiteral("From: Sender 2\r\nSubject: Subject 2\r\nWant to View?"));
    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.texts(), texts, 10000);
    QTRY_VERIFY(f.server.isFinished());
    expectLoggedOut(f.w);
    QVERIFY(!kit::session(f.w).bListForView());
    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(kit::readFile(StoreName), store);
    QVERIFY(f.platform.calls.isEmpty());
}

void TestHostilePop3::slowListingAboveTheMinimumRate()
{
    // About 720 octets of ids, ten every 50 ms: over three seconds, longer
    // than the two a short reply may take, but at 200 octets a second, well
    // above the minimum rate of 20: a slow link, not a hostile server.
    WindowFixture f;
    QStringList ids;
    for (int n = 1; n <= 60; ++n)
        ids << QStringLiteral("id%1").arg(n, 5, 10, QLatin1Char('0'));
    QList<qint64> sizes(60, 100);
    Pop3Scripts::login(f.server, "bob", "secret");
    Pop3Scripts::stat(f.server, 60, 6000);
    const QByteArray listing = Pop3Scripts::uidlReply(ids);
    QVERIFY(listing.size() > 700);
    f.server.reply("UIDL \r\n", ScriptedPop3Server::chunksOf(listing, 10));
    Pop3Scripts::list(f.server, sizes);
    f.server.setChunkInterval(50);
    f.w.setReplyTimeout(5000);
    f.w.setReplyDeadline(2000, 20);

    QVERIFY(f.login());
    QCOMPARE(f.w.lblNewMails->text(), QStringLiteral("60 new mail(s)"));
    QCOMPARE(f.boxes.texts(), QStringList());
    QCOMPARE(f.server.mismatches(), QStringList());
}

void TestHostilePop3::commandAnsweredTwiceByAServerGone_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<bool>("answerHandled");
    QTest::newRow("STAT, whose handler asks for the ids") << "STAT" << true;
    // The refusal ended the sweep: the answer belongs to no TOP out, and
    // the hang-up then finds the window idle.
    QTest::newRow("TOP, after which no header is asked for") << "TOP" << false;
}

void TestHostilePop3::commandAnsweredTwiceByAServerGone()
{
    // A refusal, then an answer all the same, then the server hangs up while
    // the refusal's box is open. Where the answer is taken, its handler
    // sends the next command first; that fails, the window is reset, and
    // nothing of the answer may be filled in after the reset.
    QFETCH(QString, step);
    QFETCH(bool, answerHandled);
    WindowFixture f;
    if (step == QLatin1String("STAT")) {
        Pop3Scripts::login(f.server, "bob", "secret");
        f.server.expect("STAT \r\n");
    } else {
        Pop3Scripts::session(f.server, "bob", "secret", Ids, Sizes);
        f.server.expect("TOP 1 10\r\n");
    }
    f.server.send("-ERR Not yet\r\n+OK 2 360\r\n").closeConnection();
    f.boxes.holdOpen(QStringLiteral("Server error"),
                     [&] { return f.w.sockPOP3->State() == TcpClientSocket::sckClosing; });

    runUpTo(f, step);
    QStringList boxes{QStringLiteral("Server error\r\n-ERR Not yet\r\n")};
    if (answerHandled)
        boxes << LostBox;
    QTRY_COMPARE(f.boxes.texts(), boxes);
    QTRY_COMPARE(f.w.sockPOP3->State(), TcpClientSocket::sckClosed);
    QVERIFY(f.boxes.heldTooLong.isEmpty());
    expectLoggedOut(f.w);
    QCOMPARE(f.w.grdMails->Rows(), 2);
    QVERIFY(f.w.lblTotalMails->isHidden() && f.w.lblNewMails->isHidden());
    QCOMPARE(f.server.mismatches(), QStringList());
}

void TestHostilePop3::markupStaysText_data()
{
    QTest::addColumn<QString>("step");
    QTest::newRow("a sender and subject in the view question") << "TOP";
    QTest::newRow("a refusal in the error box") << "-ERR";
    QTest::newRow("figures in the statistics labels") << "STAT";
}

void TestHostilePop3::markupStaysText()
{
    // Markup from a server or a mail is shown as the characters it is: no
    // link to click, no banner, no 400 by 400 picture, no bold count, in
    // the real boxes and labels.
    QFETCH(QString, step);
    const QByteArray picture = "<img src=\"x.png\" width=\"400\" height=\"400\">";
    WindowFixture f;
    RealMessageBoxes real;
    QByteArray shown;
    if (step == QLatin1String("STAT")) {
        Pop3Scripts::login(f.server, "bob", "secret");
        f.server.reply("STAT \r\n", "+OK <b>7</b> <font_color=red>360</font>\r\n");
        Pop3Scripts::uidl(f.server, {});
    } else {
        Pop3Scripts::session(f.server, "bob", "secret", Ids, Sizes);
        if (step == QLatin1String("TOP")) {
            shown = "From: <b>Boss</b>\r\nSubject: <a href=\"http://example.com/\">click</a>" + picture;
            f.server.reply("TOP 1 10\r\n", "+OK\r\n" + shown + "\r\n\r\n.\r\n");
        } else {
            shown = "-ERR <font color=\"red\" size=\"7\">BANNER</font>" + picture;
            f.server.reply("TOP 1 10\r\n", shown + "\r\n");
        }
    }

    kit::fillLogin(f.w, f.server.port());
    f.w.cmdLogin_Click();
    QTRY_VERIFY(kit::loggedInAndIdle(f.w) || (step == QLatin1String("STAT") && real.boxes.size() == 1));
    if (step == QLatin1String("STAT")) {
        // A count that is no number is no mail.
        QCOMPARE(real.texts(), QStringList{"No mails in mailbox"});
        QCOMPARE(f.w.lblMails->text(), QStringLiteral("<b>7</b>"));
        QCOMPARE(f.w.lblMailSize->text(), QStringLiteral("<font_color=red>360</font>"));
        for (const QLabel *label : {f.w.lblMails, f.w.lblMailSize, f.w.lblTotalMails, f.w.lblNewMails, f.w.lblProgress})
            QVERIFY2(kit::showsPlainText(label), qPrintable(label->objectName()));
        return;
    }
    f.w.cboTill->setEditText(QStringLiteral("1"));
    f.w.cmdShow_Click();
    if (step == QLatin1String("TOP")) {
        QTRY_COMPARE(f.w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(kit::column(f.w.grdMails, 2),
                 QStringList{QStringLiteral(" <a href=\"http://example.com/\">click</a>") + QString::fromLatin1(picture)});
        kit::viewMail(f.w, 1); // answered No
    }
    QTRY_COMPARE(real.boxes.size(), 1);
    const RealMessageBoxes::Box box = real.boxes.first();
    QVERIFY2(box.text.contains(QString::fromLatin1(picture)), qPrintable(box.text));
    QVERIFY(box.plainText);
    QVERIFY2(box.textHeight < 200, QByteArray::number(box.textHeight).constData());
    QCOMPARE(f.server.mismatches(), QStringList());
}

QTEST_MAIN(TestHostilePop3)
#include "test_hostile_pop3.moc"
