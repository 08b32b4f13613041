#!/usr/bin/env python3
"""Writes devices.csv: one design device per catalogue row of g-res.csv and
g-cap.csv, written the way schematics write them (value in another style,
footprint without library), with the IPNs a correct association may pick:
every row of the same value (compared as a number) and the same footprint.

Resistor values rotate through "4k7" (multiplier as decimal point),
"4.7K Ohm" and "4700"; capacitor values through "100nF", "100n" and "4u7"."""
import csv, collections

MULT = {'p': 1e-12, 'n': 1e-9, 'u': 1e-6, 'm': 1e-3, 'K': 1e3, 'k': 1e3, 'M': 1e6, '': 1}

def number(text, unit):
    t = text[:-len(unit)] if unit and text.endswith(unit) else text
    m = t[-1] if t and t[-1] in MULT else ''
    return float(t[:-1] if m else t) * MULT[m]

def fmt(x):
    return ('%.6f' % x).rstrip('0').rstrip('.')

def rkm(ohms):
    for m, s in (('M', 1e6), ('k', 1e3), ('R', 1)):
        if ohms >= s or m == 'R':
            v = fmt(ohms / s)
            return v.replace('.', m) if '.' in v else v + m
    return fmt(ohms)

def cap_style(farads, k):
    for m, s in (('u', 1e-6), ('n', 1e-9), ('p', 1e-12)):
        if farads >= s:
            break
    v = fmt(farads / s)
    return [v + m + 'F', v + m, v.replace('.', m) if '.' in v else v + m + 'F'][k % 3]

out = []
for file, col, unit in (('g-res.csv', 'Resistance', ''), ('g-cap.csv', 'Capacitance', 'F')):
    rows = list(csv.DictReader(open(file, newline='')))
    groups = collections.defaultdict(set)
    keyed = []
    for r in rows:
        try:
            v = number(r[col], unit)
        except ValueError:
            continue
        fp = r['Footprint'].split(';')[0].split(':', 1)[-1]
        key = (round(v, 15), fp)
        groups[key].add(r['IPN'])
        keyed.append((r, v, fp, key))
    seen = set()
    for k, (r, v, fp, key) in enumerate(keyed):
        if key in seen:
            continue
        seen.add(key)
        if unit == '':
            value = [rkm(v), fmt(v / 1e3) + 'K Ohm' if v >= 1e3 else fmt(v) + ' Ohm', fmt(v)][k % 3]
            name = 'R'
        else:
            value = cap_style(v, k)
            name = 'C'
        out.append((name + str(len(out) + 1), value, fp, ';'.join(sorted(groups[key]))))

with open('devices.csv', 'w', newline='') as f:
    w = csv.writer(f, lineterminator='\n')
    w.writerow(['name', 'value', 'footprint', 'expected'])
    w.writerows(out)
print(len(out), 'devices')
