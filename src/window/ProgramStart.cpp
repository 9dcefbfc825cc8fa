// The start of the program: icon, about box, then the main window.

#include "window/ProgramStart.h"

#include "window/frmAbout.h"
#include "window/frmMain.h"
#include "window/ProgramIcon.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTimer>

ProgramStart::ProgramStart(Loader loader)
    : m_loader(loader ? std::move(loader) : Loader([] { return std::make_unique<frmMain>(); }))
{
}

ProgramStart::~ProgramStart() = default;

frmAbout *ProgramStart::start()
{
    QApplication::setWindowIcon(ProgramIcon());
    auto *about = new frmAbout;
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->installEventFilter(this);
    connect(about, &frmAbout::unloaded, this, &ProgramStart::aboutUnloaded);
    about->show();
    return about;
}

bool ProgramStart::eventFilter(QObject *watched, QEvent *event)
{
    // Only the about box is watched. Its first paint is on its way to the
    // screen when this fires; the main window is loaded from the event loop
    // right after it.
    if (event->type() == QEvent::Paint) {
        watched->removeEventFilter(this);
        QTimer::singleShot(0, this, [this] { mainWindow(); });
    }
    return false;
}

frmMain &ProgramStart::mainWindow()
{
    if (!m_window) {
        m_window = m_loader();
        const QIcon icon = QApplication::windowIcon();
        m_window->setWindowIcon(icon);
        m_window->imgIcon->setPixmap(ProgramPixmap(32));
        // The tray icon was prepared at load, before the window had its picture.
        m_window->InitTrayIcon();
        emit mainWindowLoaded();
    }
    return *m_window;
}

void ProgramStart::aboutUnloaded()
{
    // Closed before the main window was loaded: load it now and bring it up.
    frmMain &window = mainWindow();
    if (!window.isVisible())
        window.show();
}
