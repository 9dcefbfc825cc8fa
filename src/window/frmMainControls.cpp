// Building the main window's controls and laying them out.

#include "window/frmMain.h"

#include "net/TcpClientSocket.h"
#include "window/FixedPlace.h"
#include "window/FlexGrid.h"
#include "window/MailNumberList.h"
#include "window/StatusLamp.h"
#include "window/VbColor.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <initializer_list>
#include <utility>

namespace {

template <typename T>
T *named(T *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// Hidden controls keep their place, so the form does not jump around.
void keepPlaceWhenHidden(QWidget *widget)
{
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

QPushButton *helpButton(QWidget *parent, const char *name)
{
    auto *button = named(new QPushButton(QStringLiteral("?"), parent), name);
    button->setFixedSize(22, 22);
    button->setFocusPolicy(Qt::NoFocus);
    // The pale yellow of the help window, painted flat: a style's shaded
    // face would turn it into some other colour.
    const QColor paleYellow = vb::ColorFromLiteral(QStringLiteral("&HC0FFFF"));
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: black;"
                                         " border: 1px solid %2; border-radius: 2px; }"
                                         " QPushButton:pressed { background-color: %3; }")
                              .arg(paleYellow.name(), paleYellow.darker(170).name(),
                                   paleYellow.darker(115).name()));
    keepPlaceWhenHidden(button);
    return button;
}

QComboBox *editableCombo(QWidget *parent, const char *name)
{
    auto *combo = named(new QComboBox(parent), name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setMaxVisibleItems(12);
    combo->setMinimumWidth(70);
    return combo;
}

// Labels in column 0, their fields beside them, one pair a row from row 0.
void addLabelledRows(QGridLayout *grid, std::initializer_list<std::pair<QWidget *, QWidget *>> rows,
                     int fieldColumns = 1)
{
    int row = 0;
    for (const auto &[label, field] : rows) {
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1, 1, fieldColumns);
        ++row;
    }
}

} // namespace

void frmMain::buildControls()
{
    timLogin = new QTimer(this);
    timLogin->setObjectName(QStringLiteral("timLogin"));
    timLogin->setInterval(m_autoLoginIntervalMs);
    sockPOP3 = new TcpClientSocket(this);
    sockPOP3->setObjectName(QStringLiteral("sockPOP3"));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 6);
    outer->setSpacing(6);

    Frame1 = named(new QGroupBox(this), "Frame1");
    Frame1->setFlat(true);
    outer->addWidget(Frame1, 1);
    // Built in the window's tab order.
    buildLoginFrame();
    buildStatsFrame();
    buildMailsFrame();
    buildRetrievalFrame();
    buildDeletionFrame();
    buildSettingsFrame();
    layOutFrames();
    outer->addLayout(buildStatusLine());

    // Labels show what servers and mails say (counts, sizes): never as markup.
    for (QLabel *label : findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);

    m_rangeNumbers = new MailNumberList(this);
    for (QComboBox *range : {cboFrom, cboTill, cboDelFrom, cboDelTill})
        range->setModel(m_rangeNumbers);
    buildMailMenu();
}

void frmMain::buildLoginFrame()
{
    fraLogin = named(new QGroupBox(QStringLiteral("Login"), Frame1), "fraLogin");
    auto *grid = new QGridLayout(fraLogin);
    grid->setVerticalSpacing(4);
    Label1 = named(new QLabel(QStringLiteral("Username"), fraLogin), "Label1");
    txtUser = named(new QLineEdit(fraLogin), "txtUser");
    txtUser->setMaxLength(50);
    Label2 = named(new QLabel(QStringLiteral("Password"), fraLogin), "Label2");
    txtPwd = named(new QLineEdit(fraLogin), "txtPwd");
    txtPwd->setMaxLength(50);
    txtPwd->setEchoMode(QLineEdit::Password);
    Label3 = named(new QLabel(QStringLiteral("Mail Server"), fraLogin), "Label3");
    txtMailServer = named(new QLineEdit(fraLogin), "txtMailServer");
    txtMailServer->setMaxLength(100);
    Label4 = named(new QLabel(QStringLiteral("Port"), fraLogin), "Label4");
    cboPort = editableCombo(fraLogin, "cboPort");
    shpStatus = named(new StatusLamp(fraLogin), "shpStatus");
    cmdLogin = named(new QPushButton(QStringLiteral("Login"), fraLogin), "cmdLogin");
    cmdLogin->setDefault(true);
    cmdHlpLogin = helpButton(fraLogin, "cmdHlpLogin");

    addLabelledRows(grid, {{Label1, txtUser}, {Label2, txtPwd}, {Label3, txtMailServer}}, 3);
    grid->addWidget(Label4, 3, 0);
    grid->addWidget(cboPort, 3, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(shpStatus);
    buttons->addWidget(cmdLogin);
    buttons->addWidget(cmdHlpLogin);
    grid->addLayout(buttons, 3, 2, 1, 2, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
}

void frmMain::buildStatsFrame()
{
    fraStats = named(new QGroupBox(QStringLiteral("Mailbox Statistics"), Frame1), "fraStats");
    auto *grid = new QGridLayout(fraStats);
    grid->setVerticalSpacing(4);
    Label5 = named(new QLabel(QStringLiteral("Number of Mails"), fraStats), "Label5");
    lblMails = named(new QLabel(fraStats), "lblMails");
    Label6 = named(new QLabel(QStringLiteral("Total size in bytes"), fraStats), "Label6");
    lblMailSize = named(new QLabel(fraStats), "lblMailSize");
    for (QLabel *value : {lblMails, lblMailSize}) {
        value->setFrameShape(QFrame::StyledPanel);
        value->setFrameShadow(QFrame::Sunken);
        value->setMinimumWidth(80);
    }
    Frame2 = named(new QGroupBox(fraStats), "Frame2");
    auto *totals = new QVBoxLayout(Frame2);
    totals->setContentsMargins(6, 4, 6, 4);
    lblTotalMails = named(new QLabel(Frame2), "lblTotalMails");
    lblNewMails = named(new QLabel(Frame2), "lblNewMails");
    totals->addWidget(lblTotalMails);
    totals->addWidget(lblNewMails);
    cmdStats = named(new QPushButton(QStringLiteral("More >>"), fraStats), "cmdStats");
    keepPlaceWhenHidden(cmdStats);
    cmdHlpStats = helpButton(fraStats, "cmdHlpStats");
    grdStats = named(new FlexGrid(fraStats), "grdStats");
    grdStats->SetCols(2);
    grdStats->setColumnWidth(0, 70);
    grdStats->setMinimumWidth(150);
    // The size list scrolls; it must not make the top row taller.
    grdStats->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    keepPlaceWhenHidden(grdStats);

    addLabelledRows(grid, {{Label5, lblMails}, {Label6, lblMailSize}});
    grid->addWidget(Frame2, 2, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdStats);
    buttons->addStretch(1);
    buttons->addWidget(cmdHlpStats);
    grid->addLayout(buttons, 3, 0, 1, 2);
    grid->addWidget(grdStats, 0, 2, 4, 1);
    grid->setColumnStretch(2, 1);
}

void frmMain::buildMailsFrame()
{
    fraBrowse = named(new QGroupBox(QStringLiteral("Mails"), Frame1), "fraBrowse");
    auto *layout = new QHBoxLayout(fraBrowse);
    grdMails = named(new FlexGrid(fraBrowse), "grdMails");
    grdMails->setToolTip(QStringLiteral("Right click for menu options"));
    grdMails->SetCols(6);
    cmdHlpMails = helpButton(fraBrowse, "cmdHlpMails");
    layout->addWidget(grdMails, 1);
    layout->addWidget(cmdHlpMails, 0, Qt::AlignTop);
}

void frmMain::buildRetrievalFrame()
{
    fraRetrieval = named(new QGroupBox(QStringLiteral("Retrieval"), Frame1), "fraRetrieval");
    auto *grid = new QGridLayout(fraRetrieval);
    Label9 = named(new QLabel(QStringLiteral("From Mail"), fraRetrieval), "Label9");
    cboFrom = editableCombo(fraRetrieval, "cboFrom");
    Label10 = named(new QLabel(QStringLiteral("Till Mail"), fraRetrieval), "Label10");
    cboTill = editableCombo(fraRetrieval, "cboTill");
    Frame8 = named(new QGroupBox(QStringLiteral("Filters"), fraRetrieval), "Frame8");
    auto *filters = new QGridLayout(Frame8);
    filters->setContentsMargins(6, 2, 6, 4);
    filters->setVerticalSpacing(2);
    Label11 = named(new QLabel(QStringLiteral("From"), Frame8), "Label11");
    txtFrom = named(new QLineEdit(Frame8), "txtFrom");
    Label12 = named(new QLabel(QStringLiteral("Subject"), Frame8), "Label12");
    txtSubject = named(new QLineEdit(Frame8), "txtSubject");
    addLabelledRows(filters, {{Label11, txtFrom}, {Label12, txtSubject}});
    ckShowOnlyNew = named(new QCheckBox(QStringLiteral("Show only new mails"), fraRetrieval), "ckShowOnlyNew");
    cmdShow = named(new QPushButton(QStringLiteral("Show"), fraRetrieval), "cmdShow");
    cmdShow->setAutoFillBackground(true);
    cmdHlpRetrieval = helpButton(fraRetrieval, "cmdHlpRetrieval");

    addLabelledRows(grid, {{Label9, cboFrom}, {Label10, cboTill}});
    grid->addWidget(Frame8, 0, 2, 2, 1);
    grid->addWidget(ckShowOnlyNew, 0, 3, 1, 2);
    grid->addWidget(cmdShow, 1, 3, Qt::AlignBottom);
    grid->addWidget(cmdHlpRetrieval, 1, 4, Qt::AlignBottom);
    grid->setColumnStretch(2, 1);
}

void frmMain::buildDeletionFrame()
{
    fraDeletion = named(new QGroupBox(QStringLiteral("Deletion"), Frame1), "fraDeletion");
    auto *grid = new QGridLayout(fraDeletion);
    Label13 = named(new QLabel(QStringLiteral("From Mail"), fraDeletion), "Label13");
    cboDelFrom = editableCombo(fraDeletion, "cboDelFrom");
    Label14 = named(new QLabel(QStringLiteral("Till Mail"), fraDeletion), "Label14");
    cboDelTill = editableCombo(fraDeletion, "cboDelTill");
    cmdDelete = named(new QPushButton(QStringLiteral("Delete"), fraDeletion), "cmdDelete");
    cmdDelete->setAutoFillBackground(true);
    cmdHlpDeletion = helpButton(fraDeletion, "cmdHlpDeletion");
    addLabelledRows(grid, {{Label13, cboDelFrom}, {Label14, cboDelTill}});
    grid->addWidget(cmdDelete, 1, 2, Qt::AlignBottom);
    grid->addWidget(cmdHlpDeletion, 1, 3, Qt::AlignBottom);
    grid->setColumnStretch(2, 1);
}

void frmMain::buildSettingsFrame()
{
    Frame7 = named(new QGroupBox(QStringLiteral("Settings"), Frame1), "Frame7");
    auto *grid = new QGridLayout(Frame7);
    ckAutoLogin = named(new QCheckBox(QStringLiteral("Do AutoLogin "), Frame7), "ckAutoLogin");
    keepPlaceWhenHidden(ckAutoLogin);
    cmdHlpAutoLogin = helpButton(Frame7, "cmdHlpAutoLogin");
    ckUpdtChanges = named(new QCheckBox(QStringLiteral("Update Changes"), Frame7), "ckUpdtChanges");
    keepPlaceWhenHidden(ckUpdtChanges);
    cmdHlpUpdtChanges = helpButton(Frame7, "cmdHlpUpdtChanges");
    cmdLoad = named(new QPushButton(QStringLiteral("Load Login.."), Frame7), "cmdLoad");
    cmdHlpLoadLogin = helpButton(Frame7, "cmdHlpLoadLogin");
    cmdSave = named(new QPushButton(QStringLiteral("Save Login.."), Frame7), "cmdSave");
    cmdHlpSaveLogin = helpButton(Frame7, "cmdHlpSaveLogin");
    ckHelpFlag = named(new QCheckBox(QStringLiteral("Help"), Frame7), "ckHelpFlag");
    cmdAbout = named(new QPushButton(QStringLiteral("About.."), Frame7), "cmdAbout");

    grid->setVerticalSpacing(4);
    grid->addWidget(ckAutoLogin, 0, 0);
    grid->addWidget(cmdHlpAutoLogin, 0, 1);
    grid->addWidget(ckUpdtChanges, 1, 0);
    grid->addWidget(cmdHlpUpdtChanges, 1, 1);
    grid->addWidget(cmdLoad, 2, 0);
    grid->addWidget(cmdHlpLoadLogin, 2, 1);
    grid->addWidget(cmdSave, 3, 0);
    grid->addWidget(cmdHlpSaveLogin, 3, 1);
    grid->addWidget(ckHelpFlag, 4, 0);
    grid->addWidget(cmdAbout, 4, 0, 1, 2, Qt::AlignRight);
    grid->setRowStretch(5, 1);
}

// Login, statistics and settings on top, the mails below, retrieval and
// deletion at the bottom.
void frmMain::layOutFrames()
{
    for (QWidget *frame : {static_cast<QWidget *>(fraStats), static_cast<QWidget *>(fraBrowse),
                           static_cast<QWidget *>(fraRetrieval), static_cast<QWidget *>(fraDeletion)})
        keepPlaceWhenHidden(frame);

    auto *frameLayout = new QGridLayout(Frame1);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    frameLayout->setHorizontalSpacing(8);
    frameLayout->setVerticalSpacing(6);
    frameLayout->addWidget(fraLogin, 0, 0);
    frameLayout->addWidget(fraStats, 0, 1);
    frameLayout->addWidget(Frame7, 0, 2);
    frameLayout->addWidget(fraBrowse, 1, 0, 1, 3);
    frameLayout->addWidget(fraRetrieval, 2, 0, 1, 2);
    frameLayout->addWidget(fraDeletion, 2, 2);
    frameLayout->setRowStretch(1, 1);
    frameLayout->setColumnStretch(0, 3);
    frameLayout->setColumnStretch(1, 3);
    frameLayout->setColumnStretch(2, 2);
}

// Below the frame: the progress text and bar; the icon stays hidden.
QHBoxLayout *frmMain::buildStatusLine()
{
    auto *status = new QHBoxLayout;
    imgIcon = named(new QLabel(this), "imgIcon");
    imgIcon->hide();
    lblProgress = named(new QLabel(this), "lblProgress");
    keepPlaceWhenHidden(lblProgress);
    // Its text changes at every step of a long run: in a place of its own it
    // never lays the window out again.
    auto *progressPlace = new FixedPlace(lblProgress, this);
    prgProgress = named(new QProgressBar(this), "prgProgress");
    prgProgress->setRange(0, 100);
    prgProgress->setTextVisible(false);
    prgProgress->setMaximumHeight(16);
    keepPlaceWhenHidden(prgProgress);
    status->addWidget(progressPlace, 3);
    status->addWidget(prgProgress, 2);
    return status;
}

void frmMain::buildMailMenu()
{
    mnuMailOpts = named(new QMenu(this), "mnuMailOpts");
    mnuCompleteMail = mnuMailOpts->addAction(QStringLiteral("View Complete Mail"));
    mnuCompleteMail->setObjectName(QStringLiteral("mnuCompleteMail"));
    mnuDeleteMail = mnuMailOpts->addAction(QStringLiteral("Delete Mail.."));
    mnuDeleteMail->setObjectName(QStringLiteral("mnuDeleteMail"));
}
