// The Convert command's texts and the Japanese words for each kind of failure.
#include "ConvertReport.h"

#include "WindowTexts.h"

#include "../platform/system.h"

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

namespace {

// "（変換 N 件、スキップ M 件、失敗 K 件）", with the drawings a stop left out when there are any.
std::string Counts(const BatchSummary& summary) {
    std::string text = "（変換 " + std::to_string(summary.converted) + " 件、スキップ " + std::to_string(summary.skipped) +
                       " 件、失敗 " + std::to_string(summary.failed) + " 件";
    if (summary.notStarted > 0) text += "、中止で未変換 " + std::to_string(summary.notStarted) + " 件";
    return text + "）";
}

}  // namespace

std::string CompletionText(const BatchSummary& summary) {
    return std::string(summary.interrupted() ? texts::kStopped : texts::kCompleted) + Counts(summary);
}

std::string StoppedText(const std::string& reason, const BatchSummary& summary) {
    return std::string(texts::kStopped) + reason + Counts(summary);
}

std::string FailedFilesText(const std::vector<FileResult>& failed, const std::vector<FileResult>& skipped,
                            const BatchSummary& summary) {
    std::string list;
    for (const std::vector<FileResult>* files : {&failed, &skipped}) {
        for (const FileResult& r : *files) {
            if (!list.empty()) list += "\n";
            list += PathText(r.source.filename()) + ": " + FailureText(r.failure);
        }
    }
    for (const std::string& warning : summary.warnings) {
        if (!list.empty()) list += "\n";
        list += warning;
    }
    return list;
}

namespace {

const char* KindText(ProblemKind kind) {
    switch (kind) {
        case ProblemKind::None: return "";
        case ProblemKind::Truncated: return "ファイルが途中で終わっています";
        case ProblemKind::Malformed: return "図面の内容が正しくありません";
        case ProblemKind::NotADrawing: return "図面ファイルではありません";
        case ProblemKind::CannotRead: return "ファイルを読み込めません";
        case ProblemKind::CannotWrite: return "ファイルを書き込めません";
        case ProblemKind::TooLarge: return "ファイルが大きすぎてメモリーに入りません";
        case ProblemKind::Internal: return "プログラムの内部エラーです";
        case ProblemKind::CannotKeepBackup: return "元のファイルを .BAK として残せません";
        case ProblemKind::Clash: return "同じ保存先に別のファイルが先に変換されています";
        case ProblemKind::Interrupted: return "中止したため変換していません";
        case ProblemKind::BytesAfterEnd: return "図面の終わりより後ろにデータがあります（壊れているか、新しい版の図面です）";
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

std::string FailureText(const Problem& failure) {
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

std::string SetupFailureText(const SetupProblem& problem) {
    const std::string dest = PathText(problem.dest);
    const std::string folder = PathText(problem.folder);
    const std::string system = SystemErrorText(problem.error);
    const std::string why = system.empty() ? std::string() : "：" + system;
    switch (problem.kind) {
        case SetupKind::None: return {};
        case SetupKind::CannotReach:
        case SetupKind::DestNotFolder:
        case SetupKind::DestMissing:
        case SetupKind::CannotCreateDest: return texts::kDestinationMissing;
        case SetupKind::DestIsSource:
        case SetupKind::DestInsideSource: return texts::kSameFolder;
        case SetupKind::Busy: return "別の変換が「" + folder + "」に書き込んでいます。";
        case SetupKind::CannotLock: return "「" + folder + "」を他の変換から守るロックをかけられません" + why + "。変換しませんでした。";
        case SetupKind::Stopped: return texts::kCancelled;
        case SetupKind::CannotMakeTemp: return "一時フォルダを「" + folder + "」に作れません" + why + "。変換しませんでした。";
    }
    return {};
}

}  // namespace quellmark
