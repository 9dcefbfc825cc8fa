#pragma once
// Answers the program's message boxes from a script and keeps every box
// shown. Installs itself for its lifetime. A box can be held open as a user
// reading it would hold it: its own event loop then runs (sockets, timers)
// until a condition holds, as a real modal box's does.

#include "window/MessageBoxes.h"

#include <QList>
#include <QQueue>
#include <QString>

#include <functional>

class MessageBoxRecorder : public MessageBoxes
{
public:
    struct Box
    {
        QString title;
        QString text;
        MsgButtons buttons;
        MsgIcon icon;
    };

    MessageBoxRecorder();
    ~MessageBoxRecorder() override;
    MessageBoxRecorder(const MessageBoxRecorder &) = delete;
    MessageBoxRecorder &operator=(const MessageBoxRecorder &) = delete;

    QList<Box> boxes;
    // Answers for Yes/No boxes, used in order; when none is left, Yes.
    QQueue<MsgAnswer> answers;

    QStringList texts() const;
    void clear() { boxes.clear(); }

    // The next box whose text contains `text` stays open until `release`
    // holds (checked every few milliseconds); then it is answered as usual.
    // A box still held after 30 seconds is let go and its text listed in
    // heldTooLong.
    void holdOpen(const QString &text, std::function<bool()> release);
    QStringList heldTooLong;

    MsgAnswer show(QWidget *parent, const QString &title, const QString &text, MsgButtons buttons,
                   MsgIcon icon) override;

private:
    struct Hold
    {
        QString text;
        std::function<bool()> release;
    };
    QList<Hold> m_holds;
    void holdIfAsked(const QString &text);
};
