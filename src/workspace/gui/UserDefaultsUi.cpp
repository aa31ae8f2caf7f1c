#include "UserDefaultsUi.h"

#include "workspace/Navigation.h"
#include "workspace/UserDefaults.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QMessageBox>
#include <QWidget>

#include <exception>

namespace varrow {

int LoadUserDefaults(QButtonGroup& speedButtons, TNavigator& navigator) {
    const int item = ConnectionSpeedSelection(ReadConnectionSpeed());
    if (QAbstractButton* button = speedButtons.button(item)) {
        button->setChecked(true);
    } else if (QAbstractButton* checked = speedButtons.checkedButton()) {
        // An exclusive group will not let its last checked button go.
        const bool exclusive = speedButtons.exclusive();
        speedButtons.setExclusive(false);
        checked->setChecked(false);
        speedButtons.setExclusive(exclusive);
    }
    navigator.ChangeSpeed(item != 0);
    return item;
}

bool SaveUserDefaults(QWidget* parent, const QButtonGroup& speedButtons) {
    try {
        WriteConnectionSpeed(speedButtons.checkedId());
        return true;
    } catch (const std::exception& e) {
        const QString title = parent != nullptr ? parent->window()->windowTitle()
                                                : QApplication::applicationDisplayName();
        QMessageBox::critical(parent, title, QString::fromUtf8(e.what()));
        return false;
    }
}

} // namespace varrow
