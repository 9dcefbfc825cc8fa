#pragma once
// A small borderless notice at the bottom-right corner of the desktop, above
// the task bar. Each alert is a window of its own; it deletes itself once it
// has left. Typical use:
//
//     auto *alert = new frmAlertWindow;
//     connect(alert, &frmAlertWindow::showMainWindowRequested, this, &frmMain::ShowMainWindow);
//     alert->DisplayMessage(text, 10, false, true, true, 0xC0FFFF, false);

#include "desktop/AlertMotion.h"
#include "desktop/AlertSurface.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

class QLabel;

class frmAlertWindow : public QWidget, private AlertSurface
{
    Q_OBJECT
    Q_PROPERTY(bool CloseActivate READ CloseActivate WRITE setCloseActivate)

public:
    // Real length of one tick: 100 ticks make a second of display time.
    static constexpr int TickInterval = 10;

    // On the primary screen's work area.
    frmAlertWindow();
    // On a given work area and screen, in pixels.
    frmAlertWindow(const QRect &workArea, const QRect &screen);
    ~frmAlertWindow() override;

    // Shows the window and returns at once. DisplaySeconds 0: until clicked;
    // negative: until CloseActivate is set. iBackColor is &H00BBGGRR.
    void DisplayMessage(const QString &sMessage, int DisplaySeconds, bool bFade, bool bAutoFit,
                        bool bSquare, int iBackColor, bool bTubeFill);

    // Always false; true makes the window leave at the next tick, even one a
    // click cannot close.
    bool CloseActivate() const { return m_motion.CloseActivate(); }
    void setCloseActivate(bool value);

    // One tick of the animation and display time; Timer1 calls it.
    void Timer1_Timer();
    QTimer *Timer1() { return &m_timer; }
    QLabel *lblMessage() const { return m_lblMessage; }
    const AlertMotion &motion() const { return m_motion; }

    // Per-window opacity on this windowing system. The X11 and offscreen
    // platforms (and Windows, macOS) honour setWindowOpacity; Wayland and the
    // framebuffer platforms do not, so fades there show the window at once.
    static bool windowOpacityAvailable();

signals:
    // The window or its label was clicked: bring the main window back.
    void showMainWindowRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void init(const QRect &workArea, const QRect &screen);
    void Form_Click();

    // AlertSurface
    void moveWindow(int left, int top, int width, int height) override;
    int placeLabel(const QRect &box, const QString &text) override;
    void setTopMost(bool topMost) override;
    void setOpacity(int alpha) override;
    void unload() override;

    void FillCornerGradient(int lColor);
    void FillTubeGradient(int lColor);
    bool StartPicture(const QColor &color);
    static QColor SetVertexColor(int lColor);
    void drawFrame(bool bSquare, int iBackColor);

    AlertMotion m_motion;
    QTimer m_timer;
    QLabel *m_lblMessage = nullptr;
    QImage m_picture;
};
