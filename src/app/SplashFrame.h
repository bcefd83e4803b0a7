#pragma once
// The picture shown above everything for a few seconds at start-up. It takes no input, leaves the
// main window usable, and deletes itself when its time is up.

#include <QPixmap>
#include <QWidget>

class CSplashFrame : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 600;
    static constexpr int kHeight = 400;
    static constexpr int SPLASH_TIMER_ID = 1056;
    static constexpr int kDisplayMs = 5000;

    // Shows itself at once, centred on the primary screen.
    CSplashFrame();

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QPixmap m_picture;
    int m_nTimer = 0;
};
