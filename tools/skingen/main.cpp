// skingen: draws the default skin (pictures and the three skin documents)
// into a program folder. The 1366x768 and 960x540 sets are the 1920x1080 set
// drawn at a smaller scale, so the three stay consistent.
#include "skin/SkinManifest.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

// ---- palette: dark charcoal surfaces and one accent
const QColor kSurface(0x1B, 0x1D, 0x21);
const QColor kSurfaceHigh(0x23, 0x26, 0x2B);
const QColor kPanel(0x27, 0x2A, 0x30);
const QColor kControl(0x30, 0x34, 0x3B);
const QColor kControlOver(0x3B, 0x40, 0x49);
const QColor kEdge(0x3E, 0x43, 0x4C);
const QColor kText(0xEC, 0xEE, 0xF1);
const QColor kMuted(0x9A, 0xA1, 0xAB);
const QColor kDisabled(0x5B, 0x60, 0x68);
const QColor kAccent(0x23, 0xB5, 0xD3);
const QColor kAccentDeep(0x12, 0x7E, 0x97);

enum class State { Normal, Over, Down, Disable };
const State kStates[] = {State::Normal, State::Over, State::Down, State::Disable};
const char* stateName(State s) {
    switch (s) {
    case State::Over: return "Over";
    case State::Down: return "Down";
    case State::Disable: return "Disable";
    case State::Normal: break;
    }
    return "Normal";
}

enum class Kind {
    Record,  // a rectangle only: nothing drawn
    Label,   // a caption drawn at run time; nothing drawn
    Pill,    // a rounded button whose caption is drawn at run time
    Tag,     // a rounded button with its label in the picture
    Effect,  // an effect button: glyph and label in the picture
    Zone,    // a zone tab
    Accent,  // the main action button, filled with the accent
    Icon,    // a small square button with a glyph
    Field,   // an edit field
    Track,   // a value slider's track (fill in the down picture)
    Plane,   // the colour plane's frame
    Swatch,  // a colour swatch frame
    Frame,   // a quiet frame around an area
};

enum Glyph {
    kNone,
    kClose,
    kMinimise,
    kMinus,
    kPlus,
    kPlay,
    kCycle,
    kRotateRight,
    kRotateLeft,
    kStatic,
    kFlow,
    kRotate,
    kDual,
    kTwin,
    kMorse,
    kRainbow,
    kBreathe,
    kOff,
    kCheck,
    kChevron,
    kDot
};

struct Control {
    std::string key;
    QRect rect;
    Kind kind = Kind::Record;
    QString label;
    Glyph glyph = kNone;
    std::string attributes;  // extra XML attributes of the record
    std::string text;        // the record's text field
    int flag = 0;
    bool drawn = true;  // false: only the record, the window's picture leaves it out
};

struct Window {
    std::string section;
    std::string files;  // picture file stem
    QSize size;
    skin::PictureFolder folder;
    bool scaled = true;
    bool mask = true;
    QString heading;
    std::vector<Control> controls;
};

double gScale = 1.0;
int sc(int v) { return static_cast<int>(std::lround(v * gScale)); }
QRect scRect(const QRect& r) {
    return QRect(sc(r.left()), sc(r.top()), sc(r.left() + r.width()) - sc(r.left()),
                 sc(r.top() + r.height()) - sc(r.top()));
}

QFont uiFont(double pixel, int weight = 500, bool condensed = true) {
    QFont font(condensed ? "Roboto Condensed" : "Noto Sans");
    font.setPixelSize(std::max(6, static_cast<int>(std::lround(pixel))));
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

// ---- glyphs
void drawGlyph(QPainter& p, Glyph glyph, const QRectF& box, const QColor& colour) {
    p.save();
    const double s = std::min(box.width(), box.height());
    const QPointF c = box.center();
    QPen pen(colour, std::max(1.5, s / 11), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const double r = s * 0.34;
    switch (glyph) {
    case kClose:
        p.drawLine(c + QPointF(-r * 0.6, -r * 0.6), c + QPointF(r * 0.6, r * 0.6));
        p.drawLine(c + QPointF(-r * 0.6, r * 0.6), c + QPointF(r * 0.6, -r * 0.6));
        break;
    case kMinimise: p.drawLine(c + QPointF(-r * 0.6, r * 0.3), c + QPointF(r * 0.6, r * 0.3)); break;
    case kMinus: p.drawLine(c + QPointF(-r * 0.5, 0), c + QPointF(r * 0.5, 0)); break;
    case kPlus:
        p.drawLine(c + QPointF(-r * 0.5, 0), c + QPointF(r * 0.5, 0));
        p.drawLine(c + QPointF(0, -r * 0.5), c + QPointF(0, r * 0.5));
        break;
    case kPlay: {
        p.setBrush(colour);
        const QPointF tri[3] = {c + QPointF(-r * 0.4, -r * 0.55), c + QPointF(-r * 0.4, r * 0.55),
                                c + QPointF(r * 0.6, 0)};
        p.drawPolygon(tri, 3);
        break;
    }
    case kCycle:
    case kRotateRight:
    case kRotateLeft: {
        const QRectF arc(c.x() - r * 0.7, c.y() - r * 0.7, r * 1.4, r * 1.4);
        p.drawArc(arc, 30 * 16, 280 * 16);
        const double a = glyph == kRotateLeft ? 150.0 : 30.0;
        const QPointF tip(c.x() + r * 0.7 * std::cos(a * M_PI / 180), c.y() - r * 0.7 * std::sin(a * M_PI / 180));
        p.setBrush(colour);
        const double d = glyph == kRotateLeft ? 1 : -1;
        const QPointF head[3] = {tip + QPointF(-r * 0.3, -r * 0.1 * d), tip + QPointF(r * 0.3, -r * 0.1 * d),
                                 tip + QPointF(0, r * 0.35)};
        p.drawPolygon(head, 3);
        break;
    }
    case kStatic:
        p.setBrush(colour);
        p.drawEllipse(c, r * 0.55, r * 0.55);
        break;
    case kFlow:
        for (int i = -1; i <= 1; ++i) {
            QPainterPath wave;
            wave.moveTo(c.x() - r, c.y() + i * r * 0.45);
            wave.cubicTo(c.x() - r * 0.4, c.y() + i * r * 0.45 - r * 0.3, c.x() + r * 0.4,
                         c.y() + i * r * 0.45 + r * 0.3, c.x() + r, c.y() + i * r * 0.45);
            p.drawPath(wave);
        }
        break;
    case kRotate:
    case kDual:
        p.drawEllipse(c, r * 0.8, r * 0.8);
        p.setBrush(colour);
        p.drawEllipse(c + QPointF(r * 0.8, 0), r * 0.22, r * 0.22);
        if (glyph == kDual) p.drawEllipse(c - QPointF(r * 0.8, 0), r * 0.22, r * 0.22);
        break;
    case kTwin:
        p.drawEllipse(c - QPointF(r * 0.35, 0), r * 0.5, r * 0.5);
        p.drawEllipse(c + QPointF(r * 0.35, 0), r * 0.5, r * 0.5);
        break;
    case kMorse:
        p.setBrush(colour);
        p.drawEllipse(c + QPointF(-r * 0.8, 0), r * 0.14, r * 0.14);
        p.drawLine(c + QPointF(-r * 0.45, 0), c + QPointF(r * 0.15, 0));
        p.drawEllipse(c + QPointF(r * 0.5, 0), r * 0.14, r * 0.14);
        p.drawEllipse(c + QPointF(r * 0.9, 0), r * 0.14, r * 0.14);
        break;
    case kRainbow: {
        const QColor bands[3] = {QColor(0xF2, 0x55, 0x5A), QColor(0x5C, 0xD6, 0x7A), QColor(0x4C, 0x8D, 0xF6)};
        for (int i = 0; i < 3; ++i) {
            QPen band(colour == kDisabled ? kDisabled : bands[i], pen.widthF(), Qt::SolidLine, Qt::RoundCap);
            p.setPen(band);
            const double rr = r * (1.0 - i * 0.28);
            p.drawArc(QRectF(c.x() - rr, c.y() - rr * 0.6, 2 * rr, 2 * rr), 0, 180 * 16);
        }
        break;
    }
    case kBreathe:
        p.drawEllipse(c, r * 0.35, r * 0.35);
        p.setPen(QPen(colour, pen.widthF() * 0.7, Qt::DotLine, Qt::RoundCap));
        p.drawEllipse(c, r * 0.8, r * 0.8);
        break;
    case kOff:
        p.drawArc(QRectF(c.x() - r * 0.7, c.y() - r * 0.6, r * 1.4, r * 1.4), 120 * 16, 300 * 16);
        p.drawLine(c + QPointF(0, -r * 0.85), c + QPointF(0, -r * 0.1));
        break;
    case kCheck:
        p.drawLine(c + QPointF(-r * 0.55, 0), c + QPointF(-r * 0.1, r * 0.45));
        p.drawLine(c + QPointF(-r * 0.1, r * 0.45), c + QPointF(r * 0.6, -r * 0.45));
        break;
    case kChevron:
        p.drawLine(c + QPointF(-r * 0.45, -r * 0.2), c + QPointF(0, r * 0.25));
        p.drawLine(c + QPointF(0, r * 0.25), c + QPointF(r * 0.45, -r * 0.2));
        break;
    case kDot:
        p.setBrush(colour);
        p.drawEllipse(c, r * 0.3, r * 0.3);
        break;
    case kNone: break;
    }
    p.restore();
}

// ---- controls in a state
void drawPill(QPainter& p, const QRectF& r, State s, bool accent = false) {
    const double radius = std::min(r.height() / 2.0, static_cast<double>(sc(10)));
    QColor fill = accent ? kAccentDeep : kControl;
    QColor edge = accent ? kAccent : kEdge;
    if (s == State::Over) {
        fill = accent ? kAccent : kControlOver;
        edge = kAccent;
    } else if (s == State::Down) {
        fill = accent ? kAccentDeep.darker(130) : kAccentDeep;
        edge = kAccent;
    } else if (s == State::Disable) {
        fill = kSurfaceHigh;
        edge = kPanel;
    }
    p.setPen(QPen(edge, std::max(1.0, sc(2) / 1.5)));
    p.setBrush(fill);
    p.drawRoundedRect(r.adjusted(0.75, 0.75, -0.75, -0.75), radius, radius);
}

QColor labelColour(State s) {
    switch (s) {
    case State::Disable: return kDisabled;
    case State::Down: return Qt::white;
    default: return kText;
    }
}

void drawControl(QPainter& p, const Control& c, State s) {
    const QRectF r = scRect(c.rect);
    switch (c.kind) {
    case Kind::Record:
    case Kind::Label: break;
    case Kind::Pill: drawPill(p, r, s); break;
    case Kind::Accent: drawPill(p, r, s, true); break;
    case Kind::Tag:
        drawPill(p, r, s);
        p.setPen(labelColour(s));
        p.setFont(uiFont(r.height() * 0.42, 500));
        p.drawText(r, Qt::AlignCenter, c.label);
        break;
    case Kind::Zone: {
        drawPill(p, r, s);
        const QRectF glyphBox(r.left() + r.height() * 0.2, r.top(), r.height() * 0.8, r.height());
        drawGlyph(p, c.glyph, glyphBox, s == State::Disable ? kDisabled : (s == State::Normal ? kMuted : kAccent));
        p.setPen(labelColour(s));
        p.setFont(uiFont(r.height() * 0.42, 600));
        p.drawText(r.adjusted(r.height() * 1.15, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, c.label);
        break;
    }
    case Kind::Effect: {
        drawPill(p, r, s);
        const QColor glyphColour = s == State::Disable ? kDisabled : (s == State::Normal ? kText : Qt::white);
        drawGlyph(p, c.glyph, QRectF(r.left(), r.top() + r.height() * 0.08, r.width(), r.height() * 0.58), glyphColour);
        p.setPen(labelColour(s));
        p.setFont(uiFont(r.height() * 0.2, 500));
        p.drawText(QRectF(r.left(), r.top() + r.height() * 0.62, r.width(), r.height() * 0.32), Qt::AlignCenter,
                   c.label);
        break;
    }
    case Kind::Icon:
        if (c.glyph == kClose || c.glyph == kMinimise) {
            if (s == State::Over || s == State::Down) {
                p.setPen(Qt::NoPen);
                p.setBrush(c.glyph == kClose ? QColor(0xD9, 0x3F, 0x4C) : kControlOver);
                if (s == State::Down) p.setBrush(p.brush().color().darker(120));
                p.drawRoundedRect(r, sc(6), sc(6));
            }
        } else {
            drawPill(p, r, s);
        }
        drawGlyph(p, c.glyph, r, s == State::Disable ? kDisabled : (s == State::Normal ? kMuted : Qt::white));
        break;
    case Kind::Field:
        p.setPen(QPen(s == State::Over || s == State::Down ? kAccent : kEdge, 1));
        p.setBrush(kSurface);
        p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), sc(6), sc(6));
        break;
    case Kind::Track: {
        const double h = std::max(3.0, r.height() * 0.22);
        const QRectF groove(r.left() + sc(4), r.center().y() - h / 2, r.width() - sc(8), h);
        p.setPen(Qt::NoPen);
        p.setBrush(s == State::Down ? kAccent : (s == State::Disable ? kSurfaceHigh : kEdge));
        p.drawRoundedRect(groove, h / 2, h / 2);
        break;
    }
    case Kind::Plane:
    case Kind::Swatch:
        p.setPen(QPen(s == State::Over ? kAccent : kEdge, std::max(1, sc(2))));
        p.setBrush(kSurface);
        p.drawRoundedRect(r.adjusted(-sc(3), -sc(3), sc(3), sc(3)), sc(8), sc(8));
        break;
    case Kind::Frame:
        p.setPen(QPen(kEdge, 1));
        p.setBrush(kPanel);
        p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), sc(12), sc(12));
        break;
    }
}

void drawBackground(QPainter& p, const Window& w, const QSize& size) {
    const QRectF all(0, 0, size.width(), size.height());
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(all);
    QLinearGradient shade(0, 0, 0, size.height());
    shade.setColorAt(0, kSurfaceHigh);
    shade.setColorAt(1, kSurface);
    p.setBrush(shade);
    p.setPen(QPen(kEdge, 1));
    const double radius = w.mask ? sc(14) : 0;
    p.drawRoundedRect(all.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    if (!w.heading.isEmpty()) {
        p.setPen(kText);
        p.setFont(uiFont(sc(22), 600));
        p.drawText(QRectF(sc(24), sc(12), size.width() / 2.0, sc(36)), Qt::AlignVCenter | Qt::AlignLeft, w.heading);
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawRoundedRect(QRectF(sc(24), sc(50), sc(48), sc(3)), 1.5, 1.5);
    }
}

QImage windowPicture(const Window& w, State s) {
    const QSize size(sc(w.size.width()), sc(w.size.height()));
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawBackground(p, w, size);
    for (const Control& c : w.controls)
        if (c.drawn) drawControl(p, c, s);
    return image;
}

QImage maskPicture(const Window& w) {
    const QSize size(sc(w.size.width()), sc(w.size.height()));
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(0, 0, size.width(), size.height()), sc(14), sc(14));
    return image;
}

// ---- output
bool gFailed = false;

void save(const QImage& image, const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    const char* format = suffix == "jpg" ? "JPG" : (suffix == "bmp" ? "BMP" : "PNG");
    if (!image.save(path, format, suffix == "jpg" ? 92 : -1)) {
        std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(path));
        gFailed = true;
    }
}

void writeText(const QString& path, const std::string& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())) {
        std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(path));
        gFailed = true;
    }
}

// ---- application icon: one list of shapes on a 256-unit square, written as
// SVG and painted into the PNG sizes, so the two never differ.
struct IconShape {
    enum Kind { RoundedSquare, Circle } kind;
    double x, y, size;  // square: left, top, side; circle: centre and radius
    QColor colour;
};

std::vector<IconShape> iconShapes() {
    std::vector<IconShape> shapes{{IconShape::RoundedSquare, 16, 16, 224, kSurface}};
    // A ring of LEDs in the colours a lighting effect runs through.
    constexpr int kLeds = 12;
    for (int i = 0; i < kLeds; ++i) {
        const double angle = 2 * M_PI * i / kLeds - M_PI / 2;
        shapes.push_back({IconShape::Circle, 128 + 78 * std::cos(angle), 128 + 78 * std::sin(angle), 17,
                          QColor::fromHsv(i * 360 / kLeds, 200, 255)});
    }
    shapes.push_back({IconShape::Circle, 128, 128, 44, kAccentDeep});
    shapes.push_back({IconShape::Circle, 128, 128, 30, kAccent});
    return shapes;
}

constexpr double kIconCorner = 48;

std::string iconSvg() {
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n";
    char line[160];
    for (const IconShape& shape : iconShapes()) {
        const std::string colour = shape.colour.name().toStdString();
        if (shape.kind == IconShape::RoundedSquare)
            std::snprintf(line, sizeof line,
                          "  <rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" rx=\"%g\" fill=\"%s\"/>\n", shape.x,
                          shape.y, shape.size, shape.size, kIconCorner, colour.c_str());
        else
            std::snprintf(line, sizeof line, "  <circle cx=\"%.2f\" cy=\"%.2f\" r=\"%g\" fill=\"%s\"/>\n", shape.x,
                          shape.y, shape.size, colour.c_str());
        svg += line;
    }
    return svg + "</svg>\n";
}

QImage iconPicture(int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.scale(pixels / 256.0, pixels / 256.0);
    for (const IconShape& shape : iconShapes()) {
        p.setBrush(shape.colour);
        if (shape.kind == IconShape::RoundedSquare)
            p.drawRoundedRect(QRectF(shape.x, shape.y, shape.size, shape.size), kIconCorner, kIconCorner);
        else
            p.drawEllipse(QPointF(shape.x, shape.y), shape.size, shape.size);
    }
    return image;
}

// FOLDER/hicolor/scalable/apps/lumenstra.svg and FOLDER/hicolor/NxN/apps/lumenstra.png.
int generateIcon(const QString& folder) {
    const QString scalable = folder + "/hicolor/scalable/apps";
    if (!QDir().mkpath(scalable)) gFailed = true;
    writeText(scalable + "/lumenstra.svg", iconSvg());
    for (const int pixels : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QString sized = QStringLiteral("%1/hicolor/%2x%2/apps").arg(folder).arg(pixels);
        if (!QDir().mkpath(sized)) gFailed = true;
        save(iconPicture(pixels), sized + "/lumenstra.png");
    }
    return gFailed ? 1 : 0;
}

std::string escape(const std::string& text) {
    std::string out;
    for (const char ch : text) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += ch;
        }
    }
    return out;
}

std::string recordOf(const Control& c) {
    const QRect r = scRect(c.rect);
    return c.key + "," + std::to_string(r.left()) + "," + std::to_string(r.top()) + "," + std::to_string(r.width()) +
           "," + std::to_string(r.height()) + "," + c.text + "," +
           (c.flag == 1   ? "TRUE"
            : c.flag == 0 ? "FALSE"
                          : std::to_string(c.flag));
}

// Attribute values with sizes are scaled with the set: "SIZE=20" and friends.
std::string scaledAttributes(const std::string& attributes) {
    static const char* scaledNames[] = {"SIZE", "OFFSETX", "OFFSETY", "ITEM_HEIGHT", "ITEM_WIDTH", "MENUX", "MENUY"};
    std::string out;
    std::size_t at = 0;
    while (at < attributes.size()) {
        const std::size_t eq = attributes.find("=\"", at);
        if (eq == std::string::npos) break;
        const std::size_t end = attributes.find('"', eq + 2);
        std::string name = attributes.substr(at, eq - at);
        while (!name.empty() && name.front() == ' ') name.erase(0, 1);
        std::string value = attributes.substr(eq + 2, end - eq - 2);
        for (const char* scaled : scaledNames)
            if (name == scaled) value = std::to_string(sc(std::stoi(value)));
        out += " " + name + "=\"" + value + "\"";
        at = end + 1;
    }
    return out;
}

}  // namespace

// ---- the skin's content
namespace {

Control ctl(std::string key, int x, int y, int w, int h, Kind kind, QString label = {}, Glyph glyph = kNone) {
    Control c;
    c.key = std::move(key);
    c.rect = QRect(x, y, w, h);
    c.kind = kind;
    c.label = std::move(label);
    c.glyph = glyph;
    return c;
}
Control withAttr(Control c, std::string attributes) {
    c.attributes = std::move(attributes);
    return c;
}
Control withFlag(Control c, int flag) {
    c.flag = flag;
    return c;
}
Control withText(Control c, std::string text) {
    c.text = std::move(text);
    return c;
}

const std::string kCaption = R"(FONT="Roboto Condensed" SIZE="22")";
const std::string kLabel = R"(FONT="Roboto Condensed" SIZE="22" WEIGHT="500" COLOR="15855340")";
const std::string kMutedLabel = R"(FONT="Roboto Condensed" SIZE="20" WEIGHT="400" COLOR="11247002")";

Window mainWindow() {
    Window w{"MAIN", "Main", {1280, 800}, skin::PictureFolder::Resolution, true, true, "LUMENSTRA", {}};
    w.controls = {
        ctl("BUTTON_MIN", 1168, 14, 44, 36, Kind::Icon, {}, kMinimise),
        ctl("BUTTON_CLOSE", 1220, 14, 44, 36, Kind::Icon, {}, kClose),
        withAttr(withFlag(ctl("BUTTON_MAIN_CONTROL", 360, 72, 180, 44, Kind::Pill), 1), kCaption),
        withAttr(withFlag(ctl("BUTTON_MACRO", 548, 72, 180, 44, Kind::Pill), 1), kCaption),
        withAttr(withFlag(ctl("BUTTON_LIBRARY", 736, 72, 180, 44, Kind::Pill), 1), kCaption),
        ctl("RECT_DEVICES", 16, 72, 328, 712, Kind::Frame),
        withAttr(ctl("STR_DEV_LIST", 36, 84, 288, 36, Kind::Label), kMutedLabel),
        ctl("BUTTON_DEV_TITLE", 28, 128, 304, 56, Kind::Record),
        ctl("BUTTON_5_LED_DEV_TITLE", 28, 128, 304, 56, Kind::Record),
        ctl("BUTTON_5_LED_DEV_TITLE_NEW", 28, 420, 304, 56, Kind::Record),
        ctl("BTN_CHECK", 14, 16, 24, 24, Kind::Record),
        withAttr(
            ctl("LIST_MENU", 28, 188, 304, 280, Kind::Record),
            R"(ITEM_HEIGHT="56" ITEM_WIDTH="288" ITEM_NUM="5" FONT="Roboto Condensed" SIZE="22" OFFSETX="56" OFFSETY="0" MENUX="52" MENUY="12")"),
        withAttr(
            ctl("LIST_MENU_NEW", 28, 476, 304, 224, Kind::Record),
            R"(ITEM_HEIGHT="56" ITEM_WIDTH="288" ITEM_NUM="4" FONT="Roboto Condensed" SIZE="22" OFFSETX="56" OFFSETY="0" MENUX="52" MENUY="12")"),
        ctl("DEV_NAME", 56, 0, 168, 56, Kind::Record),
        ctl("DEV_CHECK", 16, 16, 24, 24, Kind::Record),
        ctl("DEV_PIC_POS", 228, 8, 56, 40, Kind::Record),
        withText(ctl("SCROLL_BAR_ID", 0, 0, 0, 0, Kind::Record), "1201"),
        ctl("SUB_DLG", 360, 132, 900, 648, Kind::Record),
    };
    return w;
}

struct EffectButton {
    const char* key;
    const char* label;
    Glyph glyph;
};

std::vector<Control> zoneTabs() {
    return {withFlag(ctl("BUTTON_LED_DEV_1", 16, 12, 150, 44, Kind::Zone, "Strip", kFlow), 1),
            withFlag(ctl("BUTTON_LED_DEV_3", 172, 12, 150, 44, Kind::Zone, "Fan", kCycle), 1),
            withFlag(ctl("BUTTON_LED_DEV_2", 328, 12, 150, 44, Kind::Zone, "Logo", kDot), 1)};
}

std::vector<Control> pageCommon() {
    std::vector<Control> c = zoneTabs();
    // The Chroma toggle is never shown on the page: its place stays empty.
    Control chroma = withAttr(withFlag(ctl("BUTTON_CHROMA", 560, 12, 150, 44, Kind::Pill), 1), kCaption);
    chroma.drawn = false;
    c.push_back(chroma);
    c.push_back(withAttr(withFlag(ctl("BUTTON_DEFAULT", 718, 12, 166, 44, Kind::Pill), 1), kCaption));
    c.push_back(withAttr(ctl("BUTTON_IMPORT", 520, 596, 112, 40, Kind::Pill), kCaption));
    c.push_back(withAttr(ctl("BUTTON_EXPORT", 640, 596, 112, 40, Kind::Pill), kCaption));
    c.push_back(withAttr(ctl("BUTTON_APPLY", 760, 596, 124, 40, Kind::Accent), kCaption));
    return c;
}

bool isRotationControl(const std::string& key) {
    return key == "BUTTON_ROTATE" || key == "BUTTON_ROTATE_REVERSE" || key == "STR_ROTATION";
}

Window ledPage(const std::string& section) {
    Window w{section, section == "LED" ? "Led" : "Led5", {900, 648}, skin::PictureFolder::Resolution, true, false, {},
             {}};
    w.controls = pageCommon();
    const EffectButton effects[] = {{"BUTTON_MENU_1", "Static", kStatic},   {"BUTTON_MENU_2", "Flow", kFlow},
                                    {"BUTTON_MENU_3", "Rotate", kRotate},   {"BUTTON_MENU_4", "Dual", kDual},
                                    {"BUTTON_MENU_5", "Twin", kTwin},       {"BUTTON_MENU_6", "Morse", kMorse},
                                    {"BUTTON_MENU_7", "Rainbow", kRainbow}, {"BUTTON_MENU_8", "Breathe", kBreathe},
                                    {"BUTTON_LIGHT_ON", "Off", kOff}};
    for (int i = 0; i < 9; ++i)
        w.controls.push_back(
            withFlag(ctl(effects[i].key, 16 + i * 97, 68, 90, 84, Kind::Effect, effects[i].label, effects[i].glyph),
                     1));
    const std::vector<Control> rest = {
        ctl("RECT_SYNC", 16, 164, 868, 420, Kind::Frame),
        ctl("BUTTON_SEL_BRIGHTNESS", 32, 180, 280, 200, Kind::Plane),
        ctl("SLIDER_RGB", 28, 392, 288, 34, Kind::Record),
        withAttr(ctl("STR_HUE", 32, 428, 280, 24, Kind::Label), kMutedLabel),
        withAttr(ctl("BUTTON_COLOR", 330, 180, 112, 92, Kind::Swatch),
                 R"(FONT="Roboto Condensed" SIZE="20" OFFSETX="0" OFFSETY="60")"),
        withAttr(ctl("BUTTON_OLD_COLOR", 330, 288, 112, 92, Kind::Swatch),
                 R"(FONT="Roboto Condensed" SIZE="20" OFFSETX="0" OFFSETY="60")"),
        withAttr(ctl("STR_R", 462, 180, 28, 32, Kind::Label), kLabel),
        ctl("SLIDER_R", 494, 180, 276, 32, Kind::Track),
        withAttr(ctl("EDIT_R", 780, 180, 88, 32, Kind::Field),
                 R"(MENUX="4" MENUY="2" FONT="Roboto Condensed" SIZE="22")"),
        withAttr(ctl("STR_G", 462, 220, 28, 32, Kind::Label), kLabel),
        ctl("SLIDER_G", 494, 220, 276, 32, Kind::Track),
        withAttr(ctl("EDIT_G", 780, 220, 88, 32, Kind::Field),
                 R"(MENUX="4" MENUY="2" FONT="Roboto Condensed" SIZE="22")"),
        withAttr(ctl("STR_B", 462, 260, 28, 32, Kind::Label), kLabel),
        ctl("SLIDER_B", 494, 260, 276, 32, Kind::Track),
        withAttr(ctl("EDIT_B", 780, 260, 88, 32, Kind::Field),
                 R"(MENUX="4" MENUY="2" FONT="Roboto Condensed" SIZE="22")"),
        withAttr(ctl("STR_COLOR_RANDOM", 462, 304, 200, 36, Kind::Label), kLabel),
        withAttr(ctl("STR_COLOR_SPECIFY", 668, 304, 200, 36, Kind::Label), kLabel),
        withFlag(ctl("BUTTON_SWITCH_RANDOM", 462, 304, 200, 36, Kind::Pill), 1),
        withFlag(ctl("BUTTON_FIXED_COLOR", 668, 304, 200, 36, Kind::Pill), 1),
        withAttr(ctl("STR_SPEED", 462, 352, 120, 32, Kind::Label), kMutedLabel),
        ctl("BUTTON_SPEED_DOWN", 590, 352, 32, 32, Kind::Icon, {}, kMinus),
        ctl("SLIDER_S", 628, 352, 200, 32, Kind::Track),
        ctl("BUTTON_SPEED_UP", 836, 352, 32, 32, Kind::Icon, {}, kPlus),
        withAttr(ctl("STR_BRIGHTNESS", 462, 392, 120, 32, Kind::Label), kMutedLabel),
        ctl("BUTTON_BRIGHTNESS_DOWN", 590, 392, 32, 32, Kind::Icon, {}, kMinus),
        ctl("SLIDER_L", 628, 392, 200, 32, Kind::Track),
        ctl("BUTTON_BRIGHTNESS_UP", 836, 392, 32, 32, Kind::Icon, {}, kPlus),
        withAttr(ctl("STR_ROTATION", 462, 436, 120, 32, Kind::Label), kMutedLabel),
        ctl("BUTTON_ROTATE", 590, 436, 136, 32, Kind::Icon, {}, kRotateRight),
        ctl("BUTTON_ROTATE_REVERSE", 732, 436, 136, 32, Kind::Icon, {}, kRotateLeft),
        withFlag(ctl("BUTTON_L1", 590, 476, 136, 32, Kind::Record), 1),
        withFlag(ctl("BUTTON_L2", 732, 476, 136, 32, Kind::Record), 1),
        withAttr(ctl("STR_L1", 590, 476, 136, 32, Kind::Label), kLabel),
        withAttr(ctl("STR_L2", 732, 476, 136, 32, Kind::Label), kLabel),
        withAttr(ctl("STR_LIGHT_OFF", 462, 520, 200, 32, Kind::Label), kMutedLabel),
        withAttr(ctl("STR_LIGHT_ON", 668, 520, 200, 32, Kind::Label), kMutedLabel),
        ctl("BUTTON_LIGHT_OFF", 16, 68, 866, 84, Kind::Record),
        withAttr(ctl("STR_MORSE", 32, 464, 200, 28, Kind::Label), kMutedLabel),
        withAttr(ctl("EDIT_INPUT", 32, 496, 280, 36, Kind::Field), R"(FONT="Roboto Condensed" SIZE="22")"),
        ctl("EDIT_INPUT_RECT", 10, 0, 260, 36, Kind::Record),
        withAttr(ctl("EDIT_OUTPUT", 32, 538, 410, 36, Kind::Field), R"(FONT="Noto Sans" SIZE="18")"),
        ctl("EDIT_OUTPUT_RECT", 10, 0, 390, 36, Kind::Record),
        withFlag(ctl("BUTTON_MORSE_1", 320, 496, 36, 36, Kind::Tag, "1"), 1),
        withFlag(ctl("BUTTON_MORSE_2", 362, 496, 36, 36, Kind::Tag, "2"), 1),
        withFlag(ctl("BUTTON_MORSE_3", 404, 496, 36, 36, Kind::Tag, "3"), 1),
        withAttr(ctl("BUTTON_MORSE_SAVE", 462, 540, 96, 34, Kind::Pill), kCaption),
        withAttr(ctl("BUTTON_MORSE_RESET", 566, 540, 96, 34, Kind::Pill), kCaption),
        ctl("BUTTON_PLAY", 676, 540, 40, 34, Kind::Icon, {}, kPlay),
        withFlag(ctl("BUTTON_CYCLE", 722, 540, 40, 34, Kind::Icon, {}, kCycle), 1),
    };
    w.controls.insert(w.controls.end(), rest.begin(), rest.end());
    // The rotation controls show on the rotation page's picture only.
    for (Control& c : w.controls)
        if (isRotationControl(c.key)) c.drawn = false;
    return w;
}

// The page's picture while zone 0 runs a rotating effect: the rotation
// controls and the layer pair instead of the Morse controls.
Window rotatePage() {
    Window w = ledPage("LED");
    w.section = "ROTATE_LED";
    w.files = "RotateLed";
    w.folder = skin::PictureFolder::Menu;
    for (Control& c : w.controls) {
        if (isRotationControl(c.key)) c.drawn = true;
        if (c.key == "BUTTON_L1" || c.key == "BUTTON_L2") c.kind = Kind::Pill;
        if (c.key == "STR_MORSE" || c.key.rfind("EDIT_INPUT", 0) == 0 || c.key.rfind("EDIT_OUTPUT", 0) == 0 ||
            c.key.rfind("BUTTON_MORSE_", 0) == 0 || c.key == "BUTTON_PLAY" || c.key == "BUTTON_CYCLE")
            c.drawn = false;
    }
    return w;
}

Window fanPanel(const std::string& section, bool mirage) {
    Window w{section,    section == "FAN_LED" ? "FanLed" : "LogoLed",
             {900, 648}, skin::PictureFolder::Menu,
             true,       false,
             {},         {}};
    w.controls = pageCommon();
    const EffectButton effects[] = {{"BUTTON_FAN_EFF_1", "Static", kStatic},
                                    {"BUTTON_FAN_EFF_2", "Rainbow", kRainbow},
                                    {"BUTTON_FAN_EFF_3", "Breathe", kBreathe},
                                    {"BUTTON_FAN_EFF_4", "Off", kOff}};
    for (int i = 0; i < 4; ++i) {
        // Lights off, the one the fan zone shows, comes first.
        Control button = withFlag(ctl(effects[i].key, 16 + (i + 1) % 4 * 97, 68, 90, 84, Kind::Effect, effects[i].label,
                                      effects[i].glyph),
                                  1);
        // The fan zone offers only lights off beside its mirage; the logo zone nothing.
        button.drawn = mirage && i == 3;
        w.controls.push_back(button);
    }
    if (!mirage) return w;
    const std::vector<Control> rest = {
        ctl("RECT_MIRAGE", 16, 164, 868, 420, Kind::Frame),
        withAttr(ctl("STR_MIRAGE_ON", 32, 180, 300, 32, Kind::Label), kLabel),
        withAttr(ctl("STR_MIRAGE_OFF", 32, 180, 300, 32, Kind::Label), kLabel),
        withFlag(ctl("BUTTON_M1", 32, 224, 120, 40, Kind::Tag, "Mirage 1"), 1),
        withFlag(ctl("BUTTON_M2", 160, 224, 120, 40, Kind::Tag, "Mirage 2"), 1),
        withFlag(ctl("BUTTON_M3", 288, 224, 120, 40, Kind::Tag, "Mirage 3"), 1),
        // "Off" and "Resume" take turns at one place; their captions come from the strings.
        withAttr(withFlag(ctl("BUTTON_MIRAGE_ON", 416, 224, 120, 40, Kind::Pill), 1), kCaption),
        withAttr(ctl("BUTTON_MIRAGE_OFF", 416, 224, 120, 40, Kind::Pill), kCaption),
        ctl("SLIDER_HZ_R", 72, 292, 600, 32, Kind::Track),
        withAttr(ctl("EDIT_HZ_R", 684, 292, 100, 32, Kind::Field),
                 R"(MENUX="4" MENUY="2" FONT="Roboto Condensed" SIZE="22")"),
        ctl("SLIDER_HZ_G", 72, 336, 600, 32, Kind::Track),
        withAttr(ctl("EDIT_HZ_G", 684, 336, 100, 32, Kind::Field),
                 R"(MENUX="4" MENUY="2" FONT="Roboto Condensed" SIZE="22")"),
        ctl("SLIDER_HZ_B", 72, 380, 600, 32, Kind::Track),
        withAttr(ctl("EDIT_HZ_B", 684, 380, 100, 32, Kind::Field),
                 R"(MENUX="4" MENUY="2" FONT="Roboto Condensed" SIZE="22")"),
        withAttr(ctl("BUTTON_RESET", 32, 432, 120, 36, Kind::Pill), kCaption),
        withAttr(ctl("BUTTON_SAVE", 160, 432, 120, 36, Kind::Pill), kCaption),
    };
    w.controls.insert(w.controls.end(), rest.begin(), rest.end());
    return w;
}

Window defaultPanel() {
    Window w{"DEFAULT_LED", "DefaultLed", {300, 168}, skin::PictureFolder::Menu, true, false, {}, {}};
    w.controls = {
        ctl("RECT_DEFAULT", 584, 60, 300, 168, Kind::Record),
        ctl("BUTTON_ZELVOR", 600, 76, 268, 60, Kind::Record),
        withAttr(ctl("STR_ZELVOR", 600, 76, 268, 60, Kind::Label), kLabel),
        ctl("BUTTON_DEMO", 600, 148, 268, 60, Kind::Record),
        withAttr(ctl("STR_DEMO", 600, 148, 268, 60, Kind::Label), kLabel),
    };
    return w;
}

std::vector<Control> warnButtons(bool withCancel) {
    std::vector<Control> c = {withAttr(ctl("BUTTON_OK", withCancel ? 128 : 210, 228, 140, 48, Kind::Accent), kCaption),
                              ctl("BUTTON_CLOSE", 508, 12, 40, 36, Kind::Icon, {}, kClose)};
    if (withCancel)
        c.push_back(withAttr(ctl("BUTTON_CANCEL", 292, 228, 140, 48, Kind::Pill), kCaption));
    else
        c.push_back(ctl("BUTTON_CANCEL", 0, 0, 0, 0, Kind::Record));
    return c;
}

std::vector<Control> warningTexts() {
    return {withAttr(ctl("STR_TITLE", 24, 20, 480, 48, Kind::Record), R"(FONT="Noto Sans" SIZE="28" WEIGHT="600")"),
            withAttr(ctl("STR_WARN", 36, 80, 488, 132, Kind::Record),
                     R"(FONT="Noto Sans" SIZE="22" COLOR="13817552")")};
}

std::vector<Control> infoControls(bool version) {
    const int buttonsTop = version ? 336 : 292;
    std::vector<Control> c = {
        withAttr(ctl("STR_TITLE", 24, 20, 520, 44, Kind::Record), R"(FONT="Noto Sans" SIZE="28" WEIGHT="600")"),
        ctl("RECT_VERSIONS", 24, 80, 552, version ? 236 : 192, Kind::Frame),
        withAttr(ctl("STR_VER_SW", 44, 96, 512, 32, Kind::Label), kLabel),
        withAttr(ctl("STR_VER_FW", 44, 136, 512, 32, Kind::Label), kLabel),
        withAttr(ctl("STR_VER_UPDATE", 44, 176, 512, 32, Kind::Label), kLabel),
        withAttr(ctl("BUTTON_OK", 146, buttonsTop, 148, 48, Kind::Pill), kCaption),
        withAttr(ctl("BUTTON_UPDATE", 306, buttonsTop, 148, 48, Kind::Accent), kCaption),
        ctl("BUTTON_CLOSE", 548, 12, 40, 36, Kind::Icon, {}, kClose),
    };
    if (version) {
        c.push_back(withAttr(ctl("STR_LAST_DRIVER", 44, 224, 512, 32, Kind::Label),
                             R"(FONT="Roboto Condensed" SIZE="22" COLOR="14399779")"));
        c.push_back(withAttr(ctl("STR_LEARN_MORE", 44, 264, 512, 32, Kind::Label),
                             R"(FONT="Roboto Condensed" SIZE="22" COLOR="14399779")"));
    }
    return c;
}

std::vector<Window> windows() {
    std::vector<Window> all = {mainWindow(), ledPage("LED"), ledPage("LED5")};
    all.push_back(rotatePage());
    all.push_back(fanPanel("FAN_LED", true));
    all.push_back(fanPanel("LOGO_LED", false));
    all.push_back(defaultPanel());
    Window warn{"WarnDlg", "Warn", {560, 300}, skin::PictureFolder::PopDlg, false, true, {}, warnButtons(true)};
    all.push_back(warn);
    Window noDevice{"NO_KEYBOARD", "NoDevice", {560, 300}, skin::PictureFolder::PopDlg,
                    false,         true,       {},         warnButtons(false)};
    for (const Control& c : warningTexts()) noDevice.controls.push_back(c);
    all.push_back(noDevice);
    all.push_back(
        Window{"InfoDlg", "Info", {600, 360}, skin::PictureFolder::PopDlg, false, true, {}, infoControls(false)});
    all.push_back(Window{
        "VersionDlg", "Version", {600, 404}, skin::PictureFolder::Resolution, true, true, {}, infoControls(true)});
    Window loading{"LOADING", "Loading", {480, 96}, skin::PictureFolder::Root, false, true, {}, {}};
    loading.controls = {withText(ctl("PROGRESS", 0, 0, 0, 0, Kind::Record), "72"),
                        withAttr(ctl("STR_TITLE", 24, 16, 432, 40, Kind::Label), kLabel)};
    all.push_back(loading);
    all.push_back(Window{"LOAD_KEYBOARD", "LoadDevices", {640, 600}, skin::PictureFolder::PopDlg, false, true, {}, {}});
    for (const std::string& message : skin::warningMessages()) {
        if (message == "NO_KEYBOARD") continue;
        Window texts{message, "", {0, 0}, skin::PictureFolder::PopDlg, false, false, {}, warningTexts()};
        all.push_back(texts);
    }
    return all;
}

// Captions and texts, English.
const std::map<std::string, std::map<std::string, std::string>>& strings() {
    static const std::map<std::string, std::map<std::string, std::string>> table = {
        {"GLOBAL", {{"FONT", "Roboto Condensed"}, {"FONT_SIZE", "22"}}},
        {"MAIN",
         {{"STR_DEV_LIST", "DEVICES"},
          {"STRING_DEV_TITLE", "Graphics card %d"},
          {"STRING_5_LED_DEV_TITLE", "Graphics card %d (5 LED)"},
          {"BUTTON_MAIN_CONTROL", "Lighting"},
          {"BUTTON_MACRO", "Profiles"},
          {"BUTTON_LIBRARY", "About"}}},
        {"FAN_LED",
         {{"BUTTON_MIRAGE_ON", "Off"},
          {"BUTTON_MIRAGE_OFF", "Resume"},
          {"STR_MIRAGE_OFF", "Mirage is off"},
          {"STR_MIRAGE_ON", "Mirage preset"},
          {"BUTTON_RESET", "Reset"},
          {"BUTTON_SAVE", "Save"}}},
        {"DEFAULT_LED", {{"STR_ZELVOR", "Hand over to Zelvor sync"}, {"STR_DEMO", "Reset all to defaults"}}},
        {"WarnDlg", {{"BUTTON_OK", "OK"}, {"BUTTON_CANCEL", "Cancel"}}},
        {"InfoDlg",
         {{"STR_TITLE", "Firmware update"},
          {"STR_VER_SW", "Software: "},
          {"STR_VER_FW", "Card firmware: "},
          {"STR_VER_UPDATE", "Available firmware: "},
          {"BUTTON_OK", "Later"},
          {"BUTTON_UPDATE", "Update"}}},
        {"VersionDlg",
         {{"STR_TITLE", "Versions"},
          {"STR_VER_SW", "Software: "},
          {"STR_VER_FW", "Card firmware: "},
          {"STR_VER_UPDATE", "Available firmware: "},
          {"BUTTON_OK", "OK"},
          {"BUTTON_UPDATE", "Update"},
          {"STR_LAST_DRIVER", "Download the latest software"},
          {"STR_LAST_DRIVER_5_LED", "Download the latest software (5 LED cards)"},
          {"STR_LEARN_MORE", "Learn more about your card"},
          {"STR_NO_PACKAGE", "no firmware package is installed"},
          {"LINK_LAST_DRIVER", "https://lumenstra.example.org/download"},
          {"LINK_LEARN_MORE", "https://lumenstra.example.org/cards"}}},
        {"NO_SAVE",
         {{"STR_TITLE", "Unsaved changes"},
          {"STR_WARN", "These cards have changes that are not applied:\\r\\nDiscard them?"}}},
        {"OVERWRITE",
         {{"STR_TITLE", "Join the group"},
          {"STR_WARN", "This card will take over the lighting of the group. Continue?"}}},
        {"NIMBRELS",
         {{"STR_TITLE", "Update firmware"},
          {"STR_WARN", "Lumenstra closes while the firmware is written.\\r\\nDo not unplug or power off the card."}}},
        {"RESET_ALL_WARN",
         {{"STR_TITLE", "Reset all"},
          {"STR_WARN", "Every zone of this card goes back to its default lighting. Continue?"}}},
        {"IMPORT_FAIL",
         {{"STR_TITLE", "Import"}, {"STR_WARN", "This file holds no lighting profile. Nothing was changed."}}},
        {"ZELVOR_WARN",
         {{"STR_TITLE", "Zelvor sync"},
          {"STR_WARN", "The card will follow Zelvor sync and ignore the settings made here. Continue?"}}},
        {"APPLY_FAIL",
         {{"STR_TITLE", "Not applied"},
          {"STR_WARN",
           "The card did not take the whole lighting configuration.\\r\\nCheck that it is connected, then press Apply "
           "again."}}},
        {"NO_KEYBOARD",
         {{"STR_TITLE", "No card found"},
          {"STR_WARN", "No supported graphics card was found.\\r\\nCheck that it is seated and powered."},
          {"BUTTON_OK", "OK"}}},
    };
    return table;
}

const std::map<std::string, std::string>& pageStrings() {
    static const std::map<std::string, std::string> table = {{"BUTTON_CHROMA", "App sync"},
                                                             {"BUTTON_IMPORT", "Import"},
                                                             {"BUTTON_EXPORT", "Export"},
                                                             {"BUTTON_DEFAULT", "More"},
                                                             {"BUTTON_APPLY", "Apply"},
                                                             {"BUTTON_OLD_COLOR", "Current"},
                                                             {"BUTTON_COLOR", "New"},
                                                             {"STR_HUE", "Hue"},
                                                             {"STR_R", "R"},
                                                             {"STR_G", "G"},
                                                             {"STR_B", "B"},
                                                             {"STR_SPEED", "Speed"},
                                                             {"STR_BRIGHTNESS", "Brightness"},
                                                             {"STR_LIGHT_OFF", "Lights off"},
                                                             {"STR_LIGHT_ON", "Lights on"},
                                                             {"STR_COLOR_RANDOM", "Random colours"},
                                                             {"STR_COLOR_SPECIFY", "Fixed colour"},
                                                             {"STR_MORSE", "Morse text"},
                                                             {"EDIT_INPUT", "Type a message"},
                                                             {"EDIT_OUTPUT", "Morse code"},
                                                             {"BUTTON_MORSE_SAVE", "Save"},
                                                             {"BUTTON_MORSE_RESET", "Reset"},
                                                             {"STR_L1", "Layer 1"},
                                                             {"STR_L2", "Layer 2"},
                                                             {"STR_ROTATION", "Direction"}};
    return table;
}

const char* folderOf(skin::PictureFolder folder) {
    switch (folder) {
    case skin::PictureFolder::PopDlg: return "PopDlg/";
    case skin::PictureFolder::Root: return "";
    case skin::PictureFolder::Menu: return "RES/Menu/";
    case skin::PictureFolder::Resolution: break;
    }
    return "RES/";
}

QString folderPath(const QString& root, skin::PictureFolder folder, const std::string& resolution) {
    QString relative = QString::fromLatin1(folderOf(folder));
    relative.replace("RES", QString::fromStdString(resolution));
    return root + "/Skins/" + relative;
}

// The small pictures every resolution folder holds by fixed name.
void fixedPictures(const QString& folder, const Window& page) {
    const auto image = [](int w, int h) {
        QImage i(sc(w), sc(h), QImage::Format_ARGB32_Premultiplied);
        i.fill(Qt::transparent);
        return i;
    };
    for (const bool down : {false, true}) {
        QImage box = image(24, 24);
        QPainter p(&box);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(down ? kAccent : kMuted, std::max(1, sc(2))));
        p.setBrush(down ? kAccent : kSurface);
        p.drawRoundedRect(QRectF(box.rect()).adjusted(1, 1, -1, -1), sc(5), sc(5));
        if (down) drawGlyph(p, kCheck, QRectF(box.rect()), Qt::white);
        p.end();
        save(box, folder + (down ? "DevCheckBoxDown.png" : "DevCheckBoxNormal.png"));
    }
    const auto band = [&](int w, int h, const QColor& fill, const QColor& edge, const QString& name) {
        QImage i(sc(w), sc(h), QImage::Format_RGB32);
        i.fill(kSurfaceHigh);
        QPainter p(&i);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(edge, 1));
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(i.rect()).adjusted(1, 1, -1, -1), sc(8), sc(8));
        p.setPen(Qt::NoPen);
        p.setBrush(edge);
        p.drawRoundedRect(QRectF(sc(3), sc(10), sc(4), i.height() - sc(20)), 2, 2);
        p.end();
        save(i, folder + name);
    };
    band(304, 56, kAccentDeep.darker(160), kAccent, "DevTitleActive.jpg");
    band(288, 56, kAccentDeep.darker(170), kAccent, "DevListActive.jpg");
    band(288, 56, kPanel, kPanel, "MenuNormal.jpg");
    band(288, 56, kControlOver, kEdge, "MenuOver.jpg");
    for (const bool five : {false, true}) {
        QImage card = image(56, 40);
        QPainter p(&card);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(kMuted, std::max(1, sc(2))));
        p.setBrush(kControl);
        p.drawRoundedRect(QRectF(sc(2), sc(6), sc(50), sc(26)), sc(4), sc(4));
        p.setBrush(kSurface);
        p.drawEllipse(QPointF(sc(18), sc(19)), sc(8), sc(8));
        p.drawEllipse(QPointF(sc(37), sc(19)), sc(8), sc(8));
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        const int leds = five ? 5 : 3;
        for (int i = 0; i < leds; ++i) p.drawEllipse(QPointF(sc(8 + i * 9), sc(35)), sc(2), sc(2));
        p.end();
        save(card, folder + (five ? "DevKV6000-1.png" : "DevKV6000.png"));
    }
    // The swatch template: red carries the swatch's coverage at its buttons.
    QImage swatch(sc(page.size.width()), sc(page.size.height()), QImage::Format_RGB32);
    swatch.fill(Qt::black);
    {
        QPainter p(&swatch);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        for (const Control& c : page.controls)
            if (c.kind == Kind::Swatch)
                p.drawRoundedRect(QRectF(scRect(c.rect)).adjusted(sc(8), sc(8), -sc(8), -sc(36)), sc(6), sc(6));
    }
    save(swatch, folder + "LEDCpas.bmp");
    const auto maskOf = [&](const char* key, const QString& name) {
        QImage mask(sc(page.size.width()), sc(page.size.height()), QImage::Format_RGB32);
        mask.fill(Qt::white);
        QPainter p(&mask);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        for (const Control& c : page.controls)
            if (c.key == key) p.drawRoundedRect(QRectF(scRect(c.rect)), sc(6), sc(6));
        p.end();
        save(mask, folder + name);
    };
    maskOf("BUTTON_OLD_COLOR", "OldColorMask.bmp");
    maskOf("EDIT_OUTPUT", "MorseOutputMask.bmp");
    const char* thumbs[] = {"SilderNormal.png", "SilderOff.png", "SilderOver.png"};
    for (int i = 0; i < 3; ++i) {
        QImage thumb = image(20, 32);
        QPainter p(&thumb);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(i == 1 ? kDisabled : Qt::white, std::max(1, sc(2))));
        p.setBrush(i == 1 ? kControl : (i == 2 ? kAccent : kAccentDeep));
        p.drawRoundedRect(QRectF(thumb.rect()).adjusted(sc(2), sc(2), -sc(2), -sc(2)), sc(6), sc(6));
        p.end();
        save(thumb, folder + thumbs[i]);
    }
}

// A picture of one control alone in its four states.
void controlPictures(const QString& folder, const std::string& stem, int w, int h,
                     const std::function<void(QPainter&, const QRectF&, State)>& draw) {
    for (const State s : kStates) {
        QImage image(sc(w), sc(h), QImage::Format_RGB32);
        image.fill(kPanel);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p, QRectF(image.rect()), s);
        p.end();
        save(image, folder + QString::fromStdString(stem + stateName(s) + ".png"));
    }
}

void compositePictures(const QString& resFolder, const QString& menuFolder) {
    controlPictures(resFolder, "DevTitle", 304, 56, [](QPainter& p, const QRectF& r, State s) {
        drawPill(p, r, s);
        drawGlyph(p, kChevron, QRectF(r.right() - r.height(), r.top(), r.height(), r.height()),
                  s == State::Normal ? kMuted : kAccent);
    });
    controlPictures(resFolder, "DevMenu", 288, 56, [](QPainter& p, const QRectF& r, State s) {
        p.fillRect(r, s == State::Over ? kControlOver : (s == State::Down ? kAccentDeep.darker(150) : kPanel));
        p.setPen(kEdge);
        p.drawLine(r.bottomLeft() + QPointF(sc(12), -0.5), r.bottomRight() + QPointF(-sc(12), -0.5));
    });
    // The scroll buttons of a button menu's head.
    for (const bool up : {true, false})
        controlPictures(menuFolder, up ? "MenuScrollUp" : "MenuScrollDown", 144, 28,
                        [up](QPainter& p, const QRectF& r, State s) {
                            p.fillRect(r, s == State::Over ? kControlOver : (s == State::Down ? kAccentDeep : kPanel));
                            const QPointF c = r.center();
                            const double h = r.height() * 0.18;
                            const double dir = up ? -1 : 1;
                            p.setPen(Qt::NoPen);
                            p.setBrush(s == State::Disable ? kDisabled : (s == State::Normal ? kMuted : Qt::white));
                            p.drawPolygon(QPolygonF{c + QPointF(-2 * h, -dir * h), c + QPointF(2 * h, -dir * h),
                                                    c + QPointF(0, dir * h)});
                        });
    controlPictures(menuFolder, "DevListMenu", 200, 40, [](QPainter& p, const QRectF& r, State s) {
        p.fillRect(r, s == State::Over ? kControlOver : (s == State::Down ? kAccentDeep : kPanel));
    });
    const struct {
        const char* stem;
        const char* label;
        Glyph glyph;
    } switches[] = {{"SwitchLightOff", "Lights off", kOff},
                    {"SwitchLightOn", "Lights on", kStatic},
                    {"SwitchRandom", "Random", kRainbow},
                    {"SwitchSpecify", "Fixed", kDot}};
    for (const auto& sw : switches) {
        // The lights switches cover the whole effect menu they stand in for.
        const bool lights = QString::fromLatin1(sw.stem).startsWith("SwitchLight");
        controlPictures(menuFolder, sw.stem, lights ? 866 : 200, lights ? 84 : 36,
                        [&](QPainter& p, const QRectF& r, State s) {
                            drawPill(p, r, s);
                            const double glyph = std::min<double>(r.height(), sc(36));
                            const QRectF glyphRect(r.left() + sc(6), r.center().y() - glyph / 2, glyph, glyph);
                            drawGlyph(p, sw.glyph, glyphRect, s == State::Normal ? kMuted : Qt::white);
                            p.setPen(labelColour(s));
                            p.setFont(uiFont(std::min<double>(r.height() * 0.45, sc(22)), 500));
                            p.drawText(r.adjusted(glyphRect.right() - r.left() + sc(6), 0, 0, 0),
                                       Qt::AlignVCenter | Qt::AlignLeft, sw.label);
                        });
    }
}

std::string skinsDocument() {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Skins>\n";
    const auto windowSection = [&](const std::string& section, const std::string& stem, bool mask) {
        xml += "  <" + section + ">\n";
        if (mask) xml += "    <MASK>" + stem + "Mask.bmp</MASK>\n";
        for (const State s : kStates)
            xml += std::string("    <") +
                   (s == State::Disable  ? "DISABLE"
                    : s == State::Normal ? "NORMAL"
                    : s == State::Over   ? "OVER"
                                         : "DOWN") +
                   ">" + stem + stateName(s) + ".png</" +
                   (s == State::Disable  ? "DISABLE"
                    : s == State::Normal ? "NORMAL"
                    : s == State::Over   ? "OVER"
                                         : "DOWN") +
                   ">\n";
        xml += "  </" + section + ">\n";
    };
    for (const Window& w : windows())
        if (!w.files.empty()) windowSection(w.section, w.files, w.mask);
    windowSection("BUTTON_DEV_TITLE", "DevTitle", false);
    windowSection("MENU_DEV", "DevMenu", false);
    windowSection("DEV_LIST_MENU", "DevListMenu", false);
    windowSection("MENU_SCROLL_UP", "MenuScrollUp", false);
    windowSection("MENU_SCROLL_DOWN", "MenuScrollDown", false);
    windowSection("SWITCH_LIGHT_OFF", "SwitchLightOff", false);
    windowSection("SWITCH_LIGHT_ON", "SwitchLightOn", false);
    windowSection("BUTTON_SWITCH_RANDOM", "SwitchRandom", false);
    windowSection("BUTTON_SWITCH_SPECIFY", "SwitchSpecify", false);
    xml += "  <MASK>\n    <NORMAL>Dim.png</NORMAL>\n    <MASK>DimMask.bmp</MASK>\n  </MASK>\n";
    xml += "  <INFO>\n    <SW_VERSION>1.0.0</SW_VERSION>\n  </INFO>\n</Skins>\n";
    return xml;
}

std::string stringsDocument() {
    std::map<std::string, std::map<std::string, std::string>> table = strings();
    table["LED"] = pageStrings();
    table["LED5"] = pageStrings();
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Strings>\n";
    for (const auto& [section, keys] : table) {
        xml += "  <" + section + ">\n";
        for (const auto& [key, text] : keys) xml += "    <" + key + ">" + escape(text) + "</" + key + ">\n";
        xml += "  </" + section + ">\n";
    }
    return xml + "</Strings>\n";
}

std::string buttonsDocument(const std::vector<Window>& all) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Buttons>\n";
    // Each control with whether its window is drawn per set: the records of the
    // pictures all sets share stay unscaled.
    std::map<std::string, std::vector<std::pair<const Control*, bool>>> sections;
    std::vector<std::string> order;
    const auto add = [&](const std::string& section, const Control& c, bool scaled) {
        if (!sections.count(section)) order.push_back(section);
        sections[section].push_back({&c, scaled});
    };
    static const Control devListButton = ctl("BUTTON_MENU", 0, 0, 200, 40, Kind::Record);
    for (const Window& w : all) {
        if (w.section == "ROTATE_LED" || w.section == "LOGO_LED") continue;
        for (const Control& c : w.controls) {
            if (c.kind == Kind::Frame && c.key.rfind("RECT_", 0) != 0) continue;
            add(w.section, c, w.scaled);
        }
    }
    add("DEV_LIST_MENU", devListButton, true);
    const double setScale = gScale;
    for (const std::string& section : order) {
        xml += "  <" + section + ">\n";
        std::vector<std::string> seen;
        for (const auto& [c, scaled] : sections[section]) {
            if (std::find(seen.begin(), seen.end(), c->key) != seen.end()) continue;
            seen.push_back(c->key);
            gScale = scaled ? setScale : 1.0;
            const bool plain = c->key == "SCROLL_BAR_ID" || c->key == "PROGRESS";
            xml += "    <" + c->key + scaledAttributes(c->attributes) + ">" + (plain ? c->text : recordOf(*c)) + "</" +
                   c->key + ">\n";
        }
        xml += "  </" + section + ">\n";
    }
    gScale = setScale;
    return xml + "</Buttons>\n";
}

void popupExtras(const QString& root) {
    // The dimming cover: a dark picture and a shape that covers everything.
    QImage dim(1920, 1080, QImage::Format_RGB32);
    dim.fill(QColor(0x08, 0x09, 0x0B));
    save(dim, root + "/Skins/PopDlg/Dim.png");
    QImage dimMask(1920, 1080, QImage::Format_RGB32);
    dimMask.fill(Qt::black);
    save(dimMask, root + "/Skins/PopDlg/DimMask.bmp");
}

// The loading pop-ups carry a progress band at the bottom: the over picture
// shows it filled.
void decorateBand(QImage& image, int bandTop, State s) {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF band(sc(24), bandTop + sc(6), image.width() - sc(48), image.height() - bandTop - sc(16));
    p.setPen(Qt::NoPen);
    p.setBrush(s == State::Over ? kAccent : kControl);
    p.drawRoundedRect(band, band.height() / 2, band.height() / 2);
}

void drawLoadingArt(QImage& image, const QString& title) {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(image.width() / 2.0, image.height() * 0.42);
    for (int i = 0; i < 12; ++i) {
        const double a = i * M_PI / 6;
        QColor dot = kAccent;
        dot.setAlphaF(0.25 + 0.75 * i / 11.0);
        p.setPen(Qt::NoPen);
        p.setBrush(dot);
        p.drawEllipse(c + QPointF(std::cos(a) * 90, std::sin(a) * 90), 10, 10);
    }
    p.setPen(kText);
    p.setFont(uiFont(30, 600));
    p.drawText(QRectF(0, image.height() * 0.7, image.width(), 44), Qt::AlignCenter, title);
}

// ---- Nimbrel's skin: the updater window's layout and pictures, drawn at one
// scale; the updater reads them from its own folder.
const std::string kNimbrelValue = R"(FONT="Roboto Condensed" SIZE="20" WEIGHT="700" COLOR="15855340")";

std::vector<Control> nimbrelConfirmControls() {
    return {withText(withAttr(ctl("BUTTON_OK", 476, 344, 140, 38, Kind::Accent), kCaption), "OK"),
            withText(withAttr(ctl("BUTTON_CANCEL", 628, 344, 140, 38, Kind::Pill), kCaption), "Cancel"),
            ctl("BUTTON_CLOSE", 744, 12, 40, 34, Kind::Icon, {}, kClose),
            withAttr(ctl("STR_TITLE", 28, 14, 700, 34, Kind::Record),
                     R"(FONT="Roboto Condensed" SIZE="22" WEIGHT="600" COLOR="15855340")"),
            withAttr(ctl("RECT_PRODUCT", 32, 60, 736, 32, Kind::Record),
                     R"(FONT="Roboto Condensed" SIZE="22" WEIGHT="600" COLOR="16777215")"),
            withAttr(ctl("STR_CAPTION1", 32, 94, 736, 24, Kind::Record), kMutedLabel),
            withAttr(ctl("STR_CAPTION2", 32, 118, 736, 24, Kind::Record), kMutedLabel),
            withAttr(ctl("STR_CAPTION3", 32, 142, 736, 24, Kind::Record), kMutedLabel),
            ctl("RECT_INFO", 32, 174, 736, 106, Kind::Frame),
            withAttr(ctl("RECT_LAYOUT", 262, 184, 490, 28, Kind::Record), R"(COLOR="15855340")"),
            withAttr(ctl("RECT_VER", 262, 214, 490, 28, Kind::Record), kNimbrelValue),
            withAttr(ctl("RECT_CUR_VER", 262, 244, 490, 28, Kind::Record), R"(COLOR="14399523")"),
            withAttr(ctl("STR_BIN_GROUP", 32, 290, 110, 30, Kind::Record), kMutedLabel),
            ctl("COMBO_BIN_GROUP", 146, 290, 260, 30, Kind::Record),
            ctl("CHECK_FORCE", 440, 290, 328, 30, Kind::Record)};
}

std::vector<Control> nimbrelResultControls() {
    return {withText(withAttr(ctl("BUTTON_OK", 286, 170, 130, 38, Kind::Accent), kCaption), "OK"),
            ctl("BUTTON_CLOSE", 384, 10, 40, 34, Kind::Icon, {}, kClose),
            withAttr(ctl("STR_WARN", 112, 62, 300, 80, Kind::Record),
                     R"(FONT="Roboto Condensed" SIZE="24" WEIGHT="600" COLOR="15855340")")};
}

std::string nimbrelSection(const std::string& name, const std::vector<Control>& controls) {
    std::string text = "  <" + name + ">\n";
    for (const Control& c : controls)
        text += "    <" + c.key + scaledAttributes(c.attributes) + ">" + escape(recordOf(c)) + "</" + c.key + ">\n";
    return text + "  </" + name + ">\n";
}

// The words beside the values; the values are painted by the updater.
void drawNimbrelLabels(QPainter& p) {
    p.setPen(kMuted);
    p.setFont(uiFont(19, 500));
    const char* labels[] = {"Image", "Package version", "Controller version"};
    for (int row = 0; row < 3; ++row)
        p.drawText(QRectF(52, 184 + row * 30, 200, 28), Qt::AlignVCenter | Qt::AlignLeft, labels[row]);
}

void drawResultMark(QPainter& p, bool success) {
    const QRectF circle(30, 64, 64, 64);
    p.setPen(Qt::NoPen);
    p.setBrush(success ? QColor(0x2E, 0xA0, 0x5A) : QColor(0xD9, 0x3F, 0x4C));
    p.drawEllipse(circle);
    if (success) {
        drawGlyph(p, kCheck, circle.adjusted(10, 10, -10, -10), Qt::white);
    } else {
        p.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(circle.center().x(), circle.top() + 15), QPointF(circle.center().x(), circle.top() + 38));
        p.drawPoint(QPointF(circle.center().x(), circle.top() + 49));
    }
}

int generateNimbrel(const QString& folder) {
    gScale = 1.0;
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "skingen: cannot create %s\n", qPrintable(folder));
        return 1;
    }
    const Window confirm{"CONFIRM", "",   {800, 394}, skin::PictureFolder::PopDlg,
                         false,     true, {},         nimbrelConfirmControls()};
    const std::pair<State, const char*> looks[] = {{State::Normal, "Normal"},
                                                   {State::Over, "Highlight"},
                                                   {State::Disable, "Disable"}};
    for (const auto& [state, name] : looks) {
        QImage picture = windowPicture(confirm, state);
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        drawNimbrelLabels(p);
        p.end();
        save(picture, folder + "/" + name + ".png");
    }
    save(maskPicture(confirm), folder + "/Mask.bmp");

    // The progress bar: 684 x 16, empty and filled, and its 16 x 15 icon.
    const QRect barRect(58, 326, 684, 16);
    QImage empty(barRect.size(), QImage::Format_ARGB32_Premultiplied);
    QImage full(barRect.size(), QImage::Format_ARGB32_Premultiplied);
    for (QImage* bar : {&empty, &full}) {
        bar->fill(Qt::transparent);
        QPainter p(bar);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        if (bar == &full) {
            QLinearGradient fill(0, 0, barRect.width(), 0);
            fill.setColorAt(0, kAccentDeep);
            fill.setColorAt(1, kAccent);
            p.setBrush(fill);
        } else {
            p.setBrush(kSurfaceHigh.darker(130));
        }
        p.drawRoundedRect(QRectF(0, 3, barRect.width(), 10), 5, 5);
    }
    save(empty, folder + "/BarEmpty.png");
    save(full, folder + "/BarFull.png");
    QImage icon(16, 15, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    {
        QPainter p(&icon);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(kAccentDeep, 2));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(1.5, 1, 13, 13));
    }
    save(icon, folder + "/BarIcon.png");

    // The result pop-ups: one look for success, one for failure.
    const Window result{"SUCCESS", "",   {440, 224}, skin::PictureFolder::PopDlg,
                        false,     true, {},         nimbrelResultControls()};
    for (const bool success : {true, false}) {
        for (const auto& [state, name] : looks) {
            QImage picture = windowPicture(result, state);
            QPainter p(&picture);
            p.setRenderHint(QPainter::Antialiasing);
            drawResultMark(p, success);
            p.end();
            save(picture, folder + "/" + (success ? "Success" : "Fail") + name + ".png");
        }
    }
    save(maskPicture(result), folder + "/WarnMask.bmp");

    const std::string update =
        "  <UPDATE>\n    <BAR_ICON>BAR_ICON,0,0,16,15,BarIcon.png,FALSE</BAR_ICON>\n"
        "    <RECT_UPDATE>RECT_UPDATE," +
        std::to_string(barRect.left()) + "," + std::to_string(barRect.top()) +
        ",684,16,,FALSE</RECT_UPDATE>\n  </UPDATE>\n";
    writeText(folder + "/Layout.xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Layout>\n" + update +
                                          nimbrelSection("SUCCESS", nimbrelResultControls()) +
                                          nimbrelSection("FAIL", nimbrelResultControls()) +
                                          nimbrelSection("CONFIRM", nimbrelConfirmControls()) + "</Layout>\n");
    return gFailed ? 1 : 0;
}

int generate(const QString& root) {
    const std::vector<std::string>& sets = skin::resolutionSets();
    const double scales[] = {1.0, 1366.0 / 1920.0, 0.5};
    for (std::size_t set = 0; set < sets.size(); ++set) {
        gScale = scales[set];
        const std::vector<Window> all = windows();
        const QString resFolder = folderPath(root, skin::PictureFolder::Resolution, sets[set]);
        const QString menuFolder = folderPath(root, skin::PictureFolder::Menu, sets[set]);
        QDir().mkpath(menuFolder);
        for (const Window& w : all) {
            if (w.files.empty() || (!w.scaled && set > 0)) continue;
            if (!w.scaled) gScale = 1.0;
            const QString folder = folderPath(root, w.folder, sets[set]);
            QDir().mkpath(folder);
            for (const State s : kStates) {
                QImage picture = windowPicture(w, s);
                if (w.section == "LOADING") decorateBand(picture, 72, s);
                if (w.section == "LOAD_KEYBOARD") {
                    drawLoadingArt(picture, "Reading the cards");
                    decorateBand(picture, 558, s);
                }
                save(picture, folder + QString::fromStdString(w.files + stateName(s) + ".png"));
            }
            if (w.mask) save(maskPicture(w), folder + QString::fromStdString(w.files + "Mask.bmp"));
            gScale = scales[set];
        }
        fixedPictures(resFolder, all[1]);
        compositePictures(resFolder, menuFolder);
        writeText(resFolder + "Buttons.xml", buttonsDocument(all));
    }
    popupExtras(root);
    writeText(root + "/Skins.xml", skinsDocument());
    writeText(root + "/Strings.xml", stringsDocument());
    return gFailed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool nimbrel = argc == 3 && std::string(argv[1]) == "--nimbrel";
    const bool icon = argc == 3 && std::string(argv[1]) == "--icon";
    if ((argc != 2 && !nimbrel && !icon) || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        std::fprintf(argc == 2 ? stdout : stderr,
                     "usage: skingen FOLDER\n  writes the default skin (Skins.xml, Strings.xml, Skins/...) into "
                     "FOLDER, the program folder\n"
                     "       skingen --nimbrel FOLDER\n  writes the updater window's skin (Layout.xml and its "
                     "pictures) into FOLDER\n"
                     "       skingen --icon FOLDER\n  writes the application icon into FOLDER/hicolor/ "
                     "(scalable SVG and PNG sizes)\n");
        return argc == 2 ? 0 : 64;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (nimbrel) return generateNimbrel(QString::fromLocal8Bit(argv[2]));
    if (icon) return generateIcon(QString::fromLocal8Bit(argv[2]));
    const QString root = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(root + "/Skins/PopDlg")) {
        std::fprintf(stderr, "skingen: cannot create %s\n", argv[1]);
        return 1;
    }
    return generate(root);
}
