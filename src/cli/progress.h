// The one line a batch keeps on a terminal's stderr while it works: files done of the total,
// the reading speed and the time left. It is only ever drawn when stderr is a terminal, so a
// pipe or a log file never sees it.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstddef>

namespace quellmark::cli {

class ProgressLine {
public:
    // totalBytes: the files' sizes as listed, which the time left is reckoned on.
    ProgressLine(std::size_t totalFiles, std::uint64_t totalBytes, bool show);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // One more file done: its size as listed, and the bytes actually read of it.
    void Advance(std::uint64_t listedBytes, std::uint64_t readBytes);
    // Redraws the line; unless forced, at most ten times a second.
    void Draw(bool force = false);
    // Takes the line off the screen, so other output starts at the left edge.
    void Clear();

private:
    using Clock = std::chrono::steady_clock;
    std::size_t totalFiles_;
    std::uint64_t totalBytes_;
    bool show_;
    bool erases_;  // the terminal takes the erase-line sequence
    bool onScreen_ = false;
    std::size_t drawnWidth_ = 0;  // characters of the line last drawn
    Clock::time_point started_;
    Clock::time_point lastDrawn_{};
    std::size_t doneFiles_ = 0;
    std::uint64_t doneBytes_ = 0;  // as listed
    std::uint64_t readBytes_ = 0;
};

}  // namespace quellmark::cli
