#pragma once
// The main window's nine help buttons and the two check boxes whose
// visibility some of them follow. Not owned.

class QWidget;

struct HelpButtons
{
    QWidget *cmdHlpLogin = nullptr;
    QWidget *cmdHlpUpdtChanges = nullptr;
    QWidget *cmdHlpSaveLogin = nullptr;
    QWidget *cmdHlpLoadLogin = nullptr;
    QWidget *cmdHlpStats = nullptr;
    QWidget *cmdHlpRetrieval = nullptr;
    QWidget *cmdHlpDeletion = nullptr;
    QWidget *cmdHlpMails = nullptr;
    QWidget *cmdHlpAutoLogin = nullptr;
    const QWidget *ckUpdtChanges = nullptr;
    const QWidget *ckAutoLogin = nullptr;
};

// Topic numbers of the help window, one per help button.
enum HelpTopic {
    HelpTopicLogin = 1,
    HelpTopicUpdtChanges = 2,
    HelpTopicSaveLogin = 3,
    HelpTopicLoadLogin = 4,
    HelpTopicStats = 5,
    HelpTopicRetrieval = 6,
    HelpTopicDeletion = 7,
    HelpTopicMails = 8,
    HelpTopicAutoLogin = 9,
};
