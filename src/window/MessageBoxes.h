#pragma once
// Every message box of the program goes through here, so that tests can
// answer and record them.

#include <QString>

class QWidget;

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Information, Exclamation, Question };
enum class MsgAnswer { Ok, Yes, No };

class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    virtual MsgAnswer show(QWidget *parent, const QString &title, const QString &text,
                           MsgButtons buttons, MsgIcon icon) = 0;

    // The active implementation; QMessageBox unless a test installed another.
    static MessageBoxes &current();
    // Installs an implementation (not owned); nullptr restores the default.
    static void install(MessageBoxes *boxes);
};

// Shorthand used by the windows.
inline MsgAnswer MsgBox(QWidget *parent, const QString &text, MsgButtons buttons,
                        MsgIcon icon, const QString &title)
{
    return MessageBoxes::current().show(parent, title, text, buttons, icon);
}

// The program's own title, with its trailing blank.
inline const QString AppTitle = QStringLiteral("Mailvane ");
// The title of the program's own messages.
inline const QString MsgTitle = QStringLiteral("Mailvane");
