// The image section: image bytes go from the drawing to program-named temp files on reading and
// come back on writing for the images that texts still refer to.
#include "images.h"

#include "../app/Func_.h"
#include "archive.h"

#include <atomic>
#include <string>

namespace quellmark {

namespace {

constexpr std::string_view kImageReference = "^@BM%temp%";

// The fewest bytes an image entry takes: an empty name and its size.
constexpr std::size_t kMinImageBytes = 1 + 4;

std::atomic<std::uint64_t> gTempFileNumber{0};

// Creates a new temp file whose name no other file in the folder has.
std::unique_ptr<OutputFile> CreateTempFile(ImageStore& store, std::filesystem::path& path,
                                           std::error_code& ec) {
    std::unique_ptr<OutputFile> file;
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = store.TempFolder / ("qm" + std::to_string(ProcessId()) + "-" +
                                   std::to_string(++gTempFileNumber) + ".img");
        ec = store.Fs->createNew(path, file);
        if (ec != std::errc::file_exists) break;
    }
    return file;
}

void KeepImageBytes(ImageStore& store, TBindImageType& entry, std::span<const std::uint8_t> bytes,
                    std::size_t offset) {
    auto fail = [&](std::error_code ec) {
        throw DrawingError("cannot keep image '" + entry.Name + "' in the temporary folder " +
                               store.TempFolder.string() + ": " + ErrorText(ec) + " at offset " +
                               std::to_string(offset) + " in the image section",
                           static_cast<std::int64_t>(offset));
    };
    if (store.TempFolder.empty()) fail(std::make_error_code(std::errc::no_such_file_or_directory));
    std::filesystem::path path;
    std::error_code ec;
    std::unique_ptr<OutputFile> file = CreateTempFile(store, path, ec);
    if (ec) fail(ec);
    entry.TempFile = path;
    ec = file->write(bytes);
    std::error_code closeError = file->close();
    if (!ec) ec = closeError;
    if (ec) fail(ec);
}

}  // namespace

void ClearImageList(ImageStore& store) { store.Images.clear(); }

void DeleteTempImages(ImageStore& store) {
    for (TBindImageType& entry : store.Images) {
        if (entry.TempFile.empty()) continue;
        (void)store.Fs->remove(entry.TempFile);
        entry.TempFile.clear();
    }
}

std::string_view ImageReferenceName(std::string_view text) {
    if (text.size() <= kImageReference.size() || !text.starts_with(kImageReference)) return {};
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) return {};
    return text.substr(kImageReference.size(), comma - kImageReference.size());
}

void ReadImageSection(ByteReader& in, ImageStore& store) {
    in.setSection("the image section");
    ClearImageList(store);
    const std::int32_t count = in.i32();
    if (count <= 0) return;
    if (static_cast<std::size_t>(count) > in.remaining() / kMinImageBytes) {
        in.fail("image count " + std::to_string(count) + " is more than the " +
                std::to_string(in.remaining()) + " bytes left can hold");
    }
    store.Images.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        TBindImageType& entry = store.Images.emplace_back();
        entry.Name = ReadArchiveString(in);
        entry.Size = in.i32();
        if (!entry.hasFile()) continue;  // no bytes belong to it
        const std::size_t offset = in.offset();
        const auto bytes = in.take(static_cast<std::size_t>(entry.Size));
        if (store.KeepBytes) KeepImageBytes(store, entry, bytes, offset);
    }
}

void FlagReferencedImages(ImageStore& store, const TEntityCollection& top,
                          const std::vector<TEntBlockDef>& blocks) {
    std::vector<std::string> upperNames;
    upperNames.reserve(store.Images.size());
    for (TBindImageType& entry : store.Images) {
        entry.Bind = false;
        upperNames.push_back(UpperSjis(entry.Name));
    }

    auto flagReferences = [&](const TEntityCollection& collection) {
        for (const TEntMoji& text : collection.Moji) {
            const std::string_view name = ImageReferenceName(text.Text);
            if (name.empty()) continue;
            const std::string upper = UpperSjis(name);
            for (std::size_t i = 0; i < upperNames.size(); ++i) {
                if (std::string_view(upperNames[i]).starts_with(upper)) {
                    store.Images[i].Bind = true;
                    break;
                }
            }
        }
    };
    flagReferences(top);
    for (const TEntBlockDef& def : blocks) flagReferences(def.Members);
}

void WriteImageSection(ByteWriter& out, ImageStore& store, const TEntityCollection& top,
                       const std::vector<TEntBlockDef>& blocks) {
    FlagReferencedImages(store, top, blocks);
    std::int32_t count = 0;
    for (TBindImageType& entry : store.Images) {
        if (entry.Bind && !(entry.hasFile() && !entry.TempFile.empty())) entry.Bind = false;
        if (entry.Bind) ++count;
    }

    out.i32(count);
    Bytes bytes;
    for (const TBindImageType& entry : store.Images) {
        if (!entry.Bind) continue;
        const std::uint64_t offset = out.offset();
        auto fail = [&](const std::string& why) {
            throw DrawingError("cannot write image '" + entry.Name + "': " + why + " at offset " +
                                   std::to_string(offset) + " in the image section",
                               static_cast<std::int64_t>(offset));
        };
        if (auto ec = store.Fs->readFile(entry.TempFile, bytes)) {
            fail("its temporary file cannot be read: " + ErrorText(ec));
        }
        if (bytes.size() != static_cast<std::size_t>(entry.Size)) {
            fail("its temporary file holds " + std::to_string(bytes.size()) + " bytes instead of " +
                 std::to_string(entry.Size));
        }
        WriteArchiveString(out, entry.Name);
        out.i32(entry.Size);
        out.bytes(bytes);
    }
}

}  // namespace quellmark

namespace quellmark {

ImageStore& DefaultImageStore() {
    static ImageStore store;
    return store;
}

void ClearImageList() { ClearImageList(DefaultImageStore()); }

void DeleteTempImages() { DeleteTempImages(DefaultImageStore()); }

}  // namespace quellmark
