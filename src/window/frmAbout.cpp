// The about box's controls and its buttons.

#include "window/frmAbout.h"

#include "window/dlgSysinfo.h"
#include "window/MessageBoxes.h"
#include "window/Platform.h"
#include "window/ProgramIcon.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

frmAbout::frmAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + AppTitle);
    setWindowIcon(ProgramIcon());

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(ProgramPixmap(64));
    picIcon->setFixedSize(64, 64);

    lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setText(AppTitle + QStringLiteral("Ver. ") + QStringLiteral(MAILVANE_VERSION));
    QFont titleFont = lblTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    lblTitle->setFont(titleFont);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdWebsite = new QPushButton(QStringLiteral("Visit Website"), this);
    cmdWebsite->setObjectName(QStringLiteral("cmdWebsite"));

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    buttons->addWidget(cmdWebsite);
    buttons->addStretch();

    auto *top = new QHBoxLayout(this);
    top->addWidget(picIcon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addWidget(lblTitle, 1, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
    connect(cmdWebsite, &QPushButton::clicked, this, &frmAbout::cmdWebsite_Click);
}

void frmAbout::setMainWindow(QWidget *mainWindow)
{
    m_mainWindow = mainWindow;
}

QUrl frmAbout::WebsiteUrl()
{
    return QUrl(QStringLiteral("https://www.mailvane.org/"));
}

void frmAbout::cmdOK_Click()
{
    accept();
}

void frmAbout::cmdSysInfo_Click()
{
    auto *dialog = new dlgSysinfo(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
}

void frmAbout::cmdWebsite_Click()
{
    // Whether a browser came up is not reported.
    Platform::current().openUrl(WebsiteUrl());
}

void frmAbout::done(int result)
{
    QDialog::done(result);
    Form_Unload();
}

void frmAbout::Form_Unload()
{
    if (m_mainWindow && !m_mainWindow->isVisible())
        m_mainWindow->show();
    emit unloaded();
}
