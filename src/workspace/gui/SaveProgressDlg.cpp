#include "SaveProgressDlg.h"

namespace varrow {

TSaveProgressDlg::TSaveProgressDlg(QWidget* parent, const QString& text)
    : m_dialog(text, QObject::tr("Cancel"), 0, 100, parent) {
    m_dialog.setObjectName(QStringLiteral("SaveProgressDlg"));
    m_dialog.setWindowModality(Qt::WindowModal);
    m_dialog.setMinimumDuration(500);
    m_dialog.setAutoReset(false);
    m_report = [this](int percent) {
        m_dialog.setValue(percent);
        return !m_dialog.wasCanceled();
    };
}

} // namespace varrow
