#!/usr/bin/python3
"""Reference codings for the coder tests, from Python's standard library.

Usage: coder_oracle.py MODE INPUT_FILE; the result goes to standard output as bytes.
"""
import base64
import binascii
import email.header
import email.utils
import quopri
import sys
import unicodedata


def main():
    mode, path = sys.argv[1], sys.argv[2]
    with open(path, 'rb') as f:
        data = f.read()
    out = sys.stdout.buffer
    if mode == 'b64enc':
        out.write(base64.b64encode(data))
    elif mode == 'b64dec':
        out.write(base64.b64decode(data, validate=False))
    elif mode == 'uulines':
        # 45-byte lines with the backquote for zero, as uuencode writes them
        for i in range(0, len(data), 45):
            out.write(binascii.b2a_uu(data[i:i + 45], backtick=True))
    elif mode == 'uudata':
        # the data lines between "begin" and the zero-length line, decoded one by one
        lines = data.replace(b'\r\n', b'\n').split(b'\n')
        start = next(i for i, l in enumerate(lines) if l.startswith(b'begin '))
        for line in lines[start + 1:]:
            if line in (b'`', b''):
                break
            out.write(binascii.a2b_uu(line))
    elif mode == 'qpdec':
        out.write(quopri.decodestring(data))
    elif mode == 'header':
        # every encoded word decoded; Latin-1 text back as bytes
        text = str(email.header.make_header(email.header.decode_header(data.decode('latin-1'))))
        out.write(text.encode('latin-1'))
    elif mode == 'hdrenc':
        # Latin-1 text as encoded words, written by Python
        out.write(email.header.Header(data.decode('latin-1'), 'iso-8859-1').encode().encode('ascii'))
    elif mode == 'addr':
        # one address per line: display name TAB address
        for line in data.decode('latin-1').splitlines():
            name, addr = email.utils.parseaddr(line)
            out.write(('%s\t%s\n' % (name, addr)).encode('latin-1'))
    elif mode == 'sjis2jis':
        out.write(data.decode('shift_jis').encode('iso2022_jp'))
    elif mode == 'jis2sjis':
        out.write(data.decode('iso2022_jp').encode('shift_jis'))
    elif mode == 'kana2jis':
        # half-width katakana (Shift_JIS bytes) made full-width, in ISO-2022-JP
        # (a voiced or semi-voiced mark that joins nothing stays a spacing mark)
        text = unicodedata.normalize('NFKC', data.decode('shift_jis'))
        text = text.replace('\u3099', '\u309b').replace('\u309a', '\u309c')
        out.write(text.encode('iso2022_jp'))
    elif mode == 'sjisall':
        # every two-byte character of Shift_JIS (JIS X 0208): the bytes, one per line
        for lead in list(range(0x81, 0xA0)) + list(range(0xE0, 0xF0)):
            for trail in list(range(0x40, 0x7F)) + list(range(0x80, 0xFD)):
                b = bytes([lead, trail])
                try:
                    ch = b.decode('shift_jis')
                    ch.encode('iso2022_jp')
                except UnicodeError:
                    continue
                out.write(b)
    else:
        sys.exit('unknown mode ' + mode)


main()
