#!/usr/bin/env python3
# measure.py - Diagnose as veklog-explain runs it over the staged incident
# logs, against the remedy of each fault: agreement per half, per log level,
# per -l and per whether the lines show the cause, and every disagreement of
# both halves (the even half was held out until 9 Dec 2026 and is tuned on
# since). Also Diagnose over the healthy logs at every -l.
#
#   python3 tests/data/staged/measure.py EXPLAIN KB

import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
HEALTHY = os.path.join(os.path.dirname(HERE), 'healthy')
LEVELS = [('default', []), ('all', ['-l', 'all'])]
HALVES = ['tuned on (odd)', 'held out until 9 Dec 2026 (even)']


def diagnose(explain, kb, log, args):
    out = subprocess.run([explain, '--diagnose', '--json', '-k', kb] + args + [log],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if out.returncode not in (0, 1):
        raise SystemExit('%s failed (%d): %s' % (explain, out.returncode, out.stderr.strip()))
    for line in out.stdout.splitlines():
        d = json.loads(line)
        if d.get('type') == 'diagnosis':
            return d['remedy']['name'] if d.get('remedy') else '-'
    raise SystemExit('no diagnosis for a log')


def share(n, of):
    return '%d of %d (%d%%)' % (n, of, round(100.0 * n / of) if of else 0)


def main(explain, kb):
    rows = []
    with open(os.path.join(HERE, 'incidents.tsv'), encoding='utf-8') as f:
        for line in f:
            if not line.startswith('#'):
                number, name, level, remedy, shows, _ = line.rstrip('\n').split('\t')
                rows.append((int(number), name, level, remedy, shows))
    tally, faults, wrong = {}, [set(), set()], [[], []]
    for number, name, level, remedy, shows in rows:
        half = number % 2 == 0
        path = os.path.join(HERE, 'held' if half else 'tune', '%02d-%s.%s.log' % (number, name, level))
        group = (half, level, ('nothing to fix, shows ' if remedy == '-' else 'shows ') + shows)
        t = tally.setdefault(group, [0] + [0] * len(LEVELS))
        t[0] += 1
        if remedy != '-':
            faults[half].add(number)
        for i, (lname, args) in enumerate(LEVELS):
            got = diagnose(explain, kb, path, args)
            t[i + 1] += got == remedy
            if got != remedy:
                wrong[half].append('  %s (shows %s), -l %s: expected %s, Diagnose names %s'
                             % (os.path.basename(path), shows, lname, remedy, got))
    for half in (0, 1):
        print('staged incidents, %s: %d faults' % (HALVES[half], len(faults[half])))
        print('  %-34s %-18s %s' % ('log', 'default level', '-l all'))
        for group in sorted(g for g in tally if g[0] == half):
            t = tally[group]
            print('  %-34s %-18s %s' % ('%s %s' % group[1:], share(t[1], t[0]), share(t[2], t[0])))
    for half in (0, 1):
        print('%s, where Diagnose names another remedy:' % HALVES[half])
        print('\n'.join(wrong[half]))
    print('healthy logs (remedy named at -l errors / info / all):')
    for name in sorted(os.listdir(HEALTHY)):
        if name.endswith('.log'):
            got = [diagnose(explain, kb, os.path.join(HEALTHY, name), ['-l', l]) for l in ('errors', 'info', 'all')]
            print('  %-28s %s' % (name, ' / '.join(got)))


if __name__ == '__main__':
    if len(sys.argv) != 3:
        raise SystemExit('usage: measure.py EXPLAIN KB')
    main(sys.argv[1], sys.argv[2])
