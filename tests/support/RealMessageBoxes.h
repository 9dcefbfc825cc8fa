#pragma once
// The program's own message boxes (QMessageBox, as a user sees them), each
// read and answered the moment it opens: its text, whether the text is
// shown as it is or as markup, and how tall it is drawn. While one of these
// lives, no recorder stands in for the boxes.

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QString>
#include <QTimer>

class MessageBoxes;

class RealMessageBoxes : public QObject
{
public:
    struct Box
    {
        QString text;
        bool plainText = false;
        int textHeight = 0; // the height its text asks for, in pixels
    };

    RealMessageBoxes();
    ~RealMessageBoxes() override;

    QList<Box> boxes;
    // The buttons to press, in order; when none is left, the box's escape
    // button (No, or OK).
    QQueue<QMessageBox::StandardButton> answers;

    QStringList texts() const;

private:
    void answerOpenBox();

    MessageBoxes *m_previous = nullptr;
    QTimer m_poll;
    QPointer<QMessageBox> m_answered;
};
