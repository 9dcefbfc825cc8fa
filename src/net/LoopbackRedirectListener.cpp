// The loopback listener for the browser's redirect.

#include "net/LoopbackRedirectListener.h"

#include "base/PlainText.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

QByteArray page(const char *text)
{
    return QByteArray("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Mailvane</title></head>\n<body><p>")
           + text + "</p></body></html>\n";
}

const QByteArray DonePage = page("Mailvane: sign-in done. You can close this tab and go back to Mailvane.");
const QByteArray FailedPage =
    page("Mailvane: the sign-in failed. You can close this tab; Mailvane says what went wrong.");
const QByteArray OtherPage = page("Mailvane waits here for the browser to come back from a sign-in, and for nothing else.");

int count(const FormUrlEncoding::Fields &fields, const QString &name)
{
    int n = 0;
    for (const auto &field : fields)
        n += field.first == name ? 1 : 0;
    return n;
}

} // namespace

LoopbackRedirectListener::LoopbackRedirectListener(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    m_server->setMaxPendingConnections(MaxConnections);
    connect(m_server, &QTcpServer::newConnection, this, &LoopbackRedirectListener::onNewConnection);
}

LoopbackRedirectListener::~LoopbackRedirectListener()
{
    close();
}

bool LoopbackRedirectListener::listen(const QByteArray &expectedState)
{
    close();
    m_state = expectedState;
    if (m_server->listen(QHostAddress::LocalHost, 0)) {
        m_port = m_server->serverPort();
        return true;
    }
    m_error = PlainText::shown(m_server->errorString());
    return false;
}

void LoopbackRedirectListener::close()
{
    m_server->close();
    const QList<QTcpSocket *> sockets = m_requests.keys();
    for (QTcpSocket *socket : sockets)
        drop(socket);
}

bool LoopbackRedirectListener::isListening() const
{
    return m_server->isListening();
}

QString LoopbackRedirectListener::redirectUri() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(m_port);
}

void LoopbackRedirectListener::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        if (m_requests.size() >= MaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const quint64 serial = ++m_serial;
        m_requests.insert(socket, Pending{QByteArray(), serial});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
        // Ends with the listener too; a connection answered meanwhile is
        // left alone.
        QTimer::singleShot(m_connectionTimeoutMs, this, [this, socket, serial] { dropIfStill(socket, serial); });
    }
}

void LoopbackRedirectListener::onReadyRead(QTcpSocket *socket)
{
    auto found = m_requests.find(socket);
    if (found == m_requests.end())
        return;
    QByteArray &head = found->head;
    head += socket->read(MaxRequestSize + 1 - head.size());
    const int end = head.indexOf("\r\n\r\n");
    if (end < 0) {
        if (head.size() > MaxRequestSize)
            answer(socket, "431 Request Header Fields Too Large", OtherPage);
        return;
    }
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1.")) {
        answer(socket, "400 Bad Request", OtherPage);
        return;
    }
    if (requestLine.at(0) != "GET") {
        answer(socket, "405 Method Not Allowed", OtherPage);
        return;
    }
    const Redirect redirect = read(requestLine.at(1), m_state);
    if (redirect.kind == Redirect::Kind::NotRedirect) {
        answer(socket, "404 Not Found", OtherPage);
        return;
    }
    answer(socket, "200 OK", redirect.kind == Redirect::Kind::Code ? DonePage : FailedPage);
    // Exactly one redirect: whoever comes later finds nobody listening.
    m_server->close();
    emit redirected(redirect);
}

void LoopbackRedirectListener::answer(QTcpSocket *socket, const QByteArray &status, const QByteArray &body)
{
    m_requests.remove(socket);
    socket->disconnect(this);
    // The page still gets out when the listener goes away meanwhile.
    socket->setParent(nullptr);
    socket->write("HTTP/1.1 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: "
                  + QByteArray::number(body.size()) + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n"
                  + body);
    // Closes once the page is out; a peer that never reads it is cut off.
    socket->disconnectFromHost();
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(m_connectionTimeoutMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

void LoopbackRedirectListener::dropIfStill(QTcpSocket *socket, quint64 serial)
{
    const auto found = m_requests.constFind(socket);
    if (found != m_requests.cend() && found->serial == serial)
        drop(socket);
}

void LoopbackRedirectListener::drop(QTcpSocket *socket)
{
    if (m_requests.remove(socket) == 0)
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

LoopbackRedirectListener::Redirect LoopbackRedirectListener::read(const QByteArray &target,
                                                                  const QByteArray &expectedState)
{
    Redirect redirect;
    const int mark = target.indexOf('?');
    const QByteArray path = mark < 0 ? target : target.left(mark);
    if (path != "/" || mark < 0)
        return redirect;
    QByteArray query = target.mid(mark + 1);
    query.truncate(query.indexOf('#') < 0 ? query.size() : query.indexOf('#'));
    const FormUrlEncoding::Fields fields = FormUrlEncoding::decode(query);
    const QString state = QStringLiteral("state");
    const QString code = QStringLiteral("code");
    const QString error = QStringLiteral("error");
    if (count(fields, state) + count(fields, code) + count(fields, error) == 0)
        return redirect;
    if (count(fields, state) != 1 || FormUrlEncoding::value(fields, state) != QString::fromLatin1(expectedState)
        || expectedState.isEmpty()) {
        redirect.kind = Redirect::Kind::StateMismatch;
        return redirect;
    }
    if (count(fields, error) > 0) {
        const QString name = FormUrlEncoding::value(fields, error);
        redirect.kind = name == QLatin1String("access_denied") ? Redirect::Kind::ConsentRefused : Redirect::Kind::Error;
        redirect.detail = PlainText::shown(name, 60);
        const QString description = FormUrlEncoding::value(fields, QStringLiteral("error_description"));
        if (!description.isEmpty())
            redirect.detail += QStringLiteral(" (") + PlainText::shown(description, 200) + u')';
        return redirect;
    }
    if (count(fields, code) != 1 || FormUrlEncoding::value(fields, code).isEmpty()) {
        redirect.kind = Redirect::Kind::Error;
        redirect.detail = count(fields, code) == 0 ? QStringLiteral("no authorization code")
                                                   : QStringLiteral("no single authorization code");
        return redirect;
    }
    redirect.kind = Redirect::Kind::Code;
    redirect.code = FormUrlEncoding::value(fields, code);
    return redirect;
}
