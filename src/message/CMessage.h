#pragma once
// One Internet mail message: header lines, an empty line, the body. Texts hold
// one character per octet (Latin-1), so every octet of a mail survives.

#include <QString>

class CMessage
{
public:
    // Appended to by SaveMessage; nothing else reads or clears it.
    QString ErrorLog;

    // Parses a whole message. A text without an empty line is refused with a
    // notice and changes nothing; nothing is cleared before parsing.
    void CreateFromText(const QString &strMessage);
    // The notice for a text without an empty line.
    static void ReportInvalidFormat();
    // Reads the whole file, one character per byte, and parses it; silent on failure.
    void CreateFromFile(const QString &strFileSpec);
    // Reads the header part and the first body line of a file and parses them;
    // silent on failure.
    void LoadHeadersFromFile(const QString &strFileSpec);
    // Writes MessageText byte for byte; a failure is only noted in ErrorLog.
    void SaveMessage(const QString &FileSpec);

    // Characters of MessageText.
    qint64 Size() const;
    // Date values (days since 30 December 1899); 0 when there is no date.
    double SendDateTime() const;
    double ReceivedDateTime() const;

    // "Headers text."
    QString Headers() const { return m_strHeaders; }
    void setHeaders(const QString &vData) { m_strHeaders = vData; }
    // "Message text without headers."
    QString MessageBody() const { return m_strMessageBody; }
    void setMessageBody(const QString &vData) { m_strMessageBody = vData; }
    // "Message text with headers."
    QString MessageText() const { return m_strMessageText; }
    void setMessageText(const QString &vData) { m_strMessageText = vData; }
    // "Value of Encrypted header field."
    QString Encrypted() const { return m_strEncrypted; }
    void setEncrypted(const QString &vData) { m_strEncrypted = vData; }
    // "Value of Comments header field."
    QString Comments() const { return m_strComments; }
    void setComments(const QString &vData) { m_strComments = vData; }
    // "Value of Keywords header field."
    QString Keywords() const { return m_strKeywords; }
    void setKeywords(const QString &vData) { m_strKeywords = vData; }
    // "Value of References header field."
    QString References() const { return m_strReferences; }
    void setReferences(const QString &vData) { m_strReferences = vData; }
    // "Value of In-Reply-To header field."
    QString InReplyTo() const { return m_strInReplyTo; }
    void setInReplyTo(const QString &vData) { m_strInReplyTo = vData; }
    // "Value of BCC header field."
    QString bcc() const { return m_strBcc; }
    void setBcc(const QString &vData) { m_strBcc = vData; }
    // "Value of CC header field."
    QString CC() const { return m_strCC; }
    void setCC(const QString &vData) { m_strCC = vData; }
    // "Value of Sender header field."
    QString Sender() const { return m_strSender; }
    void setSender(const QString &vData) { m_strSender = vData; }
    // "Value of ReplyTo header field."
    QString replyTo() const { return m_strReplyTo; }
    void setReplyTo(const QString &vData) { m_strReplyTo = vData; }
    // "Value of Subject header field."
    QString Subject() const { return m_strSubject; }
    void setSubject(const QString &vData) { m_strSubject = vData; }
    // "Value of From header field."
    QString From() const { return m_strFrom; }
    void setFrom(const QString &vData) { m_strFrom = vData; }
    // "Value of To header field."
    QString MessageTo() const { return m_strMessageTo; }
    void setMessageTo(const QString &vData) { m_strMessageTo = vData; }
    // "Value of Message-ID header field."
    QString MessageID() const { return m_strMessageID; }
    void setMessageID(const QString &vData) { m_strMessageID = vData; }
    // "Value of Date hesder field."
    QString SendDate() const { return m_strSendDate; }
    void setSendDate(const QString &vData) { m_strSendDate = vData; }
    // "Value of Received header field."
    QString Received() const { return m_strReceived; }
    void setReceived(const QString &vData) { m_strReceived = vData; }
    // "Value of Return-Path header field."
    QString ReturnPath() const { return m_strReturnPath; }
    void setReturnPath(const QString &vData) { m_strReturnPath = vData; }

    // The identifier given to a message whose Message-ID is blank once cleaned:
    // the date value as decimal text with its separator written "D".
    static QString GeneratedMessageID(double dateValue);

private:
    void StoreHeader(const QString &name, const QString &value);
    QString CleanMessageID(const QString &value) const;

    QString m_strHeaders;
    QString m_strMessageBody;
    QString m_strMessageText;
    QString m_strEncrypted;
    QString m_strComments;
    QString m_strKeywords;
    QString m_strReferences;
    QString m_strInReplyTo;
    QString m_strBcc;
    QString m_strCC;
    QString m_strSender;
    QString m_strReplyTo;
    QString m_strSubject;
    QString m_strFrom;
    QString m_strMessageTo;
    QString m_strMessageID;
    QString m_strSendDate;
    QString m_strReceived;
    QString m_strReturnPath;
};
