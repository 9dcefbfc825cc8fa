// Splitting a mail into its header fields and body.

#include "message/CMessage.h"

#include "base/VbHelpers.h"

#include "base/Notice.h"
#include "message/MailDate.h"

#include <QFile>
#include <QStringList>

namespace {

using vb::CrLf;
const QString EmptyLine = QStringLiteral("\r\n\r\n");

// The program's title, trailing blank included; the core has no access to the
// window's message-box constants.
const QString AppTitle = QStringLiteral("Mailvane ");

} // namespace

void CMessage::ReportInvalidFormat()
{
    Notice::show(AppTitle, QStringLiteral("Message:Invalid message format"));
}

void CMessage::CreateFromText(const QString &strMessage)
{
    const qsizetype headerEnd = strMessage.indexOf(EmptyLine);
    if (headerEnd < 0) {
        ReportInvalidFormat();
        return;
    }
    m_strHeaders = strMessage.left(headerEnd);
    m_strMessageBody = strMessage.mid(headerEnd + EmptyLine.size());
    m_strMessageText = strMessage;

    QString name;
    QString value;
    const QStringList lines = m_strHeaders.split(CrLf);
    for (const QString &line : lines) {
        const qsizetype colon = line.indexOf(u':');
        const qsizetype blank = line.indexOf(u' ');
        if (colon >= 0 && (blank < 0 || blank > colon)) {
            name = line.left(colon).toLower();
            value = MailDate::trimSpaces(line.mid(colon + 1));
        } else if (name == QLatin1String("received")) {
            // The date of a Received header is usually on a folded line.
            value = MailDate::trimSpaces(line);
        } else {
            name.clear();
        }
        StoreHeader(name, value);
    }
}

void CMessage::StoreHeader(const QString &name, const QString &value)
{
    if (name.isEmpty())
        return;
    if (name == QLatin1String("return-path"))
        m_strReturnPath = value;
    else if (name == QLatin1String("received")) {
        if (value.contains(u';') && m_strReceived.isEmpty())
            m_strReceived = value;
    } else if (name == QLatin1String("from"))
        m_strFrom = value;
    else if (name == QLatin1String("sender"))
        m_strSender = value;
    else if (name == QLatin1String("reply-to"))
        m_strReplyTo = value;
    else if (name == QLatin1String("to"))
        m_strMessageTo = value;
    else if (name == QLatin1String("cc"))
        m_strCC = value;
    else if (name == QLatin1String("bcc"))
        m_strBcc = value;
    else if (name == QLatin1String("message-id"))
        m_strMessageID = CleanMessageID(value);
    else if (name == QLatin1String("in-reply-to"))
        m_strInReplyTo = value;
    else if (name == QLatin1String("references"))
        m_strReferences = value;
    else if (name == QLatin1String("keywords"))
        m_strKeywords = value;
    else if (name == QLatin1String("subject"))
        m_strSubject = value;
    else if (name == QLatin1String("comments"))
        m_strComments = value;
    else if (name == QLatin1String("encrypted"))
        m_strEncrypted = value;
    else if (name == QLatin1String("date"))
        m_strSendDate = value;
}

QString CMessage::CleanMessageID(const QString &value) const
{
    QString cleaned = value;
    cleaned.remove(u'<').remove(u'>').remove(u'\\').remove(u'/').remove(u':');
    if (IsBlank(cleaned))
        return GeneratedMessageID(MailDate::now());
    return cleaned;
}

QString CMessage::GeneratedMessageID(double dateValue)
{
    // Fifteen significant digits, as the date value is written as text; the
    // separator is replaced whichever one the number format uses.
    QString text = QString::number(dateValue, 'g', 15);
    text.replace(u'.', QLatin1String("D")).replace(u',', QLatin1String("D"));
    return text;
}

void CMessage::CreateFromFile(const QString &strFileSpec)
{
    QFile file(strFileSpec);
    if (strFileSpec.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return;
    file.close();
    CreateFromText(QString::fromLatin1(bytes));
}

void CMessage::LoadHeadersFromFile(const QString &strFileSpec)
{
    QFile file(strFileSpec);
    if (strFileSpec.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;

    // The empty line is seen only before the next read, so the first body line
    // is read as well. Lines hold no CR, so the collected text first contains
    // an empty line just after that line was appended.
    QString collected;
    while (!file.atEnd()) {
        const bool headerComplete = collected.endsWith(EmptyLine);
        QByteArray line;
        char c = 0;
        while (file.getChar(&c)) {
            if (c == '\r') {
                char next = 0;
                if (file.peek(&next, 1) == 1 && next == '\n')
                    file.getChar(&next);
                break;
            }
            line.append(c);
        }
        if (file.error() != QFileDevice::NoError)
            return;
        collected += QString::fromLatin1(line);
        collected += CrLf;
        if (headerComplete)
            break;
    }
    collected += QStringLiteral("msg\r\n");
    file.close();
    CreateFromText(collected);
}

void CMessage::SaveMessage(const QString &FileSpec)
{
    // Truncating keeps the tail of an older, longer file out of this message.
    const QByteArray bytes = m_strMessageText.toLatin1();
    QFile file(FileSpec);
    bool saved = !FileSpec.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (saved)
        saved = file.write(bytes) == bytes.size() && file.flush();
    if (file.isOpen())
        file.close();
    if (!saved || file.error() != QFileDevice::NoError)
        ErrorLog += QStringLiteral("Failed to save message to ") + FileSpec + CrLf;
}

qint64 CMessage::Size() const
{
    return m_strMessageText.size();
}

double CMessage::SendDateTime() const
{
    if (IsBlank(m_strSendDate))
        return MailDate::ZeroDate;
    return ParseMailDate(MailDate::trimSpaces(m_strSendDate));
}

double CMessage::ReceivedDateTime() const
{
    const qsizetype semicolon = m_strReceived.indexOf(u';');
    const QString datePart =
        MailDate::trimSpaces(semicolon < 0 ? m_strReceived : m_strReceived.mid(semicolon + 1));
    if (IsBlank(datePart))
        return ParseMailDate(MailDate::trimSpaces(m_strSendDate));
    return ParseMailDate(datePart);
}
