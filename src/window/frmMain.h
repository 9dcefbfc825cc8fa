#pragma once
// The main window: every control and every piece of session state of the
// program. Its procedures are spread over the files of this folder named
// after the subsystem they serve (frmMainLogin.cpp, frmMainRetrieval.cpp, ...);
// each section below names the file that defines it.

#include <QPointer>
#include <QQueue>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "desktop/TrayClicks.h"
#include "mailbox/DeletionRun.h"
#include "mailbox/HeaderSweep.h"
#include "mailbox/NewMailList.h"
#include "net/OAuthProvider.h"
#include "net/HeldSocketEvents.h"
#include "net/ReplyDeadline.h"
#include "net/SaslClient.h"
#include "pop3/Pop3AuthExchange.h"
#include "pop3/Pop3ReplyReader.h"
#include "pop3/Pop3SignIn.h"
#include "window/HelpMode.h"
#include "window/MessageBoxes.h"

#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class QTimer;
class FramePacer;
class MailNumberList;
class FlexGrid;
class StatusLamp;
class TcpClientSocket;
class clsHotmail;
class clsUIDL;
class CMessage;
namespace Pop3Replies {
struct HeaderFields;
}
class MessageFile;
class frmHelp;
class QSslCertificate;
class OAuthSignIn;
struct OAuthError;

// What the window keeps of the tray icon's record: its tip.
struct TrayIconRecord
{
    QString tip;
};

class frmMain : public QWidget
{
    Q_OBJECT
public:
    // The HTTPMail endpoint can be given (tests point it at a local server);
    // empty means the service's own.
    explicit frmMain(const QString &httpMailEndpoint = QString(), QWidget *parent = nullptr);
    ~frmMain() override;

    // ---- Startup and main window (frmMain.cpp)
    void Form_Load();
    void Form_Activate();
    void Form_Unload(bool &cancel);
    void InitLayout();
    void ResetSession();
    void EnableControls(bool bEnable);
    bool CheckInterrupt();
    void RecoverFromError();
    void InitTrayIcon();

    // ---- Login (frmMainLogin.cpp)
    void cmdLogin_Click();

    // ---- POP3 commands and connection events (frmMainCommands.cpp)
    // Each returns false when the line could not be sent; the loss has then
    // been reported and the session reset.
    bool SendUser(const QString &user);
    bool SendPass(const QString &password);
    bool SendStat();
    bool SendList(int n);
    bool SendUidl();
    bool SendTop(int n, int lines);
    bool SendRetr(int n);
    bool SendDele(int n);
    bool SendRset();
    bool SendQuit();
    void StartPOP3Login();
    void sockPOP3_Connect();
    void sockPOP3_Close();
    void sockPOP3_Error(int number, const QString &description);
    // The STLS upgrade is done.
    void sockPOP3_Encrypted();
    // Port 995 is POP3S: TLS from the first byte.
    bool UsesImplicitTls(int port) const;
    // Tests shorten the wait for a silent server, the time a reply may
    // take in all, and what a reply may hold.
    void setReplyTimeout(int ms);
    // How many commands may be out at once where the server takes pipelined
    // ones (benchmarks compare windows); 1 keeps every dialogue in lock-step.
    void setPipelineWindow(int commands) { m_pipelineWindow = commands < 1 ? 1 : commands; }
    void setReplyDeadline(qint64 fixedMs, qint64 minBytesPerSecond);
    void setReplyLimits(const Pop3ReplyReader::Limits &limits);

    // ---- POP3 replies (frmMainReplies.cpp)
    void sockPOP3_DataArrival(qint64 bytesTotal);

    // ---- Statistics (frmMainStats.cpp)
    void ShowMailboxStats(const QString &sReply);
    void ProcessListReply(const QString &sReply);
    void cmdStats_Click();

    // ---- HTTPMail session (frmMainHotmail.cpp)
    void ShowHotmailStats();
    void ShowHotmailSizes();

    // ---- Header retrieval (frmMainRetrieval.cpp)
    void cmdShow_Click();
    void StartRetrieval(int iFrom, int iTill);
    void ProcessTopReply(const QString &sReply);
    void FetchHotmailHeaders();

    // ---- New mail (frmMainNewMail.cpp)
    void ProcessUidlReply(const QString &sReply);

    // ---- Deletion (frmMainDeletion.cpp)
    void cmdDelete_Click();
    void grdMails_MouseDown(int button, const QPoint &globalPos);
    void mnuDeleteMail_Click();

    // ---- Viewing a complete mail (frmMainView.cpp)
    void mnuCompleteMail_Click();
    void ProcessRetrReply(const QString &sReply);
    void ShowHotmailMail();

    // ---- Tray and autologin (frmMainTray.cpp)
    void Form_Resize();
    void TrayIcon_Activated(int reason);
    void mnuTrayRestore_Click();
    void mnuTrayQuit_Click();
    void ShowMainWindow();
    void ckAutoLogin_Click();
    void timLogin_Timer();

    // ---- Alerts (frmMainAlert.cpp)
    void ShowAlert(const QString &sMsg);

    // ---- Login files (frmMainLoginFiles.cpp)
    void cmdSave_Click();
    void cmdLoad_Click();
    void SaveLogin(const QString &fileName);
    void LoadLogin(const QString &fileName);

    // ---- Help (frmMainHelp.cpp)
    void HelpStatus(bool bShow);
    void InvokeHelp(int nCode);
    void ckHelpFlag_Click();

    // ---- About (frmMainAbout.cpp)
    void cmdAbout_Click();

    // ---- Controls, named as the program knows them (built in frmMainControls.cpp)
    QTimer *timLogin = nullptr;
    TcpClientSocket *sockPOP3 = nullptr;
    QProgressBar *prgProgress = nullptr;
    QLabel *imgIcon = nullptr;
    QLabel *lblProgress = nullptr;
    QMenu *mnuMailOpts = nullptr;
    QAction *mnuCompleteMail = nullptr;
    QAction *mnuDeleteMail = nullptr;
    QMenu *mnuTray = nullptr; // the tray icon's own menu
    QAction *mnuTrayRestore = nullptr;
    QAction *mnuTrayQuit = nullptr;

    QGroupBox *Frame1 = nullptr;
    QGroupBox *fraLogin = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr;
    QLineEdit *txtUser = nullptr, *txtPwd = nullptr, *txtMailServer = nullptr;
    QComboBox *cboPort = nullptr;
    StatusLamp *shpStatus = nullptr;
    QPushButton *cmdLogin = nullptr, *cmdHlpLogin = nullptr;

    QGroupBox *fraStats = nullptr;
    QLabel *Label5 = nullptr, *lblMails = nullptr, *Label6 = nullptr, *lblMailSize = nullptr;
    QGroupBox *Frame2 = nullptr;
    QLabel *lblTotalMails = nullptr, *lblNewMails = nullptr;
    QPushButton *cmdStats = nullptr, *cmdHlpStats = nullptr;
    FlexGrid *grdStats = nullptr;

    QGroupBox *fraBrowse = nullptr;
    FlexGrid *grdMails = nullptr;
    QPushButton *cmdHlpMails = nullptr;

    QGroupBox *fraRetrieval = nullptr;
    QLabel *Label9 = nullptr, *Label10 = nullptr;
    QComboBox *cboFrom = nullptr, *cboTill = nullptr;
    QGroupBox *Frame8 = nullptr;
    QLabel *Label11 = nullptr, *Label12 = nullptr;
    QLineEdit *txtFrom = nullptr, *txtSubject = nullptr;
    QCheckBox *ckShowOnlyNew = nullptr;
    QPushButton *cmdShow = nullptr, *cmdHlpRetrieval = nullptr;

    QGroupBox *fraDeletion = nullptr;
    QLabel *Label13 = nullptr, *Label14 = nullptr;
    QComboBox *cboDelFrom = nullptr, *cboDelTill = nullptr;
    QPushButton *cmdDelete = nullptr, *cmdHlpDeletion = nullptr;

    QGroupBox *Frame7 = nullptr;
    QCheckBox *ckAutoLogin = nullptr;
    QPushButton *cmdHlpAutoLogin = nullptr;
    QCheckBox *ckUpdtChanges = nullptr;
    QPushButton *cmdHlpUpdtChanges = nullptr;
    QPushButton *cmdLoad = nullptr, *cmdSave = nullptr;
    QPushButton *cmdHlpLoadLogin = nullptr, *cmdHlpSaveLogin = nullptr;
    QCheckBox *ckHelpFlag = nullptr;
    QPushButton *cmdAbout = nullptr;

    // ---- Accessors and test hooks (defined here)
    // The HTTPMail endpoint every new clsHotmail of this window talks to.
    QString httpMailEndpoint() const { return m_httpMailEndpoint; }
    // Made when first needed: asking the desktop for a tray costs a round
    // trip on the session bus, which the first window does not wait for.
    QSystemTrayIcon *trayIcon();
    // Tests shorten the wait of every HTTPMail request; 0 keeps clsHotmail's.
    void setHttpMailTimeout(int ms) { m_httpMailTimeoutMs = ms; }
    // Tests treat their POP3S server's port like 995.
    void addImplicitTlsPort(int port) { m_implicitTlsPorts.append(port); }
    // Tests shorten the autologin minute.
    void setAutoLoginInterval(int ms) { m_autoLoginIntervalMs = ms; }
    // Tests put the message file's program folder elsewhere; empty means
    // the executable's folder.
    void setProgramFolder(const QString &folder) { m_programFolder = folder; }
    // Tests give the message file a data folder of their own; empty means
    // the user's data folder.
    void setDataFolder(const QString &folder) { m_dataFolder = folder; }
    // Tests shorten the sign-in's waits for the browser, the token service
    // and the keyring (frmMainOAuth.cpp); 0 keeps a wait as it is.
    void setSignInTimeouts(int browserMs, int tokenMs, int keyringMs);

protected:
    // ---- Window events (frmMain.cpp)
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool event(QEvent *event) override;

private:
    friend class frmMainTestAccess;

    // ---- Startup and main window (frmMain.cpp)
    void connectEvents();
    // An OK box, unless the window sits minimised (in the tray nobody would
    // see it, and the autologin must not wait for it).
    void msgBoxUnlessMinimized(const QString &text, MsgIcon icon = MsgIcon::Exclamation,
                               const QString &title = MsgTitle);
    void removeTrayIcon();
    void resetCommandButtonColors();
    QColor windowBackColor() const;

    // ---- Controls (frmMainControls.cpp)
    void buildControls();
    // One builder for each frame of the window.
    void buildLoginFrame();
    void buildStatsFrame();
    void buildMailsFrame();
    void buildRetrievalFrame();
    void buildDeletionFrame();
    void buildSettingsFrame();
    void layOutFrames();
    QHBoxLayout *buildStatusLine();
    void buildMailMenu();

    // ---- Login (frmMainLogin.cpp)
    bool isHotmailUser(const QString &user) const;
    void loginPop3();
    // The connection and the dialogue of a POP3 login, once its sign-in is known.
    void connectPop3();
    void loginHotmail();

    // ---- POP3 commands and connection events (frmMainCommands.cpp)
    // Every POP3 line goes out through sendLine, which tells the reply reader
    // what to expect; a command of the dialogue through sendCommand, which
    // also makes it the outstanding command (vCommand).
    bool sendLine(const QString &line);
    bool sendCommand(const QString &line);
    // Lines sent between the two wait and leave in one write.
    void beginBatch() { ++m_batchDepth; }
    bool endBatch();
    // The server listed PIPELINING in the CAPA reply of this connection
    // (the one asked after STLS, where there was an upgrade).
    bool serverPipelines() const { return m_serverPipelines; }
    // The commands out at once in a run of them: a window, or one.
    int commandWindow() const { return m_serverPipelines ? m_pipelineWindow : 1; }
    // Replies to commands of a run that has ended, which are read before any
    // later command's reply: a header sweep's are dropped, a deletion's
    // tell which mails the server deleted after all.
    struct LateReply
    {
        enum class Kind { Top, Dele, Uidl } kind;
        int mail = 0;
    };
    void expectLateReplies(LateReply::Kind kind, const QList<int> &mails);
    void lateReplyArrived(const LateReply &late, const QString &reply);
    void forgetReplies();
    // SendList(0) in its two halves: what the window shows, and the line.
    void showSizeListProgress();
    bool sendListOfAll();
    // The session cannot go on: nothing more is read, the message (if any)
    // is shown unless minimised, and the window is given back logged out.
    void abandonSession(const QString &message = QString());
    void connectionLost();
    // STLS asked for, or the upgrade under way: what goes wrong now is the
    // upgrade's failure.
    bool upgradingToTls() const;
    void stlsFailed(const QString &reason);
    // Waits for the outstanding reply: for silence (m_replyTimer) and for
    // the time the whole reply may take (m_replyDeadline).
    void watchForReply();
    void watchReplyDeadline();
    void stopWaitingForReply();
    void replyTimedOut();
    void replyOverdue();
    void replyTooLong();
    // The server is silent, slow or floods us: the message, then the
    // connection is given up as a lost one is.
    void serverMisbehaved(const QString &reason);

    // ---- POP3 replies (frmMainReplies.cpp)
    void handleReplies();
    // Before USER: greeting, CAPA and, when offered, the STLS upgrade.
    void preLoginReply(const QString &reply);
    void dispatchReply(const QString &reply);
    // The window's part of a DELE's acceptance: the changes box shows it.
    void deleAccepted();
    void serverErrorPath(const QString &reply);

    // ---- Signing in (frmMainSignIn.cpp)
    // CAPA offered no STLS: on in plain text, unless that is a downgrade.
    void continueWithoutTls();
    // Why this server and port is known to speak TLS; empty when it is not.
    QString knownTlsServer() const;
    // True when the password may go out unencrypted on this connection;
    // otherwise the session has been given up.
    bool maySendPasswordReadable();
    // Chooses the methods from the greeting, CAPA and the settings, and
    // starts the first.
    void startSignIn();
    // The next method, where the server did not take the last one; the
    // session is given up when none is left.
    void tryNextSignInMethod();
    // False when this method cannot even start here (the next is tried).
    bool startSignInMethod(Pop3SignIn::Method method);
    // Sends the AUTH line of an exchange; the server's replies go to
    // signInReply until it has ended. A token sign-in plugs its mechanism
    // in here.
    bool startAuthExchange(Pop3SignIn::Method method, Pop3AuthExchange::Mechanism mechanism);
    void signInReply(const QString &reply);
    void signedIn();
    void signInRefused(const QString &reply);
    // The server took the password (or the proof of it): on to STAT.
    void passwordAccepted();

    // ---- Certificates (frmMainCertificates.cpp)
    // A certificate that does not verify: true when the user was asked to
    // trust it, or told it changed.
    bool certificateRefused(const QString &problem);
    void askToTrustCertificate(const QString &problem, const QSslCertificate &certificate, const QString &host,
                               int port);
    void reportChangedCertificate(const QString &host, int port, const QString &trusted,
                                  const QSslCertificate &presented);

    // ---- Statistics (frmMainStats.cpp)
    // cmdStats_Click; `listAsked`: the login's LIST went out already, ahead
    // of the ids' handling, and only what the click shows is left to do.
    void toggleSizeList(bool listAsked);
    // A click on "More >>" would ask a POP3 server for the size list of a
    // mailbox of this many mails.
    bool sizeListWanted(const QString &mailCount) const;
    // STAT, and with it UIDL where the server takes pipelined commands;
    // false when the connection is lost (and the window reset).
    bool askForStats();
    // UIDL, and with it the size list's LIST when sizesToo; false when the
    // connection is lost (and the window reset).
    bool askForIdsAndSizes(bool sizesToo);
    void fillRangeCombos(int count, const QString &tillText);
    void enableMailboxControls();
    // The size list in grdStats: headings and rows, then shown.
    void startSizeList(int rows);
    void showSizeList();
    // Show and Delete need the login's size list (and the ids before it) out
    // of the way: clicked earlier, they wait for it.
    enum class AfterSizeList { Nothing, Show, Delete };
    bool sizeListOnItsWay() const;
    void waitForSizeList(AfterSizeList action);
    // The waiting click's button stays a stop button the user can press.
    void keepWaitingActionStoppable();
    void runActionAfterSizeList();

    // ---- Header retrieval (frmMainRetrieval.cpp)
    // Reads a range's boxes (a box when they hold no range) and starts the
    // progress display for it; deletion by range reads its boxes here too.
    bool startRangeOperation(const QComboBox *fromBox, const QComboBox *tillBox, const QString &caption, int *from,
                             int *till);
    int statsRowOfMail(int mail) const;
    bool showHeaderRow(int mail, int statsRow, const Pop3Replies::HeaderFields &fields);
    enum class NextHeader { NotYetAsked, Asked, Stopped, RangeDone, ConnectionLost };
    NextHeader askForNextHeader();
    // Sends TOP for the mails of the range that fit on the wire; false when
    // the connection is lost (and the window reset).
    bool askForHeaders();
    bool rangeReaches(qint64 mail) const;
    qint64 sizeListSize(int mail) const;
    // The sweep is over: replies still to come are dropped.
    void endSweep();
    // On to the next mail of the range, if there is one, its step shown.
    bool moveToNextMail();
    // The same without showing the step; showFetchProgress shows it.
    bool nextMailInRange();
    void showFetchProgress();
    // Progress ended, controls given back, "Show" again.
    void endRetrieval();
    void retrievalFailed();

    // ---- New mail (frmMainNewMail.cpp)
    bool isNewMail(const QString &mailNumber);

    // ---- Deletion (frmMainDeletion.cpp)
    void sendRangeDeles();
    // Progress names the mail whose reply comes next.
    void showRangeProgress();
    void deleReplyArrived(bool accepted);
    // Deletes the mail of this row once the user has confirmed it.
    void deleteOneRow(int row);
    void deleteSelectedRowsFrom(int row);
    void finishRowsDeletion();
    void endSelectionDeletion();
    bool deleteHotmailMail(const QString &id, const QString &url);
    void endMailboxOperations();

    // ---- Viewing a complete mail (frmMainView.cpp)
    void saveRetrPiece();
    bool saveAndOpenMessage(const QByteArray &octets);
    bool finishMessageFile();
    QStringList messageFileFolders() const;
    QString programFolder() const;
    void retrReplyTooLong();
    void viewerFailed(const QString &viewer, const QString &path);
    bool openMessageFile(const QString &path);
    void endViewing();

    // ---- Tray and autologin (frmMainTray.cpp)
    void buildTrayMenu();
    void restoreFromTray();

    // ---- Login files (frmMainLoginFiles.cpp)
    bool mayReplaceLoginFile(const QString &fileName);

    // ---- Sign-in with OAuth 2.0 (frmMainOAuth.cpp)
    // The Login button's menu (Forget Sign-in) and the sign-in's events.
    void connectSignIn();
    OAuthSignIn *oauthSignIn();
    // A Hotmail or MSN name goes to POP3 when a Microsoft server is typed.
    bool isMicrosoftServerTyped() const;
    // Chooses how the login being started signs in. True when the window now
    // waits for an access token, or the login has stopped with a message.
    bool startOAuthLogin();
    void requestAccessToken();
    void openSignInPage(const QUrl &url);
    void accessTokenReady(const QString &accessToken);
    void signInFailed(const OAuthError &error);
    // The Login button reads "Cancel" while a sign-in runs.
    bool isSigningIn() const;
    void cancelSignIn();
    // The sign-in's AUTH exchange with the token, after CAPA and STLS.
    void startTokenSignIn();
    // A refused token: true when a fresh one is on its way and the login
    // runs again; false when it was fresh already (the refusal stands).
    bool retryWithFreshToken();
    void mnuForgetSignIn_Click();

    // ---- Help (frmMainHelp.cpp)
    void connectHelpButtons();
    void closeHelpWindow();

    // ---- Session state: the program's own variables, shared by all the files
    // (tests reach it through frmMainTestAccess)
    QString strMailServer;
    int iPort = 0;
    QString vCommand;
    QString strPrevCommand;
    bool bStatDone = false;
    QString vUser;
    QString strPassword;
    bool bListOne = false;
    bool bListForView = false;
    bool bTopDone = false;
    int iCurMail = 0;
    qint64 lRetrSize = 0;
    bool bRelogin = false;
    std::unique_ptr<NewMailList> colNewMails; // null when released
    TrayIconRecord nidTray;
    bool bMinimized = false;
    bool bUIDLFailed = false;

    bool bPOP3Mode = false;
    bool bHotmailMode = false;
    bool bStopRequested = false;
    std::unique_ptr<clsHotmail> objHotmail;
    QList<QStringList> colHotmailIds; // mail records, mail n at index n - 1
    std::unique_ptr<clsUIDL> objUIDL;

    // ---- Login: the HTTPMail service (frmMainLogin.cpp)
    QString m_httpMailEndpoint;
    int m_httpMailTimeoutMs = 0;

    // ---- The POP3 connection (frmMainCommands.cpp, frmMainReplies.cpp)
    std::unique_ptr<Pop3ReplyReader> m_replyReader;
    QTimer *m_replyTimer = nullptr;
    FramePacer *m_pacer = nullptr;
    ReplyDeadline m_replyDeadline;
    QTimer *m_deadlineTimer = nullptr;
    qint64 m_deadlineReply = -1; // the reader's completedCount() when it started
    QList<int> m_implicitTlsPorts;
    enum class LoginPhase { None, Greeting, Capa, Stls, Upgrading, SignIn };
    LoginPhase m_loginPhase = LoginPhase::None;
    // What the server offered for signing in, and what is left to try.
    QString m_greeting;
    Pop3SignIn::Capabilities m_capabilities;
    QList<Pop3SignIn::Method> m_signInMethods;
    std::unique_ptr<SaslClient> m_saslClient;
    std::unique_ptr<Pop3AuthExchange> m_authExchange; // null for APOP and USER
    // A reply's handler is running, perhaps with a box waiting for the user:
    // later replies and the connection's end wait until it has returned.
    HeldSocketEvents m_heldSocketEvents;
    bool m_serverPipelines = false;
    int m_pipelineWindow = HeaderSweep::PipelinedWindow;
    int m_batchDepth = 0;
    // The login's LIST went out with its UIDL; the size list's request
    // finds it on its way.
    bool m_listSentAhead = false;
    // The login's UIDL went out with its STAT.
    bool m_uidlSentAhead = false;
    QQueue<LateReply> m_lateReplies;

    // ---- Mailbox operations (frmMainStats.cpp, frmMainDeletion.cpp, frmMainView.cpp)
    MailNumberList *m_rangeNumbers = nullptr; // the items of the four range boxes
    AfterSizeList m_afterSizeList = AfterSizeList::Nothing;
    DeletionRun m_deletion;
    HeaderSweep m_sweep;
    std::unique_ptr<MessageFile> m_messageFile; // the mail being viewed, while it arrives
    QString m_programFolder;
    QString m_dataFolder;

    // ---- Sign-in with OAuth 2.0 (frmMainOAuth.cpp)
    QMenu *mnuLogin = nullptr; // the Login button's own menu
    QAction *mnuForgetSignIn = nullptr;
    OAuthSignIn *m_oauthSignIn = nullptr; // made at the first sign-in
    int m_signInTimeouts[3] = {0, 0, 0};  // browser, token service, keyring
    OAuthProvider m_oauthProvider;        // null: this login uses the password
    QString m_accessToken;
    bool m_tokenRefreshed = false;        // this login has retried once
    bool m_signInNeededAlerted = false;   // the tray said it once

    // ---- Tray, autologin and help (frmMain.cpp, frmMainTray.cpp, frmMainHelp.cpp)
    QSystemTrayIcon *m_trayIcon = nullptr;
    bool m_hiddenInTray = false;
    bool m_quitQuestionOpen = false;
    TrayClicks m_trayClicks;
    int m_autoLoginIntervalMs = 60000;
    // Help mode and the help window's life (the "?" buttons, the stored flag).
    HelpMode m_helpMode{this};
};
