// How fast the folder search goes through a tree of 27,931 folders (folder_tree.h) on the real
// file system, as the window's tree takes it: every batch taken as soon as it is told of.
// The window itself, and how long it goes without answering meanwhile, is list-bench's.
//   search_bench [--tree FOLDER] [--benchmark_...]   (--tree: searches that folder instead of a new tree)
#include "folder_tree.h"

#include "search_to_end.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path given;  // a tree to search instead of a new one

const fs::path& Tree() {
    static const fs::path root = [] {
        if (!given.empty()) return given;
        const fs::path made = fs::temp_directory_path() / ("search-bench-" + std::to_string(::getpid())) / "tree";
        qmbench::MakeFolderTree(made);
        return made;
    }();
    return root;
}

void BM_SearchFolders(benchmark::State& state) {
    const fs::path& root = Tree();
    std::size_t folders = 0;
    for (auto _ : state) {
        folders = qmbench::SearchToEnd(root).folders;
    }
    state.counters["folders"] = static_cast<double>(folders);
    state.counters["folders/s"] = benchmark::Counter(
        static_cast<double>(folders) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SearchFolders)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) != "--tree") continue;
        given = argv[i + 1];
        for (int j = i; j + 2 <= argc; ++j) argv[j] = argv[j + 2];  // the rest is Google Benchmark's
        argc -= 2;
        break;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    if (given.empty()) fs::remove_all(Tree().parent_path(), ec);
    return 0;
}
