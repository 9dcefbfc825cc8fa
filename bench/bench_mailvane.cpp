// Mailvane's benchmarks. Each run drives the real window as its user has it:
// shown at its own size on a real X server and exposed (message boxes
// answered by the recorder), against a real Dovecot (or GNU mailutils pop3d:
// mu-login, mu-headers) with a generated mailbox, and runs the peer client on
// the same server in the same run. A measurement during which the window was
// not shown and exposed throughout fails the run. headers-hidden measures the
// sweep in a window that is never shown, for comparison.
//
//   bench_mailvane login|login-scram|headers|headers-hidden|delete|mu-login|mu-headers|bigmail|uidl|httpmail|startup [size]
//
// login-scram is the login row with Dovecot offering SCRAM-SHA-256, which
// the window then signs in with (both sides run the PBKDF2 rounds); the peer
// logs in with USER and PASS as in the login row.
//
// Prints one line: name, size, Mailvane's median seconds, the peer's median
// (or "-"), the ratio, where the server lists PIPELINING the median of the
// same peer keeping a window of commands on the wire and that ratio, the
// peak resident memory of this process and, for login, headers and delete,
// Mailvane's median processor time (cpu). MAILVANE_BENCH_WINDOW sets the
// window's own (the commands it keeps out at once), to compare windows.

#include "DovecotServer.h"
#include "frmMainTestAccess.h"
#include "httpmail/clsHotmail.h"
#include "HttpMailServer.h"
#include "mailbox/clsUIDL.h"
#include "MailutilsServer.h"
#include "MessageBoxRecorder.h"
#include "PlatformRecorder.h"
#include "window/FlexGrid.h"
#include "window/frmAbout.h"
#include "window/frmMain.h"
#include "window/ProgramStart.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QUrl>
#include <QWindow>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

const int Runs = 5;

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Sleeps in the event loop until the condition holds: the conditions change
// only through events, and a busy loop would take the CPU from the server.
bool waitFor(const std::function<bool()> &condition, int ms = 600000)
{
    QDeadlineTimer deadline(ms);
    QTimer wake;
    wake.start(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// The window as its user has it: shown at the size it gives itself on the
// real X server, and exposed. A measurement counts only when the window was
// exposed from its start to its end; any Hide, unmapping or minimising
// meanwhile is noticed as it happens.
class ShownWindow : public QObject
{
public:
    explicit ShownWindow(QWidget &window) : m_window(window) {}

    // Shows the window and waits until the X server has exposed it.
    bool show()
    {
        const QSize designed = m_window.size();
        m_window.show();
        if (!waitFor([&] { return exposed(); }, 10000)) {
            std::fprintf(stderr, "bench: the window was not exposed on the X server within 10 s\n");
            return false;
        }
        m_window.windowHandle()->installEventFilter(this);
        m_window.installEventFilter(this);
        if (m_window.size() != designed) {
            std::fprintf(stderr, "bench: the window is %dx%d, not its own %dx%d\n", m_window.width(),
                         m_window.height(), designed.width(), designed.height());
            return false;
        }
        return true;
    }

    void start() { m_hiddenMeanwhile = !exposed(); }

    // False, loudly, when the window was not exposed throughout.
    bool shownThroughout(const QString &row) const
    {
        if (!m_hiddenMeanwhile && exposed())
            return true;
        std::fprintf(stderr, "bench: %s: the window was not shown (visible and exposed on the X server) "
                             "throughout the measurement; the figure would describe a window nobody sees\n",
                     qPrintable(row));
        return false;
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Expose:
        case QEvent::Hide:
        case QEvent::WindowStateChange:
            if (!exposed())
                m_hiddenMeanwhile = true;
            break;
        default:
            break;
        }
        return false;
    }

private:
    bool exposed() const
    {
        return m_window.isVisible() && !m_window.isMinimized() && m_window.windowHandle()
            && m_window.windowHandle()->isExposed();
    }

    QWidget &m_window;
    bool m_hiddenMeanwhile = false;
};

// The window benchmarks measure what a user sees: a real X server only.
bool onRealXServer()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return true;
    std::fprintf(stderr, "bench: the window benchmarks run on a real X server (QT_QPA_PLATFORM=xcb, DISPLAY set); "
                         "this is the \"%s\" platform\n",
                 qPrintable(QGuiApplication::platformName()));
    return false;
}

QByteArray generatedMail(int n, int bodyBytes)
{
    QByteArray mail = "Return-Path: <sender" + QByteArray::number(n) + "@example.com>\r\n"
                      "Received: from mx.example.com by mail.example.org; Tue, 3 Aug 2004 10:11:12 +0200\r\n"
                      "Date: Tue, 3 Aug 2004 10:11:12 +0200\r\n"
                      "From: Sender " + QByteArray::number(n) + " <sender" + QByteArray::number(n) + "@example.com>\r\n"
                      "To: Bench <bench@example.org>\r\n"
                      "Subject: Benchmark mail number " + QByteArray::number(n) + "\r\n"
                      "Message-ID: <" + QByteArray::number(n) + "@example.com>\r\n\r\n";
    const QByteArray line = "The quick brown fox jumps over the lazy dog, line of mail " + QByteArray::number(n) + ".\r\n";
    while (mail.size() < bodyBytes)
        mail += line;
    return mail;
}

// Processor time of this process so far, user and system.
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Time on a processor of every process named `command` so far (Dovecot's
// "pop3": one per session), from the scheduler's nanosecond count. The
// server's own work for a run is the least time any client can take for it.
double processorSecondsOf(const QByteArray &command)
{
    double total = 0;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != command)
            continue;
        QFile schedstat(QStringLiteral("/proc/%1/schedstat").arg(pid));
        if (schedstat.open(QIODevice::ReadOnly))
            total += schedstat.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    return total;
}

struct Result
{
    QString name;
    int size = 0;
    double mailvane = 0;
    double peer = -1;
    long peakKiB = -1; // the process's own peak when not given
    // Mailvane's processor time in its runs (median), X client side included:
    // its own cost, which a loaded machine stretches far less than wall time.
    double cpu = -1;
    double pipelinedPeer = -1;
    // The server's processor time in Mailvane's runs (median).
    double serverCpu = -1;
};

void print(const Result &r)
{
    const QString peer = r.peer < 0 ? QStringLiteral("-") : QString::number(r.peer, 'f', 4);
    const QString ratio = r.peer <= 0 ? QStringLiteral("-") : QString::number(r.mailvane / r.peer, 'f', 2);
    QString piped;
    if (r.pipelinedPeer > 0)
        piped = QStringLiteral(" piped=%1s ratio_piped=%2")
                    .arg(QString::number(r.pipelinedPeer, 'f', 4), QString::number(r.mailvane / r.pipelinedPeer, 'f', 2));
    QString cpu = r.cpu < 0 ? QString() : QStringLiteral(" cpu=%1s").arg(r.cpu, 0, 'f', 4);
    if (r.serverCpu >= 0)
        cpu += QStringLiteral(" server_cpu=%1s").arg(r.serverCpu, 0, 'f', 4);
    std::printf("%-10s size=%-7d mailvane=%.4fs peer=%ss ratio=%s%s peak_rss=%ldKiB%s\n", qPrintable(r.name), r.size,
                r.mailvane, qPrintable(peer), qPrintable(ratio), qPrintable(piped),
                r.peakKiB < 0 ? peakRssKiB() : r.peakKiB, qPrintable(cpu));
    std::fflush(stdout);
}

const QString BenchUser = QStringLiteral("bench");
// Virtual users of mailutils pop3d log in with their domain.
const QString MailutilsBenchUser = QStringLiteral("bench@bench.test");

long statusKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Starts a new peak of the resident memory (Linux: VmHWM is reset).
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// The peer's window for its -pipelined operations.
const int PeerWindow = 64;

// One run of the peer; its own measure of the work, without its start-up.
double runPeer(const QString &op, quint16 port, int count, const QString &user = BenchUser)
{
    QProcess peer;
    peer.start(QStringLiteral("python3"), {QStringLiteral(MAILVANE_BENCH_DIR "/peer_pop3.py"), op,
                                          QString::number(port), QString::number(count), user,
                                          QString::number(PeerWindow)});
    if (!peer.waitForFinished(600000))
        return -1;
    bool ok = false;
    const double seconds = peer.readAllStandardOutput().trimmed().toDouble(&ok);
    if (!ok) {
        std::fprintf(stderr, "peer %s failed: %s\n", qPrintable(op), peer.readAllStandardError().constData());
        return -1;
    }
    return seconds;
}

// The server a login or header sweep runs against.
struct Target
{
    QString name; // of the printed row
    quint16 port;
    QString user;
    bool pipelining = false; // the server lists PIPELINING: the pipelined peer runs too
};

// The window's own, where MAILVANE_BENCH_WINDOW names one.
void setBenchWindow(frmMain &w)
{
    const int window = qEnvironmentVariableIntValue("MAILVANE_BENCH_WINDOW");
    if (window > 0)
        w.setPipelineWindow(window);
}

struct Mailbox
{
    DovecotServer dovecot;
    bool ready = false;
    Mailbox(int mails, int bodyBytes, const QString &mechanisms = QStringLiteral("plain"))
    {
        dovecot.setAuthMechanisms(mechanisms);
        dovecot.addUser(QStringLiteral("bench"), QStringLiteral("bench"));
        for (int n = 1; n <= mails; ++n)
            dovecot.deliver(QStringLiteral("bench"), generatedMail(n, bodyBytes));
        ready = dovecot.start();
        if (!ready)
            std::fprintf(stderr, "Dovecot: %s\n", qPrintable(dovecot.errorString()));
        else
            runPeer(QStringLiteral("login"), dovecot.port(), 0); // Dovecot indexes new mail on first use
    }
};

struct MailutilsMailbox
{
    MailutilsServer pop3d;
    bool ready = false;
    MailutilsMailbox(int mails, int bodyBytes)
    {
        pop3d.addUser(MailutilsBenchUser, QStringLiteral("bench"));
        for (int n = 1; n <= mails; ++n)
            pop3d.deliver(MailutilsBenchUser, generatedMail(n, bodyBytes));
        ready = pop3d.start();
        if (!ready)
            std::fprintf(stderr, "pop3d: %s\n", qPrintable(pop3d.errorString()));
        else
            runPeer(QStringLiteral("login"), pop3d.port(), 0, MailutilsBenchUser); // its ids go into the mails
    }
};

void fillLogin(frmMain &w, quint16 port, const QString &user = BenchUser)
{
    w.txtUser->setText(user);
    w.txtPwd->setText(QStringLiteral("bench"));
    w.txtMailServer->setText(QStringLiteral("127.0.0.1"));
    w.cboPort->setEditText(QString::number(port));
}

// Every login finds every mail new, as the first one does.
void forgetSeenMails(const frmMain &w)
{
    QFile::remove(w.txtUser->text() + QStringLiteral("_127.0.0.1.uidl"));
}

bool loginAndWait(frmMain &w)
{
    forgetSeenMails(w);
    w.cmdLogin_Click();
    return waitFor([&] { return !w.grdStats->isHidden(); });
}

void logout(frmMain &w, MessageBoxRecorder &boxes)
{
    boxes.answers.enqueue(MsgAnswer::Yes);
    w.cmdLogin_Click();
    waitFor([&] { return w.cmdLogin->text() == QLatin1String("Login"); });
}

// A login is short and mostly the server's own work, which varies by a few
// per cent from run to run: more runs than elsewhere.
const int LoginRuns = 9;

int measureLogin(const Target &target, int size)
{
    MessageBoxRecorder boxes;
    QList<double> times, peerTimes, cpuTimes;
    for (int i = 0; i < LoginRuns; ++i) {
        frmMain w;
        ShownWindow shown(w);
        if (!shown.show())
            return 1;
        fillLogin(w, target.port, target.user);
        forgetSeenMails(w); // the bench's own housekeeping, before the clock starts
        QElapsedTimer timer;
        timer.start();
        const double cpuBefore = cpuSeconds();
        shown.start();
        if (!loginAndWait(w))
            return 1;
        times << timer.nsecsElapsed() / 1e9;
        cpuTimes << cpuSeconds() - cpuBefore;
        if (!shown.shownThroughout(target.name))
            return 1;
        logout(w, boxes); // pop3d serves one session per mailbox at a time
        peerTimes << runPeer(QStringLiteral("login"), target.port, size, target.user); // interleaved: same server state
    }
    print({target.name, size, median(times), median(peerTimes), -1, median(cpuTimes)});
    return 0;
}

// The header sweep in a shown window, or (headers-hidden) in one never shown.
int measureHeaders(const Target &target, int size, int runs, bool showWindow = true)
{
    MessageBoxRecorder boxes;
    QList<double> times, peerTimes, pipelinedTimes, cpuTimes, serverTimes;
    for (int i = 0; i < runs; ++i) {
        frmMain w;
        setBenchWindow(w);
        ShownWindow shown(w);
        if (showWindow && !shown.show())
            return 1;
        fillLogin(w, target.port, target.user);
        if (!loginAndWait(w))
            return 1;
        w.cboFrom->setEditText(QStringLiteral("1"));
        w.cboTill->setEditText(QString::number(size));
        QElapsedTimer timer;
        timer.start();
        const double cpuBefore = cpuSeconds();
        const double serverBefore = processorSecondsOf("pop3");
        shown.start();
        w.cmdShow_Click();
        if (!waitFor([&] { return w.cmdShow->text() == QLatin1String("Show"); }))
            return 1;
        times << timer.nsecsElapsed() / 1e9;
        cpuTimes << cpuSeconds() - cpuBefore;
        serverTimes << processorSecondsOf("pop3") - serverBefore;
        if (showWindow && !shown.shownThroughout(target.name))
            return 1;
        if (w.grdMails->Rows() != size + 2)
            std::fprintf(stderr, "headers: %d rows\n", w.grdMails->Rows());
        logout(w, boxes); // pop3d serves one session per mailbox at a time
        peerTimes << runPeer(QStringLiteral("headers"), target.port, size, target.user); // interleaved: same server state
        if (target.pipelining)
            pipelinedTimes << runPeer(QStringLiteral("headers-pipelined"), target.port, size, target.user);
    }
    Result result{target.name, size, median(times), median(peerTimes), -1, median(cpuTimes)};
    if (target.name.startsWith(QLatin1String("headers")))
        result.serverCpu = median(serverTimes);
    if (target.pipelining)
        result.pipelinedPeer = median(pipelinedTimes);
    print(result);
    return 0;
}

int benchLogin(int size)
{
    Mailbox box(size, 600);
    if (!box.ready)
        return 1;
    return measureLogin({QStringLiteral("login"), box.dovecot.port(), BenchUser}, size);
}

int benchScramLogin(int size)
{
    Mailbox box(size, 600, QStringLiteral("plain scram-sha-256"));
    if (!box.ready)
        return 1;
    return measureLogin({QStringLiteral("login-scram"), box.dovecot.port(), BenchUser}, size);
}

int benchHeaders(int size)
{
    Mailbox box(size, 600);
    if (!box.ready)
        return 1;
    return measureHeaders({QStringLiteral("headers"), box.dovecot.port(), BenchUser, true}, size,
                          size > 4000 ? 3 : Runs);
}

int benchHiddenHeaders(int size)
{
    Mailbox box(size, 600);
    if (!box.ready)
        return 1;
    return measureHeaders({QStringLiteral("headers-hidden"), box.dovecot.port(), BenchUser, true}, size,
                          size > 4000 ? 3 : Runs, false);
}

// A range deletion as the user runs it: from the click on Delete, DELE for
// every mail of the range one by one, QUIT, and the login the window does
// again by itself, until its size list is in. The peer does the same
// commands: DELE 1..size one by one, QUIT, and the login again. The box keeps a few mails beyond the range
// so that the new login ends as a login does, with a size list.
int benchDelete(int size)
{
    const int kept = 10;
    Mailbox box(size + kept, 600);
    if (!box.ready)
        return 1;
    const auto refill = [&] {
        for (int n = 1; n <= size; ++n)
            box.dovecot.deliver(BenchUser, generatedMail(n, 600));
        runPeer(QStringLiteral("login"), box.dovecot.port(), 0); // indexed before the measured run
    };
    MessageBoxRecorder boxes;
    QList<double> times, peerTimes, pipelinedTimes, cpuTimes;
    for (int i = 0; i < Runs; ++i) {
        {
            frmMain w;
            setBenchWindow(w);
            ShownWindow shown(w);
            if (!shown.show())
                return 1;
            fillLogin(w, box.dovecot.port());
            if (!loginAndWait(w))
                return 1;
            w.cboDelFrom->setEditText(QStringLiteral("1"));
            w.cboDelTill->setEditText(QString::number(size));
            QElapsedTimer timer;
            timer.start();
            const double cpuBefore = cpuSeconds();
            shown.start();
            w.cmdDelete_Click();
            // The new login's size list names the mails kept.
            if (!waitFor([&] {
                    return w.grdStats->Rows() == kept + 1 && !w.grdStats->isHidden()
                        && w.cmdLogin->text() == QLatin1String("Logout") && w.prgProgress->isHidden();
                })) {
                std::fprintf(stderr, "delete: the window did not log in again (%s)\n",
                             qPrintable(boxes.texts().join(QLatin1Char('|'))));
                return 1;
            }
            times << timer.nsecsElapsed() / 1e9;
            cpuTimes << cpuSeconds() - cpuBefore;
            if (!shown.shownThroughout(QStringLiteral("delete")))
                return 1;
            logout(w, boxes);
        }
        refill();
        peerTimes << runPeer(QStringLiteral("delete"), box.dovecot.port(), size);
        refill();
        pipelinedTimes << runPeer(QStringLiteral("delete-pipelined"), box.dovecot.port(), size);
        refill();
    }
    Result result{QStringLiteral("delete"), size, median(times), median(peerTimes), -1, median(cpuTimes)};
    result.pipelinedPeer = median(pipelinedTimes);
    print(result);
    return 0;
}

int benchMailutilsLogin(int size)
{
    MailutilsMailbox box(size, 600);
    if (!box.ready)
        return 1;
    return measureLogin({QStringLiteral("mu-login"), box.pop3d.port(), MailutilsBenchUser}, size);
}

int benchMailutilsHeaders(int size)
{
    MailutilsMailbox box(size, 600);
    if (!box.ready)
        return 1;
    // The peer waits about 45 ms per mail here: fewer runs for the big box.
    return measureHeaders({QStringLiteral("mu-headers"), box.pop3d.port(), MailutilsBenchUser}, size,
                          size >= 1000 ? 3 : Runs);
}

int benchBigMail(int megabytes)
{
    Mailbox box(1, megabytes * 1024 * 1024);
    if (!box.ready)
        return 1;
    MessageBoxRecorder boxes;
    PlatformRecorder platform;
    platform.hasMailViewerResult = false;
    platform.startTextViewerResult = true;
    QList<double> times, peerTimes;
    long viewPeak = 0;
    long idleBefore = 0; // the shown window's resident memory just before a view
    QTemporaryDir folder;
    for (int i = 0; i < Runs; ++i) {
        frmMain w;
        ShownWindow shown(w);
        if (!shown.show())
            return 1;
        w.setProgramFolder(folder.path());
        w.setDataFolder(folder.path()); // where the mail goes when the program folder is not the user's
        fillLogin(w, box.dovecot.port());
        if (!loginAndWait(w))
            return 1;
        // One listed mail, selected, as a retrieval leaves it.
        w.grdMails->SetRows(3);
        for (int c = 0; c < 5; ++c)
            w.grdMails->SetTextMatrix(2, c, c == 3 ? QStringLiteral("1") : QStringLiteral("x"));
        w.grdMails->SetRow(2);
        const int viewsBefore = platform.count(QStringLiteral("startTextViewer"));
        boxes.answers.enqueue(MsgAnswer::Yes);
        idleBefore = qMax(idleBefore, statusKiB("VmRSS:"));
        resetPeak(); // the view's own peak, not the mailbox's making
        QElapsedTimer timer;
        timer.start();
        shown.start();
        w.mnuCompleteMail_Click();
        if (!waitFor([&] { return platform.count(QStringLiteral("startTextViewer")) > viewsBefore; }, 120000)) {
            std::fprintf(stderr, "bigmail: no view (%s)\n", qPrintable(boxes.texts().join(QLatin1Char('|'))));
            return 1;
        }
        times << timer.nsecsElapsed() / 1e9;
        if (!shown.shownThroughout(QStringLiteral("bigmail")))
            return 1;
        viewPeak = qMax(viewPeak, statusKiB("VmHWM:"));
        if (QFileInfo(QDir(folder.path()).filePath(QStringLiteral("test.eml"))).size() < megabytes * 1024 * 1024)
            std::fprintf(stderr, "bigmail: short test.eml\n");
        peerTimes << runPeer(QStringLiteral("bigmail"), box.dovecot.port(), 0); // interleaved: same server state
        logout(w, boxes);
    }
    // peak_rss: the highest resident memory while a view ran.
    print({QStringLiteral("bigmail"), megabytes, median(times), median(peerTimes), viewPeak});
    // What the view itself holds, apart from the shown window and its libraries.
    std::printf("bigmail    size=%-7d resident before the view %ldKiB, the view's peak above it %ldKiB\n", megabytes,
                idleBefore, viewPeak - idleBefore);
    std::fflush(stdout);
    return 0;
}

int benchUidl(int size)
{
    QByteArray store;
    QString reply = QStringLiteral("+OK\r\n");
    for (int n = 1; n <= size; ++n) {
        const QByteArray id = QByteArray::number(0x1000000000000000LL + n * 7919LL, 16);
        store += id + "\r\n";
        reply += QString::number(n) + u' ' + QString::fromLatin1(id) + QStringLiteral("\r\n");
    }
    reply += QStringLiteral(".\r\n");
    QFile file(QStringLiteral("bench.uidl"));
    file.open(QIODevice::WriteOnly);
    file.write(store);
    file.close();
    MessageBoxRecorder boxes;
    QList<double> times;
    for (int i = 0; i < Runs; ++i) {
        frmMain w;
        ShownWindow shown(w);
        if (!shown.show())
            return 1;
        kit::session(w).objUIDL() = std::make_unique<clsUIDL>();
        kit::session(w).objUIDL()->LoadFromFile(QStringLiteral("bench.uidl"));
        kit::session(w).colNewMails() = std::make_unique<NewMailList>();
        w.lblMails->setText(QString::number(size));
        QElapsedTimer timer;
        timer.start();
        shown.start();
        w.ProcessUidlReply(reply);
        times << timer.nsecsElapsed() / 1e9;
        if (!shown.shownThroughout(QStringLiteral("uidl")))
            return 1;
        kit::session(w).objUIDL().reset();
    }
    print({QStringLiteral("uidl"), size, median(times), -1});
    return 0;
}

// The HTTPMail server of the benchmark, in a process of its own so that
// its memory does not count as Mailvane's: prints its endpoint, then serves
// until its input closes.
int serveHttpMail(int size)
{
    HttpMailServer server;
    if (!server.start())
        return 1;
    server.setCredentials(QStringLiteral("bench@hotmail.com"), QStringLiteral("bench"));
    QList<HttpMailServer::Mail> mails;
    for (int n = 1; n <= size; ++n)
        mails << HttpMailServer::makeMail(QStringLiteral("m%1").arg(n), QStringLiteral("Sender %1 <s%1@example.com>").arg(n),
                                          QStringLiteral("Subject %1").arg(n), QStringLiteral("2004-08-03T10:11:12Z"),
                                          QByteArray(100, 'x'), n % 3 == 0);
    server.setMails(mails);
    std::printf("%s\n", qPrintable(server.endpointUrl().toString()));
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
    return QCoreApplication::exec();
}

int benchHttpMail(int size)
{
    QProcess server;
    server.start(QCoreApplication::applicationFilePath(), {QStringLiteral("httpmail-server"), QString::number(size)});
    if (!waitFor([&] { return server.canReadLine() || server.state() == QProcess::NotRunning; }, 60000)
        || !server.canReadLine()) {
        std::fprintf(stderr, "httpmail: the server did not start\n");
        return 1;
    }
    const QUrl endpoint(QString::fromLatin1(server.readLine().trimmed()));
    QList<double> times;
    resetPeak(); // the listings' peak, not the start-up's
    for (int i = 0; i < Runs; ++i) {
        clsHotmail hotmail(endpoint);
        QElapsedTimer timer;
        timer.start();
        hotmail.DoLogin(QStringLiteral("bench@hotmail.com"), QStringLiteral("bench"));
        const clsHotmail::MailList list = hotmail.GetInboxMails();
        times << timer.nsecsElapsed() / 1e9;
        if (list.size() != size)
            std::fprintf(stderr, "httpmail: %d records (%s)\n", int(list.size()), qPrintable(hotmail.GetError()));
    }
    server.closeWriteChannel();
    server.waitForFinished(10000);
    print({QStringLiteral("httpmail"), size, median(times), -1, statusKiB("VmHWM:")});
    return 0;
}

// Seconds since this process started, from the kernel's own record.
double secondsSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(19).toDouble();
    const double now = uptime.readAll().split(' ').value(0).toDouble();
    return now - startTicks / double(sysconf(_SC_CLK_TCK));
}

long residentKiB()
{
    return statusKiB("VmRSS:");
}

// Seconds since the launch: from the time scripts/bench took just before it
// started this process (MAILVANE_BENCH_LAUNCH_NS, nanoseconds since the
// epoch), else from the kernel's record of the process start (10 ms ticks).
double secondsSinceLaunch()
{
    bool ok = false;
    const qint64 launched = qEnvironmentVariable("MAILVANE_BENCH_LAUNCH_NS").toLongLong(&ok);
    if (!ok)
        return secondsSinceProcessStart();
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return (qint64(now.tv_sec) * 1000000000 + now.tv_nsec - launched) / 1e9;
}

// The time at which a window's first frame has been drawn and handed to the X
// server: a zero timer posted at its first paint fires once that paint and its
// flush are done, before anything else the program queued for after it.
class FirstFrame : public QObject
{
public:
    explicit FirstFrame(QWidget &window) : m_window(window) { window.installEventFilter(this); }

    bool drawn() const { return seconds >= 0; }

    double seconds = -1;
    double cpu = -1;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            m_window.removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                cpu = cpuSeconds();
                seconds = secondsSinceLaunch();
            });
        }
        return false;
    }

private:
    QWidget &m_window;
};

int benchStartup()
{
    // As the program does it: the about box first, the main window loaded behind it.
    ProgramStart start;
    frmAbout *about = start.start();
    FirstFrame firstFrame(*about);
    ShownWindow aboutShown(*about);
    if (!aboutShown.show() || !waitFor([&] { return firstFrame.drawn(); }, 10000))
        return 1;
    const double firstWindow = firstFrame.seconds;
    const double firstWindowCpu = firstFrame.cpu;
    if (!waitFor([&] { return start.isMainWindowLoaded(); }, 10000)) {
        std::fprintf(stderr, "startup: the main window was not loaded behind the about box\n");
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    about->close();
    const frmMain &w = start.mainWindow();
    if (!waitFor([&] { return w.isVisible() && w.windowHandle() && w.windowHandle()->isExposed(); }, 10000)) {
        std::fprintf(stderr, "startup: the main window was not exposed after the about box closed\n");
        return 1;
    }
    const double mainWindow = timer.nsecsElapsed() / 1e9;
    QTest::qWait(200);
    std::printf("startup    to the first window drawn %.3fs (%.3fs of processor time), the main window %.3fs after "
                "the about box closed, idle resident memory %ldKiB\n",
                firstWindow, firstWindowCpu, mainWindow, residentKiB());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString which = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
    const int size = argc > 2 ? QString::fromLatin1(argv[2]).toInt() : 0;
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    const QStringList windowBenchmarks = {QStringLiteral("login"),    QStringLiteral("headers"),
                                          QStringLiteral("headers-hidden"), QStringLiteral("delete"),
                                          QStringLiteral("mu-login"), QStringLiteral("mu-headers"),
                                          QStringLiteral("bigmail"),  QStringLiteral("uidl"),
                                          QStringLiteral("startup")};
    if (windowBenchmarks.contains(which) && !onRealXServer())
        return 1;
    if (which == QLatin1String("login"))
        return benchLogin(size ? size : 2000);
    if (which == QLatin1String("login-scram"))
        return benchScramLogin(size ? size : 2000);
    if (which == QLatin1String("headers"))
        return benchHeaders(size ? size : 2000);
    if (which == QLatin1String("headers-hidden"))
        return benchHiddenHeaders(size ? size : 2000);
    if (which == QLatin1String("delete"))
        return benchDelete(size ? size : 1000);
    if (which == QLatin1String("mu-login"))
        return benchMailutilsLogin(size ? size : 1000);
    if (which == QLatin1String("mu-headers"))
        return benchMailutilsHeaders(size ? size : 1000);
    if (which == QLatin1String("bigmail"))
        return benchBigMail(size ? size : 20);
    if (which == QLatin1String("uidl"))
        return benchUidl(size ? size : 30000);
    if (which == QLatin1String("httpmail"))
        return benchHttpMail(size ? size : 5000);
    if (which == QLatin1String("httpmail-server"))
        return serveHttpMail(size);
    if (which == QLatin1String("startup"))
        return benchStartup();
    std::fprintf(stderr, "usage: bench_mailvane login|login-scram|headers|headers-hidden|delete|mu-login|mu-headers|bigmail|uidl|httpmail|startup [size]\n");
    return 2;
}
