#pragma once
// What window tests share: filling in and running a login, waiting for the
// window to be idle, test mails and their POP3 scripts, reading and selecting
// grid rows, and a fixture holding the recorders, a scripted server and a
// window in the order they must go away.

#include "MessageBoxRecorder.h"
#include "PlatformRecorder.h"
#include "Pop3Scripts.h"
#include "ScriptedPop3Server.h"
#include "TestFiles.h"
#include "window/FlexGrid.h"
#include "window/frmMain.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace kit {

// ---- Settings and files
// Forgets the help setting and bob's UIDL store of 127.0.0.1, so a test
// starts as a first run.
void clearSavedState();

// ---- Logging in
// Types a POP3 login into the window, without clicking.
void fillLogin(frmMain &w, quint16 port, const QString &user = QStringLiteral("bob"),
               const QString &password = QStringLiteral("secret"));
// Logged in, the size list in, nothing running.
bool loggedInAndIdle(const frmMain &w);
// Types the login, clicks Login and waits until the window is logged in and idle.
bool login(frmMain &w, quint16 port, int timeoutMs = 10000, const QString &user = QStringLiteral("bob"),
           const QString &password = QStringLiteral("secret"));
// Types an HTTPMail login and clicks Login (which runs to its end inside the
// click); true when the window is logged in.
bool loginHotmail(frmMain &w, const QString &user = QStringLiteral("alice@hotmail.com"),
                  const QString &password = QStringLiteral("secret"));

// ---- Test mails and their scripts
struct TestMail
{
    QByteArray date;
    QByteArray from;
    QByteArray subject;
    QByteArray body = "Hello.\r\n";
    QByteArray uid;
};

QByteArray mailText(const TestMail &mail);
// A multi-line reply carrying `text` (lines ending in CR LF), dot-stuffed.
QByteArray multiLine(const QByteArray &text);
QList<TestMail> numberedMails(int count);
// Greeting to LIST for this mailbox; sizes are the texts' sizes.
void scriptLogin(ScriptedPop3Server &server, const QList<TestMail> &mails);
void scriptTop(ScriptedPop3Server &server, int n, const QByteArray &reply);
void scriptTops(ScriptedPop3Server &server, const QList<TestMail> &mails, int from, int till);

// ---- The grid and the range boxes
void setRange(QComboBox *from, QComboBox *till, const QString &lower, const QString &upper);
// Column `col` of the mail rows (row 2 on).
QStringList column(const FlexGrid *grid, int col);
// Selects the block from `anchor` to `current` as a drag would, leaving the
// current cell in row `current`.
void selectRows(FlexGrid *grid, int anchor, int current);

} // namespace kit

// A window against a scripted POP3 server, every box and platform call
// recorded. Members go away in reverse order: the window first, the
// recorders last, so nothing the window does on closing escapes them.
struct WindowFixture
{
    MessageBoxRecorder boxes;
    PlatformRecorder platform;
    ScriptedPop3Server server;
    frmMain w;

    bool login(int timeoutMs = 10000) { return kit::login(w, server.port(), timeoutMs); }
};
