#pragma once
// The program's start: the about box first, then the main window, loaded
// once the box is on the screen so that the first window waits for nothing
// but itself; closing the about box brings up the main window.

#include <QObject>

#include <functional>
#include <memory>

class frmAbout;
class frmMain;

class ProgramStart : public QObject
{
    Q_OBJECT

public:
    // Makes the main window when it is loaded; by default a plain frmMain.
    using Loader = std::function<std::unique_ptr<frmMain>()>;

    explicit ProgramStart(Loader loader = {});
    ~ProgramStart() override;

    // Shows the about box modelessly and returns it; it deletes itself when closed.
    frmAbout *start();

    // The main window, loaded now if it is not yet.
    frmMain &mainWindow();
    bool isMainWindowLoaded() const { return m_window != nullptr; }

signals:
    void mainWindowLoaded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void aboutUnloaded();

    Loader m_loader;
    std::unique_ptr<frmMain> m_window;
};
