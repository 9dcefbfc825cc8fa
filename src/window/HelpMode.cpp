// Showing and hiding the "?" buttons and the help window.

#include "window/HelpMode.h"

#include "window/frmHelp.h"

#include <QAbstractButton>
#include <QSettings>
#include <QWidget>

namespace {

const QString StoreName = QStringLiteral("Mailvane");
const QString HelpKey = QStringLiteral("Settings/Help");

void setShown(QWidget *widget, bool shown)
{
    if (widget)
        widget->setVisible(shown);
}

// The box's own visibility flag: a box in a window not shown yet still counts
// as visible when nothing hid it.
bool isShown(const QWidget *widget)
{
    if (!widget)
        return false;
    const QWidget *parent = widget->parentWidget();
    return parent ? widget->isVisibleTo(parent) : widget->isVisible();
}

} // namespace

HelpMode::HelpMode(QWidget *owner)
    : m_owner(owner)
{
}

HelpMode::~HelpMode()
{
    // A help window without an owner is ours to free.
    if (m_help && !m_help->parent())
        delete m_help.data();
}

void HelpMode::setButtons(const HelpButtons &buttons)
{
    m_buttons = buttons;
}

void HelpMode::HelpStatus(bool bShow)
{
    for (QWidget *button : {m_buttons.cmdHlpLogin, m_buttons.cmdHlpDeletion, m_buttons.cmdHlpLoadLogin,
                            m_buttons.cmdHlpSaveLogin, m_buttons.cmdHlpMails,
                            m_buttons.cmdHlpRetrieval, m_buttons.cmdHlpStats})
        setShown(button, bShow);
    SyncConditionalButtons(bShow);
    StoreHelpFlag(bShow);
}

void HelpMode::SyncConditionalButtons(bool helpOn)
{
    setShown(m_buttons.cmdHlpAutoLogin, helpOn && isShown(m_buttons.ckAutoLogin));
    setShown(m_buttons.cmdHlpUpdtChanges, helpOn && isShown(m_buttons.ckUpdtChanges));
}

void HelpMode::InvokeHelp(int nCode)
{
    if (!m_help)
        m_help = new frmHelp(m_owner);
    m_help->ShowHelp(nCode);
}

void HelpMode::UnloadHelp()
{
    if (!m_help)
        return;
    frmHelp *window = m_help.data();
    m_help.clear();
    window->hide();
    // This may run from inside one of the window's own events.
    window->deleteLater();
}

void HelpMode::connectButtons()
{
    const struct
    {
        QWidget *widget;
        void (HelpMode::*handler)();
    } entries[] = {
        {m_buttons.cmdHlpLogin, &HelpMode::cmdHlpLogin_Click},
        {m_buttons.cmdHlpUpdtChanges, &HelpMode::cmdHlpUpdtChanges_Click},
        {m_buttons.cmdHlpSaveLogin, &HelpMode::cmdHlpSaveLogin_Click},
        {m_buttons.cmdHlpLoadLogin, &HelpMode::cmdHlpLoadLogin_Click},
        {m_buttons.cmdHlpStats, &HelpMode::cmdHlpStats_Click},
        {m_buttons.cmdHlpRetrieval, &HelpMode::cmdHlpRetrieval_Click},
        {m_buttons.cmdHlpDeletion, &HelpMode::cmdHlpDeletion_Click},
        {m_buttons.cmdHlpMails, &HelpMode::cmdHlpMails_Click},
        {m_buttons.cmdHlpAutoLogin, &HelpMode::cmdHlpAutoLogin_Click},
    };
    for (const auto &entry : entries) {
        auto *button = qobject_cast<QAbstractButton *>(entry.widget);
        if (!button)
            continue;
        const auto handler = entry.handler;
        QObject::connect(button, &QAbstractButton::clicked, button, [this, handler] { (this->*handler)(); });
    }
}

bool HelpMode::StoredHelpFlag()
{
    const QSettings settings(StoreName, StoreName);
    return settings.value(HelpKey, QStringLiteral("1")).toString() == QLatin1String("1");
}

void HelpMode::StoreHelpFlag(bool bShow)
{
    // Every start stores the flag it has just read: a write of the same
    // value would lock and sync the settings file before the window shows.
    QSettings settings(StoreName, StoreName);
    const QString value = bShow ? QStringLiteral("1") : QStringLiteral("0");
    if (settings.contains(HelpKey) && settings.value(HelpKey).toString() == value)
        return;
    settings.setValue(HelpKey, value);
}
