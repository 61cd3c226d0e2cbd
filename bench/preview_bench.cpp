// The preview pane's speed on drawings just under 1 MB of each shape users keep: a selection
// change to a picture ready to paint, through the form's pane and its worker (target under
// 100 ms), and one paint of that picture at a pane's usual size with a painter that does what a
// window's painter does besides the toolkit's own drawing (mapping points, flattening arcs,
// texts to UTF-8). The memory a preview takes is preview-memory's.
#include "preview_shapes.h"

#include "form/MainForm.h"
#include "form/PreviewPane.h"
#include "platform/cp932.h"
#include "render/geometry.h"

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <deque>
#include <mutex>

using namespace quellmark;

namespace {

constexpr int kPaneWidth = 800;
constexpr int kPaneHeight = 450;

// A window that shows nothing: what the pane posts runs when the benchmark waits for it.
class PostingView final : public FormView {
public:
    void Post(std::function<void()> call) override {
        {
            std::lock_guard lock(mutex_);
            posted_.push_back(std::move(call));
        }
        wake_.notify_one();
    }
    // Runs what the worker posts, as the window's thread would, until the pane has a picture.
    void RunUntilPicture(const PreviewPane& pane) {
        while (pane.State() != PaneState::Picture && pane.State() != PaneState::Failed) {
            std::function<void()> call;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return !posted_.empty(); });
                call = std::move(posted_.front());
                posted_.pop_front();
            }
            call();
        }
    }

    void Breathe() override {}
    std::vector<ScreenRect> Screens() override { return {{0, 0, 1920, 1080}}; }
    FrameMargins Frame() override { return {}; }
    void ShowStatus(const std::string&, bool) override {}
    void ShowSearchFolder(const std::string&) override {}
    void ShowDestFolder(const std::string&) override {}
    std::string DestFieldText() override { return {}; }
    void ShowFileType(int) override {}
    void ShowActivity(FormActivity) override {}
    FormControl FocusedControl() override { return FormControl::None; }
    void Focus(FormControl) override {}
    void ShowProgress(int, int) override {}
    void ApplyLayout(const FormLayout&) override {}
    FormLayout CurrentLayout() override { return {}; }
    void ClearTree() override {}
    void AddFolder(int, int, const std::string&) override {}
    void ShowTree(const std::vector<FolderNode>&) override {}
    void ClearList() override {}
    void AddRows(std::size_t) override {}
    void ShowRows() override {}
    void ShowColumn(int) override {}
    int SizeColumnPixels() override { return 0; }
    std::vector<int> SelectedRows() override { return {}; }
    int CurrentRow() override { return -1; }
    void SelectRows(const std::vector<int>&, int) override {}
    void ShowSortOrder(int, bool) override {}
    void ShowPreviewPane(bool) override {}
    void ShowPreview() override {}
    void CloseWindow() override {}

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> posted_;
};

// What a window's painter does with each primitive before its toolkit draws: every point
// through the pane's transform, arcs flattened to a quarter pixel, texts big enough to show
// turned into UTF-8.
class CountingPainter final : public render::Painter {
public:
    explicit CountingPainter(const PaneTransform& transform) : transform_(transform) {}
    std::size_t primitives = 0;
    std::size_t points = 0;
    double sum = 0;  // of the mapped coordinates, so none of the work is left out

    void polyline(const render::Primitive&, std::span<const render::Point> line) override { Map(line); }
    void polygon(const render::Primitive&, std::span<const render::Point> area) override { Map(area); }
    void arc(const render::Primitive&, const render::EllipseArc& arc) override {
        arcPoints_.clear();
        render::FlattenArc(arc, 0.25 / transform_.scale, arcPoints_);
        Map(arcPoints_);
    }
    void pointMark(const render::Primitive&, render::Point at) override { Map({&at, 1}); }
    void text(const render::Primitive&, const render::TextRun& run) override {
        if (run.height * transform_.scale < 1.5) {
            ++primitives;  // too small to show: the window skips it
            return;
        }
        sum += static_cast<double>(Cp932ToUtf8(run.bytes).size());
        Map({&run.at, 1});
    }

private:
    void Map(std::span<const render::Point> line) {
        ++primitives;
        points += line.size();
        for (const render::Point& p : line) {
            const render::Point at = transform_.toPane(p);
            sum += at.x + at.y;
        }
    }

    const PaneTransform& transform_;
    std::vector<render::Point> arcPoints_;
};

const std::vector<qmbench::PreviewDrawing>& Drawings() {
    static const auto drawings =
        qmbench::PreviewDrawings(std::filesystem::temp_directory_path() / "quellmark-preview-bench");
    return drawings;
}

const qmbench::PreviewDrawing& DrawingOf(const std::string& name) {
    for (const qmbench::PreviewDrawing& d : Drawings()) {
        if (d.name == name) return d;
    }
    throw std::runtime_error("no drawing " + name);
}

// A selection change in a shown pane of the usual size with nothing kept, until the pane holds
// the picture the window is told to paint.
void BM_SelectToPicture(benchmark::State& state, const std::string& name) {
    const qmbench::PreviewDrawing& drawing = DrawingOf(name);
    PostingView view;
    PreviewPane pane(view, RealFileSystem());
    pane.SetShown(true);
    pane.Resized(kPaneWidth, kPaneHeight);
    for (auto _ : state) {
        state.PauseTiming();
        pane.Select({});
        pane.Forget();
        state.ResumeTiming();
        pane.Select(drawing.file);
        view.RunUntilPicture(pane);
    }
    if (!pane.Picture()) state.SkipWithError(pane.Message().c_str());
    state.counters["file_kB"] = static_cast<double>(drawing.bytes) / 1e3;
    if (pane.Picture()) {
        state.counters["primitives"] = static_cast<double>(pane.Picture()->list.primitives.size());
        state.counters["held_kB"] = static_cast<double>(render::HeldBytes(*pane.Picture())) / 1e3;
    }
}

// One paint of the fitted picture, both passes over what the pane shows, as the Qt pane paints.
void BM_PaintOnce(benchmark::State& state, const std::string& name) {
    PostingView view;
    PreviewPane pane(view, RealFileSystem());
    pane.SetShown(true);
    pane.Resized(kPaneWidth, kPaneHeight);
    pane.Select(DrawingOf(name).file);
    view.RunUntilPicture(pane);
    const render::Preview* picture = pane.Picture();
    if (!picture) {
        state.SkipWithError(pane.Message().c_str());
        return;
    }
    const render::Rect visible = pane.Transform().visible(kPaneWidth, kPaneHeight);
    CountingPainter painter(pane.Transform());
    for (auto _ : state) {
        render::Paint(picture->list, painter, render::PaintPass::Plain, &visible);
        render::Paint(picture->list, painter, render::PaintPass::Dimensions, &visible);
        benchmark::DoNotOptimize(painter.sum);
    }
    const auto paints = static_cast<double>(state.iterations());
    state.counters["drawn"] = static_cast<double>(painter.primitives) / paints;
    state.counters["points"] = static_cast<double>(painter.points) / paints;
}

}  // namespace

#define PREVIEW_CASES(shape, file)                                                                                 \
    BENCHMARK_CAPTURE(BM_SelectToPicture, shape, std::string(file))->Unit(benchmark::kMillisecond)->UseRealTime(); \
    BENCHMARK_CAPTURE(BM_PaintOnce, shape, std::string(file))->Unit(benchmark::kMillisecond)

PREVIEW_CASES(jww_entities, "entities.jww");
PREVIEW_CASES(jww_texts, "texts.jww");
PREVIEW_CASES(jww_mixed_blocks, "mixed.jww");
PREVIEW_CASES(jww_images, "images.jww");
PREVIEW_CASES(jws_mixed_blocks, "mixed.jws");

BENCHMARK_MAIN();
