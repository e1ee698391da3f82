#!/usr/bin/env python3
"""The message catalogues against the sources.

Fails when a Russian string literal in src/ is not marked for translation
(N_("...") or Tr("...")), when a marked text has no translation in a
catalogue (po/<lang>.po for every language in po/LINGUAS), when a catalogue
keeps an entry no source uses any more, and when an English text still holds
Cyrillic. With --write-pot FILE it writes the translators' template instead.

    check_catalogue.py SOURCE_ROOT
    check_catalogue.py --write-pot po/torvo.pot SOURCE_ROOT
"""
import pathlib
import re
import subprocess
import sys
import tempfile

CYRILLIC = re.compile('[\u0400-\u04ff]')
# The window marks its own texts as it goes; its literals are checked once it has.
UNCHECKED_LITERALS = ('src/app/gui/',)
MARKERS = ('N_', 'Tr')
DATABASE = 'data/Torvo27.dat'


def sources(root):
    return sorted(p for p in (root / 'src').rglob('*') if p.suffix in ('.cpp', '.h'))


def literals(text):
    """(offset, literal body) of every string literal outside comments."""
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith('//', i):
            i = text.find('\n', i)
            i = n if i < 0 else i
        elif text.startswith('/*', i):
            i = text.find('*/', i + 2)
            i = n if i < 0 else i + 2
        elif c == "'":
            j = i + 1
            while j < n and text[j] != "'":
                j += 2 if text[j] == '\\' else 1
            i = j + 1
        elif c == 'R' and text.startswith('R"', i) and not (text[i - 1].isalnum() or text[i - 1] == '_'):
            delim = text[i + 2:text.find('(', i)]
            end = text.find(')' + delim + '"', i)
            yield i, text[i + 3 + len(delim):end]
            i = end + len(delim) + 2
        elif c == '"':
            j = i + 1
            while j < n and text[j] != '"':
                j += 2 if text[j] == '\\' else 1
            yield i, text[i + 1:j]
            i = j + 1
        else:
            i += 1


def marked(text, offset):
    """Whether the literal at offset is an argument of N_() or Tr(), maybe after other literals."""
    before = text[:offset].rstrip()
    while before.endswith('"'):  # adjacent literals are one: look before the first
        start = before.rfind('"', 0, len(before) - 1)
        while start > 0 and before[start - 1] == '\\':
            start = before.rfind('"', 0, start - 1)
        before = before[:start].rstrip()
    return before.endswith('(') and any(re.search(r'\b' + m + r'\s*$', before[:-1]) for m in MARKERS)


def unmarked(root):
    faults = []
    for path in sources(root):
        rel = path.relative_to(root).as_posix()
        if rel.startswith(UNCHECKED_LITERALS):
            continue
        text = path.read_text(encoding='utf-8')
        for offset, body in literals(text):
            if CYRILLIC.search(body) and not marked(text, offset):
                line = text.count('\n', 0, offset) + 1
                faults.append(f'{rel}:{line}: Russian text not marked with N_() or Tr(): "{body}"')
    return faults


def database_texts(root):
    """The Russian values of the codec database: the report shows them through Localise()."""
    texts = []
    for line in (root / DATABASE).read_text(encoding='utf-8').splitlines():
        if not line or line[0] in '#@ \t[':
            continue
        for field in line.rstrip('\r').split('\t'):
            if CYRILLIC.search(field) and field not in texts:
                texts.append(field)
    return texts


def quote(text):
    return '"' + text.replace('\\', '\\\\').replace('"', '\\"').replace('\n', '\\n').replace('\t', '\\t') + '"'


def extract(root, output):
    """The marked texts of the sources (xgettext) and then the database's own."""
    files = [p.relative_to(root).as_posix() for p in sources(root)]
    run = subprocess.run(['xgettext', '--from-code=UTF-8', '--language=C++', '--keyword', '--keyword=N_',
                    '--keyword=Tr', '--force-po', '--add-location=file', '--no-wrap', '--package-name=Torvo',
                    '--output=' + str(output)] + files, cwd=root, check=True, stderr=subprocess.PIPE, text=True)
    # The Windows-style line ends of some texts are the program's own: no warning for them.
    for line in run.stderr.splitlines():
        if "'\\r' escape sequence" not in line:
            print(line, file=sys.stderr)
    known = set(entries(output))
    with open(output, 'a', encoding='utf-8') as pot:
        for text in database_texts(root):
            if text not in known:
                pot.write(f'\n#: {DATABASE}\nmsgid {quote(text)}\nmsgstr ""\n')


ESCAPES = {'n': '\n', 't': '\t', 'r': '\r', 'a': '\a', 'b': '\b', 'f': '\f', 'v': '\v'}


def unquote(s):
    return re.sub(r'\\([0-7]{1,3}|.)',
                  lambda m: chr(int(m.group(1), 8)) if m.group(1)[0] in '01234567' else ESCAPES.get(m.group(1), m.group(1)),
                  s)


def entries(path):
    """msgid -> (msgstr, fuzzy, obsolete) of a .po/.pot file (header left out)."""
    result, msgid, msgstr, field, fuzzy, obsolete = {}, None, None, None, False, False

    def close():
        if msgid:
            result[msgid] = (msgstr or '', fuzzy, obsolete)

    for raw in path.read_text(encoding='utf-8').splitlines() + ['']:
        line = raw
        old = line.startswith('#~')
        if old:
            line = line[2:].lstrip()
        if not line.strip():
            close()
            msgid = msgstr = field = None
            fuzzy = obsolete = False
        elif line.startswith('#,') and 'fuzzy' in line:
            fuzzy = True
        elif line.startswith('#'):
            continue
        elif line.startswith('msgid '):
            if msgid is not None:
                close()
                msgstr, fuzzy = None, False
            msgid, field, obsolete = unquote(line[7:-1]), 'id', old
        elif line.startswith('msgstr '):
            msgstr, field = unquote(line[8:-1]), 'str'
        elif line.startswith('"'):
            if field == 'id':
                msgid += unquote(line[1:-1])
            elif field == 'str':
                msgstr += unquote(line[1:-1])
    return result


def main(argv):
    if len(argv) == 4 and argv[1] == '--write-pot':
        extract(pathlib.Path(argv[3]).resolve(), pathlib.Path(argv[2]).resolve())
        return 0
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    root = pathlib.Path(argv[1]).resolve()
    faults = unmarked(root)
    with tempfile.TemporaryDirectory() as tmp:
        pot = pathlib.Path(tmp) / 'torvo.pot'
        extract(root, pot)
        wanted = set(entries(pot))
    languages = [l.strip() for l in (root / 'po' / 'LINGUAS').read_text().splitlines()
                 if l.strip() and not l.startswith('#')]
    for lang in languages:
        catalogue = entries(root / 'po' / f'{lang}.po')
        for msgid in sorted(wanted):
            msgstr, fuzzy, obsolete = catalogue.get(msgid, ('', False, False))
            if not msgstr or fuzzy or obsolete:
                faults.append(f'po/{lang}.po: no {lang} text for "{msgid}"')
        for msgid in sorted(set(catalogue) - wanted):
            faults.append(f'po/{lang}.po: entry no source uses any more: "{msgid}"')
        if lang != 'ru':
            for msgid, (msgstr, _, _) in sorted(catalogue.items()):
                if CYRILLIC.search(msgstr):
                    faults.append(f'po/{lang}.po: Cyrillic in the text for "{msgid}": "{msgstr}"')
    for fault in faults:
        print(fault)
    print(f'{len(wanted)} marked texts; {len(faults)} faults', file=sys.stderr)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
