// Keys of paths folded folder by folder, with the answers of folders and file systems kept.
#include "name_keys.h"

#include "../platform/system.h"
#include "case_fold.h"

#include <vector>

namespace quellmark {

namespace fs = std::filesystem;

namespace {

// The path without "." and "..", and without a trailing separator ("out/" is "out").
fs::path Normal(const fs::path& path) {
    fs::path normal = path.lexically_normal();
    return !normal.has_filename() && normal.has_relative_path() ? normal.parent_path() : normal;
}

}  // namespace

NameKeys::NameKeys(FileSystem& files, const fs::path& writable, bool unknownFolds)
    : files_(files), writable_(writable.empty() ? fs::path() : Normal(writable)), unknownFolds_(unknownFolds) {}

std::string NameKeys::key(const fs::path& path) {
    const fs::path normal = Normal(path);
    std::lock_guard lock(mutex_);
    if (!normal.has_relative_path()) return folder(normal).key;
    const Folder& above = folder(ParentFolder(normal));
    const std::string name = PathText(normal.filename());
    std::string key;
    key.reserve(above.key.size() + 1 + name.size());
    key += above.key;
    key += '/';
    if (above.folds) {
        AppendFolded(key, name);
    } else {
        key += name;
    }
    return key;
}

// The folders from the path up to the first one known (or the top: a root, or the current
// folder for a relative path), then each made known from the top down. Not recursive: a path
// may have as many names as its length allows.
const NameKeys::Folder& NameKeys::folder(const fs::path& path) {
    std::vector<fs::path> unknown;
    const Folder* known = nullptr;
    for (fs::path at = path;;) {
        if (auto it = folders_.find(at.native()); it != folders_.end()) {
            known = &it->second;
            break;
        }
        unknown.push_back(at);
        fs::path up = ParentFolder(at);
        if (!at.has_relative_path() || (up.empty() && !at.is_relative())) break;
        at = std::move(up);
    }
    for (auto it = unknown.rbegin(); it != unknown.rend(); ++it) {
        Folder made;
        made.writable = (known && known->writable) || (!writable_.empty() && *it == writable_);
        if (known == nullptr) {
            made.folds = ask(it->empty() ? fs::path(".") : *it, made.writable, unknownFolds_);
            made.key = made.folds ? Folded(PathText(*it)) : PathText(*it);
        } else {
            const std::string name = PathText(it->filename());
            made.key = known->key + '/' + (known->folds ? Folded(name) : name);
            made.folds = ask(*it, made.writable, known->folds);
        }
        known = &folders_.emplace(it->native(), std::move(made)).first->second;
    }
    return *known;
}

// A folder not there folds as the one above it; one that cannot tell, as unknownFolds says.
bool NameKeys::ask(const fs::path& folder, bool mayWrite, bool inherited) {
    FileIdentity id;
    if (files_.identify(folder, id)) return inherited;
    if (auto known = devices_.find(id.device); known != devices_.end()) return known->second;
    LetterCase answer;
    if (files_.foldsCase(folder, mayWrite, answer)) return unknownFolds_;
    if (answer.wholeDevice) devices_.emplace(id.device, answer.folds);
    return answer.folds;
}

}  // namespace quellmark
