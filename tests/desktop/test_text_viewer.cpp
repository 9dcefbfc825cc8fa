// The plain-text viewer of the real Linux platform, started on a desktop of
// the test's making: the desktop's default application for plain text (its
// desktop entry's Exec line), then editors found on the PATH; never the
// generic opener, and a plain "not started" when there is nothing to start.
// A viewer that fails at once (an editor that cannot open the display) has
// not started: the next is tried, and with none left the window says so.

#include "FakeDesktop.h"
#include "window/Platform.h"
#include "WindowTestKit.h"

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
    void viewerStillRunningHasStarted();
    void viewerThatFailsAtOnceIsReportedByTheWindow();
};

void TestTextViewer::startsARealViewer_data()
{
    QTest::addColumn<QByteArray>("entry");   // the default's [Desktop Entry] lines; empty: no default
    QTest::addColumn<QStringList>("programs"); // fake programs on the PATH
    QTest::addColumn<QStringList>("failing");  // those of them that fail at once
    QTest::addColumn<QString>("started");      // the program expected to run; empty: none
    QTest::addColumn<QStringList>("arguments"); // "<file>" stands for the file's path

    const QStringList none;
    QTest::newRow("desktop default, file code") << QByteArray("Name=View\nExec=fakeview --new-window %f")
                                                << QStringList{"fakeview", "gedit"} << none << "fakeview"
                                                << QStringList{"--new-window", File};
    QTest::newRow("desktop default without a file code gets the file")
        << QByteArray("Name=View\nExec=fakeview") << QStringList{"fakeview"} << none << "fakeview" << QStringList{File};
    QTest::newRow("quoting, escapes and other codes")
        << QByteArray("Name=Fake View\nIcon=fv\nExec=\"fakeview\" \"--title=%c\" --level=100%% %i "
                      "\"a \\\\\"b\\\\\"\" --x%d %U")
        << QStringList{"fakeview"} << none << "fakeview"
        << QStringList{"--title=Fake View", "--level=100%", "--icon", "fv", "a \"b\"", "--x", File};
    QTest::newRow("terminal application in a terminal")
        << QByteArray("Name=Vi\nTerminal=true\nExec=fakevi %F") << QStringList{"fakevi", "x-terminal-emulator"} << none
        << "x-terminal-emulator" << QStringList{"-e", "fakevi", File};
    QTest::newRow("terminal application without a terminal: an editor")
        << QByteArray("Name=Vi\nTerminal=true\nExec=fakevi %F") << QStringList{"fakevi", "mousepad"} << none << "mousepad"
        << QStringList{File};
    QTest::newRow("default that cannot start: an editor")
        << QByteArray("Name=Gone\nExec=/nonexistent/viewer %f") << QStringList{"gedit"} << none << "gedit"
        << QStringList{File};
    QTest::newRow("no default: an editor on the PATH") << QByteArray() << QStringList{"kate"} << none << "kate"
                                                      << QStringList{File};
    QTest::newRow("nothing to start") << QByteArray() << none << none << QString() << none;
    QTest::newRow("desktop default that fails at once: an editor")
        << QByteArray("Name=View\nExec=fakeview %f") << QStringList{"fakeview", "gedit"} << QStringList{"fakeview"}
        << "gedit" << QStringList{File};
    QTest::newRow("an editor that fails at once: the next one")
        << QByteArray() << QStringList{"gedit", "kate"} << QStringList{"gedit"} << "kate" << QStringList{File};
    QTest::newRow("every editor fails at once: not started")
        << QByteArray() << QStringList{"gedit", "kate"} << QStringList{"gedit", "kate"} << QString() << none;
}

void TestTextViewer::startsARealViewer()
{
    QFETCH(QByteArray, entry);
    QFETCH(QStringList, programs);
    QFETCH(QStringList, failing);
    QFETCH(QString, started);
    QFETCH(QStringList, arguments);

    FakeDesktop desktop;
    if (!desktop.missingTools().isEmpty())
        QSKIP(qPrintable(QStringLiteral("xdg-mime cannot run here, missing: ") + desktop.missingTools().join(' ')));
    // The generic opener is there too; it would look up the mail type's
    // missing handler again and show nothing.
    desktop.addProgram(QStringLiteral("xdg-open"));
    for (const QString &program : programs)
        QVERIFY(!desktop.addProgram(program, failing.contains(program) ? "exit 1" : "").isEmpty());
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
            QVERIFY2(desktop.wasStarted(program) == failing.contains(program), qPrintable(program));
}

void TestTextViewer::viewerStillRunningHasStarted()
{
    // Whatever it may do later, a viewer still open after a moment is the
    // user's: it counts as started, and it is left running.
    const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
    FakeDesktop desktop;
    if (!desktop.missingTools().isEmpty() || sleep.isEmpty())
        QSKIP("xdg-mime or sleep cannot run here");
    desktop.addProgram(QStringLiteral("gedit"), "exec " + QFile::encodeName(sleep) + " 2");
    desktop.addProgram(QStringLiteral("kate"));
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(QStringLiteral("test.eml"));
    QVERIFY(Platform::current().startTextViewer(path));
    QCOMPARE(desktop.argumentsOf(QStringLiteral("gedit")), QStringList{path});
    QVERIFY(!desktop.wasStarted(QStringLiteral("kate")));
}

void TestTextViewer::viewerThatFailsAtOnceIsReportedByTheWindow()
{
    WindowFixture f;
    const QList<kit::TestMail> mails = kit::numberedMails(1);
    const QByteArray mail = kit::mailText(mails.first());
    kit::scriptLogin(f.server, mails);
    f.server.reply("LIST 1\r\n", "+OK 1 " + QByteArray::number(mail.size()) + "\r\n");
    f.server.reply("RETR 1\r\n", kit::retrReply(mail));
    QVERIFY(f.login());

    FakeDesktop desktop;
    if (!desktop.missingTools().isEmpty())
        QSKIP(qPrintable(QStringLiteral("xdg-mime cannot run here, missing: ") + desktop.missingTools().join(' ')));
    desktop.addProgram(QStringLiteral("gedit"), "exit 1");
    f.useRealPlatform();
    kit::putMailRows(f.w, 1);
    kit::viewMail(f.w, 1);
    QVERIFY(kit::viewDone(f.w));
    QTRY_COMPARE(f.boxes.texts().size(), 2);
    QCOMPARE(f.boxes.texts().last(), QStringLiteral("The text viewer could not be started.\r\nThe message is in ")
                                         + QDir::toNativeSeparators(f.messageFile()));
    QCOMPARE(desktop.argumentsOf(QStringLiteral("gedit")), QStringList{f.messageFile()});
    QCOMPARE(kit::readFile(f.messageFile()), mail);
    QCOMPARE(f.server.mismatches(), QStringList());
}

QTEST_MAIN(TestTextViewer)
#include "test_text_viewer.moc"
