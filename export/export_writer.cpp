#include "export/export_writer.h"

#include <optional>

#include "run/record_lines.h"

#include "export/sheet_cells.h"
#include "export/xls_writer.h"
#include "export/xlsx_writer.h"

namespace exports {

TExportError::TExportError(const QString& message) : std::runtime_error(message.toStdString()) {}

QString TExportError::Message() const { return QString::fromUtf8(what()); }

QChar ListSeparatorFor(const QLocale& locale) {
  return locale.decimalPoint() == QLatin1String(",") ? QLatin1Char(';') : QLatin1Char(',');
}

QChar SystemListSeparator() { return ListSeparatorFor(QLocale::system()); }

QStringList SpreadsheetExportLines(const run::TWorkList& list, QChar separator) {
  QStringList lines;
  lines.reserve(static_cast<qsizetype>(list.size()));
  for (const run::TMyRecord& record : list) lines.append(record.FURL + separator + record.FPlatform);
  return lines;
}

void WriteUtf8LinesFile(const QString& fileName, const QStringList& lines) {
  qsizetype size = 3;
  for (const QString& line : lines) size += line.size() + 2;
  QByteArray data;
  data.reserve(size + size / 4);
  data.append("\xEF\xBB\xBF", 3);
  for (const QString& line : lines) {
    data.append(line.toUtf8());
    data.append("\r\n", 2);
  }
  WriteAsExport([&] { services::WriteFileAtomically(fileName, data); });
}

QStringList SplitSpreadsheetLine(const QString& line, QChar separator) {
  QStringList pieces;
  const qsizetype length = line.size();
  if (length == 0) return pieces;
  qsizetype i = 0;
  // Takes the plain text from i up to the next separator as one piece and
  // steps past that separator; false at the end of the line.
  const auto takePlain = [&]() {
    const qsizetype end = line.indexOf(separator, i);
    if (end < 0) {
      pieces.append(line.mid(i));
      return false;
    }
    pieces.append(line.mid(i, end - i));
    i = end + 1;
    if (i == length) {  // a separator at the very end: an empty last piece
      pieces.append(QString());
      return false;
    }
    return true;
  };
  for (;;) {
    if (line.at(i) != QLatin1Char('"')) {
      if (!takePlain()) return pieces;
      continue;
    }
    QString text;
    bool closed = false;
    for (++i; i < length; ++i) {
      if (line.at(i) == QLatin1Char('"')) {
        if (i + 1 < length && line.at(i + 1) == QLatin1Char('"')) {
          text.append(QLatin1Char('"'));
          ++i;
          continue;
        }
        ++i;
        closed = true;
        break;
      }
      text.append(line.at(i));
    }
    pieces.append(text);
    if (!closed || i == length) return pieces;
    if (line.at(i) == separator) {
      ++i;
      if (i == length) {
        pieces.append(QString());
        return pieces;
      }
      continue;
    }
    // Text after the closing quote, up to the next separator.
    if (!takePlain()) return pieces;
  }
}

namespace {

QString TrimControls(const QString& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text.at(begin).unicode() <= 32) ++begin;
  while (end > begin && text.at(end - 1).unicode() <= 32) --end;
  if (begin == 0 && end == text.size()) return text;
  return text.mid(begin, end - begin);
}

}  // namespace

QString WellFormedUtf16(const QString& text) {
  QString result;
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = text.at(i);
    bool unpaired = false;
    if (c.isHighSurrogate())
      unpaired = i + 1 >= n || !text.at(i + 1).isLowSurrogate();
    else if (c.isLowSurrogate())
      unpaired = i == 0 || !text.at(i - 1).isHighSurrogate();
    if (unpaired) {
      if (result.isEmpty()) result = text;
      result[i] = QChar(QChar::ReplacementCharacter);
    }
  }
  return result.isEmpty() ? text : result;
}

void CheckSheetLimits(const TSheetCells& cells, long long maxRows, int maxColumns, const QString& formatName) {
  const long long rows = static_cast<long long>(cells.rows.size());
  if (rows > maxRows)
    throw TExportError(QStringLiteral("%1 holds at most %2 rows; this export needs %3.")
                           .arg(formatName)
                           .arg(maxRows)
                           .arg(rows));
  for (std::size_t r = 0; r < cells.rows.size(); ++r) {
    const auto& row = cells.rows[r];
    if (static_cast<long long>(row.size()) > maxColumns)
      throw TExportError(QStringLiteral("%1 holds at most %2 columns; row %3 needs %4.")
                             .arg(formatName)
                             .arg(maxColumns)
                             .arg(r + 1)
                             .arg(row.size()));
    for (std::size_t c = 0; c < row.size(); ++c)
      if (row[c].size() > kMaxCellChars)
        throw TExportError(QStringLiteral("The text for row %1, column %2 has %3 characters; a cell holds at most %4.")
                               .arg(r + 1)
                               .arg(c + 1)
                               .arg(row[c].size())
                               .arg(kMaxCellChars));
  }
}

TWorkbookFormat ResolvedWorkbookFormat(TWorkbookFormat format, const QString& fileName) {
  if (format != TWorkbookFormat::ByName) return format;
  return fileName.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive) ? TWorkbookFormat::Xlsx : TWorkbookFormat::Xls;
}

void WriteSpreadsheet(const QStringList& lines, QChar separator, const QString& fileName, TWorkbookFormat format,
                      const run::TRunSummary* summary) {
  TSheetCells cells;
  cells.rows.reserve(static_cast<std::size_t>(lines.size()));
  int lastCount = 0;
  for (const QString& line : lines) {
    const QStringList pieces = SplitSpreadsheetLine(line, separator);
    std::vector<QString> row;
    row.reserve(static_cast<std::size_t>(pieces.size()));
    for (const QString& piece : pieces) row.push_back(WellFormedUtf16(TrimControls(piece)));
    lastCount = static_cast<int>(pieces.size());
    cells.rows.push_back(std::move(row));
  }
  cells.widenedColumns = lastCount;
  if (ResolvedWorkbookFormat(format, fileName) == TWorkbookFormat::Xlsx)
    WriteXlsxWorkbook(cells, fileName, summary);
  else
    WriteXlsWorkbook(cells, fileName);
}

void ExportToText(const run::TWorkList& list, const QString& fileName) {
  WriteUtf8LinesFile(fileName, run::TextExportLines(list));
}

void ExportToCsv(const run::TWorkList& list, QChar separator, const QString& fileName) {
  WriteUtf8LinesFile(fileName, run::CsvExportLines(list, separator));
}

void ExportToSpreadsheet(const run::TWorkList& list, QChar separator, const QString& fileName,
                         TWorkbookFormat format, const run::TRunSummary* summary) {
  // Only the XLSX workbook has a summary sheet.
  std::optional<run::TRunSummary> own;
  if (summary == nullptr && ResolvedWorkbookFormat(format, fileName) == TWorkbookFormat::Xlsx)
    summary = &own.emplace(run::TRunSummary::Of(list));
  WriteSpreadsheet(SpreadsheetExportLines(list, separator), separator, fileName, format,
                   ResolvedWorkbookFormat(format, fileName) == TWorkbookFormat::Xlsx ? summary : nullptr);
}

}  // namespace exports
