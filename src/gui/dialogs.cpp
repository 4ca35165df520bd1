#include "gui/dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "gui/controls.h"

namespace quarrow::gui {

QString ControlName(int controlId) {
  return QString::fromStdString(app::ObjectName(controlId));
}

namespace {

void Paint(QDialog* dialog) {
  QPalette palette = dialog->palette();
  palette.setColor(QPalette::Window, QColor(kBackground));
  dialog->setPalette(palette);
  dialog->setAutoFillBackground(true);
}

QLabel* Static(int id, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  if (id) label->setObjectName(ControlName(id));
  label->setWordWrap(true);
  return label;
}

}  // namespace

QDialog* MakeInfoDialog(const app::InfoDialogContent& content, const std::function<void(int)>& onLink,
                        QWidget* parent, const std::function<void(int)>& onButton) {
  auto* dialog = new QDialog(parent);
  dialog->setObjectName(QStringLiteral("dialog%1").arg(static_cast<int>(content.dialog)));
  dialog->setWindowTitle(QString::fromStdString(content.title));
  Paint(dialog);
  // Wide enough that a paragraph reads as one, not as a column of words.
  dialog->setMinimumWidth(dialog->fontMetrics().averageCharWidth() * 64);
  auto* layout = new QVBoxLayout(dialog);
  layout->setSpacing(8);
  for (const app::DialogText& text : content.texts) {
    const QString caption = QString::fromStdString(text.text);
    QLabel* label = nullptr;
    if (text.linkId) {
      auto* link = new LinkLabel(caption, dialog);
      link->setObjectName(ControlName(text.linkId));
      const int id = text.linkId;
      QObject::connect(link, &LinkLabel::clicked, dialog, [onLink, id] {
        if (onLink) onLink(id);
      });
      label = link;
      label->setWordWrap(true);
    } else {
      label = Static(0, caption, dialog);
    }
    if (text.headline) {
      // The headline of these dialogs: bold Arial of 16 pixels.
      QFont font(QStringLiteral("Arial"));
      font.setPixelSize(16);
      font.setBold(true);
      label->setFont(font);
    }
    label->setMaximumWidth(520);
    layout->addWidget(label);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (const app::DialogButton& button : content.buttons) {
    auto* push = new QPushButton(QString::fromStdString(button.caption), dialog);
    push->setObjectName(ControlName(button.id));
    const int id = button.id;
    QObject::connect(push, &QPushButton::clicked, dialog, [dialog, id, onButton] {
      if (onButton) {
        onButton(id);
      } else {
        dialog->done(id);
      }
    });
    buttons->addWidget(push);
  }
  layout->addLayout(buttons);
  return dialog;
}

QDialog* MakeProgressDialog(app::DialogId which, const std::function<void(int)>& onCommand, QWidget* parent) {
  namespace id = app::id;
  auto* dialog = new QDialog(parent);
  dialog->setObjectName(QStringLiteral("dialog%1").arg(static_cast<int>(which)));
  Paint(dialog);
  auto* layout = new QGridLayout(dialog);
  if (which == app::DialogId::kCalculating) {
    dialog->setWindowTitle(QStringLiteral("Calculating Number of Files..."));
    layout->addWidget(Static(id::kCalculatingText,
                             QStringLiteral("Calculating Total Number of Files, Please Wait ..."), dialog),
                      0, 0, 1, 2);
    layout->addWidget(Static(0, QStringLiteral("Total Files :"), dialog), 1, 0);
    layout->addWidget(Static(id::kCalculatingTotal, QStringLiteral("0"), dialog), 1, 1);
  } else {
    dialog->setWindowTitle(QStringLiteral("Saving..."));
    dialog->setMinimumWidth(460);
    layout->addWidget(Static(0, QStringLiteral("File Name :"), dialog), 0, 0);
    layout->addWidget(Static(id::kSavingFileName, QString(), dialog), 0, 1);
    layout->addWidget(Static(0, QStringLiteral("File Path :"), dialog), 1, 0);
    layout->addWidget(Static(id::kSavingFilePath, QString(), dialog), 1, 1);
    layout->addWidget(Static(id::kSavingTotals, QString(), dialog), 2, 0, 1, 2);
    auto* file = new TextProgressCtrl(dialog);
    file->setObjectName(ControlName(id::kSavingFileProgress));
    layout->addWidget(file, 3, 0, 1, 2);
    auto* total = new TextProgressCtrl(dialog);
    total->setObjectName(ControlName(id::kSavingTotalProgress));
    layout->addWidget(total, 4, 0, 1, 2);
    // How long the save still takes, from how fast the total bar moves.
    auto* rate = Static(0, QString(), dialog);
    rate->setObjectName(QStringLiteral("savingRate"));
    layout->addWidget(rate, 5, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (auto [bid, caption] : {std::pair{id::kSavingStop, "Stop"}, std::pair{id::kSavingSkip, "Skip"}}) {
      auto* push = new QPushButton(QString::fromLatin1(caption), dialog);
      push->setObjectName(ControlName(bid));
      const int command = bid;
      QObject::connect(push, &QPushButton::clicked, dialog, [onCommand, command] {
        if (onCommand) onCommand(command);
      });
      buttons->addWidget(push);
    }
    layout->addLayout(buttons, 6, 0, 1, 2);
  }
  return dialog;
}

std::optional<std::string> AskDestinationDialog(std::string_view initial, QWidget* parent) {
  namespace id = app::id;
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("dialog129"));
  dialog.setWindowTitle(QStringLiteral("Save As"));
  Paint(&dialog);
  auto* layout = new QGridLayout(&dialog);
  layout->addWidget(Static(0, QStringLiteral("Save recovered files and folders in :"), &dialog), 0, 0, 1, 2);
  auto* path = new QLineEdit(QString::fromStdString(std::string(initial)), &dialog);
  path->setObjectName(ControlName(id::kSaveAsDestination));
  path->setMinimumWidth(360);
  layout->addWidget(path, 1, 0);
  auto* browse = new QPushButton(QStringLiteral("Browse"), &dialog);
  browse->setObjectName(ControlName(id::kSaveAsBrowse));
  layout->addWidget(browse, 1, 1);
  QObject::connect(browse, &QPushButton::clicked, &dialog, [&dialog, path] {
    const QString folder =
        QFileDialog::getExistingDirectory(&dialog, QStringLiteral("Browse For Folder"), path->text());
    if (!folder.isEmpty()) path->setText(folder);
  });
  auto* box = new QDialogButtonBox(&dialog);
  QPushButton* ok = box->addButton(QDialogButtonBox::Ok);
  ok->setObjectName(ControlName(id::kSaveAsOk));
  QPushButton* cancel = box->addButton(QDialogButtonBox::Cancel);
  cancel->setObjectName(ControlName(id::kSaveAsCancel));
  QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(box, 2, 0, 1, 2);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return path->text().toStdString();
}

app::ReplaceReply AskReplaceDialog(std::string_view existing, QWidget* parent) {
  namespace id = app::id;
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("dialog132"));
  dialog.setWindowTitle(QStringLiteral("Replace File Confirmation"));
  Paint(&dialog);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(Static(0, QStringLiteral("This folder already contains a file named:"), &dialog));
  layout->addWidget(Static(id::kReplaceExisting, QString::fromStdString(std::string(existing)), &dialog));
  auto* all = new QCheckBox(QStringLiteral("Apply the answer to all the files"), &dialog);
  all->setObjectName(ControlName(id::kReplaceApplyToAll));
  layout->addWidget(all);
  auto* row = new QHBoxLayout;
  app::ReplaceReply reply;
  const std::pair<int, app::ReplaceButton> buttons[] = {
      {id::kReplaceOverwrite, app::ReplaceButton::kOverwrite},
      {id::kReplaceRename, app::ReplaceButton::kRename},
      {id::kReplaceSkip, app::ReplaceButton::kSkip},
      {id::kReplaceCancel, app::ReplaceButton::kCancel},
      {id::kReplaceYesToAll, app::ReplaceButton::kYesToAll},
      {id::kReplaceNoToAll, app::ReplaceButton::kNoToAll}};
  const char* captions[] = {"Overwrite", "Rename", "Skip", "Cancel", "Yes to &All", "No &to All"};
  for (std::size_t i = 0; i < 6; ++i) {
    auto* push = new QPushButton(QString::fromLatin1(captions[i]), &dialog);
    push->setObjectName(ControlName(buttons[i].first));
    const app::ReplaceButton which = buttons[i].second;
    QObject::connect(push, &QPushButton::clicked, &dialog, [&dialog, &reply, which] {
      reply.button = which;
      dialog.accept();
    });
    row->addWidget(push);
  }
  layout->addLayout(row);
  reply.button = app::ReplaceButton::kCancel;  // closing the window cancels
  dialog.exec();
  reply.applyToAll = all->isChecked();
  return reply;
}

QString QtFilter(const std::string& filter) {
  // "Description|pattern|...||": every other part is a description that already names its
  // patterns, which is what Qt shows.
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'), Qt::SkipEmptyParts);
  QStringList descriptions;
  for (int i = 0; i < parts.size(); i += 2) descriptions << parts[i];
  return descriptions.join(QStringLiteral(";;"));
}

std::optional<std::string> AskFilePathDialog(const app::FileDialogSpec& spec, QWidget* parent) {
  QFileDialog dialog(parent, spec.save ? QStringLiteral("Save As") : QStringLiteral("Open"),
                     QString::fromStdString(spec.folder), QtFilter(spec.filter));
  dialog.setObjectName(spec.save ? QStringLiteral("saveLogDialog") : QStringLiteral("loadLogDialog"));
  dialog.setAcceptMode(spec.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(spec.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QString::fromStdString(spec.defaultExtension));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace quarrow::gui
