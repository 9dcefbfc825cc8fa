// The alert's life as timer ticks: slot, arrival, display time, departure.

#include "desktop/AlertMotion.h"

#include "base/VbHelpers.h"
#include "desktop/AlertSlots.h"
#include "desktop/AlertSurface.h"

AlertMotion::AlertMotion(AlertSurface &surface, AlertSlots &places)
    : m_surface(surface), m_slots(places)
{
}

AlertMotion::~AlertMotion()
{
    // A window destroyed without leaving must not keep its place taken.
    if (m_bLoaded && !m_bUnloaded)
        UpdateSlot(false);
}

void AlertMotion::Load(int caps, const QRect &workArea, const QRect &screen)
{
    if (m_bLoaded)
        return;
    m_bytCaps = caps;
    // Edges as the desktop reports them: bottom and right lie just outside.
    m_lWorkBottom = vb::PixelsToTwips(workArea.y() + workArea.height());
    const int workRight = vb::PixelsToTwips(workArea.x() + workArea.width());
    m_lScreenBottom = vb::PixelsToTwips(screen.y() + screen.height());
    m_lWidth = WindowWidth;
    m_lHeight = WindowHeight;
    m_lLeft = workRight - WindowWidth;
    m_lTop = m_lWorkBottom;
    move();
    UpdateSlot(true);
    m_bLoaded = true;
}

QString AlertMotion::MessageText(const QString &sMessage, int DisplaySeconds)
{
    if (DisplaySeconds == 0)
        return sMessage + QStringLiteral("\r\n(click here to close)");
    return sMessage;
}

void AlertMotion::DisplayMessage(const QString &sMessage, int DisplaySeconds, bool bFade,
                                 bool bAutoFit)
{
    if (!m_bLoaded || m_bUnloaded)
        return;
    if (DisplaySeconds >= 1) {
        // 64-bit ticks: no display time is too long to count.
        m_lTicksLeft = qint64(DisplaySeconds) * TicksPerSecond;
        m_bUntilClosed = false;
        m_bNoClickClose = false;
    } else {
        m_bUntilClosed = true;
        m_lTicksLeft = 1;
        m_bNoClickClose = DisplaySeconds < 0;
    }
    m_labelText = MessageText(sMessage, DisplaySeconds);

    const int labelTop = m_bUntilClosed ? LabelTopUntilClosed : LabelTop;
    const int clientWidth = vb::TwipsToPixels(m_lWidth);
    m_labelBox = QRect(LabelLeft, labelTop, clientWidth - 2 * LabelLeft, 0);
    const int labelHeight = qMax(0, m_surface.placeLabel(m_labelBox, m_labelText));
    m_labelBox.setHeight(labelHeight);

    // Only the lowest window fits its text: stacked windows share one height.
    if (bAutoFit && m_lSlot == 1) {
        m_lHeight = vb::PixelsToTwips(labelTop + labelHeight + FitMargin);
        move();
    }

    m_bFade = bFade;
    if (m_bFade) {
        m_lStep = 100;
        m_lTop = targetTop();
        move();
        SetTransparency(100);
        SetTopMost(true);
    } else {
        m_lStep = m_lSlot == 1 ? 50 : 100;
    }
}

int AlertMotion::targetTop() const
{
    return qMax(0, m_lWorkBottom - m_lHeight * m_lSlot);
}

void AlertMotion::Tick()
{
    if (!m_bLoaded || m_bUnloaded)
        return;
    if (m_bFade)
        fadeTick();
    else
        slideTick();
}

void AlertMotion::fadeTick()
{
    if (m_lTicksLeft > 0) {
        if (m_lStep > 0) {
            m_lStep -= 2;
            SetTransparency(m_lStep);
        } else if (!m_bUntilClosed) {
            --m_lTicksLeft;
        }
        return;
    }
    if (m_lStep > 100) {
        Unload();
        m_surface.unload();
        return;
    }
    m_lStep += 2;
    SetTransparency(m_lStep);
}

void AlertMotion::slideTick()
{
    if (m_lTicksLeft > 0) {
        const float target = float(m_lWorkBottom - m_lHeight * m_lSlot);
        if (target < float(m_lTop) && m_lTop > 0) {
            m_lTop -= int(m_lStep);
            move();
            return;
        }
        if (!m_bOnTop) {
            m_lTop = qMax(0, int(target));
            move();
            m_bOnTop = true;
            SetTopMost(true);
        }
        if (!m_bUntilClosed)
            --m_lTicksLeft;
        return;
    }
    if (m_lTop <= m_lScreenBottom) {
        if (m_bOnTop) {
            // Back among the normal windows, so the task bar covers it again.
            m_bOnTop = false;
            SetTopMost(false);
        }
        m_lTop += int(m_lStep);
        move();
        return;
    }
    Unload();
    m_surface.unload();
}

void AlertMotion::Click()
{
    if (!m_bNoClickClose)
        m_lTicksLeft = 0;
}

void AlertMotion::setCloseActivate(bool value)
{
    if (value)
        m_lTicksLeft = 0;
}

void AlertMotion::Unload()
{
    if (!m_bLoaded || m_bUnloaded)
        return;
    m_bUnloaded = true;
    UpdateSlot(false);
}

int AlertMotion::CapabilityLevel(const OsVersionInfo &os, bool gradientFill, bool windowOpacity)
{
    switch (os.platformId) {
    case OsVersionInfo::Win9x:
        return os.minor >= 10 ? GradientFill : NoEffects;
    case OsVersionInfo::WinNT:
        return os.major >= 5 ? GradientFillAndOpacity : NoEffects;
    default:
        if (!gradientFill)
            return NoEffects;
        return windowOpacity ? GradientFillAndOpacity : GradientFill;
    }
}

int AlertMotion::OpacityForLevel(qint64 lLevel)
{
    const qint64 opacity = vb::RoundHalfEven(double(100 - lLevel) / 100 * 255);
    if (opacity < 0 || opacity > 255)
        return -1;
    return int(opacity);
}

void AlertMotion::SetTopMost(bool bTopMost)
{
    m_surface.setTopMost(bTopMost);
}

void AlertMotion::SetTransparency(qint64 lLevel)
{
    if (m_bytCaps != GradientFillAndOpacity)
        return;
    const int opacity = OpacityForLevel(lLevel);
    if (opacity < 0)
        return;
    m_surface.setOpacity(opacity);
}

void AlertMotion::UpdateSlot(bool bTake)
{
    if (bTake)
        m_lSlot = m_slots.take();
    else
        m_slots.release(m_lSlot);
}

void AlertMotion::move()
{
    m_surface.moveWindow(m_lLeft, m_lTop, m_lWidth, m_lHeight);
}
