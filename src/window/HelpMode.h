#pragma once
// Help mode of the main window: which "?" buttons show, the stored help flag,
// and the help window's life (loaded on the first request, unloaded when the
// main window becomes active again or closes).

#include "window/frmHelp.h"
#include "window/HelpButtons.h"

#include <QPointer>

class QWidget;

class HelpMode
{
public:
    // owner: the window the help window belongs to (may be null).
    explicit HelpMode(QWidget *owner = nullptr);
    ~HelpMode();
    HelpMode(const HelpMode &) = delete;
    HelpMode &operator=(const HelpMode &) = delete;

    void setButtons(const HelpButtons &buttons);
    const HelpButtons &buttons() const { return m_buttons; }

    // Shows or hides the help buttons and stores the flag.
    void HelpStatus(bool bShow);
    // Keeps the two conditional buttons in step with their check boxes after
    // those were shown or hidden; helpOn is whether ckHelpFlag is checked.
    void SyncConditionalButtons(bool helpOn);

    // Loads the help window if needed and shows topic nCode in it.
    void InvokeHelp(int nCode);
    // Unloads the help window if it is loaded.
    void UnloadHelp();
    bool isHelpLoaded() const { return !m_help.isNull(); }
    frmHelp *helpWindow() const { return m_help.data(); }

    // Connects each help button's click to its handler below.
    void connectButtons();
    void cmdHlpLogin_Click() { InvokeHelp(HelpTopicLogin); }
    void cmdHlpUpdtChanges_Click() { InvokeHelp(HelpTopicUpdtChanges); }
    void cmdHlpSaveLogin_Click() { InvokeHelp(HelpTopicSaveLogin); }
    void cmdHlpLoadLogin_Click() { InvokeHelp(HelpTopicLoadLogin); }
    void cmdHlpStats_Click() { InvokeHelp(HelpTopicStats); }
    void cmdHlpRetrieval_Click() { InvokeHelp(HelpTopicRetrieval); }
    void cmdHlpDeletion_Click() { InvokeHelp(HelpTopicDeletion); }
    void cmdHlpMails_Click() { InvokeHelp(HelpTopicMails); }
    void cmdHlpAutoLogin_Click() { InvokeHelp(HelpTopicAutoLogin); }

    // The stored flag: "Settings"/"Help", "1" (the default when absent) = on.
    static bool StoredHelpFlag();
    static void StoreHelpFlag(bool bShow);

private:
    HelpButtons m_buttons;
    QPointer<QWidget> m_owner;
    QPointer<frmHelp> m_help;
};
