#include "lazyicon.h"

#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QtEndian>

namespace {

class LazyIconEngine : public QIconEngine {
public:
    explicit LazyIconEngine(const char* resourcePath) : file(QLatin1String(resourcePath)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    // Asked by layouts before the window shows: the picture's header answers
    // as decoding would (a picture larger than asked for is scaled down).
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QSize picture = decoded.isNull() ? knownHeader() : QSize();
        if (!picture.isValid())
            return icon().actualSize(size, mode, state);
        if (picture.width() > size.width() || picture.height() > size.height())
            picture.scale(size, Qt::KeepAspectRatio);
        return picture;
    }
    void virtual_hook(int id, void* data) override
    {
        if (id == IsNullHook) {
            // A button leaves room for an icon that is not null: a picture that
            // is missing must say so, as the decoded icon would.
            *static_cast<bool*>(data) = !knownHeader().isValid() && icon().isNull();
            return;
        }
        if (id != AvailableSizesHook)
            return QIconEngine::virtual_hook(id, data);
        auto& argument = *static_cast<AvailableSizesArgument*>(data);
        argument.sizes = icon().availableSizes(argument.mode, argument.state);
    }
    QIconEngine* clone() const override { return new LazyIconEngine(*this); }
    QString key() const override { return QStringLiteral("LazyIconEngine"); }

private:
    const QIcon& icon() const
    {
        if (decoded.isNull())
            decoded = QIcon(file);
        return decoded;
    }

    QSize knownHeader() const
    {
        if (header.isEmpty())
            header = headerSize();
        return header;
    }
    // The size a PNG's header gives; invalid for anything else.
    QSize headerSize() const
    {
        QFile picture(file);
        if (!picture.open(QIODevice::ReadOnly))
            return QSize();
        const QByteArray header = picture.read(24);
        if (header.size() < 24 || !header.startsWith("\x89PNG\r\n\x1a\n") || header.mid(12, 4) != "IHDR")
            return QSize();
        const auto field = [&header](int at) {
            return int(qFromBigEndian<quint32>(header.constData() + at));
        };
        return QSize(field(16), field(20));
    }

    QString file;
    mutable QSize header; // read once
    mutable QIcon decoded; // shared with every copy made after the first use
};

} // namespace

QIcon lazyIcon(const char* resourcePath)
{
    // One icon per picture for the whole run: Qt's picture cache keys on the
    // icon, so a new one at every log-on would be kept beside the old ones.
    static QHash<QByteArray, QIcon> made;
    const QByteArray key(resourcePath);
    auto found = made.constFind(key);
    if (found == made.constEnd())
        found = made.insert(key, QIcon(new LazyIconEngine(resourcePath)));
    return *found;
}
