#pragma once

// The window's progress for a long write (a save, a copy, an export): shown
// after half a second, with a Cancel button that the write hears between rows.

#include "io/SaveProgress.h"

#include <QProgressDialog>

namespace varrow {

class TSaveProgressDlg {
public:
    TSaveProgressDlg(QWidget* parent, const QString& text);
    // For the writer: sets the bar, false once the user cancelled.
    const TSaveProgress& Report() const { return m_report; }
    void Done() { m_dialog.reset(); }

private:
    QProgressDialog m_dialog;
    TSaveProgress m_report;
};

} // namespace varrow
