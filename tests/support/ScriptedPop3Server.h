#pragma once
// An in-process POP3 server that follows a script: what to send, which
// command lines to expect (exact bytes, CR LF included), when to close.
// Every received line and every difference from the script is recorded;
// tests compare mismatches() with QCOMPARE, the server never asserts.
//
// The script begins by waiting for the first connection; acceptConnection()
// lets it go on with the next one (a login after a deletion run).
//
// Chunks of a send() step are written one by one, each flushed, the next
// only after a timer tick. On loopback the client usually reads them one by
// one, but that is not guaranteed. Where exact chunk boundaries matter, use
// sendManually(): its first chunk goes out at once, each further one only
// when sendNext() is called, e.g. from the client's data-arrival signal (then
// every chunk is one read of the client) or step by step from the test.
//
// A client that waits for each reply sends nothing while one is owed: lines
// that arrive before the reply to the previous command is written (where
// the script does not expect two commands back to back) are pipelined, and
// listed by linesAheadOfReplies(); they are no mismatch, since a server
// offering PIPELINING takes them.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>

class QTcpSocket;

class ScriptedPop3Server : public QObject
{
    Q_OBJECT
public:
    explicit ScriptedPop3Server(QObject *parent = nullptr);
    ~ScriptedPop3Server() override;

    // Listening on 127.0.0.1, on a port of the system's choice.
    quint16 port() const;
    // Listens on this address instead (a port of the system's choice); false
    // when it cannot.
    bool listenOn(const QHostAddress &address);
    bool isListening() const;

    // ---- The script, in order
    ScriptedPop3Server &send(const QByteArray &data);
    ScriptedPop3Server &send(const QList<QByteArray> &chunks);
    ScriptedPop3Server &sendManually(const QList<QByteArray> &chunks);
    // A server that never ends its reply: the chunk again and again, each
    // once the one before has left (or after the chunk interval, when one
    // is set), until the client closes the connection; then the script
    // goes on.
    ScriptedPop3Server &sendForever(const QByteArray &chunk);
    ScriptedPop3Server &expect(const QByteArray &line);
    // Any one line, kept in receivedLines(): what the script cannot know,
    // as an access token.
    ScriptedPop3Server &expectAnyLine();
    // expect(line) followed by send(chunks).
    ScriptedPop3Server &reply(const QByteArray &line, const QList<QByteArray> &chunks);
    ScriptedPop3Server &reply(const QByteArray &line, const QByteArray &data);
    // The server closes the connection once everything is written.
    ScriptedPop3Server &closeConnection();
    // Waits until the client closes the connection.
    ScriptedPop3Server &expectClientClose();
    // The following steps run on the next connection.
    ScriptedPop3Server &acceptConnection();

    // Pause between two chunks of a send() step (default 0: one timer tick).
    void setChunkInterval(int milliseconds) { m_chunkInterval = milliseconds; }

    // Writes the next chunk of the current sendManually() step.
    void sendNext();
    bool isWaitingForSendNext() const;

    // ---- What happened
    QList<QByteArray> receivedLines() const { return m_received; }
    QStringList mismatches() const { return m_mismatches; }
    // Lines sent before the reply to the previous command was written.
    QStringList linesAheadOfReplies() const { return m_aheadOfReplies; }
    // Every step done and every chunk written.
    bool isFinished() const;
    int connectionCount() const { return m_connectionCount; }
    int stepIndex() const { return m_step; }
    // Octets written by sendForever() steps.
    qint64 foreverBytes() const { return m_foreverBytes; }
    int stepCount() const { return int(m_steps.size()); }

    // ---- Cutting replies into chunks
    // Pieces of `size` bytes (the last one shorter).
    static QList<QByteArray> chunksOf(const QByteArray &data, int size);
    // Cut before each of the given offsets.
    static QList<QByteArray> splitAt(const QByteArray &data, const QList<int> &offsets);

signals:
    void lineReceived(const QByteArray &line);
    void finished();

private:
    enum class StepKind { Accept, Send, SendManually, SendForever, Expect, Close, ExpectClientClose };
    struct Step
    {
        StepKind kind;
        QList<QByteArray> chunks; // Send: the chunks; Expect: the line
    };

    ScriptedPop3Server &add(StepKind kind, const QList<QByteArray> &chunks = {});
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void onDisconnected(QTcpSocket *socket);
    void run();
    bool runStep(); // true when the step is done and the script moves on
    bool sendAgain(const QByteArray &chunk);
    void writeChunk(const QByteArray &chunk);
    void advance();
    void drainUnexpected(QTcpSocket *socket);
    void mismatch(const QString &text);
    void checkNothingAhead(const QString &when);
    static QString shown(const QByteArray &bytes);

    QTcpServer m_server;
    QList<Step> m_steps;
    int m_step = 0;
    int m_chunk = 0;           // next chunk of the current send step
    bool m_chunkTimerActive = false;
    bool m_manualRequested = false;
    int m_chunkInterval = 0;
    qint64 m_foreverBytes = 0;
    QPointer<QTcpSocket> m_current;
    bool m_currentClosed = false;
    QList<QPointer<QTcpSocket>> m_waiting; // connections not yet accepted by the script
    QList<QByteArray> m_received;
    QStringList m_mismatches;
    QStringList m_aheadOfReplies;
    bool m_replyOwed = false; // a command was read, its reply not yet all written
    int m_connectionCount = 0;
    bool m_running = false;
    bool m_rerun = false;
    bool m_finishedSignalled = false;
};
