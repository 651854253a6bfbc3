// Draws every icon of the OSD as a flat 64 x 64 PNG: slate outlines of one
// stroke width, one blue accent, and green, red or gold only where the icon
// means go, stop or favourite. Run it again after changing a drawing and
// commit the PNGs it writes.
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <cstdio>
#include <functional>

namespace {

const QColor slate(0x34, 0x49, 0x5e);
const QColor blue(0x33, 0x99, 0xff);
const QColor paleBlue(0xd6, 0xea, 0xff);
const QColor green(0x2e, 0xad, 0x5b);
const QColor red(0xd9, 0x53, 0x4f);
const QColor gold(0xf2, 0xb6, 0x30);
const QColor white(Qt::white);
constexpr qreal stroke = 4.0;

QPen outline(const QColor& color = slate, qreal width = stroke)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void monitor(QPainter& p, const QRectF& screen, const QColor& fill)
{
    p.setPen(outline());
    p.setBrush(fill);
    p.drawRoundedRect(screen, 4, 4);
    const qreal cx = screen.center().x();
    p.drawLine(QPointF(cx, screen.bottom() + 2), QPointF(cx, screen.bottom() + 8));
    p.drawLine(QPointF(cx - 10, screen.bottom() + 9), QPointF(cx + 10, screen.bottom() + 9));
}

void person(QPainter& p, const QPointF& head, qreal scale, const QColor& fill)
{
    p.setPen(outline());
    p.setBrush(fill);
    QPainterPath body;
    const qreal w = 15 * scale;
    const qreal top = head.y() + 12 * scale;
    body.moveTo(head.x() - w, top + 20 * scale);
    body.cubicTo(head.x() - w, top, head.x() + w, top, head.x() + w, top + 20 * scale);
    body.closeSubpath();
    p.drawPath(body);
    p.drawEllipse(head, 8 * scale, 8 * scale);
}

void arrow(QPainter& p, const QPointF& from, const QPointF& to, const QColor& color, qreal head = 9)
{
    p.setPen(outline(color, stroke + 1));
    p.drawLine(from, to);
    const qreal angle = qAtan2(to.y() - from.y(), to.x() - from.x());
    for (const qreal side : { 1.0, -1.0 }) {
        const qreal a = angle + M_PI + side * M_PI / 4;
        p.drawLine(to, to + QPointF(qCos(a) * head, qSin(a) * head));
    }
}

void gear(QPainter& p, const QPointF& c, qreal outer, qreal inner, int teeth, const QColor& fill)
{
    QPainterPath path;
    for (int i = 0; i < teeth * 4; ++i) {
        const qreal a = 2 * M_PI * (i - 0.5) / (teeth * 4);
        const qreal r = (i % 4 < 2) ? outer : inner;
        const QPointF pt(c.x() + r * qCos(a), c.y() + r * qSin(a));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    path.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, inner * 0.42, inner * 0.42);
    p.setPen(outline());
    p.setBrush(fill);
    p.drawPath(path.subtracted(hole));
}

void padlock(QPainter& p, const QRectF& body)
{
    p.setPen(outline(slate, 3));
    p.setBrush(Qt::NoBrush);
    const qreal w = body.width() * 0.6;
    p.drawArc(QRectF(body.center().x() - w / 2, body.top() - w * 0.75, w, w * 1.3), 0, 180 * 16);
    p.setBrush(gold);
    p.drawRoundedRect(body, 2, 2);
}

void shareBadge(QPainter& p, const QPointF& c)
{
    p.setPen(outline(slate, 3));
    p.setBrush(green);
    p.drawEllipse(c, 11, 11);
    p.setPen(outline(white, 2.5));
    const QPointF a(c.x() - 5, c.y()), b(c.x() + 4, c.y() - 5), d(c.x() + 4, c.y() + 5);
    p.drawLine(a, b);
    p.drawLine(a, d);
    p.setBrush(white);
    for (const QPointF& pt : { a, b, d })
        p.drawEllipse(pt, 1.6, 1.6);
}

void tray(QPainter& p)
{
    p.setPen(outline());
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    path.moveTo(8, 38);
    path.lineTo(8, 56);
    path.lineTo(56, 56);
    path.lineTo(56, 38);
    p.drawPath(path);
}

using Drawing = std::function<void(QPainter&)>;

struct Icon {
    const char* name;
    Drawing draw;
};

const Icon icons[] = {
    { "connections",
        [](QPainter& p) {
            monitor(p, QRectF(20, 6, 38, 26), paleBlue);
            monitor(p, QRectF(6, 22, 38, 26), blue);
        } },
    { "preferences_system", [](QPainter& p) { gear(p, QPointF(32, 32), 28, 21, 8, blue); } },
    { "groupevent",
        [](QPainter& p) {
            person(p, QPointF(44, 13), 0.8, paleBlue);
            person(p, QPointF(24, 24), 1.0, blue);
        } },
    { "Info",
        [](QPainter& p) {
            p.setPen(outline());
            p.setBrush(blue);
            p.drawEllipse(QPointF(32, 32), 27, 27);
            p.setPen(Qt::NoPen);
            p.setBrush(white);
            p.drawEllipse(QPointF(32, 18), 4.5, 4.5);
            p.drawRoundedRect(QRectF(28, 27, 8, 23), 3, 3);
        } },
    { "sharedConn",
        [](QPainter& p) {
            monitor(p, QRectF(4, 8, 46, 32), blue);
            shareBadge(p, QPointF(48, 46));
        } },
    { "privateConn",
        [](QPainter& p) {
            monitor(p, QRectF(4, 8, 46, 32), blue);
            padlock(p, QRectF(38, 42, 20, 16));
        } },
    { "power",
        [](QPainter& p) {
            p.setPen(outline(red, 6));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(10, 12, 44, 44), (90 + 40) * 16, (360 - 80) * 16);
            p.drawLine(QPointF(32, 6), QPointF(32, 30));
        } },
    { "screen_resolution",
        [](QPainter& p) {
            monitor(p, QRectF(4, 6, 56, 38), blue);
            p.setPen(outline(white, 3));
            arrow(p, QPointF(24, 26), QPointF(13, 15), white, 6);
            arrow(p, QPointF(40, 24), QPointF(51, 35), white, 6);
        } },
    { "network",
        [](QPainter& p) {
            p.setPen(outline());
            p.drawLine(QPointF(32, 22), QPointF(32, 32));
            p.drawLine(QPointF(14, 32), QPointF(50, 32));
            p.drawLine(QPointF(14, 32), QPointF(14, 42));
            p.drawLine(QPointF(50, 32), QPointF(50, 42));
            p.setBrush(blue);
            p.drawRoundedRect(QRectF(21, 6, 22, 16), 3, 3);
            p.setBrush(paleBlue);
            p.drawRoundedRect(QRectF(4, 42, 20, 15), 3, 3);
            p.drawRoundedRect(QRectF(40, 42, 20, 15), 3, 3);
        } },
    { "system",
        [](QPainter& p) {
            p.setPen(outline(slate, 3.5));
            for (int i = 0; i < 4; ++i) {
                const qreal o = 20 + i * 8;
                p.drawLine(QPointF(o, 4), QPointF(o, 12));
                p.drawLine(QPointF(o, 52), QPointF(o, 60));
                p.drawLine(QPointF(4, o), QPointF(12, o));
                p.drawLine(QPointF(52, o), QPointF(60, o));
            }
            p.setPen(outline());
            p.setBrush(paleBlue);
            p.drawRoundedRect(QRectF(12, 12, 40, 40), 5, 5);
            p.setBrush(blue);
            p.drawRoundedRect(QRectF(22, 22, 20, 20), 3, 3);
        } },
    { "hotkey",
        [](QPainter& p) {
            p.setPen(outline());
            p.setBrush(paleBlue);
            p.drawRoundedRect(QRectF(4, 14, 56, 36), 5, 5);
            p.setPen(Qt::NoPen);
            p.setBrush(slate);
            for (int row = 0; row < 2; ++row)
                for (int col = 0; col < 6; ++col)
                    p.drawRoundedRect(QRectF(10 + col * 8, 20 + row * 8, 5, 5), 1, 1);
            p.setBrush(blue);
            p.drawRoundedRect(QRectF(18, 37, 28, 6), 2, 2);
        } },
    { "power_mode",
        [](QPainter& p) {
            p.setPen(outline());
            p.setBrush(paleBlue);
            p.drawRoundedRect(QRectF(4, 18, 56, 28), 14, 14);
            p.setBrush(blue);
            p.drawEllipse(QPointF(45, 32), 10, 10);
            p.setPen(outline(slate, 3));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(11, 25, 14, 14), (90 + 45) * 16, (360 - 90) * 16);
            p.drawLine(QPointF(18, 22), QPointF(18, 30));
        } },
    { "timer",
        [](QPainter& p) {
            p.setPen(outline());
            p.setBrush(paleBlue);
            p.drawEllipse(QPointF(32, 34), 25, 25);
            p.drawLine(QPointF(32, 3), QPointF(32, 9));
            p.drawLine(QPointF(26, 3), QPointF(38, 3));
            p.setPen(outline(blue, 5));
            p.drawLine(QPointF(32, 34), QPointF(32, 18));
            p.drawLine(QPointF(32, 34), QPointF(43, 40));
            p.setPen(Qt::NoPen);
            p.setBrush(slate);
            p.drawEllipse(QPointF(32, 34), 3.5, 3.5);
        } },
    { "general_settings",
        [](QPainter& p) {
            const qreal knobs[] = { 42, 20, 34 };
            for (int i = 0; i < 3; ++i) {
                const qreal y = 14 + i * 18;
                p.setPen(outline());
                p.drawLine(QPointF(6, y), QPointF(58, y));
                p.setBrush(i == 1 ? blue : paleBlue);
                p.drawEllipse(QPointF(knobs[i], y), 6.5, 6.5);
            }
        } },
    { "transmitter",
        [](QPainter& p) {
            p.setPen(outline());
            p.setBrush(blue);
            p.drawRoundedRect(QRectF(4, 30, 34, 24), 4, 4);
            p.setPen(Qt::NoPen);
            p.setBrush(white);
            p.drawEllipse(QPointF(12, 42), 3, 3);
            p.setPen(outline());
            p.setBrush(Qt::NoBrush);
            for (int i = 0; i < 3; ++i) {
                const qreal r = 8 + i * 9;
                p.drawArc(QRectF(30 - r, 26 - r, 2 * r, 2 * r), 5 * 16, 80 * 16);
            }
        } },
    { "password",
        [](QPainter& p) {
            p.setPen(outline());
            p.setBrush(gold);
            QPainterPath key;
            key.addEllipse(QPointF(20, 32), 14, 14);
            key.addRoundedRect(QRectF(30, 28, 28, 8), 2, 2);
            key.addRect(QRectF(46, 34, 5, 10));
            key.addRect(QRectF(53, 34, 5, 8));
            key.setFillRule(Qt::WindingFill);
            QPainterPath hole;
            hole.addEllipse(QPointF(16, 32), 4, 4);
            p.drawPath(key.simplified().subtracted(hole));
        } },
    { "preferences",
        [](QPainter& p) {
            p.setPen(outline());
            for (int i = 0; i < 4; ++i) {
                p.setBrush(i == 0 ? blue : paleBlue);
                p.drawRoundedRect(QRectF(6 + (i % 2) * 28, 6 + (i / 2) * 28, 24, 24), 4, 4);
            }
        } },
    { "connect",
        [](QPainter& p) {
            p.setPen(outline());
            p.setBrush(green);
            p.drawEllipse(QPointF(32, 32), 27, 27);
            p.setPen(Qt::NoPen);
            p.setBrush(white);
            QPainterPath play;
            play.moveTo(25, 18);
            play.lineTo(46, 32);
            play.lineTo(25, 46);
            play.closeSubpath();
            p.drawPath(play);
        } },
    { "add",
        [](QPainter& p) {
            p.setPen(outline());
            p.setBrush(green);
            p.drawEllipse(QPointF(32, 32), 27, 27);
            p.setPen(outline(white, 7));
            p.drawLine(QPointF(32, 18), QPointF(32, 46));
            p.drawLine(QPointF(18, 32), QPointF(46, 32));
        } },
    { "remove",
        [](QPainter& p) {
            p.setPen(outline());
            p.setBrush(red);
            p.drawEllipse(QPointF(32, 32), 27, 27);
            p.setPen(outline(white, 7));
            p.drawLine(QPointF(18, 32), QPointF(46, 32));
        } },
    { "edit",
        [](QPainter& p) {
            p.translate(32, 32);
            p.rotate(45);
            p.setPen(outline());
            p.setBrush(gold);
            p.drawRect(QRectF(-7, -24, 14, 36));
            p.setBrush(paleBlue);
            QPainterPath tip;
            tip.moveTo(-7, 12);
            tip.lineTo(0, 26);
            tip.lineTo(7, 12);
            tip.closeSubpath();
            p.drawPath(tip);
            p.setBrush(blue);
            p.drawRect(QRectF(-7, -28, 14, 6));
        } },
    { "favorites",
        [](QPainter& p) {
            QPainterPath star;
            for (int i = 0; i < 10; ++i) {
                const qreal a = -M_PI / 2 + i * M_PI / 5;
                const qreal r = (i % 2) ? 12 : 28;
                const QPointF pt(32 + r * qCos(a), 34 + r * qSin(a));
                if (i == 0)
                    star.moveTo(pt);
                else
                    star.lineTo(pt);
            }
            star.closeSubpath();
            p.setPen(outline());
            p.setBrush(gold);
            p.drawPath(star);
        } },
    { "apply",
        [](QPainter& p) {
            p.setPen(outline(green, 9));
            QPainterPath tick;
            tick.moveTo(10, 34);
            tick.lineTo(26, 50);
            tick.lineTo(54, 16);
            p.drawPath(tick);
        } },
    { "upgrade",
        [](QPainter& p) {
            p.setPen(outline());
            p.setBrush(paleBlue);
            p.drawRoundedRect(QRectF(6, 46, 52, 12), 3, 3);
            p.setBrush(blue);
            QPainterPath up;
            up.moveTo(32, 4);
            up.lineTo(54, 26);
            up.lineTo(41, 26);
            up.lineTo(41, 40);
            up.lineTo(23, 40);
            up.lineTo(23, 26);
            up.lineTo(10, 26);
            up.closeSubpath();
            p.drawPath(up);
        } },
    { "diagnostics",
        [](QPainter& p) {
            p.setPen(outline());
            p.setBrush(paleBlue);
            p.drawRoundedRect(QRectF(4, 8, 56, 48), 5, 5);
            p.setPen(outline(blue, 4.5));
            QPainterPath pulse;
            pulse.moveTo(8, 34);
            pulse.lineTo(20, 34);
            pulse.lineTo(26, 18);
            pulse.lineTo(34, 48);
            pulse.lineTo(40, 30);
            pulse.lineTo(44, 34);
            pulse.lineTo(56, 34);
            p.setBrush(Qt::NoBrush);
            p.drawPath(pulse);
        } },
    { "broker",
        [](QPainter& p) {
            for (int i = 0; i < 3; ++i) {
                const QRectF box(8, 6 + i * 18, 48, 14);
                p.setPen(outline());
                p.setBrush(i == 1 ? blue : paleBlue);
                p.drawRoundedRect(box, 3, 3);
                p.setPen(Qt::NoPen);
                p.setBrush(i == 1 ? white : slate);
                p.drawEllipse(QPointF(16, box.center().y()), 2.5, 2.5);
                p.drawEllipse(QPointF(24, box.center().y()), 2.5, 2.5);
            }
        } },
    { "export",
        [](QPainter& p) {
            tray(p);
            arrow(p, QPointF(32, 44), QPointF(32, 8), blue, 12);
        } },
    { "import",
        [](QPainter& p) {
            tray(p);
            arrow(p, QPointF(32, 6), QPointF(32, 44), blue, 12);
        } },
    { "restore",
        [](QPainter& p) {
            const QPointF c(32, 34);
            const qreal r = 22, start = qDegreesToRadians(60.0);
            p.setPen(outline(blue, 6));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 60 * 16, 280 * 16);
            // The head sits on the arc's start and points away from it.
            const QPointF end(c.x() + r * qCos(start), c.y() - r * qSin(start));
            const QPointF along(qSin(start), qCos(start));
            const QPointF across(qCos(start), -qSin(start));
            QPainterPath head;
            head.moveTo(end + along * 12);
            head.lineTo(end + across * 10);
            head.lineTo(end - across * 10);
            head.closeSubpath();
            p.setPen(outline(blue, 2));
            p.setBrush(blue);
            p.drawPath(head);
        } },
};

QImage render(const Icon& icon, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    icon.draw(p);
    p.end();
    return image;
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: iconforge OUTPUT_DIRECTORY\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "iconforge: cannot create %s\n", argv[1]);
        return 1;
    }
    for (const Icon& icon : icons) {
        const QString path = out.filePath(QLatin1String(icon.name) + QLatin1String(".png"));
        if (!render(icon, 64).save(path, "PNG")) {
            std::fprintf(stderr, "iconforge: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
