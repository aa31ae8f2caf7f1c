#pragma once

// Shows how long something has been running: whole seconds while it runs,
// then the final time with milliseconds ("12.345 Sec.").

#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

namespace varrow {

class TElapsedTimeDisplay : public QLabel {
    Q_OBJECT
public:
    explicit TElapsedTimeDisplay(QWidget* parent = nullptr);

    void Start();
    // Freezes the display at the given time; without one, at its own clock.
    void Stop(double seconds);
    void Stop();
    bool Running() const { return m_tick.isActive(); }

    static QString RunningText(double seconds);
    static QString FinalText(double seconds);

private:
    void Tick();

    QElapsedTimer m_clock;
    QTimer m_tick;
};

} // namespace varrow
