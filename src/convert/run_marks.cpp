// Run marks: their names, their content, how another run reads them, and the taking of a folder.
#include "run_marks.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

namespace quellmark {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kIdLength = 10;
constexpr std::size_t kSuffixLength = 6;
constexpr std::string_view kPrefix = ".qm-";
constexpr std::string_view kFirstLine = "quellmark run 1";
// A mark on a machine whose locks cannot be seen counts as alive this long after its last stamp,
// three of its run's heartbeats.
constexpr std::int64_t kStaleAfterSeconds = 3 * RunMarks::kHeartbeat.count();
// A mark is written right after it is made; one that says nothing this long after is debris.
constexpr std::int64_t kUnwrittenForSeconds = 10;
constexpr std::size_t kLargestMark = 4096;

std::string RandomText(std::size_t length) {
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{
        std::random_device{}() ^ (static_cast<std::uint64_t>(ProcessId()) << 32) ^
        static_cast<std::uint64_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()))};
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text += kAlphabet[random() % (sizeof kAlphabet - 1)];
    return text;
}

bool IsIdText(std::string_view text, std::size_t length) {
    return text.size() == length && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
           });
}

std::string IdOrFresh(std::string_view id) { return id.empty() ? RandomText(kIdLength) : std::string(id); }

std::int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// "key value" lines after the first; false when the first line is not a mark's.
bool ParseMark(std::string_view text, RunIdentity& run, bool& holding) {
    std::size_t at = 0;
    auto nextLine = [&](std::string_view& line) {
        if (at >= text.size()) return false;
        const std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) return false;  // a mark always ends its last line
        line = text.substr(at, end - at);
        at = end + 1;
        return true;
    };
    std::string_view line;
    if (!nextLine(line) || line != kFirstLine) return false;
    bool sawState = false;
    while (nextLine(line)) {
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, space);
        const std::string value(line.substr(space + 1));
        const auto number = [&] { return std::strtoull(value.c_str(), nullptr, 10); };
        if (key == "id") run.id = value;
        if (key == "pid") run.process.pid = number();
        if (key == "started") run.process.started = number();
        if (key == "machine") run.process.machine = value;
        if (key == "host") run.host = value;
        if (key == "since") run.since = static_cast<std::int64_t>(number());
        if (key == "user") {
            run.user = static_cast<std::uint32_t>(number());
            const std::size_t name = value.find(' ');
            run.userName = name == std::string::npos ? std::string() : value.substr(name + 1);
        }
        if (key == "state") {
            holding = value == "holding";
            sawState = value == "holding" || value == "waiting";
        }
    }
    return sawState && IsIdText(run.id, kIdLength);
}

Holder HolderOf(const RunIdentity& run) {
    Holder holder;
    holder.known = true;
    holder.pid = run.process.pid;
    holder.user = run.userName.empty() ? "user " + std::to_string(run.user) : run.userName;
    if (run.host != HostName()) holder.host = run.host;
    return holder;
}

bool Stopped(const std::atomic<bool>* stop) { return stop && stop->load(); }

// Sleeps for about the time, waking early when stopped.
void Pause(std::chrono::milliseconds time, const std::atomic<bool>* stop) {
    const auto until = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < until && !Stopped(stop)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Of two runs that want one folder at the same moment, the earlier goes first.
bool Before(const RunIdentity& a, const RunIdentity& b) { return a.since != b.since ? a.since < b.since : a.id < b.id; }

}  // namespace

std::string Holder::text() const {
    if (!known) return "an unknown process";
    return "process " + std::to_string(pid) + " of " + user + (host.empty() ? "" : " on " + host);
}

RunIdentity RunIdentity::ForThisProcess() {
    RunIdentity run;
    run.id = RandomText(kIdLength);
    run.process = ThisProcessStamp();
    run.user = ThisUserId();
    run.userName = UserName(run.user);
    run.host = HostName();
    run.since =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    return run;
}

std::string MarkName(std::string_view id) { return std::string(kPrefix) + IdOrFresh(id) + ".run"; }
std::string RunTempName(std::string_view id) {
    return std::string(kPrefix) + IdOrFresh(id) + "-" + RandomText(kSuffixLength) + ".tmp";
}
std::string RecordName(std::string_view id) {
    return std::string(kPrefix) + IdOrFresh(id) + "-" + RandomText(kSuffixLength) + ".rep";
}

RunFileKind KindOfRunFile(std::string_view name, std::string& id) {
    if (!name.starts_with(kPrefix) || name.size() < kPrefix.size() + kIdLength + 4) return RunFileKind::None;
    const std::string_view candidate = name.substr(kPrefix.size(), kIdLength);
    if (!IsIdText(candidate, kIdLength)) return RunFileKind::None;
    const std::string_view rest = name.substr(kPrefix.size() + kIdLength);
    RunFileKind kind = RunFileKind::None;
    if (rest == ".run") {
        kind = RunFileKind::Mark;
    } else if (rest.size() == 1 + kSuffixLength + 4 && rest[0] == '-' &&
               IsIdText(rest.substr(1, kSuffixLength), kSuffixLength)) {
        const std::string_view ending = rest.substr(1 + kSuffixLength);
        kind = ending == ".tmp" ? RunFileKind::Temp : ending == ".rep" ? RunFileKind::Record : RunFileKind::None;
    }
    if (kind != RunFileKind::None) id = std::string(candidate);
    return kind;
}

MarkSeen LookAtMark(FileSystem& files, const fs::path& folder, const std::string& name, bool locksTrusted) {
    MarkSeen seen;
    std::unique_ptr<InputFile> in;
    if (files.openReadNoFollow(folder / name, in)) return seen;
    seen.there = true;
    seen.owner = in->owner();
    const std::string text = ReadText(*in, kLargestMark);
    const bool parsed = ParseMark(text, seen.run, seen.holding);
    if (parsed) seen.holder = HolderOf(seen.run);
    const std::int64_t age = NowSeconds() - in->modified().seconds;
    const LockSeen lock = in->lockSeen();
    if (lock == LockSeen::Held) {
        seen.alive = true;
    } else if (lock == LockSeen::Free && locksTrusted) {
        seen.alive = false;  // a live run holds the lock on its mark for as long as it runs
    } else if (!parsed) {
        seen.alive = age < kUnwrittenForSeconds;  // being written, or left half made
        seen.holding = seen.alive;
    } else if (const Liveness live = ProcessLiveness(seen.run.process); live != Liveness::Unknown) {
        seen.alive = live == Liveness::Alive;
    } else {
        seen.alive = lock == LockSeen::Unknown && age < kStaleAfterSeconds;
    }
    return seen;
}

RunMarks::RunMarks(FileSystem& files, RunIdentity self) : fs_(files), self_(std::move(self)) {
    text_ = std::string(kFirstLine) + "\nid " + self_.id + "\npid " + std::to_string(self_.process.pid) + "\nstarted " +
            std::to_string(self_.process.started) + "\nmachine " + self_.process.machine + "\nuser " +
            std::to_string(self_.user) + " " + self_.userName + "\nhost " + self_.host + "\nsince " +
            std::to_string(self_.since) + "\nstate waiting\n";
}

RunMarks::~RunMarks() { (void)release(); }

bool RunMarks::setState(Held& held, bool holding) {
    const std::string_view state = holding ? "holding" : "waiting";
    return !held.file->writeAt(held.stateAt, {reinterpret_cast<const std::uint8_t*>(state.data()), state.size()});
}

std::vector<MarkSeen> RunMarks::holders(const Held& held, std::vector<FolderEntry>& listing) {
    std::vector<MarkSeen> found;
    const fs::path& folder = held.folder->path();
    if (fs_.listFolder(folder, listing)) return found;
    const std::string own = MarkName(self_.id);
    for (const FolderEntry& entry : listing) {
        std::string id;
        const std::string name = entry.name.string();
        if (entry.facts.kind != PathKind::File || entry.facts.link || name == own) continue;
        if (KindOfRunFile(name, id) != RunFileKind::Mark) continue;
        MarkSeen seen = LookAtMark(fs_, folder, name, held.locksTrusted);
        if (seen.alive && seen.holding) found.push_back(std::move(seen));
    }
    return found;
}

RunMarks::Take RunMarks::take(const FolderHandle& folder, const fs::path& shown, const Rules& rules, Holder& holder,
                              std::vector<FolderEntry>* listing) {
    auto held = std::make_unique<Held>();
    held->shown = shown;
    std::vector<FolderEntry> entries;
    if (fs_.pinFolder(folder, {}, false, held->folder)) return Take::Unmarked;
    held->locksTrusted = fs_.identityTrusted(held->folder->path());
    const fs::path markPath = held->folder->path() / MarkName(self_.id);
    // Made private and locked before anyone else may open it, then made readable to every user
    // who may want the folder: no one can take a lock on it first and make it look dead.
    if (fs_.createNew(markPath, held->file, FolderAccess::Private)) return Take::Unmarked;
    (void)held->file->holdLock();  // where there are no locks, the content and stamps tell
    // Not synced: a mark matters only while its run lives, and a crash ends the run anyway.
    std::size_t written = 0;
    if (held->file->write({reinterpret_cast<const std::uint8_t*>(text_.data()), text_.size()}, written)) {
        held->file.reset();
        (void)fs_.remove(markPath);  // a mark never finished tells no one anything; a sweep takes it
        return Take::Unmarked;
    }
    // Readable by other users' runs where the system allows; where not, they see the lock alone.
    (void)held->file->takeAttributes({0644, 0, 0, false});
    held->stateAt = text_.size() - std::string_view("holding\n").size();
    Held& mine = *held;
    {
        std::lock_guard lock(mutex_);
        held_.push_back(std::move(held));
    }
    bool told = false;
    for (;;) {
        if (Stopped(rules.stop)) return Take::Stopped;
        std::vector<MarkSeen> others = holders(mine, entries);
        if (others.empty()) {
            // Said first, looked again after: of two runs doing this at once, at least one sees
            // the other, and the later of them steps back.
            if (!setState(mine, true)) return Take::Unmarked;
            others = holders(mine, entries);
            const bool earlierHolds = std::any_of(others.begin(), others.end(),
                                                  [&](const MarkSeen& other) { return Before(other.run, self_); });
            if (!earlierHolds) {
                // A later run that holds it steps back at once, unless it took the folder before
                // this run said it wants it: then this one waits for it to end.
                while (!others.empty() && !Stopped(rules.stop)) {
                    holder = others.front().holder;
                    if (!rules.wait) {
                        (void)setState(mine, false);
                        return Take::Busy;
                    }
                    if (!told && rules.waiting) rules.waiting(holder);
                    told = true;
                    Pause(std::chrono::milliseconds(100), rules.stop);
                    others = holders(mine, entries);
                }
                if (Stopped(rules.stop)) {
                    (void)setState(mine, false);
                    return Take::Stopped;
                }
                if (listing) *listing = std::move(entries);
                return Take::Taken;
            }
            (void)setState(mine, false);
        }
        holder = others.front().holder;
        if (!rules.wait) return Take::Busy;
        if (!told && rules.waiting) rules.waiting(holder);
        told = true;
        Pause(std::chrono::milliseconds(200), rules.stop);
    }
}

bool RunMarks::alive(const fs::path& folder, const std::string& id, bool locksTrusted) {
    if (id == self_.id) return true;
    return LookAtMark(fs_, folder, MarkName(id), locksTrusted).alive;
}

void RunMarks::heartbeat() {
    std::lock_guard lock(mutex_);
    // A stamp that fails now is made at the next beat; runs elsewhere wait longer meanwhile.
    for (const auto& held : held_) (void)held->file->touch();
}

std::vector<RunNote> RunMarks::release() {
    std::lock_guard lock(mutex_);
    std::vector<RunNote> left;
    for (const auto& held : held_) {
        const fs::path mark = held->folder->path() / MarkName(self_.id);
        if (const std::error_code ec = fs_.remove(mark)) {
            left.push_back(NotRemoved(RunNote::Kind::CannotRemove, held->shown / MarkName(self_.id), ec));
        }
        held->file.reset();
    }
    held_.clear();
    return left;
}

}  // namespace quellmark
