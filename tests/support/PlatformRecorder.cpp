// Recording file dialogs, viewer starts and system queries.

#include "PlatformRecorder.h"

PlatformRecorder::PlatformRecorder()
{
    osVersionAnswer.ok = true;
    osVersionAnswer.platformId = OsVersionInfo::Other;
    osVersionAnswer.otherName = QStringLiteral("Test Linux 1.0 (kernel 6.1.0-test)");
    memoryStatusAnswer.ok = true;
    memoryStatusAnswer.memoryLoad = 50;
    memoryStatusAnswer.totalPhys = Q_UINT64_C(4294967296);
    memoryStatusAnswer.availPhys = Q_UINT64_C(2147483648);
    Platform::install(this);
}

PlatformRecorder::~PlatformRecorder()
{
    if (&Platform::current() == this)
        Platform::install(nullptr);
}

QList<PlatformRecorder::Call> PlatformRecorder::callsTo(const QString &function) const
{
    QList<Call> result;
    for (const Call &call : calls)
        if (call.function == function)
            result << call;
    return result;
}

QStringList PlatformRecorder::functionsCalled() const
{
    QStringList names;
    for (const Call &call : calls)
        names << call.function;
    return names;
}

void PlatformRecorder::record(const QString &function, const QStringList &args)
{
    calls << Call{function, args};
    if (onCall)
        onCall(calls.last());
}

QString PlatformRecorder::getOpenFileName(QWidget *, const QString &title, const QString &folder,
                                          const QString &filter)
{
    record(QStringLiteral("getOpenFileName"), {title, folder, filter});
    return openFileAnswers.isEmpty() ? QString() : openFileAnswers.takeFirst();
}

QString PlatformRecorder::getSaveFileName(QWidget *, const QString &title, const QString &folder,
                                          const QString &filter)
{
    record(QStringLiteral("getSaveFileName"), {title, folder, filter});
    return saveFileAnswers.isEmpty() ? QString() : saveFileAnswers.takeFirst();
}

bool PlatformRecorder::openDocument(const QString &path)
{
    record(QStringLiteral("openDocument"), {path});
    return openDocumentResult;
}

bool PlatformRecorder::openUrl(const QUrl &url)
{
    record(QStringLiteral("openUrl"), {url.toString()});
    return openUrlResult;
}

bool PlatformRecorder::startTextViewer(const QString &path)
{
    record(QStringLiteral("startTextViewer"), {path});
    return startTextViewerResult;
}

bool PlatformRecorder::hasMailViewer()
{
    record(QStringLiteral("hasMailViewer"));
    return hasMailViewerResult;
}

OsVersionInfo PlatformRecorder::osVersion()
{
    record(QStringLiteral("osVersion"));
    return osVersionAnswer;
}

MemoryStatus PlatformRecorder::memoryStatus()
{
    record(QStringLiteral("memoryStatus"));
    return memoryStatusAnswer;
}

bool PlatformRecorder::systemTrayAvailable()
{
    record(QStringLiteral("systemTrayAvailable"));
    return systemTrayAvailableResult;
}
