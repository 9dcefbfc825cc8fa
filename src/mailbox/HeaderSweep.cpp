// The TOP commands of a header sweep on the wire, bounded in number and in
// the octets their replies may take.

#include "mailbox/HeaderSweep.h"

#include <algorithm>

qint64 HeaderSweep::expectedReplyBytes(qint64 mailSize)
{
    // "+OK" with any text the server likes, then ".": a line each.
    constexpr qint64 StatusAndEnd = 512;
    if (mailSize < 0)
        return ByteCap;
    // Dot-stuffing may double a mail of lines holding only ".".
    return std::min(ByteCap, 2 * mailSize + StatusAndEnd);
}

void HeaderSweep::start(qint64 firstMail, int window)
{
    m_running = true;
    m_next = firstMail;
    m_window = std::max(1, window);
    m_bytesOut = 0;
    m_bytes.clear();
}

bool HeaderSweep::hasRoomFor(qint64 bytes) const
{
    if (!m_running)
        return false;
    if (m_bytes.isEmpty())
        return true;
    return m_bytes.size() < m_window && m_bytesOut + bytes <= ByteCap;
}

void HeaderSweep::asked(qint64 bytes)
{
    ++m_next;
    m_bytes.enqueue(bytes);
    m_bytesOut += bytes;
}

void HeaderSweep::replyArrived()
{
    if (!m_bytes.isEmpty())
        m_bytesOut -= m_bytes.dequeue();
}

int HeaderSweep::end()
{
    const int unanswered = inFlight();
    m_running = false;
    m_bytes.clear();
    m_bytesOut = 0;
    return unanswered;
}
