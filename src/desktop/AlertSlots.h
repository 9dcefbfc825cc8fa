#pragma once
// The places alert windows take on the desktop, stacked upwards from the
// bottom-right corner: bit k-1 of the mask set means slot k is taken.

#include <QtGlobal>

class AlertSlots
{
public:
    static constexpr int SlotCount = 8;

    // The lowest free slot among 1..7; when those are full, slot 8, which
    // any number of windows then share.
    int take();
    // Frees a slot taken with take(); slot 8 stays taken while another window
    // still shares it.
    void release(int slot);

    qint32 mask() const { return m_iActiveAlertWindows; }
    int sharersOfLastSlot() const { return m_lastSlotSharers; }

    // The one set every alert window of the process uses.
    static AlertSlots &shared();

private:
    qint32 m_iActiveAlertWindows = 0;
    int m_lastSlotSharers = 0;
};
