// Draws the desktop's theme icons from the logo's shapes: PNG files at each size asked for and one
// scalable SVG, all from the one drawing below.
//
//   theme_icons DIR ID SIZE...    writes DIR/SIZExSIZE/apps/ID.png for each SIZE and
//                                 DIR/scalable/apps/ID.svg
//
// The drawing is the logo's: a serif "C", an eighth note and "BPM", on a white tile with a grey
// edge. Shapes are given in the logo's own 32 x 32 grid; each size is rendered from them afresh
// (8 x 8 samples a pixel), never scaled from a smaller picture. From 24 pixels down the letters
// "BPM" would be a smudge, so the "C" and the note fill the tile alone.
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kCanvas = 256;  // the SVG's units; every size is this canvas scaled

struct Colour {
    std::uint8_t r, g, b;
};
constexpr Colour kNavy{0x00, 0x00, 0x80};
constexpr Colour kBlack{0x00, 0x00, 0x00};
constexpr Colour kAqua{0x00, 0xFF, 0xFF};
constexpr Colour kWhite{0xFF, 0xFF, 0xFF};
constexpr Colour kEdge{0xB4, 0xB8, 0xC0};

struct Point {
    double x, y;
};

// One shape of the drawing, in canvas units once placed.
struct Shape {
    enum Kind { Stroke, Ellipse, RoundedSquare };
    Kind kind = Stroke;
    Colour colour{};
    std::vector<Point> points;  // Stroke: the polyline (round caps and joins)
    double width = 0;           // Stroke: its width
    Point centre{};             // Ellipse, RoundedSquare
    double rx = 0, ry = 0;      // Ellipse: radii; RoundedSquare: half side and corner radius
    double angle = 0;           // Ellipse: rotation in degrees
};

// An arc as a polyline: centre, radius, from `a0` to `a1` degrees (0 = right, clockwise on screen).
std::vector<Point> Arc(Point c, double radius, double a0, double a1) {
    std::vector<Point> points;
    int steps = std::max(2, int(std::abs(a1 - a0) / 6));
    for (int i = 0; i <= steps; ++i) {
        double a = (a0 + (a1 - a0) * i / steps) * kPi / 180;
        points.push_back({c.x + radius * std::cos(a), c.y + radius * std::sin(a)});
    }
    return points;
}

std::vector<Point> Join(std::vector<Point> a, const std::vector<Point> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The logo in its 32 x 32 grid; `letters` adds "BPM" under the "C" and the note.
std::vector<Shape> Logo(bool letters) {
    std::vector<Shape> s;
    auto stroke = [&](Colour colour, double width, std::vector<Point> points) {
        Shape shape;
        shape.colour = colour;
        shape.points = std::move(points);
        shape.width = width;
        s.push_back(shape);
    };
    // The "C": an arc open to the right, with serifs at both ends.
    stroke(kNavy, 3.6, Arc({9, 9.5}, 6.6, -42, -318));
    stroke(kNavy, 1.8, {{15.6, 1.8}, {15.6, 6.2}});
    stroke(kNavy, 1.8, {{15.6, 12.8}, {15.6, 17.2}});
    auto ellipse = [&](Colour colour, Point centre, double rx, double ry, double angle) {
        Shape shape;
        shape.kind = Shape::Ellipse;
        shape.colour = colour;
        shape.centre = centre;
        shape.rx = rx;
        shape.ry = ry;
        shape.angle = angle;
        s.push_back(shape);
    };
    // The eighth note: its head, a glint of light on it, the stem and the flag.
    ellipse(kBlack, {23.2, 15.4}, 4.4, 2.9, -22);
    ellipse(kAqua, {21.6, 15.6}, 1.1, 0.7, -22);
    stroke(kBlack, 2.0, {{27.0, 14.6}, {27.0, 1.6}});
    stroke(kBlack, 1.8, {{27.0, 1.6}, {29.6, 3.6}, {31.0, 6.0}, {31.0, 8.6}, {29.8, 11.0}});
    if (letters) {
        // "B": the stem, then two bowls, the lower one wider.
        stroke(kNavy, 2.0,
               Join(Join({{1.8, 21.6}, {1.8, 30.0}, {5.8, 30.0}}, Arc({5.8, 27.8}, 2.2, 90, -90)),
                    Join({{1.8, 25.6}, {5.2, 25.6}}, Join(Arc({5.2, 23.6}, 2.0, 90, -90), {{1.8, 21.6}}))));
        // "P": the stem and one bowl.
        stroke(kNavy, 2.0,
               Join({{12.0, 30.0}, {12.0, 21.6}, {15.0, 21.6}}, Join(Arc({15.0, 23.7}, 2.1, -90, 90), {{12.0, 25.8}})));
        // "M".
        stroke(kNavy, 2.0, {{21.0, 30.0}, {21.0, 21.6}, {25.0, 27.4}, {29.0, 21.6}, {29.0, 30.0}});
    }
    return s;
}

// The whole icon in canvas units: the tile, then the logo placed on it.
std::vector<Shape> Drawing(bool letters) {
    std::vector<Shape> drawing;
    Shape edge;
    edge.kind = Shape::RoundedSquare;
    edge.colour = kEdge;
    edge.centre = {kCanvas / 2, kCanvas / 2};
    edge.rx = 120;
    edge.ry = 40;
    drawing.push_back(edge);
    Shape tile = edge;
    tile.colour = kWhite;
    tile.rx = 113;
    tile.ry = 34;
    drawing.push_back(tile);
    // The logo's content spans x 0..32; with letters y 0..31, without them y 0..19.
    double scale = 6.0;
    Point offset{kCanvas / 2 - 16 * scale, kCanvas / 2 - (letters ? 15.8 : 9.4) * scale};
    for (Shape shape : Logo(letters)) {
        for (auto &p : shape.points) p = {offset.x + p.x * scale, offset.y + p.y * scale};
        shape.centre = {offset.x + shape.centre.x * scale, offset.y + shape.centre.y * scale};
        shape.rx *= scale;
        shape.ry *= scale;
        shape.width *= scale;
        drawing.push_back(shape);
    }
    return drawing;
}

double SegmentDistance(Point p, Point a, Point b) {
    double dx = b.x - a.x, dy = b.y - a.y;
    double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0) : 0;
    double ex = p.x - (a.x + t * dx), ey = p.y - (a.y + t * dy);
    return std::sqrt(ex * ex + ey * ey);
}

bool Covers(const Shape &shape, Point p) {
    switch (shape.kind) {
    case Shape::Stroke:
        for (std::size_t i = 0; i + 1 < shape.points.size(); ++i)
            if (SegmentDistance(p, shape.points[i], shape.points[i + 1]) <= shape.width / 2) return true;
        return false;
    case Shape::Ellipse: {
        double a = -shape.angle * kPi / 180;
        double dx = p.x - shape.centre.x, dy = p.y - shape.centre.y;
        double u = dx * std::cos(a) - dy * std::sin(a), v = dx * std::sin(a) + dy * std::cos(a);
        return (u * u) / (shape.rx * shape.rx) + (v * v) / (shape.ry * shape.ry) <= 1;
    }
    case Shape::RoundedSquare: {
        double inner = shape.rx - shape.ry;  // half side less the corner radius
        double dx = std::max(0.0, std::abs(p.x - shape.centre.x) - inner);
        double dy = std::max(0.0, std::abs(p.y - shape.centre.y) - inner);
        return std::abs(p.x - shape.centre.x) <= shape.rx && std::abs(p.y - shape.centre.y) <= shape.rx &&
               dx * dx + dy * dy <= shape.ry * shape.ry;
    }
    }
    return false;
}

// Renders the drawing at `size` pixels: RGBA, row by row, transparent outside the tile.
std::vector<std::uint8_t> Render(const std::vector<Shape> &drawing, int size) {
    constexpr int kSamples = 8;
    std::vector<std::uint8_t> pixels(std::size_t(size) * size * 4);
    double unit = kCanvas / size;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double r = 0, g = 0, b = 0, covered = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    Point p{(x + (sx + 0.5) / kSamples) * unit, (y + (sy + 0.5) / kSamples) * unit};
                    const Shape *top = nullptr;
                    for (const Shape &shape : drawing)
                        if (Covers(shape, p)) top = &shape;
                    if (!top) continue;
                    r += top->colour.r;
                    g += top->colour.g;
                    b += top->colour.b;
                    covered += 1;
                }
            }
            std::uint8_t *out = &pixels[(std::size_t(y) * size + x) * 4];
            if (covered > 0) {
                out[0] = std::uint8_t(std::lround(r / covered));
                out[1] = std::uint8_t(std::lround(g / covered));
                out[2] = std::uint8_t(std::lround(b / covered));
                out[3] = std::uint8_t(std::lround(255 * covered / (kSamples * kSamples)));
            }
        }
    }
    return pixels;
}

std::string Hex(Colour c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
    return text;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string Svg(const std::vector<Shape> &drawing) {
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n";
    for (const Shape &s : drawing) {
        switch (s.kind) {
        case Shape::Stroke: {
            svg += "  <path fill=\"none\" stroke=\"" + Hex(s.colour) + "\" stroke-width=\"" + Number(s.width) +
                   "\" stroke-linecap=\"round\" stroke-linejoin=\"round\" d=\"";
            for (std::size_t i = 0; i < s.points.size(); ++i)
                svg += (i ? " L" : "M") + Number(s.points[i].x) + " " + Number(s.points[i].y);
            svg += "\"/>\n";
            break;
        }
        case Shape::Ellipse:
            svg += "  <ellipse fill=\"" + Hex(s.colour) + "\" cx=\"" + Number(s.centre.x) + "\" cy=\"" +
                   Number(s.centre.y) + "\" rx=\"" + Number(s.rx) + "\" ry=\"" + Number(s.ry) +
                   "\" transform=\"rotate(" + Number(s.angle) + " " + Number(s.centre.x) + " " + Number(s.centre.y) +
                   ")\"/>\n";
            break;
        case Shape::RoundedSquare:
            svg += "  <rect fill=\"" + Hex(s.colour) + "\" x=\"" + Number(s.centre.x - s.rx) + "\" y=\"" +
                   Number(s.centre.y - s.rx) + "\" width=\"" + Number(2 * s.rx) + "\" height=\"" + Number(2 * s.rx) +
                   "\" rx=\"" + Number(s.ry) + "\"/>\n";
            break;
        }
    }
    return svg + "</svg>\n";
}

bool MakeFolders(const std::string &path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        struct stat info {};
        if (stat(part.c_str(), &info) != 0 && mkdir(part.c_str(), 0755) != 0) return false;
        if (slash == std::string::npos) return true;
    }
}

bool WritePng(const std::string &path, const std::vector<std::uint8_t> &pixels, int size) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(size);
    image.height = png_uint_32(size);
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr) != 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: theme_icons DIR ID SIZE...\n");
        return 2;
    }
    std::string dir = argv[1], id = argv[2];
    for (int i = 3; i < argc; ++i) {
        int size = std::atoi(argv[i]);
        if (size < 8 || size > 1024) {
            std::fprintf(stderr, "theme_icons: bad size %s\n", argv[i]);
            return 2;
        }
        std::string folder = dir + "/" + std::to_string(size) + "x" + std::to_string(size) + "/apps";
        std::string path = folder + "/" + id + ".png";
        if (!MakeFolders(folder) || !WritePng(path, Render(Drawing(size > 24), size), size)) {
            std::fprintf(stderr, "theme_icons: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    std::string folder = dir + "/scalable/apps";
    std::string path = folder + "/" + id + ".svg";
    std::ofstream out;
    if (MakeFolders(folder)) out.open(path);
    out << Svg(Drawing(true));
    if (!out.good()) {
        std::fprintf(stderr, "theme_icons: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
