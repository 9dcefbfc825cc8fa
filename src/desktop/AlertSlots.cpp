// Taking and freeing alert slots in the shared mask.

#include "desktop/AlertSlots.h"

int AlertSlots::take()
{
    for (int slot = 1; slot < SlotCount; ++slot) {
        const qint32 bit = qint32(1) << (slot - 1);
        if (!(m_iActiveAlertWindows & bit)) {
            m_iActiveAlertWindows |= bit;
            return slot;
        }
    }
    m_iActiveAlertWindows |= qint32(1) << (SlotCount - 1);
    ++m_lastSlotSharers;
    return SlotCount;
}

void AlertSlots::release(int slot)
{
    if (slot < 1 || slot > SlotCount)
        return;
    if (slot == SlotCount) {
        // Several windows may overlap in the last slot; a plain toggle would
        // leave its bit set after all of them are gone.
        if (m_lastSlotSharers > 0)
            --m_lastSlotSharers;
        if (m_lastSlotSharers > 0)
            return;
    }
    m_iActiveAlertWindows &= ~(qint32(1) << (slot - 1));
}

AlertSlots &AlertSlots::shared()
{
    static AlertSlots places;
    return places;
}
