#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTimer>

#include <functional>

namespace varrow::test {

// Runs action, accepting every message box it shows; returns the text of the last one
// (empty when none was shown).
inline QString MessageDuring(const std::function<void()>& action) {
    QString shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    poll.start(10);
    action();
    poll.stop();
    return shown;
}

} // namespace varrow::test
