// The Convert command's texts and the Japanese words for each kind of failure.
#include "ConvertReport.h"

#include "WindowTexts.h"

#include <cerrno>

namespace quellmark {

// Every refusal is an error the user has to mend, so it comes as an error box (the first design
// showed the last three as a question with only an OK button).
RefusalBox RefusalBoxOf(CommandRefusal why) {
    switch (why) {
        case CommandRefusal::NoSearchFolder: return {texts::kSpecifySearchFolder, BoxKind::Error, true};
        case CommandRefusal::NoFileList: return {texts::kNoFileList, BoxKind::Error, false};
        case CommandRefusal::NoDestination: return {texts::kSpecifyDestination, BoxKind::Error, false};
        case CommandRefusal::DestinationMissing: return {texts::kDestinationMissing, BoxKind::Error, false};
        case CommandRefusal::SameFolder: return {texts::kSameFolder, BoxKind::Error, false};
    }
    return {"", BoxKind::Error, false};
}

std::string ConvertingText(const std::string& source, const std::string& dest) {
    return "ファイル「" + source + "」→「" + dest + "」変換中です。";
}

std::string CompletionText(const BatchSummary& summary) {
    std::string text = std::string(summary.interrupted() ? texts::kStopped : texts::kCompleted) + "（変換 " + std::to_string(summary.converted) +
                       " 件、スキップ " + std::to_string(summary.skipped) + " 件、失敗 " +
                       std::to_string(summary.failed) + " 件";
    if (summary.notStarted > 0) text += "、中止で未変換 " + std::to_string(summary.notStarted) + " 件";
    return text + "）";
}

std::string FailedFilesText(const BatchSummary& summary) {
    std::string list;
    for (const FileResult& r : summary.results) {
        if (r.outcome != Outcome::Failed) continue;
        if (!list.empty()) list += "\n";
        list += r.source.filename().string() + ": " + FailureText(r.failure);
    }
    return list;
}

namespace {

const char* KindText(FailureKind kind) {
    switch (kind) {
        case FailureKind::None: return "";
        case FailureKind::Truncated: return "ファイルが途中で終わっています";
        case FailureKind::Malformed: return "図面の内容が正しくありません";
        case FailureKind::NotADrawing: return "図面ファイルではありません";
        case FailureKind::CannotRead: return "ファイルを読み込めません";
        case FailureKind::CannotWrite: return "ファイルを書き込めません";
        case FailureKind::CannotKeepBackup: return "元のファイルを .BAK として残せません";
        case FailureKind::Clash: return "同じ保存先に別のファイルが先に変換されています";
        case FailureKind::Interrupted: return "中止したため変換していません";
    }
    return "";
}

const char* SectionText(Section section) {
    switch (section) {
        case Section::None: return "";
        case Section::Header: return "ヘッダー";
        case Section::EntityList: return "図形リスト";
        case Section::BlockDefinitions: return "ブロック定義";
        case Section::ImageSection: return "画像";
    }
    return "";
}

// The system's errors a user can act on, in Japanese; others are left to the kind's words.
const char* SystemErrorText(std::error_code ec) {
    if (!ec) return "";
    switch (ec.default_error_condition().value()) {
        case ENOSPC: return "ディスクの空き容量が足りません";
        case EACCES:
        case EPERM: return "アクセスが許可されていません";
        case ENOENT: return "ファイルまたはフォルダが見つかりません";
        case ENAMETOOLONG: return "名前が長すぎます";
        case EROFS: return "読み取り専用の場所です";
        case EEXIST: return "同じ名前のファイルがあります";
        case EIO: return "入出力エラーが起きました";
        default: return "";
    }
}

}  // namespace

std::string FailureText(const Failure& failure) {
    std::string text = KindText(failure.kind);
    if (failure.offset >= 0 || failure.section != Section::None) {
        text += "（";
        if (failure.offset >= 0) text += std::to_string(failure.offset) + " バイト目";
        if (failure.offset >= 0 && failure.section != Section::None) text += "、";
        text += SectionText(failure.section);
        text += "）";
    }
    const std::string system = SystemErrorText(failure.error);
    if (!system.empty()) text += "：" + system;
    return text;
}

}  // namespace quellmark
