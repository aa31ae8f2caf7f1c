#pragma once

#include <QAbstractButton>

namespace varrow {

// Buttons that repeat while held: the first repeat 400 ms after the press,
// then every 100 ms; releasing gives one more click.
constexpr int AutoRepeatDelayMs = 400;
constexpr int AutoRepeatIntervalMs = 100;

inline void MakeAutoRepeat(QAbstractButton* button) {
    button->setAutoRepeat(true);
    button->setAutoRepeatDelay(AutoRepeatDelayMs);
    button->setAutoRepeatInterval(AutoRepeatIntervalMs);
}

} // namespace varrow
