// The desktop as Qt offers it: QMessageBox, QApplication::beep, QFileDialog as folder picker,
// QDesktopServices for opening files, and the Escape key's state followed through key events.
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
    void OpenWithShell(const QString& path) override;
    bool EscapeDown() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool escapeDown_ = false;
};

}  // namespace quellmark
