// The new-mail list and its look-up.

#include "mailbox/NewMailList.h"

NewMailList::NewMailList(const QStringList &numbers)
{
    for (const QString &number : numbers)
        append(number);
}

bool NewMailList::append(const QString &number)
{
    if (m_index.contains(number))
        return false;
    m_index.insert(number);
    m_numbers.append(number);
    return true;
}
