#pragma once
// Refresh tokens in the desktop's keyring (the Secret Service, through
// QtKeychain), one entry per sign-in service and user: service "Mailvane",
// key "<provider>/<user>". The entry also names the token URL and client id
// the token was issued for, so a token is never sent anywhere else when the
// settings change.
//
// A keyring job may never finish (a locked keyring under a display waits
// for a password prompt), so every job is bounded in time. The first
// failure or time-out makes the store unusable for the rest of this run:
// unusable() says so once, and later calls answer at once without the
// keyring. Tokens never go to a plain file: QtKeychain's insecure fallback
// stays off.

#include "net/OAuthProvider.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

namespace QKeychain {
class Job;
}

class OAuthTokenStore : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultTimeoutMs = 30000;
    static const QString Service; // "Mailvane"

    explicit OAuthTokenStore(QObject *parent = nullptr);

    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    bool isUsable() const { return m_usable; }

    // Each answers exactly once, never before the call returns, through
    // its callback, unless `context` is gone by then.
    // The stored refresh token; empty when none is stored for this
    // provider's token URL and client id, or the keyring is unusable.
    void read(const OAuthProvider &provider, const QString &user, QObject *context,
              std::function<void(const QString &refreshToken)> done);
    // True when the keyring kept it.
    void write(const OAuthProvider &provider, const QString &user, const QString &refreshToken, QObject *context,
               std::function<void(bool kept)> done);
    // True when no entry is left; otherwise `problem` says why.
    void remove(const OAuthProvider &provider, const QString &user, QObject *context,
                std::function<void(bool removed, const QString &problem)> done);

    static QString keyFor(const QString &provider, const QString &user);

signals:
    // Once per store, at the first failure: the sign-in cannot be kept.
    void unusable(const QString &message);

private:
    using Finished = std::function<void(QKeychain::Job *job)>;
    using Failed = std::function<void(const QString &reason)>;
    void run(QKeychain::Job *job, QObject *context, Finished finished, Failed failed);
    void giveUp(const QString &reason);

    int m_timeoutMs = DefaultTimeoutMs;
    bool m_usable = true;
    QString m_reason;
};
