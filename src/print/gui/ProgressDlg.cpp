#include "ProgressDlg.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace varrow {

TProgressDlg::TProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("ProgressDlg"));
    setWindowTitle(tr("Printing Maps"));
    setWindowModality(Qt::ApplicationModal);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    CancelBtn = new QPushButton(tr("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    connect(CancelBtn, &QPushButton::clicked, this, &TProgressDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ProgressBar1);
    layout->addLayout(buttons);
    setFixedSize(260, 80);
}

void TProgressDlg::ShowProgress(const QString& caption) {
    setWindowTitle(caption);
    m_cancelled = false;
    ProgressBar1->setValue(0);
    // Qt centres a dialog over its parent, the print layout window, itself centred on the screen.
    show();
    repaint();
    QCoreApplication::processEvents();
}

bool TProgressDlg::SetProgress(int percent) {
    ProgressBar1->setValue(percent);
    ProgressBar1->repaint();
    QCoreApplication::processEvents();
    return !m_cancelled;
}

void TProgressDlg::reject() {
    // Printing stops at the next page; the window goes when the printing has ended.
    m_cancelled = true;
}

} // namespace varrow
