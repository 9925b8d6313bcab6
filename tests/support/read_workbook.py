#!/usr/bin/env python3
"""Reads the first sheet of a workbook with an independent reader (xlrd for
Excel 97-2003 files, openpyxl for Office Open XML) and prints it as JSON:

{"reader": "xlrd" | "openpyxl", "sheets": n,
 "rows": [[{"value": text-or-null, "type": "text" | "blank" | "number" |
            "formula" | "other", "format": number-format}, ...], ...],
 "widths": {"<column from 0>": width in characters, ...},
 "selected": [row, column], "sheet_selected": bool,
 "sst_continues": CONTINUE records after the string table (xlrd only)}
"""
import json
import struct
import sys


def read_xls(path):
    import xlrd
    from xlrd import compdoc

    book = xlrd.open_workbook(path, formatting_info=True, ragged_rows=True)
    sheet = book.sheet_by_index(0)
    type_names = {xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_BLANK: "blank",
                  xlrd.XL_CELL_EMPTY: "blank", xlrd.XL_CELL_NUMBER: "number"}
    rows = []
    for r in range(sheet.nrows):
        row = []
        for c in range(sheet.row_len(r)):
            cell = sheet.cell(r, c)
            xf = book.xf_list[cell.xf_index]
            row.append({
                "value": cell.value if cell.ctype == xlrd.XL_CELL_TEXT else None,
                "type": type_names.get(cell.ctype, "other"),
                "format": book.format_map[xf.format_key].format_str,
            })
        rows.append(row)
    widths = {str(c): info.width / 256.0 for c, info in sheet.colinfo_map.items()}

    # xlrd does not read the SELECTION record: walk the records of the
    # "Workbook" stream for it and for the CONTINUE records after the SST.
    with open(path, "rb") as f:
        stream = compdoc.CompDoc(f.read()).get_named_stream("Workbook")
    selected = None
    continues = 0
    after_sst = False
    in_sheet = False
    pos = 0
    while pos + 4 <= len(stream):
        kind, size = struct.unpack_from("<HH", stream, pos)
        body = stream[pos + 4:pos + 4 + size]
        if kind == 0x00FC:
            after_sst = True
        elif kind == 0x003C and after_sst:
            continues += 1
        else:
            after_sst = False
        if kind == 0x0809 and struct.unpack_from("<H", body, 2)[0] == 0x0010:
            in_sheet = True
        if kind == 0x001D and in_sheet and selected is None:
            row, col = struct.unpack_from("<HH", body, 1)
            selected = [row, col]
        pos += 4 + size
    return {"reader": "xlrd", "sheets": book.nsheets, "rows": rows, "widths": widths,
            "selected": selected, "sheet_selected": bool(sheet.sheet_selected),
            "sst_continues": continues}


def read_xlsx(path):
    import openpyxl
    from openpyxl.utils.cell import coordinate_from_string, column_index_from_string

    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[0]
    cells = sheet._cells  # every cell the file holds, blank ones included
    rows = []
    for (r, c), cell in sorted(cells.items()):
        while len(rows) < r:
            rows.append([])
        row = rows[r - 1]
        while len(row) < c:
            row.append(None)
        if cell.value is None:
            kind = "blank"
        elif cell.data_type == "s":
            kind = "text"
        elif cell.data_type == "f":
            kind = "formula"
        elif cell.data_type == "n":
            kind = "number"
        else:
            kind = "other"
        row[c - 1] = {"value": cell.value if kind == "text" else None, "type": kind,
                      "format": cell.number_format}
    widths = {}
    for dim in sheet.column_dimensions.values():
        if dim.customWidth and dim.min:
            for c in range(dim.min, dim.max + 1):
                widths[str(c - 1)] = dim.width
    view = sheet.sheet_view
    active = view.selection[0].activeCell if view.selection and view.selection[0].activeCell else "A1"
    letters, number = coordinate_from_string(active)
    return {"reader": "openpyxl", "sheets": len(book.worksheets), "rows": rows,
            "widths": widths, "selected": [number - 1, column_index_from_string(letters) - 1],
            "sheet_selected": bool(view.tabSelected), "sst_continues": 0}


def main():
    path = sys.argv[1]
    with open(path, "rb") as f:
        magic = f.read(4)
    result = read_xlsx(path) if magic == b"PK\x03\x04" else read_xls(path)
    json.dump(result, sys.stdout, ensure_ascii=True)


if __name__ == "__main__":
    main()
