#pragma once
// Which TOP commands of a header sweep are on the wire. Replies come in the
// order the commands went out, so the oldest one asked is the one answered
// next. Against a server that takes pipelined commands up to a window of
// them is out at once, and never more than keep the octets of the replies
// expected (each bounded by its mail's size) under a cap, so the server
// never waits with a full send buffer on a window that is not reading.
// Otherwise one at a time.

#include <QQueue>
#include <QtGlobal>

class HeaderSweep
{
public:
    // Chosen by measurement against Dovecot (README, Performance).
    static constexpr int PipelinedWindow = 128;
    static constexpr qint64 ByteCap = 256 * 1024;
    // A TOP reply holds at most the mail, its status line and terminating
    // line; a mail the size list does not name (size < 0) may take the cap.
    static qint64 expectedReplyBytes(qint64 mailSize);

    void start(qint64 firstMail, int window);
    bool isRunning() const { return m_running; }
    // The mail the next TOP asks for.
    qint64 nextMail() const { return m_next; }
    int inFlight() const { return int(m_bytes.size()); }
    // Room for one more command whose reply takes `bytes`: within the
    // window and the cap. One command fits whenever none is out.
    bool hasRoomFor(qint64 bytes) const;
    // Whether more commands go out now. Once a window is out, more go only
    // when half of it is answered, all in one write: topping it up after each
    // reply cost a system call and a wake-up of the server per mail, while
    // half a window keeps the server busy meanwhile.
    bool refillDue() const { return m_running && m_bytes.size() <= m_window / 2; }
    // TOP nextMail() went out.
    void asked(qint64 bytes);
    // The reply to the oldest command out has come.
    void replyArrived();
    // The sweep is over; returns how many of its replies are still to come.
    int end();

private:
    bool m_running = false;
    qint64 m_next = 0;
    int m_window = 1;
    qint64 m_bytesOut = 0;
    QQueue<qint64> m_bytes; // per command out, oldest first
};
