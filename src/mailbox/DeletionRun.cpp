// The transitions of a POP3 deletion run, all of them: each start, each
// reply to a DELE, and the end of the session.

#include "mailbox/DeletionRun.h"

#include <utility>

void DeletionRun::startRange(int from, int till, int window)
{
    m_kind = Kind::Range;
    m_lowestMail = from;
    m_mail = till;
    m_window = window < 1 ? 1 : window;
    m_onWire.clear();
}

bool DeletionRun::hasRoomForDele() const
{
    return m_kind == Kind::Range && m_mail >= m_lowestMail && m_onWire.size() < m_window;
}

int DeletionRun::takeNextMail()
{
    m_onWire.enqueue(m_mail);
    return m_mail--;
}

QList<int> DeletionRun::takeUnanswered()
{
    return std::exchange(m_unanswered, {});
}

void DeletionRun::startOneRow(int mail)
{
    m_kind = Kind::OneRow;
    m_mail = mail;
}

void DeletionRun::startSelection(int firstRow)
{
    m_firstRow = firstRow;
}

void DeletionRun::deleForRow(int row)
{
    m_kind = Kind::Rows;
    m_row = row;
}

DeletionRun::Next DeletionRun::replyArrived(bool accepted, bool stopRequested)
{
    switch (std::exchange(m_kind, Kind::None)) {
    case Kind::None:
        return Next::Nothing;
    case Kind::Range:
        if (!m_onWire.isEmpty())
            m_onWire.dequeue();
        if (!accepted || stopRequested) {
            m_unanswered = m_onWire;
            m_onWire.clear();
            return accepted ? Next::RangeStopped : Next::RangeRefused;
        }
        if (!m_onWire.isEmpty() || m_mail >= m_lowestMail) {
            m_kind = Kind::Range;
            return Next::DeleNextMail;
        }
        return Next::LogOff;
    case Kind::OneRow:
        return Next::OneRowDone;
    case Kind::Rows:
        if (!accepted)
            return Next::RowsRefused;
        return m_row > m_firstRow ? Next::NextRow : Next::RowsDone;
    }
    return Next::Nothing;
}

bool DeletionRun::abandon()
{
    m_onWire.clear();
    m_unanswered.clear();
    return std::exchange(m_kind, Kind::None) != Kind::None;
}
