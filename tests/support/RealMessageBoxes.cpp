// Reading and answering the program's real message boxes.

#include "RealMessageBoxes.h"

#include "WindowTestKit.h"
#include "window/MessageBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>

RealMessageBoxes::RealMessageBoxes()
{
    m_previous = &MessageBoxes::current();
    MessageBoxes::install(nullptr);
    m_poll.setInterval(5);
    connect(&m_poll, &QTimer::timeout, this, &RealMessageBoxes::answerOpenBox);
    m_poll.start();
}

RealMessageBoxes::~RealMessageBoxes()
{
    MessageBoxes::install(m_previous);
}

QStringList RealMessageBoxes::texts() const
{
    QStringList result;
    for (const Box &box : boxes)
        result << box.text;
    return result;
}

void RealMessageBoxes::answerOpenBox()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || box == m_answered)
        return;
    m_answered = box;
    const auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    boxes.append({box->text(), label && kit::showsPlainText(label), label ? label->sizeHint().height() : 0});
    QAbstractButton *button = answers.isEmpty() ? nullptr : box->button(answers.dequeue());
    if (!button)
        button = box->escapeButton();
    if (button)
        button->click();
    else
        box->reject();
}
