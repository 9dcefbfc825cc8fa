#pragma once
// The socket's close and error events, held back while the window handles
// replies: a handler may open a box, whose event loop lets the socket report
// meanwhile. What was held comes out once the handlers have returned, after
// every reply the server sent before it, and only while the socket is still
// in the state the event reported; a handler that closed the connection
// itself, or a new login, has made it stale.

#include <QString>

#include <optional>

class HeldSocketEvents
{
public:
    struct Error
    {
        int number = 0;
        QString description;
    };

    bool isHandling() const { return m_handling; }
    void startHandling() { m_handling = true; }
    void endHandling() { m_handling = false; }

    // True when the event is held because a handler is running; otherwise
    // the window handles it at once.
    bool holdClose();
    // A later error replaces one held before it.
    bool holdError(int number, const QString &description);

    // Once the handlers have returned, with the socket's State(): each held
    // event comes out at most once.
    bool takeClose(int socketState);
    std::optional<Error> takeError(int socketState);

    // A new connection: what the last one held back is no longer its news.
    void dropHeld();

private:
    bool m_handling = false;
    bool m_closeHeld = false;
    std::optional<Error> m_error;
};
