// The main window TForm1: the search folder and its folder tree on the left, the file type, the
// destination folder, the Convert button and the file list on the right, the status bar below.
// Its handlers carry the names of the events that run them; the desktop is reached only through
// WindowPlatform and drawings only through the engine (convert/) and the memo probe.
#pragma once

#include "../convert/command.h"
#include "../convert/session.h"

#include <QMainWindow>
#include <QString>

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
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace quellmark {

class ConvertJob;
class WindowPlatform;
struct FormSettings;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // appDir is the program's folder with a trailing "/": the settings file and the temp
    // folder are found from it. Drawings are read and written through fileSystem.
    TForm1(WindowPlatform& platform, const QString& appDir, FileSystem& fileSystem, QWidget* parent = nullptr);
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
    QAction* MnuExit;
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
    // The file list. Its rows are numbered as the user sees them: row 0 is the header (the
    // table's horizontal header), rows 1..n are files, held in the table's rows 0..n-1.
    QTableWidget* StringGrid1;
    QStatusBar* StatusBar1;
    QProgressBar* ProgressBar1;
    QPushButton* ButtonStop;  // shown while a batch runs

    // ---- event handlers ----
    void FormShow();
    void FormClose();
    void Panel1Resize();
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
    // Re-pads the sizes when the header cell of column 1 (row 0) is painted.
    void StringGrid1DrawCell(int col, int row);
    // A press at (x, y) in the header row's coordinates: sorts by that column, or re-lists for
    // the "属性" column.
    void StringGrid1MouseDown(int x, int y);
    void StringGrid1DblClick();

    // ---- folder tree and file list ----
    void SearchFolders();
    void AddSubfolders(const QString& folder, QTreeWidgetItem* node);
    // The folder a node stands for, with a trailing "/"; empty for no node.
    QString NodePath(const QTreeWidgetItem* node) const;
    void ListFiles(const QString& folder);
    // The memo to show for the file: the header memo of a JWW drawing, else empty.
    QString DrawingMemo(const QString& path);

    // ---- state ----
    bool FSearchReady = false;     // the folder tree has at least its root node
    bool FListShown = false;       // the file list holds at least one file
    bool FSortDescending = false;  // direction of the next header-click sort
    bool FSearchAborted = false;   // Escape was seen during the current folder search
    QString FAppDir;
    QString FIniPath;
    QString FSearchFolder;
    QString FDestFolder;
    QString FLastFileName;

    // ---- for the program around the window ----
    QString StatusText() const;
    // Shows the text in the status bar and repaints it at once.
    void ShowStatus(const QString& text);
    // Text of a cell of the file list, by column and row (row 1 is the first file).
    QString Cell(int col, int row) const;
    int RowCount() const;  // header included, as the rows are numbered
    // A search, a listing or a Convert batch is running; other commands are refused meanwhile.
    bool Busy() const { return activity_ != Activity::Idle; }
    bool Converting() const { return activity_ == Activity::Converting; }
    QString TempFolder() const;
    ConversionContext& Context() { return context_; }

signals:
    void BatchFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum class Activity { Idle, Searching, Listing, Converting };
    // Marks the window busy for as long as a search or listing runs, and closes it afterwards
    // when a close was asked for meanwhile.
    class ActivityScope {
    public:
        ActivityScope(TForm1& form, Activity activity);
        ~ActivityScope();
        ActivityScope(const ActivityScope&) = delete;
        ActivityScope& operator=(const ActivityScope&) = delete;

    private:
        TForm1& form_;
    };

    void CreateComponents();
    void CreateMenu();
    void ConnectEvents();
    // A click on a folder lists it, and so does moving to a folder with the keyboard; a click
    // on a branch's arrow only opens or closes the branch.
    void ConnectTree();
    // A folder dropped on the tree becomes the search folder, one dropped on Edit2 the
    // destination folder.
    void ConnectDrops();
    // Column widths: the stored ones, or widths that fit the columns' contents; the memo
    // column takes the width the others leave.
    void ConnectColumns();
    void ApplyColumnWidths(const FormSettings& settings);
    void FillSpareWidth();
    // The window where it was saved, moved onto a screen when it would not be on one.
    void PlaceWindow(const FormSettings& settings);
    // The search folder of the last run is searched again once the window shows.
    void SearchAgainAtStart(const QString& storedFolder);
    void ApplySettings(const FormSettings& settings);
    FormSettings CurrentSettings() const;
    // Refuses a command while another runs, with a beep; true when refused.
    bool Refused();
    // Beep, the error box and the status text that ask for a search folder first.
    void AskForSearchFolder();
    void SelectFileType(int index);
    void ListSelectedFolder();
    // One listing of the folder; ListFiles runs them, the next one when a listing was asked
    // for while this one ran.
    void FillList(const QString& folder);
    // Whether a command that lists a folder may start now, or may replace the listing that
    // runs; refuses it with a beep otherwise.
    bool MayList();
    void ResetGrid();
    void SetCell(int col, int row, const QString& text);
    void SetRowCount(int rows);
    void SortByColumn(int col);
    // Lets the window repaint and see the keyboard during a long command; true when it must stop.
    bool KeepResponsive();
    void EnableCommands(bool enabled);
    ConvertCommandInput ConvertInput() const;
    void StartBatch(JobList jobs, SessionRequest request);
    void FinishBatch();

    WindowPlatform& platform_;
    ConversionContext context_;
    Activity activity_ = Activity::Idle;
    bool shown_ = false;
    bool closed_ = false;
    bool closeWhenIdle_ = false;
    bool listingAborted_ = false;
    QString listedFolder_;    // the folder the list was filled from; what Convert and sorting act on
    QString nextListing_;     // a folder to list once the running listing has stopped
    int paddedSizeWidth_ = 0; // the characters the sizes are padded to now; 0 before any listing
    int memoFloor_ = 0;       // the memo column is never narrower than this
    bool fillingMemo_ = false;
    QLabel* statusLabel_ = nullptr;
    std::unique_ptr<ConvertJob> job_;
};

}  // namespace quellmark
