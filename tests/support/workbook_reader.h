#pragma once
// Shared by the export and command-line tests: reading a workbook back with an independent
// reader (tests/support/read_workbook.py, which uses python3-xlrd and
// python3-openpyxl) and small file helpers.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <map>
#include <vector>

namespace export_test {

struct TReadCell {
  QString value;   // the text; empty for a blank cell
  QString type;    // "text", "blank", "number", "formula", "other"
  QString format;  // the cell's number format
};

struct TReadSheet {
  bool ok = false;
  QString reader;
  int sheets = 0;
  std::vector<std::vector<TReadCell>> rows;
  std::map<int, double> widths;  // column from 0 -> width in characters
  int selectedRow = -1;
  int selectedColumn = -1;
  bool sheetSelected = false;
  int sstContinues = 0;

  // The texts of the cells, row by row (blank cells as empty texts).
  std::vector<std::vector<QString>> Values() const {
    std::vector<std::vector<QString>> values;
    for (const auto& row : rows) {
      values.emplace_back();
      for (const auto& cell : row) values.back().push_back(cell.value);
    }
    return values;
  }
};

inline QString SourceDir() {
  const QByteArray fromEnvironment = qgetenv("LUMASIFT_SOURCE_DIR");
  if (!fromEnvironment.isEmpty()) return QString::fromLocal8Bit(fromEnvironment);
  // Run outside CTest: this header sits in <source>/tests/support.
  return QFileInfo(QStringLiteral(__FILE__)).absoluteDir().absoluteFilePath(QStringLiteral("../.."));
}

// Debian's own interpreter holds the Debian reader packages; another python3
// found first on PATH may not.
inline QString Python() {
  return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                               : QStringLiteral("python3");
}

inline TReadSheet ReadWorkbook(const QString& path) {
  TReadSheet sheet;
  QProcess process;
  process.start(Python(), {SourceDir() + QStringLiteral("/tests/support/read_workbook.py"), path});
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
      process.exitCode() != 0) {
    ADD_FAILURE() << "the reader failed on " << path.toStdString() << ": "
                  << process.readAllStandardError().toStdString() << process.errorString().toStdString();
    return sheet;
  }
  QJsonParseError error;
  const QJsonObject json = QJsonDocument::fromJson(process.readAllStandardOutput(), &error).object();
  if (error.error != QJsonParseError::NoError) {
    ADD_FAILURE() << "unreadable reader output: " << error.errorString().toStdString();
    return sheet;
  }
  sheet.ok = true;
  sheet.reader = json.value(QStringLiteral("reader")).toString();
  sheet.sheets = json.value(QStringLiteral("sheets")).toInt();
  for (const QJsonValue& row : json.value(QStringLiteral("rows")).toArray()) {
    sheet.rows.emplace_back();
    for (const QJsonValue& cell : row.toArray()) {
      const QJsonObject object = cell.toObject();
      sheet.rows.back().push_back({object.value(QStringLiteral("value")).toString(),
                                   cell.isNull() ? QStringLiteral("missing")
                                                 : object.value(QStringLiteral("type")).toString(),
                                   object.value(QStringLiteral("format")).toString()});
    }
  }
  const QJsonObject widths = json.value(QStringLiteral("widths")).toObject();
  for (auto it = widths.begin(); it != widths.end(); ++it) sheet.widths[it.key().toInt()] = it.value().toDouble();
  const QJsonArray selected = json.value(QStringLiteral("selected")).toArray();
  if (selected.size() == 2) {
    sheet.selectedRow = selected.at(0).toInt();
    sheet.selectedColumn = selected.at(1).toInt();
  }
  sheet.sheetSelected = json.value(QStringLiteral("sheet_selected")).toBool();
  sheet.sstContinues = json.value(QStringLiteral("sst_continues")).toInt();
  return sheet;
}

// The "Summary" sheet of an XLSX workbook and its charts, as
// tests/support/read_summary_sheet.py prints them (openpyxl); an empty object
// when the reader fails.
inline QJsonObject ReadSummarySheet(const QString& path) {
  QProcess process;
  process.start(Python(), {SourceDir() + QStringLiteral("/tests/support/read_summary_sheet.py"), path});
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    ADD_FAILURE() << "the reader failed on " << path.toStdString() << ": "
                  << process.readAllStandardError().toStdString();
    return {};
  }
  return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

inline QByteArray ReadAll(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

inline void WriteAll(const QString& path, const QByteArray& data) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_EQ(file.write(data), data.size());
}

// Every entry of a folder, hidden ones included: shows leftover temporary files.
inline QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                QDir::Name);
}

}  // namespace export_test
