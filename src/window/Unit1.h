// The main window TForm1, a Qt view of the main form: the search folder and its folder tree on
// the left, the file type, the destination folder, the Convert button and the file list on the
// right, the status bar below. It draws what the form (src/form/MainForm) says and hands it what
// the user did; its handlers carry the names of the events that run them. The form reaches the
// desktop itself, through the FormDesktop it is given.
#pragma once

#include "../form/MainForm.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTableView;
class QTreeWidget;
class QTreeWidgetItem;

namespace quellmark {

class FileRowsModel;
class PreviewWidget;

class TForm1 : public QMainWindow, private FormView {
    Q_OBJECT
public:
    // appDir is the program's folder with a trailing "/": the settings file and the temp
    // folder are found from it. Drawings, folders and settings go through fileSystem.
    TForm1(FormDesktop& desktop, const QString& appDir, FileSystem& fileSystem, QWidget* parent = nullptr);
    ~TForm1() override;

    // ---- components ----
    QMenuBar* MainMenu1;
    QMenu* MnuFile;
    QAction* MnuFileSFolder;
    QMenu* MnuFileType;
    QAction* MnuFileType0;
    QAction* MnuFileType1;
    QAction* MnuFileType2;
    QAction* MnuFileType3;
    QAction* MnuFileSave;
    QAction* MnuConvert;
    QAction* MnuExit;
    QMenu* MnuView;
    QAction* MnuViewPreview;  // shows or hides the preview pane (F3)
    QSplitter* Splitter1;
    QWidget* Panel1;
    QWidget* Panel2;
    QLineEdit* Edit1;
    QTreeWidget* TreeView1;
    QWidget* Panel3;
    QWidget* Panel4;
    QLabel* Label1;
    QComboBox* ComboBox1;
    QLabel* Label2;
    QLineEdit* Edit2;
    QPushButton* Button3;
    QPushButton* Button4;
    // The file list, a view of the form's rows. Its rows are numbered as the user sees them:
    // row 0 is the header (the table's horizontal header), rows 1..n are files, the model's
    // rows 0..n-1.
    QTableView* StringGrid1;
    // The file list and, below it, the preview of the current row's drawing.
    QSplitter* Splitter2;
    PreviewWidget* Preview;
    QStatusBar* StatusBar1;
    QProgressBar* ProgressBar1;
    QPushButton* ButtonStop;  // shown while a batch or a folder search runs

    // ---- event handlers: each hands the form what the user did ----
    void MnuFileSFolderClick();
    void TreeView1Click();
    void ComboBox1Change();
    void MnuFileType0Click();
    void MnuFileType1Click();
    void MnuFileType2Click();
    void MnuFileType3Click();
    void Button3Click();
    void Button4Click();
    void ButtonStopClick();
    void MnuExitClick();
    void Panel1Resize();
    // Re-pads the sizes when the header cell of column 1 (row 0) is painted.
    void StringGrid1DrawCell(int col, int row);
    // A press at (x, y) in the header row's coordinates: sorts by that column, or re-lists for
    // the "属性" column.
    void StringGrid1MouseDown(int x, int y);
    void StringGrid1DblClick();

    // ---- for the program around the window and its tests ----
    MainForm& Form() { return form_; }
    const MainForm& Form() const { return form_; }
    QString StatusText() const;
    // Text of a cell of the file list, by column and row (row 1 is the first file).
    QString Cell(int col, int row) const;
    int RowCount() const;  // header included, as the rows are numbered
    // The folder a node stands for, with a trailing "/"; empty for no node.
    QString NodePath(const QTreeWidgetItem* node) const;
    bool Busy() const { return form_.Busy(); }
    bool Converting() const { return form_.Activity() == FormActivity::Converting; }
    QString TempFolder() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // ---- FormView ----
    void Breathe() override;
    void Post(std::function<void()> call) override;
    std::vector<ScreenRect> Screens() override;
    FrameMargins Frame() override;
    void ShowStatus(const std::string& text, bool announce) override;
    void ShowSearchFolder(const std::string& folder) override;
    void ShowDestFolder(const std::string& folder) override;
    std::string DestFieldText() override;
    void ShowFileType(int type) override;
    void ShowActivity(FormActivity activity) override;
    FormControl FocusedControl() override;
    void Focus(FormControl control) override;
    void ShowProgress(int done, int total) override;
    void ApplyLayout(const FormLayout& layout) override;
    FormLayout CurrentLayout() override;
    void ClearTree() override;
    void AddFolder(int node, int parent, const std::string& name) override;
    void ShowTree(const std::vector<FolderNode>& tree) override;
    void ClearList() override;
    void AddRows(std::size_t first) override;
    void ShowRows() override;
    void ShowColumn(int column) override;
    int SizeColumnPixels() override;
    std::vector<int> SelectedRows() override;
    int CurrentRow() override;
    void SelectRows(const std::vector<int>& rows, int current) override;
    void ShowSortOrder(int column, bool descending) override;
    void CloseWindow() override;
    void ShowPreviewPane(bool shown) override;
    void ShowPreview() override;

    void CreateComponents();
    void CreateMenu();
    void ConnectEvents();
    // Names for screen readers, labels tied to their fields, and the order Tab goes in.
    void ConnectAccessibility();
    // A click on a folder lists it, and so does moving to a folder with the keyboard; a click
    // on a branch's arrow only opens or closes the branch.
    void ConnectTree();
    // A folder dropped on the tree or on Edit1 becomes the search folder, one dropped on Edit2
    // the destination folder; files dropped anywhere on the window go to the form.
    void ConnectDrops();
    // The list's context menu, as the form gives it, at a point of the list's viewport.
    void ShowListMenu(QPoint at);
    // Column widths: the stored ones, or widths that fit the columns' contents; the memo
    // column takes the width the others leave.
    void ConnectColumns();
    void ApplyColumnWidths(const std::array<int, kListColumns>& widths);
    void FillSpareWidth();
    // The widget that stands for the form's control.
    QWidget* Control(FormControl control) const;
    // The node of the tree that stands for the form's node.
    QTreeWidgetItem* Item(int node) const;
    void EnableCommands(bool enabled);

    MainForm form_;
    FileRowsModel* rows_ = nullptr;
    bool quietTree_ = false;               // the tree's current folder changes without the user
    std::vector<QTreeWidgetItem*> items_;  // by the form's node
    QIcon folderIcon_;                     // every node's: made once, as each icon made anew decodes its images
    int previewHeight_ = 0;                // the pane's height while it is hidden
    int memoFloor_ = 0;                    // the memo column is never narrower than this
    bool fillingMemo_ = false;
    QLabel* statusLabel_ = nullptr;
};

}  // namespace quellmark
