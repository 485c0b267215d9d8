#!/usr/bin/env python3
"""Recomputes the results stated in the given answers of the second part of
assignment 2 (section 0.2: real line, distance, midpoint, absolute value,
intervals, tolerances).

Each stated solution set is written below exactly as the answer writes it in
interval notation; it is parsed and compared point by point with the original
inequality (at its endpoints, just beside them and on a grid), so a wrong
endpoint, a wrong bracket or a missing piece fails.

Usage: check_002b.py [CONTENT_FILE]
With a content file, also checks that every stated interval appears in it.
Prints "ok" when everything holds.
"""
import math
import re
import sys
from fractions import Fraction as F

INF = "infinity"
STATED = []  # interval strings as written in the answers


# ---------------------------------------------------------------- helpers

def num(s):
    return F(s)


def parse_set(text):
    """'(-infinity, -3) union (5, infinity)' -> list of pieces
    (lo, lo_closed, hi, hi_closed); lo/hi None for an infinite end."""
    STATED.append(text)
    if text == "empty":
        return []
    pieces = []
    for part in text.split(" union "):
        m = re.fullmatch(r"([\[(])(-?[\w.]+), (-?[\w.]+)([\])])", part)
        assert m, f"cannot parse {part!r}"
        lb, lo, hi, rb = m.groups()
        lo_v = None if lo == "-" + INF else num(lo)
        hi_v = None if hi == INF else num(hi)
        # an infinite end can never carry a square bracket
        assert lo_v is not None or lb == "(", part
        assert hi_v is not None or rb == ")", part
        pieces.append((lo_v, lb == "[", hi_v, rb == "]"))
    return pieces


def member(pieces, x):
    for lo, lc, hi, hc in pieces:
        above = lo is None or x > lo or (lc and x == lo)
        below = hi is None or x < hi or (hc and x == hi)
        if above and below:
            return True
    return False


def test_points(pieces, lo, hi, step, extra=()):
    eps = F(1, 10**6)
    pts = set(extra)
    for p in pieces:
        for e in (p[0], p[2]):
            if e is not None:
                pts |= {e, e - eps, e + eps}
    n = int((hi - lo) / step)
    pts |= {lo + k * step for k in range(n + 1)}
    srt = sorted(pts)
    pts |= {(a + b) / 2 for a, b in zip(srt, srt[1:])}
    return sorted(pts)


def same_set(pred, text, lo=-60, hi=60, step=F(1, 20), extra=()):
    """The inequality pred and the stated set agree at every test point."""
    pieces = parse_set(text)
    for x in test_points(pieces, F(lo), F(hi), F(step), extra):
        assert pred(x) == member(pieces, x), (text, x, pred(x))
    return pieces


def same_pred(p, q, lo, hi, step, extra=()):
    """Two descriptions of a set (e.g. interval vs |x - c| <= r) agree."""
    for x in test_points([], F(lo), F(hi), F(step), extra):
        assert p(x) == q(x), x


def centre_radius(a, b):
    return (a + b) / 2, (b - a) / 2


# ---------------------------------------------------------------- 0.2.9
vals = {"-7/3": F(-7, 3), "-2.4": F("-2.4"), "`sqrt(5)": math.sqrt(5),
        "2.2": F("2.2"), "-|-2|": -abs(-2)}
stated_order = "-2.4, -7/3, -|-2|, 2.2, `sqrt(5)".split(", ")
assert sorted(stated_order) == sorted(vals)
seq = [vals[k] for k in stated_order]
assert all(a < b for a, b in zip(seq, seq[1:]))
assert F("2.2") ** 2 == F("4.84") < 5

# ---------------------------------------------------------------- 0.2.10
assert abs(num("3.7") - num("-8.5")) == num("12.2") == abs(num("-8.5") - num("3.7"))
assert abs(num("-3.7") - num("-8.5")) == num("4.8")

# ---------------------------------------------------------------- 0.2.12
c, r = centre_radius(F(-13), F(29))
assert (c, 2 * r, r) == (8, 42, 21)
same_set(lambda x: abs(x - 8) <= 21, "[-13, 29]")

# ---------------------------------------------------------------- 0.2.13
b = 2 * num("4.5") - num("-2.3")
assert b == num("11.3") and b - num("-2.3") == num("13.6")
assert (num("-2.3") + b) / 2 == num("4.5")

# ---------------------------------------------------------------- 0.2.14
assert abs(-6) - abs(4 - 11) == -1
assert math.isclose(abs(3 - math.pi), math.pi - 3) and 0.14159 < math.pi - 3 < 0.1416
assert math.isclose(abs(2 - math.sqrt(5)) + abs(math.sqrt(5) - 3), 1)

# ---------------------------------------------------------------- 0.2.15 / 0.2.16
same_set(lambda x: -3 < x <= 5, "(-3, 5]")
same_set(lambda x: x >= 2, "[2, infinity)")
same_set(lambda x: x < -1, "(-infinity, -1)")
same_set(lambda x: 0 <= x <= num("0.75"), "[0, 0.75]")
same_set(lambda x: -4 <= x < 9, "[-4, 9)")
same_set(lambda x: x <= num("0.5"), "(-infinity, 0.5]")
same_set(lambda x: num("2.5") < x < num("6.1"), "(2.5, 6.1)")
assert 9 - (-4) == 13 and num("6.1") - num("2.5") == num("3.6")

# ---------------------------------------------------------------- 0.2.18 to 0.2.22
same_set(lambda x: abs(x - 5) < 3, "(2, 8)")
assert abs(2 - 5) == 3 and abs(7 - 5) == 2
same_set(lambda x: abs(x + 4) <= num("2.5"), "[-6.5, -1.5]")
assert centre_radius(num("-6.5"), num("-1.5")) == (-4, num("2.5"))
assert abs(2 + 4) == 6 > num("2.5")  # the point that refutes the wrong [1.5, 6.5]
same_set(lambda x: abs(x - 1) > 4, "(-infinity, -3) union (5, infinity)")
same_set(lambda x: abs(2 * x - 7) <= 9, "[-1, 8]")
same_pred(lambda x: abs(2 * x - 7) <= 9, lambda x: abs(x - num("3.5")) <= num("4.5"), -20, 20, F(1, 40))
assert centre_radius(F(-1), F(8)) == (num("3.5"), num("4.5"))
same_set(lambda x: abs(3 - x) >= 2, "(-infinity, 1] union [5, infinity)")

# ---------------------------------------------------------------- 0.2.24 to 0.2.26
assert centre_radius(F(-3), F(11)) == (4, 7)
same_set(lambda x: abs(x - 4) < 7, "(-3, 11)")
same_set(lambda x: abs(x - 4) < 14, "(-10, 18)")  # the slip with radius 14
assert centre_radius(num("2.4"), num("3.1")) == (num("2.75"), num("0.35"))
same_set(lambda x: abs(x - num("2.75")) <= num("0.35"), "[2.4, 3.1]", 0, 6, F(1, 200))
assert centre_radius(F(-2), F(10)) == (4, 6)
same_set(lambda x: abs(x - 4) > 6, "(-infinity, -2) union (10, infinity)")
same_set(lambda x: abs(x - 4) < 6, "(-2, 10)")

# ---------------------------------------------------------------- 0.2.27
same_set(lambda x: abs(x - 3) < -1, "empty")
same_set(lambda x: abs(x - 3) >= -1, "(-infinity, infinity)")
same_set(lambda x: abs(x - 3) <= 0, "[3, 3]")

# ---------------------------------------------------------------- 0.2.28, 0.2.29 tolerances
same_set(lambda d: abs(d - 25) <= num("0.04"), "[24.96, 25.04]", 24, 26, F(1, 1000))
for d, dev, ok in (("24.95", "0.05", False), ("25.03", "0.03", True), ("25.04", "0.04", True)):
    assert abs(num(d) - 25) == num(dev) and (abs(num(d) - 25) <= num("0.04")) == ok
assert centre_radius(num("47.8"), num("48.6")) == (num("48.2"), num("0.4"))
same_set(lambda L: abs(L - num("48.2")) <= num("0.4"), "[47.8, 48.6]", 47, 50, F(1, 1000))

# ---------------------------------------------------------------- 0.2.30 greenhouse
heater = lambda T: T < 22 - 4          # more than 4 below 22
fan = lambda T: T > 22 + 4             # more than 4 above 22
same_set(lambda T: not heater(T) and not fan(T), "[18, 26]", 0, 40, F(1, 100))
same_pred(lambda T: abs(T - 22) <= 4, lambda T: not heater(T) and not fan(T), 0, 40, F(1, 100), (18, 26))
same_pred(lambda T: abs(T - 22) > 4, lambda T: heater(T) or fan(T), 0, 40, F(1, 100), (18, 26))

# ---------------------------------------------------------------- 0.2.31 cereal
tol = num("0.015") * 510
assert tol == num("7.65")
same_set(lambda w: abs(w - 510) <= tol, "[502.35, 517.65]", 490, 530, F(1, 100))
assert abs(num("501.9") - 510) == num("8.1") > tol
assert num("502.35") - num("501.9") == num("0.45")

# ---------------------------------------------------------------- 0.2.32 vaccine refrigerator
to_f = lambda C: num("1.8") * C + 32
assert centre_radius(F(2), F(8)) == (5, 3)
lo_f, hi_f = to_f(2), to_f(8)
assert (lo_f, hi_f) == (num("35.6"), num("46.4"))
assert centre_radius(lo_f, hi_f) == (41, num("5.4")) == (to_f(5), num("1.8") * 3)
assert to_f(3) == num("37.4")  # the wrong conversion of the radius
same_pred(lambda C: abs(C - 5) <= 3, lambda C: abs(to_f(C) - 41) <= num("5.4"), -5, 15, F(1, 100))

# ---------------------------------------------------------------- 0.2.33 budget, 0.2.34 sales
same_set(lambda S: abs(S - 48000) <= 3500, "[44500, 51500]", 40000, 56000, F(1, 2))
assert 52100 - 51500 == 600 and abs(52100 - 48000) == 4100 > 3500
same_set(lambda S: abs(S - 1250) > 200, "(-infinity, 1050) union (1450, infinity)", 0, 2500, F(1, 2))
assert abs(1040 - 1250) == 210 > 200 and not abs(1450 - 1250) > 200

# ---------------------------------------------------------------- 0.2.35 to 0.2.37
grid = [F(k, 4) for k in range(-200, 201)]
assert [x for x in grid if abs(x + 3) == 5] == [-8, 2]
assert (F(-8) + 2) / 2 == -3
assert [x for x in grid if abs(x - 2) == abs(x + 6)] == [-2]
assert abs(-2 - 2) == abs(-2 + 6) == 4
third = (13 - (-5)) / F(3)
assert (-5 + third, -5 + 2 * third) == (1, 7)
assert centre_radius(F(-5), F(13))[0] == 4 == (1 + 7) / 2

# ---------------------------------------------------------------- 0.2.38
same_set(lambda x: 1 < abs(x - 4) <= 3, "[1, 3) union (5, 7]")

# ---------------------------------------------------------------- 0.2.39 scale
err = abs(num("2.48") - num("2.50"))
assert err == num("0.02") and err / num("2.50") == num("0.008") > num("0.005")
allowed = num("0.005") * num("2.50")
assert allowed == num("0.0125")
same_set(lambda rd: abs(rd - num("2.50")) <= allowed, "[2.4875, 2.5125]", 2, 3, F(1, 10000))
assert not abs(num("2.48") - num("2.50")) <= allowed

# ---------------------------------------------------------------- 0.2.41 clearance (brute force)
step = F(1, 1000)
pist = [num("82.48") + k * step for k in range(41)]
bore = [num("82.57") + k * step for k in range(61)]
assert pist[-1] == num("82.52") and bore[-1] == num("82.63")
clear = {bb - pp for bb in bore for pp in pist}
assert (min(clear), max(clear)) == (num("0.05"), num("0.15"))
assert centre_radius(min(clear), max(clear)) == (num("0.10"), num("0.05"))
assert num("82.60") - num("82.50") == num("0.10") and num("0.03") + num("0.02") == num("0.05")
assert num("82.57") - num("82.48") == num("0.09")  # the typical wrong subtraction

# ---------------------------------------------------------------- 0.2.42
same_pred(lambda x: abs((2 * x + 1) - 7) < num("0.05"), lambda x: abs(x - 3) < num("0.025"), 2, 4, F(1, 10000))
same_set(lambda x: abs((2 * x + 1) - 7) < num("0.05"), "(2.975, 3.025)", 2, 4, F(1, 10000))
assert 2 * num("3.025") + 1 == num("7.05")

# ---------------------------------------------------------------- 0.2.43
in_i = lambda x: -2 <= x < 6
in_j = lambda x: 3 < x <= 9
same_set(lambda x: in_i(x) and in_j(x), "(3, 6)")
same_set(lambda x: in_i(x) or in_j(x), "[-2, 9]")

# ---------------------------------------------------------------- 0.2.44
same_set(lambda x: abs(x * x - 5) < 4, "(-3, -1) union (1, 3)")
assert abs(4 - 5) == 1 < 4 and not abs(0 - 5) < 4 and not abs(1 - 5) < 4

# ---------------------------------------------------------------- optional text check
if len(sys.argv) > 1:
    with open(sys.argv[1], encoding="utf-8") as f:
        text = f.read()
    written = {"empty", "[3, 3]", "(-2, 10)",  # described in words in the answers
               "(-infinity, -2) union (10, infinity)"}
    missing = [s for s in STATED if s not in written and s not in text]
    assert not missing, f"stated intervals not found in the text: {missing}"

print("ok")
