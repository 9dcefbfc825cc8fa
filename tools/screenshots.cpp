// Renders Mailvane's windows in typical states to PNG files, for the README
// and for looking at what a change did. Run under a real X server (Xvfb):
// scripts/screenshot does that.

#include "DovecotServer.h"
#include "frmMainTestAccess.h"
#include "HttpMailServer.h"
#include "MessageBoxRecorder.h"
#include "Pop3Scripts.h"
#include "ScriptedPop3Server.h"
#include "window/dlgSysinfo.h"
#include "window/FlexGrid.h"
#include "window/frmAbout.h"
#include "window/frmAlertWindow.h"
#include "window/frmHelp.h"
#include "window/frmMain.h"
#include "window/ProgramIcon.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>

namespace {

QString outDir;

bool waitFor(const std::function<bool()> &condition, int ms = 10000)
{
    QDeadlineTimer deadline(ms);
    while (!condition() && !deadline.hasExpired())
        QTest::qWait(10);
    return condition();
}

void save(QWidget *window, const QString &name)
{
    window->show();
    window->raise();
    QTest::qWait(150); // let the window system map and paint it
    const QString file = QDir(outDir).filePath(name + QStringLiteral(".png"));
    if (window->grab().save(file))
        std::printf("%s\n", qPrintable(file));
    else
        std::fprintf(stderr, "could not write %s\n", qPrintable(file));
}

QByteArray topReply(int n, const QByteArray &from, const QByteArray &subject)
{
    return "+OK\r\nReturn-Path: <x@example.com>\r\nDate: Tue, 3 Aug 2004 10:1" + QByteArray::number(n)
           + ":00 +0200\r\nFrom: " + from + "\r\nSubject: " + subject + "\r\n\r\nHello.\r\n.\r\n";
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(ProgramIcon());
    outDir = QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots")).absolutePath();
    QDir().mkpath(outDir);
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    MessageBoxRecorder boxes;

    {
        frmMain w;
        save(&w, QStringLiteral("main-logged-out"));
    }

    {
        ScriptedPop3Server server;
        const QStringList ids{"a1", "a2", "a3", "a4", "a5", "a6"};
        const QList<qint64> sizes{2310, 15020, 4880, 1290, 88210, 3301};
        Pop3Scripts::session(server, "alice", "secret", ids, sizes);
        const QList<QByteArray> froms{"Bob Smith <bob@example.com>", "Carol <carol@example.org>",
                                      "Newsletter <news@example.net>", "Bob Smith <bob@example.com>",
                                      "Dave <dave@example.com>", "Erin <erin@example.org>"};
        const QList<QByteArray> subjects{"Lunch on Friday?", "Quarterly figures", "This week's news",
                                         "Re: Lunch on Friday?", "Holiday photos", "Meeting notes"};
        for (int n = 1; n <= 5; ++n)
            server.reply("TOP " + QByteArray::number(n) + " 10\r\n", topReply(n, froms[n - 1], subjects[n - 1]));
        // The last header is held back, so the retrieval is caught running.
        server.expect("TOP 6 10\r\n");
        const QByteArray last = topReply(6, froms[5], subjects[5]);
        server.sendManually({last.left(5), last.mid(5)});

        frmMain w;
        w.txtUser->setText(QStringLiteral("alice"));
        w.txtPwd->setText(QStringLiteral("secret"));
        w.txtMailServer->setText(QStringLiteral("127.0.0.1"));
        w.cboPort->setEditText(QString::number(server.port()));
        w.show();
        w.cmdLogin_Click();
        waitFor([&] { return !w.grdStats->isHidden(); });
        // Pretend the last three arrived since the previous session.
        kit::session(w).colNewMails() = std::make_unique<NewMailList>(QStringList{"4", "5", "6"});
        w.lblNewMails->setText(QStringLiteral("3 new mail(s)"));
        save(&w, QStringLiteral("main-logged-in"));
        w.cmdShow_Click();
        waitFor([&] { return w.grdMails->Rows() >= 7; }, 3000);
        save(&w, QStringLiteral("main-retrieval-running"));
        server.sendNext();
        waitFor([&] { return w.cmdShow->text() == QLatin1String("Show"); }, 3000);
        save(&w, QStringLiteral("main-headers"));
    }

    if (DovecotServer::isAvailable()) {
        DovecotServer dovecot;
        dovecot.addUser(QStringLiteral("alice"), QStringLiteral("secret"));
        for (int n = 1; n <= 5; ++n)
            dovecot.deliver(QStringLiteral("alice"), "From: Sender " + QByteArray::number(n) + " <s@example.com>\r\n"
                                                     "Subject: Test mail " + QByteArray::number(n) + "\r\n"
                                                     "Date: Tue, 3 Aug 2004 10:11:12 +0200\r\n\r\n"
                                                     + QByteArray(300 * n, 'x') + "\r\n");
        if (dovecot.start()) {
            frmMain w;
            w.txtUser->setText(QStringLiteral("alice"));
            w.txtPwd->setText(QStringLiteral("secret"));
            w.txtMailServer->setText(QStringLiteral("127.0.0.1"));
            w.cboPort->setEditText(QString::number(dovecot.port()));
            w.show();
            w.cmdLogin_Click();
            waitFor([&] { return !w.grdStats->isHidden(); });
            save(&w, QStringLiteral("main-dovecot"));
        }
    }

    {
        HttpMailServer server;
        server.start();
        server.setCredentials(QStringLiteral("alice@hotmail.com"), QStringLiteral("secret"));
        server.setMails({
            HttpMailServer::makeMail("m1", "Bob <bob@example.com>", "Hello", "2004-08-03T10:11:12Z", QByteArray(900, 'x'), true),
            HttpMailServer::makeMail("m2", "Carol <carol@example.com>", "Figures", "2004-08-04T09:00:00Z", QByteArray(1500, 'x')),
            HttpMailServer::makeMail("m3", "Dave <dave@example.com>", "Photos", "2004-08-05T08:30:00Z", QByteArray(2500, 'y')),
        });
        frmMain w(server.endpointUrl().toString());
        w.txtUser->setText(QStringLiteral("alice@hotmail.com"));
        w.txtPwd->setText(QStringLiteral("secret"));
        w.show();
        w.cmdLogin_Click();
        w.cmdShow_Click();
        save(&w, QStringLiteral("main-httpmail"));
    }

    {
        frmAbout about;
        save(&about, QStringLiteral("about"));
        dlgSysinfo info;
        save(&info, QStringLiteral("sysinfo"));
        frmHelp help;
        help.ShowHelp(2);
        save(&help, QStringLiteral("help"));
    }

    {
        auto *alert = new frmAlertWindow;
        alert->DisplayMessage(QStringLiteral("Mailvane\r\nMailbox of alice\r\n3 new mail(s)"), 10, false, true, true,
                              0xC0FFFF, false);
        waitFor([&] { return false; }, 700); // let it slide in
        save(alert, QStringLiteral("alert"));
    }
    return 0;
}
