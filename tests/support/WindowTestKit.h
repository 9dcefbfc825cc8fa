#pragma once
// What window tests share: filling in and running a login, waiting for the
// window to be idle, test mails and their POP3 scripts, putting, reading and
// selecting grid rows, showing and viewing mails, and fixtures holding the
// recorders, a server and a window in the order they must go away.

#include "DovecotServer.h"
#include "HttpMailServer.h"
#include "MessageBoxRecorder.h"
#include "PlatformRecorder.h"
#include "Pop3Scripts.h"
#include "ScriptedPop3Server.h"
#include "TestFiles.h"
#include "window/FlexGrid.h"
#include "window/frmMain.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace kit {

// ---- Widgets
// The child of that object name, or null.
template <typename T>
T *child(const QObject *parent, const QString &name)
{
    return parent->findChild<T *>(name);
}
// Each channel of `actual` within `tolerance` of `expected`'s.
bool nearColour(const QColor &actual, const QColor &expected, int tolerance = 8);
// The label shows its text as it is: no markup of it takes effect.
bool showsPlainText(const QLabel *label);

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
// Logged out, Login usable, nothing running.
bool loggedOutAndIdle(const frmMain &w);
// Types the login, clicks Login and waits until the window is logged in and idle.
bool login(frmMain &w, quint16 port, int timeoutMs = 10000, const QString &user = QStringLiteral("bob"),
           const QString &password = QStringLiteral("secret"));
// Types an HTTPMail login and clicks Login (which runs to its end inside the
// click); true when the window is logged in.
bool loginHotmail(frmMain &w, const QString &user = QStringLiteral("alice@hotmail.com"),
                  const QString &password = QStringLiteral("secret"));
// Types the login of TlsUser to a Dovecot of TlsDovecot.h: its POP3S port,
// made one the window starts TLS on, or its plain port, where STLS is
// offered. Returns the port.
quint16 fillTlsLogin(frmMain &w, const DovecotServer &dovecot, bool implicitTls, const QString &password);
// Answers "Confirm Logout?" with Yes, clicks Logout and waits until the
// window is logged out and idle.
bool logout(frmMain &w, MessageBoxRecorder &boxes, int timeoutMs = 10000);

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
// RETR's reply to a mail of CR LF lines: the status line with its size, the
// mail dot-stuffed, the terminating line.
QByteArray retrReply(const QByteArray &mail);
// An HTTPMail inbox of three mails (Bob's "Hello", read; Carol's "Figures"
// and Dave's "Photos", unread) holding these texts.
QList<HttpMailServer::Mail> threeHotmailMails(const QByteArray &first, const QByteArray &second,
                                              const QByteArray &third);

// ---- The grid and the range boxes
void setRange(QComboBox *from, QComboBox *till, const QString &lower, const QString &upper);
// Column `col` of the mail rows (row 2 on).
QStringList column(const FlexGrid *grid, int col);
// Selects the block from `anchor` to `current` as a drag would, leaving the
// current cell in row `current`, column 1.
void selectRows(FlexGrid *grid, int anchor, int current);
// Makes cell (row, col) of the mail grid the current one, as a click does.
void selectCell(frmMain &w, int row, int col = 1);
// A new mail's row: its five shown columns in blue.
bool isBlueRow(const FlexGrid *grid, int row);
// The mail numbers (Id column) of the blue rows.
QStringList blueMails(const FlexGrid *grid);

// One mail's row in the grid, the texts of its six columns.
struct MailRow
{
    QString date, from, subject, id, size, url;
};
// Rows for mails 1 to `count` as a header retrieval lists them: " Sender n",
// " Subject n", the number n as Id.
QList<MailRow> numberedRows(int count);
// The grid as a header retrieval leaves it: the headings, the empty row 1,
// one row per mail from row 2.
void putMailRows(frmMain &w, const QList<MailRow> &rows);
void putMailRows(frmMain &w, int count);

// ---- Showing and viewing mails
// Lists mails `from` to `till` with Show and waits until the retrieval has
// ended (HTTPMail's ends inside the click).
bool showMails(frmMain &w, int from, int till, int timeoutMs = 10000);
// Which action controls are enabled, in a fixed order; AllEnabled when all are.
QList<bool> enabledControls(const frmMain &w);
extern const QList<bool> AllEnabled;
// Chooses "Complete Mail" for mail n, in row n + 1 as putMailRows puts it;
// returns once the click has been handled.
void viewMail(frmMain &w, int n);
// A POP3 view has run to its end: the file handed to a viewer, or a failure.
bool viewDone(const frmMain &w, int timeoutMs = 10000);

} // namespace kit

// What every window fixture holds first and gives up last, so nothing the
// window does on closing escapes it: the recorders of every message box and
// platform call, and a program folder and a data folder of its own for the
// message file. Members go away in reverse order: the window first.
struct WindowRecorders
{
    MessageBoxRecorder boxes;
    PlatformRecorder platform;
    QTemporaryDir programDir;
    QTemporaryDir dataDir;

    // The file a viewed mail is written to: in the program folder where that
    // is the user's own (never root's), else in the data folder.
    QString messageFile() const;
    // Gives the window these folders.
    void useFolders(frmMain &w) const;
    // From now on the window's platform calls reach the real platform (the
    // desktop's viewers), unrecorded.
    void useRealPlatform() { Platform::install(nullptr); }
};

// The recorders and a window, for tests that need no server or start a real one.
struct RecordedWindow : WindowRecorders
{
    RecordedWindow() { useFolders(w); }

    frmMain w;
};

// A window against a scripted POP3 server.
struct WindowFixture : WindowRecorders
{
    WindowFixture() { useFolders(w); }

    ScriptedPop3Server server;
    frmMain w;

    // kit::login to the scripted server; on failure says what the server saw.
    bool login(int timeoutMs = 10000);
};

// A window against the in-process HTTPMail server, which knows the user
// alice@hotmail.com with the password "secret" and starts with no mails.
struct HotmailWindowFixture : WindowRecorders
{
    HotmailWindowFixture() { useFolders(w); }

    HttpMailServer server;
    // The server listens; the window is made with its endpoint.
    bool started = startServer();
    frmMain w{server.endpointUrl().toString()};

    // kit::loginHotmail as alice@hotmail.com.
    bool login() { return kit::loginHotmail(w); }

private:
    bool startServer();
};
