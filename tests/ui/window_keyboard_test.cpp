// The main window without a mouse and for a screen reader, and the parts of
// it a new user trips over: the agent list's width and the smallest size.
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QSet>
#include <QComboBox>
#include <QMenu>
#include <QHeaderView>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <gtest/gtest.h>

#include "dialog_test_support.h"
#include "gui_test_base.h"
#include "i18n/language.h"
#include "ui/wide_combo_box.h"

namespace {

class WindowTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    OpenForm();
  }
};

TEST_F(WindowTest, TheOpenAgentListShowsEveryEntryWhole) {
  auto* box = Child<ui::TWideComboBox>("ComboBox1");
  box->showPopup();
  QAbstractItemView* list = box->view();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
  const QFontMetrics metrics(list->font());
  for (int row = 0; row < box->count(); ++row) {
    const QRect item = list->visualRect(list->model()->index(row, 0));
    EXPECT_GE(item.width(), metrics.horizontalAdvance(box->itemText(row))) << row;
  }
  EXPECT_GT(list->window()->width(), box->width());
  const QRect screen = box->screen()->availableGeometry();
  EXPECT_TRUE(screen.contains(list->window()->geometry())) << "within the screen";
  box->hidePopup();

  // A narrow screen: the list is as wide as the screen at most.
  box->addItem(QString(400, u'W'));
  box->showPopup();
  EXPECT_LE(list->window()->width(), screen.width());
  EXPECT_TRUE(screen.contains(list->window()->geometry()));
  box->hidePopup();
}

// At the smallest size the window shows what it needs, in English and in
// the language with the longest labels.
void ExpectUsableAtSmallestSize(ui::TAppForm& form, ui::TUrlEditor* editor) {
  form.resize(1, 1);
  QTest::qWait(20);
  EXPECT_EQ(form.size(), form.minimumSize());
  const QRect window = form.rect();
  const int line = static_cast<int>(editor->SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, 0));
  EXPECT_GE(editor->viewport()->height(), 3 * line) << "three lines of the editor";
  auto* view = form.findChild<QTableView*>(QStringLiteral("ListView1"));
  EXPECT_GE(view->viewport()->height(), 3 * view->verticalHeader()->defaultSectionSize()) << "three result rows";
  for (const char* name : {"Label1", "Label3", "Edit3", "Label4", "Edit4", "Label5", "ComboBox1", "ButtonStart",
                           "ButtonExport"}) {
    auto* w = form.findChild<QWidget*>(QLatin1String(name));
    ASSERT_NE(w, nullptr) << name;
    EXPECT_TRUE(w->isVisible()) << name;
    EXPECT_TRUE(window.contains(QRect(w->mapTo(&form, QPoint(0, 0)), w->size()))) << name << " lies inside";
    EXPECT_GE(w->width(), w->minimumSizeHint().width()) << name;
    EXPECT_GE(w->height(), qMin(w->sizeHint().height(), w->maximumHeight())) << name;
  }
}

TEST_F(WindowTest, TheSmallestWindowStillShowsEditorFieldsRowsAndButtons) {
  ExpectUsableAtSmallestSize(*form_, Editor());
  form_.reset();
  dialogtest::CopyShippedLanguages(folder_.path());
  WriteData(QStringLiteral("settings.ini"), "[Settings]\r\nLanguage=German.lang.txt\r\n\r\n");
  OpenForm();
  ExpectUsableAtSmallestSize(*form_, Editor());
  i18n::LoadLanguage(QString(), folder_.path() + QStringLiteral("/none"));
}

// The control a focus widget belongs to (a field's inner editor, a view's
// viewport), named as the window names it.
QString ControlOf(QWidget* widget, const QStringList& names) {
  for (QWidget* w = widget; w != nullptr; w = w->parentWidget())
    if (names.contains(w->objectName())) return w->objectName();
  return widget ? QStringLiteral("<%1>").arg(QString::fromLatin1(widget->metaObject()->className())) : QStringLiteral("<none>");
}

TEST_F(WindowTest, TabRunsThroughTheWindowInReadingOrderAndBack) {
  const QStringList order = {"SynEdit1", "Edit3", "Edit4", "ComboBox1", "ListView1", "ButtonStart", "ButtonExport"};
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  Editor()->setFocus();
  QStringList seen = {ControlOf(QApplication::focusWidget(), order)};
  for (int i = 1; i < order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    seen << ControlOf(QApplication::focusWidget(), order);
  }
  EXPECT_EQ(seen, order);
  QStringList back;
  for (int i = 1; i < order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    back.prepend(ControlOf(QApplication::focusWidget(), order));
  }
  back << order.last();
  EXPECT_EQ(back, order);
}

TEST_F(WindowTest, MenusHaveAcceleratorsAndAltOpensThem) {
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  for (QAction* menu : form_->menuBar()->actions()) {
    EXPECT_TRUE(menu->text().contains(u'&')) << menu->text().toStdString();
    for (QAction* item : menu->menu()->actions())
      if (!item->isSeparator()) EXPECT_TRUE(item->text().contains(u'&')) << item->text().toStdString();
  }
  // Alt+F opens the File menu.
  QWidget* opened = nullptr;
  QTimer::singleShot(50, [&] {
    opened = QApplication::activePopupWidget();
    if (opened) opened->close();
  });
  QTest::keyClick(form_.get(), Qt::Key_F, Qt::AltModifier);
  QTest::qWait(100);
  EXPECT_EQ(opened, Child<QMenu>("File1"));
}

// Every accessible object below `root`, depth first.
void Walk(QAccessibleInterface* root, QList<QAccessibleInterface*>& all, int depth = 0) {
  if (root == nullptr || depth > 12) return;
  all << root;
  for (int i = 0; i < root->childCount(); ++i) Walk(root->child(i), all, depth + 1);
}

TEST_F(WindowTest, ScreenReadersFindEveryControlNamedAndDescribedAndRowsReadAsTheirTexts) {
  form_->AddData(QStringLiteral("http://a.example"), QString());
  form_->WorkList().back().FPlatform = QStringLiteral("WordPress, WooCommerce");
  form_->WorkList().back().FImageNo = 54;
  form_->AddData(QStringLiteral("http://b.example"), QString());
  form_->SetRowCount(2);

  QList<QAccessibleInterface*> all;
  Walk(QAccessible::queryAccessibleInterface(form_.get()), all);
  QHash<QString, QAccessibleInterface*> byName;
  for (QAccessibleInterface* node : all)
    if (node->object() && !node->object()->objectName().isEmpty()) byName.insert(node->object()->objectName(), node);

  const struct {
    const char* control;
    const char* name;  // empty: any non-empty name
  } controls[] = {
      {"SynEdit1", "URL List:"},    {"Edit3", "Connection Timeout (ms):"}, {"Edit4", "Response Timeout (ms):"},
      {"ComboBox1", "Agent:"},      {"ListView1", "Results"},              {"ButtonStart", "Start"},
      {"ButtonExport", "Export Results"},
  };
  for (const auto& c : controls) {
    QAccessibleInterface* node = byName.value(QString::fromLatin1(c.control));
    ASSERT_NE(node, nullptr) << c.control << " is not in the window's accessibility tree";
    if (QLatin1String(c.control) == QLatin1String("ComboBox1")) {
      // On this desktop a combo box's name is its text; its label is a relation.
      QStringList labels;
      for (const auto& [other, relation] : node->relations(QAccessible::Label)) labels << other->text(QAccessible::Name);
      EXPECT_EQ(labels, QStringList{QString::fromLatin1(c.name)});
    } else {
      EXPECT_EQ(node->text(QAccessible::Name), QString::fromLatin1(c.name)) << c.control;
    }
    EXPECT_FALSE(node->text(QAccessible::Description).isEmpty()) << c.control;
  }

  QAccessibleTableInterface* table = byName.value(QStringLiteral("ListView1"))->tableInterface();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->rowCount(), 2);
  QAccessibleInterface* url = table->cellAt(0, 0);
  QAccessibleInterface* platforms = table->cellAt(0, 1);
  ASSERT_NE(url, nullptr);
  ASSERT_NE(platforms, nullptr);
  EXPECT_EQ(url->text(QAccessible::Name), QStringLiteral("http://a.example"));
  EXPECT_EQ(platforms->text(QAccessible::Name), QStringLiteral("WordPress, WooCommerce"));
  EXPECT_EQ(url->text(QAccessible::Description), QStringLiteral("http://a.example: WordPress, WooCommerce"));
  EXPECT_EQ(platforms->text(QAccessible::Description), url->text(QAccessible::Description));
  // A row without a result yet says so instead of reading nothing.
  EXPECT_EQ(table->cellAt(1, 1)->text(QAccessible::Name), QStringLiteral("waiting"));
  // The column headers are there too.
  QStringList headers;
  for (int column = 0; column < table->columnCount(); ++column)
    headers << table->columnDescription(column);
  EXPECT_EQ(headers, (QStringList{"URL", "Platforms"}));
}

}  // namespace
