#pragma once
// The operating system's name and three memory figures.

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;

class dlgSysinfo : public QDialog
{
    Q_OBJECT

public:
    explicit dlgSysinfo(QWidget *parent = nullptr);

    QString fOSName() const;

public slots:
    void cmdClose_Click();

private:
    void Form_Load();

    QGroupBox *Frame1 = nullptr;
    QLabel *lblWindowsVersion = nullptr;
    QLabel *lblMemoryUsed = nullptr;
    QLabel *lblTotalMem = nullptr;
    QLabel *lblAvailMem = nullptr;
    QPushButton *cmdClose = nullptr;
};
