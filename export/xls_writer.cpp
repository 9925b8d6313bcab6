#include "export/xls_writer.h"

#include <QDir>
#include <QHash>
#include <algorithm>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>
#include <mutex>

#include "export/export_writer.h"

namespace exports {

namespace {

// The limits of the format.
constexpr long long kMaxRows = 65536;
constexpr int kMaxColumns = 256;
// The most data bytes one record carries; longer data continues in CONTINUE
// records.
constexpr int kMaxRecordData = 8224;

// Record types.
enum : quint16 {
  kBof = 0x0809,
  kEof = 0x000A,
  kInterfaceHdr = 0x00E1,
  kMms = 0x00C1,
  kInterfaceEnd = 0x00E2,
  kCodePage = 0x0042,
  kDsf = 0x0161,
  kTabId = 0x013D,
  kFnGroupCount = 0x009C,
  kWindowProtect = 0x0019,
  kProtect = 0x0012,
  kPassword = 0x0013,
  kProt4Rev = 0x01AF,
  kProt4RevPass = 0x01BC,
  kBackup = 0x0040,
  kHideObj = 0x008D,
  kWindow1 = 0x003D,
  kDateMode = 0x0022,
  kPrecision = 0x000E,
  kRefreshAll = 0x01B7,
  kBookBool = 0x00DA,
  kFont = 0x0031,
  kXf = 0x00E0,
  kStyle = 0x0293,
  kUsesElfs = 0x0160,
  kBoundSheet = 0x0085,
  kCountry = 0x008C,
  kSst = 0x00FC,
  kContinue = 0x003C,
  kExtSst = 0x00FF,
  kDefColWidth = 0x0055,
  kColInfo = 0x007D,
  kDimensions = 0x0200,
  kRow = 0x0208,
  kLabelSst = 0x00FD,
  kBlank = 0x0201,
  kWindow2 = 0x023E,
  kSelection = 0x001D,
};

// Substream kinds of BOF.
constexpr quint16 kBofGlobals = 0x0005;
constexpr quint16 kBofWorksheet = 0x0010;

// Extended formats: 0..14 the style XFs every workbook has, 15 the default
// cell XF, 16 the cells' XF with the built-in text format "@" (number 49).
constexpr quint16 kStyleXfCount = 15;
constexpr quint16 kDefaultCellXf = 15;
constexpr quint16 kTextCellXf = 16;
constexpr quint16 kTextFormat = 49;

// Code page 1200: strings are Latin-1 ("compressed") or UTF-16LE.
constexpr quint16 kCodePageUtf16 = 1200;

class TBiffStream {
 public:
  qsizetype Pos() const { return bytes_.size(); }
  QByteArray Take() { return std::move(bytes_); }

  void U8(quint8 v) { bytes_.append(static_cast<char>(v)); }
  void U16(quint16 v) {
    const char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
    bytes_.append(b, 2);
  }
  void U32(quint32 v) {
    U16(static_cast<quint16>(v & 0xFFFF));
    U16(static_cast<quint16>(v >> 16));
  }
  void PatchU16(qsizetype at, quint16 v) {
    bytes_[at] = static_cast<char>(v & 0xFF);
    bytes_[at + 1] = static_cast<char>(v >> 8);
  }
  void PatchU32(qsizetype at, quint32 v) {
    PatchU16(at, static_cast<quint16>(v & 0xFFFF));
    PatchU16(at + 2, static_cast<quint16>(v >> 16));
  }
  // Characters of a string, 8-bit when every one is below 256.
  void Chars(const QChar* chars, qsizetype count, bool compressed) {
    if (compressed) {
      for (qsizetype i = 0; i < count; ++i) U8(static_cast<quint8>(chars[i].unicode()));
    } else {
      for (qsizetype i = 0; i < count; ++i) U16(chars[i].unicode());
    }
  }
  // A short string (sheet and font names): 8-bit length, flags, characters.
  void ShortString(const QString& text) {
    const bool compressed = IsCompressible(text);
    U8(static_cast<quint8>(text.size()));
    U8(compressed ? 0 : 1);
    Chars(text.constData(), text.size(), compressed);
  }

  // A record is begun, filled and ended; ending writes its length.
  void Begin(quint16 type) {
    U16(type);
    recordStart_ = Pos();
    U16(0);
  }
  void End() { PatchU16(recordStart_, static_cast<quint16>(Pos() - recordStart_ - 2)); }
  qsizetype RecordStart() const { return recordStart_ - 2; }
  int RecordSpace() const { return kMaxRecordData - static_cast<int>(Pos() - recordStart_ - 2); }

  void Empty(quint16 type) {
    Begin(type);
    End();
  }
  void Word(quint16 type, quint16 value) {
    Begin(type);
    U16(value);
    End();
  }

  static bool IsCompressible(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x100; });
  }

 private:
  QByteArray bytes_;
  qsizetype recordStart_ = 0;
};

// The shared strings: each distinct text once, in order of first use, and
// the string index of every non-blank cell in row-major order.
struct TStringTable {
  std::vector<QString> unique;
  std::vector<quint32> cellIndexes;
};

TStringTable CollectStrings(const TSheetCells& cells) {
  TStringTable table;
  QHash<QString, quint32> indexOf;
  for (const auto& row : cells.rows) {
    for (const QString& cell : row) {
      if (cell.isEmpty()) continue;
      const QString text = WellFormedUtf16(cell);
      auto it = indexOf.constFind(text);
      if (it == indexOf.constEnd()) {
        it = indexOf.insert(text, static_cast<quint32>(table.unique.size()));
        table.unique.push_back(text);
      }
      table.cellIndexes.push_back(it.value());
    }
  }
  return table;
}

void WriteBof(TBiffStream& s, quint16 kind) {
  s.Begin(kBof);
  s.U16(0x0600);  // BIFF8
  s.U16(kind);
  s.U16(0x0DBB);  // build identifier
  s.U16(0x07CC);  // build year
  s.U32(0);       // file history flags
  s.U32(0x0006);  // lowest version that can read the file: BIFF8
  s.End();
}

void WriteFont(TBiffStream& s) {
  s.Begin(kFont);
  s.U16(200);     // 10 points, in twentieths
  s.U16(0);       // no italic, strike-out...
  s.U16(0x7FFF);  // automatic colour
  s.U16(400);     // normal weight
  s.U16(0);       // no super- or subscript
  s.U8(0);        // no underline
  s.U8(0);        // family
  s.U8(0);        // character set
  s.U8(0);
  s.ShortString(QStringLiteral("Arial"));
  s.End();
}

void WriteXf(TBiffStream& s, quint16 format, bool style, quint8 usedAttributes) {
  s.Begin(kXf);
  s.U16(0);  // font 0
  s.U16(format);
  // Style XFs: locked, "style", no parent (0xFFF). Cell XFs: locked, parent
  // style 0.
  s.U16(style ? 0xFFF5 : 0x0001);
  s.U8(0x20);  // general alignment, bottom, no wrap
  s.U8(0);     // no rotation
  s.U8(0);     // no indent, no shrink
  // Style XFs: a set bit means that group is not part of the style. Cell
  // XFs: a set bit means the XF's own value replaces the style's.
  s.U8(usedAttributes);
  s.U32(0);       // no borders
  s.U32(0);       // no fill
  s.U16(0x20C0);  // pattern colours: system foreground and background
  s.End();
}

// The shared string table. Every string keeps its 3-byte header and its
// first character in one record; a string that goes on in a CONTINUE record
// goes on after an option byte that says how its characters are stored, and
// a character (or a surrogate pair) is never cut. Returns the positions the
// EXTSST record needs: one per bucket of `perBucket` strings, as (stream
// position, offset within its record).
std::vector<std::pair<quint32, quint16>> WriteSst(TBiffStream& s, const TStringTable& table, quint32 perBucket) {
  std::vector<std::pair<quint32, quint16>> buckets;
  s.Begin(kSst);
  s.U32(static_cast<quint32>(table.cellIndexes.size()));
  s.U32(static_cast<quint32>(table.unique.size()));
  for (std::size_t k = 0; k < table.unique.size(); ++k) {
    const QString& text = table.unique[k];
    const bool compressed = TBiffStream::IsCompressible(text);
    const quint8 flags = compressed ? 0 : 1;
    const int unit = compressed ? 1 : 2;
    const qsizetype count = text.size();
    int firstChar = 0;
    if (count > 0) firstChar = text.at(0).isHighSurrogate() ? 2 * unit : unit;
    if (s.RecordSpace() < 3 + firstChar) {
      s.End();
      s.Begin(kContinue);
    }
    if (k % perBucket == 0)
      buckets.emplace_back(static_cast<quint32>(s.Pos()), static_cast<quint16>(s.Pos() - s.RecordStart()));
    s.U16(static_cast<quint16>(count));
    s.U8(flags);
    qsizetype written = 0;
    while (written < count) {
      qsizetype take = std::min<qsizetype>(s.RecordSpace() / unit, count - written);
      if (take > 0 && take < count - written && text.at(written + take - 1).isHighSurrogate()) --take;
      if (take == 0) {
        s.End();
        s.Begin(kContinue);
        s.U8(flags);
        continue;
      }
      s.Chars(text.constData() + written, take, compressed);
      written += take;
    }
  }
  s.End();
  return buckets;
}

void WriteExtSst(TBiffStream& s, quint16 perBucket, const std::vector<std::pair<quint32, quint16>>& buckets) {
  s.Begin(kExtSst);
  s.U16(perBucket);
  for (const auto& [position, offset] : buckets) {
    s.U32(position);
    s.U16(offset);
    s.U16(0);
  }
  s.End();
}

void WriteGlobals(TBiffStream& s, const TStringTable& table, qsizetype* sheetOffsetAt) {
  WriteBof(s, kBofGlobals);
  s.Word(kInterfaceHdr, kCodePageUtf16);
  s.Word(kMms, 0);
  s.Empty(kInterfaceEnd);
  s.Word(kCodePage, kCodePageUtf16);
  s.Word(kDsf, 0);
  s.Word(kTabId, 1);
  s.Word(kFnGroupCount, 14);
  s.Word(kWindowProtect, 0);
  s.Word(kProtect, 0);
  s.Word(kPassword, 0);
  s.Word(kProt4Rev, 0);
  s.Word(kProt4RevPass, 0);
  s.Word(kBackup, 0);
  s.Word(kHideObj, 0);

  s.Begin(kWindow1);
  s.U16(0x0168);  // window position and size, in twips
  s.U16(0x001E);
  s.U16(0x3A5C);
  s.U16(0x23BE);
  s.U16(0x0038);  // scroll bars and sheet tabs shown
  s.U16(0);       // active sheet
  s.U16(0);       // first visible tab
  s.U16(1);       // selected sheets
  s.U16(0x0258);  // tab bar width ratio
  s.End();

  s.Word(kDateMode, 0);
  s.Word(kPrecision, 1);
  s.Word(kRefreshAll, 0);
  s.Word(kBookBool, 0);
  // Four fonts: index 4 does not exist in this format, so 0..3 are written
  // as the usual default set.
  for (int i = 0; i < 4; ++i) WriteFont(s);
  WriteXf(s, 0, true, 0x00);
  for (quint16 i = 1; i < kStyleXfCount; ++i) WriteXf(s, 0, true, 0xF4);
  WriteXf(s, 0, false, 0x00);            // kDefaultCellXf
  WriteXf(s, kTextFormat, false, 0x04);  // kTextCellXf: own number format
  s.Begin(kStyle);
  s.U16(0x8000);  // built-in style of XF 0: "Normal"
  s.U8(0);
  s.U8(0xFF);
  s.End();
  s.Word(kUsesElfs, 1);

  s.Begin(kBoundSheet);
  *sheetOffsetAt = s.Pos();
  s.U32(0);  // the sheet's BOF position, patched once it is known
  s.U8(0);   // visible
  s.U8(0);   // worksheet
  s.ShortString(QStringLiteral("Sheet1"));
  s.End();

  s.Begin(kCountry);
  s.U16(1);
  s.U16(1);
  s.End();

  const auto perBucket =
      static_cast<quint16>(std::max<std::size_t>(8, table.unique.size() / 128 + 1));
  WriteExtSst(s, perBucket, WriteSst(s, table, perBucket));
  s.Empty(kEof);
}

void WriteSheet(TBiffStream& s, const TSheetCells& cells, const TStringTable& table) {
  WriteBof(s, kBofWorksheet);
  s.Word(kDefColWidth, 8);
  if (cells.widenedColumns > 0) {
    s.Begin(kColInfo);
    s.U16(0);
    s.U16(static_cast<quint16>(cells.widenedColumns - 1));
    s.U16(kWidenedColumnChars * 256);  // in 1/256 of a character
    s.U16(kDefaultCellXf);
    s.U16(0);  // shown, no outline
    s.U16(0);
    s.End();
  }

  // The used range: first row with cells .. last one + 1, columns 0 .. widest + 1.
  quint32 firstRow = 0;
  quint32 endRow = 0;
  quint16 endColumn = 0;
  bool any = false;
  for (std::size_t r = 0; r < cells.rows.size(); ++r) {
    if (cells.rows[r].empty()) continue;
    if (!any) firstRow = static_cast<quint32>(r);
    any = true;
    endRow = static_cast<quint32>(r + 1);
    endColumn = std::max(endColumn, static_cast<quint16>(cells.rows[r].size()));
  }
  s.Begin(kDimensions);
  s.U32(firstRow);
  s.U32(endRow);
  s.U16(0);
  s.U16(endColumn);
  s.U16(0);
  s.End();

  // Rows in blocks of 32: the ROW records of the block, then its cells.
  std::size_t nextString = 0;
  constexpr std::size_t kBlock = 32;
  for (std::size_t blockStart = 0; blockStart < cells.rows.size(); blockStart += kBlock) {
    const std::size_t blockEnd = std::min(cells.rows.size(), blockStart + kBlock);
    for (std::size_t r = blockStart; r < blockEnd; ++r) {
      const auto& row = cells.rows[r];
      if (row.empty()) continue;
      s.Begin(kRow);
      s.U16(static_cast<quint16>(r));
      s.U16(0);
      s.U16(static_cast<quint16>(row.size()));
      s.U16(0x00FF);  // default height, 12.75 points
      s.U16(0);
      s.U16(0);
      s.U32(0x000F0100);
      s.End();
    }
    for (std::size_t r = blockStart; r < blockEnd; ++r) {
      const auto& row = cells.rows[r];
      for (std::size_t c = 0; c < row.size(); ++c) {
        if (row[c].isEmpty()) {
          // An empty piece: a blank cell, formatted as text all the same.
          s.Begin(kBlank);
          s.U16(static_cast<quint16>(r));
          s.U16(static_cast<quint16>(c));
          s.U16(kTextCellXf);
          s.End();
          continue;
        }
        s.Begin(kLabelSst);
        s.U16(static_cast<quint16>(r));
        s.U16(static_cast<quint16>(c));
        s.U16(kTextCellXf);
        s.U32(table.cellIndexes[nextString++]);
        s.End();
      }
    }
  }

  s.Begin(kWindow2);
  s.U16(0x06B6);  // grid, headers, zeros, outline symbols shown; sheet selected and active
  s.U16(0);       // top row
  s.U16(0);       // left column
  s.U16(64);      // automatic grid colour
  s.U16(0);
  s.U16(0);  // page-break preview zoom: default
  s.U16(0);  // normal view zoom: default
  s.U32(0);
  s.End();

  // Cell A1 active and selected, in the only pane.
  s.Begin(kSelection);
  s.U8(3);
  s.U16(0);
  s.U16(0);
  s.U16(0);
  s.U16(1);
  s.U16(0);
  s.U16(0);
  s.U8(0);
  s.U8(0);
  s.End();
  s.Empty(kEof);
}

QString GsfReason(GsfOutput* output) {
  const GError* error = gsf_output_error(output);
  return error && error->message ? QString::fromUtf8(error->message) : QStringLiteral("write error");
}

// Drops a GObject reference when it goes out of scope.
template <typename T>
struct TGObjectRef {
  T* object = nullptr;
  explicit TGObjectRef(T* o) : object(o) {}
  ~TGObjectRef() {
    if (object) g_object_unref(object);
  }
  TGObjectRef(const TGObjectRef&) = delete;
  TGObjectRef& operator=(const TGObjectRef&) = delete;
};

}  // namespace

QByteArray BuildXlsWorkbookStream(const TSheetCells& cells) {
  CheckSheetLimits(cells, kMaxRows, kMaxColumns,
                   QStringLiteral("An Excel 97-2003 workbook (.xls)"));
  const TStringTable table = CollectStrings(cells);
  TBiffStream s;
  qsizetype sheetOffsetAt = 0;
  WriteGlobals(s, table, &sheetOffsetAt);
  s.PatchU32(sheetOffsetAt, static_cast<quint32>(s.Pos()));
  WriteSheet(s, cells, table);
  return s.Take();
}

void WriteXlsWorkbook(const TSheetCells& cells, const QString& fileName) {
  const QByteArray stream = BuildXlsWorkbookStream(cells);
  static std::once_flag gsfReady;
  std::call_once(gsfReady, [] { gsf_init(); });

  const auto fail = [&fileName](const QString& reason) {
    throw TExportError(
        QStringLiteral("Cannot write \"%1\": %2").arg(QDir::toNativeSeparators(fileName), reason));
  };
  // The compound file is built in memory and then written atomically.
  TGObjectRef<GsfOutput> memory(gsf_output_memory_new());
  QByteArray file;
  {
    TGObjectRef<GsfOutfile> container(gsf_outfile_msole_new(memory.object));
    if (!container.object) fail(QStringLiteral("cannot create the compound file"));
    TGObjectRef<GsfOutput> workbook(gsf_outfile_new_child(container.object, "Workbook", FALSE));
    if (!workbook.object) fail(GsfReason(GSF_OUTPUT(container.object)));
    if (!gsf_output_write(workbook.object, static_cast<size_t>(stream.size()),
                          reinterpret_cast<const guint8*>(stream.constData())))
      fail(GsfReason(workbook.object));
    if (!gsf_output_close(workbook.object)) fail(GsfReason(workbook.object));
    if (!gsf_output_close(GSF_OUTPUT(container.object))) fail(GsfReason(GSF_OUTPUT(container.object)));
  }
  const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory.object));
  const gsf_off_t size = gsf_output_size(memory.object);
  if (!bytes || size <= 0) fail(QStringLiteral("the compound file is empty"));
  file = QByteArray(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));
  WriteAsExport([&] { services::WriteFileAtomically(fileName, file); });
}

}  // namespace exports
