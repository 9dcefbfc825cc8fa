// Pairing single tray activations into double clicks by their timing.

#include "desktop/TrayClicks.h"

bool TrayClicks::isDoubleClick(Click click, qint64 nowMs, int intervalMs)
{
    const bool second = click == Click::Single && m_pending && nowMs - m_pendingAt <= intervalMs;
    m_pending = click == Click::Single && !second;
    m_pendingAt = nowMs;
    return click == Click::Double || second;
}
