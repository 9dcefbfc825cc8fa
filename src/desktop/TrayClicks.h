#pragma once
// Tells when clicks on the tray icon make a left double-click. Tray hosts
// that speak StatusNotifier (KDE, GNOME's AppIndicator, Wayland sessions)
// report every click as a single activation and never a double click; there
// two single clicks within the desktop's double-click interval are one.

#include <QtGlobal>

class TrayClicks
{
public:
    enum class Click { Single, Double, Other };

    // One event of the icon at nowMs (any steady clock); true when it
    // completes a double click. A host that reports double clicks itself
    // may send single clicks around them: a pair restores no sooner, and the
    // double click that follows only repeats what has been done.
    bool isDoubleClick(Click click, qint64 nowMs, int intervalMs);

private:
    bool m_pending = false; // a single click waits for its second
    qint64 m_pendingAt = 0;
};
