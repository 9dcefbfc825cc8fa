// The window as its user sees it, on a real X server: a long run paints at
// most once per frame, yet what the screen shows at its end (and while a box
// waits in its middle) is the window's state at that moment. What the X
// server holds of a widget is compared with what the widget paints.

#include "frmMainTestAccess.h"
#include "MessageBoxRecorder.h"
#include "WindowTestKit.h"
#include "window/FramePacer.h"

#include <QElapsedTimer>
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

// Notes the bar's value and the replies the session waits for at every
// paint of the bar, and the time since the window last painted anything.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(frmMain &w) : m_w(w)
    {
        qApp->installEventFilter(this);
        sincePaint.start();
    }

    QList<QPair<int, int>> barPaints; // value, outstanding replies
    QElapsedTimer sincePaint;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || !watched->isWidgetType()
            || static_cast<QWidget *>(watched)->window() != &m_w)
            return false;
        sincePaint.start();
        if (watched == m_w.prgProgress)
            barPaints << qMakePair(m_w.prgProgress->value(), kit::session(m_w).outstandingReplies());
        return false;
    }

private:
    frmMain &m_w;
};

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
        const QAbstractItemModel *cells = w.grdMails->model();
        QCOMPARE(cells->rowCount(), count + 1);
        QCOMPARE(cells->index(count, 3).data().toString(), QString::number(count));
        QCOMPARE(w.grdMails->Row(), count + 1);
        QCOMPARE(w.grdMails->currentIndex().row(), count);
        const QRect last = w.grdMails->visualRect(cells->index(count, 0));
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

    // A login step that the server answers is followed by the next command,
    // which goes out before the frame that shows the step: the server works
    // on it while the window paints. The step's reply comes when a frame is
    // due, so a paint that went first would be painted at once.
    void loginStepGoesOutBeforeItsFrame_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("bar"); // of 3: the value the step shows
        QTest::newRow("user accepted, password follows") << QByteArray("USER bob\r\n") << QByteArray("+OK\r\n") << 33;
        QTest::newRow("password accepted, STAT follows")
            << QByteArray("PASS secret\r\n") << QByteArray("+OK Logged in.\r\n") << 67;
    }

    void loginStepGoesOutBeforeItsFrame()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, reply);
        QFETCH(int, bar);
        MessageBoxRecorder boxes;
        ScriptedPop3Server server;
        const QList<TestMail> mails = kit::numberedMails(3);
        Pop3Scripts::greetingWithoutCapa(server);
        for (const QByteArray &line : {QByteArray("USER bob\r\n"), QByteArray("PASS secret\r\n")}) {
            const QByteArray answer = line.startsWith("USER") ? QByteArray("+OK\r\n") : QByteArray("+OK Logged in.\r\n");
            server.expect(line);
            if (line == command) // its first octet at once, the rest when the test says
                server.sendManually({reply.left(1), reply.mid(1)});
            else
                server.send(answer);
        }
        QStringList ids;
        QList<qint64> sizes;
        for (const TestMail &mail : mails) {
            ids << QString::fromLatin1(mail.uid);
            sizes << 100;
        }
        Pop3Scripts::stat(server, 3, 300);
        Pop3Scripts::uidl(server, ids);
        Pop3Scripts::list(server, sizes);

        frmMain w;
        QVERIFY(showAsUser(w));
        PaintWatch watch(w);
        kit::fillLogin(w, server.port());
        w.cmdLogin->click();
        QTRY_VERIFY(server.isWaitingForSendNext());
        QTRY_VERIFY(watch.sincePaint.elapsed() > 2 * FramePacer::FrameMs);
        server.sendNext();
        QTRY_VERIFY(kit::loggedInAndIdle(w));
        QCOMPARE(server.mismatches(), QStringList());

        QList<int> stepPaints;
        for (const auto &[value, outstanding] : watch.barPaints) {
            if (value == bar)
                stepPaints << outstanding;
        }
        QVERIFY2(!stepPaints.isEmpty(), "the step was never painted");
        for (int outstanding : stepPaints)
            QCOMPARE(outstanding, 1);
        QVERIFY(boxes.boxes.isEmpty());
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
