#pragma once
// A Platform for tests: records every call in order and answers from fields
// the test sets. Installs itself for its lifetime.

#include "window/Platform.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class PlatformRecorder : public Platform
{
public:
    struct Call
    {
        QString function;   // "getOpenFileName", "openUrl", ...
        QStringList args;   // texts of the arguments, parent left out
    };

    PlatformRecorder();
    ~PlatformRecorder() override;
    PlatformRecorder(const PlatformRecorder &) = delete;
    PlatformRecorder &operator=(const PlatformRecorder &) = delete;

    // Recorded calls.
    QList<Call> calls;
    QList<Call> callsTo(const QString &function) const;
    int count(const QString &function) const { return int(callsTo(function).size()); }
    QStringList functionsCalled() const;

    // Called after each call has been recorded (for instance to look at a
    // window while a dialog would be open).
    std::function<void(const Call &)> onCall;

    // Answers. The file dialogs take their answers in order; once a list is
    // used up they answer "" (cancelled).
    QStringList openFileAnswers;
    QStringList saveFileAnswers;
    bool openDocumentResult = true;
    bool openUrlResult = true;
    bool startTextViewerResult = true;
    bool hasMailViewerResult = false;
    OsVersionInfo osVersionAnswer;
    MemoryStatus memoryStatusAnswer;
    bool systemTrayAvailableResult = false;

    QString getOpenFileName(QWidget *parent, const QString &title, const QString &folder,
                            const QString &filter) override;
    QString getSaveFileName(QWidget *parent, const QString &title, const QString &folder,
                            const QString &filter) override;
    bool openDocument(const QString &path) override;
    bool openUrl(const QUrl &url) override;
    bool startTextViewer(const QString &path) override;
    bool hasMailViewer() override;
    OsVersionInfo osVersion() override;
    MemoryStatus memoryStatus() override;
    bool systemTrayAvailable() override;

private:
    void record(const QString &function, const QStringList &args = {});
};
