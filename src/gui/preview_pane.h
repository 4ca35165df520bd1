#pragma once
// The preview of the file selected on the results page: a picture as a thumbnail, a text file as
// its first lines, anything else as its first bytes in hex. It shows what it is given (the file's
// first bytes as the disk holds them now, read by the page logic); it reads nothing itself. A
// deleted file's estimate of what is left of it is shown beside it.

#include <QByteArray>
#include <QFrame>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QStackedWidget;

namespace quarrow::gui {

enum class PreviewKind { kNone, kPicture, kText, kHex };

// How bytes are best shown: a picture when an image reader of Qt (JPEG, PNG, GIF, BMP) can decode
// them, text when they read as UTF-8 without control characters other than line breaks and tabs,
// hex otherwise.
PreviewKind ClassifyPreview(const QByteArray& bytes);
// The first 4 KiB as a hex dump: offset, 16 bytes, their printable characters.
QString HexDump(const QByteArray& bytes, int limit = 4096);

class PreviewPane : public QFrame {
  Q_OBJECT

 public:
  explicit PreviewPane(QWidget* parent = nullptr);

  // Shows a file's first bytes. estimate: the deleted file's recoverability ("" for a live file).
  void ShowFile(const QString& name, const QByteArray& bytes, const QString& estimate);
  // Nothing selected, or a row that is no file (a folder).
  void Clear(const QString& why = QString());
  PreviewKind Kind() const { return kind_; }
  QString Caption() const;

 private:
  QLabel* caption_;
  QStackedWidget* stack_;
  QLabel* picture_;
  QPlainTextEdit* text_;
  PreviewKind kind_ = PreviewKind::kNone;
};

}  // namespace quarrow::gui
