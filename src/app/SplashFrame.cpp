#include "app/SplashFrame.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimerEvent>

CSplashFrame::CSplashFrame()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                           | Qt::WindowDoesNotAcceptFocus)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    m_picture.load(QStringLiteral(":/app/splash.png"));

    // Centred by plain integer halves: on a screen smaller than the picture it is cut off equally
    // on both sides.
    QRect area(0, 0, kWidth, kHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    setGeometry(area.x() + (area.width() - kWidth) / 2, area.y() + (area.height() - kHeight) / 2,
                kWidth, kHeight);
    setFixedSize(kWidth, kHeight);
    show();
    m_nTimer = startTimer(kDisplayMs);
}

void CSplashFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
    // A thin border, so the picture stands apart from the window behind it.
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(0, 0, kWidth - 1, kHeight - 1);
}

void CSplashFrame::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_nTimer)
        return QWidget::timerEvent(event);
    // Killed first, so that a second expiry can never reach a closing window.
    killTimer(m_nTimer);
    m_nTimer = 0;
    close();
}
