// What the main window asks of the desktop: message boxes, the beep, the folder pickers, the
// shell's open action and the state of the Escape key. One interface, so the window runs the
// same against the real desktop and against a recording double in the tests.
#pragma once

#include "../form/Box.h"

#include <QString>

#include <functional>

class QWidget;

namespace quellmark {

class WindowPlatform {
public:
    using BoxKind = quellmark::BoxKind;
    using Buttons = quellmark::Buttons;
    using Answer = quellmark::Answer;

    virtual ~WindowPlatform() = default;

    // A modal box; an empty title stands for the usual caption of the kind.
    virtual Answer MessageBox(QWidget* parent, const QString& title, const QString& text, BoxKind kind,
                              Buttons buttons) = 0;
    virtual void Beep() = 0;
    // A folder the user chose, starting at startFolder, ending with "/"; empty when cancelled.
    virtual QString ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder) = 0;
    // Opens the file with the application the desktop associates with it. When there is none,
    // noApplication runs on the window's thread, now or later.
    virtual void OpenWithShell(const QString& path, std::function<void()> noApplication) = 0;
    // Whether the Escape key is held down at this moment, or was pressed since the last call.
    virtual bool EscapeDown() = 0;
};

}  // namespace quellmark
