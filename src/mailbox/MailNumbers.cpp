// Mail numbers read from text, bounded before any conversion: a text may
// name a number beyond every integer type.

#include "mailbox/MailNumbers.h"

#include "base/VbHelpers.h"

#include <limits>

namespace mailbox {

int mailNumberOf(const QString &text)
{
    const double value = vb::Val(text);
    if (value >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(vb::RoundHalfEven(value));
}

bool readMailRange(const QString &fromText, const QString &tillText, int *from, int *till)
{
    qint64 lower = 0;
    qint64 upper = 0;
    if (!vb::ParseWholeNumber(fromText, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), &lower)
        || !vb::ParseWholeNumber(tillText, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), &upper)
        || lower > upper)
        return false;
    *from = int(lower);
    *till = int(upper);
    return true;
}

} // namespace mailbox
