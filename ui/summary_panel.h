#pragma once
// TSummaryPanel: the run's summary beside the results (View > Summary), a
// dock of the main window that can float. It shows, while the run goes and
// after it:
//   - a line of counts (URLs, answered with and without a platform, failed,
//     not done: the records whose job has not ended);
//   - a bar chart of the platforms with the most sites (the 20 most, then one
//     bar "Other" for the rest), in the window's palette and language;
//   - a table of every platform (sites, share of the sites that answered)
//     with its versions below it, then "No platform" and "Failed" with the
//     error texts below it.
// A click on a bar, or a click (Enter) on a row, filters the results view to
// those sites; "Clear Filter" shows every row again. The chart is saved as
// PNG or SVG (by the name's extension) and copied (image and table text).
//
// The window hands over each record as its job ends (RecordEnded) and says
// when a run starts (RunStarted: the summary and the filter are cleared).
// Counting a record costs microseconds; the chart and the table are rebuilt
// at most every kRefreshMs, and only while the panel is visible, so a long
// run does not load the event loop. Main thread only.
#include <QDockWidget>
#include <QPointer>
#include <optional>
#include <vector>

#include "run/run_summary.h"

class QBarSet;
class QChart;
class QValueAxis;
class QChartView;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QFileDialog;

namespace ui {

class TResultsModel;

class TSummaryPanel : public QDockWidget {
  Q_OBJECT
 public:
  static constexpr int kRefreshMs = 250;
  static constexpr int kChartBars = 20;

  // `list` and `results` belong to the window and outlive the panel.
  TSummaryPanel(const run::TWorkList& list, TResultsModel& results, QWidget* parent = nullptr);

  // Adds the menu "View" with its item "Summary" (which shows and hides the
  // panel) to `bar`, before the menu `before`. Returns the menu.
  QMenu* AddViewMenu(QMenuBar* bar, QAction* before);

  // A run starts: nothing counted, no filter.
  void RunStarted();
  // A record's job has ended.
  void RecordEnded(const run::TWorkRecord& record);
  // The texts in the loaded language (the window calls it after loading one).
  void ApplyTexts();

  const run::TRunSummary& Summary() const { return summary_; }
  // The filter in force, if any.
  const std::optional<run::TSummaryFilter>& Filter() const { return filter_; }
  void SetFilter(const run::TSummaryFilter& filter);
  void ClearFilter();

  // The chart and the table brought up to date now (else within kRefreshMs).
  void Refresh();
  // The categories of the chart's bars from the top, as shown ("Other" last).
  QStringList BarLabels() const;
  // Acts as a click on the bar at `index` from the top.
  void ClickBar(int index);
  // The bar (from the top) of the platform the filter selects, drawn apart
  // from the others; -1 when the filter selects none of the bars, or none is set.
  int MarkedBar() const;
  // The chart as an image or an SVG file; false when it cannot be written.
  bool SaveChart(const QString& fileName);

 Q_SIGNALS:
  // The filter changed (set or cleared).
  void FilterChanged();

 protected:
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void ScheduleRefresh();
  void RebuildChart();
  void RebuildTable();
  void ApplyPalette();
  void UpdateCounts();
  void ItemChosen(QTreeWidgetItem* item);
  void SaveChartClick();
  void CopyClick();
  QString TableText() const;
  QImage ChartImage() const;
  void SettleChart() const;
  void MarkFilteredBar();
  void ScaleCounts(qreal most);
  void FitNumberColumns(qint64 mostSites, double largestShare);

  const run::TWorkList& list_;
  TResultsModel& results_;
  run::TRunSummary summary_;
  std::optional<run::TSummaryFilter> filter_;
  std::vector<run::TSummaryFilter> barFilters_;  // from the top; none for "Other"
  QStringList barLabels_;
  bool dirty_ = false;
  bool grown_ = false;  // the window has grown once for the docked panel

  QLabel* counts_ = nullptr;
  QLabel* filterText_ = nullptr;
  QChart* chart_ = nullptr;
  QBarSet* barSet_ = nullptr;  // the chart's bars, none while it has none
  QValueAxis* countsAxis_ = nullptr;  // their scale
  QChartView* chartView_ = nullptr;
  QTreeWidget* table_ = nullptr;
  QPushButton* clear_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* copy_ = nullptr;
  QTimer* refresh_ = nullptr;
  QMenu* viewMenu_ = nullptr;
  QFileDialog* saveDialog_ = nullptr;
};

}  // namespace ui
