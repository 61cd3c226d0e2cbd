// The desktop as Qt offers it: QMessageBox, QApplication::beep, QFileDialog as folder picker,
// the desktop's opener for files, and the Escape key's state followed through key events; and
// Qt's own Japanese translations for the standard dialogs.
#pragma once

#include "WindowPlatform.h"

#include <QObject>

namespace quellmark {

class QtWindowPlatform final : public QObject, public WindowPlatform {
public:
    QtWindowPlatform();
    ~QtWindowPlatform() override;

    Answer MessageBox(QWidget* parent, const QString& title, const QString& text, BoxKind kind,
                      Buttons buttons) override;
    void Beep() override;
    QString ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder) override;
    void OpenWithShell(const QString& path, std::function<void()> noApplication) override;
    bool EscapeDown() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool escapeDown_ = false;
    bool escapePressed_ = false;  // pressed since EscapeDown was last asked
};

// Loads Qt's Japanese translations, so its standard dialogs and buttons speak the window's
// language whatever the system's; false when they are not installed.
bool InstallQtTranslations();

}  // namespace quellmark
