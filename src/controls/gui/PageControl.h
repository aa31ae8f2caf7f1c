#pragma once

// A page control whose page change the owner can refuse before anything
// shows: QTabWidget switches first and tells afterwards, which would flash the
// refused page. User changes (mouse, wheel, keys) are asked about first;
// changes the program makes with setCurrentIndex are never asked about and
// are not reported as user changes.

#include <QTabBar>
#include <QTabWidget>

#include <functional>

namespace varrow {

class TPageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit TPageControl(QWidget* parent = nullptr);

    // Asked before the user switches to newIndex; false keeps the page.
    std::function<bool(int newIndex)> OnChanging;

    // Runs change through the veto; true when the change went ahead.
    bool TryUserChange(int newIndex, const std::function<void()>& change);

signals:
    // The user switched to index (after OnChanging agreed).
    void userChanged(int index);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_userChange = false;
    int m_lastIndex = -1;
};

// The page control's tab bar: asks its control before a click, wheel or key
// may change the page.
class TPageTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit TPageTabBar(TPageControl* control);

protected:
    bool event(QEvent* event) override;

private:
    // The enabled tab step places away from the current one, or -1.
    int Neighbour(int step, bool wrap) const;

    TPageControl* m_control;
    friend class TPageControl;
};

} // namespace varrow
