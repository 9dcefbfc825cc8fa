// Answering and recording message boxes from a script.

#include "MessageBoxRecorder.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

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
    holdIfAsked(text);
    if (buttons == MsgButtons::Ok)
        return MsgAnswer::Ok;
    return answers.isEmpty() ? MsgAnswer::Yes : answers.dequeue();
}

void MessageBoxRecorder::holdOpen(const QString &text, std::function<bool()> release)
{
    m_holds.append({text, std::move(release)});
}

void MessageBoxRecorder::holdIfAsked(const QString &text)
{
    for (qsizetype i = 0; i < m_holds.size(); ++i) {
        if (!text.contains(m_holds[i].text))
            continue;
        const std::function<bool()> release = m_holds.takeAt(i).release;
        const QDeadlineTimer limit(30000);
        QEventLoop loop;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (release() || limit.hasExpired())
                loop.quit();
        });
        poll.start();
        if (!release())
            loop.exec();
        if (!release())
            heldTooLong << text;
        return;
    }
}
