#include "GifWriter.h"

#include <QFile>

namespace {

// Packs variable-width codes least significant bit first, as GIF wants.
class BitPacker {
 public:
  void Put(int code, int width) {
    m_acc |= static_cast<quint32>(code) << m_bits;
    m_bits += width;
    while (m_bits >= 8) {
      m_bytes.append(static_cast<char>(m_acc & 0xFF));
      m_acc >>= 8;
      m_bits -= 8;
    }
  }
  QByteArray Finish() {
    if (m_bits > 0) m_bytes.append(static_cast<char>(m_acc & 0xFF));
    m_acc = 0;
    m_bits = 0;
    return m_bytes;
  }

 private:
  QByteArray m_bytes;
  quint32 m_acc = 0;
  int m_bits = 0;
};

void AppendWord(QByteArray* out, int value) {
  out->append(static_cast<char>(value & 0xFF));
  out->append(static_cast<char>((value >> 8) & 0xFF));
}

}  // namespace

GifWriter::GifWriter(int width, int height, QVector<QRgb> palette, int delayCentiseconds)
    : m_width(width), m_height(height), m_palette(std::move(palette)), m_delay(delayCentiseconds) {
  m_palette.resize(256);
}

uchar GifWriter::Nearest(QRgb color) const {
  int best = 0;
  int bestDistance = 1 << 30;
  for (int i = 0; i < m_palette.size(); ++i) {
    const int dr = qRed(color) - qRed(m_palette[i]);
    const int dg = qGreen(color) - qGreen(m_palette[i]);
    const int db = qBlue(color) - qBlue(m_palette[i]);
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return static_cast<uchar>(best);
}

void GifWriter::AddFrame(const QImage& source) {
  const QImage frame = source.convertToFormat(QImage::Format_RGB32).scaled(m_width, m_height);
  // Graphic control extension: delay, no transparency.
  m_frames.append("\x21\xF9\x04\x04", 4);
  AppendWord(&m_frames, m_delay);
  m_frames.append("\x00\x00", 2);
  // Image descriptor, no local palette.
  m_frames.append('\x2C');
  AppendWord(&m_frames, 0);
  AppendWord(&m_frames, 0);
  AppendWord(&m_frames, m_width);
  AppendWord(&m_frames, m_height);
  m_frames.append('\x00');
  // LZW data: minimum code size 8, codes 9 bits wide, clear before the
  // table would grow past 9 bits.
  const int kClear = 256, kEnd = 257;
  m_frames.append('\x08');
  BitPacker bits;
  bits.Put(kClear, 9);
  int sinceClear = 0;
  for (int y = 0; y < m_height; ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
    for (int x = 0; x < m_width; ++x) {
      if (sinceClear == 250) {
        bits.Put(kClear, 9);
        sinceClear = 0;
      }
      bits.Put(Nearest(line[x]), 9);
      ++sinceClear;
    }
  }
  bits.Put(kEnd, 9);
  const QByteArray data = bits.Finish();
  for (int pos = 0; pos < data.size(); pos += 255) {
    const int n = qMin(255, data.size() - pos);
    m_frames.append(static_cast<char>(n));
    m_frames.append(data.constData() + pos, n);
  }
  m_frames.append('\x00');
}

bool GifWriter::Save(const QString& path) const {
  QByteArray out("GIF89a");
  AppendWord(&out, m_width);
  AppendWord(&out, m_height);
  out.append('\xF7');  // global palette of 256 entries
  out.append('\x00');
  out.append('\x00');
  for (QRgb c : m_palette) {
    out.append(static_cast<char>(qRed(c)));
    out.append(static_cast<char>(qGreen(c)));
    out.append(static_cast<char>(qBlue(c)));
  }
  // Loop for ever.
  out.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
  out.append(m_frames);
  out.append('\x3B');
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return file.write(out) == out.size();
}
