#pragma once
// The mail numbers 1 to n that the range boxes list, each made when a view
// asks for it: a login to a mailbox of thousands of mails would otherwise
// make thousands of strings that nobody looks at.

#include <QAbstractListModel>

class MailNumberList : public QAbstractListModel
{
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    void setCount(int count);

private:
    int m_count = 0;
};
