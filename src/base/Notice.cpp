// The hook behind Notice: nothing is shown until a user interface connects.

#include "base/Notice.h"

namespace {
Notice::Handler &handler()
{
    static Notice::Handler h;
    return h;
}
} // namespace

void Notice::setHandler(Handler h)
{
    handler() = std::move(h);
}

void Notice::show(const QString &title, const QString &text)
{
    if (handler())
        handler()(title, text);
}
