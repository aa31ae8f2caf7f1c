#include "ElapsedTimeDisplay.h"

#include <cmath>

namespace varrow {

TElapsedTimeDisplay::TElapsedTimeDisplay(QWidget* parent) : QLabel(parent) {
    // A few ticks a second keep the whole seconds honest without busy redraws.
    m_tick.setInterval(250);
    connect(&m_tick, &QTimer::timeout, this, &TElapsedTimeDisplay::Tick);
}

void TElapsedTimeDisplay::Start() {
    m_clock.start();
    m_tick.start();
    Tick();
}

void TElapsedTimeDisplay::Stop(double seconds) {
    m_tick.stop();
    setText(FinalText(seconds));
}

void TElapsedTimeDisplay::Stop() {
    Stop(m_clock.isValid() ? static_cast<double>(m_clock.nsecsElapsed()) / 1e9 : 0.0);
}

void TElapsedTimeDisplay::Tick() {
    setText(RunningText(static_cast<double>(m_clock.elapsed()) / 1000.0));
}

QString TElapsedTimeDisplay::RunningText(double seconds) {
    return QStringLiteral("%1 Sec.").arg(static_cast<long long>(std::floor(seconds)));
}

QString TElapsedTimeDisplay::FinalText(double seconds) {
    return QStringLiteral("%1 Sec.").arg(seconds, 0, 'f', 3);
}

} // namespace varrow
