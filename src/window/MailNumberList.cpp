// The range boxes' numbers.

#include "window/MailNumberList.h"

int MailNumberList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_count;
}

QVariant MailNumberList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_count || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return QString::number(index.row() + 1);
}

void MailNumberList::setCount(int count)
{
    count = qMax(0, count);
    if (count == m_count)
        return;
    beginResetModel();
    m_count = count;
    endResetModel();
}
