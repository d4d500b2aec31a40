// vt_svgrender IN.svg OUT W H [KEY=VALUE...]
// Draws an SVG source at W x H into OUT (.png, .ico, or .gif for a turning
// animation of 12 frames on white). Every "@KEY@" in the source is replaced
// by VALUE first, so one source serves the states of a button.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTransform>

#include <cstdio>

#include "GifWriter.h"

namespace {

QImage Render(QSvgRenderer& svg, int w, int h, qreal angle, const QColor& background) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(background);
  QPainter painter(&image);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);
  if (angle != 0) {
    painter.translate(w / 2.0, h / 2.0);
    painter.rotate(angle);
    painter.translate(-w / 2.0, -h / 2.0);
  }
  svg.render(&painter, QRectF(0, 0, w, h));
  painter.end();
  return image;
}

QVector<QRgb> SpinnerPalette() {
  // White to the program's blue, and white to grey: what the spinner uses.
  QVector<QRgb> palette;
  for (int i = 0; i < 128; ++i) {
    const double t = i / 127.0;
    palette.append(qRgb(255 - int(t * (255 - 2)), 255 - int(t * (255 - 125)), 255 - int(t * 0)));
  }
  for (int i = 0; i < 128; ++i) {
    const double t = i / 127.0;
    palette.append(qRgb(255 - int(t * (255 - 150)), 255 - int(t * (255 - 160)), 255 - int(t * (255 - 180))));
  }
  return palette;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 5) {
    fprintf(stderr, "usage: vt_svgrender IN.svg OUT W H [KEY=VALUE...]\n");
    return 2;
  }
  QFile in(args[1]);
  if (!in.open(QIODevice::ReadOnly)) {
    fprintf(stderr, "vt_svgrender: cannot read %s\n", qPrintable(args[1]));
    return 1;
  }
  QByteArray source = in.readAll();
  for (int i = 5; i < args.size(); ++i) {
    const int eq = args[i].indexOf(QLatin1Char('='));
    if (eq <= 0) continue;
    source.replace(QByteArray("@") + args[i].left(eq).toUtf8() + "@", args[i].mid(eq + 1).toUtf8());
  }
  if (source.contains("@")) {
    const int at = source.indexOf('@');
    fprintf(stderr, "vt_svgrender: %s: unreplaced token near \"%s\"\n", qPrintable(args[1]),
            source.mid(at, 16).constData());
    return 1;
  }
  QSvgRenderer svg(source);
  if (!svg.isValid()) {
    fprintf(stderr, "vt_svgrender: %s is not a valid SVG\n", qPrintable(args[1]));
    return 1;
  }
  const QString out = args[2];
  const int w = args[3].toInt();
  const int h = args[4].toInt();
  if (w <= 0 || h <= 0) return 2;
  QDir().mkpath(QFileInfo(out).path());
  const QString suffix = QFileInfo(out).suffix().toLower();
  if (suffix == QLatin1String("gif")) {
    GifWriter gif(w, h, SpinnerPalette(), 8);
    const int frames = 12;
    for (int i = 0; i < frames; ++i) gif.AddFrame(Render(svg, w, h, 360.0 * i / frames, Qt::white));
    if (!gif.Save(out)) return 1;
    return 0;
  }
  const QImage image = Render(svg, w, h, 0, Qt::transparent);
  const char* format = suffix == QLatin1String("ico") ? "ICO" : "PNG";
  if (!image.save(out, format)) {
    fprintf(stderr, "vt_svgrender: cannot write %s\n", qPrintable(out));
    return 1;
  }
  return 0;
}
