// The system-information dialog's controls and their texts.

#include "window/dlgSysinfo.h"

#include "desktop/SystemInfoText.h"
#include "window/Platform.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel *makeLabel(const char *name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

dlgSysinfo::dlgSysinfo(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("dlgSysinfo"));
    setWindowTitle(QStringLiteral("System Info"));

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setMinimumWidth(320);
    lblWindowsVersion = makeLabel("lblWindowsVersion", Frame1);
    lblMemoryUsed = makeLabel("lblMemoryUsed", Frame1);
    lblTotalMem = makeLabel("lblTotalMem", Frame1);
    lblAvailMem = makeLabel("lblAvailMem", Frame1);
    auto *frameLayout = new QVBoxLayout(Frame1);
    for (QLabel *label : {lblWindowsVersion, lblMemoryUsed, lblTotalMem, lblAvailMem})
        frameLayout->addWidget(label);

    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setDefault(true);
    connect(cmdClose, &QPushButton::clicked, this, &dlgSysinfo::cmdClose_Click);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(cmdClose);
    buttonRow->addStretch();

    auto *top = new QVBoxLayout(this);
    top->addWidget(Frame1);
    top->addLayout(buttonRow);
    top->setSizeConstraint(QLayout::SetFixedSize);

    Form_Load();
}

QString dlgSysinfo::fOSName() const
{
    return ::fOSName(Platform::current().osVersion());
}

void dlgSysinfo::cmdClose_Click()
{
    accept();
}

void dlgSysinfo::Form_Load()
{
    lblWindowsVersion->setText(fOSName());
    const MemoryStatus memory = Platform::current().memoryStatus();
    lblMemoryUsed->setText(MemoryUsedText(memory));
    lblTotalMem->setText(TotalMemText(memory));
    lblAvailMem->setText(AvailMemText(memory));
}
