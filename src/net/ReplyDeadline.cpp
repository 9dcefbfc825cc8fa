// The time a server is given for one reply.

#include "net/ReplyDeadline.h"

void ReplyDeadline::setLimits(qint64 fixedMs, qint64 minBytesPerSecond)
{
    m_fixedMs = qMax<qint64>(0, fixedMs);
    m_minBytesPerSecond = qMax<qint64>(1, minBytesPerSecond);
}

void ReplyDeadline::start(bool mayBeLong)
{
    m_clock.start();
    m_running = true;
    m_mayBeLong = mayBeLong;
    m_octets = 0;
}

qint64 ReplyDeadline::allowedMs() const
{
    if (!m_mayBeLong)
        return m_fixedMs;
    // No reply comes near 2^53 octets: the product stays within 64 bits.
    return m_fixedMs + m_octets * 1000 / m_minBytesPerSecond;
}

qint64 ReplyDeadline::remainingMs() const
{
    if (!m_running)
        return 0;
    return qMax<qint64>(0, allowedMs() - m_clock.elapsed());
}
