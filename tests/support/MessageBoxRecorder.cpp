#include "MessageBoxRecorder.h"

MessageBoxRecorder::MessageBoxRecorder()
{
    MessageBoxes::install(this);
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    MessageBoxes::install(nullptr);
}

QStringList MessageBoxRecorder::texts() const
{
    QStringList result;
    for (const Box &box : boxes)
        result << box.text;
    return result;
}

MsgAnswer MessageBoxRecorder::show(QWidget *, const QString &title, const QString &text, MsgButtons buttons,
                                   MsgIcon icon)
{
    boxes.append({title, text, buttons, icon});
    if (buttons == MsgButtons::Ok)
        return MsgAnswer::Ok;
    return answers.isEmpty() ? MsgAnswer::Yes : answers.dequeue();
}
