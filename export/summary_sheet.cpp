#include "export/summary_sheet.h"

#include <QByteArray>
#include <QStringList>
#include <algorithm>

#include "export/sheet_cells.h"
#include "run/printable_text.h"

namespace exports {

namespace {

// The first error of a sequence of library calls.
class TErrors {
 public:
  void operator()(lxw_error error) {
    if (first_ == LXW_NO_ERROR) first_ = error;
  }
  lxw_error First() const { return first_; }

 private:
  lxw_error first_ = LXW_NO_ERROR;
};

QByteArray CellText(const QString& text) {
  return ProtectEscapeLookalikes(WellFormedUtf16(text.left(kMaxCellChars))).toUtf8();
}

}  // namespace

lxw_error AddSummarySheet(lxw_workbook* workbook, const run::TRunSummary& summary) {
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Summary");
  lxw_format* bold = workbook_add_format(workbook);
  lxw_format* percent = workbook_add_format(workbook);
  if (!sheet || !bold || !percent) return LXW_ERROR_MEMORY_MALLOC_FAILED;
  format_set_bold(bold);
  format_set_num_format(percent, "0.0%");
  TErrors check;
  const auto text = [&](int row, int column, const QString& value, lxw_format* format = nullptr) {
    check(worksheet_write_string(sheet, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(column),
                                 CellText(value).constData(), format));
  };
  const auto number = [&](int row, int column, double value, lxw_format* format = nullptr) {
    check(worksheet_write_number(sheet, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(column), value, format));
  };

  const std::pair<const char*, qint64> counts[] = {
      {"URLs", summary.Urls()},         {"Answered", summary.Answered()}, {"With a platform", summary.Identified()},
      {"Without a platform", summary.NoPlatform()}, {"Failed", summary.Failed()}, {"Not done", summary.NotDone()},
  };
  int row = 0;
  for (const auto& [label, count] : counts) {
    text(row, 0, QString::fromLatin1(label), row == 0 ? bold : nullptr);
    number(row, 1, static_cast<double>(count), row == 0 ? bold : nullptr);
    ++row;
  }

  row = kSummaryPlatformHeaderRow;
  const QStringList header = {QStringLiteral("Platform"), QStringLiteral("Sites"), QStringLiteral("Share"),
                              QStringLiteral("Versions")};
  for (int c = 0; c < header.size(); ++c) text(row, c, header[c], bold);
  const auto platforms = summary.Platforms();
  for (const auto& platform : platforms) {
    ++row;
    text(row, 0, platform.name);
    number(row, 1, static_cast<double>(platform.sites));
    number(row, 2, platform.share, percent);
    QStringList versions;
    for (const auto& v : platform.versions) versions << QStringLiteral("%1: %2").arg(v.version).arg(v.sites);
    if (!platform.versions.empty() && platform.unversioned > 0)
      versions << QStringLiteral("no version: %1").arg(platform.unversioned);
    if (!versions.isEmpty()) text(row, 3, versions.join(QStringLiteral(", ")));
  }

  row += 2;
  text(row, 0, QStringLiteral("Error"), bold);
  text(row, 1, QStringLiteral("Sites"), bold);
  for (const auto& error : summary.Errors()) {
    ++row;
    text(row, 0, error.error);
    number(row, 1, static_cast<double>(error.sites));
  }

  check(worksheet_set_column(sheet, 0, 0, 40, nullptr));
  check(worksheet_set_column(sheet, 1, 2, 10, nullptr));
  check(worksheet_set_column(sheet, 3, 3, 40, nullptr));

  if (!platforms.empty()) {
    const int shown = std::min<int>(kSummaryChartPlatforms, static_cast<int>(platforms.size()));
    // Rows are 1-based in references; the table's first row follows its header.
    const int first = kSummaryPlatformHeaderRow + 2, last = kSummaryPlatformHeaderRow + 1 + shown;
    const QByteArray categories = QStringLiteral("=Summary!$A$%1:$A$%2").arg(first).arg(last).toLatin1();
    const QByteArray values = QStringLiteral("=Summary!$B$%1:$B$%2").arg(first).arg(last).toLatin1();
    lxw_chart* chart = workbook_add_chart(workbook, LXW_CHART_BAR);
    if (!chart) return LXW_ERROR_MEMORY_MALLOC_FAILED;
    lxw_chart_series* series = chart_add_series(chart, categories.constData(), values.constData());
    if (!series) return LXW_ERROR_MEMORY_MALLOC_FAILED;
    // The library copies the category names into the chart as they are, without
    // the _xHHHH_ escape the cells get: one control character (a site's header
    // may bring it) would make the package unreadable. Such a chart keeps only
    // its reference to the table, from which spreadsheet programs read the names.
    for (int i = 0; i < shown; ++i) {
      const QString& name = platforms[static_cast<std::size_t>(i)].name;
      if (std::any_of(name.begin(), name.end(), [](QChar c) { return run::IsControlCharacter(c.unicode()); }))
        series->categories->ignore_cache = 1;
    }
    chart_series_set_name(series, "=Summary!$B$8");
    chart_series_set_labels(series);
    chart_title_set_name(chart, shown < static_cast<int>(platforms.size()) ? "Sites per platform (the 20 most)"
                                                                            : "Sites per platform");
    chart_legend_set_position(chart, LXW_CHART_LEGEND_NONE);
    // The most sites at the top, as in the table. In a bar chart the library's
    // y axis is the one of the categories (drawn upright).
    chart_axis_set_reverse(chart->y_axis);
    lxw_chart_options options{};
    options.x_offset = 10;
    options.y_offset = 0;
    options.x_scale = 1.5;
    options.y_scale = std::max(1.0, (60.0 + 22.0 * shown) / 288.0);  // 288 points: the default height
    check(worksheet_insert_chart_opt(sheet, 0, 5, chart, &options));
  }
  return check.First();
}

}  // namespace exports
