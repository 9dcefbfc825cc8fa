// Form encoding of OAuth 2.0 queries and request bodies.

#include "net/FormUrlEncoding.h"

namespace FormUrlEncoding {

namespace {

QString decoded(QByteArray part)
{
    part.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(part));
}

} // namespace

QByteArray encode(const Fields &fields)
{
    QByteArray form;
    for (const auto &field : fields) {
        if (!form.isEmpty())
            form += '&';
        form += field.first.toUtf8().toPercentEncoding() + '=' + field.second.toUtf8().toPercentEncoding();
    }
    return form;
}

Fields decode(const QByteArray &form)
{
    Fields fields;
    for (const QByteArray &part : form.split('&')) {
        if (part.isEmpty())
            continue;
        const int equals = part.indexOf('=');
        if (equals < 0)
            fields.append({decoded(part), QString()});
        else
            fields.append({decoded(part.left(equals)), decoded(part.mid(equals + 1))});
    }
    return fields;
}

QString value(const Fields &fields, const QString &name, bool *present)
{
    for (const auto &field : fields) {
        if (field.first == name) {
            if (present)
                *present = true;
            return field.second;
        }
    }
    if (present)
        *present = false;
    return QString();
}

} // namespace FormUrlEncoding
