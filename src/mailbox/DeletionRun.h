#pragma once
// A POP3 deletion run: which DELE is outstanding, and where the run goes on
// once its reply has come. One DELE is out at a time and each reply moves
// the run on, so the window stays responsive in between and a session that
// ends meanwhile leaves nothing of the run behind.

class DeletionRun
{
public:
    // What the outstanding DELE belongs to.
    enum class Kind { None, Range, OneRow, Rows };

    // What the window does once the reply to a DELE has come.
    enum class Next {
        Nothing,      // no DELE of a run was outstanding
        DeleNextMail, // a range goes on: DELE mail()
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
    // The mail of a range's or a row's DELE (the last one asked for).
    int mail() const { return m_mail; }
    // The selection's first row: its rows are deleted from the last one up to this.
    int firstRow() const { return m_firstRow; }
    // The row a selection goes on from: the one above the row last asked for.
    int nextRow() const { return m_row - 1; }

    // From the highest number down: the mails still to go keep their numbers.
    void startRange(int from, int till);
    void startOneRow(int mail);
    // No DELE is out yet: the window walks the rows, skipping what is no
    // mail, and names each row whose DELE it sends.
    void startSelection(int firstRow);
    void deleForRow(int row);
    // The reply to the outstanding DELE. A stop the user asked for ends a
    // range before its next mail; a selection's rows check it one by one.
    Next replyArrived(bool accepted, bool stopRequested);
    // The session has ended: nothing of the run goes on. True when a DELE of
    // the run was outstanding.
    bool abandon();

private:
    Kind m_kind = Kind::None;
    int m_mail = 0;
    int m_lowestMail = 0;
    int m_row = 0;
    int m_firstRow = 0;
};
