#!/usr/bin/env python3
"""Builds the labelled set the suggestion precision test measures on.

    make_labels.py NETLIST_DIR DEMOS_DIR OUT_DIR

NETLIST_DIR holds the KiCad netlists 300-010.xml, RPi-Test.xml,
acquire-PWM.xml and kibom-test.xml; DEMOS_DIR the demos folder of the Debian
package kicad-demos (6.0.11); OUT_DIR gets devices.csv and records.csv.
The catalogue rows come from ../partlists/g-res.csv and g-cap.csv.

Labels are computed here from structured data only, never from what the
program suggests (see README.md)."""
import csv, collections, glob, os, re, sys
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
PLACEHOLDERS = {'', '_', '-', '~', 'n/a', 'na', 'none', 'dnp', 'nopop'}
MULT = {'p': 1e-12, 'n': 1e-9, 'u': 1e-6, 'µ': 1e-6, 'm': 1e-3, 'k': 1e3, 'K': 1e3, 'M': 1e6,
        'meg': 1e6, 'G': 1e9, 'R': 1, 'r': 1, '': 1}
INCH = ['0201', '0402', '0603', '0805', '1206', '1210', '1812', '2010', '2512']
METRIC = {'1005': '0402', '1608': '0603', '2012': '0805', '3216': '1206', '3225': '1210'}


def number(text):
    """The first value among the words of `text` as a float ("4k7", "4,7K",
    "2.2uF_0805", "100n-50V", "R_4.7k-stkple_0805"), chip sizes aside; else None."""
    for word in re.split(r'[\s_/\-]+', text):
        if word in INCH:
            continue
        v = word_number(word.replace(',', '.'))
        if v is not None:
            return v
    return None


def word_number(text):
    m = re.fullmatch(r'(\d+(?:\.\d+)?|\.\d+)(meg|[pnuµmkKMGRr])?(\d+)?(ohms?|Ω|F|f|H|h)?', text)
    if not m:
        return None
    digits, mult, frac = m.group(1), m.group(2) or '', m.group(3)
    if frac:
        if '.' in digits or not mult:
            return None
        digits += '.' + frac
    return round(float(digits) * MULT[mult], 18)


def size(text):
    """The chip size (inch name) a footprint text names, else None."""
    m = re.search(r'(?<![0-9])(%s)(?![0-9])' % '|'.join(INCH), text)
    if m:
        return m.group(1)
    m = re.search(r'(?<![0-9])(%s)(?=Metric|_)' % '|'.join(METRIC), text)
    if m:
        return METRIC[m.group(1)]
    # Leaded parts by body: axial DIN size, radial diameter.
    m = re.search(r'(Axial_DIN\d+|Radial_D[\d.]+mm)', text)
    return m.group(1) if m else None


COLOURS = ('red', 'green', 'yellow', 'blue', 'white', 'orange', 'amber')


def kind_of(ref, text):
    """R, C or L from the reference designator's letters; LED-colour for a
    D or LED whose texts say LED and one colour; else None."""
    letters = re.match(r'[A-Za-z]*', ref).group(0).upper()
    if letters in ('R', 'C', 'L'):
        return letters
    low = text.lower()
    if letters in ('D', 'LED') and 'led' in low:
        colours = [c for c in COLOURS if c in low]
        if len(colours) == 1:
            return 'LED-' + colours[0]
    return None


def netlist_devices(path):
    design = os.path.basename(path)
    root = ET.parse(path).getroot()
    descr = {}
    for lp in root.iter('libpart'):
        descr[(lp.get('lib'), lp.get('part'))] = lp.findtext('description') or ''
    groups = collections.OrderedDict()
    for c in root.find('components').findall('comp'):
        ls = c.find('libsource')
        part = ls.get('part') if ls is not None else ''
        lib = ls.get('lib') if ls is not None else ''
        value = c.findtext('value') or ''
        fp = c.findtext('footprint') or ''
        fields = {f.get('name').lower(): (f.text or '') for f in c.iter('field')}
        key = (part, value, fp)
        if key in groups:
            continue
        mpn = ''
        for name in ('eic', 'mpn', 'manf#', 'manufacturer_part_number', 'part number'):
            if name in fields:
                mpn = fields[name].strip()
                break
        if mpn.lower() in PLACEHOLDERS:
            mpn = ''
        groups[key] = dict(design=design, ref=c.get('ref'), part=part, value=value, footprint=fp, mpn=mpn,
                           maker=fields.get('manufacturer', fields.get('manf', '')),
                           description=fields.get('description') or descr.get((lib, part), ''))
    return list(groups.values())


def demo_devices(demos):
    out = []
    for path in sorted(glob.glob(os.path.join(demos, '**', '*.kicad_sch'), recursive=True)):
        design = os.path.relpath(path, demos)
        text = open(path, encoding='utf-8').read()
        seen = set()
        for m in re.finditer(r'\(symbol \(lib_id "([^"]*)"\)(.*?)\n  \)', text, re.S):
            props = dict(re.findall(r'\(property "([^"]*)" "([^"]*)"', m.group(2)))
            ref, fp = props.get('Reference', ''), props.get('Footprint', '')
            if ref.startswith('#') or not fp:
                continue  # power symbols and simulation-only parts are not placed
            part = m.group(1).split(':', 1)[-1]
            key = (part, props.get('Value', ''), fp)
            if key in seen:
                continue
            seen.add(key)
            out.append(dict(design=design, ref=ref, part=part, value=props.get('Value', ''), footprint=fp,
                            mpn='', maker='', description=''))
    return out


def main():
    netlists, demos, out_dir = sys.argv[1:4]
    devices = []
    for name in ('300-010.xml', 'RPi-Test.xml', 'acquire-PWM.xml', 'kibom-test.xml'):
        devices += netlist_devices(os.path.join(netlists, name))
    devices += demo_devices(demos)

    # Records: the catalogue rows, then one per manufacturer number the
    # designs use, with the texts a parts database keeps for it.
    records = collections.OrderedDict()
    for file, col, kind in (('g-res.csv', 'Resistance', 'R'), ('g-cap.csv', 'Capacitance', 'C')):
        for r in csv.DictReader(open(os.path.join(HERE, '..', 'partlists', file), newline='')):
            if r['MPN'] in records:
                continue
            records[r['MPN']] = dict(code=r['MPN'], text=' '.join(
                [r['IPN'], r['Manufacturer'], r['Description'], r['Footprint'], r[col]]),
                designs=set(), kind=kind, value=number(r[col]), size=size(r['Footprint']))
    for d in devices:
        if not d['mpn']:
            continue
        rec = records.setdefault(d['mpn'], dict(
            code=d['mpn'], text=' '.join(x for x in (d['maker'], d['description'], d['value'], d['footprint']) if x),
            designs=set(), kind=kind_of(d['ref'], d['part'] + ' ' + d['value'] + ' ' + d['footprint']),
            value=number(d['value']) if number(d['value']) is not None else number(d['part']),
            size=size(d['footprint'] + ' ' + d['value'])))
        rec['designs'].add(d['design'])

    for r in records.values():
        if r['kind'] and r['kind'].startswith('LED'):
            r['value'] = 'any'

    # Right records for a device, with the records of its own design left
    # out of its EID: the one with its designer's number (when another
    # design uses it too); for resistors, capacitors and inductors every
    # record of the same kind, value and chip size; for LEDs every record of
    # the same colour and chip size.
    with open(os.path.join(out_dir, 'devices.csv'), 'w', newline='') as f:
        w = csv.writer(f, lineterminator='\n')
        w.writerow(['design', 'name', 'value', 'footprint', 'description', 'right'])
        for d in devices:
            mine = lambda r: r['designs'] and r['designs'] <= {d['design']}
            right = set()
            if d['mpn'] in records and not mine(records[d['mpn']]):
                right.add(d['mpn'])
            kind = kind_of(d['ref'], d['part'] + ' ' + d['value'] + ' ' + d['footprint'])
            value = number(d['value']) if number(d['value']) is not None else number(d['part'])
            sz = size(d['footprint'] + ' ' + d['value'])
            if kind and kind.startswith('LED'):
                value = 'any'  # an LED is its colour and size
            if kind and value is not None and sz:
                for r in records.values():
                    if r['kind'] == kind and r['value'] == value and r['size'] == sz and not mine(r):
                        right.add(r['code'])
            name = d['part'] + ('-' + d['value'] if d['value'] and d['value'] != d['part'] else '')
            w.writerow([d['design'], name, d['value'], d['footprint'], d['description'], ';'.join(sorted(right))])
    with open(os.path.join(out_dir, 'records.csv'), 'w', newline='') as f:
        w = csv.writer(f, lineterminator='\n')
        w.writerow(['code', 'text', 'designs'])
        for r in records.values():
            w.writerow([r['code'], r['text'], ';'.join(sorted(r['designs']))])


main()
