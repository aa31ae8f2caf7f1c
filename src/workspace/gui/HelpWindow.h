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

    // "contents.html", "topic1.html" ... as shipped in the help pages.
    void ShowPage(const QString& page);
    void ShowContents() { ShowPage(QStringLiteral("contents.html")); }
    // Topics 1 to 3, the pages the dialogs open.
    void ShowTopic(int topic);

    QTextBrowser* Browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
};

} // namespace varrow
