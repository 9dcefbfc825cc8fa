// Holding and releasing the socket's close and error events around the
// window's reply handlers.

#include "net/HeldSocketEvents.h"

#include "net/TcpClientSocket.h"

#include <utility>

bool HeldSocketEvents::holdClose()
{
    if (m_handling)
        m_closeHeld = true;
    return m_handling;
}

bool HeldSocketEvents::holdError(int number, const QString &description)
{
    if (m_handling)
        m_error = Error{number, description};
    return m_handling;
}

bool HeldSocketEvents::takeClose(int socketState)
{
    return std::exchange(m_closeHeld, false) && socketState == TcpClientSocket::sckClosing;
}

std::optional<HeldSocketEvents::Error> HeldSocketEvents::takeError(int socketState)
{
    std::optional<Error> error = std::exchange(m_error, std::nullopt);
    if (socketState != TcpClientSocket::sckError)
        return std::nullopt;
    return error;
}

void HeldSocketEvents::dropHeld()
{
    m_closeHeld = false;
    m_error.reset();
}
