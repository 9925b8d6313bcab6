#include "ui/translate_form.h"
#include "ui/caption_fit.h"

#include "i18n/language.h"
#include "i18n/language_names.h"
#include "ui/dialog_pictures.h"
#include "ui/language_choice.h"
#include "ui/maker_pages.h"
#include "ui/message_dialog.h"
#include "ui/palette_colours.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <exception>

namespace ui {

namespace {

constexpr int kItemHeight = 18;
constexpr int kFlagWidth = 16;

const QString kEnglish = QStringLiteral("English");

// Each item: its flag at the top left of the item's rectangle, its text to
// the right of the flag, level with the rectangle's top.
class TLanguageItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& palette = option.palette;
    painter->fillRect(option.rect, selected ? palette.highlight() : palette.base());
    const QString flagName = index.data(TTranslateForm::kFlagRole).toString();
    painter->drawPixmap(option.rect.topLeft(), FlagPicture(flagName));
    painter->setPen(selected ? palette.highlightedText().color() : palette.text().color());
    painter->setFont(option.font);
    const QRect textRect = option.rect.adjusted(kFlagWidth, 0, 0, 0);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      index.data(TTranslateForm::kOwnNameRole).toString());
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setWidth(qMax(size.width(), kFlagWidth + option.fontMetrics.horizontalAdvance(
                                                      index.data(TTranslateForm::kOwnNameRole).toString()) + 8));
    size.setHeight(kItemHeight);
    return size;
  }
};

// The closed list shows the chosen language by its own name, as the items
// do; the item texts stay the language files' names.
class TLanguageComboBox : public QComboBox {
 public:
  using QComboBox::QComboBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText = currentData(TTranslateForm::kOwnNameRole).toString();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
  }
  QSize minimumSizeHint() const override { return OwnNamesWidth(QComboBox::minimumSizeHint()); }
  QSize sizeHint() const override { return OwnNamesWidth(QComboBox::sizeHint()); }

 private:
  QSize OwnNamesWidth(QSize size) const {
    int widest = 0;
    for (int i = 0; i < count(); ++i)
      widest = qMax(widest, fontMetrics().horizontalAdvance(itemData(i, TTranslateForm::kOwnNameRole).toString()));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QSize content(kFlagWidth + 4 + widest, fontMetrics().height());
    return size.expandedTo(style()->sizeFromContents(QStyle::CT_ComboBox, &option, content, this));
  }
};

}  // namespace

TTranslateForm::TTranslateForm(TTranslateFormHost host, QWidget* parent) : QDialog(parent), host_(std::move(host)) {
  setObjectName(QStringLiteral("TTranslateForm"));
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  Label1 = new QLabel(this);
  Label1->setObjectName(QStringLiteral("Label1"));
  ComboBox1 = new TLanguageComboBox(this);
  ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
  ComboBox1->setEditable(false);
  ComboBox1->setItemDelegate(new TLanguageItemDelegate(ComboBox1));
  ComboBox1->setIconSize(QSize(kFlagWidth, kFlagWidth));
  Label2 = new QLabel(this);
  Label2->setObjectName(QStringLiteral("Label2"));
  RichEdit1 = new QPlainTextEdit(this);
  RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
  RichEdit1->setReadOnly(true);
  RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
  RichEdit1->setContextMenuPolicy(Qt::CustomContextMenu);
  RichEdit1->setMinimumHeight(90);
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  Copy1 = PopupMenu1->addAction(QString());
  Copy1->setObjectName(QStringLiteral("Copy1"));
  Copy1->setIcon(QIcon(DialogPicture(QStringLiteral("copy"))));
  SelectAll1 = PopupMenu1->addAction(QString());
  SelectAll1->setObjectName(QStringLiteral("SelectAll1"));
  Label3 = new QLabel(this);
  Label3->setObjectName(QStringLiteral("Label3"));
  Label3->setCursor(Qt::PointingHandCursor);
  QFont linkFont = Label3->font();
  linkFont.setUnderline(true);
  Label3->setFont(linkFont);
  QPalette linkPalette = Label3->palette();
  linkPalette.setColor(QPalette::WindowText, LinkTextColour(linkPalette));
  Label3->setPalette(linkPalette);
  Label3->setToolTip(TranslationPageAddress());
  Label3->installEventFilter(this);
  Button1 = new QPushButton(this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setIcon(QIcon(DialogPicture(QStringLiteral("tick_button"))));
  Button1->setDefault(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(ComboBox1);
  layout->addSpacing(6);
  layout->addWidget(Label2);
  layout->addWidget(RichEdit1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(Label3);
  bottom->addStretch(1);
  bottom->addWidget(Button1);
  layout->addLayout(bottom);
  resize(320, 260);

  connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { ComboBox1Change(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Copy1, &QAction::triggered, this, [this] { Copy1Click(); });
  connect(SelectAll1, &QAction::triggered, this, [this] { SelectAll1Click(); });
  connect(RichEdit1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    Copy1->setEnabled(RichEdit1->textCursor().hasSelection());
    PopupMenu1->popup(RichEdit1->viewport()->mapToGlobal(at));
  });

  FormCreate();
}

void TTranslateForm::AddLanguage(const QString& name) {
  // The list keeps itself sorted, without regard to case; equal names go
  // after the ones already there.
  int at = 0;
  while (at < ComboBox1->count() && ComboBox1->itemText(at).compare(name, Qt::CaseInsensitive) <= 0) ++at;
  const QString flag = FlagNameFor(name);
  const QSignalBlocker quiet(ComboBox1);
  ComboBox1->insertItem(at, QIcon(FlagPicture(flag)), name);
  ComboBox1->setItemData(at, flag, kFlagRole);
  const QString own = i18n::OwnLanguageName(name);
  ComboBox1->setItemData(at, own, kOwnNameRole);
  ComboBox1->setItemData(at, own, Qt::AccessibleTextRole);
}

void TTranslateForm::FormCreate() {
  setWindowTitle(i18n::Translate(QStringLiteral("Language")));
  FitCaption(*this);
  Label1->setText(i18n::Translate(QStringLiteral("User Interface Language:")));
  Label2->setText(i18n::Translate(QStringLiteral("Translated by:")));
  Button1->setText(i18n::Translate(QStringLiteral("OK")));
  Label3->setText(i18n::Translate(QStringLiteral("Contribute to Translation")));
  Copy1->setText(i18n::Translate(QStringLiteral("Copy")));
  SelectAll1->setText(i18n::Translate(QStringLiteral("Select All")));

  AddLanguage(kEnglish);
  for (const QString& file : i18n::LanguageFiles()) {
    const qsizetype end = file.indexOf(QLatin1String(".lang.txt"));
    AddLanguage(end >= 0 ? file.left(end) : file);
  }

  int selected = ComboBox1->findText(kEnglish, Qt::MatchExactly);
  const QString current = i18n::LanguageName();
  if (!current.isEmpty()) {
    for (int i = 0; i < ComboBox1->count(); ++i) {
      if (ComboBox1->itemText(i) == current) {
        selected = i;
        break;
      }
    }
  }
  {
    const QSignalBlocker quiet(ComboBox1);
    ComboBox1->setCurrentIndex(selected);
  }
  ComboBox1Change();
  openedLanguage_ = ComboBox1->currentText();
}

void TTranslateForm::ComboBox1Change() {
  const QString name = ComboBox1->currentText();
  QString translators;
  if (name == kEnglish) {
    translators = QStringLiteral("Corvane");
  } else {
    try {
      const QStringList lines =
          i18n::ReadLanguageFileLines(QDir(i18n::LanguageFolder()).filePath(name + QStringLiteral(".lang.txt")));
      translators = i18n::FindTranslationLine(lines, QStringLiteral("INFO:Translated By")).value_or(QString());
    } catch (const std::exception&) {
      // An unreadable file just shows no names.
    }
  }
  QStringList names;
  if (!translators.isEmpty()) {
    for (const QString& piece : translators.split(u',')) names << piece.trimmed();
  }
  RichEdit1->setPlainText(names.join(u'\n'));
}

void TTranslateForm::Button1Click() {
  const QString chosen = ComboBox1->currentText();
  if (chosen == openedLanguage_) {
    accept();
    return;
  }
  const QMessageBox::StandardButton answer = CaptionedMessageDialog(
      i18n::Translate(QStringLiteral("Restart Application?")), QMessageBox::Question,
      QMessageBox::Yes | QMessageBox::No, i18n::Translate(QStringLiteral("Confirmation")),
      {i18n::Translate(QStringLiteral("Yes")), i18n::Translate(QStringLiteral("No"))}, this, host_.RestartNote);
  if (answer != QMessageBox::Yes) return;

  QString script;
  try {
    if (host_.SetLanguageFile) host_.SetLanguageFile(chosen + QStringLiteral(".lang.txt"));
    QCoreApplication::processEvents();
    const QString program =
        host_.ProgramPath.isEmpty() ? QCoreApplication::applicationFilePath() : host_.ProgramPath;
    script = WriteRestartScript(host_.DataFolder, program);
  } catch (const std::exception& error) {
    // The dialog stays open; the user may try again or cancel.
    ShowMessageBox(this, QMessageBox::Critical, QCoreApplication::applicationName(), QString::fromStdString(error.what()));
    return;
  }
  QCoreApplication::processEvents();
  if (host_.StartAndQuit) {
    host_.StartAndQuit(script);
  } else {
    StartRestartScript(script, host_.DataFolder);
    QCoreApplication::processEvents();
    QCoreApplication::exit(0);
  }
}

void TTranslateForm::Label3Click() { OpenAddress(this, TranslationPageAddress()); }

void TTranslateForm::Copy1Click() { RichEdit1->copy(); }

void TTranslateForm::SelectAll1Click() { RichEdit1->selectAll(); }

bool TTranslateForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label3 && event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton && Label3->rect().contains(mouse->position().toPoint())) {
      Label3Click();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace ui
