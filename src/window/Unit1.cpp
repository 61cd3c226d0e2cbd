// TForm1's components and layout, the routing of widget events to the form, and the view's
// side of the desktop, the status bar and the window's layout. While a search or a batch runs,
// its commands are disabled and 中止 stops it.
#include "Unit1.h"

#include "../form/FormSettings.h"
#include "../form/WindowDesign.h"
#include "../form/WindowTexts.h"
#include "AccessibleViews.h"
#include "EventHook.h"
#include "FileRowsModel.h"
#include "PreviewWidget.h"
#include "QtText.h"
#include "WindowPaths.h"

#include <QActionGroup>
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
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

// The window's resources live in its static library, which the linker would otherwise leave out.
static void InitWindowResources() { Q_INIT_RESOURCE(window); }

namespace quellmark {

namespace {

constexpr int kFormFontPixels = design::kFormFontPixels;
constexpr int kGridFontPixels = design::kListFontPixels;
constexpr int kButton4FontPixels = design::kConvertFontPixels;

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

bool IsLeftRelease(const QEvent* event) {
    return event->type() == QEvent::MouseButtonRelease &&
           static_cast<const QMouseEvent*>(event)->button() == Qt::LeftButton;
}

// The rectangle as the placement rules take it.
ScreenRect ToScreenRect(const QRect& rect) { return {rect.x(), rect.y(), rect.width(), rect.height()}; }

void Place(QWidget* widget, const design::Rect& r) { widget->setGeometry(r.left, r.top, r.width, r.height); }

// The program's icon: the drawing the packages install, or the same picture as the Windows
// program's where Qt cannot draw SVG.
QIcon ProgramIcon() {
    QIcon icon(QStringLiteral(":/quellmark/quellmark.svg"));
    if (icon.availableSizes().isEmpty() && icon.pixmap(32).isNull())
        icon = QIcon(QStringLiteral(":/quellmark/quellmark.ico"));
    return icon;
}

}  // namespace

TForm1::TForm1(FormDesktop& desktop, const QString& appDir, FileSystem& fileSystem, QWidget* parent)
    : QMainWindow(parent), form_(*this, desktop, fileSystem, ToPath(appDir)) {
    CreateComponents();
    CreateMenu();
    ConnectEvents();
    ConnectAccessibility();
}

TForm1::~TForm1() {
    // The widgets are destroyed after this object's own part: nothing they do meanwhile may
    // reach its handlers.
    qDeleteAll(findChildren<EventHook*>(Qt::FindDirectChildrenOnly));
    for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
}

void TForm1::CreateComponents() {
    setWindowTitle(QString::fromUtf8(texts::kCaption));
    InitWindowResources();
    setWindowIcon(ProgramIcon());
    setFont(FormFont(kFormFontPixels));
    const FormSettings design;
    setGeometry(design.left, design.top, design.width, design.height);
    setMinimumSize(design::kSmallestWidth, design::kSmallestHeight);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(design::kSplitterWidth);
    Splitter1->setChildrenCollapsible(false);
    setCentralWidget(Splitter1);

    Panel1 = new QWidget;
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto* left = new QVBoxLayout(Panel1);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    Panel2 = new QWidget;
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedHeight(design::kSearchFieldHeight);
    left->addWidget(Panel2);
    Edit1 = new QLineEdit(Panel2);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(0, 0, 161, design::kSearchFieldHeight);
    Edit1->setPlaceholderText(QString::fromUtf8(texts::kSearchFolderPlaceholder));
    Edit1->setFocusPolicy(Qt::StrongFocus);
    TreeView1 = new FolderTreeWidget;
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setColumnCount(1);
    TreeView1->setHeaderHidden(true);
    TreeView1->setIndentation(design::kTreeIndent);
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
    Panel4->setFixedHeight(design::kTopPaneHeight);
    right->addWidget(Panel4);
    Label1 = new QLabel(QString::fromUtf8(texts::kFileTypeLabel), Panel4);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(QString::fromUtf8(texts::kDestFolderLabel), Panel4);
    Label2->setObjectName(QStringLiteral("Label2"));
    ComboBox1 = new QComboBox(Panel4);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    for (const char* item : texts::kFileTypeItems) ComboBox1->addItem(QString::fromUtf8(item));
    ComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    Edit2 = new QLineEdit(Panel4);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Button3 = new QPushButton(QString::fromUtf8(texts::kBrowseButton), Panel4);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->setToolTip(QString::fromUtf8(texts::kBrowseTip));
    Button4 = new QPushButton(QString::fromUtf8(texts::kConvertButton), Panel4);
    Button4->setObjectName(QStringLiteral("Button4"));
    Button4->setFont(FormFont(kButton4FontPixels));
    Button4->setToolTip(QString::fromUtf8(texts::kConvertTip));
    design::TopPaneMeasures measures;
    measures.label1 = Label1->fontMetrics().horizontalAdvance(Label1->text());
    measures.label2 = Label2->fontMetrics().horizontalAdvance(Label2->text());
    measures.labelHeight = Label1->sizeHint().height();
    measures.typeBox = ComboBox1->sizeHint().width();
    measures.browse = Button3->sizeHint().width();
    const design::TopPane pane = design::LayOutTopPane(measures);
    Place(Label1, pane.label1);
    Place(Label2, pane.label2);
    Place(ComboBox1, pane.typeBox);
    Place(Edit2, pane.destField);
    Place(Button3, pane.browse);
    Place(Button4, pane.convert);

    StringGrid1 = new FileTableView;
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    rows_ = new FileRowsModel(form_, StringGrid1);
    StringGrid1->setModel(rows_);
    StringGrid1->setFont(GridFont());
    StringGrid1->setShowGrid(false);
    StringGrid1->setWordWrap(false);
    // A name or memo too long for its column ends in "…" rather than in half a character.
    StringGrid1->setTextElideMode(Qt::ElideRight);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Ctrl+click adds or takes away one row, Shift+click selects a range, as in every list.
    StringGrid1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Tab leaves the list instead of moving from cell to cell.
    StringGrid1->setTabKeyNavigation(false);
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
    Splitter2 = new QSplitter(Qt::Vertical);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setHandleWidth(design::kSplitterWidth);
    Splitter2->setChildrenCollapsible(false);
    Splitter2->addWidget(StringGrid1);
    Preview = new PreviewWidget(form_.Pane());
    Preview->hide();  // until the settings say it shows
    Splitter2->addWidget(Preview);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
    right->addWidget(Splitter2, 1);
    Splitter1->addWidget(Panel3);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({design.panel1Width, design.width - design.panel1Width - Splitter1->handleWidth()});

    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(design::kStatusHeight);
    statusLabel_ = NewStatusLabel();
    StatusBar1->addWidget(statusLabel_, 1);
    ProgressBar1 = new QProgressBar;
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setFixedWidth(design::kProgressWidth);
    ProgressBar1->setFormat(QStringLiteral("%v / %m"));
    ProgressBar1->hide();
    StatusBar1->addPermanentWidget(ProgressBar1);
    ButtonStop = new QPushButton(QString::fromUtf8(texts::kStopButton));
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
    // One of the four is the file type: a radio group.
    auto* types = new QActionGroup(MnuFileType);
    types->setExclusive(true);
    for (QAction* type : {MnuFileType0, MnuFileType1, MnuFileType2, MnuFileType3}) {
        type->setCheckable(true);
        types->addAction(type);
    }
    MnuFileSave = MnuFile->addAction(QString::fromUtf8(texts::kMenuDestFolder));
    MnuFileSave->setObjectName(QStringLiteral("MnuFileSave"));
    // Convert from the menu too, with a key of its own, for those who never reach the button.
    MnuConvert = MnuFile->addAction(QString::fromUtf8(texts::kMenuConvert));
    MnuConvert->setObjectName(QStringLiteral("MnuConvert"));
    MnuConvert->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
    MnuFile->addSeparator();
    MnuExit = MnuFile->addAction(QString::fromUtf8(texts::kMenuExit));
    MnuExit->setObjectName(QStringLiteral("MnuExit"));
    MnuView = MainMenu1->addMenu(QString::fromUtf8(texts::kMenuView));
    MnuView->setObjectName(QStringLiteral("MnuView"));
    MnuViewPreview = MnuView->addAction(QString::fromUtf8(texts::kMenuPreview));
    MnuViewPreview->setObjectName(QStringLiteral("MnuViewPreview"));
    MnuViewPreview->setCheckable(true);
    MnuViewPreview->setShortcut(QKeySequence(Qt::Key_F3));
    connect(MnuViewPreview, &QAction::triggered, this, [this] { form_.TogglePreview(); });
    // F5 lists the listed folder again, as every file manager does.
    auto* refresh = new QAction(this);
    refresh->setShortcut(QKeySequence(Qt::Key_F5));
    addAction(refresh);
    connect(refresh, &QAction::triggered, this, [this] { form_.Refresh(); });
    QMenu* help = MainMenu1->addMenu(QString::fromUtf8(texts::kMenuHelp));
    help->setObjectName(QStringLiteral("MnuHelp"));
    QAction* about = help->addAction(QString::fromUtf8(texts::kMenuAbout));
    about->setObjectName(QStringLiteral("MnuAbout"));
    about->setShortcut(QKeySequence(Qt::Key_F1));
    connect(about, &QAction::triggered, this, [this] { form_.About(); });
}

void TForm1::ConnectEvents() {
    connect(MnuFileSFolder, &QAction::triggered, this, &TForm1::MnuFileSFolderClick);
    connect(MnuFileType0, &QAction::triggered, this, &TForm1::MnuFileType0Click);
    connect(MnuFileType1, &QAction::triggered, this, &TForm1::MnuFileType1Click);
    connect(MnuFileType2, &QAction::triggered, this, &TForm1::MnuFileType2Click);
    connect(MnuFileType3, &QAction::triggered, this, &TForm1::MnuFileType3Click);
    connect(MnuFileSave, &QAction::triggered, this, &TForm1::Button3Click);
    connect(MnuConvert, &QAction::triggered, this, &TForm1::Button4Click);
    connect(MnuExit, &QAction::triggered, this, &TForm1::MnuExitClick);
    connect(ComboBox1, &QComboBox::activated, this, &TForm1::ComboBox1Change);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(ButtonStop, &QPushButton::clicked, this, &TForm1::ButtonStopClick);
    connect(StringGrid1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { form_.CurrentRowChanged(); });

    // Each widget is watched once, by a hook of its own, so each click reaches one handler.
    // The folder fields are edits: a folder typed or pasted is taken with Enter.
    new EventHook(Edit1, this, [this](QObject*, QEvent* event) {
        if (IsLeftRelease(event)) form_.SearchFieldClicked(ToUtf8(Edit1->text()));
        return false;
    });
    connect(Edit1, &QLineEdit::returnPressed, this, [this] { form_.SearchFolderEntered(ToUtf8(Edit1->text())); });
    connect(Edit2, &QLineEdit::returnPressed, this, [this] { form_.DestFolderEntered(ToUtf8(Edit2->text())); });
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
    // Escape in the window is a command of the form's (an Escape that closes a menu or a box
    // is theirs); the window answers everything else while a folder search runs.
    new EventHook(qApp, this, [this](QObject* watched, QEvent* event) {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
            !static_cast<QKeyEvent*>(event)->isAutoRepeat() && !QApplication::activeModalWidget() &&
            !QApplication::activePopupWidget()) {
            const auto* widget = qobject_cast<QWidget*>(watched);
            if (widget && widget->window() == this) form_.EscapePressed();
        }
        return false;
    });
    ConnectTree();
    ConnectDrops();
    ConnectColumns();
}

void TForm1::ConnectAccessibility() {
    // Each control says what it is: the labels are tied to their fields (and give them their
    // names), the others are named for themselves.
    Label1->setBuddy(ComboBox1);
    Label2->setBuddy(Edit2);
    ComboBox1->setAccessibleName(QString::fromUtf8(texts::kFileTypeLabel));
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { TellBoxValue(ComboBox1); });
    TellBoxValue(ComboBox1);
    Edit2->setAccessibleName(QString::fromUtf8(texts::kDestFolderLabel));
    Edit1->setAccessibleName(QString::fromUtf8(texts::kSearchFolderName));
    Edit1->setAccessibleDescription(QString::fromUtf8(texts::kSearchFolderHint));
    TreeView1->setAccessibleName(QString::fromUtf8(texts::kTreeName));
    StringGrid1->setAccessibleName(QString::fromUtf8(texts::kListName));
    Button3->setAccessibleName(QString::fromUtf8(texts::kBrowseName));
    Button4->setAccessibleName(QString::fromUtf8(texts::kConvert));
    ButtonStop->setAccessibleName(QString::fromUtf8(texts::kStop));
    ProgressBar1->setAccessibleName(QString::fromUtf8(texts::kProgressName));
    // Tab goes from the left pane to the right, top to bottom, and leaves the list.
    setTabOrder(Edit1, TreeView1);
    setTabOrder(TreeView1, ComboBox1);
    setTabOrder(ComboBox1, Edit2);
    setTabOrder(Edit2, Button3);
    setTabOrder(Button3, Button4);
    setTabOrder(Button4, StringGrid1);
    setTabOrder(StringGrid1, Preview);
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    form_.Shown();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // The session ending closes without asking; the user's close box and Alt+F4 ask.
    const bool closing = event->spontaneous() && qApp->isSavingSession() ? form_.CloseForced() : form_.CloseRequested();
    if (closing) {
        event->accept();
    } else {
        event->ignore();
    }
}

void TForm1::Panel1Resize() { Edit1->resize(Panel1->contentsRect().width(), Edit1->height()); }

// ---- handlers ----

void TForm1::MnuFileSFolderClick() { form_.ChooseSearchFolder(); }
void TForm1::Button3Click() { form_.ChooseDestFolder(); }
void TForm1::Button4Click() { form_.Convert(); }
void TForm1::MnuExitClick() { form_.Exit(); }

void TForm1::ButtonStopClick() {
    if (!Converting() && form_.Activity() != FormActivity::Searching) return;
    ButtonStop->setEnabled(false);
    form_.Stop();
}

void TForm1::EnableCommands(bool enabled) {
    for (QAction* type : {MnuFileType0, MnuFileType1, MnuFileType2, MnuFileType3}) type->setEnabled(enabled);
    for (QAction* action : {MnuFileSFolder, MnuFileSave, MnuConvert, MnuExit}) {
        action->setEnabled(enabled);
    }
    for (QWidget* widget :
         {static_cast<QWidget*>(Edit1), static_cast<QWidget*>(TreeView1), static_cast<QWidget*>(ComboBox1),
          static_cast<QWidget*>(Button3), static_cast<QWidget*>(Button4)}) {
        widget->setEnabled(enabled);
    }
}

QString TForm1::StatusText() const { return statusLabel_->text(); }

QString TForm1::TempFolder() const { return WithTrailingSlash(FromPath(form_.TempFolder())); }

// ---- FormView: the desktop ----

void TForm1::Breathe() { QCoreApplication::processEvents(); }

void TForm1::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(
        this, [call = std::move(call)] { call(); }, Qt::QueuedConnection);
}

std::vector<ScreenRect> TForm1::Screens() {
    std::vector<ScreenRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(ToScreenRect(screen->availableGeometry()));
    return screens;
}

FrameMargins TForm1::Frame() {
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    // Before the window is first shown its frame is not known yet: room for a title bar is kept.
    if (outer == inner) return {0, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this), 0, 0};
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

void TForm1::CloseWindow() { close(); }

// ---- FormView: what it shows ----

void TForm1::ShowStatus(const std::string& text, bool announce) {
    ShowStatusText(statusLabel_, FromUtf8(text), announce);
    StatusBar1->repaint();
}

void TForm1::ShowSearchFolder(const std::string& folder) { Edit1->setText(FromUtf8(folder)); }

void TForm1::ShowDestFolder(const std::string& folder) { Edit2->setText(FromUtf8(folder)); }

std::string TForm1::DestFieldText() { return ToUtf8(Edit2->text()); }

void TForm1::ShowFileType(int type) {
    const int index = type >= 0 && type < ComboBox1->count() ? type : -1;
    ComboBox1->setCurrentIndex(index);
    const QList<QAction*> types = {MnuFileType0, MnuFileType1, MnuFileType2, MnuFileType3};
    for (int i = 0; i < types.size(); ++i) types[i]->setChecked(i == index);
}

void TForm1::ShowActivity(FormActivity activity) {
    const design::Commands on = design::CommandsOf(activity);
    EnableCommands(on.commands);
    TreeView1->setEnabled(on.tree);
    ProgressBar1->setVisible(on.batch);
    ButtonStop->setVisible(on.stop);
    ButtonStop->setEnabled(on.stop);
}

QWidget* TForm1::Control(FormControl control) const {
    switch (control) {
        case FormControl::SearchField: return Edit1;
        case FormControl::Tree: return TreeView1;
        case FormControl::TypeBox: return ComboBox1;
        case FormControl::DestField: return Edit2;
        case FormControl::Browse: return Button3;
        case FormControl::Convert: return Button4;
        case FormControl::List: return StringGrid1;
        case FormControl::Stop: return ButtonStop;
        case FormControl::None: break;
    }
    return nullptr;
}

FormControl TForm1::FocusedControl() {
    const QWidget* focused = QApplication::focusWidget();
    for (FormControl control : kFormControls) {
        const QWidget* widget = Control(control);
        if (focused && (focused == widget || widget->isAncestorOf(focused))) return control;
    }
    return FormControl::None;
}

void TForm1::Focus(FormControl control) {
    QWidget* widget = Control(control);
    if (widget && widget->isEnabled() && widget->isVisible()) {
        // A tree taking the focus makes its first folder current: that lists nothing.
        quietTree_ = true;
        widget->setFocus(Qt::OtherFocusReason);
        quietTree_ = false;
    } else {
        setFocus(Qt::OtherFocusReason);  // the window's keys (Escape, the menu) still work
    }
}

void TForm1::ShowProgress(int done, int total) {
    ProgressBar1->setRange(0, total);
    ProgressBar1->setValue(done);
}

void TForm1::ApplyLayout(const FormLayout& layout) {
    setGeometry(layout.window.left, layout.window.top, layout.window.width, layout.window.height);
    if (layout.maximized) setWindowState(windowState() | Qt::WindowMaximized);
    // The splitter only knows its width once the window's layout has run.
    if (QMainWindow::layout()) QMainWindow::layout()->activate();
    Splitter1->setSizes(
        {layout.panel1Width, std::max(0, Splitter1->width() - layout.panel1Width - Splitter1->handleWidth())});
    ApplyColumnWidths(layout.columnWidths);
    previewHeight_ = layout.previewHeight;
    Splitter2->setSizes({std::max(0, Splitter2->height() - previewHeight_ - Splitter2->handleWidth()), previewHeight_});
}

FormLayout TForm1::CurrentLayout() {
    FormLayout layout;
    // The settings hold the window's own area, without the frame the window manager adds, as
    // that is what is set again at the next start: a frame counted in one way and not the
    // other would move the window by its size at every start.
    // A maximised window keeps the place it comes back to.
    layout.maximized = isMaximized();
    layout.window = ToScreenRect(layout.maximized ? normalGeometry() : geometry());
    layout.panel1Width = Panel1->width();
    for (int c = 0; c < kListColumns; ++c) layout.columnWidths[c] = StringGrid1->horizontalHeader()->sectionSize(c);
    // The memo column's own width, not what it took from the spare room of this window.
    layout.columnWidths[kMemoColumn] = memoFloor_;
    layout.previewHeight = Preview->isVisible() ? Preview->height() : previewHeight_;
    return layout;
}

void TForm1::ShowPreviewPane(bool shown) {
    MnuViewPreview->setChecked(shown);
    if (shown == Preview->isVisible()) return;
    if (!shown) {
        previewHeight_ = Preview->height();
        if (Preview->hasFocus()) StringGrid1->setFocus(Qt::OtherFocusReason);
    }
    Preview->setVisible(shown);
    if (shown) {
        Splitter2->setSizes(
            {std::max(0, Splitter2->height() - previewHeight_ - Splitter2->handleWidth()), previewHeight_});
    }
}

void TForm1::ShowPreview() { Preview->update(); }

}  // namespace quellmark
