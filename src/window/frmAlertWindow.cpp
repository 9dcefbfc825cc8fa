// Drawing an alert and moving it as AlertMotion says.

#include "window/frmAlertWindow.h"

#include "base/VbHelpers.h"
#include "desktop/AlertSlots.h"
#include "window/Platform.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>

#include <algorithm>

namespace {

QColor mix(const QColor &from, const QColor &to, double t)
{
    auto channel = [t](int a, int b) { return int(vb::RoundHalfEven(a + (b - a) * t)); };
    return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()),
                  channel(from.blue(), to.blue()));
}

} // namespace

frmAlertWindow::frmAlertWindow()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint), m_motion(*this, AlertSlots::shared())
{
    QRect workArea(0, 0, 800, 600);
    QRect screen = workArea;
    if (const QScreen *primary = QGuiApplication::primaryScreen()) {
        workArea = primary->availableGeometry();
        screen = primary->geometry();
    }
    init(workArea, screen);
}

frmAlertWindow::frmAlertWindow(const QRect &workArea, const QRect &screen)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint), m_motion(*this, AlertSlots::shared())
{
    init(workArea, screen);
}

frmAlertWindow::~frmAlertWindow() = default;

void frmAlertWindow::init(const QRect &workArea, const QRect &screen)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Mailvane"));

    m_lblMessage = new QLabel(this);
    m_lblMessage->setObjectName(QStringLiteral("lblMessage"));
    m_lblMessage->setTextFormat(Qt::PlainText);
    m_lblMessage->setWordWrap(true);
    m_lblMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_lblMessage->setAutoFillBackground(false);
    // Clicks on the text count as clicks on the window.
    m_lblMessage->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette text = m_lblMessage->palette();
    text.setColor(QPalette::WindowText, Qt::black);
    m_lblMessage->setPalette(text);

    m_timer.setObjectName(QStringLiteral("Timer1"));
    m_timer.setInterval(TickInterval);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &frmAlertWindow::Timer1_Timer);

    const int caps = AlertMotion::CapabilityLevel(Platform::current().osVersion(), true,
                                                  windowOpacityAvailable());
    m_motion.Load(caps, workArea, screen);
}

bool frmAlertWindow::windowOpacityAvailable()
{
    static const QStringList supporting = {QStringLiteral("xcb"), QStringLiteral("offscreen"),
                                           QStringLiteral("windows"), QStringLiteral("cocoa")};
    return supporting.contains(QGuiApplication::platformName());
}

void frmAlertWindow::DisplayMessage(const QString &sMessage, int DisplaySeconds, bool bFade,
                                    bool bAutoFit, bool bSquare, int iBackColor, bool bTubeFill)
{
    if (m_motion.unloaded())
        return;
    m_motion.DisplayMessage(sMessage, DisplaySeconds, bFade, bAutoFit);

    if (bTubeFill)
        FillTubeGradient(iBackColor);
    else
        FillCornerGradient(iBackColor);
    drawFrame(bSquare, iBackColor);
    update();

    show();
    m_timer.start();
}

void frmAlertWindow::setCloseActivate(bool value)
{
    m_motion.setCloseActivate(value);
}

void frmAlertWindow::Timer1_Timer()
{
    m_motion.Tick();
}

void frmAlertWindow::Form_Click()
{
    m_motion.Click();
    emit showMainWindowRequested();
}

void frmAlertWindow::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void frmAlertWindow::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Form_Click();
}

void frmAlertWindow::closeEvent(QCloseEvent *event)
{
    m_timer.stop();
    m_motion.Unload();
    event->accept();
}

void frmAlertWindow::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, m_picture);
}

void frmAlertWindow::moveWindow(int left, int top, int width, int height)
{
    // To the nearest pixel: a window 2000 twips high standing on the work
    // area's bottom then ends flush with it.
    auto pixels = [](int twips) { return qRound(double(twips) / vb::TwipsPerPixel); };
    setGeometry(pixels(left), pixels(top), pixels(width), pixels(height));
}

int frmAlertWindow::placeLabel(const QRect &box, const QString &text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_lblMessage->setText(shown);
    const int height = std::max(0, m_lblMessage->heightForWidth(box.width()));
    m_lblMessage->setGeometry(box.x(), box.y(), box.width(), height);
    return height;
}

void frmAlertWindow::setTopMost(bool topMost)
{
    // Changing the flag hides a shown window; showing it again keeps its
    // geometry, and WA_ShowWithoutActivating keeps the focus where it is.
    setWindowFlag(Qt::WindowStaysOnTopHint, topMost);
    show();
}

void frmAlertWindow::setOpacity(int alpha)
{
    setWindowOpacity(alpha / 255.0);
}

void frmAlertWindow::unload()
{
    m_timer.stop();
    close();
}

QColor frmAlertWindow::SetVertexColor(int lColor)
{
    return QColor(lColor & 0xFF, (lColor >> 8) & 0xFF, (lColor >> 16) & 0xFF);
}

// A picture of the window's size; false when the system draws no gradients,
// and the picture is then the plain colour.
bool frmAlertWindow::StartPicture(const QColor &color)
{
    m_picture = QImage(std::max(1, width()), std::max(1, height()), QImage::Format_RGB32);
    if (m_motion.caps() != AlertMotion::NoEffects)
        return true;
    m_picture.fill(color);
    return false;
}

void frmAlertWindow::FillCornerGradient(int lColor)
{
    const QColor color = SetVertexColor(lColor);
    const int w = width();
    const int h = height();
    if (!StartPicture(color))
        return;
    // Two triangles split along the top-left to bottom-right diagonal, white
    // at three corners and the colour at the bottom-right one: inside either
    // triangle the colour's share is the smaller of the two distances.
    const QColor white(Qt::white);
    for (int y = 0; y < m_picture.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(m_picture.scanLine(y));
        const double down = h > 1 ? double(y) / (h - 1) : 1.0;
        for (int x = 0; x < m_picture.width(); ++x) {
            const double across = w > 1 ? double(x) / (w - 1) : 1.0;
            line[x] = mix(white, color, std::min(across, down)).rgb();
        }
    }
}

void frmAlertWindow::FillTubeGradient(int lColor)
{
    const QColor color = SetVertexColor(lColor);
    const int h = height();
    if (!StartPicture(color))
        return;
    const QColor white(Qt::white);
    const int half = h / 2;
    for (int y = 0; y < m_picture.height(); ++y) {
        double toWhite;
        if (y < half)
            toWhite = double(y) / half;
        else
            toWhite = h - 1 > half ? 1.0 - double(y - half) / (h - 1 - half) : 1.0;
        const QRgb rgb = mix(color, white, toWhite).rgb();
        QRgb *line = reinterpret_cast<QRgb *>(m_picture.scanLine(y));
        std::fill(line, line + m_picture.width(), rgb);
    }
}

void frmAlertWindow::drawFrame(bool bSquare, int iBackColor)
{
    const QColor face = palette().color(QPalette::Button);
    const QColor inner = SetVertexColor(iBackColor);
    const int w = m_picture.width();
    const int h = m_picture.height();
    QPainter painter(&m_picture);
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (bSquare) {
        painter.setPen(face);
        painter.drawLine(w - 1, 0, w - 1, h - 1);
        painter.drawLine(0, h - 1, w - 1, h - 1);
        painter.drawLine(0, 0, w - 1, 0);
        painter.drawLine(0, 0, 0, h - 1);
        painter.setPen(inner);
        painter.drawLine(w - 2, 1, w - 2, h - 2);
        painter.drawLine(1, h - 2, w - 2, h - 2);
        painter.drawLine(1, 1, w - 2, 1);
        painter.drawLine(1, 1, 1, h - 2);
        clearMask();
        return;
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(face);
    painter.drawRoundedRect(QRect(0, 0, w - 1, h - 1), 10, 10);
    painter.setPen(inner);
    painter.drawRoundedRect(QRect(1, 1, w - 3, h - 3), 9, 9);
    painter.end();

    QPainterPath outline;
    outline.addRoundedRect(QRectF(0, 0, w, h), 9.5, 9.5);
    setMask(QRegion(outline.toFillPolygon().toPolygon()));
}
