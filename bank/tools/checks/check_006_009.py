#!/usr/bin/env python3
"""Recomputes the key results of the given answers in assignments 6 to 9
(content/006.txt to 009.txt) from the data of their questions and asserts
that each answer states them. Standard library only; prints "ok"."""
import math
import os
import re
import sys
from fractions import Fraction as Fr

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.dirname(HERE)
CONTENT = os.path.join(os.path.dirname(TOOLS), "content")
sys.path.insert(0, TOOLS)
from bankstat import entries_of, kind_of  # noqa: E402


def load(n):
    return [e for e, _ in entries_of(os.path.join(CONTENT, f"{n:03d}.txt"))]


def answer(ents, key):
    """The given answer that follows the only question containing key."""
    hits = [i for i, e in enumerate(ents) if kind_of(e) == "Q" and key in e]
    assert len(hits) == 1, f"question {key!r} found {len(hits)} times"
    rest = [e for e in ents[hits[0] + 1:] if e]
    assert rest and kind_of(rest[0]) == "A", f"no answer after question {key!r}"
    return rest[0].replace("\r\n", "\n")


def has(ans, *items):
    for item in items:
        assert item in ans, f"{item!r} missing from answer starting {ans[:50]!r}"


def num(x, nd=None):
    """Format a number the way the answers write it."""
    if nd is not None:
        return f"{float(x):.{nd}f}"
    x = Fr(x) if not isinstance(x, float) else Fr(x).limit_denominator(10**9)
    for places in range(13):
        scaled = x * 10 ** places
        if scaled.denominator == 1:
            n = abs(scaled.numerator)
            whole, frac = divmod(n, 10 ** places)
            text = str(whole) + (f".{frac:0{places}d}" if places else "")
            return ("-" if x < 0 else "") + text
    raise AssertionError(f"{x} is not a terminating decimal: give places")


def poly_mul(p, q):
    out = [0] * (len(p) + len(q) - 1)
    for i, a in enumerate(p):
        for j, b in enumerate(q):
            out[i + j] += a * b
    return out


def poly_add(p, q):
    n = max(len(p), len(q))
    return [(p[i] if i < len(p) else 0) + (q[i] if i < len(q) else 0) for i in range(n)]


def poly_compose(outer, inner):
    """outer(inner(x)); coefficient lists, lowest degree first."""
    out, power = [0], [1]
    for c in outer:
        out = poly_add(out, [c * a for a in power])
        power = poly_mul(power, inner)
    return out


def poly_str(p):
    """[5, -12, 9] -> '9x^2 - 12x + 5'."""
    parts = []
    for deg in range(len(p) - 1, -1, -1):
        c = p[deg]
        if c == 0:
            continue
        mag = abs(c)
        body = ("" if mag == 1 and deg else num(mag)) + ("x" if deg else "") + (f"^{deg}" if deg > 1 else "")
        if not parts:
            parts.append(("-" if c < 0 else "") + body)
        else:
            parts.append(("- " if c < 0 else "+ ") + body)
    return " ".join(parts)


def dist(p, q):
    return math.hypot(q[0] - p[0], q[1] - p[1])


def cross(p, q, r):
    return (q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0])


def check_006():
    e = load(6)
    # structure: one question left for the student's own data, one 64-line table
    qs = [i for i, x in enumerate(e) if kind_of(x) == "Q"]
    unanswered = [i for i in qs if kind_of(next(x for x in e[i + 1:] if x)) != "A"]
    assert len(unanswered) == 1 and "your own data" in e[unanswered[0]]

    # y = k x^3 through (3, 54)
    a = answer(e, "proportional to the cube of x, and y = 54")
    k = Fr(54, 3 ** 3)
    has(a, f"k = 54 / 27 = {num(k)}.", f"= {num(k * 5 ** 3)}.", f"gives k = {num(Fr(54, 9))}")
    assert Fr(54) * Fr(5, 3) ** 3 == k * 125

    # similar figures, A = k L^2
    a = answer(e, "similar figures")
    k = Fr(12, 4 ** 2)
    has(a, f"k = 12/16 = {num(k)}", f"A = {num(k)} * 100 = {num(k * 100)} cm^2",
        f"multiplied by {num(3 ** 2)}, not by 3", f"12 * {num(Fr(10, 4) ** 2)} = {num(12 * Fr(10, 4) ** 2)}")

    # inverse square law
    a = answer(e, "inversely proportional to the square")
    k = 40 * 3 ** 2
    d = math.sqrt(k / 10)
    assert d == int(d)
    has(a, f"k = 40 * 9 = {k}", f"I = {k} / 25 = {num(Fr(k, 25))} units", f"d = {int(d)} m")

    # power law through (2, 5) and (4, 40)
    a = answer(e, "some power of x")
    n = math.log(40 / 5) / math.log(4 / 2)
    assert abs(n - round(n)) < 1e-12
    n = round(n)
    k = Fr(5, 2 ** n)
    assert k * 4 ** n == 40
    has(a, f"n = {n}, since", f"k = 5/8 = {num(k)}", f"y = {num(k)} * 216 = {num(k * 6 ** n)}")

    # balloon
    a = answer(e, "spherical balloon")
    f = Fr(12, 10) ** 3
    has(a, f"1.2^3 = {num(f)}", f"increase of {num((f - 1) * 100)}%",
        f"about {num((2 ** (1 / 3) - 1) * 100, 1)}%", f"{num(2 ** (1 / 3), 4)}...")

    # differential of cube volume
    a = answer(e, "dV = 3 x^2 dx to approximate")
    x, dx = Fr(10), Fr(1, 10)
    dv, exact = 3 * x ** 2 * dx, (x + dx) ** 3 - x ** 3
    rods, corner = 3 * x * dx ** 2, dx ** 3
    assert exact - dv == rods + corner
    has(a, f"= {num(dv)} cm^3", f"{num((x + dx) ** 3)} - 1000 = {num(exact)} cm^3",
        f"off by {num(exact - dv)} cm^3", f"= {num(rods)} cm^3", f"= {num(corner)} cm^3")
    assert round(float((exact - dv) / exact) * 100) == 1

    # differential of pendulum period
    a = answer(e, "when the length goes from 100 cm to 104 cm")
    rate = 0.1 / math.sqrt(100)
    est = rate * 4
    ex = 0.2 * math.sqrt(104) - 0.2 * math.sqrt(100)
    has(a, f"= {num(rate)} s per cm", f"dT = {num(rate)} * 4 = {num(est)} s",
        f"0.2 * {num(math.sqrt(104), 5)} = {num(0.2 * math.sqrt(104), 5)} s",
        f"exact change = {num(ex, 5)} s", f"too large by about {num(est - ex, 4)} s")
    assert est > ex and round(ex / 2 * 100) == 2

    # error in the area of a plate
    a = answer(e, "circular plate")
    area, da = math.pi * 25, 2 * math.pi * 5 * 0.05
    has(a, f"25 `pi = {num(area, 2)} cm^2", f"0.5 `pi = {num(da, 3)} cm^2", f"= {num(da / area)} = 2%")

    # sand cubes
    a = answer(e, "edges of 2 cm, 4 cm and 6 cm")
    dens = Fr(128, 10) / 2 ** 3
    has(a, f"= {num(dens)} g/cm^3", f"{num(dens)} * 64 = {num(dens * 64)} g",
        f"{num(dens)} * 216 = {num(dens * 216)} g", f"12.8 * 27 = {num(Fr(128, 10) * 27)}")

    a = answer(e, "length 25 cm has a period of 1.0 s")
    k = 1.0 / math.sqrt(25)
    has(a, f"k = {num(k)}", f"T = {num(k)} * 10 = {num(k * 10, 1)} s",
        f"L = 12.5^2 = {num((2.5 / k) ** 2)} cm")

    # the table: every row recomputed
    a = answer(e, "make a table of T and of T^2")
    assert a.count("\n") == 64 and len(a.replace("\n", "\r\n")) < 3000
    rows = re.findall(r"^(\d+) \| (\d+\.\d{3}) \| (\d+\.\d{2})$", a, re.M)
    assert [int(r[0]) for r in rows] == list(range(5, 301, 5))
    table = {}
    for L, t, t2 in rows:
        L = int(L)
        assert t == num(0.2 * math.sqrt(L), 3), (L, t)
        assert Fr(t2) == Fr(4, 100) * L, (L, t2)
        table[L] = Fr(t)
    steps = {Fr(t2) for t2 in (r[2] for r in rows)}
    assert sorted(steps)[1] - sorted(steps)[0] == Fr(2, 10)
    has(a, f"rises by {num(table[10] - table[5], 3)} s", f"only {num(table[300] - table[295], 3)} s")

    a = answer(e, "one group reported")
    r = 346 / 43
    has(a, f"346 / 43 = {num(r, 2)}", f"about {num((r / 8 - 1) * 100, 1)}% of 8",
        f"43 / 27 = {num(43 / 27, 2)}", f"346 / 216 = {num(346 / 216, 2)}")

    a = answer(e, "measured data")
    ratio = 1.90 / 1.27
    assert abs(math.sqrt(90 / 40) - 1.5) < 1e-12 and abs(ratio / 1.5 - 1) < 0.003
    has(a, f"1.90 / 1.27 = {num(ratio, 3)}", f"1.27 / {num(math.sqrt(40), 3)} = {num(1.27 / math.sqrt(40), 4)}",
        f"1.90 / {num(math.sqrt(90), 3)} = {num(1.90 / math.sqrt(90), 4)}",
        f"= {num(2 * math.pi / math.sqrt(980), 4)} when")

    # Section 1.1
    a = answer(e, "Section 1.1.4 ")
    d = dist((-2, 3), (4, -5))
    assert d == int(d)
    has(a, f"`sqrt({int(d * d)}) = {int(d)}.")

    a = answer(e, "Section 1.1.11 ")
    # (x - 1)^2 + (2 - (-2))^2 = 25
    r2 = 25 - (2 - (-2)) ** 2
    root = math.isqrt(r2)
    assert root * root == r2
    xs = (1 + root, 1 - root)
    for x in xs:
        assert dist((x, 2), (1, -2)) == 5
    has(a, f"x = {xs[0]} or x = {xs[1]}.")

    a = answer(e, "Section 1.1.17 ")
    p, q = (-3, 7), (5, -1)
    m = (Fr(p[0] + q[0], 2), Fr(p[1] + q[1], 2))
    assert dist(m, p) == dist(m, q) == dist(p, q) / 2 == math.sqrt(32)
    has(a, f"midpoint ({num(m[0])}, {num(m[1])})", "`sqrt(32) = 4 `sqrt(2)", "`sqrt(128) = 8 `sqrt(2)")

    a = answer(e, "Section 1.1.23 ")
    p, q, r = (1, 2), (3, 8), (6, 17)
    assert cross(p, q, r) == 0
    sq = [(q[0] - p[0]) ** 2 + (q[1] - p[1]) ** 2, (r[0] - q[0]) ** 2 + (r[1] - q[1]) ** 2,
          (r[0] - p[0]) ** 2 + (r[1] - p[1]) ** 2]
    coef = [math.isqrt(s // 10) for s in sq]
    assert [c * c * 10 for c in coef] == sq and coef[0] + coef[1] == coef[2]
    for s, c in zip(sq, coef):
        has(a, f"`sqrt({s}) = {c} `sqrt(10)")
    slope = Fr(q[1] - p[1], q[0] - p[0])
    assert all(y == slope * x - 1 for x, y in (p, q, r))
    has(a, f"y = {num(slope)}x - 1", f"({num(math.sqrt(40), 2)} + {num(math.sqrt(90), 2)} = {num(math.sqrt(250), 2)})")

    a = answer(e, "Section 1.1.26 ")
    p, q, r = (-1, 4), (2, 1), (5, -1)
    assert cross(p, q, r) != 0
    s1, s2 = Fr(q[1] - p[1], q[0] - p[0]), Fr(r[1] - q[1], r[0] - q[0])
    assert s1 != s2 and s1 == -1 and s2 == Fr(-2, 3)
    d1, d2, d3 = dist(p, q), dist(q, r), dist(p, r)
    assert d1 + d2 > d3
    has(a, f"`sqrt(18) = {num(d1, 2)}", f"`sqrt(13) = {num(d2, 2)}", f"add to {num(d1 + d2, 2)}",
        f"`sqrt(61) = {num(d3, 2)}", f"through (5, {s1 * 5 + 3}), not (5, -1)")

    a = answer(e, "Section 1.1.32 ")
    up, down = Fr(105 - 84, 84), Fr(84 - 105, 105)
    assert (1 + up) * (1 + down) == 1
    has(a, f"increase of {num(up * 100)}%", f"decrease of {num(-down * 100)}%",
        f"leave ${num(105 * (1 - up), 2)}")


def check_007():
    e = load(7)
    last = [x for x in e if x][-1]
    assert kind_of(last) == "U" and last.startswith("Add comments on any surprises or insights")

    a = answer(e, "passes through the point (2, 5)")
    m = Fr(13 - 5, 6 - 2)
    has(a, f"= 8 / 4 = {num(m)}", f"= {num(5 + m * Fr(1, 2))}.")

    a = answer(e, "draining tank")
    m = Fr(25 - 40, 30 - 10)
    has(a, f"= {num(m)} cm/s", f"= {num(40 + m * 2)} cm")

    a = answer(e, "dy/dt = 0.04 y")
    has(a, f"0.04 * 500 = {num(Fr(4, 100) * 500)} per year", f"0.04 * 800 = {num(Fr(4, 100) * 800)} per year",
        f"500 + 20 * 1 = {num(500 + Fr(4, 100) * 500)}", f"500 * {num(math.exp(0.04), 6)} = {num(500 * math.exp(0.04), 2)}",
        f"error is {num(500 * math.exp(0.04) - 520, 2)}")

    a = answer(e, "dA/dt = -0.1 A")
    amt = Fr(200)
    for t in range(3):
        rate = -Fr(1, 10) * amt
        has(a, f"t = {t}: A = {num(amt)}, rate = {num(rate)}")
        amt += rate
    exact = 200 * math.exp(-0.3)
    has(a, f"t = 3: A = {num(amt)} mg", f"200 * {num(math.exp(-0.3), 6)} = {num(exact, 2)} mg",
        f"about {num(exact - float(amt), 1)} mg", f"200 * 0.95^6 = {num(200 * 0.95 ** 6, 2)}")
    assert float(amt) < 200 * 0.95 ** 6 < exact

    a = answer(e, "Section 1.2.8 ")
    def f(x):
        return x * x - 4 * x + 3
    disc = 16 - 12
    roots = sorted(((4 - math.isqrt(disc)) // 2, (4 + math.isqrt(disc)) // 2))
    assert all(f(x) == 0 for x in roots)
    has(a, f"x = {roots[0]} and x = {roots[1]}", f"vertex is ({sum(roots) // 2}, {f(sum(roots) // 2)})")
    for x in range(-1, 6):
        has(a, f"x = {x}, y = {f(x)}\n" if x < 5 else f"x = {x}, y = {f(x)}")

    a = answer(e, "Section 1.2.19 ")
    b3 = Fr(135, 40)
    b = Fr(3, 2)
    assert b ** 3 == b3
    has(a, f"b^3 = 135 / 40 = {num(b3)}", f"y = 40 ({num(b)})^t", f"growth of {num((b - 1) * 100)}%",
        "through " + ", ".join(num(40 * b ** t) for t in range(3)) + f" and {num(40 * b ** 3)}")

    a = answer(e, "Section 1.2.27 ")
    # x^2 - 1 = x + 5  ->  x^2 - x - 6 = 0
    disc = 1 + 24
    xs = ((1 + math.isqrt(disc)) // 2, (1 - math.isqrt(disc)) // 2)
    for x in xs:
        assert x * x - 1 == x + 5
    has(a, f"x = {xs[0]} or x = {xs[1]}.",
        f"Intersection points: ({xs[0]}, {xs[0] + 5}) and ({xs[1]}, {xs[1] + 5}).")


def check_008():
    e = load(8)
    a = answer(e, "f(x) = x^2 + 1 and g(x) = 3x - 2")
    f, g = [1, 0, 1], [-2, 3]
    fg, gf = poly_compose(f, g), poly_compose(g, f)
    assert fg != gf
    def ev(p, x):
        return sum(c * x ** i for i, c in enumerate(p))
    has(a, f"f(g(x)) = (3x - 2)^2 + 1 = 9x^2 - 12x + 4 + 1 = {poly_str(fg)}.",
        f"= {poly_str(gf)}.", f"g(2) = 3 * 2 - 2 = {ev(g, 2)}", f"f({ev(g, 2)}) = 4^2 + 1 = {ev(fg, 2)}",
        f"f(g(0)) = {ev(fg, 0)} but g(f(0)) = {ev(gf, 0)}")

    def F(c):
        return Fr(9, 5) * c + 32

    def C(fah):
        return Fr(5, 9) * (fah - 32)

    a = answer(e, "Section 1.3.12 ")
    assert all(C(F(c)) == c for c in (-40, 0, 25, 100))
    has(a, f"= 45 + 32 = {num(F(25))}", f"= -72 + 32 = {num(F(-40))}", f"C = (5/9)(180) = {num(C(212))}",
        f"gives {num(Fr(5, 9) * 212 - 32, 1)}, not 100")

    a = answer(e, "Section 1.3.15 ")
    slope_f = F(1) - F(0)
    slope_c = C(1) - C(0)
    assert slope_f * slope_c == 1
    c2 = Fr(32) / (2 - Fr(9, 5))  # 2C = (9/5) C + 32
    assert F(c2) == 2 * c2
    has(a, f"slope 9/5 = {num(slope_f)}", f"about {num(slope_c, 3)}", f"is a change of {num(10 * slope_f)} Fahrenheit",
        f"C = {num(c2)}, so F = {num(F(c2))}.")


def check_009():
    e = load(9)
    samples = [Fr(a, b) for a in (-7, -2, 1, 3, 10) for b in (1, 3, 4)]

    a = answer(e, "Section 1.4.6 ")
    def f(x):
        return x * x - 3 * x
    for x in samples:
        for h in (Fr(1, 10), Fr(-2, 3), Fr(5)):
            assert (f(x + h) - f(x)) / h == 2 * x + h - 3
    x, h = Fr(2), Fr(1, 10)
    has(a, "= 2x + h - 3.", f"2 * 2 + 0.1 - 3 = {num(2 * x + h - 3)}.", f"f(2.1) = 4.41 - 6.3 = {num(f(x + h))}",
        f"= {num(f(x + h) - f(x))} / 0.1 = {num((f(x + h) - f(x)) / h)}.")

    a = answer(e, "Section 1.4.9 ")
    for x in samples:
        for h in (Fr(1, 10), Fr(-1, 7), Fr(5)):
            if x + h != 0:
                assert (1 / (x + h) - 1 / x) / h == -1 / (x * (x + h))
    x, h = Fr(2), Fr(1, 2)
    has(a, "= -1 / (x (x + h)), for h not 0.", f"= {num(1 / (x + h) - 1 / x)}, and -0.1 / 0.5 = {num((1 / (x + h) - 1 / x) / h)}",
        f"-1 / (2 * 2.5) = {num(-1 / (x * (x + h)))}.")

    a = answer(e, "Section 1.4.14 ")
    f, g = [0, 0, 1], [1, 2]
    prod = poly_mul(f, g)
    def ev(p, x):
        return sum(c * x ** i for i, c in enumerate(p))
    shifted = poly_add(poly_compose(f, [-2, 1]), [3])
    has(a, f"= 9 + 7 = {ev(f, 3) + ev(g, 3)}.", f"= {poly_str(prod)}.", f"= -2 + 1 = {ev(prod, -1)}.",
        f"= (x - 2)^2 + 3 = {poly_str(shifted)}.", f"h(2) = f(0) + 3 = {ev(shifted, 2)}")
    assert ev(prod, -1) == ev(f, -1) * ev(g, -1)

    a = answer(e, "Section 1.4.20 ")
    grid = [Fr(i, 4) for i in range(-40, 41)]
    y1 = {x: (x - 3) ** 2 + 2 for x in grid}
    low = min(grid, key=lambda x: y1[x])
    y2 = {x: -(x + 1) ** 2 for x in grid}
    high = max(grid, key=lambda x: y2[x])
    has(a, f"to ({num(low)}, {num(y1[low])})", f"highest point is ({num(high)}, {num(y2[high])})")

    a = answer(e, "Section 1.4.27 ")
    def y_of(x):
        return (2 * x + 1) / (x - 3)
    def x_of(y):
        return (3 * y + 1) / (y - 2)
    for y in samples:
        if y != 2:
            assert y_of(x_of(y)) == y
    # y = 2 is never reached: 2x + 1 = 2(x - 3) has no solution
    assert all(2 * x + 1 != 2 * (x - 3) for x in samples)
    x5 = x_of(Fr(5))
    has(a, "x = (3y + 1) / (y - 2), for y not equal to 2.", f"= {x5}.",
        f"2({x5}) + 1 = {2 * x5 + 1} and {x5} - 3 = {x5 - 3}, so y = ({2 * x5 + 1}) / ({x5 - 3}) = {num(y_of(x5))}.")


if __name__ == "__main__":
    check_006()
    check_007()
    check_008()
    check_009()
    print("ok")
