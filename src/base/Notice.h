#pragma once
// Widget-free classes report the few failures they must show (an OK box, no
// icon) through this hook; the user interface connects it to its message
// boxes, tests connect a recorder.

#include <QString>

#include <functional>

namespace Notice {

using Handler = std::function<void(const QString &title, const QString &text)>;

// Replaces the handler; an empty one drops notices.
void setHandler(Handler handler);
void show(const QString &title, const QString &text);

} // namespace Notice
