#include "ui/xlsx_writer.h"

#include <QDir>
#include <xlsxwriter.h>

#include "ui/atomic_file.h"
#include "ui/export_writer.h"

namespace ui {

namespace {

[[noreturn]] void Fail(const QString& fileName, lxw_error error) {
  throw TExportError(QStringLiteral("Cannot write \"%1\": %2")
                         .arg(QDir::toNativeSeparators(fileName), QString::fromUtf8(lxw_strerror(error))));
}

// Owns the workbook until it is closed; closing is the only way the library
// offers to release it, so an abandoned workbook is closed too (into the
// temporary file, which is then removed).
class TWorkbook {
 public:
  explicit TWorkbook(const char* path) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_FALSE;
    options.use_zip64 = LXW_FALSE;
    workbook_ = workbook_new_opt(path, &options);
  }
  ~TWorkbook() {
    if (workbook_) workbook_close(workbook_);
  }
  TWorkbook(const TWorkbook&) = delete;
  TWorkbook& operator=(const TWorkbook&) = delete;
  lxw_workbook* get() const { return workbook_; }
  lxw_error Close() {
    lxw_workbook* workbook = workbook_;
    workbook_ = nullptr;
    return workbook_close(workbook);
  }

 private:
  lxw_workbook* workbook_ = nullptr;
};

}  // namespace

void WriteXlsxWorkbook(const TSheetCells& cells, const QString& fileName) {
  CheckSheetLimits(cells, LXW_ROW_MAX, LXW_COL_MAX, QStringLiteral("A workbook"));
  TAtomicFileTarget target(fileName);
  TWorkbook workbook(target.TempPath().constData());
  if (!workbook.get()) Fail(fileName, LXW_ERROR_MEMORY_MALLOC_FAILED);
  lxw_worksheet* sheet = workbook_add_worksheet(workbook.get(), nullptr);
  lxw_format* text = workbook_add_format(workbook.get());
  if (!sheet || !text) Fail(fileName, LXW_ERROR_MEMORY_MALLOC_FAILED);
  // Text format ("@") on every cell: the cell stays text also when the user
  // edits it in a spreadsheet program.
  format_set_num_format(text, "@");

  for (std::size_t r = 0; r < cells.rows.size(); ++r) {
    const auto& row = cells.rows[r];
    for (std::size_t c = 0; c < row.size(); ++c) {
      const auto rowIndex = static_cast<lxw_row_t>(r);
      const auto columnIndex = static_cast<lxw_col_t>(c);
      lxw_error error;
      if (row[c].isEmpty()) {
        error = worksheet_write_blank(sheet, rowIndex, columnIndex, text);
      } else {
        // Always a string cell, never a formula: "=..." is kept as text.
        const QByteArray utf8 = row[c].toUtf8();
        error = worksheet_write_string(sheet, rowIndex, columnIndex, utf8.constData(), text);
      }
      if (error != LXW_NO_ERROR) Fail(fileName, error);
    }
  }
  if (cells.widenedColumns > 0) {
    const lxw_error error = worksheet_set_column(sheet, 0, static_cast<lxw_col_t>(cells.widenedColumns - 1),
                                                 kWidenedColumnChars, nullptr);
    if (error != LXW_NO_ERROR) Fail(fileName, error);
  }
  worksheet_set_selection(sheet, 0, 0, 0, 0);
  worksheet_activate(sheet);

  const lxw_error error = workbook.Close();
  if (error != LXW_NO_ERROR) Fail(fileName, error);
  target.Commit();
}

}  // namespace ui
