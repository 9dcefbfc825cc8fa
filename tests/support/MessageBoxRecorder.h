#pragma once
// Answers the program's message boxes from a script and keeps every box
// shown. Installs itself for its lifetime.

#include "app/MessageBoxes.h"

#include <QList>
#include <QQueue>
#include <QString>

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

    MsgAnswer show(QWidget *parent, const QString &title, const QString &text, MsgButtons buttons,
                   MsgIcon icon) override;
};
