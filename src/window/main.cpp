// Program start of the window: the application named after the product, the main window on the
// program's own folder, and the event loop until the window closes. No arguments are taken.
#include "QtPlatform.h"
#include "Unit1.h"
#include "../form/WindowTexts.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(quellmark::texts::kProductName));
    quellmark::InstallQtTranslations();
    quellmark::QtWindowPlatform platform;
    quellmark::TForm1 form(platform, QApplication::applicationDirPath() + QLatin1Char('/'), quellmark::RealFileSystem());
    form.show();
    return app.exec();
}
