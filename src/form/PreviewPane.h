// The preview pane's decisions, free of any toolkit: which drawing it shows (the list's current
// row), building its display list on a worker thread of its own where a newer selection makes an
// older build's result unwanted, the pictures kept for the rows already seen, the reason shown in
// place of a picture, the view transform (fitted with a margin, zoomed about a point within
// bounds, panned) and the legend. A window draws the picture through the transform and hands the
// pane its size, the wheel, drags and keys.
#pragma once

#include "../platform/files.h"
#include "../render/preview.h"

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quellmark {

class FormView;

// Paper millimetres (y up) to the pane's pixels (y down): x' = x0 + x * scale, y' = y0 - y * scale.
struct PaneTransform {
    double scale = 1;  // pixels per paper millimetre
    double x0 = 0;
    double y0 = 0;

    render::Point toPane(render::Point p) const { return {x0 + p.x * scale, y0 - p.y * scale}; }
    render::Point toPaper(double x, double y) const { return {(x - x0) / scale, (y0 - y) / scale}; }
    // The paper a pane of this size shows.
    render::Rect visible(int width, int height) const;
};

// The keys the pane answers.
enum class PaneKey { ZoomIn, ZoomOut, Left, Right, Up, Down, Fit };

// What the pane shows: nothing (hidden, or no row), a build under way, the picture, or why there
// is none.
enum class PaneState { Hidden, Empty, Building, Picture, Failed };

// A line of the legend: the colour (0xRRGGBB) of a kind of dimension, and its text with the count.
struct LegendEntry {
    std::uint32_t color = 0;
    std::string text;
};

class PreviewPane {
public:
    // Each wheel notch (120 units) and each +/- zooms by this; zoom stays within these multiples
    // of the fitted scale.
    static constexpr double kZoomStep = 1.25;
    static constexpr double kLeastZoom = 0.25;
    static constexpr double kMostZoom = 1000;
    // The pictures of rows seen before, kept beside the one shown, take at most this much.
    static constexpr std::size_t kKeptBytes = 32u << 20;

    // Results of the worker reach the pane through view.Post, on the window's thread.
    PreviewPane(FormView& view, FileSystem& files);
    ~PreviewPane();
    PreviewPane(const PreviewPane&) = delete;
    PreviewPane& operator=(const PreviewPane&) = delete;

    // ---- what the form and the user do ----
    void SetShown(bool shown);
    // The drawing to show (the list's current row); empty for none.
    void Select(const std::filesystem::path& file);
    // Drops every picture kept: the files may have changed (a re-listing, a batch). The
    // selected drawing is built again.
    void Forget();
    void Resized(int width, int height);
    // A wheel turn of `delta` (120 a notch, positive away from the user: zoom in) at (x, y).
    void Wheel(int x, int y, int delta);
    void Drag(int dx, int dy);
    void Key(PaneKey key);

    // ---- what it shows ----
    bool Shown() const { return shown_; }
    PaneState State() const;
    // The picture shown; null unless State() is Picture.
    const render::Preview* Picture() const { return state_ == PaneState::Picture ? picture_.get() : nullptr; }
    // Why there is no picture (Japanese), for State() Failed; the wait's text for Building.
    const std::string& Message() const { return message_; }
    const PaneTransform& Transform() const { return transform_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    std::vector<LegendEntry> Legend() const;
    // Pictures kept (the one shown included), and the builds the worker ran.
    std::size_t KeptCount() const { return kept_.size(); }
    int Builds() const { return builds_; }

private:
    struct Kept {
        std::filesystem::path file;
        std::shared_ptr<const render::Preview> picture;  // null for a failure
        std::string failure;
        std::size_t bytes = 0;
    };
    struct Job {
        std::uint64_t generation = 0;
        std::filesystem::path file;
    };

    void Request();
    void Built(std::uint64_t generation, Kept kept);
    void ShowKept(const Kept& kept);
    void Trim();
    void Fit();
    void ZoomAbout(double x, double y, double factor);
    void Changed();
    void Work();

    FormView& view_;
    FileSystem& files_;
    bool shown_ = false;
    int width_ = 0;
    int height_ = 0;
    std::filesystem::path selected_;
    PaneState state_ = PaneState::Empty;
    std::shared_ptr<const render::Preview> picture_;
    std::string message_;
    PaneTransform transform_;
    double fitScale_ = 1;
    bool fitted_ = true;
    std::list<Kept> kept_;  // most recently shown first
    int builds_ = 0;

    std::uint64_t generation_ = 0;  // of the build the pane waits for
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Job> pending_;
    bool stopping_ = false;
    std::thread worker_;
    std::shared_ptr<PreviewPane*> alive_;
};

}  // namespace quellmark
