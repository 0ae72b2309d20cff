// Draws the application's pictures: the five wiring diagrams, the logo, the seven status-bar icons, and the
// program's icon for the desktop (the logo's emblem) as a 256-pixel PNG and as SVG.
//
// The build does not run this program; the PNGs committed under src/app/resources are what the app embeds, and
// the icons committed under packaging/ are what the package installs. To regenerate them after changing a
// drawing, build the target and run it from the repository root:
//
//     cmake --build build/<dir> --target tavrel-draw-assets
//     QT_QPA_PLATFORM=offscreen build/<dir>/tools/assets/tavrel-draw-assets .
//
// It writes src/app/resources/{pictures/*.png, images/logo.png, icons/sb0.png ... sb6.png} and
// packaging/icon-256.png, packaging/icon.svg below the given directory.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <vector>

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QString>
#include <QSvgGenerator>
#include <QTextStream>

namespace {

// Diagram canvas; the channel frame scales it down to roughly 300 x 100 pixels, so every label is large.
constexpr int kDiagramWidth = 1063;
constexpr int kDiagramHeight = 346;

namespace colour {
const QColor kPlus("#d32f2f");         // positive wire and terminal
const QColor kMinus("#212121");        // negative wire and terminal
const QColor kIdle("#9aa5ab");         // terminals nothing is connected to
const QColor kHousing("#fbfcfc");      // front panel of the instrument and the calibrator
const QColor kHousingEdge("#455a64");  // outline of a housing
const QColor kHeader("#37474f");       // title band of a housing
const QColor kActiveFill("#e3f2fd");   // the channel being wired
const QColor kActiveEdge("#1565c0");   //
const QColor kActiveText("#0d47a1");   //
const QColor kIdleEdge("#cfd8dc");     // channels left unconnected
const QColor kIdleText("#78909c");     //
const QColor kMetal("#cfd8dc");        // binding-post nut
const QColor kMetalEdge("#546e7a");    //
const QColor kShuntBody("#b0bec5");    // shunt bar
const QColor kShuntEdge("#37474f");    //
const QColor kText("#263238");         // ordinary labels
}  // namespace colour

enum class Polarity { Plus, Minus };

QColor PolarityColour(Polarity p) {
    return p == Polarity::Plus ? colour::kPlus : colour::kMinus;
}

const QString kMinusSign = QString(QChar(0x2212));

QFont LabelFont(int pixels, bool bold, bool condensed = false) {
    QFont f(condensed ? QStringLiteral("DejaVu Sans Condensed") : QStringLiteral("DejaVu Sans"));
    if (condensed)
        f.setStretch(QFont::Condensed);
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

QImage NewCanvas(int width, int height) {
    QImage img(width, height, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    return img;
}

void Prepare(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
}

void DrawText(QPainter& p, const QRectF& box, const QString& text, const QFont& font, const QColor& c,
              Qt::Alignment align = Qt::AlignCenter) {
    p.setFont(font);
    p.setPen(c);
    p.drawText(box, static_cast<int>(align), text);
}

// A housing: rounded front panel with a dark title band, used for both the instrument and the calibrator.
void DrawHousing(QPainter& p, const QRectF& box, const QString& title, int titlePixels) {
    constexpr double kRadius = 14;
    constexpr double kBand = 48;
    p.setPen(QPen(colour::kHousingEdge, 3));
    p.setBrush(colour::kHousing);
    p.drawRoundedRect(box, kRadius, kRadius);

    QPainterPath band;
    band.addRoundedRect(box, kRadius, kRadius);
    QPainterPath top;
    top.addRect(QRectF(box.left(), box.top(), box.width(), kBand));
    p.setPen(Qt::NoPen);
    p.setBrush(colour::kHeader);
    p.drawPath(band.intersected(top));
    DrawText(p, QRectF(box.left() + 14, box.top(), box.width() - 28, kBand), title, LabelFont(titlePixels, true, true),
             Qt::white, Qt::AlignVCenter | Qt::AlignLeft);

    p.setPen(QPen(colour::kHousingEdge, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box, kRadius, kRadius);
}

// A binding post seen from the front: coloured insulating collar, metal nut, hole for the plug.
void DrawTerminal(QPainter& p, QPointF centre, double radius, Polarity polarity, bool connected) {
    const QColor collar = connected ? PolarityColour(polarity) : colour::kIdle;
    p.setPen(QPen(collar.darker(130), 2));
    p.setBrush(collar);
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(colour::kMetalEdge, 2));
    p.setBrush(colour::kMetal);
    p.drawEllipse(centre, radius * 0.58, radius * 0.58);
    p.setPen(Qt::NoPen);
    p.setBrush(colour::kMetalEdge);
    p.drawEllipse(centre, radius * 0.22, radius * 0.22);
}

// A wire as an orthogonal polyline in the colour of its polarity, with solder dots at both ends.
void DrawWire(QPainter& p, const std::vector<QPointF>& points, Polarity polarity) {
    constexpr double kWidth = 6;
    const QColor c = PolarityColour(polarity);
    QPolygonF line;
    for (const QPointF& pt : points)
        line << pt;
    // A light halo keeps the wire readable where it runs over a housing outline.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 220), kWidth + 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(line);
    p.setPen(QPen(c, kWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(line);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(points.front(), kWidth * 0.9, kWidth * 0.9);
    p.drawEllipse(points.back(), kWidth * 0.9, kWidth * 0.9);
}

// Arrowhead at `tip` pointing in direction (dx, dy), marking the direction of the current.
void DrawArrow(QPainter& p, QPointF tip, double dx, double dy, const QColor& c) {
    constexpr double kLen = 18;
    constexpr double kHalf = 9;
    const QPointF back = tip - QPointF(dx * kLen, dy * kLen);
    const QPointF side(-dy * kHalf, dx * kHalf);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(QPolygonF{tip, back + side, back - side});
}

// A "+"/"−" terminal pair with its polarity signs; returns the centres (plus first).
struct TerminalPair {
    QPointF plus;
    QPointF minus;
};

constexpr double kTerminalRadius = 23;
constexpr double kTerminalY = 192;   // centre line of every front-panel terminal
constexpr double kPairHalfGap = 36;  // half the distance between the + and − posts of one pair
constexpr double kSignTop = 128;     // top of the polarity signs above the terminals

TerminalPair DrawTerminalPair(QPainter& p, double centreX, const QString& plusLabel, const QString& minusLabel,
                              bool connected, bool minusFirst = false) {
    TerminalPair pair{{centreX - kPairHalfGap, kTerminalY}, {centreX + kPairHalfGap, kTerminalY}};
    if (minusFirst)
        std::swap(pair.plus, pair.minus);
    const QFont sign = LabelFont(plusLabel.size() > 1 ? 30 : 42, true);
    const QColor plusText = connected ? colour::kPlus : colour::kIdleText;
    const QColor minusText = connected ? colour::kMinus : colour::kIdleText;
    DrawText(p, QRectF(pair.plus.x() - 40, kSignTop, 80, 40), plusLabel, sign, plusText);
    DrawText(p, QRectF(pair.minus.x() - 40, kSignTop, 80, 40), minusLabel, sign, minusText);
    DrawTerminal(p, pair.plus, kTerminalRadius, Polarity::Plus, connected);
    DrawTerminal(p, pair.minus, kTerminalRadius, Polarity::Minus, connected);
    return pair;
}

// One channel's input block on the instrument: outlined group, its name and its two terminals.
TerminalPair DrawChannelBlock(QPainter& p, double centreX, double halfWidth, int channel, bool connected) {
    const QRectF block(centreX - halfWidth, 72, 2 * halfWidth, 152);
    p.setPen(QPen(connected ? colour::kActiveEdge : colour::kIdleEdge, connected ? 3 : 2));
    p.setBrush(connected ? colour::kActiveFill : QColor(Qt::transparent));
    p.drawRoundedRect(block, 10, 10);
    DrawText(p, QRectF(block.left(), block.top() + 4, block.width(), 50), QStringLiteral("Канал %1").arg(channel),
             LabelFont(38, true, true), connected ? colour::kActiveText : colour::kIdleText);
    return DrawTerminalPair(p, centreX, QStringLiteral("+"), kMinusSign, connected);
}

// The instrument with its three input pairs; returns the pair of the one channel that is wired (1-based).
TerminalPair DrawInstrument(QPainter& p, const QRectF& body, const QString& title, int wiredChannel) {
    DrawHousing(p, body, title, 34);
    const double pitch = (body.width() - 24) / 3;
    const double halfWidth = pitch / 2 - 8;
    TerminalPair wired{};
    for (int ch = 1; ch <= 3; ++ch) {
        const double cx = body.left() + 12 + pitch * (ch - 0.5);
        const TerminalPair pair = DrawChannelBlock(p, cx, halfWidth, ch, ch == wiredChannel);
        if (ch == wiredChannel)
            wired = pair;
    }
    return wired;
}

// The calibrator: housing, a caption for the output group and its two output terminals ("−" post on the left,
// so that the two wires can run as nested loops without crossing).
TerminalPair DrawCalibrator(QPainter& p, const QRectF& box, const QString& output, const QString& plusLabel,
                            const QString& minusLabel) {
    DrawHousing(p, box, QStringLiteral("Калибратор"), 34);
    DrawText(p, QRectF(box.left(), 78, box.width(), 34), output, LabelFont(30, false, true), colour::kText);
    return DrawTerminalPair(p, box.center().x(), plusLabel, minusLabel, true, true);
}

// The current shunt as a bar: current posts on top at both ends, potential posts below between them.
struct ShuntPosts {
    QPointF currentIn;
    QPointF currentOut;
    QPointF potentialPlus;
    QPointF potentialMinus;
};

ShuntPosts DrawShunt(QPainter& p, const QRectF& bar, double currentInX, double currentOutX, double potentialPlusX,
                     double potentialMinusX) {
    p.setPen(QPen(colour::kShuntEdge, 3));
    p.setBrush(colour::kShuntBody);
    p.drawRoundedRect(bar, 6, 6);
    DrawText(p, bar, QStringLiteral("Шунт 75 мВ"), LabelFont(31, true, true), colour::kText);

    const ShuntPosts posts{{currentInX, bar.top()},
                           {currentOutX, bar.top()},
                           {potentialPlusX, bar.bottom()},
                           {potentialMinusX, bar.bottom()}};
    const auto post = [&p](QPointF c, double r) {
        p.setPen(QPen(colour::kMetalEdge, 2));
        p.setBrush(colour::kMetal);
        p.drawEllipse(c, r, r);
        p.setBrush(colour::kMetalEdge);
        p.setPen(Qt::NoPen);
        p.drawEllipse(c, r * 0.35, r * 0.35);
    };
    post(posts.currentIn, 13);
    post(posts.currentOut, 13);
    post(posts.potentialPlus, 10);
    post(posts.potentialMinus, 10);
    return posts;
}

// Voltage wiring shared by the registrator and the IPP voltage pictures: calibrator output to one channel,
// both wires leaving downwards and running to the right in two lanes below the instrument.
QImage DrawVoltageWiring(const QString& title, int channel) {
    QImage img = NewCanvas(kDiagramWidth, kDiagramHeight);
    QPainter p(&img);
    Prepare(p);
    const TerminalPair in = DrawInstrument(p, QRectF(12, 12, 660, 236), title, channel);
    const TerminalPair out = DrawCalibrator(p, QRectF(790, 12, 258, 236), QStringLiteral("Выход U"),
                                            QStringLiteral("U+"), QStringLiteral("U") + kMinusSign);
    constexpr double kMinusLane = 284;
    constexpr double kPlusLane = 322;
    DrawWire(p, {in.minus, {in.minus.x(), kMinusLane}, {out.minus.x(), kMinusLane}, out.minus}, Polarity::Minus);
    DrawWire(p, {in.plus, {in.plus.x(), kPlusLane}, {out.plus.x(), kPlusLane}, out.plus}, Polarity::Plus);
    p.end();
    return img;
}

QImage DrawReg1() {
    return DrawVoltageWiring(QStringLiteral("Таврель · Регистратор"), 1);
}
QImage DrawReg2() {
    return DrawVoltageWiring(QStringLiteral("Таврель · Регистратор"), 2);
}
QImage DrawReg3() {
    return DrawVoltageWiring(QStringLiteral("Таврель · Регистратор"), 3);
}
QImage DrawIppVolt() {
    return DrawVoltageWiring(QStringLiteral("Таврель · Uпп / Uтз потенциал"), 2);
}

// Current mode: the calibrator's current output drives the shunt, channel 3 measures the drop across the
// shunt's potential posts. The current enters at the right end, so the "+" potential post is the right one.
QImage DrawIppAmpere() {
    QImage img = NewCanvas(kDiagramWidth, kDiagramHeight);
    QPainter p(&img);
    Prepare(p);
    const TerminalPair in = DrawInstrument(p, QRectF(12, 12, 560, 236), QStringLiteral("Таврель · Iп ток"), 3);
    const TerminalPair out = DrawCalibrator(p, QRectF(800, 12, 248, 236), QStringLiteral("Выход I"),
                                            QStringLiteral("I+"), QStringLiteral("I") + kMinusSign);
    const QRectF bar(600, 272, 400, 40);
    const ShuntPosts shunt = DrawShunt(p, bar, out.plus.x(), 640, 900, 720);

    constexpr double kReturnLane = 256;
    DrawWire(p, {out.plus, shunt.currentIn}, Polarity::Plus);
    DrawWire(p, {out.minus, {out.minus.x(), kReturnLane}, {shunt.currentOut.x(), kReturnLane}, shunt.currentOut},
             Polarity::Minus);
    DrawArrow(p, QPointF(out.plus.x(), shunt.currentIn.y() - 12), 0, 1, colour::kPlus);

    constexpr double kMinusLane = 324;
    constexpr double kPlusLane = 339;
    DrawWire(p, {in.minus, {in.minus.x(), kMinusLane}, {shunt.potentialMinus.x(), kMinusLane}, shunt.potentialMinus},
             Polarity::Minus);
    DrawWire(p, {in.plus, {in.plus.x(), kPlusLane}, {shunt.potentialPlus.x(), kPlusLane}, shunt.potentialPlus},
             Polarity::Plus);
    p.end();
    return img;
}

namespace logo {
const QColor kNavy("#0d47a1");
const QColor kAccent("#d32f2f");
const QColor kGrey("#546e7a");
// The emblem and its margin: the left end of the wordmark and, scaled, the program's icon.
constexpr double kEmblemBox = 629;
const QRectF kEmblem(20, 20, 589, 589);
}  // namespace logo

// Emblem: rounded square with a dial arc, scale ticks and a needle, in a kEmblemBox square at the origin.
void DrawEmblem(QPainter& p) {
    const QRectF emblem = logo::kEmblem;
    p.setPen(Qt::NoPen);
    p.setBrush(logo::kNavy);
    p.drawRoundedRect(emblem, 110, 110);
    const QPointF hub(emblem.center().x(), emblem.top() + 400);
    const double arcR = 250;
    p.setPen(QPen(Qt::white, 26, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(hub.x() - arcR, hub.y() - arcR, 2 * arcR, 2 * arcR), 30 * 16, 120 * 16);
    p.setPen(QPen(Qt::white, 14, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i <= 6; ++i) {
        const double a = (150.0 - i * 20.0) * 3.14159265358979 / 180.0;
        const QPointF dir(std::cos(a), -std::sin(a));
        p.drawLine(hub + dir * (arcR - 30), hub + dir * (arcR - (i % 3 == 0 ? 85 : 60)));
    }
    const double needleA = 62.0 * 3.14159265358979 / 180.0;
    p.setPen(QPen(logo::kAccent, 22, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(hub, hub + QPointF(std::cos(needleA), -std::sin(needleA)) * (arcR - 40));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(hub, 38, 38);
    p.setBrush(logo::kAccent);
    p.drawEllipse(hub, 18, 18);
    p.setPen(QPen(Qt::white, 20, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(emblem.left() + 120, emblem.bottom() - 90), QPointF(emblem.right() - 120, emblem.bottom() - 90));
}

// Wordmark: the emblem and "Поверка Таврель" over «Ордалит».
QImage DrawLogo() {
    constexpr int kW = 3279;
    constexpr int kH = 629;
    QImage img = NewCanvas(kW, kH);
    QPainter p(&img);
    Prepare(p);
    DrawEmblem(p);

    // Texts, sized to fill the width right of the emblem.
    const double textLeft = logo::kEmblem.right() + 90;
    const double textWidth = kW - textLeft - 20;
    const QString product = QStringLiteral("Поверка Таврель");
    QFont big = LabelFont(300, true);
    const double bigWidth = QFontMetricsF(big).horizontalAdvance(product);
    big.setPixelSize(static_cast<int>(300 * textWidth / bigWidth));
    const QFontMetricsF bigM(big);
    DrawText(p, QRectF(textLeft, 0, textWidth, 380), product, big, logo::kNavy, Qt::AlignLeft | Qt::AlignBottom);

    QFont small = LabelFont(170, false);
    small.setLetterSpacing(QFont::PercentageSpacing, 108);
    p.setPen(QPen(logo::kGrey, 10));
    const QString maker = QStringLiteral("«Ордалит»");
    const double makerWidth = QFontMetricsF(small).horizontalAdvance(maker);
    const QRectF makerBox(textLeft + 8, 400, makerWidth + 20, 210);
    DrawText(p, makerBox, maker, small, logo::kGrey, Qt::AlignLeft | Qt::AlignVCenter);
    p.setPen(QPen(logo::kAccent, 14, Qt::SolidLine, Qt::RoundCap));
    const double ruleY = makerBox.center().y() + 8;
    p.drawLine(QPointF(makerBox.right() + 50, ruleY), QPointF(kW - 30, ruleY));
    p.end();
    return img;
}

// ---- Status-bar icons: 16 x 16 pixel art, one character per pixel, so every edge stays sharp. ----

using IconArt = std::array<const char*, 16>;
struct Ink {
    char key;
    QColor colour;
};

// '.' is transparent; every other character is looked up in `inks`.
QImage IconFromArt(const IconArt& art, std::initializer_list<Ink> inks) {
    QImage img = NewCanvas(16, 16);
    for (int y = 0; y < 16; ++y) {
        const QByteArray row(art[static_cast<std::size_t>(y)]);
        if (row.size() != 16)
            qFatal("icon row %d is %d pixels wide", y, static_cast<int>(row.size()));
        for (int x = 0; x < 16; ++x) {
            if (row[x] == '.')
                continue;
            const Ink* ink = std::find_if(inks.begin(), inks.end(), [&](const Ink& i) { return i.key == row[x]; });
            if (ink == inks.end())
                qFatal("icon row %d uses an unknown colour '%c'", y, row[x]);
            img.setPixelColor(x, y, ink->colour);
        }
    }
    return img;
}

const QColor kIconDark("#37474f");

QImage DrawIconMains() {
    return IconFromArt({"................", ".....dd..dd.....", ".....dd..dd.....", ".....dd..dd.....",
                        "...dddddddddd...", "...dddddddddd...", "....dddaaddd....", "....dddaaddd....",
                        "....dddddddd....", ".....dddddd.....", "......dddd......", ".......dd.......",
                        ".......dd.......", ".......dd.......", ".......dd.......", "................"},
                       {{'d', kIconDark}, {'a', QColor("#ffb300")}});
}

QImage DrawIconUsb() {
    return IconFromArt({".......bb.......", "......bbbb......", ".....bbbbbb.....", ".......bb..bbb..",
                        "..bb...bb..bbb..", ".bbbb..bb..bbb..", ".bbbb..bb...b...", "..bb...bb...b...",
                        "..b....bb...b...", "..b....bb..b....", "..bb...bbbb.....", "...bbbbbb.......",
                        "......bbbb......", ".....bbbbbb.....", ".....bbbbbb.....", "......bbbb......"},
                       {{'b', QColor("#1565c0")}});
}

QImage DrawIconBattery() {
    return IconFromArt({"................", "................", ".gggggggggggg...", ".gGGGGGGGGGGg...",
                        ".gGGGGGGGGGGg...", ".gGGGGwGGGGGg...", ".gGGGGwGGGGGggg.", ".gGGwwwwwGGGggg.",
                        ".gGGGGwGGGGGggg.", ".gGGGGwGGGGGggg.", ".gGGGGGGGGGGg...", ".gGGGGGGGGGGg...",
                        ".gGGGGGGGGGGg...", ".gggggggggggg...", "................", "................"},
                       {{'g', QColor("#1b5e20")}, {'G', QColor("#43a047")}, {'w', Qt::white}});
}

QImage DrawIconCharging() {
    return IconFromArt({"................", "................", ".dddddddddddd...", ".d.......oo.d...",
                        ".d......oo..d...", ".d.....oo...d...", ".d....oo....ddd.", ".d...oooooo.ddd.",
                        ".d......oo..ddd.", ".d.....oo...ddd.", ".d....oo....d...", ".d...oo.....d...",
                        ".d..oo......d...", ".dddddddddddd...", "................", "................"},
                       {{'d', kIconDark}, {'o', QColor("#f57c00")}});
}

QImage DrawIconDischarging() {
    return IconFromArt({"................", "................", ".dddddddddddd...", ".doo...RR...d...",
                        ".doo...RR...d...", ".doo...RR...d...", ".doo...RR...ddd.", ".doo...RR...ddd.",
                        ".doo.RRRRRR.ddd.", ".doo..RRRR..ddd.", ".doo...RR...d...", ".doo........d...",
                        ".doo........d...", ".dddddddddddd...", "................", "................"},
                       {{'d', kIconDark}, {'o', QColor("#ef6c00")}, {'R', QColor("#c62828")}});
}

QImage DrawIconMemory() {
    return IconFromArt({"................", ".....sssssssss..", "....sssysysyss..", "...ssssysysyss..",
                        "..sssssysysyss..", "..ssssssssssss..", "..ssssssssssss..", "..ssssssssssss..",
                        "..sswwwwwwwwss..", "..sswwwwwwwwss..", "..sswsssssswss..", "..sswwwwwwwwss..",
                        "..sswwwwwwwwss..", "..ssssssssssss..", "..ssssssssssss..", "................"},
                       {{'s', QColor("#455a64")}, {'y', QColor("#ffca28")}, {'w', QColor("#eceff1")}});
}

// Battery gauge: three of four segments lit.
QImage DrawIconCharge() {
    return IconFromArt({"......dddd......", "...dddddddddd...", "...d........d...", "...d........d...",
                        "...d........d...", "...d........d...", "...d.GGGGGG.d...", "...d.GGGGGG.d...",
                        "...d........d...", "...d.GGGGGG.d...", "...d.GGGGGG.d...", "...d........d...",
                        "...d.GGGGGG.d...", "...d.GGGGGG.d...", "...d........d...", "...dddddddddd..."},
                       {{'d', kIconDark}, {'G', QColor("#43a047")}});
}

// The program's icon: the emblem alone, filling a square of kIconSize pixels.
constexpr int kIconSize = 256;

void DrawIcon(QPainter& p) {
    Prepare(p);
    p.scale(kIconSize / logo::kEmblemBox, kIconSize / logo::kEmblemBox);
    DrawEmblem(p);
}

QImage DrawIconPng() {
    QImage img = NewCanvas(kIconSize, kIconSize);
    QPainter p(&img);
    DrawIcon(p);
    p.end();
    return img;
}

bool SaveIconSvg(const QString& root, const QString& relative) {
    const QString path = QDir(root).filePath(relative);
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(kIconSize, kIconSize));
    svg.setViewBox(QRect(0, 0, kIconSize, kIconSize));
    svg.setTitle(QStringLiteral("Поверка Таврель"));
    QPainter p;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !p.begin(&svg)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    DrawIcon(p);
    p.end();
    std::printf("%s\n", qPrintable(relative));
    return true;
}

bool Save(const QImage& img, const QString& root, const QString& relative) {
    const QString path = QDir(root).filePath(relative);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !img.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(relative), img.width(), img.height());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <repository root>\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);

    struct Picture {
        const char* path;
        QImage (*draw)();
    };
    const std::array<Picture, 14> pictures{{
        {"src/app/resources/pictures/REG1.png", DrawReg1},
        {"src/app/resources/pictures/REG2.png", DrawReg2},
        {"src/app/resources/pictures/REG3.png", DrawReg3},
        {"src/app/resources/pictures/IPP_VOLT.png", DrawIppVolt},
        {"src/app/resources/pictures/IPP_AMPERE.png", DrawIppAmpere},
        {"src/app/resources/images/logo.png", DrawLogo},
        {"src/app/resources/icons/sb0.png", DrawIconMains},
        {"src/app/resources/icons/sb1.png", DrawIconUsb},
        {"src/app/resources/icons/sb2.png", DrawIconBattery},
        {"src/app/resources/icons/sb3.png", DrawIconCharging},
        {"src/app/resources/icons/sb4.png", DrawIconDischarging},
        {"src/app/resources/icons/sb5.png", DrawIconMemory},
        {"src/app/resources/icons/sb6.png", DrawIconCharge},
        {"packaging/icon-256.png", DrawIconPng},
    }};
    bool ok = true;
    for (const Picture& pic : pictures)
        ok = Save(pic.draw(), root, QString::fromLatin1(pic.path)) && ok;
    ok = SaveIconSvg(root, QStringLiteral("packaging/icon.svg")) && ok;
    return ok ? 0 : 1;
}
