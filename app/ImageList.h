#pragma once

#include <QGuiApplication>
#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <QString>

#include <vector>

namespace app {

// A list of pictures kept with the program, each with a key; never shown itself. A picture is
// added from its file, and a file of the same name with "@2x" beside it is its drawing for
// screens of twice the density, so the picture stays sharp there.
class ImageList : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    void add(const QString &key, const QString &file)
    {
        QIcon image(file);
        const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
        image.addFile(file.left(dot) + QStringLiteral("@2x") + file.mid(dot));
        m_images.push_back({key, image, QPixmap(file).size()});
    }
    int count() const { return int(m_images.size()); }
    // The image at a 1-based position, drawn for the given device pixel ratio (the
    // application's by default); its size in device-independent pixels is always the same.
    QPixmap image(int position, qreal devicePixelRatio = qApp->devicePixelRatio()) const
    {
        const Entry &entry = m_images.at(size_t(position - 1));
        return entry.image.pixmap(entry.size, devicePixelRatio);
    }
    QString key(int position) const { return m_images.at(size_t(position - 1)).key; }

private:
    struct Entry
    {
        QString key;
        QIcon image;
        QSize size;
    };
    std::vector<Entry> m_images;
};

} // namespace app
