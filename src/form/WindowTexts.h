// The main window's own texts, as the user sees them.
#pragma once

#include <cstddef>
#include <string>

namespace quellmark::texts {

inline constexpr const char* kProductName = "Quellmark";
inline constexpr const char* kCaption = "Quellmark Ver.1.00";

inline constexpr const char* kMenuFile = "ファイル (&F)";
inline constexpr const char* kMenuSearchFolder = "検索フォルダの指定 (&S)";
inline constexpr const char* kMenuFileType = "ファイルの種類 (&T)";
inline constexpr const char* kMenuFileType0 = "全てのファイル(*.*) (&0)";
inline constexpr const char* kMenuFileType1 = "(*.jw?) (&1)";
inline constexpr const char* kMenuFileType2 = "(*.jww) (&2)";
inline constexpr const char* kMenuFileType3 = "(*.jws) (&3)";
inline constexpr const char* kMenuDestFolder = "保存先フォルダの指定 (&H)";
inline constexpr const char* kMenuConvert = "変換 (&C)";
inline constexpr const char* kMenuExit = "終了 (&X)";
inline constexpr const char* kMenuView = "表示 (&V)";
inline constexpr const char* kMenuPreview = "プレビュー (&P)";
inline constexpr const char* kMenuHelp = "ヘルプ (&H)";
inline constexpr const char* kMenuAbout = "バージョン情報 (&A)";
inline constexpr const char* kAboutTitle = "バージョン情報";
inline constexpr const char* kAboutText =
    "JWW・JWS 図面の寸法に寸法属性を付けて、保存先フォルダに書き出します。\n"
    "元の図面は書き換えません。";

// The preview pane: its name for screen readers, the wait while a drawing is read, and the
// legend's kinds of dimension (each followed by its count).
inline constexpr const char* kPreviewName = "プレビュー";
inline constexpr const char* kPreviewBuilding = "図面を読み込んでいます…";
inline constexpr const char* kLegendToMark = "印を付ける寸法";
inline constexpr const char* kLegendMarked = "印付きの寸法";
inline constexpr const char* kLegendUnmarked = "印を付けない寸法";

inline constexpr const char* kFileTypeLabel = "ファイルの種類";
inline constexpr const char* kDestFolderLabel = "保存先フォルダ";
inline constexpr const char* kBrowse = "参照";
inline constexpr const char* kConvert = "変換";
// The buttons' captions with their access keys (Alt and the letter).
inline constexpr const char* kBrowseButton = "参照(&B)";
inline constexpr const char* kConvertButton = "変換(&C)";
inline constexpr const char* kStopButton = "中止(&S)";
// Names for screen readers of the controls no label names.
inline constexpr const char* kSearchFolderName = "検索フォルダ";
inline constexpr const char* kSearchFolderHint = "Enter で検索フォルダを指定します";
inline constexpr const char* kSearchFolderPlaceholder = "クリックして検索フォルダを指定";
inline constexpr const char* kBrowseTip = "保存先フォルダを選びます";
inline constexpr const char* kConvertTip = "選択したファイルを保存先フォルダに変換します (Ctrl+Enter)";
inline constexpr const char* kTreeName = "フォルダ";
inline constexpr const char* kListName = "ファイル一覧";
inline constexpr const char* kBrowseName = "保存先フォルダの参照";
inline constexpr const char* kProgressName = "変換の進み具合";
inline constexpr const char* kFileTypeItems[4] = {"全てのファイル(*.*)", "*.JW?", "*.JWW", "*.JWS"};
inline constexpr const char* kColumnHeaders[6] = {"ファイル名", "Bytes", "種類", "図面メモ", "更新日時", "属性"};

inline constexpr const char* kSearchFolderDialog = "検索フォルダの指定";
inline constexpr const char* kDestFolderDialog = "保存先フォルダの指定";

inline constexpr const char* kSearchingFolders = "フォルダ検索中です。（ESC:中断）";
inline constexpr const char* kDriveNotReady = "検索フォルダのディスクドライブの準備が出来ていません。";
inline constexpr const char* kSearchInterrupted = "フォルダ検索を中断しました。";
// A listing cut short: the original calls the listing of a folder's files a search too.
inline constexpr const char* kListingInterrupted = "検索を中断しました。";
inline constexpr const char* kSpecifyDrawingFolder = "図面の格納されているフォルダを指定して下さい。";
inline constexpr const char* kConfirmExit = "終了します。よろしいですか？";
inline constexpr const char* kNoApplication = "このファイルを開くアプリケーションが見つかりません。";
inline constexpr const char* kFileGone = "ファイルが見つかりません。一覧を更新して下さい（F5）。";
inline constexpr const char* kCannotOpen = "ファイルを開けませんでした。";
inline constexpr const char* kFolderGone = "フォルダが見つかりません。";

// The file list's context menu.
inline constexpr const char* kMenuOpen = "開く(&O)";
inline constexpr const char* kConvertMenuItem = "変換(&C)";
inline constexpr const char* kMenuOpenFolder = "フォルダを開く(&F)";

// The Convert command.
inline constexpr const char* kSpecifySearchFolder = "検索フォルダを指定して下さい。";
inline constexpr const char* kNoFileList = "ファイル一覧が表示されていません。";
inline constexpr const char* kSelectFiles = "変換するファイルを選択して下さい。";
inline constexpr const char* kSpecifyDestination = "保存先フォルダを指定して下さい。";
inline constexpr const char* kDestinationMissing = "指定された保存先フォルダが存在しません。再指定して下さい。";
inline constexpr const char* kSameFolder = "保存先フォルダとファイルのフォルダが同じになっています。";
inline constexpr const char* kConfirmStart = "変換を開始します。よろしいですか？";
inline constexpr const char* kCancelled = "変換作業をキャンセルしました。";
inline constexpr const char* kCompleted = "変換作業を完了しました。";
inline constexpr const char* kStopped = "変換作業を中止しました。";
inline constexpr const char* kFailedFilesTitle = "変換できなかったファイル";
inline constexpr const char* kReportTitle = "変換の報告";  // the report when no file failed
inline constexpr const char* kChangedDrawingsHeading = "寸法の印のほかに書き換えた図面：";
// Notes of the run itself, which are no failure of any drawing.
inline constexpr const char* kRunNotesHeading = "お知らせ（変換の失敗ではありません）：";
inline constexpr const char* kStop = "中止";
inline constexpr const char* kWaitingForOtherRun =
    "が保存先フォルダに書き込んでいます。終わるのを待っています。（中止できます）";
inline constexpr const char* kStopping = "変換中のファイルが終わりしだい中止します。";
inline constexpr const char* kDestinationGone = "保存先フォルダが見つかりません。";
inline constexpr const char* kDestinationUnwritable = "保存先フォルダに書き込めません。";
inline constexpr const char* kDestinationMoved = "保存先フォルダが変換中に移動または削除されました。";
inline constexpr const char* kCloseDuringBatch = "変換中です。変換を中止して終了しますか？";

// "フォルダ「" + folder + "」を検索中(ESC:中断)" and "N Files  パス名「" + folder + "」".
inline constexpr const char* kListingFolderBefore = "フォルダ「";
inline constexpr const char* kListingFolderAfter = "」を検索中(ESC:中断)";
inline constexpr const char* kFilesListedMiddle = " Files  パス名「";
inline constexpr const char* kFilesListedAfter = "」";

// "N Files  パス名「folder」", the two blanks as the original has them.
inline std::string FilesListedText(std::size_t files, const std::string& folder) {
    return std::to_string(files) + kFilesListedMiddle + folder + kFilesListedAfter;
}

// What the status bar says once a search has found every folder.
inline std::string SearchCompletedText(std::size_t folders) {
    return "フォルダ検索を完了しました。（" + std::to_string(folders) + " フォルダ）";
}

// The question before a batch: how many drawings go where, then the question itself.
inline std::string ConvertQuestionText(std::size_t files, const std::string& dest) {
    return std::to_string(files) + " 個のファイルを「" + dest + "」に変換します。\n" + kConfirmStart;
}

// What it says of a search stopped part way: the tree holds only the folders found until then.
inline std::string SearchInterruptedText(std::size_t folders) {
    return std::string(kSearchInterrupted) + "（見つかった " + std::to_string(folders) + " フォルダのみ表示）";
}

// Added when folders could not be read: they show no subfolders. The first is named.
inline std::string UnreadableFoldersText(std::size_t count, const std::string& first) {
    return "読み込めないフォルダ " + std::to_string(count) + " 件：" + first + (count > 1 ? " ほか" : "");
}

// What a file dropped on the window that is no drawing does: nothing, and why.
inline std::string NotDrawingDroppedText(const std::string& name) {
    return "「" + name + "」は図面ファイル（.jww、.jws）ではないため、何もしません。";
}

// Said once, when the settings beside the program cannot be written and go to the user's folder.
inline std::string SettingsElsewhereText(const std::string& beside, const std::string& user) {
    return "「" + beside + "」に書き込めないため、設定は「" + user + "」に保存します。";
}

}  // namespace quellmark::texts
