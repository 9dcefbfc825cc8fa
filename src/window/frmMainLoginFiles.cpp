// Saving the login details to a login file and filling them in from one.

#include "window/frmMain.h"

#include "desktop/LoginFile.h"
#include "window/MessageBoxes.h"
#include "window/Platform.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QStandardPaths>

namespace {
// "MVL files (*.mvl)|*.mvl" in the file dialog's own notation.
const QString LoginFileFilter = QStringLiteral("MVL files (*.mvl)");
} // namespace

void frmMain::cmdSave_Click()
{
    if (txtUser->text().isEmpty() || txtPwd->text().isEmpty() || txtMailServer->text().isEmpty()) {
        msgBoxUnlessMinimized(QStringLiteral("Login details have not been entered"));
        return;
    }
    // Refused before a file is chosen: the details cannot be stored as typed.
    const QString unstorable = LoginFieldNotStorable(txtUser->text(), txtPwd->text(), txtMailServer->text(),
                                                     cboPort->currentText());
    if (!unstorable.isEmpty()) {
        msgBoxUnlessMinimized(LoginFieldNotStorableText(unstorable));
        return;
    }
    // Never a folder of the system's: the file holds the password.
    const QString folder =
        LoginFileDialogFolder(programFolder(), QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                              QDir::homePath());
    const QString chosen = Platform::current().getSaveFileName(this, QString(), folder, LoginFileFilter);
    if (chosen.isEmpty())
        return;
    const QString fileName = LoginFileNameWithExtension(chosen);
    if (mayReplaceLoginFile(fileName))
        SaveLogin(fileName);
}

bool frmMain::mayReplaceLoginFile(const QString &fileName)
{
    // The dialog saw the name before ".mvl" was added, so the question is
    // asked here, once, for the file that is really written.
    const QFileInfo existing(fileName);
    if (!existing.exists() || existing.isDir())
        return true;
    if (bMinimized)
        return false;
    return MsgBox(this, LoginFileReplaceQuestion(fileName), MsgButtons::YesNo, MsgIcon::Exclamation, MsgTitle)
           == MsgAnswer::Yes;
}

void frmMain::SaveLogin(const QString &fileName)
{
    QString reason;
    if (SaveLoginFile(fileName, txtUser->text(), txtPwd->text(), txtMailServer->text(), cboPort->currentText(),
                      &reason))
        return;
    // The user must not believe the details are stored when they are not.
    if (bMinimized)
        return;
    QString text = LoginFileSaveErrorText(fileName);
    if (!reason.isEmpty())
        text += QStringLiteral("\r\n") + reason;
    MsgBox(this, text, MsgButtons::Ok, MsgIcon::Exclamation, MsgTitle);
}

void frmMain::cmdLoad_Click()
{
    const QString chosen = Platform::current().getOpenFileName(this, QString(), QString(), LoginFileFilter);
    if (!chosen.isEmpty())
        LoadLogin(chosen);
}

void frmMain::LoadLogin(const QString &fileName)
{
    const LoginDetails details = LoadLoginFile(fileName);
    if (!details.refusedField.isEmpty()) {
        msgBoxUnlessMinimized(LoginFieldNotLoadableText(fileName, details.refusedField));
        return;
    }
    // Fields read before a failure keep their new values.
    if (details.filledFields >= 1)
        txtUser->setText(details.user);
    if (details.filledFields >= 2)
        txtPwd->setText(details.password);
    if (details.filledFields >= 3)
        txtMailServer->setText(details.mailServer);
    if (details.filledFields >= 4)
        cboPort->setEditText(details.port);
    if (!details.ok && !bMinimized)
        MsgBox(this, LoginFileOpenErrorText(fileName), MsgButtons::Ok, MsgIcon::Information, MsgTitle);
}
