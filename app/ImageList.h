#pragma once

#include <QObject>
#include <QPixmap>
#include <QString>

#include <vector>

namespace app {

// A list of pictures kept with the program, each with a key; never shown itself.
class ImageList : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    void add(const QString &key, const QPixmap &image) { m_images.push_back({key, image}); }
    int count() const { return int(m_images.size()); }
    // The image at a 1-based position.
    QPixmap image(int position) const { return m_images.at(size_t(position - 1)).image; }
    QString key(int position) const { return m_images.at(size_t(position - 1)).key; }

private:
    struct Entry
    {
        QString key;
        QPixmap image;
    };
    std::vector<Entry> m_images;
};

} // namespace app
