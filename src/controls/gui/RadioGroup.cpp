#include "RadioGroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QRadioButton>
#include <QSignalBlocker>

namespace varrow {

QGroupBox* RadioGroup(QWidget* parent, const char* name, const QString& caption,
                      const QStringList& items, int columns, QButtonGroup*& buttons) {
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    buttons = new QButtonGroup(box);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setVerticalSpacing(2);
    const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], box);
        radio->setObjectName(QStringLiteral("%1Item%2").arg(QString::fromLatin1(name)).arg(i));
        buttons->addButton(radio, i);
        grid->addWidget(radio, i % rows, i / rows);
    }
    if (!items.isEmpty()) buttons->button(0)->setChecked(true);
    return box;
}

void CheckSilently(QButtonGroup* buttons, int id) {
    QAbstractButton* button = buttons->button(id);
    if (button != nullptr && !button->isChecked()) {
        const QSignalBlocker block(buttons);
        button->setChecked(true);
    }
}

} // namespace varrow
