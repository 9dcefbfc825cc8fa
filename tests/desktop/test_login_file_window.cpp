// Login files through the real window: the Save and Load buttons, the file
// dialogs (answered by the platform recorder), real files in a temp folder,
// and what the window reports.

#include "frmMainTestAccess.h"
#include "MessageBoxRecorder.h"
#include "PlatformRecorder.h"
#include "window/frmMain.h"
#include "WindowTestKit.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <unistd.h>

namespace {

const QString Filter = QStringLiteral("MVL files (*.mvl)");

void fill(frmMain &w, const QStringList &fields)
{
    w.txtUser->setText(fields[0]);
    w.txtPwd->setText(fields[1]);
    w.txtMailServer->setText(fields[2]);
    w.cboPort->setEditText(fields[3]);
}

QStringList fieldsOf(const frmMain &w)
{
    return {w.txtUser->text(), w.txtPwd->text(), w.txtMailServer->text(), w.cboPort->currentText()};
}

const QStringList OldFields{"old-user", "old-pwd", "old-server", "999"};

// The shown window, its boxes holding OldFields, loads the file at path
// chosen in the file dialog.
void loadFromShownWindow(RecordedWindow &f, const QString &path)
{
    f.platform.openFileAnswers << path;
    f.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.w));
    fill(f.w, OldFields);
    QTest::mouseClick(f.w.cmdLoad, Qt::LeftButton);
}

} // namespace

class TestLoginFileWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void saveThenLoadThroughButtons_data();
    void saveThenLoadThroughButtons();
    void savedNameGetsExtensionOnlyWhenMissing_data();
    void savedNameGetsExtensionOnlyWhenMissing();
    void saveNeedsUserPasswordAndServer_data();
    void saveNeedsUserPasswordAndServer();
    void cancelledDialogsChangeNothing();
    void unwritableFileIsReported_data();
    void unwritableFileIsReported();
    void loadFailureKeepsFieldsReadSoFar_data();
    void loadFailureKeepsFieldsReadSoFar();
    void noBoxesWhileMinimised();
    void characterBeyondCodePageIsRefused_data();
    void characterBeyondCodePageIsRefused();
    void craftedLoginFileIsRefused_data();
    void craftedLoginFileIsRefused();
    void replaceQuestionNamesTheFileWritten_data();
    void replaceQuestionNamesTheFileWritten();
    void systemDialogLeavesTheQuestionToTheWindow_data();
    void systemDialogLeavesTheQuestionToTheWindow();

private:
    QTemporaryDir m_dir;
};

void TestLoginFileWindow::init()
{
    QSettings(QStringLiteral("Mailvane"), QStringLiteral("Mailvane")).clear();
    QVERIFY(m_dir.isValid());
    QDir dir(m_dir.path());
    for (const QString &name : dir.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot))
        QVERIFY(QFileInfo(dir.filePath(name)).isDir() ? QDir(dir.filePath(name)).removeRecursively()
                                                       : dir.remove(name));
}

void TestLoginFileWindow::saveThenLoadThroughButtons_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("plain") << QStringList{"jim", "abc", "mailhost", "110"}
                           << QByteArray("jim 024E616263 mailhost 110\r\n");
    QTest::newRow("letters above 127")
        << QStringList{QString::fromLatin1("j\xFCrgen"), QString::fromLatin1("p\xE4ss"),
                       QStringLiteral("pop.example.org"), QStringLiteral("995")}
        << QByteArray("j\xFCrgen 055D70E47373 pop.example.org 995\r\n");
    QTest::newRow("empty port is an empty fourth field") << QStringList{"jim", "abc", "mailhost", ""}
                                                         << QByteArray("jim 024E616263 mailhost \r\n");
}

void TestLoginFileWindow::saveThenLoadThroughButtons()
{
    QFETCH(QStringList, fields);
    QFETCH(QByteArray, line);
    RecordedWindow f;
    const QString path = QDir(m_dir.path()).filePath(QStringLiteral("home.mvl"));
    f.platform.saveFileAnswers << path;
    f.platform.openFileAnswers << path;

    f.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.w));
    fill(f.w, fields);
    QTest::mouseClick(f.w.cmdSave, Qt::LeftButton);
    QCOMPARE(f.platform.count(QStringLiteral("getSaveFileName")), 1);
    const PlatformRecorder::Call save = f.platform.callsTo(QStringLiteral("getSaveFileName")).first();
    // The program folder, where it is the user's (root's are the system's);
    // test_private_files tries the other folders.
    QVERIFY(!QFileInfo::exists(QDir::home().filePath(QStringLiteral("Documents"))));
    QCOMPARE(save.args.value(1), ::geteuid() == 0 ? QDir::homePath() : f.programDir.path());
    QCOMPARE(save.args.value(2), Filter);
    QCOMPARE(kit::readFile(path), line);

    // Existing contents are replaced.
    fill(f.w, OldFields);
    QTest::mouseClick(f.w.cmdLoad, Qt::LeftButton);
    QCOMPARE(f.platform.count(QStringLiteral("getOpenFileName")), 1);
    const PlatformRecorder::Call open = f.platform.callsTo(QStringLiteral("getOpenFileName")).first();
    QCOMPARE(open.args.value(1), QString()); // no folder of its own
    QCOMPARE(open.args.value(2), Filter);
    QCOMPARE(fieldsOf(f.w), fields);
    QCOMPARE(f.w.cmdLogin->text(), QStringLiteral("Login")); // loading does not log in
    QCOMPARE(f.boxes.texts(), QStringList());
}

void TestLoginFileWindow::savedNameGetsExtensionOnlyWhenMissing_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("saved");
    QTest::newRow("no extension") << QStringLiteral("home") << QStringLiteral("home.mvl");
    QTest::newRow("other extension") << QStringLiteral("notes.txt") << QStringLiteral("notes.txt.mvl");
    QTest::newRow("upper case") << QStringLiteral("Home.MVL") << QStringLiteral("Home.MVL");
    QTest::newRow(".mvl inside") << QStringLiteral("my.mvl.txt") << QStringLiteral("my.mvl.txt");
}

void TestLoginFileWindow::savedNameGetsExtensionOnlyWhenMissing()
{
    QFETCH(QString, chosen);
    QFETCH(QString, saved);
    RecordedWindow f;
    const QDir dir(m_dir.path());
    f.platform.saveFileAnswers << dir.filePath(chosen);

    fill(f.w, {"jim", "abc", "mailhost", "110"});
    f.w.cmdSave_Click();
    QCOMPARE(dir.entryList(QDir::Files), QStringList{saved});
    QCOMPARE(kit::readFile(dir.filePath(saved)), QByteArray("jim 024E616263 mailhost 110\r\n"));
    QCOMPARE(f.boxes.texts(), QStringList());
}

void TestLoginFileWindow::saveNeedsUserPasswordAndServer_data()
{
    QTest::addColumn<int>("emptyField");
    QTest::newRow("user") << 0;
    QTest::newRow("password") << 1;
    QTest::newRow("mail server") << 2;
}

void TestLoginFileWindow::saveNeedsUserPasswordAndServer()
{
    QFETCH(int, emptyField);
    RecordedWindow f;
    f.platform.saveFileAnswers << QDir(m_dir.path()).filePath(QStringLiteral("home.mvl"));

    QStringList fields{"jim", "abc", "mailhost", "110"};
    fields[emptyField].clear();
    fill(f.w, fields);
    f.w.cmdSave_Click();

    QCOMPARE(f.boxes.boxes.size(), 1);
    QCOMPARE(f.boxes.boxes[0].text, QStringLiteral("Login details have not been entered"));
    QCOMPARE(f.boxes.boxes[0].title, QStringLiteral("Mailvane"));
    QCOMPARE(f.boxes.boxes[0].buttons, MsgButtons::Ok);
    QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Exclamation);
    QCOMPARE(f.platform.count(QStringLiteral("getSaveFileName")), 0);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList());
}

void TestLoginFileWindow::cancelledDialogsChangeNothing()
{
    RecordedWindow f; // no answers: both dialogs are cancelled
    fill(f.w, OldFields);
    f.w.cmdSave_Click();
    f.w.cmdLoad_Click();
    QCOMPARE(f.platform.functionsCalled(), (QStringList{"getSaveFileName", "getOpenFileName"}));
    QCOMPARE(fieldsOf(f.w), OldFields);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList());
    QCOMPARE(f.boxes.texts(), QStringList());
}

void TestLoginFileWindow::unwritableFileIsReported_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::newRow("missing folder") << QStringLiteral("no/such/folder/home.mvl");
    QTest::newRow("name of a folder") << QStringLiteral("folder.mvl");
}

void TestLoginFileWindow::unwritableFileIsReported()
{
    QFETCH(QString, relativePath);
    RecordedWindow f;
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder.mvl")));
    const QString path = QDir(m_dir.path()).filePath(relativePath);
    f.platform.saveFileAnswers << path;

    fill(f.w, {"jim", "abc", "mailhost", "110"});
    f.w.cmdSave_Click();
    QCOMPARE(f.boxes.boxes.size(), 1);
    QVERIFY2(f.boxes.boxes[0].text.startsWith(QStringLiteral("Error saving ") + path),
             qPrintable(f.boxes.boxes[0].text));
    QCOMPARE(f.boxes.boxes[0].title, QStringLiteral("Mailvane"));
    QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Exclamation);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList());
}

void TestLoginFileWindow::loadFailureKeepsFieldsReadSoFar_data()
{
    QTest::addColumn<QByteArray>("bytes"); // "<none>": no such file
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("one field") << QByteArray("jim\r\n") << QStringList{"jim", "old-pwd", "old-server", "999"};
    QTest::newRow("two fields") << QByteArray("jim 024E616263\r\n")
                                << QStringList{"jim", "abc", "old-server", "999"};
    QTest::newRow("three fields") << QByteArray("jim 024E616263 mailhost\r\n")
                                  << QStringList{"jim", "abc", "mailhost", "999"};
    QTest::newRow("empty file") << QByteArray() << OldFields;
    QTest::newRow("comma in the user name") << QByteArray("ji,m 024E616263 mailhost 110\r\n")
                                            << QStringList{"ji", "old-pwd", "old-server", "999"};
    QTest::newRow("no such file") << QByteArray("<none>") << OldFields;
}

void TestLoginFileWindow::loadFailureKeepsFieldsReadSoFar()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, fields);
    RecordedWindow f;
    const QString path = QDir(m_dir.path()).filePath(QStringLiteral("broken.mvl"));
    if (bytes != "<none>")
        QVERIFY(kit::writeFile(path, bytes));
    loadFromShownWindow(f, path);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(fieldsOf(f.w), fields);
    QCOMPARE(f.boxes.boxes.size(), 1);
    QCOMPARE(f.boxes.boxes[0].text, QStringLiteral("Error opening ") + path);
    QCOMPARE(f.boxes.boxes[0].title, QStringLiteral("Mailvane"));
    QCOMPARE(f.boxes.boxes[0].buttons, MsgButtons::Ok);
    QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Information);
}

void TestLoginFileWindow::noBoxesWhileMinimised()
{
    RecordedWindow f;
    const QDir dir(m_dir.path());
    f.platform.openFileAnswers << dir.filePath(QStringLiteral("missing.mvl"));
    f.platform.saveFileAnswers << dir.filePath(QStringLiteral("no/such/folder/home"));
    kit::session(f.w).bMinimized() = true;
    fill(f.w, {"jim", "", "mailhost", "110"});
    f.w.cmdSave_Click();
    f.w.cmdLoad_Click();
    f.w.txtPwd->setText(QStringLiteral("abc"));
    f.w.cmdSave_Click();
    QCOMPARE(f.boxes.texts(), QStringList());
    QCOMPARE(f.platform.functionsCalled(), (QStringList{"getOpenFileName", "getSaveFileName"}));
}

void TestLoginFileWindow::characterBeyondCodePageIsRefused_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    const QString notSaved = QStringLiteral(" contains a character that a login file cannot hold.\r\n"
                                            "The login details have not been saved.");
    QTest::newRow("euro sign in the password") << 1 << QStringLiteral("\u20AC100") << "The Password" + notSaved;
    QTest::newRow("l with stroke in the user name") << 0 << QStringLiteral("micha\u0142") << "The Username" + notSaved;
    QTest::newRow("CJK in the server") << 2 << QStringLiteral("\u90AE\u4EF6.example") << "The Mail Server" + notSaved;
    // Pasted into a box: what the file could keep but nothing may use.
    QTest::newRow("NUL in the user name") << 0 << QStringLiteral("bob") + QChar(0) << "The Username" + notSaved;
    QTest::newRow("line end in the password") << 1 << QStringLiteral("abc\r\nDELE 1") << "The Password" + notSaved;
    QTest::newRow("escape in the server") << 2 << QStringLiteral("mail\x1b[2Jhost") << "The Mail Server" + notSaved;
}

void TestLoginFileWindow::characterBeyondCodePageIsRefused()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    RecordedWindow f;
    const QString path = QDir(m_dir.path()).filePath(QStringLiteral("home.mvl"));
    QVERIFY(kit::writeFile(path, "old 0000 host 110\r\n"));
    f.platform.saveFileAnswers << path;

    f.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.w));
    QStringList fields{"jim", "abc", "mailhost", "110"};
    fields[field] = text;
    fill(f.w, fields);
    QTest::mouseClick(f.w.cmdSave, Qt::LeftButton);

    QCOMPARE(f.boxes.texts(), QStringList{message});
    QCOMPARE(f.boxes.boxes[0].title, QStringLiteral("Mailvane"));
    QCOMPARE(f.boxes.boxes[0].buttons, MsgButtons::Ok);
    QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Exclamation);
    QCOMPARE(kit::readFile(path), QByteArray("old 0000 host 110\r\n"));
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"home.mvl"});
    QCOMPARE(fieldsOf(f.w), fields); // nothing the user typed is lost
}

void TestLoginFileWindow::craftedLoginFileIsRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("field");

    const QByteArray nul(1, '\0');
    QTest::newRow("NUL cutting the user name") << "../.bash_aliases" + nul + " 024E616263 mailhost 110\r\n"
                                               << "Username";
    QTest::newRow("command hidden in the password") << QByteArray("jim 00006162630D0A44454C452031 mailhost 110\r\n")
                                                    << "Password";
    QTest::newRow("escape in the server") << QByteArray("jim 024E616263 mail\x1b]0;x\x07host 110\r\n")
                                          << "Mail Server";
    QTest::newRow("tab between server and port") << QByteArray("jim 024E616263 mailhost\t110\r\n")
                                                        << "Mail Server";
}

void TestLoginFileWindow::craftedLoginFileIsRefused()
{
    // None of a crafted file reaches the boxes, and the box names the field.
    QFETCH(QByteArray, bytes);
    QFETCH(QString, field);
    RecordedWindow f;
    const QString path = QDir(m_dir.path()).filePath(QStringLiteral("crafted.mvl"));
    QVERIFY(kit::writeFile(path, bytes));
    loadFromShownWindow(f, path);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(fieldsOf(f.w), OldFields);
    QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("The ") + field + QStringLiteral(" in ") + path
                                          + QStringLiteral(" contains a character that a login file cannot hold.\r\n"
                                                           "The login details have not been loaded.")});
    QCOMPARE(f.boxes.boxes[0].title, QStringLiteral("Mailvane"));
    QCOMPARE(f.boxes.boxes[0].buttons, MsgButtons::Ok);
    QCOMPARE(f.boxes.boxes[0].icon, MsgIcon::Exclamation);
}

void TestLoginFileWindow::replaceQuestionNamesTheFileWritten_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<int>("answer"); // 0: no question expected
    QTest::addColumn<bool>("written");
    const int yes = int(MsgAnswer::Yes);
    const int no = int(MsgAnswer::No);
    QTest::newRow("home, home.mvl there, replace") << "home" << QStringList{"home.mvl"} << yes << true;
    QTest::newRow("home, home.mvl there, keep") << "home" << QStringList{"home.mvl"} << no << false;
    QTest::newRow("home.mvl there, replace") << "home.mvl" << QStringList{"home.mvl"} << yes << true;
    QTest::newRow("home.mvl there, keep") << "home.mvl" << QStringList{"home.mvl"} << no << false;
    QTest::newRow("home there, not home.mvl") << "home" << QStringList{"home"} << 0 << true;
    QTest::newRow("nothing there") << "home" << QStringList{} << 0 << true;
}

void TestLoginFileWindow::replaceQuestionNamesTheFileWritten()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, existing);
    QFETCH(int, answer);
    QFETCH(bool, written);
    RecordedWindow f;
    const QDir dir(m_dir.path());
    const QByteArray old = "old 0000 host 110\r\n";
    for (const QString &name : existing)
        QVERIFY(kit::writeFile(dir.filePath(name), old));
    f.platform.saveFileAnswers << dir.filePath(typed);
    if (answer)
        f.boxes.answers.enqueue(MsgAnswer(answer));

    f.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.w));
    fill(f.w, {"jim", "abc", "mailhost", "110"});
    QTest::mouseClick(f.w.cmdSave, Qt::LeftButton);

    if (answer) {
        QCOMPARE(f.boxes.texts(), QStringList{"home.mvl already exists.\r\nDo you want to replace it?"});
        QCOMPARE(f.boxes.boxes[0].title, QStringLiteral("Mailvane"));
        QCOMPARE(f.boxes.boxes[0].buttons, MsgButtons::YesNo);
    } else {
        QCOMPARE(f.boxes.texts(), QStringList());
    }
    QCOMPARE(kit::readFile(dir.filePath(QStringLiteral("home.mvl"))),
             written ? QByteArray("jim 024E616263 mailhost 110\r\n") : old);
    if (existing.contains(QStringLiteral("home")))
        QCOMPARE(kit::readFile(dir.filePath(QStringLiteral("home"))), old);
}

void TestLoginFileWindow::systemDialogLeavesTheQuestionToTheWindow_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("home") << "home";
    QTest::newRow("home.mvl") << "home.mvl";
}

void TestLoginFileWindow::systemDialogLeavesTheQuestionToTheWindow()
{
    // The program's own file dialog, answered as a user would: type the
    // name, press Save, and say Yes to every question it asks.
    QFETCH(QString, typed);
    const QDir dir(m_dir.path());
    QVERIFY(kit::writeFile(dir.filePath(QStringLiteral("home.mvl")), "old 0000 host 110\r\n"));

    RecordedWindow f; // the window's own questions
    f.useRealPlatform(); // the program's own file dialog
    f.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.w));
    fill(f.w, {"jim", "abc", "mailhost", "110"});

    QStringList dialogQuestions;
    bool dialogSeen = false;
    QTimer user;
    user.setInterval(20);
    QElapsedTimer clock;
    clock.start();
    connect(&user, &QTimer::timeout, &f.w, [&] {
        if (clock.elapsed() > 20000) { // a dialog this test cannot answer: fail, never hang
            if (QWidget *stuck = QApplication::activeModalWidget())
                stuck->close();
            return;
        }
        if (auto *question = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            dialogQuestions << question->text();
            question->button(QMessageBox::Yes)->click();
            return;
        }
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        // Typed into the name box (pressed again on a later tick if the
        // dialog was not ready for it).
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (!name)
            return;
        dialogSeen = true;
        name->setText(dir.filePath(typed));
        QMetaObject::invokeMethod(dialog, "accept"); // the Save button
    });
    user.start();
    QTest::mouseClick(f.w.cmdSave, Qt::LeftButton);
    user.stop();

    QVERIFY(dialogSeen);
    QCOMPARE(dialogQuestions, QStringList());
    QCOMPARE(f.boxes.texts(), QStringList{"home.mvl already exists.\r\nDo you want to replace it?"});
    QCOMPARE(kit::readFile(dir.filePath(QStringLiteral("home.mvl"))), QByteArray("jim 024E616263 mailhost 110\r\n"));
}

QTEST_MAIN(TestLoginFileWindow)
#include "test_login_file_window.moc"
