#include "gui/preview_pane.h"

#include <QFontDatabase>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QStringDecoder>
#include <QVBoxLayout>

namespace quarrow::gui {

PreviewKind ClassifyPreview(const QByteArray& bytes) {
  if (bytes.isEmpty()) return PreviewKind::kNone;
  if (!QImage::fromData(bytes).isNull()) return PreviewKind::kPicture;
  // The preview reads a file's first bytes only, which may end inside a character.
  QByteArray body = bytes;
  for (int i = 0;
       i < 3 && bytes.size() >= 4096 && !body.isEmpty() && static_cast<unsigned char>(body.back()) >= 0x80;
       ++i) {
    body.chop(1);
  }
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = utf8.decode(body);
  if (utf8.hasError()) return PreviewKind::kHex;
  for (QChar c : text) {
    const bool control = c.unicode() < 0x20 || c.unicode() == 0x7F;
    if (control && c != QLatin1Char('\n') && c != QLatin1Char('\r') && c != QLatin1Char('\t'))
      return PreviewKind::kHex;
  }
  return PreviewKind::kText;
}

QString HexDump(const QByteArray& bytes, int limit) {
  QString out;
  const int size = std::min<int>(static_cast<int>(bytes.size()), limit);
  for (int offset = 0; offset < size; offset += 16) {
    QString hex, chars;
    for (int i = offset; i < offset + 16; ++i) {
      if (i < size) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        hex += QStringLiteral("%1 ").arg(byte, 2, 16, QLatin1Char('0'));
        chars += byte >= 0x20 && byte < 0x7F ? QChar(byte) : QLatin1Char('.');
      } else {
        hex += QStringLiteral("   ");
      }
    }
    out += QStringLiteral("%1  %2 %3\n").arg(offset, 8, 16, QLatin1Char('0')).arg(hex, chars);
  }
  return out;
}

PreviewPane::PreviewPane(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("preview"));
  setFrameShape(QFrame::StyledPanel);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 2, 4, 4);
  layout->setSpacing(2);
  caption_ = new QLabel(this);
  caption_->setObjectName(QStringLiteral("previewCaption"));
  layout->addWidget(caption_);
  stack_ = new QStackedWidget(this);
  picture_ = new QLabel(stack_);
  picture_->setObjectName(QStringLiteral("previewPicture"));
  picture_->setAlignment(Qt::AlignCenter);
  text_ = new QPlainTextEdit(stack_);
  text_->setObjectName(QStringLiteral("previewText"));
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  stack_->addWidget(picture_);
  stack_->addWidget(text_);
  layout->addWidget(stack_, 1);
  Clear();
}

QString PreviewPane::Caption() const {
  return caption_->text();
}

void PreviewPane::Clear(const QString& why) {
  kind_ = PreviewKind::kNone;
  caption_->setText(why.isEmpty() ? QStringLiteral("Preview: select a file") : why);
  picture_->clear();
  text_->clear();
  stack_->setCurrentWidget(picture_);
}

void PreviewPane::ShowFile(const QString& name, const QByteArray& bytes, const QString& estimate) {
  kind_ = ClassifyPreview(bytes);
  QString caption = QStringLiteral("Preview of %1").arg(name);
  // A deleted file's clusters may hold another file's data by now: say how much of it is left.
  if (!estimate.isEmpty()) caption += QStringLiteral(" (deleted; recoverability: %1)").arg(estimate);
  caption_->setText(caption);
  switch (kind_) {
    case PreviewKind::kNone:
      caption_->setText(caption + QStringLiteral(": empty"));
      picture_->clear();
      stack_->setCurrentWidget(picture_);
      break;
    case PreviewKind::kPicture: {
      const QImage image = QImage::fromData(bytes);
      const QSize room = stack_->size().boundedTo(QSize(400, 400)).expandedTo(QSize(48, 48));
      picture_->setPixmap(
          QPixmap::fromImage(image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
      stack_->setCurrentWidget(picture_);
      break;
    }
    case PreviewKind::kText: {
      QString text = QString::fromUtf8(bytes);
      text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
      text_->setPlainText(text.section(QLatin1Char('\n'), 0, 40));
      stack_->setCurrentWidget(text_);
      break;
    }
    case PreviewKind::kHex:
      text_->setPlainText(HexDump(bytes));
      stack_->setCurrentWidget(text_);
      break;
  }
}

}  // namespace quarrow::gui
