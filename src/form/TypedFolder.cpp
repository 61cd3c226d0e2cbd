// The check of a folder path typed into a folder field.
#include "TypedFolder.h"

#include "../platform/system.h"
#include "ConvertReport.h"
#include "MainFormParts.h"

namespace quellmark {

namespace fs = std::filesystem;

std::string CleanTypedFolder(std::string_view typed) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!typed.empty() && blank(typed.front())) typed.remove_prefix(1);
    while (!typed.empty() && blank(typed.back())) typed.remove_suffix(1);
    if (typed.size() >= 2 && typed.front() == '"' && typed.back() == '"') typed = typed.substr(1, typed.size() - 2);
    return std::string(typed);
}

TypedFolderCheck CheckTypedFolder(FileSystem& files, const std::string& cleaned, bool destination) {
    TypedFolderCheck check;
    const fs::path path = PathFromText(cleaned).lexically_normal();
    if (cleaned.empty() || !path.is_absolute()) {
        check.problem = TypedFolderProblem::NotAbsolute;
        return check;
    }
    check.folder = WithSeparator(PathText(path));
    const PathFacts facts = files.examine(path);
    if (facts.error) {
        check.problem = TypedFolderProblem::CannotExamine;
        check.error = facts.error;
    } else if (facts.kind == PathKind::Missing) {
        check.problem = TypedFolderProblem::Missing;
    } else if (facts.kind != PathKind::Folder) {
        check.problem = TypedFolderProblem::NotFolder;
    } else if (destination && !files.writable(path)) {
        check.problem = TypedFolderProblem::Unwritable;
    }
    return check;
}

std::string TypedFolderRefusalText(const TypedFolderCheck& check, const std::string& cleaned, bool destination) {
    const std::string named = "「" + cleaned + "」";
    switch (check.problem) {
        case TypedFolderProblem::None: return {};
        case TypedFolderProblem::NotAbsolute:
            return named + "は完全なパスではありません。フォルダのパスを先頭から入力して下さい。";
        case TypedFolderProblem::Missing:
            return "フォルダ" + named + "が見つかりません。" +
                   (destination ? "保存先フォルダは先に作っておいて下さい。" : "");
        case TypedFolderProblem::NotFolder: return named + "はフォルダではありません。";
        case TypedFolderProblem::CannotExamine: {
            const std::string why = SystemErrorText(check.error);
            return "フォルダ" + named + "を調べられません" + (why.empty() ? "" : "：" + why) + "。";
        }
        case TypedFolderProblem::Unwritable: return "保存先フォルダ" + named + "に書き込めません。";
    }
    return {};
}

}  // namespace quellmark
