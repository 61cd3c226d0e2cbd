// The preview pane: the worker that builds display lists, the pictures kept, the transform and
// the legend.
#include "PreviewPane.h"

#include "ConvertReport.h"
#include "MainForm.h"
#include "WindowTexts.h"

#include "../render/styles.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quellmark {

namespace {

// The margin around the fitted drawing: 3% of the pane's smaller side, at least 8 pixels.
double MarginOf(int width, int height) { return std::max(8.0, 0.03 * std::min(width, height)); }

}  // namespace

render::Rect PaneTransform::visible(int width, int height) const {
    render::Rect r;
    r.add(toPaper(0, 0));
    r.add(toPaper(width, height));
    return r;
}

PreviewPane::PreviewPane(FormView& view, FileSystem& files)
    : view_(view), files_(files), alive_(std::make_shared<PreviewPane*>(this)) {}

PreviewPane::~PreviewPane() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        pending_.reset();
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

PaneState PreviewPane::State() const { return shown_ ? state_ : PaneState::Hidden; }

void PreviewPane::SetShown(bool shown) {
    if (shown_ == shown) return;
    shown_ = shown;
    Request();
}

void PreviewPane::Select(const std::filesystem::path& file) {
    if (file == selected_ && state_ != PaneState::Empty) return;
    selected_ = file;
    Request();
}

void PreviewPane::Forget() {
    kept_.clear();
    state_ = PaneState::Empty;
    picture_.reset();
    Request();
}

// Shows the selected drawing from what is kept, or asks the worker for it. A pane that is
// hidden, or has no size yet (a window without a pane), builds nothing.
void PreviewPane::Request() {
    ++generation_;  // whatever the worker finishes now is not wanted any more
    if (selected_.empty()) {
        state_ = PaneState::Empty;
        picture_.reset();
        message_.clear();
        Changed();
        return;
    }
    if (!shown_ || width_ <= 0 || height_ <= 0) {
        state_ = PaneState::Empty;
        picture_.reset();
        return;
    }
    const auto found = std::find_if(kept_.begin(), kept_.end(), [&](const Kept& k) { return k.file == selected_; });
    if (found != kept_.end()) {
        kept_.splice(kept_.begin(), kept_, found);
        ShowKept(kept_.front());
        return;
    }
    state_ = PaneState::Building;
    picture_.reset();
    message_ = texts::kPreviewBuilding;
    Changed();
    {
        std::lock_guard lock(mutex_);
        pending_ = Job{generation_, selected_};
        if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
    }
    wake_.notify_one();
}

// The worker: the newest job only, one at a time; its result goes to the window's thread.
void PreviewPane::Work() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || pending_; });
            if (stopping_) return;
            job = std::move(*pending_);
            pending_.reset();
        }
        Kept kept;
        kept.file = job.file;
        auto preview = std::make_shared<render::Preview>();
        Problem problem;
        if (render::BuildPreview(files_, job.file, {}, *preview, problem)) {
            kept.bytes = render::HeldBytes(*preview);
            kept.picture = std::move(preview);
        } else {
            kept.failure = FailureText(problem);
            kept.bytes = sizeof(Kept) + kept.failure.size();
        }
        view_.Post([alive = std::weak_ptr<PreviewPane*>(alive_), generation = job.generation,
                    kept = std::move(kept)]() mutable {
            if (const auto pane = alive.lock()) (*pane)->Built(generation, std::move(kept));
        });
    }
}

void PreviewPane::Built(std::uint64_t generation, Kept kept) {
    ++builds_;
    if (generation != generation_ || kept.file != selected_) return;  // a newer selection came first
    kept_.push_front(std::move(kept));
    Trim();
    ShowKept(kept_.front());
}

// Keeps the one shown and, besides it, the most recently shown that fit in kKeptBytes.
void PreviewPane::Trim() {
    std::size_t used = 0;
    auto it = kept_.begin();
    if (it != kept_.end()) ++it;
    while (it != kept_.end()) {
        used += it->bytes;
        it = used > kKeptBytes ? kept_.erase(it) : std::next(it);
    }
}

void PreviewPane::ShowKept(const Kept& kept) {
    picture_ = kept.picture;
    state_ = picture_ ? PaneState::Picture : PaneState::Failed;
    message_ = kept.failure;
    Fit();
    Changed();
}

void PreviewPane::Resized(int width, int height) {
    const bool first = width_ <= 0 || height_ <= 0;
    if (width == width_ && height == height_) return;
    // A zoomed view keeps the paper at its centre where it is; a fitted one is fitted again.
    const render::Point centre = transform_.toPaper(width_ / 2.0, height_ / 2.0);
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    if (first) {
        Request();
        return;
    }
    if (fitted_) {
        Fit();
    } else {
        transform_.x0 = width_ / 2.0 - centre.x * transform_.scale;
        transform_.y0 = height_ / 2.0 + centre.y * transform_.scale;
    }
    Changed();
}

// The paper, grown to the drawing's bounds where they reach beyond it, centred in the pane with
// a margin.
void PreviewPane::Fit() {
    fitted_ = true;
    render::Rect content;
    if (picture_) {
        content = picture_->list.paper;
        if (!picture_->list.bounds.empty()) content.unite(picture_->list.bounds);
    }
    if (content.empty() || width_ <= 0 || height_ <= 0) {
        transform_ = {1, width_ / 2.0, height_ / 2.0};
        fitScale_ = 1;
        return;
    }
    const double margin = MarginOf(width_, height_);
    const double room = std::max(1.0, std::min(width_ - 2 * margin, height_ - 2 * margin));
    const double across = std::max(width_ - 2 * margin, 1.0) / std::max(content.width(), 1e-9);
    const double down = std::max(height_ - 2 * margin, 1.0) / std::max(content.height(), 1e-9);
    fitScale_ = std::max(std::min(across, down), 1e-9 * room);
    transform_.scale = fitScale_;
    const double midX = (content.minX + content.maxX) / 2;
    const double midY = (content.minY + content.maxY) / 2;
    transform_.x0 = width_ / 2.0 - midX * fitScale_;
    transform_.y0 = height_ / 2.0 + midY * fitScale_;
}

void PreviewPane::ZoomAbout(double x, double y, double factor) {
    if (!Picture() || !std::isfinite(factor) || factor <= 0) return;
    const double scale = std::clamp(transform_.scale * factor, fitScale_ * kLeastZoom, fitScale_ * kMostZoom);
    const double applied = scale / transform_.scale;
    // The paper under (x, y) stays there.
    transform_.x0 = x - (x - transform_.x0) * applied;
    transform_.y0 = y - (y - transform_.y0) * applied;
    transform_.scale = scale;
    fitted_ = false;
    Changed();
}

void PreviewPane::Wheel(int x, int y, int delta) { ZoomAbout(x, y, std::pow(kZoomStep, delta / 120.0)); }

void PreviewPane::Drag(int dx, int dy) {
    if (!Picture()) return;
    transform_.x0 += dx;
    transform_.y0 += dy;
    fitted_ = false;
    Changed();
}

void PreviewPane::Key(PaneKey key) {
    if (!Picture()) return;
    // An arrow shows what lies that way: the picture moves an eighth of the pane the other way.
    const int across = std::max(1, width_ / 8);
    const int down = std::max(1, height_ / 8);
    switch (key) {
        case PaneKey::ZoomIn: ZoomAbout(width_ / 2.0, height_ / 2.0, kZoomStep); break;
        case PaneKey::ZoomOut: ZoomAbout(width_ / 2.0, height_ / 2.0, 1 / kZoomStep); break;
        case PaneKey::Left: Drag(across, 0); break;
        case PaneKey::Right: Drag(-across, 0); break;
        case PaneKey::Up: Drag(0, down); break;
        case PaneKey::Down: Drag(0, -down); break;
        case PaneKey::Fit:
            Fit();
            Changed();
            break;
    }
}

std::vector<LegendEntry> PreviewPane::Legend() const {
    std::vector<LegendEntry> legend;
    const render::Preview* picture = Picture();
    if (!picture) return legend;
    const auto& counts = picture->list.dimensions;
    const std::pair<render::DimensionMark, const char*> kinds[] = {
        {render::DimensionMark::ToMark, texts::kLegendToMark},
        {render::DimensionMark::Marked, texts::kLegendMarked},
        {render::DimensionMark::Unmarked, texts::kLegendUnmarked},
    };
    for (const auto& [mark, text] : kinds) {
        legend.push_back({render::MarkColor(mark),
                          std::string(text) + " " + std::to_string(counts[static_cast<std::size_t>(mark)])});
    }
    return legend;
}

void PreviewPane::Changed() {
    if (shown_) view_.ShowPreview();
}

}  // namespace quellmark
