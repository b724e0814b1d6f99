#!/usr/bin/python3
"""Mail messages written by Python's email package, for the message-receiving tests.

Usage: mime_messages.py NAME; the message (header, empty line, body; CR LF line
ends) goes to standard output as bytes.
  qp      one text/plain part in quoted-printable, a long line and Latin-1 letters
  mixed   multipart/mixed: a quoted-printable text, a nested multipart/alternative
          (plain and HTML), a base64 attachment and a text attachment whose file
          name is an encoded word
"""
import email.header
import email.policy
import sys
from email.mime.application import MIMEApplication
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText

QP_TEXT = ('Gr\u00fc\u00dfe aus M\u00fcnchen = Munich\n'
           + 'a long line ' * 10 + 'end\n'
           + '.a line that begins with a dot\n'
           + 'trailing blank \n')
ATTACHMENT = bytes((i * 7 + 3) % 256 for i in range(1000))
ENCODED_NAME = 'B\u00e4nde \u00fcber Musik.txt'


def qp_text(text, subtype='plain'):
    # Latin-1 bodies go out quoted-printable
    return MIMEText(text, subtype, 'iso-8859-1')


def message(name):
    if name == 'qp':
        msg = qp_text(QP_TEXT)
    elif name == 'mixed':
        msg = MIMEMultipart('mixed', boundary='outer-boundary')
        msg.attach(qp_text(QP_TEXT))
        alt = MIMEMultipart('alternative', boundary='inner-boundary')
        alt.attach(qp_text('plain version\n'))
        alt.attach(qp_text('<p>HTML version</p>\n', 'html'))
        msg.attach(alt)
        data = MIMEApplication(ATTACHMENT, 'octet-stream')
        data.add_header('Content-Disposition', 'attachment', filename='tracks.bin')
        msg.attach(data)
        named = MIMEText('inside the file\n', 'plain', 'us-ascii')
        encoded = email.header.Header(ENCODED_NAME, 'iso-8859-1').encode()
        named.add_header('Content-Disposition', 'attachment', filename=encoded)
        msg.attach(named)
    else:
        raise SystemExit('unknown message ' + name)
    msg['From'] = 'sender@example.com'
    msg['To'] = 'receiver@example.com'
    msg['Subject'] = 'test ' + name
    return msg.as_bytes(policy=email.policy.compat32.clone(linesep='\r\n'))


if __name__ == '__main__':
    sys.stdout.buffer.write(message(sys.argv[1]))
