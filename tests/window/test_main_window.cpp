// The main window in its logged-out layout, its shared procedures, the
// progress display and the grid adapter, all on real widgets offscreen.

#include "frmMainTestAccess.h"
#include "MessageBoxRecorder.h"
#include "PlatformRecorder.h"
#include "window/FlexGrid.h"
#include "window/frmMain.h"
#include "window/modProgress.h"
#include "window/StatusLamp.h"
#include "window/VbColor.h"
#include "WindowTestKit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

using namespace modProgress;

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
    }

    void loggedOutLayout()
    {
        RecordedWindow f;
        QCOMPARE(f.w.windowTitle(), QStringLiteral("Mailvane 2.6.2"));
        QCOMPARE(f.w.height(), 7890 / 15);
        QCOMPARE(f.w.cboPort->count(), 291);
        QCOMPARE(f.w.cboPort->itemText(0), QStringLiteral("10"));
        QCOMPARE(f.w.cboPort->itemText(290), QStringLiteral("300"));
        QCOMPARE(f.w.cboPort->currentText(), QStringLiteral("110"));
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login"));
        for (QWidget *hidden : {static_cast<QWidget *>(f.w.fraStats), static_cast<QWidget *>(f.w.fraBrowse),
                                static_cast<QWidget *>(f.w.fraRetrieval), static_cast<QWidget *>(f.w.fraDeletion),
                                static_cast<QWidget *>(f.w.ckAutoLogin), static_cast<QWidget *>(f.w.cmdHlpAutoLogin),
                                static_cast<QWidget *>(f.w.cmdStats), static_cast<QWidget *>(f.w.ckUpdtChanges),
                                static_cast<QWidget *>(f.w.cmdHlpUpdtChanges), static_cast<QWidget *>(f.w.grdStats),
                                static_cast<QWidget *>(f.w.prgProgress), static_cast<QWidget *>(f.w.lblProgress)})
            QVERIFY2(f.w.findChild<QWidget *>(hidden->objectName())->isHidden(), qPrintable(hidden->objectName()));
        QVERIFY(!f.w.fraLogin->isHidden());
        QVERIFY(!f.w.Frame7->isHidden());
        QCOMPARE(f.w.shpStatus->FillColor(), QColor(255, 0, 0));
        QCOMPARE(f.w.txtUser->maxLength(), 50);
        QCOMPARE(f.w.txtPwd->maxLength(), 50);
        QCOMPARE(f.w.txtPwd->echoMode(), QLineEdit::Password);
        QCOMPARE(f.w.txtMailServer->maxLength(), 100);
        QCOMPARE(f.w.grdMails->toolTip(), QStringLiteral("Right click for menu options"));
        QCOMPARE(f.w.ckAutoLogin->text(), QStringLiteral("Do AutoLogin "));
        QVERIFY(!kit::session(f.w).bStatDone());
        // Controls are found by their own names.
        for (const char *name : {"txtUser", "txtPwd", "txtMailServer", "cboPort", "cmdLogin", "grdMails", "grdStats",
                                 "cboFrom", "cboTill", "cboDelFrom", "cboDelTill", "cmdShow", "cmdDelete",
                                 "ckShowOnlyNew", "ckUpdtChanges", "cmdLoad", "cmdSave", "ckHelpFlag", "cmdAbout",
                                 "lblMails", "lblMailSize", "lblTotalMails", "lblNewMails", "shpStatus"})
            QVERIFY2(f.w.findChild<QObject *>(QString::fromLatin1(name)), name);
        QVERIFY(f.boxes.boxes.isEmpty());
    }

    void helpSettingDefaultsOnAndIsKept()
    {
        {
            frmMain w;
            QVERIFY(w.ckHelpFlag->isChecked());
            QVERIFY(!w.cmdHlpLogin->isHidden());
            QVERIFY(w.cmdHlpAutoLogin->isHidden()); // its box is hidden before a login
            w.ckHelpFlag->setChecked(false);
            QVERIFY(w.cmdHlpLogin->isHidden());
            QVERIFY(w.cmdHlpStats->isHidden());
        }
        QCOMPARE(QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).value("Settings/Help").toString(),
                 QStringLiteral("0"));
        frmMain again;
        QVERIFY(!again.ckHelpFlag->isChecked());
        QVERIFY(again.cmdHlpLogin->isHidden());
    }

    void checkInterrupt()
    {
        frmMain w;
        w.cmdShow->setText(QStringLiteral("Stop"));
        w.EnableControls(false);
        kit::session(w).bRelogin() = true;
        QVERIFY(!w.CheckInterrupt());
        QCOMPARE(w.cmdShow->text(), QStringLiteral("Stop"));
        QVERIFY(!w.cmdLogin->isEnabled());
        QVERIFY(kit::session(w).bRelogin());

        kit::session(w).bStopRequested() = true;
        StartProgress();
        QVERIFY(w.CheckInterrupt());
        QVERIFY(!w.CheckInterrupt()); // the request is used up
        QCOMPARE(w.lblProgress->text(), QStringLiteral("Interrupted by user!"));
        QVERIFY(w.prgProgress->isHidden());
        QCOMPARE(w.cmdShow->text(), QStringLiteral("Show"));
        QCOMPARE(w.cmdDelete->text(), QStringLiteral("Delete"));
        QVERIFY(w.cmdLogin->isEnabled());
        QVERIFY(w.ckAutoLogin->isEnabled());
        QVERIFY(!kit::session(w).bRelogin());
    }

    void recoverFromErrorThenStatisticsButton()
    {
        RecordedWindow f;
        f.w.cmdLogin->setEnabled(false);
        f.w.grdStats->show();
        kit::session(f.w).strPrevCommand() = QStringLiteral("STAT ");
        f.w.RecoverFromError();
        QVERIFY(!f.w.cmdLogin->isEnabled()); // a reply had been handled: Login stays as it was
        QCOMPARE(f.w.cmdStats->text(), QStringLiteral("More>>"));
        QVERIFY(f.w.cmdShow->isEnabled());

        f.w.cmdStats_Click(); // "More>>" is not "More >>": this click hides
        QVERIFY(f.w.grdStats->isHidden());
        QCOMPARE(f.w.cmdStats->text(), QStringLiteral("More >>"));
        QVERIFY(f.boxes.boxes.isEmpty());

        f.w.lblMails->setText(QStringLiteral("0"));
        f.w.cmdStats_Click(); // the next one asks for the list; an empty box says so
        QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("No mails in mailbox")});

        kit::session(f.w).strPrevCommand().clear();
        f.w.RecoverFromError();
        QVERIFY(f.w.cmdLogin->isEnabled()); // failure before any reply
    }

    void quitQuestion_data()
    {
        QTest::addColumn<bool>("answerYes");
        QTest::newRow("No keeps the window") << false;
        QTest::newRow("Yes closes it") << true;
    }
    void quitQuestion()
    {
        QFETCH(bool, answerYes);
        RecordedWindow f;
        f.boxes.answers.enqueue(answerYes ? MsgAnswer::Yes : MsgAnswer::No);
        f.w.show();
        f.w.cmdLogin->setText(QStringLiteral("Logout"));
        QCOMPARE(f.w.close(), answerYes);
        QCOMPARE(f.boxes.boxes.size(), 1);
        QCOMPARE(f.boxes.boxes[0].title, QStringLiteral("Mailvane "));
        QCOMPARE(f.boxes.boxes[0].text, QStringLiteral("You have not logged out yet, Do you still want to quit?"));
        QCOMPARE(f.boxes.boxes[0].buttons, MsgButtons::YesNo);
        QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Question);
        QCOMPARE(f.w.isVisible(), !answerYes);
        QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Logout"));
    }

    void closeWhileLoggedOutAsksNothing()
    {
        RecordedWindow f;
        f.w.show();
        QVERIFY(f.w.close());
        QVERIFY(f.boxes.boxes.isEmpty());
    }

    void progressDisplay()
    {
        frmMain w;
        StartProgress();
        QVERIFY(!w.prgProgress->isHidden());
        QVERIFY(!w.lblProgress->isHidden());
        SetProgressMax(8);
        SetProgressValue(3);
        QCOMPARE(w.prgProgress->value(), 38);
        SetProgressValue(9); // over 100: left where it was
        QCOMPARE(w.prgProgress->value(), 38);
        QCOMPARE(GetProgressValue(), qint64(9));
        ShowProgressText(QStringLiteral("Fetching message 3"));
        QCOMPARE(w.lblProgress->text(), QStringLiteral("Fetching message 3"));

        EndProgress();
        QVERIFY(w.prgProgress->isHidden());
        QCOMPARE(GetProgressMax(), qint64(0));
        SetProgressValue(10); // no total any more: the bar is not touched
        QCOMPARE(w.prgProgress->value(), 0);
        ShowProgressText(QStringLiteral("late"));
        StartProgress();
        QCOMPARE(w.lblProgress->text(), QString());
    }

    void gridAdapter()
    {
        FlexGrid grid;
        grid.SetRows(2);
        grid.SetFixedRows(1);
        grid.SetCols(6);
        grid.SetTextMatrix(0, 0, QStringLiteral("Date"));
        QCOMPARE(grid.Rows(), 2);
        QCOMPARE(grid.Row(), 0); // no current body cell: the heading row
        for (int i = 0; i < 4; ++i) {
            grid.SetRows(grid.Rows() + 1);
            grid.SetRow(grid.Rows() - 1);
            grid.SetTextMatrix(grid.Rows() - 1, 3, QString::number(i + 1));
        }
        QCOMPARE(grid.Rows(), 6);
        QCOMPARE(grid.Row(), 5);
        QCOMPARE(grid.TextMatrix(2, 3), QStringLiteral("1"));
        QCOMPARE(grid.TextMatrix(1, 3), QString());

        // Selection from row 4 up to row 2: the current row and the other end.
        grid.SetRow(4);
        grid.selectionModel()->select(QItemSelection(grid.model()->index(2 - 1, 0), grid.model()->index(4 - 1, 5)),
                                      QItemSelectionModel::ClearAndSelect);
        QCOMPARE(grid.Row(), 4);
        QCOMPARE(grid.RowSel(), 2);

        grid.RemoveItem(3);
        QCOMPARE(grid.Rows(), 5);
        QCOMPARE(grid.TextMatrix(3, 3), QStringLiteral("3"));

        grid.SetCellForeColor(2, 0, QColor(0, 0, 255));
        QCOMPARE(grid.CellForeColor(2, 0), QColor(0, 0, 255));

        grid.Clear(); // empties headings and cells, keeps the rows
        QCOMPARE(grid.Rows(), 5);
        QCOMPARE(grid.TextMatrix(0, 0), QString());
        QCOMPARE(grid.TextMatrix(2, 3), QString());

        grid.SetColWidthTwips(5, 0);
        QVERIFY(grid.isColumnHidden(5));
        grid.SetColWidthTwips(2, 3000);
        QCOMPARE(grid.columnWidth(2), 200);
    }

    // A long run moves the current row at every step: Row() follows at
    // once, the view at the next pause, to the last row named.
    void gridFollowsARowAtAPause()
    {
        FlexGrid grid;
        grid.SetCols(2);
        grid.SetRows(50);
        for (int row = 1; row <= 30; ++row)
            grid.FollowRow(row);
        QCOMPARE(grid.Row(), 30);
        QCOMPARE(grid.currentIndex().row(), -1); // the view has not moved yet
        QTRY_COMPARE(grid.currentIndex().row(), 29);
        QCOMPARE(grid.Row(), 30);

        grid.FollowRow(40);
        grid.SetRow(5); // a row set at once wins over one still on its way
        QCOMPARE(grid.Row(), 5);
        QCOMPARE(grid.currentIndex().row(), 4);
    }

    // Cells filled between BeginFill and EndFill reach the view in one
    // change that covers them all.
    void gridFilledAtOnce()
    {
        FlexGrid grid;
        grid.SetCols(2);
        grid.SetRows(101);
        QSignalSpy changed(grid.model(), &QAbstractItemModel::dataChanged);
        grid.BeginFill();
        for (int row = 1; row <= 100; ++row) {
            grid.SetTextMatrix(row, 0, QString::number(row));
            grid.SetTextMatrix(row, 1, QString::number(row * 10));
        }
        grid.EndFill();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed[0][0].toModelIndex(), grid.model()->index(0, 0));
        QCOMPARE(changed[0][1].toModelIndex(), grid.model()->index(99, 1));
        QCOMPARE(grid.TextMatrix(100, 1), QStringLiteral("1000"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
