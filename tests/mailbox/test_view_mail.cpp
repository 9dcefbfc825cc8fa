// Viewing a complete mail through the real window: the question, LIST n and
// RETR n against a scripted POP3 server with the byte progress, the message
// file's exact octets and its folder, the choice of viewer, the selection
// rules, and the HTTPMail view against the in-process HTTPMail server.

#include "base/ProgressMath.h"
#include "FakeDesktop.h"
#include "frmMainTestAccess.h"
#include "httpmail/clsHotmail.h"
#include "mailbox/MessageFile.h"
#include "HttpMailServer.h"
#include "MessageBoxRecorder.h"
#include "net/TcpClientSocket.h"
#include "PlatformRecorder.h"
#include "Pop3Scripts.h"
#include "ScriptedPop3Server.h"
#include "window/FlexGrid.h"
#include "window/frmMain.h"
#include "window/modProgress.h"
#include "WindowTestKit.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString Question = QStringLiteral("Want to View?");
const QString NoSelection = QStringLiteral("No mail selected for Viewing");

QString dataFolderFile(const WindowRecorders &f)
{
    return QDir(f.dataDir.path()).filePath(QStringLiteral("test.eml"));
}

// The folders a viewed mail may go to, as a message names them.
QString messageFolders(const WindowRecorders &f)
{
    QStringList folders;
    for (const QString &folder : MessageFileFolders(f.programDir.path(), f.dataDir.path()))
        folders << QDir::toNativeSeparators(folder);
    return folders.join(QStringLiteral(" or in "));
}

// A mail of `size` octets or a little more, CR LF lines, every third line
// beginning with a dot.
QByteArray bigMail(int size, char fill)
{
    QByteArray mail = "From: big@example.com\r\nSubject: big\r\n\r\n";
    for (int line = 0; mail.size() < size; ++line)
        mail += (line % 3 == 0 ? "." : "") + QByteArray(60, fill) + "\r\n";
    return mail;
}

QByteArray listOneReply(int n, qint64 size)
{
    return "+OK " + QByteArray::number(n) + ' ' + QByteArray::number(size) + "\r\n";
}

void scriptView(ScriptedPop3Server &server, int n, const QByteArray &mail, const QList<QByteArray> &chunks = {})
{
    server.reply("LIST " + QByteArray::number(n) + "\r\n", listOneReply(n, mail.size()));
    server.expect("RETR " + QByteArray::number(n) + "\r\n");
    server.send(chunks.isEmpty() ? QList<QByteArray>{kit::retrReply(mail)} : chunks);
}

void scriptSession(ScriptedPop3Server &server, const QList<QByteArray> &mails)
{
    QStringList ids;
    QList<qint64> sizes;
    for (int i = 0; i < mails.size(); ++i) {
        ids << QStringLiteral("uid-%1").arg(i + 1);
        sizes << mails.at(i).size();
    }
    Pop3Scripts::session(server, "bob", "secret", ids, sizes);
}

QString questionFor(int n)
{
    return QStringLiteral("From: Sender %1\r\nSubject: Subject %1\r\n").arg(n) + Question;
}

const QByteArray PlainMail = "Return-Path: <a@example.com>\r\nFrom: Ann <a@example.com>\r\nSubject: hi\r\n\r\nHello Bob.\r\n";

// Logged in to a mailbox of the one plain mail, its row in the grid, and
// the server ready to hand it over for viewing.
bool loginToViewPlainMail(WindowFixture &f)
{
    scriptSession(f.server, {PlainMail});
    scriptView(f.server, 1, PlainMail);
    if (!f.login())
        return false;
    kit::putMailRows(f.w, 1);
    return true;
}

} // namespace

class TestViewMail : public QObject
{
    Q_OBJECT
private slots:
    void init() { kit::clearSavedState(); }

    void viewWritesTheMailItself_data();
    void viewWritesTheMailItself();
    void answeringNoTouchesNothing();
    void progressFollowsTheRetrBytes();
    void mailReachesATemporaryFileAsItArrives();
    void shorterMailLeavesNoTail();
    void unwritableProgramFolderUsesDataFolder_data();
    void unwritableProgramFolderUsesDataFolder();
    void nowhereToWriteIsReported();
    void startedFromTheSystemsFolder();
    void viewerChoice_data();
    void viewerChoice();
    void desktopTextViewerShowsTheMail_data();
    void desktopTextViewerShowsTheMail();
    void selectionRules_data();
    void selectionRules();
    void refusedRetrWritesNothing();
    void lostConnectionGivesTheWindowBack();
    void failedViewKeepsTheEarlierMail_data();
    void failedViewKeepsTheEarlierMail();
    void mailSomewhatLargerThanAnnouncedIsKept();

    void hotmailViewShowsTheMailAndMarksItRead_data();
    void hotmailViewShowsTheMailAndMarksItRead();
    void hotmailViewKeepsTheServersOctets_data();
    void hotmailViewKeepsTheServersOctets();
    void hotmailFailuresAreReported_data();
    void hotmailFailuresAreReported();
    void hotmailHeadingRowIsNoSelection();
};

void TestViewMail::viewWritesTheMailItself_data()
{
    QTest::addColumn<QByteArray>("mail");
    QTest::addColumn<int>("chunkSize"); // 0: the whole reply at once
    QTest::addColumn<QByteArray>("splitBefore"); // also cut just before this text
    QTest::addColumn<bool>("parserNotice");

    const QByteArray dots = "From: a@example.com\r\nSubject: dots\r\n\r\n.leading dot\r\n..two dots\r\n.\r\n"
                            "line\r\n. \r\n...\r\n";
    const QByteArray err = "From: a@example.com\r\nSubject: err\r\n\r\nfirst\r\n-ERR not a status line\r\n"
                           "+OK nor this\r\nlast\r\n";
    static const char octetsText[] = "From: a@example.com\r\nSubject: caf\xe9\r\n\r\n\x80\x81\xa0\xff\xfe\r\n"
                                     "nul \x00 inside\r\n\xe9t\xe9\r\n";
    const QByteArray octets(octetsText, sizeof(octetsText) - 1);
    QTest::newRow("plain, whole reply") << PlainMail << 0 << QByteArray() << false;
    QTest::newRow("dot-stuffed lines, whole") << dots << 0 << QByteArray() << false;
    QTest::newRow("dot-stuffed lines, byte by byte") << dots << 1 << QByteArray() << false;
    QTest::newRow("dot-stuffed line cut after its first dot") << dots << 0 << QByteArray(".\r\nline") << false;
    QTest::newRow("-ERR body line starts a chunk") << err << 0 << QByteArray("-ERR") << false;
    QTest::newRow("-ERR body line, 5-byte chunks") << err << 5 << QByteArray() << false;
    QTest::newRow("8-bit octets and NUL") << octets << 7 << QByteArray() << false;
    QTest::newRow("terminator cut between CR and LF") << PlainMail << 0 << QByteArray("\n.\r\n") << false;
    QTest::newRow("no empty line: headers only") << QByteArray("From: a@example.com\r\nSubject: no body\r\n") << 0
                                                 << QByteArray() << true;
    QTest::newRow("large mail, 4 KiB chunks") << bigMail(300000, 'x') << 4096 << QByteArray() << false;
}

void TestViewMail::viewWritesTheMailItself()
{
    QFETCH(QByteArray, mail);
    QFETCH(int, chunkSize);
    QFETCH(QByteArray, splitBefore);
    QFETCH(bool, parserNotice);

    WindowFixture f;
    const QList<QByteArray> mails{PlainMail, mail};
    scriptSession(f.server, mails);
    const QByteArray reply = kit::retrReply(mail);
    QList<QByteArray> chunks = chunkSize > 0 ? ScriptedPop3Server::chunksOf(reply, chunkSize) : QList<QByteArray>{reply};
    if (!splitBefore.isEmpty()) {
        const int at = int(reply.indexOf(splitBefore, reply.indexOf("\r\n\r\n")));
        QVERIFY(at > 0);
        chunks = ScriptedPop3Server::splitAt(reply, {at});
    }
    scriptView(f.server, 2, mail, chunks);

    QVERIFY(f.login());
    kit::putMailRows(f.w, int(mails.size()));
    kit::selectCell(f.w, 3);
    const int linesBefore = int(f.server.receivedLines().size());

    f.w.mnuCompleteMail->trigger();
    QVERIFY(!f.w.cmdLogin->isEnabled()); // the controls wait for the mail
    QVERIFY(kit::viewDone(f.w));

    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(f.server.receivedLines().mid(linesBefore), (QList<QByteArray>{"LIST 2\r\n", "RETR 2\r\n"}));
    const QString path = f.messageFile();
    QCOMPARE(kit::readFile(path), mail);
    QCOMPARE(f.platform.functionsCalled(), (QStringList{"hasMailViewer", "startTextViewer"}));
    QCOMPARE(f.platform.calls.last().args, QStringList{path});

    QStringList expectedBoxes{questionFor(2)};
    if (parserNotice)
        expectedBoxes << QStringLiteral("Message:Invalid message format");
    QCOMPARE(f.boxes.texts(), expectedBoxes);
    QCOMPARE(f.boxes.boxes.first().title, QStringLiteral("Mailvane"));
    QCOMPARE(f.boxes.boxes.first().buttons, MsgButtons::YesNo);
    QCOMPARE(f.boxes.boxes.first().icon, MsgIcon::Question);

    QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);
    QVERIFY(f.w.prgProgress->isHidden());
    QVERIFY(f.w.lblProgress->isHidden());
    QCOMPARE(kit::session(f.w).lRetrSize(), qint64(0));
    QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
}

void TestViewMail::answeringNoTouchesNothing()
{
    WindowFixture f;
    const QList<QByteArray> mails{PlainMail, PlainMail};
    scriptSession(f.server, mails);
    QVERIFY(f.login());
    kit::putMailRows(f.w, int(mails.size()));
    kit::selectCell(f.w, 2);
    f.w.cmdShow->setEnabled(false); // a control in an odd state stays in it
    const QList<bool> before = kit::enabledControls(f.w);
    const int linesBefore = int(f.server.receivedLines().size());

    f.boxes.answers.enqueue(MsgAnswer::No);
    f.w.mnuCompleteMail_Click();
    QCOMPARE(f.boxes.texts(), QStringList{questionFor(1)});
    QCOMPARE(kit::enabledControls(f.w), before);
    QVERIFY(f.w.prgProgress->isHidden());
    QVERIFY(!kit::session(f.w).bListForView());
    QVERIFY(f.platform.calls.isEmpty());
    // Nothing goes to the server: a command sent now would be answered before
    // this one, and the server takes only what its script expects.
    f.server.reply("STAT \r\n", "+OK 2 10\r\n");
    f.w.SendStat();
    QTRY_COMPARE(f.server.receivedLines().size(), linesBefore + 1);
    QCOMPARE(f.server.receivedLines().last(), QByteArray("STAT \r\n"));
    QVERIFY(!QFile::exists(f.messageFile()));
}

void TestViewMail::mailReachesATemporaryFileAsItArrives()
{
    WindowFixture f;
    const QByteArray mail = bigMail(30000, 's');
    const QList<QByteArray> mails{mail};
    scriptSession(f.server, mails);
    const QList<QByteArray> chunks = ScriptedPop3Server::chunksOf(kit::retrReply(mail), 1000);
    f.server.reply("LIST 1\r\n", listOneReply(1, mail.size()));
    f.server.expect("RETR 1\r\n");
    f.server.sendManually(chunks);
    const QString path = f.messageFile();
    const QDir folder = QFileInfo(path).dir();
    const QByteArray earlier = "From: a@example.com\r\nSubject: the mail viewed before\r\n\r\n";
    QVERIFY(kit::writeFile(path, earlier));

    QVERIFY(f.login());
    kit::putMailRows(f.w, int(mails.size()));
    kit::selectCell(f.w, 2);
    f.w.mnuCompleteMail->trigger();
    QTRY_VERIFY(f.server.isWaitingForSendNext());
    // Half the reply in: what has come is in a file of its own beside the
    // message file, unstuffed and private; the message file is still the
    // earlier mail, and nothing has been shown.
    for (int i = 0; i < chunks.size() / 2; ++i)
        f.server.sendNext();
    const auto partFile = [&] {
        const QStringList parts = folder.entryList({QStringLiteral("test.eml.*")}, QDir::Files | QDir::Hidden);
        return parts.size() == 1 ? folder.filePath(parts.first()) : QString();
    };
    QTRY_VERIFY(QFileInfo(partFile()).size() > 12000);
    const QByteArray half = kit::readFile(partFile());
    QVERIFY(half.size() < 16000);
    QVERIFY(mail.startsWith(half));
    QVERIFY(half.endsWith("\r\n"));
    QCOMPARE(kit::permissionBits(partFile()), QStringLiteral("0600"));
    QCOMPARE(kit::readFile(path), earlier);
    QVERIFY(f.platform.calls.isEmpty());
    QVERIFY(!f.w.cmdLogin->isEnabled());
    while (f.server.isWaitingForSendNext())
        f.server.sendNext();
    QVERIFY(kit::viewDone(f.w));
    QCOMPARE(kit::readFile(path), mail);
    QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), QStringList{"test.eml"});
    QCOMPARE(kit::permissionBits(path), QStringLiteral("0600"));
    QCOMPARE(f.platform.functionsCalled(), (QStringList{"hasMailViewer", "startTextViewer"}));
    QCOMPARE(f.server.mismatches(), QStringList());
}

void TestViewMail::progressFollowsTheRetrBytes()
{
    WindowFixture f;
    // Many stuffed dots: the reply is longer than the mail by more than a
    // chunk, so the bar reaches its end before the last chunk.
    const QByteArray mail = bigMail(6000, 'p');
    const QList<QByteArray> mails{PlainMail, PlainMail, mail};
    scriptSession(f.server, mails);
    const QByteArray reply = kit::retrReply(mail);
    QVERIFY(reply.size() - mail.size() > 40);
    f.server.reply("LIST 3\r\n", listOneReply(3, mail.size()));
    f.server.expect("RETR 3\r\n");
    f.server.sendManually(ScriptedPop3Server::chunksOf(reply, 40));

    QVERIFY(f.login());
    kit::putMailRows(f.w, int(mails.size()));
    kit::selectCell(f.w, 4);

    struct Seen
    {
        qint64 bytes, value, max;
        int bar;
        bool barShown;
        QString label;
        bool viewing;
        bool loginEnabled;
    };
    QList<Seen> seen;
    bool retrSent = false;
    connect(&f.server, &ScriptedPop3Server::lineReceived, &f.w,
            [&](const QByteArray &line) { retrSent = retrSent || line.startsWith("RETR "); });
    // Connected after the window's own handler: sees the bar as it left it.
    connect(f.w.sockPOP3, &TcpClientSocket::dataArrival, &f.w, [&](qint64 bytes) {
        if (retrSent)
            seen << Seen{bytes,
                         modProgress::GetProgressValue(),
                         modProgress::GetProgressMax(),
                         f.w.prgProgress->value(),
                         !f.w.prgProgress->isHidden(),
                         f.w.lblProgress->text(),
                         kit::session(f.w).bListForView(),
                         f.w.cmdLogin->isEnabled()};
        if (f.server.isWaitingForSendNext())
            f.server.sendNext();
    });

    f.w.mnuCompleteMail_Click();
    QVERIFY(kit::viewDone(f.w));
    QCOMPARE(f.server.mismatches(), QStringList());
    QVERIFY(seen.size() >= 2);

    qint64 received = 0;
    bool capped = false;
    for (int i = 0; i < seen.size(); ++i) {
        const Seen &s = seen.at(i);
        received += s.bytes;
        if (!s.viewing) {
            // The reply was complete: the progress is over.
            QCOMPARE(i, seen.size() - 1);
            QCOMPARE(received, qint64(reply.size()));
            QVERIFY(!s.barShown);
            continue;
        }
        QCOMPARE(s.max, qint64(mail.size()));
        QCOMPARE(s.value, qMin(received, qint64(mail.size())));
        QCOMPARE(s.bar, *ProgressPercent(s.value, s.max));
        QVERIFY(s.bar <= 100);
        QVERIFY(s.barShown);
        QCOMPARE(s.label, QStringLiteral("Retrieving message 3"));
        QVERIFY(!s.loginEnabled);
        capped = capped || received > mail.size();
    }
    QVERIFY(!seen.last().viewing);
    QVERIFY(capped);
    QCOMPARE(kit::readFile(f.messageFile()), mail);
    QCOMPARE(f.boxes.texts(), QStringList{questionFor(3)});
}

void TestViewMail::shorterMailLeavesNoTail()
{
    WindowFixture f;
    const QString path = f.messageFile();
    QVERIFY(kit::writeFile(path, QByteArray(200000, 'o'))); // left by an earlier run
    const QByteArray longMail = bigMail(20000, 'l');
    const QList<QByteArray> mails{longMail, PlainMail};
    scriptSession(f.server, mails);
    scriptView(f.server, 1, longMail);
    scriptView(f.server, 2, PlainMail);

    QVERIFY(f.login());
    kit::putMailRows(f.w, int(mails.size()));
    kit::viewMail(f.w, 1);
    QVERIFY(kit::viewDone(f.w));
    QCOMPARE(kit::readFile(path), longMail);

    kit::viewMail(f.w, 2);
    QVERIFY(kit::viewDone(f.w));
    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(kit::readFile(path), PlainMail);
    QCOMPARE(f.platform.callsTo(QStringLiteral("startTextViewer")).size(), 2);
    QCOMPARE(f.boxes.texts(), (QStringList{questionFor(1), questionFor(2)}));
}

void TestViewMail::unwritableProgramFolderUsesDataFolder_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("read-only folder") << "read-only";
    QTest::newRow("folder missing") << "missing";
    QTest::newRow("a file where the folder should be") << "file";
}

void TestViewMail::unwritableProgramFolderUsesDataFolder()
{
    QFETCH(QString, kind);
    QTemporaryDir root;
    QString programFolder = root.filePath(QStringLiteral("program"));
    const QByteArray oldFile = "an old mail that must not be shown\r\n";
    if (kind == QLatin1String("read-only")) {
        if (geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QVERIFY(QDir().mkpath(programFolder));
        QVERIFY(kit::writeFile(QDir(programFolder).filePath(QStringLiteral("test.eml")), oldFile));
        QVERIFY(QFile::setPermissions(programFolder, QFile::ReadOwner | QFile::ExeOwner));
    } else if (kind == QLatin1String("file")) {
        QVERIFY(kit::writeFile(programFolder, "not a folder"));
    }

    WindowFixture f;
    f.platform.hasMailViewerResult = true;
    f.w.setProgramFolder(programFolder);
    QVERIFY(loginToViewPlainMail(f));
    kit::viewMail(f.w, 1);
    QVERIFY(kit::viewDone(f.w));
    QFile::setPermissions(programFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QCOMPARE(kit::readFile(dataFolderFile(f)), PlainMail);
    QCOMPARE(f.platform.callsTo(QStringLiteral("openDocument")).size(), 1);
    QCOMPARE(f.platform.callsTo(QStringLiteral("openDocument")).first().args, QStringList{dataFolderFile(f)});
    QCOMPARE(f.boxes.texts(), QStringList{questionFor(1)});
    QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);
    if (kind == QLatin1String("read-only"))
        QCOMPARE(kit::readFile(QDir(programFolder).filePath(QStringLiteral("test.eml"))), oldFile);
    if (kind == QLatin1String("missing"))
        QVERIFY(!QFileInfo::exists(programFolder));
}

void TestViewMail::nowhereToWriteIsReported()
{
    QTemporaryDir root;
    const QString programFolder = root.filePath(QStringLiteral("program"));
    QVERIFY(kit::writeFile(programFolder, "not a folder"));
    const QString blockedDataFolder = root.filePath(QStringLiteral("data"));
    QVERIFY(kit::writeFile(blockedDataFolder, "not a folder either"));

    WindowFixture f;
    f.w.setProgramFolder(programFolder);
    f.w.setDataFolder(blockedDataFolder);
    QVERIFY(loginToViewPlainMail(f));
    kit::viewMail(f.w, 1);
    QVERIFY(kit::viewDone(f.w));

    // No viewer is handed a file that does not hold this mail.
    QCOMPARE(f.platform.count(QStringLiteral("openDocument")) + f.platform.count(QStringLiteral("startTextViewer")), 0);
    QCOMPARE(f.boxes.boxes.size(), 2);
    QVERIFY2(f.boxes.boxes.at(1).text.startsWith(QStringLiteral("The message could not be saved as test.eml")),
             qPrintable(f.boxes.boxes.at(1).text));
    QCOMPARE(f.boxes.boxes.at(1).icon, MsgIcon::Exclamation);
    QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);
}

void TestViewMail::startedFromTheSystemsFolder()
{
    // Installed in /usr/bin and started by root, or by anyone: the mail
    // never goes there.
    const QString systemFile = QStringLiteral("/usr/bin/test.eml");
    const bool wasThere = QFileInfo::exists(systemFile);
    WindowFixture f;
    f.w.setProgramFolder(QStringLiteral("/usr/bin"));
    QVERIFY(loginToViewPlainMail(f));
    kit::viewMail(f.w, 1);
    QVERIFY(kit::viewDone(f.w));
    const bool madeThere = !wasThere && QFileInfo::exists(systemFile);
    if (madeThere)
        QFile::remove(systemFile);

    QVERIFY(!madeThere);
    QCOMPARE(kit::readFile(dataFolderFile(f)), PlainMail);
    QCOMPARE(f.platform.callsTo(QStringLiteral("startTextViewer")).value(0).args, QStringList{dataFolderFile(f)});
    QCOMPARE(f.boxes.texts(), QStringList{questionFor(1)});
}

void TestViewMail::viewerChoice_data()
{
    QTest::addColumn<bool>("mailViewer");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<QString>("opener");
    QTest::addColumn<QString>("failure");

    QTest::newRow("mail viewer registered") << true << true << "openDocument" << QString();
    QTest::newRow("no mail viewer: text viewer") << false << true << "startTextViewer" << QString();
    QTest::newRow("mail viewer does not start") << true << false << "openDocument"
                                                << "The mail viewer could not be started.";
    QTest::newRow("text viewer does not start") << false << false << "startTextViewer"
                                                << "The text viewer could not be started.";
}

void TestViewMail::viewerChoice()
{
    QFETCH(bool, mailViewer);
    QFETCH(bool, starts);
    QFETCH(QString, opener);
    QFETCH(QString, failure);

    WindowFixture f;
    f.platform.hasMailViewerResult = mailViewer;
    f.platform.openDocumentResult = starts;
    f.platform.startTextViewerResult = starts;
    QVERIFY(loginToViewPlainMail(f));
    kit::viewMail(f.w, 1);
    QVERIFY(kit::viewDone(f.w));

    const QString path = f.messageFile();
    QCOMPARE(f.platform.functionsCalled(), (QStringList{"hasMailViewer", opener}));
    QCOMPARE(f.platform.calls.last().args, QStringList{path});
    QCOMPARE(kit::readFile(path), PlainMail);
    if (failure.isEmpty()) {
        QCOMPARE(f.boxes.boxes.size(), 1);
    } else {
        QCOMPARE(f.boxes.boxes.size(), 2);
        QCOMPARE(f.boxes.boxes.at(1).text,
                 failure + QStringLiteral("\r\nThe message is in ") + QDir::toNativeSeparators(path));
        QCOMPARE(f.boxes.boxes.at(1).icon, MsgIcon::Exclamation);
        QCOMPARE(f.boxes.boxes.at(1).title, QStringLiteral("Mailvane"));
    }
    QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);
}

void TestViewMail::desktopTextViewerShowsTheMail_data()
{
    QTest::addColumn<bool>("defaultViewer");
    QTest::newRow("the desktop's default for plain text") << true;
    QTest::newRow("no viewer at all: reported") << false;
}

void TestViewMail::desktopTextViewerShowsTheMail()
{
    // The real platform on a desktop without a mail viewer, from the menu
    // item to the program that shows the file.
    QFETCH(bool, defaultViewer);
    FakeDesktop desktop;
    if (!desktop.missingTools().isEmpty())
        QSKIP(qPrintable(QStringLiteral("xdg-mime cannot run here, missing: ") + desktop.missingTools().join(' ')));
    desktop.addProgram(QStringLiteral("xdg-open"));
    if (defaultViewer) {
        desktop.addProgram(QStringLiteral("fakeview"));
        desktop.setDefaultTextApplication(QStringLiteral("fakeview.desktop"), "Name=View\nExec=fakeview %f");
    }
    WindowFixture f;
    f.useRealPlatform();
    QVERIFY(loginToViewPlainMail(f));
    kit::selectCell(f.w, 2);
    f.w.mnuCompleteMail->trigger();
    QVERIFY(kit::viewDone(f.w));

    const QString path = f.messageFile();
    QCOMPARE(kit::readFile(path), PlainMail);
    if (defaultViewer) {
        QTRY_COMPARE(desktop.argumentsOf(QStringLiteral("fakeview")), QStringList{path});
        QCOMPARE(f.boxes.texts(), QStringList{questionFor(1)});
    } else {
        QCOMPARE(f.boxes.texts(),
                 (QStringList{questionFor(1), QStringLiteral("The text viewer could not be started.\r\n"
                                                             "The message is in ")
                                                  + QDir::toNativeSeparators(path)}));
    }
    QVERIFY(!desktop.wasStarted(QStringLiteral("xdg-open")));
    QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);
}

void TestViewMail::selectionRules_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<bool>("minimized");
    QTest::addColumn<bool>("box");

    QTest::newRow("heading row: no current cell") << 0 << 1 << false << true;
    QTest::newRow("empty row 1") << 1 << 1 << false << true;
    QTest::newRow("empty cell of a mail row") << 2 << 0 << false << true;
    QTest::newRow("row whose Id is no mail number") << 3 << 1 << false << true;
    QTest::newRow("no box while minimised") << 1 << 1 << true << false;
}

void TestViewMail::selectionRules()
{
    QFETCH(int, row);
    QFETCH(int, col);
    QFETCH(bool, minimized);
    QFETCH(bool, box);

    WindowFixture f;
    const QList<QByteArray> mails{PlainMail, PlainMail};
    scriptSession(f.server, mails);
    QVERIFY(f.login());
    QList<kit::MailRow> rows = kit::numberedRows(int(mails.size()));
    rows[0].date.clear();
    rows[1].id = QStringLiteral("x");
    kit::putMailRows(f.w, rows);
    kit::selectCell(f.w, row, col);
    QCOMPARE(f.w.grdMails->Row(), row);
    const int linesBefore = int(f.server.receivedLines().size());
    kit::session(f.w).bMinimized() = minimized;

    f.w.mnuCompleteMail_Click();
    if (box) {
        QCOMPARE(f.boxes.texts(), QStringList{NoSelection});
        QCOMPARE(f.boxes.boxes.first().buttons, MsgButtons::Ok);
        QCOMPARE(f.boxes.boxes.first().icon, MsgIcon::Exclamation);
        QCOMPARE(f.boxes.boxes.first().title, QStringLiteral("Mailvane"));
    } else {
        QVERIFY(f.boxes.boxes.isEmpty());
    }
    QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);
    QVERIFY(!kit::session(f.w).bListForView());
    QVERIFY(f.w.prgProgress->isHidden());
    QVERIFY(f.platform.calls.isEmpty());
    QCOMPARE(f.server.receivedLines().size(), linesBefore);
}

void TestViewMail::refusedRetrWritesNothing()
{
    WindowFixture f;
    const QList<QByteArray> mails{PlainMail, PlainMail};
    scriptSession(f.server, mails);
    f.server.reply("LIST 1\r\n", listOneReply(1, PlainMail.size()));
    f.server.reply("RETR 1\r\n", "-ERR Message is gone.\r\n");
    scriptView(f.server, 2, PlainMail);
    QVERIFY(f.login());
    kit::putMailRows(f.w, int(mails.size()));
    kit::viewMail(f.w, 1);
    QTRY_COMPARE(f.boxes.boxes.size(), 2);
    QCOMPARE(f.boxes.boxes.at(1).text, QStringLiteral("Server error\r\n-ERR Message is gone.\r\n"));
    QVERIFY(f.w.prgProgress->isHidden());
    QVERIFY(f.w.cmdShow->isEnabled());
    QVERIFY(f.platform.calls.isEmpty());
    QVERIFY(!QFile::exists(f.messageFile()));

    // The session goes on: the next view works.
    kit::viewMail(f.w, 2);
    QVERIFY(kit::viewDone(f.w));
    QCOMPARE(f.server.mismatches(), QStringList());
    QCOMPARE(kit::readFile(f.messageFile()), PlainMail);
}

void TestViewMail::lostConnectionGivesTheWindowBack()
{
    WindowFixture f;
    const QByteArray mail = bigMail(5000, 'c');
    const QList<QByteArray> mails{mail};
    scriptSession(f.server, mails);
    f.server.reply("LIST 1\r\n", listOneReply(1, mail.size()));
    f.server.reply("RETR 1\r\n", kit::retrReply(mail).left(2000));
    f.server.closeConnection();
    QVERIFY(f.login());
    kit::putMailRows(f.w, int(mails.size()));
    kit::viewMail(f.w, 1);
    QTRY_COMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
    QVERIFY(f.w.cmdLogin->isEnabled());
    QVERIFY(f.w.prgProgress->isHidden());
    QVERIFY(!kit::session(f.w).bListForView());
    QVERIFY(f.platform.calls.isEmpty());
    QVERIFY(!QFile::exists(f.messageFile()));
}

void TestViewMail::failedViewKeepsTheEarlierMail_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("message"); // the box after the question; empty: none

    QTest::newRow("connection lost") << "lost" << QString();
    QTest::newRow("no answer") << "silent"
                               << "The mail server did not answer for 1 seconds.\r\nThe connection has been closed.";
    QTest::newRow("far more than LIST announced")
        << "flood"
        << "The mail server sent far more than the 1000 bytes it announced for the mail; the mail has not been "
           "saved.\r\nThe connection has been closed. Please login again.";
    // %1: the folders the mail may go to.
    QTest::newRow("write error") << "write error" << "The message could not be saved as test.eml in %1\r\nFile too large";
    QTest::newRow("window closed") << "closed" << QString();
}

void TestViewMail::failedViewKeepsTheEarlierMail()
{
    // Whatever ends a view before the whole mail is in, the message file is
    // still the mail viewed before, and no piece of the new one is left.
    QFETCH(QString, how);
    QFETCH(QString, message);
    WindowRecorders f;
    ScriptedPop3Server server;
    auto w = std::make_unique<frmMain>();
    f.useFolders(*w);
    w->setReplyTimeout(1000);

    const QByteArray mail = bigMail(60000, 'f');
    const QByteArray reply = kit::retrReply(mail);
    scriptSession(server, {mail});
    if (how == QLatin1String("flood")) {
        server.reply("LIST 1\r\n", listOneReply(1, 1000));
        server.expect("RETR 1\r\n");
        const QByteArray endless = "+OK\r\n" + (QByteArray(78, 'x') + "\r\n").repeated(30000);
        server.send(ScriptedPop3Server::chunksOf(endless, 64 * 1024));
    } else {
        server.reply("LIST 1\r\n", listOneReply(1, mail.size()));
        server.expect("RETR 1\r\n");
        if (how == QLatin1String("write error"))
            server.send(ScriptedPop3Server::chunksOf(reply, 4096));
        else if (how == QLatin1String("closed"))
            server.sendManually(ScriptedPop3Server::chunksOf(reply, 4096));
        else
            server.send(reply.left(reply.size() / 2));
        if (how == QLatin1String("lost"))
            server.closeConnection();
    }
    const QString path = f.messageFile();
    const QDir folder = QFileInfo(path).dir();
    const QByteArray earlier = "From: a@example.com\r\nSubject: the mail viewed before\r\n\r\n";
    QVERIFY(kit::writeFile(path, earlier));

    QVERIFY(kit::login(*w, server.port()));
    kit::putMailRows(*w, 1);
    struct rlimit saved;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    const auto restoreLimit = [&] {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, previous);
    };
    const auto restore = qScopeGuard(restoreLimit);
    if (how == QLatin1String("write error")) {
        struct rlimit small = saved;
        small.rlim_cur = 20000; // the mail stops fitting a third of the way in
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    kit::viewMail(*w, 1);
    if (how == QLatin1String("closed")) {
        QTRY_VERIFY(!folder.entryList({QStringLiteral("test.eml.*")}, QDir::Files | QDir::Hidden).isEmpty());
        w.reset();
    } else if (how == QLatin1String("write error")) {
        QVERIFY(kit::viewDone(*w));
    } else {
        QTRY_VERIFY(kit::loggedOutAndIdle(*w));
    }
    restoreLimit();

    QCOMPARE(kit::readFile(path), earlier);
    QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), QStringList{"test.eml"});
    QCOMPARE(f.platform.count(QStringLiteral("openDocument")) + f.platform.count(QStringLiteral("startTextViewer")), 0);
    QStringList boxes{questionFor(1)};
    if (!message.isEmpty())
        boxes << (message.contains(QLatin1String("%1")) ? message.arg(messageFolders(f)) : message);
    QCOMPARE(f.boxes.texts(), boxes);
    if (how == QLatin1String("write error"))
        QCOMPARE(kit::enabledControls(*w), kit::AllEnabled); // the session goes on
}

void TestViewMail::mailSomewhatLargerThanAnnouncedIsKept()
{
    // A server that counts a little wrong still shows its mail.
    WindowFixture f;
    const QByteArray mail = bigMail(200000, 'k');
    scriptSession(f.server, {mail});
    f.server.reply("LIST 1\r\n", listOneReply(1, 100));
    f.server.expect("RETR 1\r\n");
    f.server.send(ScriptedPop3Server::chunksOf(kit::retrReply(mail), 8192));
    QVERIFY(f.login());
    kit::putMailRows(f.w, 1);
    kit::viewMail(f.w, 1);
    QVERIFY(kit::viewDone(f.w));
    QCOMPARE(kit::readFile(f.messageFile()), mail);
    QCOMPARE(f.boxes.texts(), QStringList{questionFor(1)});
    QCOMPARE(f.server.mismatches(), QStringList());
}

namespace {

// Logs in to the HTTPMail server and lists its mails in the grid as a header
// retrieval does.
bool loginAndList(HotmailWindowFixture &f)
{
    if (!f.login())
        return false;
    QList<kit::MailRow> rows;
    for (int i = 0; i < kit::session(f.w).colHotmailIds().size(); ++i) {
        const clsHotmail::MailRecord &m = kit::session(f.w).colHotmailIds().at(i);
        rows << kit::MailRow{clsHotmail::GetFieldDate(m), clsHotmail::GetFieldFrom(m), clsHotmail::GetFieldSubject(m),
                             QString::number(i + 1), clsHotmail::GetFieldLength(m), clsHotmail::GetFieldURL(m)};
    }
    kit::putMailRows(f.w, rows);
    return f.server.problems().isEmpty();
}

} // namespace

void TestViewMail::hotmailViewShowsTheMailAndMarksItRead_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("ASCII with dot lines") << QByteArray("From: b@x.org\r\nSubject: s\r\n\r\n.one\r\n.\r\n-ERR\r\n");
    QTest::newRow("Latin-1 octets") << QByteArray("From: b@x.org\r\nSubject: caf\xe9\r\n\r\n\xe9t\xe9 \x80\xff\r\n");
    QTest::newRow("UTF-8 beyond Latin-1") << QByteArray("From: b@x.org\r\nSubject: euro\r\n\r\n5 \xe2\x82\xac \xc3\xa9\r\n");
    QTest::newRow("no empty line") << QByteArray("From: b@x.org\r\nSubject: headers only\r\n");
}

void TestViewMail::hotmailViewShowsTheMailAndMarksItRead()
{
    QFETCH(QByteArray, text);
    HotmailWindowFixture f;
    QVERIFY(f.started);
    f.server.setMails({HttpMailServer::makeMail("m1", "Bob <bob@x.org>", "First", "2004-08-03T10:11:12Z", PlainMail),
                       HttpMailServer::makeMail("m2", "Carol <carol@x.org>", "Second", "2004-08-04T09:00:00Z", text)});
    QVERIFY(loginAndList(f));
    kit::selectCell(f.w, 3);

    const QString mailText =
        kit::session(f.w).objHotmail()->GetCompleteMail(f.server.mailUrl(QStringLiteral("m2")).toString());
    f.server.clearRequests();
    QString labelDuringGet;
    bool barShownDuringGet = false;
    bool loginEnabledDuringGet = true;
    connect(&f.server, &HttpMailServer::requestReceived, &f.w, [&](const HttpMailServer::Request &request) {
        if (request.method == "GET" && request.authorized) {
            labelDuringGet = f.w.lblProgress->text();
            barShownDuringGet = !f.w.prgProgress->isHidden();
            loginEnabledDuringGet = f.w.cmdLogin->isEnabled();
        }
    });
    int markedBeforeViewer = -1;
    f.platform.onCall = [&](const PlatformRecorder::Call &call) {
        if (call.function == QLatin1String("startTextViewer"))
            markedBeforeViewer = int(f.server.requests("PROPPATCH").size());
    };

    f.w.mnuCompleteMail_Click();

    QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("From:Carol <carol@x.org>\r\nSubject:Second\r\n") + Question}
                                + (text.contains("\r\n\r\n") ? QStringList()
                                                             : QStringList{QStringLiteral("Message:Invalid message format")}));
    QCOMPARE(labelDuringGet, QStringLiteral("Fetching message from hotmail..."));
    QVERIFY(barShownDuringGet);
    QVERIFY(!loginEnabledDuringGet);
    const QString path = f.messageFile();
    const QByteArray file = kit::readFile(path);
    QCOMPARE(file, text); // these servers' octets come back unchanged
    // The viewed text is the mail's text as the client reads it.
    QCOMPARE(QString::fromUtf8(file).contains(QChar::ReplacementCharacter) ? QString::fromLatin1(file)
                                                                            : QString::fromUtf8(file),
             mailText);
    QCOMPARE(f.platform.functionsCalled(), (QStringList{"hasMailViewer", "startTextViewer"}));
    QCOMPARE(markedBeforeViewer, 0);
    QCOMPARE(f.server.requests("PROPPATCH").size(), 1);
    QVERIFY(f.server.inbox().at(1).read);
    QVERIFY(!f.server.inbox().at(0).read);
    QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);
    QVERIFY(f.w.prgProgress->isHidden());
    QCOMPARE(f.server.problems(), QStringList());
}

void TestViewMail::hotmailViewKeepsTheServersOctets_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("contentType");
    const QByteArray utf8Latin = "From: b@x.org\r\nSubject: caf\xc3\xa9\r\n\r\n\xc3\xa9t\xc3\xa9 \xc3\xbf\r\n";
    QTest::newRow("UTF-8, every character in Latin-1") << utf8Latin << QByteArray("message/rfc822");
    QTest::newRow("UTF-8 named") << utf8Latin << QByteArray("message/rfc822; charset=utf-8");
    const QByteArray cp1252 = "From: b@x.org\r\nSubject: \x93quoted\x94\r\n\r\n\x80 5, caf\xe9 \x85\r\n";
    QTest::newRow("Windows-1252 named") << cp1252 << QByteArray("message/rfc822; charset=windows-1252");
    QTest::newRow("Windows-1252 unnamed") << cp1252 << QByteArray("message/rfc822");
    QByteArray eightBit = "From: b@x.org\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    for (int octet = 0; octet < 256; ++octet)
        eightBit += char(octet);
    eightBit += "\r\n";
    QTest::newRow("8-bit, every octet") << eightBit << QByteArray("message/rfc822");
    QTest::newRow("8-bit named Latin-1") << eightBit << QByteArray("message/rfc822; charset=iso-8859-1");
}

void TestViewMail::hotmailViewKeepsTheServersOctets()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, contentType);
    HotmailWindowFixture f;
    QVERIFY(f.started);
    HttpMailServer::Mail mail = HttpMailServer::makeMail("m1", "Bob <bob@x.org>", "First", "2004-08-03T10:11:12Z", text);
    mail.contentType = contentType;
    f.server.setMails({mail});
    QVERIFY(loginAndList(f));
    kit::selectCell(f.w, 2);
    f.boxes.answers.enqueue(MsgAnswer::Yes);
    f.w.mnuCompleteMail->trigger();

    QTRY_COMPARE(f.platform.functionsCalled(), (QStringList{"hasMailViewer", "startTextViewer"}));
    QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("From:Bob <bob@x.org>\r\nSubject:First\r\n") + Question});
    const QByteArray file = kit::readFile(f.messageFile());
    QCOMPARE(file.toHex(' '), text.toHex(' '));
    QTRY_VERIFY(f.server.inbox().at(0).read);
    QCOMPARE(f.server.problems(), QStringList());
}

void TestViewMail::hotmailFailuresAreReported_data()
{
    QTest::addColumn<QByteArray>("failing"); // request the server refuses
    QTest::addColumn<bool>("viewerStarts");
    QTest::addColumn<QString>("report");
    QTest::addColumn<bool>("fileWritten");
    QTest::addColumn<bool>("markedRead");

    QTest::newRow("GET refused") << QByteArray("GET") << true
                                 << "The mail could not be fetched from hotmail." << false << false;
    QTest::newRow("PROPPATCH refused") << QByteArray("PROPPATCH") << true
                                       << "The mail could not be marked as read on hotmail." << true << false;
    QTest::newRow("viewer does not start: left unread") << QByteArray() << false
                                                        << "The text viewer could not be started." << true << false;
}

void TestViewMail::hotmailFailuresAreReported()
{
    QFETCH(QByteArray, failing);
    QFETCH(bool, viewerStarts);
    QFETCH(QString, report);
    QFETCH(bool, fileWritten);
    QFETCH(bool, markedRead);

    HotmailWindowFixture f;
    f.platform.startTextViewerResult = viewerStarts;
    QVERIFY(f.started);
    f.server.setMails({HttpMailServer::makeMail("m1", "Bob <bob@x.org>", "First", "2004-08-03T10:11:12Z", PlainMail)});
    QVERIFY(loginAndList(f));
    if (!failing.isEmpty())
        f.server.addCannedReply(HttpMailServer::CannedReply::reply(failing, f.server.inboxPath() + QStringLiteral("m1"),
                                                                   500, "<html>broken</html>", "text/html"));
    kit::viewMail(f.w, 1);

    QCOMPARE(f.boxes.boxes.size(), 2);
    QVERIFY2(f.boxes.boxes.at(1).text.startsWith(report), qPrintable(f.boxes.boxes.at(1).text));
    QCOMPARE(f.boxes.boxes.at(1).icon, MsgIcon::Exclamation);
    const QString path = f.messageFile();
    QCOMPARE(QFile::exists(path), fileWritten);
    if (fileWritten)
        QCOMPARE(kit::readFile(path), PlainMail);
    else
        QVERIFY(f.platform.calls.isEmpty());
    QCOMPARE(f.server.inbox().at(0).read, markedRead);
    if (failing != "PROPPATCH")
        QCOMPARE(f.server.requests("PROPPATCH").size(), 0);
    QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);
    QVERIFY(f.w.prgProgress->isHidden());
    QVERIFY(f.w.lblProgress->isHidden());
}

void TestViewMail::hotmailHeadingRowIsNoSelection()
{
    // The headings would pass for a sender, a subject and a URL.
    HotmailWindowFixture f;
    QVERIFY(f.started);
    f.server.setMails({HttpMailServer::makeMail("m1", "Bob <bob@x.org>", "First", "2004-08-03T10:11:12Z", PlainMail)});
    QVERIFY(loginAndList(f));
    kit::selectCell(f.w, 0, 5);
    QCOMPARE(f.w.grdMails->TextMatrix(f.w.grdMails->Row(), f.w.grdMails->Col()), QStringLiteral("URL"));
    f.server.clearRequests();
    f.w.mnuCompleteMail_Click();
    QCOMPARE(f.boxes.texts(), QStringList{NoSelection});
    QVERIFY(f.server.requests().isEmpty());
    QVERIFY(f.platform.calls.isEmpty());
    QCOMPARE(kit::enabledControls(f.w), kit::AllEnabled);
}

QTEST_MAIN(TestViewMail)
#include "test_view_mail.moc"
