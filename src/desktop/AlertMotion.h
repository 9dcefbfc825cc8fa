#pragma once
// An alert window's life without the widget: its slot, where it stands, how
// it arrives, how long it shows and how it leaves, one timer tick at a time.
// The window it drives only draws and moves (AlertSurface).

#include "desktop/SystemInfo.h"

#include <QRect>
#include <QString>
#include <QtGlobal>

class AlertSlots;
class AlertSurface;

class AlertMotion
{
public:
    // Twips; 15 twips per pixel.
    static constexpr int WindowWidth = 2400;
    static constexpr int WindowHeight = 2000;
    static constexpr int TicksPerSecond = 100;
    // Pixels.
    static constexpr int LabelLeft = 5;
    static constexpr int LabelTop = 10;
    static constexpr int LabelTopUntilClosed = 15;
    static constexpr int FitMargin = 15;

    enum Capability { NoEffects = 0, GradientFill = 1, GradientFillAndOpacity = 2 };

    AlertMotion(AlertSurface &surface, AlertSlots &places);
    ~AlertMotion();
    AlertMotion(const AlertMotion &) = delete;
    AlertMotion &operator=(const AlertMotion &) = delete;

    // The window's load: capability, work area and screen (pixels), start
    // position just below the work area's bottom-right corner, a slot.
    void Load(int caps, const QRect &workArea, const QRect &screen);

    // Display time, label, fitted height, mode and start position. The
    // window then paints its background and frame and starts the timer.
    void DisplayMessage(const QString &sMessage, int DisplaySeconds, bool bFade, bool bAutoFit);

    void Tick();
    // A click on the window or its label.
    void Click();
    bool CloseActivate() const { return false; }
    void setCloseActivate(bool value);
    // Frees the slot, once; no more ticks after it.
    void Unload();

    // The label's text: a window that waits for a click says so.
    static QString MessageText(const QString &sMessage, int DisplaySeconds);
    static int CapabilityLevel(const OsVersionInfo &os, bool gradientFill, bool windowOpacity);
    // Opacity 0..255 for a transparency level (100 invisible .. 0 opaque);
    // -1 when the result lies outside 0..255.
    static int OpacityForLevel(qint64 lLevel);

    int slot() const { return m_lSlot; }
    int caps() const { return m_bytCaps; }
    int workBottom() const { return m_lWorkBottom; }
    int screenBottom() const { return m_lScreenBottom; }
    qint64 ticksLeft() const { return m_lTicksLeft; }
    bool untilClosed() const { return m_bUntilClosed; }
    bool noClickClose() const { return m_bNoClickClose; }
    bool fade() const { return m_bFade; }
    qint64 step() const { return m_lStep; }
    bool onTop() const { return m_bOnTop; }
    bool unloaded() const { return m_bUnloaded; }
    int left() const { return m_lLeft; }
    int top() const { return m_lTop; }
    int width() const { return m_lWidth; }
    int height() const { return m_lHeight; }
    // Where the window stops in slide mode and stands in fade mode.
    int targetTop() const;
    QRect labelBox() const { return m_labelBox; }
    QString labelText() const { return m_labelText; }

private:
    void SetTopMost(bool bTopMost);
    void SetTransparency(qint64 lLevel);
    void UpdateSlot(bool bTake);
    void move();
    void fadeTick();
    void slideTick();

    AlertSurface &m_surface;
    AlertSlots &m_slots;

    int m_lSlot = 0;
    int m_lWorkBottom = 0;
    int m_lScreenBottom = 0;
    int m_bytCaps = NoEffects;
    qint64 m_lTicksLeft = 0;
    bool m_bUntilClosed = false;
    bool m_bNoClickClose = false;
    bool m_bFade = false;
    qint64 m_lStep = 0;
    bool m_bOnTop = false;

    bool m_bLoaded = false;
    bool m_bUnloaded = false;
    int m_lLeft = 0;
    int m_lTop = 0;
    int m_lWidth = WindowWidth;
    int m_lHeight = WindowHeight;
    QRect m_labelBox;
    QString m_labelText;
};
