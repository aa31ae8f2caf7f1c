#pragma once

// A radio group as the windows use them: a titled box whose buttons are the
// items in order, laid out in columns (down first), item 0 checked.

#include <QString>
#include <QStringList>

class QButtonGroup;
class QGroupBox;
class QWidget;

namespace varrow {

// The box is named name; its buttons "<name>Item<i>" with ids 0, 1, ...
QGroupBox* RadioGroup(QWidget* parent, const char* name, const QString& caption,
                      const QStringList& items, int columns, QButtonGroup*& buttons);

// Checks item id without running the group's handlers.
void CheckSilently(QButtonGroup* buttons, int id);

} // namespace varrow
