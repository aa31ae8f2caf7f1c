// varrow: the map builder's window. It takes no command-line arguments; the
// tile service address comes from VARROW_TILE_SERVICE, Varrow.ini or the
// built-in default.

#include "workspace/gui/MainWindow.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Varrow"));
    QApplication::setApplicationDisplayName(QStringLiteral("Varrow"));
    QApplication::setApplicationVersion(QStringLiteral(VARROW_VERSION));
    varrow::TForm1 form;
    form.show();
    return QApplication::exec();
}
