#!/usr/bin/python3
"""Writes small hostile workbooks for the reader's bounds.

  hostile_xlsx.py corners FILE        cells at A1 and XFD1048576 only
  hostile_xlsx.py cellbomb FILE N     one row of N empty cells (a tiny zip)
  hostile_xlsx.py stringbomb FILE N   a shared string of N bytes (a tiny zip)
  hostile_xlsx.py manycells FILE N    N cells of one letter each, 100 a row
  hostile_xlsx.py row FILE R          one cell in row number R (as written)
"""
import sys
import zipfile

NS = 'http://schemas.openxmlformats.org/spreadsheetml/2006/main'
RNS = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships'


def repeated(head, unit, n, tail):
    """Text head + unit * n + tail, as chunks (bombs are never held whole)."""
    yield head
    chunk = unit * 65536
    while n >= 65536:
        yield chunk
        n -= 65536
    yield unit * n + tail


def put(z, name, parts):
    with z.open(name, 'w', force_zip64=True) as f:
        for p in ([parts] if isinstance(parts, str) else parts):
            f.write(p.encode())


def write(path, sheet_body, shared=None):
    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        z.writestr('[Content_Types].xml',
                   '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                   '<Default Extension="xml" ContentType="application/xml"/></Types>')
        z.writestr('xl/workbook.xml',
                   f'<?xml version="1.0"?><workbook xmlns="{NS}" xmlns:r="{RNS}"><sheets>'
                   '<sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>')
        z.writestr('xl/_rels/workbook.xml.rels',
                   '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                   '<Relationship Id="rId1" Type="worksheet" Target="worksheets/sheet1.xml"/></Relationships>')
        if shared is not None:
            put(z, 'xl/sharedStrings.xml', shared)
        head = f'<?xml version="1.0"?><worksheet xmlns="{NS}"><sheetData>'
        tail = '</sheetData></worksheet>'
        if isinstance(sheet_body, str):
            put(z, 'xl/worksheets/sheet1.xml', head + sheet_body + tail)
        else:
            put(z, 'xl/worksheets/sheet1.xml', [head] + list(sheet_body) + [tail])


def main():
    cmd, path = sys.argv[1], sys.argv[2]
    n = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    if cmd == 'corners':
        write(path, '<row r="1"><c r="A1" t="inlineStr"><is><t>first</t></is></c></row>'
                    '<row r="1048576"><c r="XFD1048576" t="inlineStr"><is><t>last</t></is></c></row>')
    elif cmd == 'cellbomb':
        write(path, repeated('<row r="1">', '<c/>', n, '</row>'))
    elif cmd == 'stringbomb':
        write(path, '<row r="1"><c r="A1" t="s"><v>0</v></c></row>',
              repeated(f'<?xml version="1.0"?><sst xmlns="{NS}"><si><t>', 'A', n, '</t></si></sst>'))
    elif cmd == 'manycells':
        row = '<row>' + '<c t="inlineStr"><is><t>x</t></is></c>' * 100 + '</row>'
        write(path, repeated('', row, n // 100, ''))
    elif cmd == 'row':
        write(path, f'<row r="{n}"><c><v>1</v></c></row>')
    else:
        sys.exit(2)


if __name__ == '__main__':
    main()
