#pragma once
// A POP3 deletion run: which DELEs are outstanding, and where the run goes
// on once a reply has come. Each reply moves the run on, so the window stays
// responsive in between and a session that ends meanwhile leaves nothing of
// the run behind. A range may keep a window of DELEs on the wire (against a
// server that takes pipelined commands); rows go one at a time. When a range
// ends early (refused, stopped) the DELEs sent after the reply that ended it
// are still answered: the run hands them over, oldest first, so that their
// replies are read and each mail is known deleted or kept.

#include <QList>
#include <QQueue>

class DeletionRun
{
public:
    // What the outstanding DELE belongs to.
    enum class Kind { None, Range, OneRow, Rows };

    // What the window does once the reply to a DELE has come.
    enum class Next {
        Nothing,      // no DELE of a run was outstanding
        DeleNextMail, // a range goes on: DELE mail() while it has room
        LogOff,       // a range is done: logging off carries its deletions out
        RangeStopped, // the user stopped the range between two mails
        RangeRefused, // the server refused; the mails marked so far stay marked
        OneRowDone,   // the row's mail is deleted, or was refused
        NextRow,      // a selection goes on from nextRow() upwards
        RowsDone,     // the selection's first row was the last to go
        RowsRefused,  // the server refused a selection's mail
    };

    Kind kind() const { return m_kind; }
    bool isRunning() const { return m_kind != Kind::None; }
    // A row's mail; in a range the next mail to ask for.
    int mail() const { return m_mail; }
    // The mail whose reply comes next in a range; 0 when none is out.
    int awaitedMail() const { return m_onWire.isEmpty() ? 0 : m_onWire.head(); }
    // The selection's first row: its rows are deleted from the last one up to this.
    int firstRow() const { return m_firstRow; }
    // The row a selection goes on from: the one above the row last asked for.
    int nextRow() const { return m_row - 1; }

    // From the highest number down: the mails still to go keep their numbers.
    // Up to `window` DELEs are out at once.
    void startRange(int from, int till, int window = 1);
    // The range has mails left and room on the wire for one more DELE.
    bool hasRoomForDele() const;
    // Whether more DELEs go out now: once half the window is answered, in one
    // write (as for a header sweep).
    bool refillDue() const { return m_onWire.size() <= m_window / 2; }
    // The range's next mail; its DELE goes out now.
    int takeNextMail();
    void startOneRow(int mail);
    // No DELE is out yet: the window walks the rows, skipping what is no
    // mail, and names each row whose DELE it sends.
    void startSelection(int firstRow);
    void deleForRow(int row);
    // The reply to the oldest outstanding DELE. A stop the user asked for
    // ends a range before its next mail; a selection's rows check it one by
    // one.
    Next replyArrived(bool accepted, bool stopRequested);
    // The mails of a range that ended early whose DELEs are still to be
    // answered, oldest first; handed over once.
    QList<int> takeUnanswered();
    // The session has ended: nothing of the run goes on. True when a DELE of
    // the run was outstanding.
    bool abandon();

private:
    Kind m_kind = Kind::None;
    int m_mail = 0;
    int m_lowestMail = 0;
    int m_window = 1;
    QQueue<int> m_onWire;
    QList<int> m_unanswered;
    int m_row = 0;
    int m_firstRow = 0;
};
