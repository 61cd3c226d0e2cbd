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
        case CommandRefusal::NoSelection: return {texts::kSelectFiles, BoxKind::Error, false};
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
    std::string text = "（変換 " + std::to_string(summary.converted) + " 件、スキップ " +
                       std::to_string(summary.skipped) + " 件、失敗 " + std::to_string(summary.failed) + " 件";
    // Drawings whose destination held their conversion already (a batch run again after it was
    // stopped or killed): nothing was written, and the old drawing stays as .BAK.
    if (summary.upToDate > 0) text += "、変換済みのまま " + std::to_string(summary.upToDate) + " 件";
    if (summary.notStarted > 0) text += "、中止で未変換 " + std::to_string(summary.notStarted) + " 件";
    return text + "）";
}

}  // namespace

std::string CompletionText(const BatchSummary& summary) {
    for (const RunNote& note : summary.warnings) {
        if (note.kind == RunNote::Kind::DestinationMoved) return StoppedText(texts::kDestinationMoved, summary);
    }
    return std::string(summary.interrupted() ? texts::kStopped : texts::kCompleted) + Counts(summary);
}

std::string StoppedText(const std::string& reason, const BatchSummary& summary) {
    return std::string(texts::kStopped) + reason + Counts(summary);
}

namespace {

// The words for a kind of change; `counted` ones are told with their count.
struct ChangeWords {
    const char* words;
    bool counted;
};

ChangeWords WordsFor(ChangeKind kind) {
    switch (kind) {
        case ChangeKind::FlagsMarked: return {"寸法の印", true};
        case ChangeKind::HeaderValueReset: return {"ヘッダーの予約値のリセット", true};
        case ChangeKind::LineWidthLimited: return {"最大線幅の -101 への制限", false};
        case ChangeKind::SplitValueRewritten: return {"分割値の書き直し", false};
        case ChangeKind::FillerRestored: return {"ヘッダーの空き領域の復元", false};
        case ChangeKind::NameCleaned: return {"名前の制御文字の削除", true};
        case ChangeKind::TextCleaned: return {"文字列の制御文字の削除", true};
        case ChangeKind::ImageReferenceShortened: return {"画像参照の短縮", true};
        case ChangeKind::StringLengthShortened: return {"文字列の長さの短い形への書き直し", true};
        case ChangeKind::CountRewritten: return {"個数の書き直し", true};
        case ChangeKind::ClassTagRewritten: return {"クラスタグの書き直し", true};
        case ChangeKind::AttributesNormalised: return {"範囲外の属性の補正", true};
        case ChangeKind::TimeStampRewritten: return {"ブロックの日時の書き直し", true};
        case ChangeKind::UnreferencedImageDropped: return {"参照されていない画像の削除", true};
        case ChangeKind::EmptyImageDropped: return {"空の画像項目の削除", true};
        case ChangeKind::VersionRaised: return {"バージョンの引き上げ", false};
        case ChangeKind::TrailingBytesDropped: return {"図面の終わりより後ろのデータの削除", false};
    }
    return {"", false};
}

void AddLine(std::string& list, const std::string& line) {
    if (!list.empty()) list += "\n";
    list += line;
}

}  // namespace

std::string ChangesText(const FileResult& converted) {
    std::string text;
    for (const ChangeKind kind : Normalisations()) {
        const std::int64_t count = converted.changes[kind];
        if (count == 0) continue;
        if (!text.empty()) text += "、";
        if (kind == ChangeKind::TrailingBytesDropped) {
            text += "図面の終わりより後ろの " + std::to_string(converted.trailingBytes) + " バイトの削除";
            continue;
        }
        const ChangeWords words = WordsFor(kind);
        text += words.words;
        if (words.counted) text += " " + std::to_string(count) + " 件";
    }
    return text;
}

std::string BatchReportText(const std::vector<FileResult>& failed, const std::vector<FileResult>& skipped,
                            const std::vector<FileResult>& changed, const BatchSummary& summary) {
    std::string list;
    for (const std::vector<FileResult>* files : {&failed, &skipped}) {
        for (const FileResult& r : *files) AddLine(list, PathText(r.source.filename()) + ": " + FailureText(r.failure));
    }
    if (!changed.empty()) {
        if (!list.empty()) list += "\n\n";
        list += texts::kChangedDrawingsHeading;
        for (const FileResult& r : changed) list += "\n" + PathText(r.source.filename()) + ": " + ChangesText(r);
    }
    if (!summary.warnings.empty()) {
        if (!list.empty()) list += "\n\n";
        list += texts::kRunNotesHeading;
        for (const RunNote& note : summary.warnings) list += "\n" + RunNoteText(note);
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
        case ProblemKind::BackupClash:
            return "同じ名前の .BAK に、この変換で先に置き換えた別の図面の元のファイルが残されているため、元のファイルを残せません";
        case ProblemKind::Interrupted: return "中止したため変換していません";
        case ProblemKind::DestinationMoved: return "保存先フォルダが変換中に移動または削除されたため変換していません";
        case ProblemKind::BytesAfterEnd: return "図面の終わりより後ろに不明なデータがあります";
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

}  // namespace

const char* SystemErrorText(std::error_code ec) {
    if (!ec) return "";
    if (InUse(ec)) return "ほかのプログラムがファイルを使用中です。そのプログラムで閉じてからやり直して下さい";
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

std::string RunNoteText(const RunNote& note) {
    const std::string path = PathText(note.path);
    const std::string system = SystemErrorText(note.error);
    const std::string why = system.empty() ? std::string() : "：" + system;
    switch (note.kind) {
        case RunNote::Kind::CannotRemove: return "「" + path + "」を削除できませんでした" + why + "。";
        case RunNote::Kind::CannotRemoveLeftover:
            return "中断された以前の変換が残した「" + path + "」を削除できませんでした" + why + "。";
        case RunNote::Kind::OthersLeft:
            return "「" + path + "」に、別のユーザーの中断された変換が残したファイルが " + std::to_string(note.count) +
                   " 件あります。そのユーザーだけが削除できます。";
        case RunNote::Kind::DestinationMoved:
            return "保存先フォルダ「" + path + "」が変換中に移動または削除されました。" +
                   (note.movedTo.empty()
                        ? std::string("それまでに変換した図面は、そのフォルダとともに移動または削除されています。")
                        : "それまでに変換した図面は「" + PathText(note.movedTo) + "」にあります。");
    }
    return {};
}

std::string HolderText(const Holder& holder) {
    if (!holder.known) return "別の変換（不明なプロセス）";
    return "別の変換（プロセス " + std::to_string(holder.pid) + "、ユーザー " + holder.user +
           (holder.host.empty() ? "" : "、" + holder.host) + "）";
}

std::string WaitingText(const Holder& holder) { return HolderText(holder) + texts::kWaitingForOtherRun; }

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
        case SetupKind::Busy: return HolderText(problem.holder) + "が「" + folder + "」に書き込んでいます。";
        case SetupKind::Stopped: return texts::kCancelled;
        case SetupKind::CannotMakeTemp:
            return "一時フォルダを「" + folder + "」に作れません" + why + "。変換しませんでした。";
    }
    return {};
}

}  // namespace quellmark
