#!/usr/bin/python3
"""Reads the list's export files with standard readers and prints what they
found as JSON (ASCII only), so the tests can compare it with the list.

  list_exports.py csv FILE DELIM     rows of csv.reader
  list_exports.py html FILE          table rows: cells with attributes, text, tags
  list_exports.py xml FILE           root tag, records as lists of (tag, text)
  list_exports.py docx FILE          tables: cell texts and paragraph alignments
  list_exports.py xlsx FILE          active sheet: title, dimensions, values
  list_exports.py rows FILE          a big .docx table or .xlsx sheet: row count, widest
                                     row, first and last row, the longest cell text, and
                                     every row when there are at most 5,000
  list_exports.py dims FILE          an .xlsx file's sheets and the active one's size, as
                                     the file states them (read without its cells)
  list_exports.py inlinexlsx FILE     writes a hand-made workbook (inline strings)
  list_exports.py writexlsx FILE SPEC   writes a workbook with openpyxl (SPEC: a JSON file)
"""
import json
import sys


def out(obj):
    print(json.dumps(obj, ensure_ascii=True))


def read_csv(path, delim):
    import csv
    with open(path, newline='', encoding='cp1252') as f:
        raw = f.read()
    # The file's own line ends must be CR LF; csv.reader would hide that.
    lines_ok = all(part.endswith('\r') for part in raw.split('\n')[:-1]) and raw.endswith('\r\n')
    import io
    rows = list(csv.reader(io.StringIO(raw, newline=''), delimiter=delim))
    out({'rows': rows, 'crlf': lines_ok})


def read_html(path):
    from html.parser import HTMLParser

    class P(HTMLParser):
        def __init__(self):
            super().__init__(convert_charrefs=True)
            self.tables = 0
            self.table_attrs = {}
            self.rows = []
            self.cell = None
            self.before_table = ''
            self.after_table = ''
            self.state = 'before'

        def handle_starttag(self, tag, attrs):
            if tag == 'table':
                self.tables += 1
                self.table_attrs = dict(attrs)
                self.state = 'in'
            elif tag == 'tr':
                self.rows.append([])
            elif tag == 'td':
                self.cell = {'attrs': dict((k, v if v is not None else '') for k, v in attrs),
                             'text': '', 'tags': []}
            elif self.cell is not None:
                self.cell['tags'].append(tag + ''.join(' %s=%s' % (k, v) for k, v in attrs))

        def handle_endtag(self, tag):
            if tag == 'td' and self.cell is not None:
                self.rows[-1].append(self.cell)
                self.cell = None
            elif tag == 'table':
                self.state = 'after'

        def handle_data(self, data):
            if self.cell is not None:
                self.cell['text'] += data
            elif self.state == 'before':
                self.before_table += data
            elif self.state == 'after':
                self.after_table += data

    with open(path, encoding='cp1252', newline='') as f:
        raw = f.read()
    p = P()
    p.feed(raw)
    p.close()
    out({'tables': p.tables, 'table': p.table_attrs, 'rows': p.rows,
         'before': p.before_table.strip(), 'after': p.after_table.strip()})


def read_xml(path):
    import xml.etree.ElementTree as ET
    root = ET.parse(path).getroot()
    out({'root': root.tag,
         'records': [[root_child.tag] + [[f.tag, f.text or ''] for f in root_child] for root_child in root]})


def read_docx(path):
    import docx
    d = docx.Document(path)
    tables = []
    for t in d.tables:
        rows = []
        for r in t.rows:
            cells = []
            for c in r.cells:
                al = [None if p.alignment is None else int(p.alignment) for p in c.paragraphs]
                cells.append({'text': c.text, 'alignment': al})
            rows.append(cells)
        tables.append({'rows': len(t.rows), 'cols': len(t.columns), 'cells': rows})
    out({'tables': tables, 'paragraphs': [p.text for p in d.paragraphs]})


def read_xlsx(path):
    import openpyxl
    wb = openpyxl.load_workbook(path)
    ws = wb.active
    values = [[c.value for c in row] for row in ws.iter_rows()]
    types = [[c.data_type for c in row] for row in ws.iter_rows()]
    formats = [[c.number_format for c in row] for row in ws.iter_rows()]
    out({'title': ws.title, 'sheets': wb.sheetnames, 'dimensions': ws.dimensions,
         'values': values, 'types': types, 'formats': formats})


def read_rows(path):
    """Rows of the first table of a .docx or of the active sheet of an
    .xlsx, read the way that stays quick for a hundred thousand rows."""
    if path.endswith('.docx'):
        import docx
        from docx.table import _Cell
        d = docx.Document(path)
        t = d.tables[0]
        rows = [[_Cell(tc, t).text for tc in tr.tc_lst] for tr in t._tbl.tr_lst]
    else:
        import openpyxl
        wb = openpyxl.load_workbook(path, read_only=True)
        rows = [['' if v is None else str(v) for v in r] for r in wb.active.iter_rows(values_only=True)]
    out({'rows': len(rows), 'cols': max((len(r) for r in rows), default=0),
         'first': rows[0] if rows else [], 'last': rows[-1] if rows else [],
         'longest': max((len(c) for r in rows for c in r), default=0),
         'all': rows if len(rows) <= 5000 else None})


def read_dims(path):
    import openpyxl
    wb = openpyxl.load_workbook(path, read_only=True)
    ws = wb.active
    out({'sheets': wb.sheetnames, 'title': ws.title, 'dimensions': ws.calculate_dimension(),
         'max_row': ws.max_row, 'max_column': ws.max_column})


def write_xlsx(path, layout):
    """layout: {"sheets": [{"title": t, "cells": {"B3": value, ...}}], "active": i}"""
    import openpyxl
    with open(layout, encoding='utf-8') as f:
        s = json.load(f)
    wb = openpyxl.Workbook()
    first = True
    for sh in s['sheets']:
        ws = wb.active if first else wb.create_sheet()
        first = False
        ws.title = sh['title']
        for ref, v in sh['cells'].items():
            ws[ref] = v
    wb.active = s.get('active', 0)
    wb.save(path)
    out({'ok': True})


def write_inline_xlsx(path):
    """A workbook written by hand as other producers do: inline strings, a
    rich shared string, a number, an error and a cell without reference."""
    import zipfile
    ns = 'http://schemas.openxmlformats.org/spreadsheetml/2006/main'
    rel = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships'
    files = {
        '[Content_Types].xml':
            '<?xml version="1.0" encoding="UTF-8"?>'
            '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            '<Default Extension="xml" ContentType="application/xml"/>'
            '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
            '<Override PartName="/xl/worksheets/data.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
            '<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
            '</Types>',
        '_rels/.rels':
            '<?xml version="1.0" encoding="UTF-8"?>'
            '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>'
            '</Relationships>',
        'xl/workbook.xml':
            '<?xml version="1.0" encoding="UTF-8"?>'
            '<workbook xmlns="%s" xmlns:r="%s"><sheets>'
            '<sheet name="Data" sheetId="1" r:id="rId7"/></sheets></workbook>' % (ns, rel),
        'xl/_rels/workbook.xml.rels':
            '<?xml version="1.0" encoding="UTF-8"?>'
            '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            '<Relationship Id="rId7" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/data.xml"/>'
            '<Relationship Id="rId8" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>'
            '</Relationships>',
        'xl/sharedStrings.xml':
            '<?xml version="1.0" encoding="UTF-8"?>'
            '<sst xmlns="%s" count="1" uniqueCount="1"><si><r><t>Ri</t></r><r><rPr><b/></rPr><t>ch</t></r>'
            '<rPh sb="0" eb="1"><t>IGNORED</t></rPh></si></sst>' % ns,
        'xl/worksheets/data.xml':
            '<?xml version="1.0" encoding="UTF-8"?>'
            '<worksheet xmlns="%s"><sheetData>'
            '<row r="1"><c r="A1" t="inlineStr"><is><t>0099</t></is></c><c r="B1" t="s"><v>0</v></c>'
            '<c t="inlineStr"><is><t xml:space="preserve"> naïve </t></is></c></row>'
            '<row r="2"><c r="A2"><v>3.25</v></c><c r="B2" t="e"><v>#N/A</v></c>'
            '<c r="C2" t="str"><f>A1&amp;"x"</f><v>0099x</v></c></row>'
            '</sheetData></worksheet>' % ns,
    }
    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as z:
        for name, text in files.items():
            z.writestr(name, text.encode('utf-8'))
    out({'ok': True})


def main():
    cmd = sys.argv[1]
    if cmd == 'csv':
        delim = sys.argv[3] if len(sys.argv) > 3 else ','
        read_csv(sys.argv[2], '\t' if delim == 'tab' else delim)
    elif cmd == 'html':
        read_html(sys.argv[2])
    elif cmd == 'xml':
        read_xml(sys.argv[2])
    elif cmd == 'docx':
        read_docx(sys.argv[2])
    elif cmd == 'xlsx':
        read_xlsx(sys.argv[2])
    elif cmd == 'rows':
        read_rows(sys.argv[2])
    elif cmd == 'dims':
        read_dims(sys.argv[2])
    elif cmd == 'inlinexlsx':
        write_inline_xlsx(sys.argv[2])
    elif cmd == 'writexlsx':
        write_xlsx(sys.argv[2], sys.argv[3])
    else:
        sys.exit(2)


if __name__ == '__main__':
    main()
