#include "export/xlsx_writer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <xlsxwriter.h>
#include <cctype>
#include <zlib.h>

#include "export/export_writer.h"
#include "export/summary_sheet.h"

namespace exports {

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

quint32 Le32(const QByteArray& data, qsizetype at) {
  const auto* p = reinterpret_cast<const unsigned char*>(data.constData() + at);
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<quint32>(p[3]) << 24);
}
quint16 Le16(const QByteArray& data, qsizetype at) {
  const auto* p = reinterpret_cast<const unsigned char*>(data.constData() + at);
  return static_cast<quint16>(p[0] | (p[1] << 8));
}

// Whether an XML document's last tag closes the element its first one opens.
bool EndsWithRootEndTag(const QByteArray& xml) {
  qsizetype at = 0;
  for (;;) {
    at = xml.indexOf('<', at);
    if (at < 0 || at + 1 >= xml.size()) return false;
    if (xml.at(at + 1) != '?' && xml.at(at + 1) != '!') break;
    ++at;
  }
  qsizetype nameEnd = at + 1;
  while (nameEnd < xml.size() && !QChar::isSpace(static_cast<uchar>(xml.at(nameEnd))) && xml.at(nameEnd) != '>' &&
         xml.at(nameEnd) != '/')
    ++nameEnd;
  const QByteArray root = xml.mid(at + 1, nameEnd - at - 1);
  const QByteArray text = xml.trimmed();
  if (text.endsWith("</" + root + ">")) return true;
  // A root element that is empty: <name ... />
  return text.endsWith("/>") && text.indexOf('<', at + 1) < 0;
}

// The library does not see failed writes of its own temporary files nor of
// the package (a full disk gives a cut-off file and no error), so the
// package is read back before it may replace the target: every member must
// inflate to its recorded size and checksum, and every XML member must end
// with the end tag of its root element (writes that fail leave the rest of a
// member out). Returns an empty text when the package is whole.
QString PackageProblem(const QByteArray& zip) {
  const QString incomplete = QStringLiteral("the workbook came out incomplete (is the disk full?)");
  // The package ends with the end-of-central-directory record, no comment.
  constexpr qsizetype kEndSize = 22;
  const qsizetype end = zip.size() - kEndSize;
  if (end < 0 || Le32(zip, end) != 0x06054b50) return incomplete;
  const quint16 members = Le16(zip, end + 10);
  const qsizetype directorySize = Le32(zip, end + 12);
  qsizetype entry = Le32(zip, end + 16);
  if (entry + directorySize != end) return incomplete;
  for (quint16 m = 0; m < members; ++m) {
    if (entry + 46 > end || Le32(zip, entry) != 0x02014b50) return incomplete;
    const quint16 method = Le16(zip, entry + 10);
    const quint32 crc = Le32(zip, entry + 16);
    const qsizetype packedSize = Le32(zip, entry + 20);
    const qsizetype size = Le32(zip, entry + 24);
    const quint16 nameLength = Le16(zip, entry + 28);
    const qsizetype local = Le32(zip, entry + 42);
    const QByteArray name = zip.mid(entry + 46, nameLength);
    entry += 46 + nameLength + Le16(zip, entry + 30) + Le16(zip, entry + 32);
    if (local + 30 > end || Le32(zip, local) != 0x04034b50) return incomplete;
    const qsizetype data = local + 30 + Le16(zip, local + 26) + Le16(zip, local + 28);
    if (data + packedSize > end) return incomplete;
    QByteArray content(size, Qt::Uninitialized);
    if (method == 0) {
      if (packedSize != size) return incomplete;
      content = zip.mid(data, size);
    } else if (method == Z_DEFLATED) {
      z_stream stream{};
      if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return QStringLiteral("out of memory");
      stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.constData() + data));
      stream.avail_in = static_cast<uInt>(packedSize);
      stream.next_out = reinterpret_cast<Bytef*>(content.data());
      stream.avail_out = static_cast<uInt>(size);
      const int result = inflate(&stream, Z_FINISH);
      const bool whole = result == Z_STREAM_END && stream.total_out == static_cast<uLong>(size);
      inflateEnd(&stream);
      if (!whole) return incomplete;
    } else {
      return incomplete;
    }
    if (crc32(0L, reinterpret_cast<const Bytef*>(content.constData()), static_cast<uInt>(content.size())) != crc)
      return incomplete;
    if ((name.endsWith(".xml") || name.endsWith(".rels")) && !EndsWithRootEndTag(content)) return incomplete;
  }
  return QString();
}

// The whole content of a file the library wrote; the reason when it cannot
// be read back.
QString ReadBack(const QByteArray& path, QByteArray& bytes) {
  QFile file(QFile::decodeName(path));
  if (!file.open(QIODevice::ReadOnly)) return file.errorString();
  bytes = file.readAll();
  return file.error() != QFileDevice::NoError ? file.errorString() : QString();
}

// The workbook into a temporary file beside the target, which replaces the
// target once the library has closed it and the package reads back whole.
// The library goes back to earlier places of its file as it writes, which a
// target written in place (a pipe, a device) does not allow: such a target
// gets the workbook from a scratch file in the temporary folder instead.
void WriteThroughTarget(const TSheetCells& cells, const QString& fileName, const run::TRunSummary* summary) {
  services::TAtomicFileTarget target(fileName);
  QTemporaryFile scratch(QDir::tempPath() + QStringLiteral("/lumasift-XXXXXX.xlsx"));
  QByteArray path = target.TempPath();
  if (target.InPlace()) {
    if (!scratch.open())
      throw TExportError(
          QStringLiteral("Cannot write \"%1\": %2").arg(QDir::toNativeSeparators(fileName), scratch.errorString()));
    scratch.close();
    path = QFile::encodeName(scratch.fileName());
  }
  TWorkbook workbook(path.constData());
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
        const QByteArray utf8 = ProtectEscapeLookalikes(row[c]).toUtf8();
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
  if (summary != nullptr) {
    const lxw_error error = AddSummarySheet(workbook.get(), *summary);
    if (error != LXW_NO_ERROR) Fail(fileName, error);
  }

  const lxw_error error = workbook.Close();
  if (error != LXW_NO_ERROR) Fail(fileName, error);
  QByteArray package;
  QString problem = ReadBack(path, package);
  if (problem.isEmpty()) problem = PackageProblem(package);
  if (!problem.isEmpty())
    throw TExportError(QStringLiteral("Cannot write \"%1\": %2").arg(QDir::toNativeSeparators(fileName), problem));
  if (target.InPlace()) target.Write(package);
  target.Commit();
}

}  // namespace

QString ProtectEscapeLookalikes(const QString& text) {
  const auto isHex = [](QChar c) { return isxdigit(c.unicode() < 128 ? c.unicode() : 0) != 0; };
  QString result;
  qsizetype copied = 0;
  for (qsizetype i = text.indexOf(QLatin1String("_x")); i >= 0 && i + 6 < text.size();
       i = text.indexOf(QLatin1String("_x"), i + 1)) {
    if (!isHex(text.at(i + 2)) || !isHex(text.at(i + 3)) || !isHex(text.at(i + 4)) || !isHex(text.at(i + 5)) ||
        text.at(i + 6) != QLatin1Char('_'))
      continue;
    result += QStringView(text).mid(copied, i - copied);
    result += QLatin1String("_x005F");
    copied = i;
  }
  if (copied == 0 && result.isEmpty()) return text;
  result += QStringView(text).mid(copied);
  return result;
}

void WriteXlsxWorkbook(const TSheetCells& cells, const QString& fileName, const run::TRunSummary* summary) {
  CheckSheetLimits(cells, LXW_ROW_MAX, LXW_COL_MAX, QStringLiteral("A workbook"));
  WriteAsExport([&] { WriteThroughTarget(cells, fileName, summary); });
}

}  // namespace exports
