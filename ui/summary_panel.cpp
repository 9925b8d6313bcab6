#include "ui/summary_panel.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QSet>
#include <QStyle>
#include <QSvgGenerator>
#include <QTimer>
#include <QTreeWidget>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "i18n/language.h"
#include "ui/file_dialog.h"
#include "ui/results_model.h"
#include "ui/screen_fit.h"

namespace ui {

namespace {

using i18n::Translate;
using run::TSummaryFilter;

// The filter a table row stands for, kept in the row.
constexpr int kFilterRole = Qt::UserRole + 1;

QStringList FilterData(const TSummaryFilter& filter) {
  return QStringList{QString::number(static_cast<int>(filter.kind)), filter.platform, filter.version, filter.error};
}

std::optional<TSummaryFilter> FilterOf(const QVariant& data) {
  const QStringList parts = data.toStringList();
  if (parts.size() != 4) return std::nullopt;
  return TSummaryFilter{static_cast<TSummaryFilter::TKind>(parts[0].toInt()), parts[1], parts[2], parts[3]};
}

QString Share(double share) { return QLocale().toString(share * 100.0, 'f', 1) + QStringLiteral(" %"); }

QString Count(qint64 n) { return QLocale().toString(n); }

}  // namespace

TSummaryPanel::TSummaryPanel(const run::TWorkList& list, TResultsModel& results, QWidget* parent)
    : QDockWidget(parent), list_(list), results_(results) {
  setObjectName(QStringLiteral("SummaryPanel"));
  setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea | Qt::BottomDockWidgetArea);
  auto* body = new QWidget(this);
  body->setMinimumWidth(340);
  auto* layout = new QVBoxLayout(body);

  counts_ = new QLabel(body);
  counts_->setObjectName(QStringLiteral("SummaryCounts"));
  counts_->setWordWrap(true);
  counts_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(counts_);

  chart_ = new QChart();
  chart_->legend()->hide();
  chart_->setAnimationOptions(QChart::NoAnimation);
  chart_->setMargins(QMargins(4, 4, 4, 4));
  chartView_ = new QChartView(chart_, body);
  chartView_->setObjectName(QStringLiteral("SummaryChart"));
  chartView_->setRenderHint(QPainter::Antialiasing);
  chartView_->setMinimumHeight(220);
  layout->addWidget(chartView_, 3);

  table_ = new QTreeWidget(body);
  table_->setObjectName(QStringLiteral("SummaryTable"));
  table_->setColumnCount(3);
  table_->setRootIsDecorated(true);
  table_->setUniformRowHeights(true);
  table_->setAllColumnsShowFocus(true);
  table_->header()->setStretchLastSection(false);
  table_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  // The number columns are sized from their widest text (FitNumberColumns):
  // sizing them to their contents would measure every row at each refresh.
  table_->header()->setSectionResizeMode(1, QHeaderView::Fixed);
  table_->header()->setSectionResizeMode(2, QHeaderView::Fixed);
  connect(table_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { ItemChosen(item); });
  connect(table_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { ItemChosen(item); });
  layout->addWidget(table_, 2);

  filterText_ = new QLabel(body);
  filterText_->setObjectName(QStringLiteral("SummaryFilterText"));
  filterText_->setWordWrap(true);
  layout->addWidget(filterText_);

  auto* buttons = new QHBoxLayout();
  clear_ = new QPushButton(body);
  clear_->setObjectName(QStringLiteral("SummaryClearFilter"));
  save_ = new QPushButton(body);
  save_->setObjectName(QStringLiteral("SummarySaveChart"));
  copy_ = new QPushButton(body);
  copy_->setObjectName(QStringLiteral("SummaryCopy"));
  connect(clear_, &QPushButton::clicked, this, &TSummaryPanel::ClearFilter);
  connect(save_, &QPushButton::clicked, this, &TSummaryPanel::SaveChartClick);
  connect(copy_, &QPushButton::clicked, this, &TSummaryPanel::CopyClick);
  buttons->addWidget(clear_);
  buttons->addStretch(1);
  buttons->addWidget(save_);
  buttons->addWidget(copy_);
  layout->addLayout(buttons);
  setWidget(body);
  setFocusProxy(table_);
  QWidget::setTabOrder(table_, clear_);
  QWidget::setTabOrder(clear_, save_);
  QWidget::setTabOrder(save_, copy_);

  // Docked, the panel takes its room from the results; the first time it
  // opens the window grows by its width instead, as far as the screen allows.
  connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
    if (!visible || grown_ || isFloating() || parentWidget() == nullptr) return;
    grown_ = true;
    QWidget* window = parentWidget()->window();
    if (window->isMaximized() || window->isFullScreen()) return;
    GrowWithinScreen(*window, QSize(window->width() + sizeHint().width(), window->height()));
  });

  refresh_ = new QTimer(this);
  refresh_->setSingleShot(true);
  refresh_->setInterval(kRefreshMs);
  connect(refresh_, &QTimer::timeout, this, &TSummaryPanel::Refresh);

  ApplyTexts();
  ApplyPalette();
  Refresh();
}

QMenu* TSummaryPanel::AddViewMenu(QMenuBar* bar, QAction* before) {
  viewMenu_ = new QMenu(bar);
  viewMenu_->setObjectName(QStringLiteral("View1"));
  QAction* toggle = toggleViewAction();
  toggle->setObjectName(QStringLiteral("Summary1"));
  toggle->setShortcut(QKeySequence(Qt::Key_F9));
  toggle->setShortcutContext(Qt::WindowShortcut);
  viewMenu_->addAction(toggle);
  bar->insertMenu(before, viewMenu_);
  ApplyTexts();
  return viewMenu_;
}

void TSummaryPanel::ApplyTexts() {
  setWindowTitle(Translate(QStringLiteral("Summary")));
  if (viewMenu_ != nullptr) {
    viewMenu_->setTitle(Translate(QStringLiteral("&View")));
    toggleViewAction()->setText(Translate(QStringLiteral("&Summary")));
  }
  table_->setHeaderLabels({Translate(QStringLiteral("Platform")), Translate(QStringLiteral("Sites")),
                           Translate(QStringLiteral("Share"))});
  clear_->setText(Translate(QStringLiteral("&Clear Filter")));
  save_->setText(Translate(QStringLiteral("Save Char&t...")));
  copy_->setText(Translate(QStringLiteral("C&opy")));
  chartView_->setAccessibleName(Translate(QStringLiteral("Sites per platform")));
  chartView_->setAccessibleDescription(
      Translate(QStringLiteral("A bar chart of the platforms with the most sites; the table below holds the same.")));
  table_->setAccessibleName(Translate(QStringLiteral("Summary")));
  table_->setAccessibleDescription(Translate(QStringLiteral("Sites per platform with their versions, the sites without platform and the failed ones; Enter shows them in the results.")));
  clear_->setAccessibleDescription(Translate(QStringLiteral("Shows every site in the results again.")));
  counts_->setAccessibleName(Translate(QStringLiteral("Counts")));
  Refresh();
}

void TSummaryPanel::RunStarted() {
  summary_.Clear();
  ClearFilter();
  ScheduleRefresh();
}

void TSummaryPanel::RecordEnded(const run::TWorkRecord& record) {
  summary_.Add(record);
  ScheduleRefresh();
}

void TSummaryPanel::ScheduleRefresh() {
  dirty_ = true;
  if (isVisible() && !refresh_->isActive()) refresh_->start();
}

void TSummaryPanel::showEvent(QShowEvent* event) {
  QDockWidget::showEvent(event);
  if (dirty_) Refresh();
}

void TSummaryPanel::changeEvent(QEvent* event) {
  QDockWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) ApplyPalette();
  if (event->type() == QEvent::FontChange) RebuildTable();  // the number columns fit the new font
}

void TSummaryPanel::Refresh() {
  dirty_ = false;
  refresh_->stop();
  UpdateCounts();
  RebuildChart();
  RebuildTable();
}

void TSummaryPanel::UpdateCounts() {
  // Records of the list whose job has not ended (yet) count as not done.
  const qint64 notDone = static_cast<qint64>(list_.size()) - (summary_.Urls() - summary_.NotDone());
  counts_->setText(Translate(QStringLiteral("%1 URLs: %2 answered (%3 with a platform, %4 without), %5 failed, %6 not done"))
                       .arg(Count(static_cast<qint64>(list_.size())), Count(summary_.Answered()),
                            Count(summary_.Identified()), Count(summary_.NoPlatform()), Count(summary_.Failed()),
                            Count(std::max<qint64>(0, notDone))));
}

void TSummaryPanel::ApplyPalette() {
  const QPalette colours = palette();
  const bool dark = colours.color(QPalette::Window).lightness() < 128;
  chart_->setTheme(dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
  chart_->setBackgroundBrush(colours.brush(QPalette::Base));
  chart_->setTitleBrush(colours.brush(QPalette::Text));
  chartView_->setBackgroundBrush(colours.brush(QPalette::Window));
  barLabels_.clear();  // new bars and axes in the new colours
  RebuildChart();
}

void TSummaryPanel::RebuildChart() {
  chart_->setTitle(Translate(QStringLiteral("Sites per platform")));
  const auto rows = summary_.Platforms();
  QStringList labels;
  std::vector<TSummaryFilter> filters;
  QList<qreal> values;
  qint64 other = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (static_cast<int>(i) < kChartBars) {
      labels << rows[i].name;
      filters.push_back({TSummaryFilter::TKind::Platform, rows[i].name, {}, {}});
      values << static_cast<qreal>(rows[i].sites);
    } else {
      other += rows[i].sites;
    }
  }
  if (other > 0) {
    labels << Translate(QStringLiteral("Other"));
    values << static_cast<qreal>(other);
  }
  if (barSet_ != nullptr && labels == barLabels_) {
    // The same bars (most refreshes while a run goes): only their lengths
    // and the scale change, which costs far less than new series and axes.
    const int bars = static_cast<int>(values.size());
    for (int i = 0; i < bars; ++i) barSet_->replace(bars - 1 - i, values[i]);
    ScaleCounts(*std::max_element(values.begin(), values.end()));
    return;
  }
  barSet_ = nullptr;  // deleted with its series
  countsAxis_ = nullptr;
  chart_->removeAllSeries();
  for (QAbstractAxis* axis : chart_->axes()) {
    chart_->removeAxis(axis);
    delete axis;
  }
  barLabels_ = labels;
  barFilters_ = std::move(filters);
  if (values.isEmpty()) return;

  const QPalette colours = palette();
  auto* set = new QBarSet(Translate(QStringLiteral("Sites")));
  set->setLabelColor(colours.color(QPalette::Text));
  // A horizontal bar chart draws its first category at the bottom: the most
  // sites go last so that they show at the top.
  QStringList categories;
  for (qsizetype i = values.size() - 1; i >= 0; --i) {
    set->append(values[i]);
    // Categories must differ; a name shown twice (never, but for safety) gets a blank.
    QString label = barLabels_[i];
    while (categories.contains(label)) label += QLatin1Char(' ');
    categories << label;
  }
  auto* series = new QHorizontalBarSeries();
  series->append(set);
  series->setLabelsVisible(true);
  series->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
  series->setBarWidth(0.7);
  chart_->addSeries(series);
  auto* names = new QBarCategoryAxis();
  names->append(categories);
  names->setLabelsBrush(colours.brush(QPalette::Text));
  names->setGridLineVisible(false);
  auto* counts = new QValueAxis();
  countsAxis_ = counts;
  counts->setLabelFormat(QStringLiteral("%d"));
  counts->setTickType(QValueAxis::TicksDynamic);
  counts->setTickAnchor(0);
  ScaleCounts(*std::max_element(values.begin(), values.end()));
  counts->setLabelsBrush(colours.brush(QPalette::Text));
  counts->setGridLineColor(colours.color(QPalette::Mid));
  chart_->addAxis(names, Qt::AlignLeft);
  chart_->addAxis(counts, Qt::AlignBottom);
  series->attachAxis(names);
  series->attachAxis(counts);
  const int bars = static_cast<int>(values.size());
  connect(set, &QBarSet::clicked, this, [this, bars](int index) { ClickBar(bars - 1 - index); });
  barSet_ = set;
  MarkFilteredBar();
}

void TSummaryPanel::ScaleCounts(qreal most) {
  // Ticks at whole numbers of sites: a step of 1, 2 or 5 times a power of
  // ten, about five of them, and room beyond the longest bar for its label.
  qreal step = 1;
  while (most / step > 5) step *= (QString::number(step).startsWith(QLatin1Char('2')) ? 2.5 : 2);
  const qreal end = std::ceil(most * 1.15 / step) * step;
  if (countsAxis_->tickInterval() != step) countsAxis_->setTickInterval(step);
  if (countsAxis_->max() != end || countsAxis_->min() != 0) countsAxis_->setRange(0, end);
}

void TSummaryPanel::MarkFilteredBar() {
  if (barSet_ == nullptr) return;
  // The bar of the platform the results show stands out; the others step
  // back, so the chart says what the list below it holds.
  const int bars = barSet_->count();
  const int marked = MarkedBar();
  const QPalette colours = palette();
  barSet_->deselectAllBars();
  const QColor bar = colours.color(QPalette::Highlight), base = colours.color(QPalette::Base);
  const auto faded = [&](int a, int b) { return (a * 2 + b * 3) / 5; };
  barSet_->setColor(marked < 0 ? bar
                               : QColor(faded(bar.red(), base.red()), faded(bar.green(), base.green()),
                                        faded(bar.blue(), base.blue())));
  barSet_->setBorderColor(barSet_->color());
  barSet_->setSelectedColor(colours.color(QPalette::Highlight));
  if (marked >= 0) barSet_->selectBar(bars - 1 - marked);
}

int TSummaryPanel::MarkedBar() const {
  if (!filter_ || (filter_->kind != TSummaryFilter::TKind::Platform && filter_->kind != TSummaryFilter::TKind::Version))
    return -1;
  for (std::size_t i = 0; i < barFilters_.size(); ++i)
    if (barFilters_[i].platform.compare(filter_->platform, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
  return -1;
}

QStringList TSummaryPanel::BarLabels() const { return barLabels_; }

void TSummaryPanel::ClickBar(int index) {
  if (index >= 0 && static_cast<std::size_t>(index) < barFilters_.size()) SetFilter(barFilters_[static_cast<std::size_t>(index)]);
}

void TSummaryPanel::RebuildTable() {
  // The rows to show, top-level rows each followed by their children.
  struct TRow {
    bool child;
    QString name;
    qint64 sites;
    QString share;
    QStringList filter;
  };
  std::vector<TRow> wanted;
  const auto rows = summary_.Platforms();
  for (const auto& row : rows) {
    wanted.push_back({false, row.name, row.sites, Share(row.share), FilterData({TSummaryFilter::TKind::Platform, row.name, {}, {}})});
    for (const auto& version : row.versions)
      wanted.push_back({true, version.version, version.sites, QString(),
                        FilterData({TSummaryFilter::TKind::Version, row.name, version.version, {}})});
    if (!row.versions.empty() && row.unversioned > 0)
      wanted.push_back({true, Translate(QStringLiteral("no version")), row.unversioned, QString(),
                        FilterData({TSummaryFilter::TKind::Version, row.name, QString(), {}})});
  }
  wanted.push_back({false, Translate(QStringLiteral("No platform")), summary_.NoPlatform(), QString(),
                    FilterData({TSummaryFilter::TKind::NoPlatform, {}, {}, {}})});
  wanted.push_back({false, Translate(QStringLiteral("Failed")), summary_.Failed(), QString(),
                    FilterData({TSummaryFilter::TKind::Failed, {}, {}, {}})});
  for (const auto& error : summary_.Errors())
    wanted.push_back({true, error.error, error.sites, QString(), FilterData({TSummaryFilter::TKind::Error, {}, {}, error.error})});

  // The rows shown now, in the same order.
  std::vector<QTreeWidgetItem*> shown;
  for (int i = 0; i < table_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = table_->topLevelItem(i);
    shown.push_back(item);
    for (int c = 0; c < item->childCount(); ++c) shown.push_back(item->child(c));
  }
  const auto setTexts = [](QTreeWidgetItem* item, const TRow& row) {
    item->setText(0, row.name);
    item->setText(1, Count(row.sites));
    item->setText(2, row.share);
  };
  bool same = shown.size() == wanted.size();
  for (std::size_t i = 0; same && i < wanted.size(); ++i)
    same = (shown[i]->parent() != nullptr) == wanted[i].child && shown[i]->data(0, kFilterRole).toStringList() == wanted[i].filter;
  if (same) {
    // The same rows in the same order (most refreshes while a run goes): only
    // the figures change, and the scroll position stays where the reader left it.
    for (std::size_t i = 0; i < wanted.size(); ++i) setTexts(shown[i], wanted[i]);
  } else {
    // The rows keep their open or closed state and the current row across a rebuild.
    QSet<QStringList> open;
    QStringList current;
    for (int i = 0; i < table_->topLevelItemCount(); ++i)
      if (table_->topLevelItem(i)->isExpanded()) open << table_->topLevelItem(i)->data(0, kFilterRole).toStringList();
    if (QTreeWidgetItem* item = table_->currentItem()) current = item->data(0, kFilterRole).toStringList();

    table_->setUpdatesEnabled(false);
    table_->clear();
    QList<QTreeWidgetItem*> items;
    QTreeWidgetItem* currentItem = nullptr;
    for (const TRow& row : wanted) {
      auto* item = row.child ? new QTreeWidgetItem(items.last()) : new QTreeWidgetItem();
      setTexts(item, row);
      item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
      item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
      item->setData(0, kFilterRole, row.filter);
      if (!row.child) items << item;
      if (row.filter == current) currentItem = item;
    }
    table_->addTopLevelItems(items);
    for (QTreeWidgetItem* item : items)
      if (open.contains(item->data(0, kFilterRole).toStringList())) item->setExpanded(true);
    if (currentItem != nullptr) table_->setCurrentItem(currentItem);
  }
  // The widest count is the largest: the first platform's sites (versions
  // and errors have fewer than their row), the sites without platform or the
  // failed ones; the widest share the first platform's.
  FitNumberColumns(std::max({rows.empty() ? 0 : rows.front().sites, summary_.NoPlatform(), summary_.Failed()}),
                   rows.empty() ? 0.0 : rows.front().share);
  table_->setUpdatesEnabled(true);
}

void TSummaryPanel::FitNumberColumns(qint64 mostSites, double largestShare) {
  const QFontMetrics metrics(table_->font());
  const QFontMetrics headerMetrics(table_->header()->font());
  const int margin = 2 * table_->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, table_->header()) +
                     metrics.horizontalAdvance(QLatin1Char(' '));
  const auto fit = [&](int column, const QString& widest) {
    const int width = std::max(headerMetrics.horizontalAdvance(table_->headerItem()->text(column)),
                               metrics.horizontalAdvance(widest)) + margin;
    if (table_->header()->sectionSize(column) != width) table_->header()->resizeSection(column, width);
  };
  fit(1, Count(mostSites));
  fit(2, Share(largestShare));
}

void TSummaryPanel::ItemChosen(QTreeWidgetItem* item) {
  if (item == nullptr) return;
  if (const auto filter = FilterOf(item->data(0, kFilterRole))) SetFilter(*filter);
}

void TSummaryPanel::SetFilter(const run::TSummaryFilter& filter) {
  filter_ = filter;
  results_.SetFilter([filter](const run::TWorkRecord& record) { return run::SummaryMatches(record, filter); });
  QString what;
  switch (filter.kind) {
    case TSummaryFilter::TKind::Platform:
      what = filter.platform;
      break;
    case TSummaryFilter::TKind::Version:
      what = filter.platform + QLatin1Char(' ') +
             (filter.version.isEmpty() ? Translate(QStringLiteral("no version")) : filter.version);
      break;
    case TSummaryFilter::TKind::NoPlatform:
      what = Translate(QStringLiteral("No platform"));
      break;
    case TSummaryFilter::TKind::Failed:
      what = Translate(QStringLiteral("Failed"));
      break;
    case TSummaryFilter::TKind::Error:
      what = filter.error;
      break;
  }
  filterText_->setText(Translate(QStringLiteral("The results show only: %s")).replace(QLatin1String("%s"), what));
  clear_->setEnabled(true);
  MarkFilteredBar();
  Q_EMIT FilterChanged();
}

void TSummaryPanel::ClearFilter() {
  const bool had = filter_.has_value();
  filter_.reset();
  results_.ClearFilter();
  filterText_->setText(Translate(QStringLiteral("The results show every site.")));
  clear_->setEnabled(false);
  MarkFilteredBar();
  if (had) Q_EMIT FilterChanged();
}

void TSummaryPanel::SettleChart() const {
  // A rebuilt chart lays out its bars when its posted layout request runs; a
  // picture taken before that would show the title alone.
  QCoreApplication::sendPostedEvents(chart_, QEvent::LayoutRequest);
  QCoreApplication::sendPostedEvents(chartView_->scene(), 0);
}

QImage TSummaryPanel::ChartImage() const {
  SettleChart();
  const qreal scale = chartView_->devicePixelRatioF();
  QImage image((QSizeF(chartView_->size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(scale);
  image.fill(chart_->backgroundBrush().color());
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  chartView_->render(&painter);
  return image;
}

bool TSummaryPanel::SaveChart(const QString& fileName) {
  SettleChart();
  if (fileName.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
    QBuffer bytes;
    QSvgGenerator svg;
    svg.setOutputDevice(&bytes);
    svg.setSize(chartView_->size());
    svg.setViewBox(QRect(QPoint(0, 0), chartView_->size()));
    svg.setTitle(Translate(QStringLiteral("Sites per platform")));
    {
      QPainter painter(&svg);
      chartView_->render(&painter);
    }
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(bytes.data()) == bytes.data().size() && file.flush();
  }
  return ChartImage().save(fileName, "PNG");
}

void TSummaryPanel::SaveChartClick() {
  if (saveDialog_ == nullptr) {
    saveDialog_ = new QFileDialog(this);
    saveDialog_->setObjectName(QStringLiteral("SummarySaveDialog"));
  }
  const QString filters = Translate(QStringLiteral("PNG Image")) + QStringLiteral("|*.png|") +
                          Translate(QStringLiteral("SVG Image")) + QStringLiteral("|*.svg");
  PrepareFileDialog(*saveDialog_, QFileDialog::AcceptSave, QStringLiteral("png"), filters);
  const QString fileName = ExecFileDialog(*saveDialog_);
  if (fileName.isEmpty()) return;
  if (!SaveChart(fileName))
    QMessageBox::warning(this, Translate(QStringLiteral("WARNING")),
                         Translate(QStringLiteral("The chart could not be saved:")) + QLatin1Char('\n') + fileName);
}

QString TSummaryPanel::TableText() const {
  QString text = counts_->text() + QLatin1Char('\n');
  for (int i = 0; i < table_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = table_->topLevelItem(i);
    text += item->text(0) + QLatin1Char('\t') + item->text(1) + QLatin1Char('\t') + item->text(2) + QLatin1Char('\n');
    for (int c = 0; c < item->childCount(); ++c)
      text += QStringLiteral("  ") + item->child(c)->text(0) + QLatin1Char('\t') + item->child(c)->text(1) + QLatin1Char('\n');
  }
  return text;
}

void TSummaryPanel::CopyClick() {
  auto* data = new QMimeData();
  data->setImageData(ChartImage());
  data->setText(TableText());
  QGuiApplication::clipboard()->setMimeData(data);
}

}  // namespace ui
