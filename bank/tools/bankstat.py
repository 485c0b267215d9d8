#!/usr/bin/env python3
"""Authoring aid for the course text: parses content files the way the
program's loader does and prints, per file, the counts an author needs.

Usage: bankstat.py FILE... [--entries]   (--entries also lists each entry)
Exit status 1 when a file is malformed.
"""
import sys

ALLOWED_NON_ASCII = {"\u00b7", "\u2013", "\u201c"}
CRLF = "\r\n"


class Malformed(Exception):
    pass


def unescape(line, where):
    out = []
    i = 0
    while i < len(line):
        c = line[i]
        if c == "\\":
            if i + 1 >= len(line) or line[i + 1] not in "\\e@":
                raise Malformed(f"{where}: unknown escape (use \\\\, \\e or \\@)")
            nxt = line[i + 1]
            if nxt == "\\":
                out.append("\\")
            elif nxt == "@":
                out.append("@")
            i += 2
            continue
        if ord(c) < 32 or 127 <= ord(c) < 160:
            raise Malformed(f"{where}: control character U+{ord(c):04X}")
        out.append(c)
        i += 1
    return "".join(out)


def parse(path):
    """Returns a list of steps (kind, text, line) with kind 'new' or 'append'."""
    with open(path, encoding="utf-8") as f:
        raw = f.read()
    lines = raw.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    steps = []
    cur = None
    for n, line in enumerate(lines, 1):
        where = f"{path}:{n}"
        if line.endswith("\r"):
            line = line[:-1]
        if line.startswith("@"):
            kind = {"@@": "new", "@+": "append"}.get(line[:2])
            if kind is None or (len(line) > 2 and line[2] != " "):
                raise Malformed(f"{where}: a line starting with @ must be '@@' or '@+' (write \\@ for text)")
            if kind == "append" and not any(s[0] == "new" for s in steps):
                raise Malformed(f"{where}: append before any entry")
            cur = [kind, [], n]
            steps.append(cur)
            continue
        if cur is None:
            if line == "" or line.startswith("#"):
                continue
            raise Malformed(f"{where}: text before the first '@@'")
        if line.endswith(" "):
            raise Malformed(f"{where}: trailing blank (end the line with \\e to keep it)")
        cur[1].append((unescape(line, where), line == ""))
    result = []
    for kind, text_lines, n in steps:
        # Lines empty as written are dropped at both ends; a line of just \e is kept.
        while text_lines and text_lines[0][1]:
            text_lines.pop(0)
        while text_lines and text_lines[-1][1]:
            text_lines.pop()
        result.append((kind, CRLF.join(t for t, _ in text_lines), n))
    return result


def entries_of(path):
    out = []
    for kind, text, n in parse(path):
        if kind == "new":
            out.append([text, n])
        else:
            out[-1][0] += text
    return out


def kind_of(e):
    if e == "":
        return "E"
    if e[:2] == "`q":
        return "Q"
    if e[:2] == "`a":
        return "A"
    if e[:8].lower() == "`routine":
        return "R"
    if len(e) >= 4 and e[:3].isdigit() and e[3] == ".":
        return "H"
    return "U"


def stats(entries):
    s = dict(entries=len(entries), Q=0, A=0, U=0, E=0, H=0, R=0,
             Q_breaks=0, A_breaks=0, Q_blank=0, A_blank=0,
             A_end_stars=0, A_has_stars=0, longest=0, longest_q=0,
             most_breaks=0, non_ascii=set())
    for e, _ in entries:
        k = kind_of(e)
        s[k] += 1
        s["longest"] = max(s["longest"], len(e))
        br = e.count(CRLF)
        s["most_breaks"] = max(s["most_breaks"], br)
        s["non_ascii"] |= {c for c in e if ord(c) > 127}
        if k == "Q":
            s["longest_q"] = max(s["longest_q"], len(e))
            s["Q_breaks"] += br > 0
            s["Q_blank"] += e[2:3] == " "
        if k == "A":
            s["A_breaks"] += br > 0
            s["A_blank"] += e[2:3] == " "
            s["A_end_stars"] += e.rstrip(" ").endswith("**")
            s["A_has_stars"] += "**" in e
    return s


def main(argv):
    show = "--entries" in argv
    files = [a for a in argv if a != "--entries"]
    bad = False
    total = []
    for path in files:
        try:
            ents = entries_of(path)
        except Malformed as err:
            print("MALFORMED", err)
            bad = True
            continue
        total += ents
        s = stats(ents)
        print(path, {k: (sorted(v) if isinstance(v, set) else v) for k, v in s.items()})
        foreign = s["non_ascii"] - ALLOWED_NON_ASCII
        if foreign:
            print("  characters not allowed:", sorted(foreign))
        if show:
            for i, (e, n) in enumerate(ents):
                print(f"  [{i}] line {n} {kind_of(e)} len={len(e)} breaks={e.count(CRLF)}: {e[:60]!r}")
    if len(files) > 1 and total:
        s = stats(total)
        print("ALL", {k: (sorted(v) if isinstance(v, set) else v) for k, v in s.items()})
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
