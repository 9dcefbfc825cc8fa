#pragma once
// The progress label and bar of the main window. Counts are kept in any unit
// the caller likes; the bar shows their percentage.

#include <QString>
#include <QtGlobal>

class QLabel;
class QProgressBar;

namespace modProgress {

// The window hands over its two controls once; until then the routines only count.
void Attach(QLabel *label, QProgressBar *bar);

void StartProgress();
void EndProgress();
void ShowProgressText(const QString &sText);
void SetProgressMax(qint64 lMax);
qint64 GetProgressMax();
void SetProgressValue(qint64 lValue);
qint64 GetProgressValue();
void RefreshProgressBar();

} // namespace modProgress
