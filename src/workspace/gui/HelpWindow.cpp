#include "HelpWindow.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

// The help pages are compiled into the GUI library, a static library whose
// resource initialiser is not linked in unless something refers to it.
static void InitHelpResources() {
    Q_INIT_RESOURCE(varrow);
}

namespace varrow {

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    InitHelpResources();
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(tr("Varrow Help"));
    resize(640, 560);

    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("HelpBrowser"));
    m_browser->setSearchPaths({QStringLiteral(":/help")});
    m_browser->setOpenExternalLinks(true);
    // The page's own title; the system adds the program's name.
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = m_browser->documentTitle();
        setWindowTitle(title.isEmpty() ? tr("Varrow Help") : title);
    });

    auto* back = new QPushButton(tr("Back"), this);
    auto* forward = new QPushButton(tr("Forward"), this);
    auto* contents = new QPushButton(tr("Contents"), this);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(contents, &QPushButton::clicked, this, &THelpWindow::ShowContents);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addWidget(contents);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser);
}

void THelpWindow::ShowPage(const QString& page, QWidget* over) {
    m_browser->setSource(QUrl(QStringLiteral("qrc:/help/") + page));
    const bool onTop = over != nullptr && over->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) != onTop)
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    show();
    raise();
    activateWindow();
}

void THelpWindow::ShowTopic(int topic, QWidget* over) {
    ShowPage(QStringLiteral("topic%1.html").arg(topic), over);
}

} // namespace varrow
