// TForm1's components and layout, its start-up and shut-down, and the routing of widget events
// to the handlers. While a search or a listing runs, the window takes no input but Escape; while
// a batch runs, its commands are disabled.
#include "Unit1.h"

#include "ConvertJob.h"
#include "EventHook.h"
#include "../form/FormSettings.h"
#include "../form/WindowPlacement.h"
#include "QtText.h"
#include "WindowPaths.h"
#include "WindowPlatform.h"
#include "../form/WindowTexts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace quellmark {

namespace {

constexpr int kFormFontPixels = 12;
constexpr int kGridFontPixels = 13;
constexpr int kButton4FontPixels = 19;

// The design's fonts, or the first of their stand-ins that this machine has: the IPA fonts
// share the MS fonts' metrics, Noto Sans CJK has the glyphs at least.
QFont FontOf(const QStringList& families, int pixels) {
    const QStringList installed = QFontDatabase::families();
    QStringList available;
    for (const QString& family : families) {
        if (installed.contains(family, Qt::CaseInsensitive)) available << family;
    }
    QFont font;
    font.setFamilies(available.isEmpty() ? families : available);
    font.setPixelSize(pixels);
    return font;
}

QFont FormFont(int pixels) {
    return FontOf({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                   QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"), QStringLiteral("Sans Serif")},
                  pixels);
}

// Fixed-pitch, so padded sizes line up.
QFont GridFont() {
    return FontOf({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"),
                   QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("VL Gothic"), QStringLiteral("Monospace")},
                  kGridFontPixels);
}

bool IsUserInput(const QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::Shortcut:
            return true;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            return static_cast<const QKeyEvent*>(event)->key() != Qt::Key_Escape;
        default:
            return false;
    }
}

bool IsLeftRelease(const QEvent* event) {
    return event->type() == QEvent::MouseButtonRelease &&
           static_cast<const QMouseEvent*>(event)->button() == Qt::LeftButton;
}

// The rectangle as the placement rules take it.
ScreenRect ToScreenRect(const QRect& rect) { return {rect.x(), rect.y(), rect.width(), rect.height()}; }

}  // namespace

TForm1::ActivityScope::ActivityScope(TForm1& form, Activity activity) : form_(form) {
    form_.activity_ = activity;
}

TForm1::ActivityScope::~ActivityScope() {
    form_.activity_ = Activity::Idle;
    if (form_.closeWhenIdle_) {
        form_.closeWhenIdle_ = false;
        QMetaObject::invokeMethod(&form_, [form = &form_] { form->close(); }, Qt::QueuedConnection);
    }
}

TForm1::TForm1(WindowPlatform& platform, const QString& appDir, FileSystem& fileSystem, QWidget* parent)
    : QMainWindow(parent), FAppDir(appDir), platform_(platform), context_(fileSystem) {
    CreateComponents();
    CreateMenu();
    ConnectEvents();
}

TForm1::~TForm1() {
    job_.reset();  // waits for a batch that is still running
    // The widgets are destroyed after this object's own part: nothing they do meanwhile may
    // reach its handlers.
    qDeleteAll(findChildren<EventHook*>(Qt::FindDirectChildrenOnly));
    for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
}

void TForm1::CreateComponents() {
    setWindowTitle(QString::fromUtf8(texts::kCaption));
    setWindowIcon(style()->standardIcon(QStyle::SP_DirIcon));
    setFont(FormFont(kFormFontPixels));
    const FormSettings design;
    setGeometry(design.left, design.top, design.width, design.height);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    setCentralWidget(Splitter1);

    Panel1 = new QWidget;
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto* left = new QVBoxLayout(Panel1);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    Panel2 = new QWidget;
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedHeight(19);
    left->addWidget(Panel2);
    Edit1 = new QLineEdit(Panel2);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(0, 0, 161, 20);
    Edit1->setReadOnly(true);
    Edit1->setFocusPolicy(Qt::NoFocus);
    TreeView1 = new QTreeWidget;
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setColumnCount(1);
    TreeView1->setHeaderHidden(true);
    TreeView1->setIndentation(19);
    TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    TreeView1->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    TreeView1->header()->setStretchLastSection(false);
    left->addWidget(TreeView1, 1);
    Splitter1->addWidget(Panel1);

    Panel3 = new QWidget;
    Panel3->setObjectName(QStringLiteral("Panel3"));
    auto* right = new QVBoxLayout(Panel3);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    Panel4 = new QWidget;
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Panel4->setFixedHeight(48);
    right->addWidget(Panel4);
    Label1 = new QLabel(QString::fromUtf8(texts::kFileTypeLabel), Panel4);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(4, 4);
    Label1->adjustSize();
    Label2 = new QLabel(QString::fromUtf8(texts::kDestFolderLabel), Panel4);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(4, 28);
    Label2->adjustSize();
    // The fields start at 88 as designed, further right when this machine's font draws the
    // labels wider, so the labels always show whole; everything right of them moves along.
    const int shift = std::max({0, Label1->geometry().right() + 3 - 88, Label2->geometry().right() + 3 - 88});
    ComboBox1 = new QComboBox(Panel4);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    for (const char* item : texts::kFileTypeItems) ComboBox1->addItem(QString::fromUtf8(item));
    // Wider than designed when the font needs it, so the longest item shows whole.
    ComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    ComboBox1->setGeometry(88 + shift, 0, std::max(105, ComboBox1->sizeHint().width()), 21);
    Edit2 = new QLineEdit(Panel4);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(88 + shift, 24, 273, 20);
    Edit2->setReadOnly(true);
    Button3 = new QPushButton(QString::fromUtf8(texts::kBrowse), Panel4);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->setGeometry(368 + shift, 24, 33, 22);
    Button4 = new QPushButton(QString::fromUtf8(texts::kConvert), Panel4);
    Button4->setObjectName(QStringLiteral("Button4"));
    Button4->setGeometry(std::max(408 + shift, ComboBox1->geometry().right() + 8), 2, 75, 44);
    Button4->setFont(FormFont(kButton4FontPixels));

    StringGrid1 = new QTableWidget(1, 6);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setFont(GridFont());
    StringGrid1->setShowGrid(false);
    StringGrid1->setWordWrap(false);
    // A name or memo too long for its column ends in "…" rather than in half a character.
    StringGrid1->setTextElideMode(Qt::ElideRight);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setDefaultSectionSize(QFontMetrics(StringGrid1->font()).height() + 2);
    QHeaderView* header = StringGrid1->horizontalHeader();
    header->setMinimumSectionSize(0);
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setTextElideMode(Qt::ElideNone);
    right->addWidget(StringGrid1, 1);
    Splitter1->addWidget(Panel3);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({design.panel1Width, design.width - design.panel1Width - Splitter1->handleWidth()});

    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(19);
    statusLabel_ = new QLabel;
    statusLabel_->setTextInteractionFlags(Qt::NoTextInteraction);
    StatusBar1->addWidget(statusLabel_, 1);
    ProgressBar1 = new QProgressBar;
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setFixedWidth(160);
    ProgressBar1->setFormat(QStringLiteral("%v / %m"));
    ProgressBar1->hide();
    StatusBar1->addPermanentWidget(ProgressBar1);
    ButtonStop = new QPushButton(QString::fromUtf8(texts::kStop));
    ButtonStop->setObjectName(QStringLiteral("ButtonStop"));
    ButtonStop->hide();
    StatusBar1->addPermanentWidget(ButtonStop);
}

void TForm1::CreateMenu() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    MnuFile = MainMenu1->addMenu(QString::fromUtf8(texts::kMenuFile));
    MnuFile->setObjectName(QStringLiteral("MnuFile"));
    MnuFileSFolder = MnuFile->addAction(QString::fromUtf8(texts::kMenuSearchFolder));
    MnuFileSFolder->setObjectName(QStringLiteral("MnuFileSFolder"));
    MnuFileType = MnuFile->addMenu(QString::fromUtf8(texts::kMenuFileType));
    MnuFileType->setObjectName(QStringLiteral("MnuFileType"));
    MnuFileType0 = MnuFileType->addAction(QString::fromUtf8(texts::kMenuFileType0));
    MnuFileType0->setObjectName(QStringLiteral("MnuFileType0"));
    MnuFileType1 = MnuFileType->addAction(QString::fromUtf8(texts::kMenuFileType1));
    MnuFileType1->setObjectName(QStringLiteral("MnuFileType1"));
    MnuFileType2 = MnuFileType->addAction(QString::fromUtf8(texts::kMenuFileType2));
    MnuFileType2->setObjectName(QStringLiteral("MnuFileType2"));
    MnuFileType3 = MnuFileType->addAction(QString::fromUtf8(texts::kMenuFileType3));
    MnuFileType3->setObjectName(QStringLiteral("MnuFileType3"));
    for (QAction* type : {MnuFileType0, MnuFileType1, MnuFileType2, MnuFileType3}) type->setCheckable(true);
    MnuFileSave = MnuFile->addAction(QString::fromUtf8(texts::kMenuDestFolder));
    MnuFileSave->setObjectName(QStringLiteral("MnuFileSave"));
    MnuFile->addSeparator();
    MnuExit = MnuFile->addAction(QString::fromUtf8(texts::kMenuExit));
    MnuExit->setObjectName(QStringLiteral("MnuExit"));
}

void TForm1::ConnectEvents() {
    connect(MnuFileSFolder, &QAction::triggered, this, &TForm1::MnuFileSFolderClick);
    connect(MnuFileType0, &QAction::triggered, this, &TForm1::MnuFileType0Click);
    connect(MnuFileType1, &QAction::triggered, this, &TForm1::MnuFileType1Click);
    connect(MnuFileType2, &QAction::triggered, this, &TForm1::MnuFileType2Click);
    connect(MnuFileType3, &QAction::triggered, this, &TForm1::MnuFileType3Click);
    connect(MnuFileSave, &QAction::triggered, this, &TForm1::Button3Click);
    connect(MnuExit, &QAction::triggered, this, &TForm1::MnuExitClick);
    connect(ComboBox1, &QComboBox::activated, this, &TForm1::ComboBox1Change);
    // The menu ticks the file type the combo box shows, whichever way it was chosen.
    connect(MnuFileType, &QMenu::aboutToShow, this, [this] {
        const QList<QAction*> types = {MnuFileType0, MnuFileType1, MnuFileType2, MnuFileType3};
        for (int i = 0; i < types.size(); ++i) types[i]->setChecked(i == ComboBox1->currentIndex());
    });
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(ButtonStop, &QPushButton::clicked, this, &TForm1::ButtonStopClick);
    connect(StringGrid1, &QTableWidget::cellDoubleClicked, this, &TForm1::StringGrid1DblClick);

    // Each widget is watched once, by a hook of its own, so each click reaches one handler.
    new EventHook(Edit1, this, [this](QObject*, QEvent* event) {
        if (IsLeftRelease(event)) MnuFileSFolderClick();
        return false;
    });
    new EventHook(Panel1, this, [this](QObject*, QEvent* event) {
        if (event->type() == QEvent::Resize) Panel1Resize();
        return false;
    });
    new EventHook(StringGrid1->horizontalHeader()->viewport(), this, [this](QObject*, QEvent* event) {
        if (event->type() == QEvent::MouseButtonPress) {
            const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
            StringGrid1MouseDown(at.x(), at.y());
        } else if (event->type() == QEvent::Paint) {
            StringGrid1DrawCell(1, 0);
        }
        return false;
    });
    // While the folder search runs, the window takes no input but Escape.
    new EventHook(qApp, this, [this](QObject* watched, QEvent* event) {
        if (activity_ != Activity::Searching || !IsUserInput(event)) return false;
        const auto* widget = qobject_cast<QWidget*>(watched);
        return event->type() == QEvent::Shortcut || (widget && widget->window() == this);
    });
    ConnectTree();
    ConnectDrops();
    ConnectColumns();
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (closed_) {
        event->accept();
        return;
    }
    switch (activity_) {
        case Activity::Converting:
            platform_.Beep();
            event->ignore();
            return;
        case Activity::Searching:
        case Activity::Listing:
            // Stop it first; the window closes once it has.
            if (activity_ == Activity::Searching) FSearchAborted = true;
            listingAborted_ = true;
            closeWhenIdle_ = true;
            event->ignore();
            return;
        case Activity::Idle:
            break;
    }
    FormClose();
    closed_ = true;
    event->accept();
}

void TForm1::FormShow() {
    FSearchReady = false;
    FListShown = false;
    FSortDescending = false;
    FSearchAborted = false;
    ComboBox1->setCurrentIndex(0);

    ClearJwwDocument(context_.jww);
    ClearJwsDocument(context_.jws);
    ClearImageList(context_.images);

    context_.images.TempFolder = ToPath(PrepareTempFolder(FAppDir));

    FSearchFolder = FAppDir;
    FDestFolder.clear();
    FLastFileName.clear();
    FIniPath = SettingsFilePath(FAppDir);

    FormSettings settings;
    settings.searchFolder = ToUtf8(FSearchFolder);
    ReadFormSettings(*context_.fs, ToPath(FIniPath), settings);
    ApplySettings(settings);
    SearchAgainAtStart(FromUtf8(settings.searchFolder));

    QStringList headers;
    for (const char* text : texts::kColumnHeaders) headers << QString::fromUtf8(text);
    StringGrid1->setHorizontalHeaderLabels(headers);

    Edit2->setText(FDestFolder);
    ShowStatus(QString::fromUtf8(texts::kSpecifySearchFolder));
}

void TForm1::FormClose() {
    DeleteTempImages(context_.images);
    // TEMP beside the program goes when the batches left it empty; the system's stays.
    if (context_.images.TempFolder == ToPath(FAppDir + QStringLiteral("TEMP/"))) {
        (void)context_.fs->removeDirectory(context_.images.TempFolder);
    }
    ClearImageList(context_.images);
    FreeJwwDocument(context_.jww);
    FreeJwsDocument(context_.jws);
    (void)WriteFormSettings(*context_.fs, ToPath(FIniPath), CurrentSettings());
}

void TForm1::ApplySettings(const FormSettings& s) {
    PlaceWindow(s);
    // The splitter only knows its width once the window's layout has run.
    if (layout()) layout()->activate();
    Splitter1->setSizes({s.panel1Width, std::max(0, Splitter1->width() - s.panel1Width - Splitter1->handleWidth())});
    ApplyColumnWidths(s);
    FSearchFolder = FromUtf8(s.searchFolder);
    // Drawings are written to this folder + name, so a folder written by hand without its "/"
    // gets it back here rather than sending files into its parent.
    FDestFolder = s.destFolder.empty() ? QString() : WithTrailingSlash(FromUtf8(s.destFolder));
    FLastFileName = FromUtf8(s.lastFileName);
    ComboBox1->setCurrentIndex(s.fileType >= 0 && s.fileType < ComboBox1->count() ? s.fileType : -1);
}

void TForm1::PlaceWindow(const FormSettings& s) {
    std::vector<ScreenRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) screens.push_back(ToScreenRect(screen->availableGeometry()));
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                   outer.bottom() - inner.bottom());
    // Before the window is first shown its frame is not known yet: room for a title bar is kept.
    if (outer == inner) frame = QMargins(0, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this), 0, 0);
    // The settings hold the window's own area, without the frame the window manager adds, as
    // that is what is set again at the next start: a frame counted in one way and not the
    // other would move the window by its size at every start.
    const ScreenRect placed = PlaceOnScreen({s.left, s.top, s.width, s.height},
                                            {frame.left(), frame.top(), frame.right(), frame.bottom()}, screens);
    setGeometry(placed.left, placed.top, placed.width, placed.height);
}

FormSettings TForm1::CurrentSettings() const {
    FormSettings s;
    s.left = geometry().x();
    s.top = geometry().y();
    s.width = geometry().width();
    s.height = geometry().height();
    s.panel1Width = Panel1->width();
    for (int c = 0; c < 6; ++c) s.columnWidths[c] = StringGrid1->horizontalHeader()->sectionSize(c);
    // The memo column's own width, not what it took from the spare room of this window.
    s.columnWidths[3] = memoFloor_;
    s.searchFolder = ToUtf8(FSearchFolder);
    s.destFolder = ToUtf8(FDestFolder);
    s.lastFileName = ToUtf8(FLastFileName);
    s.fileType = ComboBox1->currentIndex();
    return s;
}

void TForm1::Panel1Resize() { Edit1->resize(Panel1->contentsRect().width(), Edit1->height()); }

void TForm1::MnuExitClick() {
    if (Refused()) return;
    if (platform_.MessageBox(this, QString(), QString::fromUtf8(texts::kConfirmExit),
                             WindowPlatform::BoxKind::Confirmation,
                             WindowPlatform::Buttons::YesNo) == WindowPlatform::Answer::Yes) {
        close();
    }
}

bool TForm1::Refused() {
    if (activity_ == Activity::Idle) return false;
    platform_.Beep();
    return true;
}

bool TForm1::KeepResponsive() {
    QCoreApplication::processEvents();
    return platform_.EscapeDown();
}

void TForm1::EnableCommands(bool enabled) {
    for (QAction* action : {MnuFileSFolder, MnuFileType0, MnuFileType1, MnuFileType2, MnuFileType3, MnuFileSave, MnuExit}) {
        action->setEnabled(enabled);
    }
    for (QWidget* widget : {static_cast<QWidget*>(Edit1), static_cast<QWidget*>(TreeView1),
                            static_cast<QWidget*>(ComboBox1), static_cast<QWidget*>(Button3),
                            static_cast<QWidget*>(Button4)}) {
        widget->setEnabled(enabled);
    }
}

QString TForm1::StatusText() const { return statusLabel_->text(); }

void TForm1::ShowStatus(const QString& text) {
    statusLabel_->setText(text);
    StatusBar1->repaint();
}

QString TForm1::TempFolder() const { return FromPath(context_.images.TempFolder); }

}  // namespace quellmark
