// The window as its user sees it, on a real X server: a long run paints at
// most once per frame, yet what the screen shows at its end (and while a box
// waits in its middle) is the window's state at that moment. What the X
// server holds of a widget is compared with what the widget paints.

#include "MessageBoxRecorder.h"
#include "WindowTestKit.h"

#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QWindow>

using kit::TestMail;

namespace {

// Two pictures alike to the eye: gradients drawn in pieces may differ from
// one drawn whole in the lowest bit of a channel.
bool alike(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            if (qAbs(qRed(p) - qRed(q)) > 2 || qAbs(qGreen(p) - qGreen(q)) > 2 || qAbs(qBlue(p) - qBlue(q)) > 2)
                return false;
        }
    }
    return true;
}

// The widget's place on the screen holds what the window paints there now.
bool onScreen(QWidget *widget)
{
    const QPoint at = widget->mapToGlobal(QPoint());
    const QImage shown =
        widget->screen()->grabWindow(0, at.x(), at.y(), widget->width(), widget->height()).toImage();
    const QImage painted =
        widget->window()->grab(QRect(widget->mapTo(widget->window(), QPoint()), widget->size())).toImage();
    return alike(shown, painted);
}

bool showAsUser(frmMain &w)
{
    w.show();
    return QTest::qWaitForWindowExposed(&w);
}

QByteArray dele(int n)
{
    return "DELE " + QByteArray::number(n) + "\r\n";
}

} // namespace

class TestShownWindow : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        kit::clearSavedState();
    }

    // Many replies in a row, each adding a row: the grid, its current row,
    // its scrolling and the progress display end as the last reply left
    // them, on the screen too.
    void sweepEndsShownAsItIs()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const int count = 300;
        const QList<TestMail> mails = kit::numberedMails(count);
        kit::scriptLogin(server, mails);
        kit::scriptTops(server, mails, 1, count);

        frmMain w;
        QVERIFY(showAsUser(w));
        QVERIFY(kit::login(w, server.port()));
        kit::setRange(w.cboFrom, w.cboTill, QStringLiteral("1"), QString::number(count));
        w.cmdShow->click();
        QTRY_COMPARE(w.cmdShow->text(), QStringLiteral("Show"));
        QVERIFY(server.isFinished());
        QCOMPARE(server.mismatches(), QStringList());

        QStringList numbers;
        for (int n = 1; n <= count; ++n)
            numbers << QString::number(n);
        QCOMPARE(kit::column(w.grdMails, 3), numbers);
        // The view holds every row, the last one current and in sight.
        QCOMPARE(w.grdMails->rowCount(), count + 1);
        QCOMPARE(w.grdMails->item(count, 3)->text(), QString::number(count));
        QCOMPARE(w.grdMails->Row(), count + 1);
        QCOMPARE(w.grdMails->currentRow(), count);
        const QRect last = w.grdMails->visualItemRect(w.grdMails->item(count, 0));
        QVERIFY(w.grdMails->viewport()->rect().contains(last));
        QCOMPARE(w.grdStats->Row(), count);
        QVERIFY(w.prgProgress->isHidden());
        QVERIFY(w.lblProgress->isHidden());
        QCOMPARE(w.lblProgress->text(), QString());
        QVERIFY(boxes.boxes.isEmpty());

        QTRY_VERIFY(onScreen(w.grdMails->viewport()));
        QTRY_VERIFY(onScreen(w.grdStats->viewport()));
        QTRY_VERIFY(onScreen(w.lblProgress->parentWidget()));
    }

    // A box that opens in the middle of a range deletion waits for the user
    // with the window behind it showing the step it stopped at.
    void boxMidDeletionSeesTheStep()
    {
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const int count = 40;
        const QList<TestMail> mails = kit::numberedMails(count);
        kit::scriptLogin(server, mails);
        for (int n = count; n > 10; --n)
            server.reply(dele(n), "+OK Marked to be deleted.\r\n");
        server.reply(dele(10), "-ERR Mail 10 is locked.\r\n");

        frmMain w;
        QVERIFY(showAsUser(w));
        QVERIFY(kit::login(w, server.port()));
        kit::setRange(w.cboDelFrom, w.cboDelTill, QStringLiteral("1"), QString::number(count));
        QString textBehindBox;
        int barBehindBox = -1;
        bool labelShown = false;
        bool barShown = false;
        boxes.holdOpen(QStringLiteral("Server error"), [&] {
            textBehindBox = w.lblProgress->text();
            barBehindBox = w.prgProgress->value();
            labelShown = labelShown || onScreen(w.lblProgress);
            barShown = barShown || onScreen(w.prgProgress);
            return labelShown && barShown;
        });
        w.cmdDelete->click();
        QTRY_COMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.heldTooLong, QStringList());
        QCOMPARE(textBehindBox, QStringLiteral("Deleting message 10"));
        QCOMPARE(barBehindBox, 25); // 10 of 40
        QVERIFY(labelShown);
        QVERIFY(barShown);
        QTRY_VERIFY(server.isFinished());
    }
};

QTEST_MAIN(TestShownWindow)
#include "test_shown_window.moc"
