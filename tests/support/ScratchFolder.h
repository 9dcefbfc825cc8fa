#pragma once
// A fresh temporary folder per test function, and the notices shown while it
// lives. Test classes inherit it and call setUpScratch() in init() and
// tearDownScratch() in cleanup().

#include "base/Notice.h"
#include "TestFiles.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class ScratchFolder
{
protected:
    bool setUpScratch()
    {
        m_temp = std::make_unique<QTemporaryDir>();
        m_dir.setPath(m_temp->path());
        m_notices.clear();
        Notice::setHandler([this](const QString &title, const QString &text) {
            m_notices.append(title + QLatin1Char('|') + text);
        });
        return m_temp->isValid();
    }

    void tearDownScratch()
    {
        Notice::setHandler({});
        m_temp.reset();
    }

    // Writes a file into the folder; its path, or empty on failure.
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        return kit::writeFile(path, bytes) ? path : QString();
    }

    static QByteArray read(const QString &path) { return kit::readFile(path); }

    std::unique_ptr<QTemporaryDir> m_temp;
    QDir m_dir;
    QStringList m_notices; // "title|text" of each notice
};
