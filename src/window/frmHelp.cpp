// The help window's texts and its controls.

#include "window/frmHelp.h"

#include "base/VbHelpers.h"
#include "window/ProgramIcon.h"
#include "window/VbColor.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

struct Topic
{
    const char *title;
    QStringList paragraphs;
};

const QList<Topic> &topics()
{
    static const QList<Topic> table = {
        {"Login",
         {QStringLiteral("This enables you to login to your POP3 mail account. You can either type in "
                         "your username, password and mail server or use the Load Login option to get "
                         "it from a saved file."),
          QStringLiteral("Eg. If your e-mail address is john.smith@example.com, then your username is "
                         "john.smith and not john.smith@example.com. In case you do not know your mail "
                         "server, you can ask your Sys admin."),
          QString(),
          QStringLiteral("If you have a Hotmail or MSN account, type in your full e-mail address (for "
                         "example john.smith@hotmail.com) as the username, your password, and "
                         "hotmail.com as the mail server."),
          QStringLiteral("Any address at hotmail.com or msn.com logs in to a Hotmail account; the Port "
                         "is then not used. Port 995 logs in over a connection encrypted with TLS from "
                         "the start, as most mail providers ask; on any other port the connection is "
                         "encrypted whenever the server offers it."),
          QStringLiteral("The red light signifies the current state of the mail account. If it is red "
                         "then you have not logged into your mail account yet. Once you login "
                         "successfully, it turns green.")}},
        {"Update Changes",
         {QStringLiteral("This checkbox becomes visible whenever you delete any mail from your mailbox. "
                         "By default, this option is enabled so that when you logout, the deleted mails "
                         "are cleared from your mail server."),
          QStringLiteral("If you uncheck this option and then do a logout, all the deleted mails will be "
                         "restored back in your mailbox.")}},
        {"Save Login",
         {QStringLiteral("This allows you to save username, password and mailserver into a file of your "
                         "choice. The file will have the extension of .mvl and can be retrieved by using "
                         "the Load Login feature."),
          QStringLiteral("It saves you the trouble of having to type in your credentials everytime you "
                         "want to log in.")}},
        {"Load Login",
         {QStringLiteral("Login details saved by the Save Login option can be retrieved using this "
                         "feature. Once you select the file, it will fill in the username, password and "
                         "mail server fields automatically.")}},
        {"Mailbox Statistics",
         {QStringLiteral("After logging in, this shows the number of mails in your mailbox and their "
                         "total size in bytes."),
          QStringLiteral("Clicking on the More button will give you the size of each mail in bytes")}},
        {"Retrieval",
         {QStringLiteral("This fetches the mail headers from your mailbox. You can choose which mails to "
                         "fetch from the From and Till combo boxes. "),
          QStringLiteral("You can further filter the retrieval by entering any Subject or From email id. "
                         "It will only fetch mails which match the filter."),
          QStringLiteral("During retrieval, it will get the Date, From email id and Subject of the mail "
                         "and fill the Mail grid. "),
          QStringLiteral("Eg. If you choose to retrieve mails from 10 to 15 and enter the Subject as "
                         "'Sales', it will fetch only those mails between 10 to 15 which have the word "
                         "'Sales' in the subject."),
          QStringLiteral("For Hotmail accounts, the new mails will be marked in blue.")}},
        {"Deletion",
         {QStringLiteral("You can delete mails between the From and Till selection."),
          QStringLiteral("You can do selective deletion from the Mail grid also by selecting mails and "
                         "right clicking for options."),
          QStringLiteral("When you delete mails using the Delete button, then after completion of "
                         "deletion, you are logged off and logged in again to update your mailbox. "),
          QStringLiteral("when you delete mails using the menu option, then you are not logged off.")}},
        {"Mails",
         {QStringLiteral("This shows the retrieved mail headers. It shows the Date, From email id and "
                         "Subject of each mail retrieved."),
          QStringLiteral("You can sort the grid by clicking on the column headers. Right clicking the "
                         "mouse on any mail enables you to view the complete mail or delete it. Multiple "
                         "selection can be done by dragging the cursor and highlighting the reqd mails."),
          QStringLiteral("For Hotmail accounts, the new mails will be marked in blue.")}},
        {"AutoLogin",
         {QStringLiteral("AutoLogin is mostly of use when Mailvane is minimized to the system tray."),
          QStringLiteral("If this option is checked, then Mailvane checks the currently selected mail "
                         "account every 5 minutes. If Mailvane is in normal visible mode, then it shows "
                         "any new mails received, if its in minimized mode, it pops up an alert window "
                         "to show how many new mails are there.")}},
    };
    return table;
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(vb::TwipsToPixels(left), vb::TwipsToPixels(top), vb::TwipsToPixels(width),
                 vb::TwipsToPixels(height));
}

} // namespace

QString frmHelp::TopicTitle(int nCode)
{
    if (nCode < 1 || nCode > TopicCount)
        return QString();
    return QLatin1String(topics()[nCode - 1].title);
}

QString frmHelp::TopicText(int nCode)
{
    if (nCode < 1 || nCode > TopicCount)
        return QString();
    return topics()[nCode - 1].paragraphs.join(QStringLiteral("\r\n"));
}

frmHelp::frmHelp(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Mailvane Help"));
    setWindowIcon(ProgramIcon());
    setModal(false);
    setFixedSize(vb::TwipsToPixels(6030), vb::TwipsToPixels(3315));

    const QColor paleYellow = vb::ColorFromLiteral(QStringLiteral("&HC0FFFF"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, paleYellow);
    pal.setColor(QPalette::Base, paleYellow);
    setPalette(pal);
    setAutoFillBackground(true);

    lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setTextFormat(Qt::PlainText);
    lblTitle->setGeometry(twipsRect(0, 0, 6015, 255));
    lblTitle->setAutoFillBackground(true);
    QFont titleFont = lblTitle->font();
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    txtHelp = new QPlainTextEdit(this);
    txtHelp->setObjectName(QStringLiteral("txtHelp"));
    txtHelp->setGeometry(twipsRect(0, 360, 6015, 2535));
    txtHelp->setReadOnly(true);
    txtHelp->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtHelp->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setGeometry(twipsRect(2400, 3000, 1215, 255));
    connect(cmdClose, &QPushButton::clicked, this, &frmHelp::cmdClose_Click);

    Form_Load();
}

void frmHelp::Form_Load()
{
    for (int n = 1; n <= TopicCount; ++n) {
        m_titles << TopicTitle(n);
        m_texts << TopicText(n);
    }
}

void frmHelp::ShowHelp(int nCode)
{
    if (nCode >= 1 && nCode <= TopicCount) {
        lblTitle->setText(m_titles[nCode - 1]);
        // The editor breaks lines at LF; a CR would show up as a stray mark.
        QString text = m_texts[nCode - 1];
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        txtHelp->setPlainText(text);
    }
    show();
    activateWindow();
}

void frmHelp::cmdClose_Click()
{
    hide();
}
