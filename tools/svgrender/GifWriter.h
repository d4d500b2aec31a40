// A small animated-GIF writer: 8-bit palette frames, looping, with a fixed
// delay. Pixel data goes out as 9-bit literal codes with a clear code every
// 254 codes, which every decoder reads (no compression is attempted).
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>
#include <QVector>

class GifWriter {
 public:
  // `palette` holds at most 256 colours; frames are mapped to the nearest.
  GifWriter(int width, int height, QVector<QRgb> palette, int delayCentiseconds);
  void AddFrame(const QImage& frame);
  bool Save(const QString& path) const;

 private:
  uchar Nearest(QRgb color) const;
  void PutWord(int value);
  int m_width;
  int m_height;
  QVector<QRgb> m_palette;
  int m_delay;
  QByteArray m_frames;
};
