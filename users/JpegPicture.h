#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace kelvora {

/// Baseline JPEG pictures decoded with libjpeg (not through Qt's image plugins).
class JpegPicture {
public:
    /// The picture in `bytes` as an RGB image; a null image when the bytes are no JPEG picture libjpeg can
    /// read (garbage, a cut header). Truncated scan data decodes with the missing part padded.
    static QImage decode(const QByteArray& bytes);
    /// The picture in the file or resource at `path`; a null image when it cannot be read or decoded.
    static QImage load(const QString& path);
};

} // namespace kelvora
