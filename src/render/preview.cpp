// Reading a drawing for its preview, the way a conversion reads it.
#include "preview.h"

#include "../drawing/dimensions.h"
#include "../drawing/images.h"
#include "../jws/jwsunit.h"
#include "../jww/jwwunit.h"

namespace quellmark::render {

namespace {

// Reads the document, marks it when asked, checks the bytes after its end as convert does,
// and builds the list.
template <typename Document, typename Read>
bool PreviewOf(Document& doc, std::span<const std::uint8_t> bytes, const Read& read, const PreviewRequest& request,
               Preview& out, Problem& problem) {
    Failure failure;
    const bool ok = read(doc, bytes, failure);
    out.version = doc.Header.Version;
    if (!ok) {
        problem = ProblemOf(failure);
        return false;
    }
    if (doc.TrailingBytes > 0 && !request.dropTrailingBytes) {
        problem = BytesAfterEndProblem(bytes.size() - doc.TrailingBytes, doc.TrailingBytes);
        return false;
    }
    if (request.converted) (void)AddDimensionAttributes(doc, doc.Header.Version);
    out.converted = request.converted;
    std::string why;
    if (!BuildDisplayList(ViewOf(doc), {out.convertible, request.limits}, out.list, why)) {
        problem = MakeProblem(ProblemKind::TooLarge, why);
        return false;
    }
    return true;
}

}  // namespace

bool BuildPreviewOfBytes(std::span<const std::uint8_t> bytes, DrawingFormat format, bool convertible,
                         const PreviewRequest& request, Preview& out, Problem& problem) {
    out = Preview{};
    out.format = format;
    out.convertible = convertible;
    if (format == DrawingFormat::Jww) {
        JwwDocument doc;
        // Only the images' names and sizes are wanted: no image bytes, no temp file.
        ImageStore images(RealFileSystem());
        images.KeepBytes = false;
        return PreviewOf(
            doc, bytes,
            [&](JwwDocument& d, std::span<const std::uint8_t> b, Failure& f) { return ReadJwwBytes(d, images, b, &f); },
            request, out, problem);
    }
    if (format == DrawingFormat::Jws) {
        JwsDocument doc;
        return PreviewOf(
            doc, bytes,
            [](JwsDocument& d, std::span<const std::uint8_t> b, Failure& f) { return ReadJwsBytes(d, b, &f); }, request,
            out, problem);
    }
    problem = MakeProblem(ProblemKind::NotADrawing, "not a JWW or JWS drawing");
    return false;
}

bool BuildPreview(FileSystem& fs, const std::filesystem::path& path, const PreviewRequest& request, Preview& out,
                  Problem& problem) {
    out = Preview{};
    FileBytes bytes;
    DrawingRead read;
    Failure failure;
    if (!ReadDrawing(fs, path, DrawingFormat::None, bytes, read, &failure)) {
        out.format = read.format;
        out.version = read.version;
        problem = ProblemOf(failure);
        return false;
    }
    read.file.reset();
    return BuildPreviewOfBytes(bytes, read.format, FormatOfName(path) == read.format, request, out, problem);
}

std::size_t HeldBytes(const Preview& preview) {
    const DisplayList& list = preview.list;
    std::size_t bytes = sizeof(Preview) + list.primitives.capacity() * sizeof(Primitive) +
                        list.points.capacity() * sizeof(Point) + list.arcs.capacity() * sizeof(EllipseArc) +
                        list.texts.capacity() * sizeof(TextRun);
    for (const TextRun& text : list.texts) bytes += text.bytes.capacity();
    return bytes;
}

}  // namespace quellmark::render
