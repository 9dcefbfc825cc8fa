// Reads a header date text. Whatever the text, the result is the zero date
// or a date the calendar can show, never NaN or infinity. The first byte
// chooses Latin-1 or UTF-8 text.

#include "FuzzInput.h"

#include "message/MailDate.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const bool utf8 = in.byte() & 1;
    const QByteArray bytes = in.rest();
    const QString text = utf8 ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);

    const double value = ParseMailDate(text);
    FUZZ_CHECK(std::isfinite(value));
    FUZZ_CHECK(value == MailDate::ZeroDate || MailDate::isValidDateValue(value));
    if (value != MailDate::ZeroDate)
        FUZZ_CHECK(MailDate::toDateTime(value, Qt::UTC).isValid());

    // A blank text names no date.
    if (IsBlank(text))
        FUZZ_CHECK(value == MailDate::ZeroDate);
    const int month = MonthFromName(text);
    FUZZ_CHECK(month >= 0 && month <= 12);
    return 0;
}
