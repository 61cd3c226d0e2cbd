// The Qt desktop behind FormDesktop. Qt cannot ask the keyboard for a key's state, so an
// application-wide event filter follows Escape's presses and releases; the window processes
// events before the form polls.
#include "QtPlatform.h"

#include "QtText.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTranslator>

#include <algorithm>
#include <memory>
#include <utility>

namespace quellmark {

namespace {

// A box taller than the screen helps nobody: past this many lines the rest goes to the details.
constexpr int kMaxBoxLines = 15;

QString CaptionOf(BoxKind kind) {
    switch (kind) {
        case BoxKind::Error: return QStringLiteral("エラー");
        case BoxKind::Information: return QStringLiteral("情報");
        case BoxKind::Confirmation: return QStringLiteral("確認");
        case BoxKind::Warning: return QStringLiteral("警告");
    }
    return {};
}

QMessageBox::Icon IconOf(BoxKind kind) {
    switch (kind) {
        case BoxKind::Error: return QMessageBox::Critical;
        case BoxKind::Information: return QMessageBox::Information;
        case BoxKind::Confirmation: return QMessageBox::Question;
        case BoxKind::Warning: return QMessageBox::Warning;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QtWindowPlatform::QtWindowPlatform() { qApp->installEventFilter(this); }

QtWindowPlatform::~QtWindowPlatform() {
    if (qApp) qApp->removeEventFilter(this);
}

Answer QtWindowPlatform::MessageBox(const std::string& titleText, const std::string& boxText, BoxKind kind,
                                    Buttons buttons) {
    QWidget* parent = owner_;
    const QString title = FromUtf8(titleText);
    const QString text = FromUtf8(boxText);
    QMessageBox box(IconOf(kind), title.isEmpty() ? CaptionOf(kind) : title, text, QMessageBox::NoButton, parent);
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() > kMaxBoxLines) {
        box.setText(lines.mid(0, kMaxBoxLines).join(QLatin1Char('\n')) + QStringLiteral("\n…"));
        box.setDetailedText(text);
    }
    // Japanese has no spaces to break at, so a wrapped line breaks inside a word: a line that
    // fits on the screen stays whole.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        const QFontMetrics metrics(label->font());
        int widest = 0;
        for (const QString& line : lines.mid(0, kMaxBoxLines))
            widest = std::max(widest, metrics.horizontalAdvance(line));
        const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
        // Qt wraps any text wider than half the screen; a label as wide as its widest line keeps
        // each line whole.
        if (!screen || widest <= screen->availableGeometry().width() * 3 / 4) label->setMinimumWidth(widest + 2);
    }
    // The buttons speak the window's language whatever translations Qt has installed.
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
        box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    boxes_.emplace_back(&box, false);
    const int answer = box.exec();
    const bool dismissed = boxes_.back().second;
    boxes_.pop_back();
    if (dismissed) return Answer::Closed;
    switch (answer) {
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        case QMessageBox::Ok: return Answer::Ok;
        default: return Answer::Closed;
    }
}

void QtWindowPlatform::DismissBox() {
    if (boxes_.empty() || boxes_.back().second) return;
    boxes_.back().second = true;
    boxes_.back().first->done(QDialog::Rejected);  // its exec returns when the window's thread gets back to it
}

void QtWindowPlatform::Beep() { QApplication::beep(); }

std::string QtWindowPlatform::ChooseFolder(const std::string& title, const std::string& start) {
    QString folder =
        QFileDialog::getExistingDirectory(owner_, FromUtf8(title), FromUtf8(start), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) return {};
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return ToUtf8(folder);
}

void QtWindowPlatform::OpenWithShell(const std::filesystem::path& file, std::function<void(OpenProblem)> failed) {
    const QString path = FromPath(file);
    // xdg-open's exit status 3 and 4 say no application took the file, 2 that it is gone.
    const auto noApplication = [failed](int status) {
        failed(status == 2                  ? OpenProblem::Gone
               : status == 3 || status == 4 ? OpenProblem::NoApplication
                                            : OpenProblem::Other);
    };
    // xdg-open says by its exit status whether an application took the file; Qt's own opener
    // only says whether xdg-open started. It may run as long as the application does.
    auto* opener = new QProcess(this);
    opener->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(opener, &QProcess::errorOccurred, opener, [opener, noApplication](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        noApplication(3);
        opener->deleteLater();
    });
    connect(opener, &QProcess::finished, opener, [opener, noApplication](int status, QProcess::ExitStatus exit) {
        if (exit != QProcess::NormalExit || status != 0) noApplication(exit == QProcess::NormalExit ? status : 1);
        opener->deleteLater();
    });
    opener->start(QStringLiteral("xdg-open"), {path});
}

bool QtWindowPlatform::EscapeDown() { return escapeDown_; }

bool QtWindowPlatform::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            auto* key = static_cast<QKeyEvent*>(event);
            // Escape inside a dialog belongs to the dialog, not to a running search.
            if (key->key() == Qt::Key_Escape && !key->isAutoRepeat() &&
                (event->type() == QEvent::KeyRelease || !QApplication::activeModalWidget())) {
                escapeDown_ = event->type() == QEvent::KeyPress;
            }
            break;
        }
        case QEvent::ApplicationDeactivate:
            // The release may go to another program.
            escapeDown_ = false;
            break;
        default: break;
    }
    return QObject::eventFilter(watched, event);
}

bool InstallQtTranslations() {
    // Qt's own folder of translations, or one beside the program where a package brings its own.
    const QString folders[] = {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                               QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
    for (const QString& folder : folders) {
        auto translator = std::make_unique<QTranslator>(qApp);
        if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                             folder)) {
            return QCoreApplication::installTranslator(translator.release());
        }
    }
    return false;
}

}  // namespace quellmark
