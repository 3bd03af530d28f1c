#!/usr/bin/env python3
"""Writes what python3's plistlib makes of every file in a folder of property lists.

usage: plist_expectations.py CORPUS_FOLDER OUTPUT_FOLDER

For each file NAME it writes one of
  NAME.refused  plistlib does not read the file (the reason inside);
  NAME.skip     plistlib reads it into something the value tree has no counterpart for
                (a UID, or a container that holds itself);
  NAME.values   the value read, one item per line in pre-order (see dump below);
and, beside NAME.values, NAME.xml with plistlib.dumps(value, sort_keys=True) where every
<real> is rewritten in the platform's form, or NAME.noxml when plistlib cannot write it.
"""
import datetime
import os
import re
import sys
import plistlib

REFERENCE = datetime.datetime(2001, 1, 1)


def real_form(x):
    if x != x:
        return "nan"
    if x in (float("inf"), float("-inf")):
        return "+infinity" if x > 0 else "-infinity"
    if x == 0:
        return "0.0"
    return "%.17g" % x


class Unsupported(Exception):
    pass


def dump(value, out, depth=0):
    if depth > 300:
        raise Unsupported("a self-referencing container")
    if isinstance(value, bool):
        out.append("b %d" % value)
    elif isinstance(value, int):
        out.append("i %d" % value)
    elif isinstance(value, float):
        out.append("r " + real_form(value))
    elif isinstance(value, str):
        out.append("s " + value.encode("utf-8", "surrogatepass").hex())
    elif isinstance(value, (bytes, bytearray)):
        out.append("x " + bytes(value).hex())
    elif isinstance(value, datetime.datetime):
        out.append("d %d" % ((value - REFERENCE) // datetime.timedelta(microseconds=1)))
    elif isinstance(value, list):
        out.append("a %d" % len(value))
        for item in value:
            dump(item, out, depth + 1)
    elif isinstance(value, dict):
        out.append("D %d" % len(value))
        for key in sorted(value):
            out.append("k " + key.encode("utf-8", "surrogatepass").hex())
            dump(value[key], out, depth + 1)
    elif isinstance(value, plistlib.UID):
        raise Unsupported("a UID")
    else:
        raise Unsupported("a value of type " + type(value).__name__)


def main():
    corpus, output = sys.argv[1], sys.argv[2]
    os.makedirs(output, exist_ok=True)
    for name in sorted(os.listdir(corpus)):
        path = os.path.join(corpus, name)
        if not os.path.isfile(path):
            continue
        target = os.path.join(output, name)
        try:
            with open(path, "rb") as f:
                value = plistlib.load(f)
        except Exception as e:  # every refusal counts, whatever its kind
            with open(target + ".refused", "w") as f:
                f.write("%s: %s\n" % (type(e).__name__, e))
            continue
        lines = []
        try:
            dump(value, lines)
        except (Unsupported, RecursionError) as e:
            with open(target + ".skip", "w") as f:
                f.write("%s\n" % e)
            continue
        with open(target + ".values", "w") as f:
            f.write("\n".join(lines) + "\n")
        try:
            xml = plistlib.dumps(value, sort_keys=True).decode("utf-8")
        except Exception as e:
            with open(target + ".noxml", "w") as f:
                f.write("%s: %s\n" % (type(e).__name__, e))
            continue
        xml = re.sub(r"<real>([^<]*)</real>", lambda m: "<real>" + real_form(float(m.group(1))) + "</real>", xml)
        with open(target + ".xml", "w", encoding="utf-8", newline="") as f:
            f.write(xml)


if __name__ == "__main__":
    main()
