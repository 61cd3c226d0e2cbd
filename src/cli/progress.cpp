// The progress line on a terminal: drawn with a carriage return over itself, erased with an
// erase-line sequence, or where the terminal takes none, with spaces over the last line drawn.
#include "progress.h"

#include "../platform/console.h"

#include <cstdio>
#include <string>

namespace quellmark::cli {

namespace {

std::string Duration(double seconds) {
    const auto total = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    }
    return text;
}

}  // namespace

ProgressLine::ProgressLine(std::size_t totalFiles, std::uint64_t totalBytes, bool show)
    : totalFiles_(totalFiles),
      totalBytes_(totalBytes),
      show_(show),
      erases_(show && StderrErasesLines()),
      started_(Clock::now()) {}

ProgressLine::~ProgressLine() { Clear(); }

void ProgressLine::Advance(std::uint64_t listedBytes, std::uint64_t readBytes) {
    ++doneFiles_;
    doneBytes_ += listedBytes;
    readBytes_ += readBytes;
}

void ProgressLine::Draw(bool force) {
    if (!show_) return;
    const auto now = Clock::now();
    if (!force && onScreen_ && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
    lastDrawn_ = now;
    const double seconds = std::chrono::duration<double>(now - started_).count();
    std::string line = std::to_string(doneFiles_) + " of " + std::to_string(totalFiles_) + " files";
    if (seconds > 0.2 && doneFiles_ > 0) {
        char speed[32];
        std::snprintf(speed, sizeof speed, ", %.1f MB/s", static_cast<double>(readBytes_) / 1e6 / seconds);
        line += speed;
        // Reckoned on bytes where the sizes are known, as drawings differ in size by far more
        // than in number; on files otherwise.
        const double share = totalBytes_ > 0 && doneBytes_ > 0
                                 ? static_cast<double>(doneBytes_) / static_cast<double>(totalBytes_)
                                 : static_cast<double>(doneFiles_) / static_cast<double>(totalFiles_);
        if (share > 0 && share < 1) line += ", " + Duration(seconds / share - seconds) + " left";
    }
    const std::size_t width = line.size();
    if (!erases_ && width < drawnWidth_) line.append(drawnWidth_ - width, ' ');
    std::fputs(((erases_ ? "\r\033[K" : "\r") + line).c_str(), stderr);
    drawnWidth_ = width;
    onScreen_ = true;
}

void ProgressLine::Clear() {
    if (!onScreen_) return;
    const std::string blank = erases_ ? "\r\033[K" : "\r" + std::string(drawnWidth_, ' ') + "\r";
    std::fputs(blank.c_str(), stderr);
    onScreen_ = false;
    drawnWidth_ = 0;
}

}  // namespace quellmark::cli
