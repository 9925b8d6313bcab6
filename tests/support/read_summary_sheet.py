#!/usr/bin/env python3
"""Reads the "Summary" sheet of an Office Open XML workbook with openpyxl and
prints it as JSON:

{"sheets": [sheet names in order],
 "rows": [[cell value (text, number or null), ...], ...],
 "formats": {"<row>,<column>": number format of a number cell, ...},
 "charts": [{"type": "barChart" | ..., "direction": "bar" | "col",
             "series": [{"categories": reference, "values": reference}],
             "categories_reversed": bool, "values_reversed": bool}]}
"""
import json
import sys

import openpyxl


def main():
    book = openpyxl.load_workbook(sys.argv[1])
    result = {"sheets": book.sheetnames, "rows": [], "formats": {}, "charts": []}
    if "Summary" in book.sheetnames:
        sheet = book["Summary"]
        for r, row in enumerate(sheet.iter_rows()):
            result["rows"].append([cell.value for cell in row])
            for c, cell in enumerate(row):
                if isinstance(cell.value, (int, float)):
                    result["formats"]["%d,%d" % (r, c)] = cell.number_format
        for chart in sheet._charts:
            series = []
            for s in chart.series:
                categories = s.cat.strRef.f if s.cat is not None and s.cat.strRef is not None else None
                if categories is None and s.cat is not None and s.cat.numRef is not None:
                    categories = s.cat.numRef.f
                series.append({"categories": categories, "values": s.val.numRef.f})
            result["charts"].append({"type": chart.tagname, "direction": getattr(chart, "barDir", None),
                                     "series": series,
                                     "categories_reversed": chart.x_axis.scaling.orientation == "maxMin",
                                     "values_reversed": chart.y_axis.scaling.orientation == "maxMin"})
    json.dump(result, sys.stdout)


if __name__ == "__main__":
    main()
