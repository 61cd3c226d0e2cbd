// The desktop as Qt offers it, behind the form's FormDesktop: QMessageBox, QApplication::beep,
// QFileDialog as folder picker, xdg-open for files, and the Escape key's state followed through
// key events; and Qt's own Japanese translations for the standard dialogs.
#pragma once

#include "../form/FormDesktop.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <utility>
#include <vector>

class QDialog;

namespace quellmark {

class QtWindowPlatform final : public QObject, public FormDesktop {
public:
    QtWindowPlatform();
    ~QtWindowPlatform() override;

    // The window the boxes and pickers belong to.
    void SetOwner(QWidget* owner) { owner_ = owner; }

    void Beep() override;
    Answer MessageBox(const std::string& title, const std::string& text, BoxKind kind, Buttons buttons) override;
    void DismissBox() override;
    std::string ChooseFolder(const std::string& title, const std::string& start) override;
    void OpenWithShell(const std::filesystem::path& file, std::function<void(OpenProblem)> failed) override;
    bool EscapeDown() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> owner_;
    // The boxes up, the innermost last, each with whether it was taken away.
    std::vector<std::pair<QDialog*, bool>> boxes_;
    bool escapeDown_ = false;
};

// Loads Qt's Japanese translations, so its standard dialogs and buttons speak the window's
// language whatever the system's; false when they are not installed.
bool InstallQtTranslations();

}  // namespace quellmark
