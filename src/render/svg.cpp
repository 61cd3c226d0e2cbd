// Writing a display list as SVG. The list's y axis points up, SVG's down: every y is negated
// here, and angles turn the other way.
#include "svg.h"

#include "../platform/cp932.h"
#include "styles.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <numbers>
#include <tuple>

namespace quellmark::render {

namespace {

constexpr double kDegree = std::numbers::pi / 180;

void Num(std::string& out, double v) {
    char buffer[48];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 3);
    if (ec != std::errc()) {
        out += '0';
        return;
    }
    const char* last = end;
    while (last > buffer && last[-1] == '0') --last;
    if (last > buffer && last[-1] == '.') --last;
    const std::string_view text(buffer, static_cast<std::size_t>(last - buffer));
    out += text == "-0" || text.empty() ? std::string_view("0") : text;
}

void Color(std::string& out, std::uint32_t rgb) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '#';
    for (int shift = 20; shift >= 0; shift -= 4) out += kHex[(rgb >> shift) & 0xF];
}

void XY(std::string& out, Point p) {
    Num(out, p.x);
    out += ' ';
    Num(out, -p.y);
}

// The stroke classes of the document, one per colour, width and line type in use.
class StrokeStyles {
public:
    // The colour and width a primitive is stroked with: a dimension's in its mark's colour.
    static std::pair<std::uint32_t, float> Look(const Primitive& p) {
        const StrokeLook look = LookOf(p);
        return {look.color, look.width};
    }

    std::size_t classOf(const Primitive& p) {
        const auto [color, width] = Look(p);
        const std::uint8_t lineType = DashPattern(p.lineType).empty() ? 1 : p.lineType;
        const auto key = std::make_tuple(color, width, lineType);
        return classes_.try_emplace(key, classes_.size()).first->second;
    }

    void write(std::string& out) const {
        for (const auto& [key, index] : classes_) {
            const auto [color, width, lineType] = key;
            out += ".s";
            out += std::to_string(index);
            out += "{stroke:";
            Color(out, color);
            out += ";stroke-width:";
            Num(out, std::max(1.0, width * kPixelsPerMm));
            const auto dashes = DashPattern(lineType);
            if (!dashes.empty()) {
                out += ";stroke-dasharray:";
                for (std::size_t i = 0; i < dashes.size(); ++i) {
                    if (i > 0) out += ',';
                    Num(out, dashes[i] * kPixelsPerMm);
                }
            }
            out += "}\n";
        }
    }

private:
    std::map<std::tuple<std::uint32_t, float, std::uint8_t>, std::size_t> classes_;
};

class SvgPainter final : public Painter {
public:
    SvgPainter(std::string& out, StrokeStyles& styles, double zoom) : out_(out), styles_(styles), zoom_(zoom) {}

    void polyline(const Primitive& p, std::span<const Point> points) override {
        open(p);
        for (std::size_t i = 0; i < points.size(); ++i) {
            out_ += i == 0 ? "M" : " L";
            XY(out_, points[i]);
        }
        if (p.closed) out_ += 'Z';
        out_ += "\"/>\n";
    }

    void polygon(const Primitive& p, std::span<const Point> points) override {
        out_ += "<path style=\"fill:";
        Color(out_, StrokeStyles::Look(p).first);
        out_ += "\" d=\"";
        for (std::size_t i = 0; i < points.size(); ++i) {
            out_ += i == 0 ? "M" : " L";
            XY(out_, points[i]);
        }
        out_ += "Z\"/>\n";
    }

    void arc(const Primitive& p, const EllipseArc& a) override {
        open(p);
        out_ += 'M';
        XY(out_, a.startPoint());
        // Pieces of at most half a turn, so no piece is ambiguous to SVG's arc command.
        const double sweep = std::clamp(a.sweep, -2 * std::numbers::pi, 2 * std::numbers::pi);
        const int pieces = std::abs(sweep) > std::numbers::pi ? 2 : 1;
        for (int i = 1; i <= pieces; ++i) {
            out_ += " A";
            Num(out_, a.rx);
            out_ += ' ';
            Num(out_, a.ry);
            out_ += ' ';
            Num(out_, -a.rotation / kDegree);
            // Counter-clockwise with y up is clockwise on the page: SVG's sweep flag 1.
            out_ += sweep >= 0 ? " 0 1 " : " 0 0 ";
            XY(out_, a.at(a.start + sweep * i / pieces));
        }
        out_ += "\"/>\n";
    }

    void pointMark(const Primitive& p, Point at) override {
        if (p.temporary) {
            // A temporary point is not printed by the CAD program: a small grey cross.
            const double h = kPointMarkSize * zoom_ / 2;
            out_ += "<path class=\"temp\" d=\"M";
            XY(out_, {at.x - h, at.y - h});
            out_ += " L";
            XY(out_, {at.x + h, at.y + h});
            out_ += " M";
            XY(out_, {at.x - h, at.y + h});
            out_ += " L";
            XY(out_, {at.x + h, at.y - h});
            out_ += "\"/>\n";
            return;
        }
        // A dot: a path of no length with round caps, as wide as a point mark.
        out_ += "<path class=\"pt\" style=\"stroke:";
        Color(out_, StrokeStyles::Look(p).first);
        out_ += "\" d=\"M";
        XY(out_, at);
        out_ += " h0\"/>\n";
    }

    void text(const Primitive& p, const TextRun& run) override {
        const std::string utf8 = XmlText(Cp932ToUtf8(run.bytes));
        if (utf8.empty()) return;
        out_ += "<text x=\"";
        Num(out_, run.at.x);
        out_ += "\" y=\"";
        Num(out_, -run.at.y);
        out_ += "\" font-size=\"";
        Num(out_, run.height);
        out_ += "\" fill=\"";
        Color(out_, StrokeStyles::Look(p).first);
        if (run.advance > 0) {
            out_ += "\" textLength=\"";
            Num(out_, run.advance);
            out_ += "\" lengthAdjust=\"spacingAndGlyphs";
        }
        if (run.angle != 0) {
            out_ += "\" transform=\"rotate(";
            Num(out_, -run.angle);
            out_ += ' ';
            XY(out_, run.at);
            out_ += ')';
        }
        out_ += "\">";
        out_ += utf8;
        out_ += "</text>\n";
    }

private:
    void open(const Primitive& p) {
        out_ += "<path class=\"s";
        out_ += std::to_string(styles_.classOf(p));
        out_ += "\" d=\"";
    }

    std::string& out_;
    StrokeStyles& styles_;
    double zoom_;
};

// Decodes one UTF-8 sequence at text[i] (already well-formed, from the decoder or the caller's
// own checks) into its code point; advances i.
char32_t NextCodePoint(std::string_view text, std::size_t& i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const int length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (c >= 0x80 && (c < 0xC2 || c > 0xF4 || i + static_cast<std::size_t>(length) > text.size())) {
        ++i;
        return 0xFFFD;
    }
    char32_t code = length == 1 ? c : length == 2 ? (c & 0x1F) : length == 3 ? (c & 0x0F) : (c & 0x07);
    for (int k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        code = (code << 6) | (next & 0x3F);
    }
    i += static_cast<std::size_t>(length);
    return code;
}

bool XmlAllows(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

void Legend(std::string& out, const DisplayList& list, const SvgOptions& options, const Rect& band, double size) {
    struct Row {
        DimensionMark mark;
        const char* what;
    };
    const Row rows[] = {{DimensionMark::ToMark, "marked by this conversion"},
                        {DimensionMark::Marked, options.converted ? "marked" : "already marked"},
                        {DimensionMark::Unmarked, "left unmarked (convert does not take this file name)"}};
    const double x = band.minX + size;
    double y = band.maxY - 1.5 * size;  // baselines, y up
    out += "<g id=\"legend\" font-size=\"";
    Num(out, size);
    out += "\">\n<rect id=\"legend-area\" x=\"";
    Num(out, band.minX);
    out += "\" y=\"";
    Num(out, -band.maxY);
    out += "\" width=\"";
    Num(out, band.width());
    out += "\" height=\"";
    Num(out, band.height());
    out += "\" fill=\"none\"/>\n<text x=\"";
    Num(out, x);
    out += "\" y=\"";
    Num(out, -y);
    out += "\" fill=\"#000000\">";
    out += XmlText(options.title);
    out += options.converted ? " (as converted)" : "";
    out += " &#8212; paper ";
    out += XmlText(list.paperName);
    out += "</text>\n";
    for (const Row& row : rows) {
        const std::int64_t count = list.dimensions[static_cast<std::size_t>(row.mark)];
        if (row.mark == DimensionMark::Unmarked && count == 0) continue;
        if (row.mark == DimensionMark::ToMark && options.converted) continue;
        y -= 1.5 * size;
        out += "<rect x=\"";
        Num(out, x);
        out += "\" y=\"";
        Num(out, -(y + size / 2));
        out += "\" width=\"";
        Num(out, 2 * size);
        out += "\" height=\"";
        Num(out, size / 4);
        out += "\" style=\"fill:";
        Color(out, MarkColor(row.mark));
        out += "\"/>\n<text x=\"";
        Num(out, x + 2.5 * size);
        out += "\" y=\"";
        Num(out, -y);
        out += "\" fill=\"#000000\">";
        out += std::to_string(count);
        out += count == 1 ? " dimension " : " dimensions ";
        out += row.what;
        out += "</text>\n";
    }
    out += "</g>\n";
}

}  // namespace

std::string XmlText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t from = i;
        const char32_t c = NextCodePoint(utf8, i);
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default:
                if (XmlAllows(c) && c != 0xFFFD) {
                    out.append(utf8.substr(from, i - from));
                } else {
                    out += "\xEF\xBF\xBD";
                }
        }
    }
    return out;
}

std::string WriteSvg(const DisplayList& list, const SvgOptions& options) {
    // The picture: the paper and everything drawn, with a margin; a band for the legend below.
    Rect view = list.paper;
    view.unite(list.bounds);
    const double margin = std::max(2.0, 0.02 * std::max(view.width(), view.height()));
    view.add({view.minX - margin, view.minY - margin});
    view.add({view.maxX + margin, view.maxY + margin});
    // On a drawing larger than its paper, a temporary point's cross grows as if the drawing
    // were printed to fit the paper.
    const double zoom = std::max(
        {1.0, view.width() / std::max(list.paper.width(), 1.0), view.height() / std::max(list.paper.height(), 1.0)});
    const double legendSize = std::max(2.5, view.width() / 70);
    Rect band;
    band.add({view.minX, view.minY});
    band.add({view.maxX, view.minY - legendSize * 6.5});
    view.unite(band);

    std::string out;
    out.reserve(256 + list.primitives.size() * 72);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"";
    Num(out, view.minX);
    out += ' ';
    Num(out, -view.maxY);
    out += ' ';
    Num(out, view.width());
    out += ' ';
    Num(out, view.height());
    out += "\">\n<title>";
    out += XmlText(options.title);
    out += "</title>\n";

    std::string body;
    body.reserve(list.primitives.size() * 72);
    StrokeStyles styles;
    SvgPainter painter(body, styles, zoom);
    // Dimensions over everything else, so their colours show.
    Paint(list, painter, PaintPass::Plain);
    Paint(list, painter, PaintPass::Dimensions);

    out += "<style>\n";
    out += "path{fill:none;stroke-linecap:round;stroke-linejoin:round;vector-effect:non-scaling-stroke}\n";
    out += "path.pt{stroke-width:";
    Num(out, kPointMarkSize * kPixelsPerMm);
    out += "}\npath.temp{stroke-width:1;stroke:";
    Color(out, kTemporaryPointColor);
    out += "}\ntext{font-family:";
    out += kFontFamilies;
    out += ";white-space:pre}\n";
    styles.write(out);
    out += "</style>\n<rect x=\"";
    Num(out, view.minX);
    out += "\" y=\"";
    Num(out, -view.maxY);
    out += "\" width=\"";
    Num(out, view.width());
    out += "\" height=\"";
    Num(out, view.height());
    out += "\" fill=\"#ffffff\"/>\n<rect id=\"paper\" x=\"";
    Num(out, list.paper.minX);
    out += "\" y=\"";
    Num(out, -list.paper.maxY);
    out += "\" width=\"";
    Num(out, list.paper.width());
    out += "\" height=\"";
    Num(out, list.paper.height());
    out += "\" fill=\"none\" stroke=\"";
    Color(out, kPaperEdgeColor);
    out += "\" stroke-width=\"1\" vector-effect=\"non-scaling-stroke\"/>\n<g id=\"drawing\">\n";
    out += body;
    out += "</g>\n";
    Legend(out, list, options, band, legendSize);
    out += "</svg>\n";
    return out;
}

}  // namespace quellmark::render
