#!/usr/bin/env bash
# An export read back by readers that are not ours, every message compared byte for byte with what
# extract writes for it: mblaze's mdeliver -M (splits the mbox and undoes the mboxrd quoting into a
# Maildir), procmail's formail -s (splits it; the quoting is undone here with sed), and notmuch,
# which indexes the Maildir export and counts its messages. formail ends a header it does not see
# end (one whose lines end in CR LF) with an LF line of its own, so it is held to the bytes of the
# LF messages only; mdeliver to all of them.
#
#   readers.sh QUILLORY_CLI QUILLORY_DBXGEN
set -euo pipefail
cli="$(realpath "$1")"
gen="$(realpath "$2")"
for tool in mdeliver formail notmuch; do
  if ! command -v "$tool" > /dev/null; then
    echo "readers.sh: $tool is missing; scripts/install-deps.sh installs it" >&2
    exit 1
  fi
done
work="$(mktemp -d /tmp/quillory-readers-XXXXXX)"
trap 'rm -rf "$work"' EXIT
cd "$work"
export LC_ALL=C

fail() { echo "readers.sh: $*" >&2; exit 1; }

printf 'Return-Path: <ann@example.org>\r\nFrom: Ann <ann@example.org>\r\nDate: Tue, 7 Mar 2006 09:05:00 +0100\r\nSubject: separators\r\n\r\nFrom the start of a line\r\n>From a quoted one\r\n>>From deeper\r\nFrom: no header\r\n' > m1.eml
printf 'From: bo@example.net\nSubject: no final line end\n\nlast line without its end' > m2.eml
printf 'Subject: no date and no sender\n\nFrom nobody\n' > m3.eml
printf 'From: c@example.com\nDate: 1 Jan 2001 00:30 +0200\nSubject: 8-bit\n\nGr\374\337e aus K\366ln \377\n' > m4.eml
"$gen" F.dbx --block 40 --message m1.eml --message m2.eml --message m3.eml --message m4.eml
"$cli" extract F.dbx ex > /dev/null
cmp ex/Msg00001.eml m1.eml || fail "extract did not give the stored message back"
"$cli" export F.dbx mbox > /dev/null
"$cli" export F.dbx maildir --format maildir > /dev/null

# What a reader of the mbox gets for message i: the extracted file, a line end added when it has
# none at its end, and the empty line that ends every message in the mbox.
expected() {
  local file="ex/Msg0000$1.eml"
  cat "$file"
  [ -z "$(tail -c 1 "$file")" ] || printf '\n'
  printf '\n'
}

mkdir -p md/cur md/new md/tmp
mdeliver -M -v md < mbox/F.mbox > delivered
[ "$(wc -l < delivered)" -eq 4 ] || fail "mdeliver found $(wc -l < delivered) messages, not 4"
i=0
while read -r file; do
  i=$((i + 1))
  expected "$i" > want
  cmp want "$file" || fail "mdeliver gave message $i back changed"
done < delivered

formail -s sh -c 'cat > "part.$FILENO"' < mbox/F.mbox
[ "$(ls part.* | wc -l)" -eq 4 ] || fail "formail found $(ls part.* | wc -l) messages, not 4"
i=0
for part in $(ls part.* | sort -t. -k2 -n); do
  i=$((i + 1))
  head -n 1 "$part" | grep -q '^From [^ ]* ... ... .. ..:..:.. ....$' || fail "message $i has no separator line"
  [ "$i" -eq 1 ] && continue  # the CR LF one
  tail -n +2 "$part" | sed -e 's/^>\(>*From \)/\1/' > got
  expected "$i" > want
  cmp want got || fail "formail gave message $i back changed"
done
separators="$(for part in $(ls part.* | sort -t. -k2 -n); do head -n 1 "$part"; done)"
[ "$separators" = "From ann@example.org Tue Mar  7 08:05:00 2006
From bo@example.net Thu Jan  1 00:00:00 1970
From MAILER-DAEMON Thu Jan  1 00:00:00 1970
From c@example.com Sun Dec 31 22:30:00 2000" ] || fail "separator lines: $separators"

i=0
for file in $(ls maildir/F/cur | sort -t Q -k 2 -n); do
  i=$((i + 1))
  cmp "ex/Msg0000$i.eml" "maildir/F/cur/$file" || fail "Maildir message $i differs"
done
[ "$i" -eq 4 ] || fail "the Maildir holds $i messages, not 4"
printf '[database]\npath=%s\n[new]\ntags=unread\n[maildir]\nsynchronize_flags=false\n' "$work/maildir" > notmuch-config
export NOTMUCH_CONFIG="$work/notmuch-config"
notmuch new --quiet
[ "$(notmuch count '*')" -eq 4 ] || fail "notmuch counted $(notmuch count '*') messages, not 4"
[ "$(notmuch count 'subject:8-bit')" -eq 1 ] || fail "notmuch did not find the 8-bit message"
echo "readers.sh: mdeliver, formail and notmuch read every message back unchanged"
