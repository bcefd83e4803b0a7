#!/usr/bin/env python3
"""quillory-cli show against Python's email package, an independent MIME decoder.

For each message below, the decoded header lines, the text body and the saved attachments (name
and bytes) that `quillory-cli show` gives must be what Python's email package reads from the same
bytes. Usage: compare_with_python.py PATH-TO-quillory-cli
"""

import email
import email.policy
import os
import subprocess
import sys
import tempfile

CRLF = "\r\n"


def msg(*lines, body=""):
    return (CRLF.join(lines) + CRLF + CRLF + body).encode("latin-1")


MESSAGES = {
    "encoded-words": msg(
        "From: =?koi8-r?B?8NLJ18XU?= <p@example.ru>",
        "To: =?iso-8859-1?Q?J=F6rg_M=FCller?= <j@example.de>",
        "Cc: =?windows-1251?B?z/Do4uXy?= <c@example.ru>",
        "Subject: =?utf-8?B?Y2Fmw6kg4piV?= and =?ISO-8859-1?Q?Gr=FC=DFe?=",
        "Date: Tue, 2 Jan 2001 10:00:00 +0100",
        "MIME-Version: 1.0",
        "Content-Type: text/plain; charset=iso-8859-1",
        "Content-Transfer-Encoding: quoted-printable",
        body="Gr=FC=DFe, a soft =\r\nbreak and an equals sign =3D.\r\nSecond line.\r\n"),
    "folded-subject": msg(
        "From: a@example.org",
        "Subject: =?utf-8?q?first_part?=",
        " =?utf-8?q?_second_part?= plain tail",
        "Date: Wed, 3 Jan 2001 10:00:00 +0100",
        body="body\r\n"),
    "alternative": msg(
        "From: a@example.org",
        "Subject: alternative",
        "Content-Type: multipart/alternative; boundary=\"alt\"",
        body="--alt\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
             "UGxhaW4gY2Fmw6kK\r\n"
             "--alt\r\nContent-Type: text/html; charset=windows-1251\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
             "<p>=CF=F0=E8=E2=E5=F2</p>\r\n--alt--\r\n"),
    "attachments": msg(
        "From: a@example.org",
        "Subject: files",
        "Content-Type: multipart/mixed; boundary=\"mix\"",
        body="--mix\r\nContent-Type: text/plain; charset=koi8-r\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
             "\xf0\xd2\xc9\xd7\xc5\xd4\r\n"
             "--mix\r\nContent-Type: application/octet-stream\r\n"
             "Content-Disposition: attachment; filename*=utf-8''na%C3%AFve%20plan.bin\r\n"
             "Content-Transfer-Encoding: base64\r\n\r\nAAECAwT/\r\n"
             "--mix\r\nContent-Type: text/plain; charset=iso-8859-1\r\n"
             "Content-Disposition: attachment; filename*0*=iso-8859-1''Gr%FC%DFe;\r\n filename*1=\".txt\"\r\n"
             "Content-Transfer-Encoding: quoted-printable\r\n\r\nline one=\r\n continues=0D=0Aline two\r\n"
             "--mix\r\nContent-Type: image/png; name=\"=?utf-8?q?bild_=C3=BC.png?=\"\r\n"
             "Content-Disposition: inline\r\nContent-ID: <img1@example.org>\r\nContent-Transfer-Encoding: base64\r\n\r\n"
             "iVBORw0KGgo=\r\n--mix--\r\n"),
}


def normal(text):
    return text.replace("\r\n", "\n").replace("\r", "\n").rstrip("\n")


def expected_of(raw, want_html):
    m = email.message_from_bytes(raw, policy=email.policy.default)
    headers = []
    for label in ("From", "To", "Cc", "Date", "Subject"):
        if label == "Cc" and m[label] is None:
            continue
        value = m[label]
        if label == "Date" and value is not None:
            # The default policy rewrites dates in its own form; the line as written is wanted.
            value = email.message_from_bytes(raw)[label].strip()
        headers.append("%s: %s" % (label, "" if value is None else str(value)))
    order = ("html", "plain") if want_html else ("plain", "html")
    body_part = m.get_body(preferencelist=order)
    body = normal(body_part.get_content()) if body_part is not None else ""
    files = {}
    for part in m.walk():
        if part.is_multipart() or part is body_part:
            continue
        if want_html is False and part.get_content_type() == "text/html" and part.get_filename() is None:
            continue
        if part.get_content_type() in ("text/plain", "text/html") and part.get_filename() is None \
                and part.get_content_disposition() != "attachment":
            continue
        files[part.get_filename()] = part.get_payload(decode=True)
    return headers, body, files


def run_show(cli, path, extra):
    result = subprocess.run([cli, "show", path] + extra, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8", "replace")


def main():
    cli = sys.argv[1]
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        for name, raw in MESSAGES.items():
            path = os.path.join(tmp, name + ".eml")
            with open(path, "wb") as f:
                f.write(raw)
            for want_html in (False, True):
                status, out, err = run_show(cli, path, ["--html"] if want_html else [])
                headers, body, _ = expected_of(raw, want_html)
                has_html = email.message_from_bytes(raw, policy=email.policy.default).get_body(("html",)) is not None
                if status != (0 if has_html or not want_html else 1):
                    print("FAIL %s: exit status %d, stderr %r" % (name, status, err))
                    failures += 1
                got_headers, _, got_body = out.partition("\n\n")
                if got_headers.split("\n") != headers:
                    print("FAIL %s: headers\n  ours   %r\n  python %r" % (name, got_headers.split("\n"), headers))
                    failures += 1
                if normal(got_body) != body:
                    print("FAIL %s (html %s): body\n  ours   %r\n  python %r" % (name, want_html, normal(got_body), body))
                    failures += 1
            outdir = os.path.join(tmp, name + "-files")
            status, out, err = run_show(cli, path, ["--attachments", outdir])
            _, _, files = expected_of(raw, False)
            saved = {}
            if os.path.isdir(outdir):
                for entry in os.listdir(outdir):
                    with open(os.path.join(outdir, entry), "rb") as f:
                        saved[entry] = f.read()
            if saved != files:
                print("FAIL %s: attachments\n  ours   %r\n  python %r" % (name, saved, files))
                failures += 1
            for entry in saved:
                if os.path.join(outdir, entry) + "\n" not in out:
                    print("FAIL %s: %s not printed" % (name, entry))
                    failures += 1
    total = len(MESSAGES)
    print("%d passed, %d failed" % (total - min(failures, total), min(failures, total)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
