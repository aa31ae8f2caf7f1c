#pragma once

// A floating-point spin edit that shows its value with fewer decimals than it
// keeps: positions are shown in whole metres with thousands separators but
// must not lose the fraction a computed position carries.

#include <QDoubleSpinBox>

namespace varrow {

class TFloatSpinEdit : public QDoubleSpinBox {
    Q_OBJECT
public:
    explicit TFloatSpinEdit(QWidget* parent = nullptr);

    void SetShownDecimals(int decimals);
    int ShownDecimals() const { return m_shownDecimals; }

    QString textFromValue(double value) const override;

private:
    int m_shownDecimals = 0;
};

} // namespace varrow
