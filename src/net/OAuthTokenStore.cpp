// Refresh tokens in the keyring, with bounded jobs.

#include "net/OAuthTokenStore.h"

#include "base/PlainText.h"
#include "net/OAuthResult.h"
#include "net/OAuthTokenEndpoint.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <qt6keychain/keychain.h>

const QString OAuthTokenStore::Service = QStringLiteral("Mailvane");

namespace {

QByteArray entryText(const OAuthProvider &provider, const QString &refreshToken)
{
    const QJsonObject entry{{QStringLiteral("refresh_token"), refreshToken},
                            {QStringLiteral("token_url"), provider.tokenUrl.toString()},
                            {QStringLiteral("client_id"), provider.clientId}};
    return QJsonDocument(entry).toJson(QJsonDocument::Compact);
}

QString refreshTokenOf(const OAuthProvider &provider, const QByteArray &text)
{
    const QJsonObject entry = QJsonDocument::fromJson(text).object();
    const QString token = entry.value(QStringLiteral("refresh_token")).toString();
    if (entry.value(QStringLiteral("token_url")).toString() != provider.tokenUrl.toString()
        || entry.value(QStringLiteral("client_id")).toString() != provider.clientId
        || !OAuthTokenEndpoint::isUsableToken(token))
        return QString();
    return token;
}

} // namespace

OAuthTokenStore::OAuthTokenStore(QObject *parent)
    : QObject(parent)
{
}

QString OAuthTokenStore::keyFor(const QString &provider, const QString &user)
{
    return provider + u'/' + user.trimmed();
}

void OAuthTokenStore::read(const OAuthProvider &provider, const QString &user, QObject *context,
                           std::function<void(const QString &)> done)
{
    auto *job = new QKeychain::ReadPasswordJob(Service);
    job->setKey(keyFor(provider.id, user));
    run(
        job, context,
        [provider, done](QKeychain::Job *finished) {
            done(refreshTokenOf(provider, static_cast<QKeychain::ReadPasswordJob *>(finished)->binaryData()));
        },
        [done](const QString &) { done(QString()); });
}

void OAuthTokenStore::write(const OAuthProvider &provider, const QString &user, const QString &refreshToken,
                            QObject *context, std::function<void(bool)> done)
{
    auto *job = new QKeychain::WritePasswordJob(Service);
    job->setKey(keyFor(provider.id, user));
    job->setBinaryData(entryText(provider, refreshToken));
    run(
        job, context, [done](QKeychain::Job *) { done(true); }, [done](const QString &) { done(false); });
}

void OAuthTokenStore::remove(const OAuthProvider &provider, const QString &user, QObject *context,
                             std::function<void(bool, const QString &)> done)
{
    auto *job = new QKeychain::DeletePasswordJob(Service);
    job->setKey(keyFor(provider.id, user));
    run(
        job, context, [done](QKeychain::Job *) { done(true, QString()); },
        [done](const QString &reason) { done(false, reason); });
}

void OAuthTokenStore::run(QKeychain::Job *job, QObject *context, Finished finished, Failed failed)
{
    job->setInsecureFallback(false);
    // The job deletes itself when it finishes; one that never finishes is
    // left alone (deleting it would leave the keyring's answer nowhere).
    job->setAutoDelete(true);
    QPointer<QObject> receiver(context);
    auto answered = std::make_shared<bool>(false);
    auto answer = [receiver, answered](const std::function<void()> &call) {
        if (*answered)
            return;
        *answered = true;
        if (receiver)
            call();
    };
    if (!m_usable) {
        delete job;
        QTimer::singleShot(0, this, [answer, failed, reason = m_reason] { answer([&] { failed(reason); }); });
        return;
    }
    auto *timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, timer, job, answer, failed] {
        timer->deleteLater();
        disconnect(job, nullptr, this, nullptr);
        const QString reason = QStringLiteral("it did not answer within %1").arg(waitText(m_timeoutMs));
        giveUp(reason);
        answer([&] { failed(reason); });
    });
    connect(job, &QKeychain::Job::finished, this, [this, timer, answer, finished, failed](QKeychain::Job *done) {
        timer->stop();
        timer->deleteLater();
        const QKeychain::Error error = done->error();
        if (error == QKeychain::NoError) {
            answer([&] { finished(done); });
        } else if (error == QKeychain::EntryNotFound && !qobject_cast<QKeychain::WritePasswordJob *>(done)) {
            // Nothing stored is no failure of the keyring; a locked keyring
            // that could not ask for its password answers the same.
            answer([&] { finished(done); });
        } else {
            const QString reason = PlainText::shown(done->errorString(), 120);
            giveUp(reason);
            answer([&] { failed(reason); });
        }
    });
    timer->start(m_timeoutMs);
    job->start();
}

void OAuthTokenStore::giveUp(const QString &reason)
{
    if (!m_usable)
        return;
    m_usable = false;
    m_reason = reason;
    emit unusable(QStringLiteral("Mailvane cannot keep the sign-in in the desktop's keyring (%1). You will sign in "
                                 "in the browser again each time Mailvane starts.")
                      .arg(reason));
}
