#include "FloatSpinEdit.h"

#include <QLineEdit>

namespace varrow {

namespace {
// What the spin edit keeps; QDoubleSpinBox rounds every value to its decimals.
constexpr int KeptDecimals = 6;
} // namespace

TFloatSpinEdit::TFloatSpinEdit(QWidget* parent) : QDoubleSpinBox(parent) {
    setDecimals(KeptDecimals);
    setGroupSeparatorShown(true);
}

void TFloatSpinEdit::SetShownDecimals(int decimals) {
    m_shownDecimals = decimals;
    lineEdit()->setText(textFromValue(value()));
}

QString TFloatSpinEdit::textFromValue(double value) const {
    QLocale l = locale();
    l.setNumberOptions(l.numberOptions() & ~QLocale::OmitGroupSeparator);
    return l.toString(value, 'f', m_shownDecimals);
}

} // namespace varrow
