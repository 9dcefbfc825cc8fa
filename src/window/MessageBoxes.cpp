// Message boxes through QMessageBox, unless a test installed its own.

#include "window/MessageBoxes.h"

#include <QMessageBox>

namespace {

class WidgetMessageBoxes : public MessageBoxes
{
public:
    MsgAnswer show(QWidget *parent, const QString &title, const QString &text,
                   MsgButtons buttons, MsgIcon icon) override
    {
        QMessageBox box(parent);
        box.setWindowTitle(title);
        // Boxes show what servers and mails say: never as markup.
        box.setTextFormat(Qt::PlainText);
        box.setText(text);
        switch (icon) {
        case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
        case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
        case MsgIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
        case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
        }
        if (buttons == MsgButtons::YesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            return box.exec() == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
        }
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return MsgAnswer::Ok;
    }
};

WidgetMessageBoxes &defaultBoxes()
{
    static WidgetMessageBoxes boxes;
    return boxes;
}

MessageBoxes *installed = nullptr;

} // namespace

MessageBoxes &MessageBoxes::current()
{
    return installed ? *installed : defaultBoxes();
}

void MessageBoxes::install(MessageBoxes *boxes)
{
    installed = boxes;
}
