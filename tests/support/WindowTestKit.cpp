// The shared steps of window tests.

#include "WindowTestKit.h"

#include <QDir>
#include <QProgressBar>
#include <QSettings>

namespace kit {

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
    grid->SetRow(current);
    grid->clearSelection();
    const int top = qMin(anchor, current) - grid->FixedRows();
    const int bottom = qMax(anchor, current) - grid->FixedRows();
    grid->setRangeSelected(QTableWidgetSelectionRange(top, 0, bottom, grid->Cols() - 1), true);
}

} // namespace kit
