#pragma once
// Pieces the mailbox window tests share: test mails, their POP3 scripts, a
// logged-in window, reading and selecting grid rows.

#include "Pop3Scripts.h"
#include "ScriptedPop3Server.h"
#include "app/FlexGrid.h"
#include "app/frmMain.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace kit {

struct TestMail
{
    QByteArray date;
    QByteArray from;
    QByteArray subject;
    QByteArray body = "Hello.\r\n";
    QByteArray uid;
};

inline QByteArray mailText(const TestMail &mail)
{
    return "Return-Path: <x@example.com>\r\nDate: " + mail.date + "\r\nFrom: " + mail.from
           + "\r\nTo: bob@example.com\r\nSubject: " + mail.subject + "\r\n\r\n" + mail.body;
}

// A multi-line reply carrying `text` (lines ending in CR LF), dot-stuffed.
inline QByteArray multiLine(const QByteArray &text)
{
    QByteArray out = "+OK\r\n";
    for (const QByteArray &line : text.split('\n')) {
        if (line.isEmpty())
            continue;
        out += (line.startsWith('.') ? "." : "") + line + "\n";
    }
    return out + ".\r\n";
}

inline QList<TestMail> numberedMails(int count)
{
    QList<TestMail> mails;
    for (int n = 1; n <= count; ++n)
        mails << TestMail{"Tue, 3 Aug 2004 10:1" + QByteArray::number(n % 10) + ":00 +0200",
                          "Sender " + QByteArray::number(n) + " <s" + QByteArray::number(n) + "@example.com>",
                          "Subject " + QByteArray::number(n), "Body of mail " + QByteArray::number(n) + "\r\n",
                          "uid-" + QByteArray::number(n)};
    return mails;
}

// Greeting to LIST for this mailbox; sizes are the texts' sizes.
inline void scriptLogin(ScriptedPop3Server &server, const QList<TestMail> &mails)
{
    QStringList ids;
    QList<qint64> sizes;
    for (const TestMail &mail : mails) {
        ids << QString::fromLatin1(mail.uid);
        sizes << mailText(mail).size();
    }
    Pop3Scripts::session(server, "bob", "secret", ids, sizes);
}

inline void scriptTop(ScriptedPop3Server &server, int n, const QByteArray &reply)
{
    server.reply("TOP " + QByteArray::number(n) + " 10\r\n", reply);
}

inline void scriptTops(ScriptedPop3Server &server, const QList<TestMail> &mails, int from, int till)
{
    for (int n = from; n <= till; ++n)
        scriptTop(server, n, multiLine(mailText(mails[n - 1])));
}

inline void fillLogin(frmMain &w, quint16 port)
{
    w.txtUser->setText(QStringLiteral("bob"));
    w.txtPwd->setText(QStringLiteral("secret"));
    w.txtMailServer->setText(QStringLiteral("127.0.0.1"));
    w.cboPort->setEditText(QString::number(port));
}

// Logs in and waits until the size list is in and the window is idle.
inline bool login(frmMain &w, quint16 port)
{
    fillLogin(w, port);
    w.cmdLogin_Click();
    return QTest::qWaitFor([&] { return !w.grdStats->isHidden() && w.cmdShow->isEnabled(); }, 10000);
}

inline void setRange(QComboBox *from, QComboBox *till, const QString &lower, const QString &upper)
{
    from->setEditText(lower);
    till->setEditText(upper);
}

// Column `col` of the mail rows (row 2 on).
inline QStringList column(const FlexGrid *grid, int col)
{
    QStringList texts;
    for (int r = 2; r < grid->Rows(); ++r)
        texts << grid->TextMatrix(r, col);
    return texts;
}

// Selects the block from `anchor` to `current` as a drag would, leaving the
// current cell in row `current`.
inline void selectRows(FlexGrid *grid, int anchor, int current)
{
    grid->SetRow(current);
    grid->clearSelection();
    const int top = qMin(anchor, current) - grid->FixedRows();
    const int bottom = qMax(anchor, current) - grid->FixedRows();
    grid->setRangeSelected(QTableWidgetSelectionRange(top, 0, bottom, grid->Cols() - 1), true);
}

} // namespace kit
