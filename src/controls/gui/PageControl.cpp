#include "PageControl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

namespace varrow {

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent) {
    setTabBar(new TPageTabBar(this));
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        const bool byUser = m_userChange && index != m_lastIndex;
        m_lastIndex = index;
        if (byUser) emit userChanged(index);
    });
}

bool TPageControl::TryUserChange(int newIndex, const std::function<void()>& change) {
    if (newIndex >= 0 && newIndex != currentIndex() && OnChanging && !OnChanging(newIndex))
        return false;
    m_lastIndex = currentIndex();
    m_userChange = true;
    change();
    m_userChange = false;
    return true;
}

void TPageControl::keyPressEvent(QKeyEvent* event) {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    int step = 0;
    if (ctrl && (event->key() == Qt::Key_Tab || event->key() == Qt::Key_PageDown))
        step = 1;
    else if (ctrl && (event->key() == Qt::Key_Backtab || event->key() == Qt::Key_PageUp))
        step = -1;
    if (event->key() == Qt::Key_Tab && event->modifiers() & Qt::ShiftModifier) step = -step;
    if (step == 0) {
        QTabWidget::keyPressEvent(event);
        return;
    }
    auto* bar = static_cast<TPageTabBar*>(tabBar());
    if (!TryUserChange(bar->Neighbour(step, true), [&] { QTabWidget::keyPressEvent(event); }))
        event->accept();
}

TPageTabBar::TPageTabBar(TPageControl* control) : QTabBar(control), m_control(control) {}

int TPageTabBar::Neighbour(int step, bool wrap) const {
    const int n = count();
    int i = currentIndex();
    for (int k = 0; k < n; ++k) {
        i += step;
        if (wrap)
            i = (i + n) % n;
        else if (i < 0 || i >= n)
            return -1;
        if (isTabEnabled(i)) return i == currentIndex() ? -1 : i;
    }
    return -1;
}

bool TPageTabBar::event(QEvent* event) {
    int target = -2; // -2: the event cannot change the page
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) target = tabAt(mouse->position().toPoint());
        break;
    }
    case QEvent::Wheel: {
        const QPoint delta = static_cast<QWheelEvent*>(event)->angleDelta();
        const int d = delta.y() != 0 ? delta.y() : delta.x();
        if (d != 0) target = Neighbour(d > 0 ? -1 : 1, false);
        break;
    }
    case QEvent::KeyPress:
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Left:
        case Qt::Key_Up:
            target = Neighbour(-1, false);
            break;
        case Qt::Key_Right:
        case Qt::Key_Down:
            target = Neighbour(1, false);
            break;
        case Qt::Key_Home:
            target = count() > 0 ? 0 : -1;
            break;
        case Qt::Key_End:
            target = count() - 1;
            break;
        default:
            break;
        }
        break;
    default:
        break;
    }
    if (target == -2) return QTabBar::event(event);
    bool handled = false;
    if (!m_control->TryUserChange(target, [&] { handled = QTabBar::event(event); })) {
        event->accept();
        return true;
    }
    return handled;
}

} // namespace varrow
