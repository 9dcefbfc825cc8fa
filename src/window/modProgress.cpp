// The progress routines over lblProgress and prgProgress.

#include "window/modProgress.h"

#include "base/ProgressMath.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>

namespace {
qint64 lProgressMax = 0;
qint64 lProgressValue = 0;
QPointer<QLabel> lblProgress;
QPointer<QProgressBar> prgProgress;

// Text and bar emptied, both shown or both hidden.
void showEmptyProgress(bool shown)
{
    if (lblProgress) {
        lblProgress->clear();
        lblProgress->setVisible(shown);
    }
    if (prgProgress) {
        prgProgress->setValue(0);
        prgProgress->setVisible(shown);
    }
}
} // namespace

namespace modProgress {

void Attach(QLabel *label, QProgressBar *bar)
{
    lblProgress = label;
    prgProgress = bar;
}

void StartProgress()
{
    showEmptyProgress(true);
}

void EndProgress()
{
    showEmptyProgress(false);
    lProgressMax = 0;
    lProgressValue = 0;
}

void ShowProgressText(const QString &sText)
{
    if (!lblProgress)
        return;
    lblProgress->setText(sText);
    // A caller may keep the thread busy: the paint is asked for now. The
    // window paints at most once per frame, so it comes at once when a frame
    // is due and with the next frame otherwise.
    lblProgress->repaint();
}

void SetProgressMax(qint64 lMax) { lProgressMax = lMax; }
qint64 GetProgressMax() { return lProgressMax; }

void SetProgressValue(qint64 lValue)
{
    lProgressValue = lValue;
    RefreshProgressBar();
}

qint64 GetProgressValue() { return lProgressValue; }

void RefreshProgressBar()
{
    const std::optional<int> percent = ProgressPercent(lProgressValue, lProgressMax);
    if (percent && prgProgress)
        prgProgress->setValue(*percent);
}

} // namespace modProgress
