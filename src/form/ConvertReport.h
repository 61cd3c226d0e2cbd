// What the main window says about a Convert command, free of any toolkit: the box for each
// refusal, the status texts of a batch, and each failure in Japanese, made from its kind, offset
// and section.
#pragma once

#include "ConvertCommand.h"
#include "../convert/session.h"
#include "Box.h"

#include <string>
#include <vector>

namespace quellmark {

struct RefusalBox {
    const char* text;
    BoxKind kind;
    bool statusToo;  // the status bar shows the text as well
};
RefusalBox RefusalBoxOf(CommandRefusal why);

// "ファイル「source」→「dest」変換中です。"
std::string ConvertingText(const std::string& source, const std::string& dest);
// "変換作業を完了しました。（変換 N 件、スキップ M 件、失敗 K 件）"; after a Stop,
// "変換作業を中止しました。" with the drawings it left out counted too; when the destination was
// moved away during the run, "変換作業を中止しました。" with kDestinationMoved.
std::string CompletionText(const BatchSummary& summary);
// After a batch stopped because its destination was lost: "変換作業を中止しました。" with the reason
// and the counts.
std::string StoppedText(const std::string& reason, const BatchSummary& summary);
// What the writers changed in a converted drawing beyond its marks, in the words of the command
// line's report: "バージョンの引き上げ、ヘッダーの予約値のリセット 2 件"; empty when nothing.
std::string ChangesText(const FileResult& converted);

// The report after a batch: one line "name: reason" per failed file and per file named as a
// drawing that is none; then, under kChangedDrawingsHeading, one line "name: changes" per drawing
// converted with changes beyond its marks; then, under kRunNotesHeading, the run's own notes
// (never failures). Empty when there is nothing to tell.
std::string BatchReportText(const std::vector<FileResult>& failed, const std::vector<FileResult>& skipped,
                            const std::vector<FileResult>& changed, const BatchSummary& summary);

// The system's errors a user can act on, in Japanese ("アクセスが許可されていません"); empty for
// others, which are left to the words of what failed.
const char* SystemErrorText(std::error_code ec);

// "ファイルが途中で終わっています（14280 バイト目、図形リスト）" and the like.
std::string FailureText(const Problem& problem);

// A note of the run itself: "「out/.qm-1.tmp」を削除できませんでした：アクセスが許可されていません。"
std::string RunNoteText(const RunNote& note);

// Why a batch did not start: "保存先フォルダをロックできません：..." and the like.
std::string SetupFailureText(const SetupProblem& problem);

// Who holds a folder, for people: "別の変換（プロセス 1234、ユーザー bob）"; "別の変換（不明なプロセス）".
std::string HolderText(const Holder& holder);
// The status while the batch waits for that run.
std::string WaitingText(const Holder& holder);

}  // namespace quellmark
