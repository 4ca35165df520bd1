#include "gui/icons.h"

#include <QApplication>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <string>

#include "results/file_list.h"

namespace quarrow::gui {
namespace {

QIcon Themed(std::initializer_list<const char*> names, const QIcon& fallback) {
  for (const char* name : names) {
    QIcon icon = QIcon::fromTheme(QString::fromLatin1(name));
    if (!icon.isNull()) return icon;
  }
  return fallback;
}

QIcon Standard(QStyle::StandardPixmap which) {
  return QApplication::style()->standardIcon(which);
}

// A picture at 16 and 32 pixels from one drawing at a 16-pixel scale.
template <typename Draw>
QIcon Drawn(Draw draw) {
  QIcon icon;
  for (int size : {16, 32}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    draw(painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

// A green light drawn over a drive: the drive of the disk that is selected.
QIcon WithLight(const QIcon& base) {
  QIcon icon;
  for (int size : {16, 32}) {
    QPixmap pixmap = base.pixmap(size, size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(0, 90, 0));
    painter.setBrush(QColor(40, 200, 60));
    const double r = size / 5.0;
    painter.drawEllipse(QRectF(size - 2 * r - 1, size - 2 * r - 1, 2 * r, 2 * r));
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QIcon BuiltInFolder(bool open, bool deleted) {
  return Drawn([open, deleted](QPainter& p) {
    const QColor body = deleted ? QColor(200, 200, 200) : QColor(240, 196, 72);
    p.setPen(QPen(deleted ? QColor(120, 120, 120) : QColor(170, 120, 20), 0.8));
    p.setBrush(body.darker(110));
    p.drawRoundedRect(QRectF(1.5, 3.5, 6, 3), 1, 1);
    p.setBrush(body);
    if (open) {
      QPainterPath path;
      path.moveTo(1.5, 13.5);
      path.lineTo(3.5, 6.5);
      path.lineTo(15, 6.5);
      path.lineTo(13, 13.5);
      path.closeSubpath();
      p.drawRect(QRectF(1.5, 5, 12, 8.5));
      p.setBrush(body.lighter(115));
      p.drawPath(path);
    } else {
      p.drawRoundedRect(QRectF(1.5, 5, 13, 8.5), 1, 1);
    }
    if (deleted) {
      p.setPen(QPen(QColor(200, 30, 30), 1.6));
      p.drawLine(QPointF(9, 8), QPointF(14.5, 13.5));
      p.drawLine(QPointF(14.5, 8), QPointF(9, 13.5));
    }
  });
}

// The colour band of a built-in file picture, by the catalogue's description of the name.
QColor CategoryColour(const std::string& description) {
  if (description == "Image File") return QColor(46, 160, 90);
  if (description == "Sound file") return QColor(140, 70, 190);
  if (description == "Video File") return QColor(210, 60, 60);
  if (description == "Text file" || description == "Rich Text Format File") return QColor(110, 110, 110);
  if (description.rfind("Microsoft", 0) == 0 || description == "PDF file") return QColor(40, 90, 200);
  if (description == "Winzip File" || description == "Compressed File") return QColor(150, 100, 40);
  if (description == "File") return QColor(180, 180, 180);
  return QColor(60, 140, 170);
}

QIcon BuiltInFile(const QColor& band) {
  return Drawn([band](QPainter& p) {
    QPainterPath page;
    page.moveTo(3, 1.5);
    page.lineTo(10, 1.5);
    page.lineTo(13.5, 5);
    page.lineTo(13.5, 14.5);
    page.lineTo(3, 14.5);
    page.closeSubpath();
    p.setPen(QPen(QColor(120, 120, 120), 0.8));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setPen(Qt::NoPen);
    p.setBrush(band);
    p.drawRect(QRectF(3.5, 8, 9.5, 4));
  });
}

}  // namespace

QIcon TreeImageIcon(int image) {
  static QHash<int, QIcon> cache;
  if (auto it = cache.constFind(image); it != cache.constEnd()) return *it;
  QIcon icon;
  switch (image) {
    case 0:
      icon = Themed({"drive-removable-media", "drive-harddisk"}, Standard(QStyle::SP_DriveHDIcon));
      break;
    case 1:
      icon = WithLight(Themed({"drive-removable-media", "drive-harddisk"}, Standard(QStyle::SP_DriveHDIcon)));
      break;
    case 2:
      icon = Themed({"computer"}, Standard(QStyle::SP_ComputerIcon));
      break;
    case 3:
    case 4:
      icon = Themed({"folder"}, BuiltInFolder(false, false));
      break;
    default:
      icon = Themed({"folder-open"}, BuiltInFolder(true, false));
      break;
  }
  cache.insert(image, icon);
  return icon;
}

QIcon FolderIcon(bool deleted) {
  static const QIcon live = Themed({"folder"}, BuiltInFolder(false, false));
  static const QIcon gone = BuiltInFolder(false, true);
  return deleted ? gone : live;
}

QIcon FileIcon(const QString& name) {
  // One icon per name ending, as the type of a name is decided by its ending alone.
  const QString suffix = QFileInfo(name).suffix();
  static QHash<QString, QIcon> cache;
  if (auto it = cache.constFind(suffix); it != cache.constEnd()) return *it;
  static const QMimeDatabase mimes;
  const QMimeType mime = mimes.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
  QIcon icon = QIcon::fromTheme(mime.iconName());
  if (icon.isNull()) icon = QIcon::fromTheme(mime.genericIconName());
  if (icon.isNull()) icon = BuiltInFile(CategoryColour(FileTypeDescription(name.toStdString())));
  cache.insert(suffix, icon);
  return icon;
}

QIcon ToolbarIcon(int controlId) {
  switch (controlId) {
    case 1055:
      return Themed({"help-contents", "help-browser"}, Standard(QStyle::SP_DialogHelpButton));
    case 1057:
      return Themed({"document-open"}, Standard(QStyle::SP_DialogOpenButton));
    case 1106:
      return Themed({"document-save-as"}, Standard(QStyle::SP_DialogSaveButton));
    case 1056:
      return Themed({"application-exit"}, Standard(QStyle::SP_DialogCloseButton));
    case 1054:
      return Themed({"document-save"}, Standard(QStyle::SP_DriveFDIcon));
    case 1058:
      return Themed({"go-next"}, Standard(QStyle::SP_ArrowForward));
    case 1059:
      return Themed({"go-previous"}, Standard(QStyle::SP_ArrowBack));
    case 1062:
      return Themed({"edit-find"}, Standard(QStyle::SP_FileDialogContentsView));
    case 1110:
      return Themed({"process-stop"}, Standard(QStyle::SP_BrowserStop));
    case 1092:
      return Themed({"process-stop"}, Standard(QStyle::SP_MediaStop));
    case 1135:
      return Themed({"view-refresh"}, Standard(QStyle::SP_BrowserReload));
    case 1114:
      return Themed({"help-about"}, Standard(QStyle::SP_MessageBoxInformation));
    default:
      return {};
  }
}

}  // namespace quarrow::gui
