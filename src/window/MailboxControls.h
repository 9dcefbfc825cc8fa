#pragma once
// The red stop button that header retrieval and deletion share.

#include "window/VbColor.h"

#include <QPalette>
#include <QPushButton>
#include <QString>

namespace mailbox {

// While an operation runs, its button is the red stop button and the only
// action control left enabled.
inline void showAsStopButton(QPushButton *button)
{
    button->setText(QStringLiteral("Stop"));
    QPalette p = button->palette();
    p.setColor(QPalette::Button, vb::ColorFromLiteral(QStringLiteral("&H0000FF")));
    button->setPalette(p);
    button->setEnabled(true);
}

} // namespace mailbox
