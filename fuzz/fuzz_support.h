// What the fuzz targets that convert share: a violation that aborts, the bytes a writer gives,
// and an image store whose temp folder is this process's own, emptied after every input.
#pragma once

#include "drawing/bytes.h"
#include "drawing/images.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

#include <unistd.h>

namespace quellmark::fuzz {

namespace fs = std::filesystem;

[[noreturn]] inline void Violated(const std::string& what) {
    std::fprintf(stderr, "violation: %s\n", what.c_str());
    std::abort();
}

// The bytes write puts out; a drawing that was read must always be writable.
inline Bytes Written(const std::function<void(ByteWriter&)>& write) {
    MemorySink sink;
    ByteWriter out(sink);
    try {
        write(out);
        out.flush();
    } catch (const DrawingError& e) {
        Violated("a drawing that was read cannot be written: " + e.failure().message());
    }
    return std::move(sink.data);
}

// A temp folder of this process under the system temp folder, removed when the process exits.
class TempFolder {
public:
    TempFolder() {
        std::error_code ec;
        path_ = fs::temp_directory_path(ec) / ("quellmark-fuzz-" + std::to_string(::getpid()));
        fs::remove_all(path_, ec);
        if (!fs::create_directories(path_, ec)) Violated("cannot create " + path_.string());
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

inline ImageStore& Images() {
    static TempFolder folder;
    static ImageStore store = [] {
        ImageStore s{RealFileSystem()};
        s.KeepBytes = true;
        s.TempFolder = folder.path();
        return s;
    }();
    return store;
}

// Deletes this input's temp images whatever happened, and checks that none is left behind.
struct ImageCleanup {
    ~ImageCleanup() {
        ImageStore& store = Images();
        DeleteTempImages(store);
        ClearImageList(store);
        std::error_code ec;
        if (!fs::is_empty(store.TempFolder, ec) || ec) {
            Violated("temp images are left in " + store.TempFolder.string());
        }
    }
};

}  // namespace quellmark::fuzz
