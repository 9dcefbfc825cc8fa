// The GNU SASL client session behind SaslClient.

#include "net/SaslClient.h"

#include <gsasl.h>

#include <cstdlib>

namespace {

QString libraryError(int rc)
{
    if (rc == GSASL_AUTHENTICATION_ERROR)
        return QStringLiteral("The mail server could not prove that it knows your password.");
    return QString::fromUtf8(gsasl_strerror(rc));
}

} // namespace

SaslClient::SaslClient(const QByteArray &mechanism, const QString &user, const QString &password)
    : m_mechanism(mechanism)
{
    int rc = gsasl_init(&m_context);
    if (rc != GSASL_OK) {
        m_context = nullptr;
        m_error = libraryError(rc);
        return;
    }
    rc = gsasl_client_start(m_context, mechanism.constData(), &m_session);
    if (rc != GSASL_OK) {
        m_session = nullptr;
        m_error = libraryError(rc);
        return;
    }
    gsasl_property_set(m_session, GSASL_AUTHID, user.toUtf8().constData());
    gsasl_property_set(m_session, GSASL_PASSWORD, password.toUtf8().constData());
}

SaslClient::~SaslClient()
{
    if (m_session)
        gsasl_finish(m_session);
    if (m_context)
        gsasl_done(m_context);
}

SaslClient::Step SaslClient::step(const QByteArray &challenge, QByteArray *response)
{
    response->clear();
    if (!m_session) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("The sign-in was not started.");
        return Step::Failed;
    }
    char *out = nullptr;
    size_t outLength = 0;
    const int rc = gsasl_step(m_session, challenge.constData(), size_t(challenge.size()), &out, &outLength);
    if (out) {
        *response = QByteArray(out, qsizetype(outLength));
        gsasl_free(out);
    }
    if (rc == GSASL_NEEDS_MORE) {
        ++m_responses;
        return Step::Continue;
    }
    if (rc == GSASL_OK)
        return Step::Done;
    response->clear();
    m_error = libraryError(rc);
    // Past the client's proof, SCRAM's only step left is checking the
    // server's: whatever fails there, the server has not proven itself.
    const bool pastProof = m_mechanism.startsWith("SCRAM-") && m_responses >= 2;
    m_serverNotProven = rc == GSASL_AUTHENTICATION_ERROR || pastProof;
    if (pastProof)
        m_error = libraryError(GSASL_AUTHENTICATION_ERROR);
    return Step::Failed;
}

bool SaslClient::supports(const QByteArray &mechanism)
{
    Gsasl *context = nullptr;
    if (gsasl_init(&context) != GSASL_OK)
        return false;
    const bool supported = gsasl_client_support_p(context, mechanism.constData()) != 0;
    gsasl_done(context);
    return supported;
}
