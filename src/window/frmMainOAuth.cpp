// Signing in with OAuth 2.0: which logins take it, the wait for the browser
// (the Login button cancels it), the AUTH exchange that carries the access
// token, one refresh when the server refuses a token, the tray's silent
// sign-in, and forgetting a kept sign-in.

#include "window/frmMain.h"

#include "base/VbHelpers.h"
#include "net/OAuthProviders.h"
#include "net/OAuthSignIn.h"
#include "net/TcpClientSocket.h"
#include "pop3/Pop3ReplyReader.h"
#include "pop3/Pop3TokenMechanism.h"
#include "window/MessageBoxes.h"
#include "window/Platform.h"
#include "window/modProgress.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

using namespace modProgress;

namespace {

const QString CancelCaption = QStringLiteral("Cancel");

Pop3SignIn::Method methodOf(const OAuthProvider &provider)
{
    return provider.mechanism == OAuthMechanism::OAuthBearer ? Pop3SignIn::Method::OAuthBearer
                                                             : Pop3SignIn::Method::XOAuth2;
}

} // namespace

void frmMain::setSignInTimeouts(int browserMs, int tokenMs, int keyringMs)
{
    m_signInTimeouts[0] = browserMs;
    m_signInTimeouts[1] = tokenMs;
    m_signInTimeouts[2] = keyringMs;
    if (m_oauthSignIn) {
        delete m_oauthSignIn;
        m_oauthSignIn = nullptr;
    }
}

void frmMain::connectSignIn()
{
    mnuLogin = new QMenu(this);
    mnuForgetSignIn = mnuLogin->addAction(QStringLiteral("Forget Sign-in"));
    connect(mnuForgetSignIn, &QAction::triggered, this, &frmMain::mnuForgetSignIn_Click);
    cmdLogin->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(cmdLogin, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        mnuForgetSignIn->setEnabled(!isSigningIn());
        mnuLogin->popup(cmdLogin->mapToGlobal(pos));
    });
}

OAuthSignIn *frmMain::oauthSignIn()
{
    if (m_oauthSignIn)
        return m_oauthSignIn;
    m_oauthSignIn = new OAuthSignIn(this);
    if (m_signInTimeouts[0] > 0)
        m_oauthSignIn->setBrowserTimeout(m_signInTimeouts[0]);
    if (m_signInTimeouts[1] > 0)
        m_oauthSignIn->setTokenTimeout(m_signInTimeouts[1]);
    if (m_signInTimeouts[2] > 0)
        m_oauthSignIn->setKeyringTimeout(m_signInTimeouts[2]);
    connect(m_oauthSignIn, &OAuthSignIn::openBrowser, this, &frmMain::openSignInPage);
    connect(m_oauthSignIn, &OAuthSignIn::tokenReady, this, &frmMain::accessTokenReady);
    connect(m_oauthSignIn, &OAuthSignIn::failed, this, &frmMain::signInFailed);
    connect(m_oauthSignIn, &OAuthSignIn::keyringUnavailable, this,
            [this](const QString &message) { msgBoxUnlessMinimized(message, MsgIcon::Information); });
    connect(m_oauthSignIn, &OAuthSignIn::forgotten, this, [this](bool ok, const QString &message) {
        MsgBox(this, message, MsgButtons::Ok, ok ? MsgIcon::Information : MsgIcon::Exclamation, MsgTitle);
    });
    return m_oauthSignIn;
}

bool frmMain::isMicrosoftServerTyped() const
{
    return OAuthProviders().isMicrosoftServer(txtMailServer->text());
}

bool frmMain::startOAuthLogin()
{
    m_accessToken.clear();
    m_tokenRefreshed = false;
    const OAuthChoice choice = OAuthProviders().choose(vUser, strMailServer, iPort, strPassword.isEmpty());
    m_oauthProvider = choice.useOAuth ? choice.provider : OAuthProvider();
    if (!choice.useOAuth)
        return false;
    if (!choice.problem.isEmpty()) {
        m_oauthProvider = OAuthProvider();
        abandonSession(choice.problem);
        return true;
    }
    requestAccessToken();
    return true;
}

void frmMain::requestAccessToken()
{
    StartProgress();
    ShowProgressText(QStringLiteral("Signing in with ") + m_oauthProvider.id + QStringLiteral(".."));
    cmdLogin->setText(CancelCaption);
    cmdLogin->setEnabled(true);
    // The tray's check never opens the browser: only the user can sign in.
    oauthSignIn()->requestToken(m_oauthProvider, vUser,
                                bMinimized ? OAuthSignIn::Mode::Silent : OAuthSignIn::Mode::Interactive);
}

void frmMain::openSignInPage(const QUrl &url)
{
    ShowProgressText(QStringLiteral("Waiting for you to sign in with ") + m_oauthProvider.id
                     + QStringLiteral(" in your browser.."));
    if (!Platform::current().openUrl(url))
        oauthSignIn()->browserNotStarted();
}

bool frmMain::isSigningIn() const
{
    return m_oauthSignIn && m_oauthSignIn->isBusy();
}

void frmMain::cancelSignIn()
{
    if (isSigningIn())
        m_oauthSignIn->cancel();
}

void frmMain::accessTokenReady(const QString &accessToken)
{
    m_accessToken = accessToken;
    m_signInNeededAlerted = false;
    cmdLogin->setText(QStringLiteral("Login"));
    cmdLogin->setEnabled(false);
    connectPop3();
}

void frmMain::signInFailed(const OAuthError &error)
{
    m_oauthProvider = OAuthProvider();
    if (error.kind == OAuthError::Kind::SignInNeeded && bMinimized) {
        // Said once, in the pop-up; the automatic check stays paused (its
        // timer is not started again) until the user signs in.
        if (!m_signInNeededAlerted)
            ShowAlert(QStringLiteral("Sign in again from the window"));
        m_signInNeededAlerted = true;
        abandonSession();
        return;
    }
    abandonSession(error.kind == OAuthError::Kind::Cancelled ? QString() : error.message);
}

void frmMain::startTokenSignIn()
{
    const Pop3SignIn::Method method = methodOf(m_oauthProvider);
    if (!startAuthExchange(method, Pop3TokenMechanism::make(method, vUser.trimmed(), strMailServer.trimmed(), iPort,
                                                            m_accessToken)))
        abandonSession(QStringLiteral("The sign-in with ") + m_oauthProvider.id + QStringLiteral(" could not be started."));
}

bool frmMain::retryWithFreshToken()
{
    if (m_oauthProvider.isNull() || m_tokenRefreshed)
        return false;
    // Refused once: a fresh token, and the login once more from the start.
    m_tokenRefreshed = true;
    oauthSignIn()->tokenRefused(m_oauthProvider, vUser);
    m_loginPhase = LoginPhase::None;
    m_replyReader->clear();
    m_replyTimer->stop();
    sockPOP3->Close();
    vCommand.clear();
    strPrevCommand.clear();
    requestAccessToken();
    return true;
}

void frmMain::mnuForgetSignIn_Click()
{
    qint64 port = 0;
    vb::ParseWholeNumber(cboPort->currentText(), 1, 65535, &port);
    const QString user = txtUser->text().trimmed();
    const OAuthChoice choice = OAuthProviders().choose(user, txtMailServer->text(), int(port), true);
    if (!choice.useOAuth || user.isEmpty()) {
        MsgBox(this,
               QStringLiteral("Type the user name and the mail server whose sign-in in the browser Mailvane should "
                              "forget."),
               MsgButtons::Ok, MsgIcon::Exclamation, MsgTitle);
        return;
    }
    if (MsgBox(this,
               QStringLiteral("Forget the sign-in of ") + user + QStringLiteral(" with ") + choice.provider.id
                   + QStringLiteral("? The next login asks in the browser again."),
               MsgButtons::YesNo, MsgIcon::Question, MsgTitle)
        != MsgAnswer::Yes)
        return;
    oauthSignIn()->forget(choice.provider, user);
}
