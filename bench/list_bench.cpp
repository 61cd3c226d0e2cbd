// How fast the main window lists a folder of drawings with their memos, and how long the window
// goes without answering input meanwhile: for each COUNT, a folder of COUNT small JWW drawings
// (each with a memo) is listed as a click in the tree lists it, then sorted by name with two
// header clicks: the first finds the rows in order, the second turns every row round.
// Then a tree of 27,931 folders (folder_tree.h) is searched as a pick of the search folder starts
// it, until its whole tree shows.
// A timer that fires whenever the window's event loop turns measures the longest wait.
//   list-bench [--tree FOLDER] [COUNT...]   (default: 2000 20000; runs on Qt's offscreen platform;
//                                            --tree searches that folder instead of a new tree)
#include "builder.h"
#include "folder_tree.h"

#include "window/Unit1.h"
#include "form/FormDesktop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A user who picks the folder the picker proposes and never presses Escape.
class QuietPlatform final : public quellmark::FormDesktop {
public:
    std::string folder;
    quellmark::Answer MessageBox(const std::string&, const std::string&, quellmark::BoxKind,
                                 quellmark::Buttons) override {
        return quellmark::Answer::Ok;
    }
    void Beep() override {}
    void DismissBox() override {}
    std::string ChooseFolder(const std::string&, const std::string&) override { return folder; }
    void OpenWithShell(const std::filesystem::path&, std::function<void(quellmark::OpenProblem)>) override {}
    bool EscapeDown() override { return false; }
};

// A folder of count drawings, each with its own memo of about 30 characters.
void MakeFolder(const fs::path& folder, int count) {
    fs::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        qmtest::JwwPlan plan;
        plan.memo = "\x95\xBD\x96\xCA\x90\x7D No." + std::to_string(i) + " \x8A\x4B\x92\x69\x82\xCC\x8F\xDA\x8D\xD7";
        plan.entities = {qmtest::Line{}, qmtest::Dimension{}};
        const qmtest::Bytes bytes = qmtest::BuildJww(plan);
        std::ofstream out(folder / ("drawing-" + std::to_string(count - i) + ".jww"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
}

// The longest time between two turns of the event loop while it runs.
class StallMeter {
public:
    StallMeter() {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] { longest_ = std::max(longest_, since_.restart()); });
    }
    void Start() {
        longest_ = 0;
        since_.start();
        timer_.start();
    }
    qint64 Stop() {
        timer_.stop();
        return std::max(longest_, since_.elapsed());
    }

private:
    QTimer timer_;
    QElapsedTimer since_;
    qint64 longest_ = 0;
};

struct Figures {
    int rows = 0;
    double listSeconds = 0;
    qint64 listStallMs = 0;
    double sortSeconds = 0;
};

Figures Measure(const fs::path& folder) {
    QuietPlatform platform;
    platform.folder = folder.string() + "/";
    const fs::path appDir = folder.parent_path() / "app";
    fs::create_directories(appDir);
    quellmark::TForm1 form(platform, QString::fromStdString(appDir.string()) + "/", quellmark::RealFileSystem());
    form.show();
    QApplication::processEvents();
    form.MnuFileSFolderClick();

    Figures figures;
    StallMeter meter;
    QElapsedTimer clock;
    // The listing starts from the event loop, as a user's click does, so the meter sees every
    // turn of the loop.
    QTimer::singleShot(0, &form, [&] {
        meter.Start();
        clock.start();
        form.Form().FolderChosen(0);
        figures.listSeconds = clock.nsecsElapsed() / 1e9;
        figures.listStallMs = meter.Stop();
        QApplication::quit();
    });
    QApplication::exec();
    figures.rows = form.RowCount() - 1;

    const QHeaderView* header = form.StringGrid1->horizontalHeader();
    const int x = header->sectionViewportPosition(0) + header->sectionSize(0) / 2;
    form.StringGrid1MouseDown(x, header->height() / 2);
    clock.start();
    form.StringGrid1MouseDown(x, header->height() / 2);
    figures.sortSeconds = clock.nsecsElapsed() / 1e9;
    form.close();
    return figures;
}

struct SearchFigures {
    std::size_t folders = 0;
    double seconds = 0;
    qint64 stallMs = 0;
};

SearchFigures MeasureSearch(const fs::path& root) {
    QuietPlatform platform;
    platform.folder = root.string() + "/";
    // A program folder of its own, with no settings that would search a folder at start.
    const fs::path appDir = fs::temp_directory_path() / ("list-bench-app-" + std::to_string(::getpid()));
    fs::remove_all(appDir);
    fs::create_directories(appDir);
    quellmark::TForm1 form(platform, QString::fromStdString(appDir.string()) + "/", quellmark::RealFileSystem());
    form.show();
    QApplication::processEvents();

    SearchFigures figures;
    StallMeter meter;
    QElapsedTimer clock;
    QTimer done;
    done.setInterval(1);
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (!form.Form().FSearchReady || form.Form().Busy()) return;
        figures.seconds = clock.nsecsElapsed() / 1e9;
        figures.stallMs = meter.Stop();
        done.stop();
        QApplication::quit();
    });
    QTimer::singleShot(0, &form, [&] {
        meter.Start();
        clock.start();
        done.start();
        form.MnuFileSFolderClick();
    });
    QApplication::exec();
    figures.folders = form.Form().Tree().size();
    form.close();
    fs::remove_all(appDir);
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::vector<int> counts;
    fs::path given;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--tree" && i + 1 < argc) {
            given = argv[++i];
        } else {
            counts.push_back(std::stoi(argv[i]));
        }
    }
    if (counts.empty()) counts = {2000, 20000};

    const fs::path work = fs::temp_directory_path() / ("list-bench-" + std::to_string(::getpid()));
    std::printf("%8s  %10s  %14s  %13s\n", "drawings", "listing", "longest stall", "reverse sort");
    for (int count : counts) {
        const fs::path folder = work / std::to_string(count) / "drawings";
        MakeFolder(folder, count);
        const Figures f = Measure(folder);
        std::printf("%8d  %8.3f s  %11lld ms  %11.3f s\n", f.rows, f.listSeconds, static_cast<long long>(f.listStallMs),
                    f.sortSeconds);
        std::fflush(stdout);
    }

    const fs::path tree = given.empty() ? work / "tree" / "folders" : given;
    if (given.empty()) qmbench::MakeFolderTree(tree);
    const SearchFigures search = MeasureSearch(tree);
    std::printf("\n%8s  %10s  %14s\n", "folders", "search", "longest stall");
    std::printf("%8zu  %8.3f s  %11lld ms\n", search.folders, search.seconds, static_cast<long long>(search.stallMs));
    fs::remove_all(work);
    return 0;
}
