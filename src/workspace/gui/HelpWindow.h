#pragma once

// The program's own help: HTML pages built into the program, shown in a
// small browser window with back, forward and contents buttons.

#include <QWidget>

class QTextBrowser;

namespace varrow {

class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* parent = nullptr);

    // "contents.html", "topic1.html" ... as shipped in the help pages. Opened
    // from a window that stays on top of the others (over), the help stays
    // on top too, or it would open hidden behind that window.
    void ShowPage(const QString& page, QWidget* over = nullptr);
    void ShowContents() { ShowPage(QStringLiteral("contents.html")); }
    // Topics 1 to 3, the pages the dialogs open.
    void ShowTopic(int topic, QWidget* over = nullptr);

    QTextBrowser* Browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
};

} // namespace varrow
