#pragma once

// A read-only value field as the windows show them: a sunken panel with the
// text at its right.

#include <QString>

class QLabel;
class QWidget;

namespace varrow {

QLabel* ReadoutLabel(QWidget* parent, const char* name, int minWidth);
// Wide enough for the widest text it will show.
QLabel* ReadoutLabel(QWidget* parent, const char* name, const QString& widest);

} // namespace varrow
