// The shared steps of window tests.

#include "WindowTestKit.h"

#include "frmMainTestAccess.h"
#include "mailbox/MessageFile.h"
#include "TlsDovecot.h"
#include "window/VbColor.h"

#include <QCheckBox>
#include <QDir>
#include <QItemSelectionModel>
#include <QProgressBar>
#include <QSettings>
#include <QTextDocument>

namespace kit {

bool nearColour(const QColor &actual, const QColor &expected, int tolerance)
{
    return qAbs(actual.red() - expected.red()) <= tolerance && qAbs(actual.green() - expected.green()) <= tolerance
           && qAbs(actual.blue() - expected.blue()) <= tolerance;
}

bool showsPlainText(const QLabel *label)
{
    // Qt reads a text as markup when the format says so, or when left to
    // guess and the text looks like it.
    return label->textFormat() == Qt::PlainText
           || (label->textFormat() == Qt::AutoText && !Qt::mightBeRichText(label->text()));
}

void clearSavedState()
{
    QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
    QDir().remove(QStringLiteral("bob_127.0.0.1.uidl"));
}

void fillLogin(frmMain &w, quint16 port, const QString &user, const QString &password)
{
    w.txtUser->setText(user);
    w.txtPwd->setText(password);
    w.txtMailServer->setText(QStringLiteral("127.0.0.1"));
    w.cboPort->setEditText(QString::number(port));
}

bool loggedInAndIdle(const frmMain &w)
{
    return w.cmdLogin->text() == QLatin1String("Logout") && w.cmdLogin->isEnabled() && !w.grdStats->isHidden()
           && w.cmdShow->isEnabled() && w.prgProgress->isHidden();
}

bool loggedOutAndIdle(const frmMain &w)
{
    return w.cmdLogin->text() == QLatin1String("Login") && w.cmdLogin->isEnabled() && w.prgProgress->isHidden();
}

bool login(frmMain &w, quint16 port, int timeoutMs, const QString &user, const QString &password)
{
    fillLogin(w, port, user, password);
    w.cmdLogin_Click();
    return QTest::qWaitFor([&] { return loggedInAndIdle(w); }, timeoutMs);
}

bool loginHotmail(frmMain &w, const QString &user, const QString &password)
{
    w.txtUser->setText(user);
    w.txtPwd->setText(password);
    w.cmdLogin_Click();
    return w.cmdLogin->text() == QLatin1String("Logout");
}

quint16 fillTlsLogin(frmMain &w, const DovecotServer &dovecot, bool implicitTls, const QString &password)
{
    const quint16 port = implicitTls ? dovecot.tlsPort() : dovecot.port();
    if (implicitTls)
        w.addImplicitTlsPort(port);
    fillLogin(w, port, TlsUser, password);
    return port;
}

bool logout(frmMain &w, MessageBoxRecorder &boxes, int timeoutMs)
{
    boxes.answers.enqueue(MsgAnswer::Yes);
    w.cmdLogin->click();
    return QTest::qWaitFor([&] { return loggedOutAndIdle(w); }, timeoutMs);
}

QByteArray mailText(const TestMail &mail)
{
    return "Return-Path: <x@example.com>\r\nDate: " + mail.date + "\r\nFrom: " + mail.from
           + "\r\nTo: bob@example.com\r\nSubject: " + mail.subject + "\r\n\r\n" + mail.body;
}

QByteArray multiLine(const QByteArray &text)
{
    QByteArray out = "+OK\r\n";
    for (const QByteArray &line : text.split('\n')) {
        if (line.isEmpty())
            continue;
        out += (line.startsWith('.') ? "." : "") + line + "\n";
    }
    return out + ".\r\n";
}

QList<TestMail> numberedMails(int count)
{
    QList<TestMail> mails;
    for (int n = 1; n <= count; ++n)
        mails << TestMail{"Tue, 3 Aug 2004 10:1" + QByteArray::number(n % 10) + ":00 +0200",
                          "Sender " + QByteArray::number(n) + " <s" + QByteArray::number(n) + "@example.com>",
                          "Subject " + QByteArray::number(n), "Body of mail " + QByteArray::number(n) + "\r\n",
                          "uid-" + QByteArray::number(n)};
    return mails;
}

void scriptLogin(ScriptedPop3Server &server, const QList<TestMail> &mails)
{
    QStringList ids;
    QList<qint64> sizes;
    for (const TestMail &mail : mails) {
        ids << QString::fromLatin1(mail.uid);
        sizes << mailText(mail).size();
    }
    Pop3Scripts::session(server, "bob", "secret", ids, sizes);
}

void scriptTop(ScriptedPop3Server &server, int n, const QByteArray &reply)
{
    server.reply("TOP " + QByteArray::number(n) + " 10\r\n", reply);
}

void scriptTops(ScriptedPop3Server &server, const QList<TestMail> &mails, int from, int till)
{
    for (int n = from; n <= till; ++n)
        scriptTop(server, n, multiLine(mailText(mails[n - 1])));
}

QByteArray retrReply(const QByteArray &mail)
{
    QByteArray reply = "+OK " + QByteArray::number(mail.size()) + " octets\r\n";
    qsizetype pos = 0;
    while (pos < mail.size()) {
        const qsizetype nl = mail.indexOf("\r\n", pos);
        const qsizetype end = nl < 0 ? mail.size() : nl + 2;
        if (mail.at(pos) == '.')
            reply += '.';
        reply += mail.mid(pos, end - pos);
        pos = end;
    }
    return reply + ".\r\n";
}

QList<HttpMailServer::Mail> threeHotmailMails(const QByteArray &first, const QByteArray &second,
                                              const QByteArray &third)
{
    return {
        HttpMailServer::makeMail("m1", "Bob <bob@example.com>", "Hello", "2004-08-03T10:11:12Z", first, true),
        HttpMailServer::makeMail("m2", "Carol <carol@example.com>", "Figures", "2004-08-04T09:00:00Z", second, false),
        HttpMailServer::makeMail("m3", "Dave <dave@example.com>", "Photos", "2004-08-05T08:30:00Z", third, false),
    };
}

void setRange(QComboBox *from, QComboBox *till, const QString &lower, const QString &upper)
{
    from->setEditText(lower);
    till->setEditText(upper);
}

QStringList column(const FlexGrid *grid, int col)
{
    QStringList texts;
    for (int r = 2; r < grid->Rows(); ++r)
        texts << grid->TextMatrix(r, col);
    return texts;
}

void selectRows(FlexGrid *grid, int anchor, int current)
{
    grid->SetCol(1);
    grid->SetRow(current);
    const int top = qMin(anchor, current) - grid->FixedRows();
    const int bottom = qMax(anchor, current) - grid->FixedRows();
    const QAbstractItemModel *cells = grid->model();
    grid->selectionModel()->select(QItemSelection(cells->index(top, 0), cells->index(bottom, grid->Cols() - 1)),
                                   QItemSelectionModel::ClearAndSelect);
}

void selectCell(frmMain &w, int row, int col)
{
    w.grdMails->SetCol(col);
    w.grdMails->SetRow(row);
}

bool isBlueRow(const FlexGrid *grid, int row)
{
    const QColor blue = vb::ColorFromLiteral(QStringLiteral("&HFF0000"));
    for (int c = 0; c <= 4; ++c)
        if (grid->CellForeColor(row, c) != blue)
            return false;
    return true;
}

QStringList blueMails(const FlexGrid *grid)
{
    QStringList mails;
    for (int r = 2; r < grid->Rows(); ++r)
        if (isBlueRow(grid, r))
            mails << grid->TextMatrix(r, 3);
    return mails;
}

QList<MailRow> numberedRows(int count)
{
    QList<MailRow> rows;
    for (int n = 1; n <= count; ++n)
        rows << MailRow{QStringLiteral(" Tue, 3 Aug 2004"), QStringLiteral(" Sender %1").arg(n),
                        QStringLiteral(" Subject %1").arg(n), QString::number(n), QString(), QString()};
    return rows;
}

void putMailRows(frmMain &w, const QList<MailRow> &rows)
{
    FlexGrid *g = w.grdMails;
    g->Clear();
    g->SetRows(2 + int(rows.size()));
    const QStringList headings{"Date", "From", "Subject", "Id", "Size", "URL"};
    for (int c = 0; c < headings.size(); ++c)
        g->SetTextMatrix(0, c, headings.at(c));
    for (int i = 0; i < rows.size(); ++i) {
        const MailRow &r = rows.at(i);
        const QStringList cells{r.date, r.from, r.subject, r.id, r.size, r.url};
        for (int c = 0; c < cells.size(); ++c)
            g->SetTextMatrix(2 + i, c, cells.at(c));
    }
}

void putMailRows(frmMain &w, int count)
{
    putMailRows(w, numberedRows(count));
}

bool showMails(frmMain &w, int from, int till, int timeoutMs)
{
    setRange(w.cboFrom, w.cboTill, QString::number(from), QString::number(till));
    w.cmdShow->click();
    return QTest::qWaitFor([&] { return w.cmdShow->text() == QLatin1String("Show") && w.prgProgress->isHidden(); },
                           timeoutMs);
}

QList<bool> enabledControls(const frmMain &w)
{
    return {w.cmdLogin->isEnabled(),  w.cmdStats->isEnabled(), w.cmdLoad->isEnabled(),    w.cmdSave->isEnabled(),
            w.cmdDelete->isEnabled(), w.cmdShow->isEnabled(),  w.ckAutoLogin->isEnabled()};
}

const QList<bool> AllEnabled{true, true, true, true, true, true, true};

void viewMail(frmMain &w, int n)
{
    selectCell(w, n + 1);
    w.mnuCompleteMail_Click();
}

bool viewDone(const frmMain &w, int timeoutMs)
{
    return QTest::qWaitFor([&] { return !session(w).bListForView() && w.prgProgress->isHidden(); }, timeoutMs);
}

} // namespace kit

QString WindowRecorders::messageFile() const
{
    return QDir(MessageFileFolders(programDir.path(), dataDir.path()).first()).filePath(QStringLiteral("test.eml"));
}

void WindowRecorders::useFolders(frmMain &w) const
{
    w.setProgramFolder(programDir.path());
    w.setDataFolder(dataDir.path());
}

bool WindowFixture::login(int timeoutMs)
{
    if (kit::login(w, server.port(), timeoutMs))
        return true;
    qWarning() << "login failed:" << server.mismatches() << server.receivedLines();
    return false;
}

bool HotmailWindowFixture::startServer()
{
    server.setCredentials(QStringLiteral("alice@hotmail.com"), QStringLiteral("secret"));
    return server.start();
}
