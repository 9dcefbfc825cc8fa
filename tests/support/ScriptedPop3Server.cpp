// The scripted POP3 server: expected lines, replies in chosen chunks.

#include "ScriptedPop3Server.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

namespace {
const char *const kClosed = "mailvaneClosed";

bool isClosed(const QTcpSocket *socket)
{
    return !socket || socket->property(kClosed).toBool();
}
} // namespace

ScriptedPop3Server::ScriptedPop3Server(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedPop3Server::onNewConnection);
    m_server.listen(QHostAddress::LocalHost, 0);
    add(StepKind::Accept); // the first connection
}

bool ScriptedPop3Server::listenOn(const QHostAddress &address)
{
    m_server.close();
    return m_server.listen(address, 0);
}

ScriptedPop3Server::~ScriptedPop3Server()
{
    // The sockets die with m_server, after our other members: they must not
    // call back into us on the way.
    const auto sockets = m_server.findChildren<QTcpSocket *>();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect(this);
        socket->abort();
    }
    m_server.close();
}

quint16 ScriptedPop3Server::port() const
{
    return m_server.serverPort();
}

bool ScriptedPop3Server::isListening() const
{
    return m_server.isListening();
}

ScriptedPop3Server &ScriptedPop3Server::add(StepKind kind, const QList<QByteArray> &chunks)
{
    m_steps.append(Step{kind, chunks});
    // A script extended after it ran dry goes on at once.
    QTimer::singleShot(0, this, &ScriptedPop3Server::run);
    return *this;
}

ScriptedPop3Server &ScriptedPop3Server::send(const QByteArray &data)
{
    return add(StepKind::Send, {data});
}

ScriptedPop3Server &ScriptedPop3Server::send(const QList<QByteArray> &chunks)
{
    return add(StepKind::Send, chunks);
}

ScriptedPop3Server &ScriptedPop3Server::sendManually(const QList<QByteArray> &chunks)
{
    return add(StepKind::SendManually, chunks);
}

ScriptedPop3Server &ScriptedPop3Server::sendForever(const QByteArray &chunk)
{
    return add(StepKind::SendForever, {chunk});
}

ScriptedPop3Server &ScriptedPop3Server::expect(const QByteArray &line)
{
    return add(StepKind::Expect, {line});
}

ScriptedPop3Server &ScriptedPop3Server::reply(const QByteArray &line, const QList<QByteArray> &chunks)
{
    expect(line);
    return send(chunks);
}

ScriptedPop3Server &ScriptedPop3Server::reply(const QByteArray &line, const QByteArray &data)
{
    expect(line);
    return send(data);
}

ScriptedPop3Server &ScriptedPop3Server::closeConnection()
{
    return add(StepKind::Close);
}

ScriptedPop3Server &ScriptedPop3Server::expectAnyLine()
{
    return add(StepKind::Expect);
}

ScriptedPop3Server &ScriptedPop3Server::expectClientClose()
{
    return add(StepKind::ExpectClientClose);
}

ScriptedPop3Server &ScriptedPop3Server::acceptConnection()
{
    return add(StepKind::Accept);
}

void ScriptedPop3Server::sendNext()
{
    if (!isWaitingForSendNext())
        return;
    m_manualRequested = true;
    run();
}

bool ScriptedPop3Server::isWaitingForSendNext() const
{
    return m_step < m_steps.size() && m_steps.at(m_step).kind == StepKind::SendManually
           && m_chunk > 0 && m_chunk < m_steps.at(m_step).chunks.size() && !m_manualRequested;
}

bool ScriptedPop3Server::isFinished() const
{
    return m_step >= m_steps.size();
}

QList<QByteArray> ScriptedPop3Server::chunksOf(const QByteArray &data, int size)
{
    QList<QByteArray> chunks;
    if (size <= 0)
        size = 1;
    for (qsizetype pos = 0; pos < data.size(); pos += size)
        chunks.append(data.mid(pos, size));
    return chunks;
}

QList<QByteArray> ScriptedPop3Server::splitAt(const QByteArray &data, const QList<int> &offsets)
{
    QList<QByteArray> chunks;
    qsizetype from = 0;
    for (int offset : offsets) {
        if (offset <= from || offset >= data.size())
            continue;
        chunks.append(data.mid(from, offset - from));
        from = offset;
    }
    chunks.append(data.mid(from));
    return chunks;
}

void ScriptedPop3Server::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        ++m_connectionCount;
        // Each chunk goes out when written, not held back for the last one's
        // acknowledgement.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { onDisconnected(socket); });
        // A flood goes on as what it wrote leaves.
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            if (socket == m_current)
                run();
        });
        m_waiting.append(socket);
    }
    run();
}

void ScriptedPop3Server::onReadyRead(QTcpSocket *socket)
{
    if (socket == m_current) {
        checkNothingAhead(QStringLiteral("while a reply was being written"));
        run();
        // Lines the script does not wait for are surplus.
        if (isFinished() || m_steps.at(m_step).kind == StepKind::ExpectClientClose)
            drainUnexpected(socket);
    } else if (!m_waiting.contains(socket)) {
        drainUnexpected(socket); // an earlier connection the script has left
    }
}

void ScriptedPop3Server::onDisconnected(QTcpSocket *socket)
{
    socket->setProperty(kClosed, true);
    if (socket == m_current)
        run();
    if (socket == m_current && isFinished())
        drainUnexpected(socket);
    else if (socket != m_current && !m_waiting.contains(socket))
        drainUnexpected(socket);
}

void ScriptedPop3Server::run()
{
    if (m_running) {
        m_rerun = true;
        return;
    }
    m_running = true;
    do {
        m_rerun = false;
        while (m_step < m_steps.size() && runStep())
            advance();
    } while (m_rerun);
    m_running = false;
    if (isFinished()) {
        if (m_current)
            drainUnexpected(m_current);
        if (!m_finishedSignalled) {
            m_finishedSignalled = true;
            emit finished();
        }
    }
}

void ScriptedPop3Server::advance()
{
    ++m_step;
    m_chunk = 0;
    m_manualRequested = false;
    m_finishedSignalled = false;
}

bool ScriptedPop3Server::runStep()
{
    const Step &step = m_steps.at(m_step);
    const auto lostConnection = [this](const QString &what) {
        mismatch(QStringLiteral("step %1: connection closed %2").arg(m_step).arg(what));
        // The rest of this connection's script cannot happen.
        while (m_step + 1 < m_steps.size() && m_steps.at(m_step + 1).kind != StepKind::Accept)
            ++m_step;
        return true;
    };

    switch (step.kind) {
    case StepKind::Accept:
        if (m_waiting.isEmpty())
            return false;
        if (m_current)
            drainUnexpected(m_current);
        m_current = m_waiting.takeFirst();
        m_replyOwed = false;
        return true;

    case StepKind::Send:
        if (isClosed(m_current))
            return lostConnection(QStringLiteral("before sending ") + shown(step.chunks.value(0)));
        if (m_chunkTimerActive)
            return false;
        if (m_chunk >= step.chunks.size()) {
            m_replyOwed = false;
            return true;
        }
        writeChunk(step.chunks.at(m_chunk++));
        if (m_chunk >= step.chunks.size()) {
            m_replyOwed = false;
            return true;
        }
        m_chunkTimerActive = true;
        QTimer::singleShot(m_chunkInterval, this, [this] {
            m_chunkTimerActive = false;
            run();
        });
        return false;

    case StepKind::SendManually:
        if (isClosed(m_current))
            return lostConnection(QStringLiteral("before sending ") + shown(step.chunks.value(0)));
        if (m_chunk >= step.chunks.size())
            return true;
        if (m_chunk > 0 && !m_manualRequested)
            return false;
        m_manualRequested = false;
        writeChunk(step.chunks.at(m_chunk++));
        if (m_chunk < step.chunks.size())
            return false;
        m_replyOwed = false;
        return true;

    case StepKind::SendForever:
        // Until the client gives up.
        if (isClosed(m_current))
            return true;
        return sendAgain(step.chunks.value(0));

    case StepKind::Expect: {
        if (m_current && m_current->canReadLine()) {
            const QByteArray line = m_current->readLine();
            m_received.append(line);
            if (!step.chunks.isEmpty() && line != step.chunks.value(0))
                mismatch(QStringLiteral("step %1: expected %2, received %3")
                             .arg(m_step)
                             .arg(shown(step.chunks.value(0)), shown(line)));
            emit lineReceived(line);
            // Where the script sends a reply next, the client must wait for it.
            const StepKind next = m_step + 1 < m_steps.size() ? m_steps.at(m_step + 1).kind : StepKind::Expect;
            m_replyOwed = next == StepKind::Send || next == StepKind::SendManually;
            checkNothingAhead(QStringLiteral("before the reply to ") + shown(line));
            return true;
        }
        if (isClosed(m_current))
            return lostConnection(QStringLiteral("while expecting ") + shown(step.chunks.value(0)));
        return false;
    }

    case StepKind::Close:
        m_replyOwed = false;
        if (!isClosed(m_current)) {
            m_current->setProperty(kClosed, true);
            m_current->disconnectFromHost(); // after what is still to write
        }
        return true;

    case StepKind::ExpectClientClose:
        return isClosed(m_current);
    }
    return true;
}

// Writes the chunk once more unless what was written is still on its way
// or the interval has not passed; never done by itself.
bool ScriptedPop3Server::sendAgain(const QByteArray &chunk)
{
    if (m_chunkTimerActive || m_current->bytesToWrite() > 0)
        return false;
    m_foreverBytes += chunk.size();
    writeChunk(chunk);
    // Without an interval the next one follows from bytesWritten.
    if (m_chunkInterval > 0) {
        m_chunkTimerActive = true;
        QTimer::singleShot(m_chunkInterval, this, [this] {
            m_chunkTimerActive = false;
            run();
        });
    }
    return false;
}

void ScriptedPop3Server::writeChunk(const QByteArray &chunk)
{
    m_current->write(chunk);
    m_current->flush();
}

void ScriptedPop3Server::drainUnexpected(QTcpSocket *socket)
{
    if (!socket)
        return;
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine();
        m_received.append(line);
        mismatch(QStringLiteral("unexpected line %1").arg(shown(line)));
        emit lineReceived(line);
    }
    if (socket->state() != QAbstractSocket::ConnectedState && socket->bytesAvailable() > 0) {
        const QByteArray rest = socket->readAll();
        m_received.append(rest);
        mismatch(QStringLiteral("unexpected unfinished line %1").arg(shown(rest)));
    }
}

void ScriptedPop3Server::checkNothingAhead(const QString &when)
{
    if (!m_replyOwed || !m_current || m_current->bytesAvailable() == 0)
        return;
    const qsizetype end = m_current->peek(4096).indexOf('\n');
    m_aheadOfReplies.append(shown(m_current->peek(end < 0 ? 200 : end + 1)) + u' ' + when);
}

void ScriptedPop3Server::mismatch(const QString &text)
{
    m_mismatches.append(text);
}

QString ScriptedPop3Server::shown(const QByteArray &bytes)
{
    QString text = QString::fromLatin1(bytes.left(200));
    text.replace(QLatin1Char('\r'), QLatin1String("\\r")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    if (bytes.size() > 200)
        text += QStringLiteral("...");
    return QLatin1Char('"') + text + QLatin1Char('"');
}
