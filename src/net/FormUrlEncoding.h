#pragma once
// application/x-www-form-urlencoded, both ways: the query of an OAuth 2.0
// redirect and the bodies of token requests. Names and values are UTF-8.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace FormUrlEncoding {

using Fields = QList<QPair<QString, QString>>;

// Every octet but the unreserved ones (A-Z a-z 0-9 - . _ ~) percent-encoded,
// so that no value can end a field or the query early.
QByteArray encode(const Fields &fields);
// "+" is a blank, "%XX" an octet; a field without "=" has an empty value.
Fields decode(const QByteArray &form);
// The first value of the field; empty when there is none. *present tells
// whether the field was there at all.
QString value(const Fields &fields, const QString &name, bool *present = nullptr);

} // namespace FormUrlEncoding
