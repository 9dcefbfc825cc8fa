#pragma once
// How long a server may take over one reply, whatever it sends meanwhile:
// a server that trickles a byte now and then is never silent, so the wait
// for silence alone would let it hold the window for ever. Every reply has
// a fixed time; one that may be long (a listing, a mail) has besides the
// time its octets take at a minimum rate.

#include <QElapsedTimer>
#include <QtGlobal>

class ReplyDeadline
{
public:
    // Two minutes; and a second for each 16 KiB, a link of 128 kbit/s.
    static constexpr qint64 DefaultFixedMs = 120000;
    static constexpr qint64 DefaultMinBytesPerSecond = 16 * 1024;

    void setLimits(qint64 fixedMs, qint64 minBytesPerSecond);

    // A reply is awaited from now on; `mayBeLong`: its time grows with its
    // octets.
    void start(bool mayBeLong);
    void stop() { m_running = false; }
    bool isRunning() const { return m_running; }
    void received(qint64 octets) { m_octets += octets; }

    // The time the reply has been given so far.
    qint64 allowedMs() const;
    // While running: the time left before the reply is overdue, 0 once it is.
    qint64 remainingMs() const;

private:
    qint64 m_fixedMs = DefaultFixedMs;
    qint64 m_minBytesPerSecond = DefaultMinBytesPerSecond;
    QElapsedTimer m_clock;
    bool m_running = false;
    bool m_mayBeLong = false;
    qint64 m_octets = 0;
};
