// Parses a mail text and reads everything the window may ask of it. The
// first byte chooses how the bytes become text: one character per octet as
// the socket delivers it, or UTF-8 for characters beyond Latin-1.

#include "FuzzInput.h"

#include "base/Notice.h"
#include "message/CMessage.h"
#include "message/MailDate.h"

#include <cmath>

namespace {

void checkDate(double value)
{
    FUZZ_CHECK(std::isfinite(value));
    FUZZ_CHECK(value == MailDate::ZeroDate || MailDate::isValidDateValue(value));
    if (value != MailDate::ZeroDate)
        FUZZ_CHECK(MailDate::toDateTime(value, Qt::UTC).isValid());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const bool utf8 = in.byte() & 1;
    const QByteArray bytes = in.rest();
    const QString text = utf8 ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);

    int notices = 0;
    Notice::setHandler([&notices](const QString &, const QString &) { ++notices; });
    CMessage message;
    message.CreateFromText(text);
    Notice::setHandler({});

    const qsizetype headerEnd = text.indexOf(QLatin1String("\r\n\r\n"));
    if (headerEnd < 0) {
        // Refused, with its one notice, and nothing filled.
        FUZZ_CHECK(notices == 1);
        FUZZ_CHECK(message.MessageText().isEmpty() && message.Headers().isEmpty());
        FUZZ_CHECK(message.Size() == 0);
    } else {
        FUZZ_CHECK(notices == 0);
        FUZZ_CHECK(message.MessageText() == text);
        FUZZ_CHECK(message.Size() == text.size());
        FUZZ_CHECK(message.Headers() + QLatin1String("\r\n\r\n") + message.MessageBody() == text);
    }

    // Header values come from the header part; none spans its lines.
    const QString fields[] = {message.Encrypted(), message.Comments(),  message.Keywords(),
                              message.References(), message.InReplyTo(), message.bcc(),
                              message.CC(),         message.Sender(),    message.replyTo(),
                              message.Subject(),    message.From(),      message.MessageTo(),
                              message.SendDate(),   message.Received(),  message.ReturnPath()};
    for (const QString &field : fields) {
        FUZZ_CHECK(!field.contains(QLatin1String("\r\n")));
        FUZZ_CHECK(field.size() <= message.Headers().size());
    }
    // A Message-ID is kept cleaned of its brackets, slashes and colons.
    for (QChar c : {u'<', u'>', u'\\', u'/', u':'})
        FUZZ_CHECK(!message.MessageID().contains(c));

    checkDate(message.SendDateTime());
    checkDate(message.ReceivedDateTime());
    return 0;
}
