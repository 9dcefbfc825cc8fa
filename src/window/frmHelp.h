#pragma once
// The help window: a title and a few paragraphs for each of the nine areas
// of the main window. Modeless; "Close" only hides it.

#include <QDialog>
#include <QStringList>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class frmHelp : public QDialog
{
    Q_OBJECT

public:
    static constexpr int TopicCount = 9;

    explicit frmHelp(QWidget *parent = nullptr);

    // Topic 1 to 9: title and text into the window; any other number keeps
    // what it shows. Always makes the window visible.
    void ShowHelp(int nCode);

    // The topic table. Paragraphs are separated by CR LF. Empty outside 1 to 9.
    static QString TopicTitle(int nCode);
    static QString TopicText(int nCode);

public slots:
    void cmdClose_Click();

private:
    void Form_Load();

    QLabel *lblTitle = nullptr;
    QPlainTextEdit *txtHelp = nullptr;
    QPushButton *cmdClose = nullptr;
    QStringList m_titles;
    QStringList m_texts;
};
