#pragma once
// The about box: title and version, the program's picture, the web page and
// the system-information dialog. It is the first window at start; closing it
// brings up the main window when that is not yet visible.

#include <QDialog>
#include <QPointer>
#include <QUrl>

class QLabel;
class QPushButton;

class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget *parent = nullptr);

    // The window shown on unload when it is not visible yet (not owned).
    void setMainWindow(QWidget *mainWindow);

    static QUrl WebsiteUrl();

signals:
    // Emitted once the box has been closed by any means.
    void unloaded();

public slots:
    void cmdOK_Click();
    void cmdSysInfo_Click();
    void cmdWebsite_Click();

public:
    void done(int result) override;

private:
    void Form_Unload();

    QLabel *lblTitle = nullptr;
    QLabel *picIcon = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdSysInfo = nullptr;
    QPushButton *cmdWebsite = nullptr;
    QPointer<QWidget> m_mainWindow;
};
