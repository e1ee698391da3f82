#!/usr/bin/env python3
"""torvo-cli under several locales and --language, over every sample file.

  english  With an English locale or --language en, nothing a person reads
           (text report, lists, help, errors) holds a Cyrillic letter.
  machine  JSON lines, --fields, --inform and export files are byte for byte
           the same under every locale and --language.
  russian  In the C locale, with no locale at all and with --language ru the
           text report is the program's own Russian, the same in each.

    language_output.py TORVO_CLI DATA_DIR WORK_DIR
"""
import os
import re
import shutil
import subprocess
import sys

CYRILLIC = re.compile('[\u0400-\u04ff]')
SPEED = re.compile(rb'"read_kib_per_s":[0-9]+')
LOCALE_VARIABLES = ('LANGUAGE', 'LC_ALL', 'LC_MESSAGES', 'LANG', 'LC_CTYPE', 'LC_NUMERIC')

# (what, environment, options): the ways a person chooses a language.
ENGLISH = [
    ('LANG=en_US.UTF-8', {'LANG': 'en_US.UTF-8'}, []),
    ('LC_ALL=en_GB.UTF-8 over LANG=ru_RU.UTF-8', {'LANG': 'ru_RU.UTF-8', 'LC_ALL': 'en_GB.UTF-8'}, []),
    ('LANGUAGE=de:en', {'LANG': 'de_DE.UTF-8', 'LANGUAGE': 'de:en'}, []),
    ('--language en under ru_RU.UTF-8', {'LANG': 'ru_RU.UTF-8'}, ['--language', 'en']),
]
RUSSIAN = [
    ('no locale', {}, []),
    ('LANG=C.UTF-8', {'LANG': 'C.UTF-8'}, []),
    ('LANG=C.UTF-8 LANGUAGE=en', {'LANG': 'C.UTF-8', 'LANGUAGE': 'en'}, []),
    ('LANG=ru_RU.UTF-8', {'LANG': 'ru_RU.UTF-8'}, []),
    ('--language ru under en_US.UTF-8', {'LANG': 'en_US.UTF-8'}, ['--language', 'ru']),
]


def samples(data_dir):
    names = []
    for root, dirs, files in os.walk(data_dir):
        dirs.sort()
        names += [os.path.join(root, f) for f in sorted(files) if not f.endswith(('.sh', '.txt', '.md', 'README'))]
    return names


class Runner:
    def __init__(self, cli, work):
        self.cli, self.work = cli, work
        home = os.path.join(work, 'home')
        self.base = {k: v for k, v in os.environ.items() if k not in LOCALE_VARIABLES}
        self.base.update(HOME=home, XDG_CONFIG_HOME=home + '/.config', XDG_CACHE_HOME=home + '/.cache')
        self.base.pop('TORVO_LOCALEDIR', None)

    def run(self, env, args):
        result = subprocess.run([self.cli] + args, capture_output=True, env={**self.base, **env}, check=False,
                                timeout=600)
        return result.returncode, result.stdout, result.stderr


def check_english(runner, names, empty_folder, failures):
    missing = os.path.join(runner.work, 'no-such-file.avi')
    template = os.path.join(runner.work, 'unknown-key.tpl')
    with open(template, 'w', encoding='utf-8') as f:
        f.write('%NO_SUCH_FIELD%\n')
    commands = [
        ('text report', ['--'] + names + [missing, empty_folder]),
        ('full scan', ['--scan', '--'] + [n for n in names if n.endswith(('.avi', '.mpg', '.m2v'))]),
        ('help', ['--help']),
        ('video codecs', ['--video-codecs']),
        ('audio formats', ['--audio-formats']),
        ('formats', ['--formats']),
        ('codecs', ['--codecs']),
        ('wrong option', ['--no-such-option']),
        ('wrong template', ['--inform', 'file://' + template, names[0]]),
        ('missing database', ['--db', os.path.join(runner.work, 'no-such.dat'), names[0]]),
    ]
    for what, env, options in ENGLISH:
        for command, args in commands:
            status, out, err = runner.run(env, options + args)
            text = out.decode('utf-8', 'replace') + err.decode('utf-8', 'replace')
            if not text.strip():
                failures.append(f'english, {what}, {command}: no output at all (status {status})')
            for line in text.splitlines():
                if CYRILLIC.search(line):
                    failures.append(f'english, {what}, {command}: {line.strip()}')
                    break


def check_machine(runner, names, failures):
    template = ('%FILE_NAME_WITH_PATH%\t%CONT_BASETYPE%\t%VIDEO_CODEC_NAME%\t%VIDEO_CODEC_STATUS%\t'
                '%AUDIO_CODEC%\t%AUDIO_CODEC_STATUS%\n')
    outputs = [
        ('json and the table export', lambda d: ['--json', '--export-format', 'table', '--export-mode',
                                                 'append:' + os.path.join(d, 'export.txt')]),
        ('fields and the nfo export', lambda d: ['--fields', '--export-format', 'nfo', '--export-mode',
                                                 'append:' + os.path.join(d, 'export.txt')]),
        ('inform', lambda d: ['--inform', template]),
    ]
    for output, options in outputs:
        first = None
        for index, (what, env, language) in enumerate(RUSSIAN + ENGLISH):
            folder = os.path.join(runner.work, f'machine-{index}')
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
            status, out, _ = runner.run(env, language + options(folder) + ['--'] + names)
            exported = os.path.join(folder, 'export.txt')
            # The full scan's reading speed is the one value that differs from run to run.
            out = SPEED.sub(b'"read_kib_per_s":0', out)
            got = (status, out, open(exported, 'rb').read() if os.path.exists(exported) else None)
            if not out:
                failures.append(f'machine, {output}, {what}: no output')
            if first is None:
                first = (what, got)
            elif got != first[1]:
                part = 'exit status' if got[0] != first[1][0] else 'standard output' if got[1] != first[1][1] \
                    else 'export file'
                failures.append(f'machine, {output}: the {part} under {what} differs from {first[0]}')


def check_russian(runner, names, failures):
    first = None
    for what, env, options in RUSSIAN:
        got = runner.run(env, options + ['--'] + names)
        if first is None:
            first = (what, got)
            if not CYRILLIC.search(got[1].decode('utf-8', 'replace')):
                failures.append(f'russian, {what}: the text report is not Russian')
        elif got != first[1]:
            failures.append(f'russian: the text report under {what} differs from {first[0]}')
    english = runner.run(ENGLISH[0][1], ['--'] + names)
    if english == first[1]:
        failures.append('russian: the English text report is the Russian one')


def main():
    cli, data_dir, work = sys.argv[1:4]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    empty_folder = os.path.join(work, 'no-media')
    os.makedirs(empty_folder)
    with open(os.path.join(empty_folder, 'notes.txt'), 'w') as f:
        f.write('not a media file\n')
    names = samples(data_dir)
    runner = Runner(cli, work)
    failures = []
    check_english(runner, names, empty_folder, failures)
    check_machine(runner, names, failures)
    check_russian(runner, names, failures)
    for failure in failures:
        print(failure)
    print(f'{len(names)} samples; {len(failures)} failures')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
