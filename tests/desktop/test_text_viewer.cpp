// The plain-text viewer of the real Linux platform, started on a desktop of
// the test's making: the desktop's default application for plain text (its
// desktop entry's Exec line), then editors found on the PATH; never the
// generic opener, and a plain "not started" when there is nothing to start.

#include "FakeDesktop.h"
#include "window/Platform.h"

#include <QtTest>

namespace {
const QString File = QStringLiteral("<file>");
}

class TestTextViewer : public QObject
{
    Q_OBJECT

private slots:
    void startsARealViewer_data();
    void startsARealViewer();
};

void TestTextViewer::startsARealViewer_data()
{
    QTest::addColumn<QByteArray>("entry");   // the default's [Desktop Entry] lines; empty: no default
    QTest::addColumn<QStringList>("programs"); // fake programs on the PATH
    QTest::addColumn<QString>("started");      // the program expected to run; empty: none
    QTest::addColumn<QStringList>("arguments"); // "<file>" stands for the file's path

    const QStringList none;
    QTest::newRow("desktop default, file code") << QByteArray("Name=View\nExec=fakeview --new-window %f")
                                                << QStringList{"fakeview", "gedit"} << "fakeview"
                                                << QStringList{"--new-window", File};
    QTest::newRow("desktop default without a file code gets the file")
        << QByteArray("Name=View\nExec=fakeview") << QStringList{"fakeview"} << "fakeview" << QStringList{File};
    QTest::newRow("quoting, escapes and other codes")
        << QByteArray("Name=Fake View\nIcon=fv\nExec=\"fakeview\" \"--title=%c\" --level=100%% %i "
                      "\"a \\\\\"b\\\\\"\" --x%d %U")
        << QStringList{"fakeview"} << "fakeview"
        << QStringList{"--title=Fake View", "--level=100%", "--icon", "fv", "a \"b\"", "--x", File};
    QTest::newRow("terminal application in a terminal")
        << QByteArray("Name=Vi\nTerminal=true\nExec=fakevi %F") << QStringList{"fakevi", "x-terminal-emulator"}
        << "x-terminal-emulator" << QStringList{"-e", "fakevi", File};
    QTest::newRow("terminal application without a terminal: an editor")
        << QByteArray("Name=Vi\nTerminal=true\nExec=fakevi %F") << QStringList{"fakevi", "mousepad"} << "mousepad"
        << QStringList{File};
    QTest::newRow("default that cannot start: an editor")
        << QByteArray("Name=Gone\nExec=/nonexistent/viewer %f") << QStringList{"gedit"} << "gedit"
        << QStringList{File};
    QTest::newRow("no default: an editor on the PATH") << QByteArray() << QStringList{"kate"} << "kate"
                                                      << QStringList{File};
    QTest::newRow("nothing to start") << QByteArray() << none << QString() << none;
}

void TestTextViewer::startsARealViewer()
{
    QFETCH(QByteArray, entry);
    QFETCH(QStringList, programs);
    QFETCH(QString, started);
    QFETCH(QStringList, arguments);

    FakeDesktop desktop;
    if (!desktop.missingTools().isEmpty())
        QSKIP(qPrintable(QStringLiteral("xdg-mime cannot run here, missing: ") + desktop.missingTools().join(' ')));
    // The generic opener is there too; it would look up the mail type's
    // missing handler again and show nothing.
    desktop.addProgram(QStringLiteral("xdg-open"));
    for (const QString &program : programs)
        QVERIFY(!desktop.addProgram(program).isEmpty());
    if (!entry.isEmpty())
        desktop.setDefaultTextApplication(QStringLiteral("fake-viewer.desktop"), entry);

    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(QStringLiteral("test.eml"));
    QFile mail(path);
    QVERIFY(mail.open(QIODevice::WriteOnly));
    mail.write("Subject: hello\r\n\r\nbody\r\n");
    mail.close();

    const bool result = Platform::current().startTextViewer(path);
    QCOMPARE(result, !started.isEmpty());
    if (!started.isEmpty()) {
        arguments.replaceInStrings(File, path);
        QTRY_COMPARE(desktop.argumentsOf(started), arguments);
    }
    for (const QString &program : programs + QStringList{"xdg-open"})
        if (program != started)
            QVERIFY2(!desktop.wasStarted(program), qPrintable(program));
}

QTEST_MAIN(TestTextViewer)
#include "test_text_viewer.moc"
