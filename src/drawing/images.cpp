// The image section: image bytes go from the drawing to program-named temp files on reading and
// come back on writing for the images that texts still refer to.
#include "images.h"

#include "../platform/system.h"
#include "Func_.h"
#include "archive.h"
#include "drawing_file.h"
#include "scan.h"

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

// The image file being written while the image section is read.
class ImageFileWriter {
public:
    explicit ImageFileWriter(ImageStore& store) : store_(store) {}

    // Appends the image's bytes and returns where they start; throws DrawingError when the temp
    // file cannot be made or written.
    std::int64_t add(const TBindImageType& entry, std::span<const std::uint8_t> bytes,
                     std::size_t offset) {
        try {
            if (!writer_) open();
            const auto at = static_cast<std::int64_t>(writer_->offset());
            writer_->bytes(bytes);
            return at;
        } catch (const DrawingError& e) {
            fail(entry, e.failure(), offset);
        }
    }

    void finish(const TBindImageType* last, std::size_t offset) {
        if (!writer_) return;
        try {
            writer_->flush();
        } catch (const DrawingError& e) {
            fail(*last, e.failure(), offset);
        }
        if (auto ec = file_->close()) {
            fail(*last, MakeFailure(FailureKind::CannotWrite, "cannot close: " + ErrorText(ec), -1, Section::None, ec),
                 offset);
        }
    }

private:
    void open() {
        if (store_.TempFolder.empty()) {
            const auto missing = std::make_error_code(std::errc::no_such_file_or_directory);
            throw DrawingError(FailureKind::CannotWrite, ErrorText(missing), -1, Section::None, missing);
        }
        std::error_code ec;
        file_ = CreateTempFile(store_, store_.BytesFile, ec);
        if (ec) {
            store_.BytesFile.clear();
            throw DrawingError(FailureKind::CannotWrite, ErrorText(ec), -1, Section::None, ec);
        }
        sink_ = std::make_unique<FileSink>(*file_);
        writer_ = std::make_unique<ByteWriter>(*sink_);
    }

    // The image's place in the drawing is what the user can look for; where the temp file's
    // write stopped is not, so only the cause is kept of the inner failure.
    [[noreturn]] void fail(const TBindImageType& entry, const Failure& cause, std::size_t offset) {
        throw DrawingError(FailureKind::CannotWrite,
                           "cannot keep image '" + entry.Name + "' in the temporary folder " +
                               store_.TempFolder.string() + ": " + cause.detail,
                           static_cast<std::int64_t>(offset), Section::ImageSection, cause.error);
    }

    ImageStore& store_;
    std::unique_ptr<OutputFile> file_;
    std::unique_ptr<FileSink> sink_;
    std::unique_ptr<ByteWriter> writer_;
};

}  // namespace

void ClearImageList(ImageStore& store) { store.Images.clear(); }

void DeleteTempImages(ImageStore& store) {
    // In the run's own temp folder, which goes with everything in it at the end of the run.
    if (!store.BytesFile.empty()) (void)store.Fs->remove(store.BytesFile);
    store.BytesFile.clear();
    for (TBindImageType& entry : store.Images) entry.Offset = -1;
}

std::string_view ImageReferenceName(std::string_view text) {
    if (text.size() <= kImageReference.size() || !text.starts_with(kImageReference)) return {};
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) return {};
    return text.substr(kImageReference.size(), comma - kImageReference.size());
}

namespace {

void CheckImageCount(const ByteReader& in, std::int32_t count) {
    if (static_cast<std::size_t>(count) > in.remaining() / kMinImageBytes) {
        in.fail("image count " + std::to_string(count) + " is more than the " +
                std::to_string(in.remaining()) + " bytes left can hold");
    }
}

}  // namespace

void ReadImageSection(ByteReader& in, ImageStore& store) {
    in.setSection(Section::ImageSection);
    ClearImageList(store);
    const std::int32_t count = in.i32();
    if (count <= 0) return;
    CheckImageCount(in, count);
    store.Images.reserve(static_cast<std::size_t>(count));
    ImageFileWriter file(store);
    const TBindImageType* lastKept = nullptr;
    for (std::int32_t i = 0; i < count; ++i) {
        TBindImageType& entry = store.Images.emplace_back();
        entry.Name = ReadArchiveString(in);
        entry.Size = in.i32();
        if (!entry.hasFile()) continue;  // no bytes belong to it
        const std::size_t offset = in.offset();
        const auto bytes = in.take(static_cast<std::size_t>(entry.Size));
        if (!store.KeepBytes) continue;
        entry.Offset = file.add(entry, bytes, offset);
        lastKept = &entry;
    }
    file.finish(lastKept, in.offset());
}

void ScanImageSection(ByteReader& in, ScanState& state) {
    in.setSection(Section::ImageSection);
    const std::size_t countAt = in.offset();
    const std::int32_t count = in.i32();
    if (count <= 0) {
        if (count < 0) state.change(ChangeKind::CountRewritten, countAt, 4, std::array<std::uint8_t, 4>{});
        return;
    }
    CheckImageCount(in, count);
    // Each entry with where it lies; what the writer keeps is known only once every entry is read.
    struct Entry {
        ScannedString name;
        std::size_t end;
        bool hasFile;
    };
    std::vector<Entry> entries;
    entries.reserve(static_cast<std::size_t>(count));
    std::vector<std::string> upperNames;
    upperNames.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        Entry entry{TakeArchiveString(in), 0, false};
        TBindImageType image;
        image.Name = entry.name.text;
        image.Size = in.i32();
        entry.hasFile = image.hasFile();
        if (entry.hasFile) in.skip(static_cast<std::size_t>(image.Size));  // no bytes belong to the others
        entry.end = in.offset();
        upperNames.push_back(UpperSjis(image.Name));
        entries.push_back(entry);
    }
    // The writer writes the images a text refers to that have bytes, and counts those.
    const std::vector<bool> bound = BindImages(upperNames, state.imageReferences);
    std::int32_t written = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (bound[i] && entries[i].hasFile) ++written;
    }
    if (written != count) {
        // The count follows from the images dropped, and is told with the first of them.
        std::size_t first = 0;
        while (entries[first].hasFile && bound[first]) ++first;
        const ChangeKind kind =
            entries[first].hasFile ? ChangeKind::UnreferencedImageDropped : ChangeKind::EmptyImageDropped;
        state.change(kind, countAt, 4, I32Bytes(written), false);
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        if (!entry.hasFile) {
            state.change(ChangeKind::EmptyImageDropped, entry.name.at, entry.end - entry.name.at, {});
        } else if (!bound[i]) {
            state.change(ChangeKind::UnreferencedImageDropped, entry.name.at, entry.end - entry.name.at, {});
        } else {
            KeepText(state, entry.name);  // the name is written as it stands
        }
    }
}

std::vector<bool> BindImages(const std::vector<std::string>& upperImageNames,
                             const std::vector<std::string>& upperReferences) {
    std::vector<bool> bound(upperImageNames.size(), false);
    for (const std::string& reference : upperReferences) {
        for (std::size_t i = 0; i < upperImageNames.size(); ++i) {
            if (std::string_view(upperImageNames[i]).starts_with(reference)) {
                bound[i] = true;
                break;
            }
        }
    }
    return bound;
}

void FlagReferencedImages(ImageStore& store, const TEntityCollection& top,
                          const std::vector<TEntBlockDef>& blocks) {
    std::vector<std::string> upperNames;
    upperNames.reserve(store.Images.size());
    for (const TBindImageType& entry : store.Images) upperNames.push_back(UpperSjis(entry.Name));
    std::vector<std::string> references;
    auto collect = [&](const TEntityCollection& collection) {
        for (const TEntMoji& text : collection.Moji) {
            const std::string_view name = ImageReferenceName(text.Text);
            if (!name.empty()) references.push_back(UpperSjis(name));
        }
    };
    collect(top);
    for (const TEntBlockDef& def : blocks) collect(def.Members);
    const std::vector<bool> bound = BindImages(upperNames, references);
    for (std::size_t i = 0; i < store.Images.size(); ++i) store.Images[i].Bind = bound[i];
}

void WriteImageSection(ByteWriter& out, ImageStore& store, const TEntityCollection& top,
                       const std::vector<TEntBlockDef>& blocks) {
    FlagReferencedImages(store, top, blocks);
    std::int32_t count = 0;
    for (TBindImageType& entry : store.Images) {
        if (entry.Bind && !(entry.hasFile() && entry.Offset >= 0)) entry.Bind = false;
        if (entry.Bind) ++count;
    }

    // The image file is read back whole once, before anything of the section is written, so a
    // file that cannot be read fails the drawing instead of leaving a half-written section.
    FileBytes& bytes = store.ReadBack;
    bytes.clear();
    if (count > 0) {
        if (auto ec = ReadWholeFile(*store.Fs, store.BytesFile, bytes)) {
            throw DrawingError(FailureKind::CannotWrite,
                               "cannot write the images: their temporary file cannot be read: " + ErrorText(ec),
                               static_cast<std::int64_t>(out.offset()), Section::ImageSection, ec);
        }
    }
    for (const TBindImageType& entry : store.Images) {
        if (entry.Bind && static_cast<std::uint64_t>(entry.Offset) + static_cast<std::uint64_t>(entry.Size) >
                              bytes.size()) {
            throw DrawingError(FailureKind::CannotWrite,
                               "cannot write image '" + entry.Name + "': its temporary file holds " +
                                   std::to_string(bytes.size()) + " bytes, too few for it",
                               static_cast<std::int64_t>(out.offset()), Section::ImageSection);
        }
    }

    out.i32(count);
    for (const TBindImageType& entry : store.Images) {
        if (!entry.Bind) continue;
        WriteArchiveString(out, entry.Name);
        out.i32(entry.Size);
        out.bytes(std::span<const std::uint8_t>(bytes).subspan(static_cast<std::size_t>(entry.Offset),
                                                               static_cast<std::size_t>(entry.Size)));
    }
}

}  // namespace quellmark
