// Every window and dialog in every shipped language (and English): no
// caption, label, button or group title is wider than its widget, and each
// window is wide enough for its caption.
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "dialog_test_support.h"
#include "gui_test_base.h"
#include "i18n/language.h"
#include "ui/about_box.h"
#include "ui/caption_fit.h"
#include "ui/feedback_form.h"
#include "ui/form_multi_thread.h"
#include "ui/new_ver.h"
#include "ui/proxy_form.h"
#include "ui/translate_form.h"

namespace {

QString Shown(const QString& text) {
  QString plain = text;
  return plain.remove(QRegularExpression(QStringLiteral("&(?!&)")));
}

// What does not fit in `window`, one line per text.
QStringList CutTexts(QWidget& window) {
  QStringList cut;
  auto report = [&](QWidget* w, const QString& text, int need, int room) {
    if (need > room)
      cut << QStringLiteral("%1 \"%2\": needs %3, has %4").arg(w->objectName(), text).arg(need).arg(room);
  };
  for (QLabel* label : window.findChildren<QLabel*>()) {
    if (!label->isVisibleTo(&window) || label->text().isEmpty() || !label->pixmap().isNull()) continue;
    if (label->wordWrap()) {
      report(label, label->text(), label->heightForWidth(label->width()), label->height());
    } else if (Qt::mightBeRichText(label->text())) {
      QTextDocument doc;
      doc.setDefaultFont(label->font());
      doc.setHtml(label->text());
      report(label, label->text(), qCeil(doc.idealWidth()) - 2 * qRound(doc.documentMargin()), label->contentsRect().width());
    } else {
      report(label, label->text(), label->fontMetrics().horizontalAdvance(Shown(label->text())),
             label->contentsRect().width() - 2 * label->margin() - qMax(0, label->indent()));
    }
  }
  for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    if (!button->isVisibleTo(&window) || button->text().isEmpty()) continue;
    if (qobject_cast<QRadioButton*>(button) || qobject_cast<QCheckBox*>(button)) {
      report(button, button->text(), button->sizeHint().width(), button->width());
      continue;
    }
    const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
    const int margins = 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) / 2 +
                        2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    report(button, button->text(), button->fontMetrics().horizontalAdvance(Shown(button->text())) + icon,
           button->width() - margins);
  }
  for (QGroupBox* group : window.findChildren<QGroupBox*>()) {
    if (!group->isVisibleTo(&window) || group->title().isEmpty()) continue;
    report(group, group->title(), group->minimumSizeHint().width(), group->width());
  }
  if (window.isWindow() && !window.windowFlags().testFlag(Qt::FramelessWindowHint))
    report(&window, window.windowTitle(), ui::CaptionWidthNeeded(window), window.width());
  return cut;
}

class DialogFitTest : public GuiTest {
 protected:
  void TearDown() override {
    GuiTest::TearDown();
    i18n::LoadLanguage(QString(), folder_.path() + QStringLiteral("/none"));
  }
  void Check(QWidget& window, const QString& language) {
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    // Laid out as shown: posted layout requests run first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    // The update notice grows to its size after it shows: give it time.
    QStringList cut;
    (void)QTest::qWaitFor([&] { return (cut = CutTexts(window)).isEmpty(); }, 3000);
    EXPECT_TRUE(cut.isEmpty()) << language.toStdString() << ", " << window.metaObject()->className() << ":\n  "
                               << cut.join(QStringLiteral("\n  ")).toStdString();
    window.close();
  }
};

TEST_F(DialogFitTest, EveryDialogFitsItsTextsInEveryLanguage) {
  dialogtest::CopyShippedLanguages(folder_.path());
  QStringList languages = QDir(dialogtest::ShippedLanguagesFolder()).entryList({QStringLiteral("*.lang.txt")});
  languages.prepend(QStringLiteral("English.lang.txt"));
  ASSERT_EQ(languages.size(), 4);
  for (const QString& language : languages) {
    WriteData(QStringLiteral("settings.ini"), "[Settings]\r\nLanguage=" + language.toUtf8() + "\r\n\r\n");
    OpenForm();
    ASSERT_EQ(i18n::LanguageName().isEmpty(), language.startsWith(QLatin1String("English")));
    Check(*form_, language);
    {
    ui::TFormMultiThread threads(form_->DefaultPoolLimits(), form_->Settings(),
                                 form_->findChild<QAction*>(QStringLiteral("MultiThreaded1")), form_.get());
    Check(threads, language);
    ui::TTranslateFormHost host;
    host.DataFolder = folder_.path();
    ui::TTranslateForm languageDialog(std::move(host), form_.get());
    Check(languageDialog, language);
    ui::TFeedbackForm feedback(form_.get());
    Check(feedback, language);
    ui::TAboutBox about(form_.get(), folder_.path());
    Check(about, language);
    ui::TProxyState proxy(form_->Settings());
    ui::TProxyForm proxyDialog(proxy, form_.get());
    Check(proxyDialog, language);
    // Last: the notice deletes itself as it closes.
    ui::TNewVer notice(QStringLiteral("Lumasift"), QStringLiteral("9.9"), QStringLiteral("http://127.0.0.1:9/"),
                       form_.get());
    Check(notice, language);
    }
    form_.reset();
  }
}

}  // namespace
