// Program start of the window: its command line first (help and version need no display), then
// the application named after the product, the main window on the program's own folder and the
// folder it was given, and the event loop until the window closes.
#include "QtPlatform.h"
#include "Unit1.h"
#include "../form/WindowArguments.h"
#include "../form/WindowTexts.h"

#include <QApplication>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const quellmark::WindowStart start = quellmark::ReadWindowArguments(
        quellmark::RealFileSystem(), std::vector<std::string>(argv, argv + argc), QUELLMARK_VERSION);
    switch (start.action) {
        case quellmark::WindowStart::Action::Help:
        case quellmark::WindowStart::Action::Version:
            std::fputs(start.text.c_str(), stdout);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        case quellmark::WindowStart::Action::Refuse: std::fprintf(stderr, "%s\n", start.text.c_str()); return 2;
        case quellmark::WindowStart::Action::Open: break;
    }
    // Qt takes no arguments of its own here: every one was read above.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QString::fromUtf8(quellmark::texts::kProductName));
    quellmark::InstallQtTranslations();
    quellmark::QtWindowPlatform platform;
    quellmark::TForm1 form(platform, QApplication::applicationDirPath() + QLatin1Char('/'),
                           quellmark::RealFileSystem());
    platform.SetOwner(&form);
    form.Form().SetVersion(QUELLMARK_VERSION);
    if (!start.searchFolder.empty()) form.Form().SearchAtStart(start.searchFolder);
    form.show();
    return app.exec();
}
