#pragma once
// The numbers of one POP3 session's new mails, as decimal texts in the order
// they were found, with the quick look-up the mail grid asks for once per
// listed mail. The look-up belongs to the list: a new session's list starts
// with nothing of the last one's.

#include <QDebug>
#include <QSet>
#include <QString>
#include <QStringList>

class NewMailList
{
public:
    NewMailList() = default;
    explicit NewMailList(const QStringList &numbers);

    // Each number is listed once; false when it was already.
    bool append(const QString &number);
    bool contains(const QString &number) const { return m_index.contains(number); }

    const QStringList &numbers() const { return m_numbers; }
    qsizetype size() const { return m_numbers.size(); }
    bool isEmpty() const { return m_numbers.isEmpty(); }
    QString last() const { return m_numbers.isEmpty() ? QString() : m_numbers.last(); }
    QString join(QChar separator) const { return m_numbers.join(separator); }

    bool operator==(const QStringList &numbers) const { return m_numbers == numbers; }
    bool operator!=(const QStringList &numbers) const { return m_numbers != numbers; }

private:
    QStringList m_numbers;
    QSet<QString> m_index;
};

inline QDebug operator<<(QDebug debug, const NewMailList &list)
{
    return debug << list.numbers();
}
