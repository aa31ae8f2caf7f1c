#pragma once

// "Printing Maps": a small window with a bar from 0 to 100 and Cancel, shown while the pages
// are printed. It blocks the other windows so nothing changes the pages being printed.

#include <QDialog>

class QProgressBar;
class QPushButton;

namespace varrow {

class TProgressDlg : public QDialog {
    Q_OBJECT
public:
    explicit TProgressDlg(QWidget* parent = nullptr);

    // Caption, bar at 0, shown at once without waiting for it.
    void ShowProgress(const QString& caption);
    // Bar at percent, shown at once; lets a click on Cancel through. False once cancelled.
    bool SetProgress(int percent);
    bool Cancelled() const { return m_cancelled; }

    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* CancelBtn = nullptr;

protected:
    void reject() override; // Escape and Cancel

private:
    bool m_cancelled = false;
};

} // namespace varrow
