// frmMain's construction, start-up, session reset, enabling and recovery.

#include "window/frmMain.h"

#include "base/Notice.h"
#include "base/VbHelpers.h"
#include "httpmail/clsHotmail.h"
#include "mailbox/clsUIDL.h"
#include "mailbox/MessageFile.h"
#include "net/TcpClientSocket.h"
#include "pop3/Pop3ReplyReader.h"
#include "window/FlexGrid.h"
#include "window/FramePacer.h"
#include "window/MessageBoxes.h"
#include "window/modProgress.h"
#include "window/StatusLamp.h"
#include "window/VbColor.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

using namespace modProgress;

namespace {
const QString StatusOff = QStringLiteral("&H0000FF");
constexpr int FormHeightTwips = 7890;
constexpr int FormTopTwips = 50;
} // namespace

frmMain::frmMain(const QString &httpMailEndpoint, QWidget *parent)
    : QWidget(parent)
    , m_httpMailEndpoint(httpMailEndpoint)
    , m_replyReader(std::make_unique<Pop3ReplyReader>())
{
    setObjectName(QStringLiteral("frmMain"));
    buildControls();
    m_pacer = new FramePacer(this);
    // Rows added in a long run are shown by the frame that paints the text
    // and bar of the same step, even when the caller keeps the thread busy.
    for (FlexGrid *grid : {grdMails, grdStats})
        connect(m_pacer, &FramePacer::frameDue, grid, &FlexGrid::FrameDue);
    m_replyTimer = new QTimer(this);
    m_replyTimer->setSingleShot(true);
    m_replyTimer->setInterval(60000);
    connect(m_replyTimer, &QTimer::timeout, this, &frmMain::replyTimedOut);
    m_deadlineTimer = new QTimer(this);
    m_deadlineTimer->setSingleShot(true);
    connect(m_deadlineTimer, &QTimer::timeout, this, &frmMain::replyOverdue);
    connectEvents();
    Attach(lblProgress, prgProgress);
    // Widget-free classes report through the same boxes as the window.
    Notice::setHandler([this](const QString &title, const QString &text) {
        MsgBox(this, text, MsgButtons::Ok, MsgIcon::None, title);
    });
    Form_Load();
}

frmMain::~frmMain()
{
    Notice::setHandler({});
}

void frmMain::connectEvents()
{
    connect(sockPOP3, &TcpClientSocket::connected, this, &frmMain::sockPOP3_Connect);
    connect(sockPOP3, &TcpClientSocket::dataArrival, this, &frmMain::sockPOP3_DataArrival);
    connect(sockPOP3, &TcpClientSocket::closed, this, &frmMain::sockPOP3_Close);
    connect(sockPOP3, &TcpClientSocket::errorOccurred, this, &frmMain::sockPOP3_Error);

    connect(cmdLogin, &QPushButton::clicked, this, &frmMain::cmdLogin_Click);
    connect(cmdStats, &QPushButton::clicked, this, &frmMain::cmdStats_Click);
    connect(cmdShow, &QPushButton::clicked, this, &frmMain::cmdShow_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmMain::cmdDelete_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmMain::cmdSave_Click);
    connect(cmdLoad, &QPushButton::clicked, this, &frmMain::cmdLoad_Click);
    connect(cmdAbout, &QPushButton::clicked, this, &frmMain::cmdAbout_Click);
    // Clicked fires for user and code changes alike, as the handler expects.
    connect(ckAutoLogin, &QCheckBox::toggled, this, [this] { ckAutoLogin_Click(); });
    connect(ckHelpFlag, &QCheckBox::toggled, this, [this] { ckHelpFlag_Click(); });
    connect(timLogin, &QTimer::timeout, this, &frmMain::timLogin_Timer);
    connect(grdMails, &FlexGrid::rightButtonPressed, this,
            [this](const QPoint &pos) { grdMails_MouseDown(2, pos); });
    connect(mnuCompleteMail, &QAction::triggered, this, &frmMain::mnuCompleteMail_Click);
    connect(mnuDeleteMail, &QAction::triggered, this, &frmMain::mnuDeleteMail_Click);
    connectHelpButtons();
    connectSignIn();
}

QColor frmMain::windowBackColor() const
{
    return palette().color(QPalette::Button);
}

void frmMain::resetCommandButtonColors()
{
    for (QPushButton *button : {cmdShow, cmdDelete}) {
        QPalette p = button->palette();
        p.setColor(QPalette::Button, windowBackColor());
        button->setPalette(p);
    }
}

void frmMain::Form_Load()
{
    resize(qMax(sizeHint().width(), 780), vb::TwipsToPixels(FormHeightTwips));
    InitLayout();
    setWindowTitle(AppTitle + QStringLiteral(MAILVANE_VERSION));
    InitTrayIcon();
}

void frmMain::InitLayout()
{
    if (const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen())
        move(x(), screen->geometry().top() + vb::TwipsToPixels(FormTopTwips));

    fraStats->hide();
    fraBrowse->hide();
    fraRetrieval->hide();
    fraDeletion->hide();
    cmdHlpUpdtChanges->hide();
    ckUpdtChanges->hide();
    cmdLogin->setText(QStringLiteral("Login"));
    grdStats->hide();

    // Controls hidden until the first successful login.
    ckAutoLogin->hide();
    cmdHlpAutoLogin->hide();
    cmdStats->hide();
    shpStatus->SetFillColor(vb::ColorFromLiteral(StatusOff));

    cboPort->clear();
    QStringList ports;
    for (int port = 10; port <= 300; ++port)
        ports << QString::number(port);
    cboPort->addItems(ports);
    cboPort->setEditText(QStringLiteral("110"));

    bStatDone = false;

    prgProgress->hide();
    lblProgress->hide();

    const bool help = HelpMode::StoredHelpFlag();
    HelpStatus(help);
    const QSignalBlocker quiet(ckHelpFlag); // the box mirrors the setting; no second write
    ckHelpFlag->setChecked(help);
}

void frmMain::ResetSession()
{
    endViewing();
    endMailboxOperations();
    stopWaitingForReply();
    // Whatever was under way ends with the session, unless a new login
    // follows at once and shows its own.
    if (!(bPOP3Mode && bRelogin))
        EndProgress();
    if (sockPOP3->State() != TcpClientSocket::sckClosed)
        sockPOP3->Close();
    cmdLogin->setText(QStringLiteral("Login"));
    // A connection lost while logging in must not leave Login disabled.
    cmdLogin->setEnabled(true);
    fraStats->hide();
    fraBrowse->hide();
    fraRetrieval->hide();
    fraDeletion->hide();
    txtFrom->clear();
    txtSubject->clear();
    shpStatus->SetFillColor(vb::ColorFromLiteral(StatusOff));
    cmdStats->setText(QStringLiteral("More >>"));
    cmdStats->setEnabled(false);
    grdMails->Clear();
    grdMails->SetRows(2);
    grdStats->Clear();
    grdStats->SetRows(2);
    lblTotalMails->clear();
    lblTotalMails->hide();
    lblNewMails->clear();
    lblNewMails->hide();
    if (!bMinimized && objUIDL)
        objUIDL->WriteToFile();
    objUIDL.reset();
    colNewMails.reset();
    if (bPOP3Mode && bRelogin) {
        bRelogin = false;
        // The new login starts from the event loop, after this reset has fully
        // returned (it may run inside the old connection's reply handler).
        QTimer::singleShot(20, this, [this] {
            if (cmdLogin->text() == QLatin1String("Login"))
                cmdLogin_Click();
        });
    }
}

void frmMain::EnableControls(bool bEnable)
{
    for (QWidget *control : {static_cast<QWidget *>(cmdLogin), static_cast<QWidget *>(cmdStats),
                             static_cast<QWidget *>(cmdLoad), static_cast<QWidget *>(cmdSave),
                             static_cast<QWidget *>(cmdDelete), static_cast<QWidget *>(cmdShow),
                             static_cast<QWidget *>(ckAutoLogin)})
        control->setEnabled(bEnable);
    resetCommandButtonColors();
}

bool frmMain::CheckInterrupt()
{
    const bool stop = bStopRequested;
    if (stop) {
        prgProgress->hide();
        lblProgress->setText(QStringLiteral("Interrupted by user!"));
        lblProgress->show();
        EnableControls(true);
        cmdShow->setText(QStringLiteral("Show"));
        cmdDelete->setText(QStringLiteral("Delete"));
        resetCommandButtonColors();
        bRelogin = false;
        bStopRequested = false;
    }
    return stop;
}

void frmMain::msgBoxUnlessMinimized(const QString &text, MsgIcon icon, const QString &title)
{
    if (!bMinimized)
        MsgBox(this, text, MsgButtons::Ok, icon, title);
}

void frmMain::RecoverFromError()
{
    m_afterSizeList = AfterSizeList::Nothing;
    lblProgress->clear();
    prgProgress->hide();
    if (strPrevCommand.isEmpty())
        cmdLogin->setEnabled(true);
    cmdShow->setText(QStringLiteral("Show"));
    cmdDelete->setText(QStringLiteral("Delete"));
    cmdShow->setEnabled(true);
    cmdDelete->setEnabled(true);
    cmdStats->setText(QStringLiteral("More>>"));
    cmdStats->setEnabled(true);
}

void frmMain::InitTrayIcon()
{
    nidTray.tip = AppTitle.left(63);
    if (!m_trayIcon)
        return;
    m_trayIcon->setIcon(windowIcon());
    m_trayIcon->setToolTip(nidTray.tip);
}

QSystemTrayIcon *frmMain::trayIcon()
{
    if (!m_trayIcon) {
        m_trayIcon = new QSystemTrayIcon(this);
        m_trayIcon->setObjectName(QStringLiteral("nidTray"));
        connect(m_trayIcon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) { TrayIcon_Activated(int(reason)); });
        buildTrayMenu();
        InitTrayIcon();
    }
    return m_trayIcon;
}

void frmMain::removeTrayIcon()
{
    if (m_trayIcon)
        m_trayIcon->hide();
}

void frmMain::Form_Activate()
{
    removeTrayIcon();
    closeHelpWindow();
}

void frmMain::Form_Unload(bool &cancel)
{
    // A sign-in waiting for the browser ends with the window, unasked.
    cancelSignIn();
    if (cmdLogin->text() != QLatin1String("Login")) {
        const MsgAnswer answer = MsgBox(this, QStringLiteral("You have not logged out yet, Do you still want to quit?"),
                                        MsgButtons::YesNo, MsgIcon::Question, AppTitle);
        if (answer != MsgAnswer::Yes) {
            cancel = true;
            return;
        }
    }
    // Whether or not a session was open: nothing may outlive the window.
    closeHelpWindow();
    if (sockPOP3->State() != TcpClientSocket::sckClosed)
        sockPOP3->Close();
    removeTrayIcon();
    timLogin->stop();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    bool cancel = false;
    Form_Unload(cancel);
    if (cancel)
        event->ignore();
    else
        event->accept();
}

bool frmMain::event(QEvent *e)
{
    if (e->type() == QEvent::WindowActivate)
        Form_Activate();
    return QWidget::event(e);
}

void frmMain::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange)
        Form_Resize();
}
