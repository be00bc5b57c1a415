#include "platform/gui/png_image.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

std::string EncodePng(const IconImage& image) {
  if (image.size <= 0 || image.pixels == nullptr) return {};
  const QImage source(reinterpret_cast<const uchar*>(image.pixels), image.size, image.size,
                      static_cast<qsizetype>(image.size) * 4, QImage::Format_ARGB32);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!source.save(&buffer, "PNG")) return {};
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}
