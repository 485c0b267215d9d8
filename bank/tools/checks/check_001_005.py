#!/usr/bin/env python3
"""Recomputes the key results of the given answers in assignments 1, 3, 4 and 5
from the data of their questions, and checks that each answer states them.

Run: python3 check_001_005.py   (prints "ok" when every check passes)
Standard library only.
"""
import math
import os
import sys
from fractions import Fraction as F

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
import bankstat  # noqa: E402  (the content parser of bank/tools)

CONTENT = os.path.join(os.path.dirname(os.path.dirname(HERE)), "content")


# ---------------------------------------------------------------- helpers

def entries(num):
    return [e for e, _ in bankstat.entries_of(os.path.join(CONTENT, f"{num:03d}.txt"))]


def answer_to(ents, q_part):
    """The given answer that follows the question containing q_part."""
    hits = [i for i, e in enumerate(ents) if e.startswith("`q") and q_part in e]
    assert len(hits) == 1, f"question {q_part!r} found {len(hits)} times"
    rest = [e for e in ents[hits[0] + 1:] if e != ""]
    assert rest and rest[0].startswith("`a"), f"no answer after {q_part!r}"
    return rest[0]


def says(ans, *parts):
    for p in parts:
        assert p in ans, f"answer does not state {p!r}: {ans[:70]!r}"


def dec(x, places):
    """x rounded to places decimals, as the answers write it."""
    return f"{x:.{places}f}"


def frac_str(q):
    """Fraction as the answers write it: 7, -2/3, 1/2."""
    q = F(q)
    return str(q.numerator) if q.denominator == 1 else f"{q.numerator}/{q.denominator}"


def num_str(q):
    """Exact decimal of a Fraction with a terminating expansion: 48.02, -1.2, 40."""
    q = F(q)
    if q.denominator == 1:
        return str(q.numerator)
    for places in range(1, 12):
        scaled = q * 10 ** places
        if scaled.denominator == 1:
            return dec(float(q), places)
    raise ValueError(f"{q} has no short decimal")


def poly_eval(coeffs, x):
    """coeffs from the highest power down (Horner)."""
    v = 0
    for c in coeffs:
        v = v * x + c
    return v


def poly_mul(p, q):
    out = [0] * (len(p) + len(q) - 1)
    for i, a in enumerate(p):
        for j, b in enumerate(q):
            out[i + j] += a * b
    return out


def synthetic(coeffs, r):
    """Divides by (x - r); returns (quotient, remainder)."""
    out = [coeffs[0]]
    for c in coeffs[1:]:
        out.append(c + r * out[-1])
    return out[:-1], out[-1]


def from_roots(lead, roots):
    p = [lead]
    for r in roots:
        p = poly_mul(p, [1, -F(r)])
    return p


def exact_root(q, n):
    """n-th root of a non-negative Fraction when it is rational, else None."""
    q = F(q)
    out = []
    for part in (q.numerator, q.denominator):
        r = round(part ** (1.0 / n))
        r = next((c for c in (r - 1, r, r + 1) if c >= 0 and c ** n == part), None)
        if r is None:
            return None
        out.append(r)
    return F(out[0], out[1])


def exact_pow(base, exponent):
    """base^(m/n) for a rational result: n-th root first, then the power."""
    e = F(exponent)
    root = exact_root(base, e.denominator)
    assert root is not None, f"{base}^{e} is not rational"
    return root ** e.numerator


def quad_zeros(a, b, c):
    d = b * b - 4 * a * c
    if d < 0:
        return d, []
    s = math.sqrt(d)
    return d, sorted({(-b - s) / (2 * a), (-b + s) / (2 * a)})


# ---------------------------------------------------------------- assignment 1

def check_001():
    ents = entries(1)

    # x/2 - x/3 > 5: coefficient of x, boundary, direction
    coef = F(1, 2) - F(1, 3)
    assert coef > 0  # multiplying by the denominator keeps the direction
    boundary = 5 / coef
    ans = answer_to(ents, "x/2-x/3>5")
    for x in (boundary - 1, boundary, boundary + F(1, 100), boundary + 7):
        holds = x / 2 - x / 3 > 5
        assert holds == (x > boundary), x
    says(ans, f"x > {frac_str(boundary)}", f"({frac_str(boundary)}, infinity)",
         f"3x - 2x > {6 * 5}\r\nx > {frac_str(boundary)}.", f"x/{frac_str(1 / coef)} > 5")

    # 2x^2 + 1 < 9x - 3  ->  a x^2 + b x + c < 0
    a, b, c = F(2) - 0, F(0) - 9, F(1) - (-3)
    ans = answer_to(ents, "2x^2+1<9x-3")
    says(ans, "2x^2 - 9x + 4 < 0")
    d = b * b - 4 * a * c
    sd = exact_root(d, 2)
    lo, hi = sorted(((-b - sd) / (2 * a), (-b + sd) / (2 * a)))
    assert poly_mul([2, -1], [1, -4]) == [a, b, c]          # (2x - 1)(x - 4)
    says(ans, f"{frac_str(lo)} < x < {frac_str(hi)}", f"({frac_str(lo)}, {frac_str(hi)})",
         f"`sqrt(81 - 32)) / 4 = (9 +- {sd}) / 4")
    # the solution set is exactly the open interval between the zeros
    for k in range(-40, 61):
        x = F(k, 8)
        assert (2 * x * x + 1 < 9 * x - 3) == (lo < x < hi), x
    # test points, vertex, the wrong factoring shown as an error
    for x, val in ((0, "4, positive"), (1, "-3, negative"), (5, "9, positive")):
        assert frac_str(poly_eval([a, b, c], x)) == val.split(",")[0]
        says(ans, f"= {val}")
    xv = -b / (2 * a)
    says(ans, f"x = {frac_str(xv)}", f"= {frac_str(poly_eval([a, b, c], xv))}.")
    wrong = poly_mul([2, -4], [1, -1])
    assert wrong != [a, b, c]
    says(ans, f"2x^2 {'-' if wrong[1] < 0 else '+'} {abs(wrong[1])}x + {wrong[2]}")


# ---------------------------------------------------------------- assignment 3

def check_003():
    ents = entries(3)

    # (x^3 y^(-2))^2 / (x^(-1) y^3) as exponents of x and y
    ex = 3 * 2 - (-1)
    ey = -2 * 2 - 3
    ans = answer_to(ents, "(x^3 y^(-2))^2")
    says(ans, f"x^{ex} y^({ey})", f"x^{ex} / y^{-ey}")
    for x, y in ((F(2), F(1)), (F(3), F(5)), (F(-1, 2), F(7, 3))):
        lhs = (x ** 3 * y ** -2) ** 2 / (x ** -1 * y ** 3)
        assert lhs == x ** ex * y ** ey
    says(ans, f"= {(F(2) ** 3 * 1) ** 2 / (F(1, 2))}", f"2^{ex} = {2 ** ex}")

    # exact values with fractional exponents
    vals = [exact_pow(8, F(2, 3)), exact_pow(16, F(-3, 4)),
            exact_pow(F(1, 27), F(-1, 3)), exact_pow(9, F(1, 2)) * exact_pow(9, F(-3, 2))]
    ans = answer_to(ents, "8^(2/3)")
    shown = ", ".join(frac_str(v) for v in vals[:3]) + " and " + frac_str(vals[3])
    says(ans, f"the values are {shown}")
    assert all(abs(float(v) - w) < 1e-12 for v, w in
               zip(vals, (8 ** (2 / 3), 16 ** -0.75, (1 / 27) ** (-1 / 3), 9 ** 0.5 * 9 ** -1.5)))

    # 3/sqrt(x) - 2x^2 sqrt(x) + 5/x^3 + (x^2 + 1)/x as powers of x
    def original(x):
        return 3 / math.sqrt(x) - 2 * x * x * math.sqrt(x) + 5 / x ** 3 + (x * x + 1) / x

    def powers(x):
        return 3 * x ** -0.5 - 2 * x ** 2.5 + 5 * x ** -3 + x + x ** -1

    for x in (0.3, 1.0, 2.7, 4.0, 9.5):
        assert math.isclose(original(x), powers(x), rel_tol=1e-12)
    ans = answer_to(ents, "as a sum of terms")
    says(ans, "3x^(-1/2) - 2x^(5/2) + 5x^(-3) + x + x^(-1)", f"{original(4.0)}")

    # x^(3/2) - x^(1/2) = x^(1/2)(x - 1); 2x^(-1/2) + 4x^(1/2) = 2(1 + 2x)/sqrt(x)
    for x in (0.25, 1.0, 2.0, 4.0, 7.5):
        assert math.isclose(x ** 1.5 - x ** 0.5, x ** 0.5 * (x - 1), abs_tol=1e-12)
        assert math.isclose(2 * x ** -0.5 + 4 * x ** 0.5, 2 * (1 + 2 * x) / math.sqrt(x))
    squares = [x for x in (F(k, 4) for k in range(0, 41)) if exact_root(x, 2) is not None]
    zeros = [x for x in squares if exact_pow(x, F(3, 2)) - exact_pow(x, F(1, 2)) == 0]
    assert zeros == [0, 1]
    ans = answer_to(ents, "x^(3/2) - x^(1/2)")
    says(ans, "x^(1/2)(x - 1), with zeros x = 0 and x = 1", "2x^(-1/2)(1 + 2x)",
         f"= {int(2 * 4 ** -0.5 + 4 * 4 ** 0.5)}, and 2*(1 + 8)/2 = {2 * (1 + 8) // 2}")


# ---------------------------------------------------------------- assignment 4

def check_004_rates():
    ents = entries(4)

    def y1(t):
        return F(2, 100) * t * t - F(24, 10) * t + 72

    # Q: depths at 0, 20, 40 and average rates
    ans = answer_to(ents, "draining cylinder")
    d = {t: y1(t) for t in (0, 20, 40)}
    r1, r2, whole = (d[20] - d[0]) / 20, (d[40] - d[20]) / 20, (d[40] - d[0]) / 40
    assert whole == (r1 + r2) / 2
    says(ans, f"depths are {d[0]}, {d[20]} and {d[40]} cm",
         f"average rates are {num_str(r1)} cm/s and {num_str(r2)} cm/s", f"= {num_str(whole)} cm/s")

    # Q: data table, rates on each interval
    ts, ys = [0, 10, 20, 30], [80, 62, 47, 35]
    rates = [F(ys[i + 1] - ys[i], ts[i + 1] - ts[i]) for i in range(3)]
    whole = F(ys[-1] - ys[0], ts[-1] - ts[0])
    assert whole == sum(rates) / 3
    assert rates[1] - rates[0] == rates[2] - rates[1] == F(3, 10)
    ans = answer_to(ents, "read every 10 s")
    says(ans, "rates are " + ", ".join(num_str(r) for r in rates[:2]) + f" and {num_str(rates[2])} cm/s",
         f"{num_str(whole)} cm/s over the whole time", f"about {num_str(rates[1])} cm/s at t = 15 s",
         f"by {num_str(rates[1] - rates[0])} cm/s")

    # Q: shrinking intervals around t = 10 for y = 0.02 (t - 60)^2
    def y3(t):
        return F(2, 100) * (t - 60) ** 2

    assert all(y3(t) == y1(t) for t in range(0, 61, 7))  # the two formulas agree
    ans = answer_to(ents, "0.02 (t - 60)^2 cm for")
    t0 = F(10)
    right1 = (y3(11) - y3(t0)) / 1
    right = (y3(F(101, 10)) - y3(t0)) / F(1, 10)
    left = (y3(t0) - y3(F(99, 10))) / F(1, 10)
    exact = F(4, 100) * (t0 - 60)  # the derivative of y3 at 10
    assert left < exact < right and right - exact == exact - left
    says(ans, f"= {num_str(y3(11))} cm", f"= {num_str(y3(F(101, 10)))} cm", f"= {num_str(right1)} cm/s",
         f"= {num_str(right)} cm/s", f"= {num_str(left)} cm/s", f"estimate it as {num_str(exact)} cm/s")

    # Q: y = 100 - 8t + 0.16 t^2 = 0.16 (t - 25)^2
    def y4(t):
        return 100 - 8 * t + F(16, 100) * t * t

    empty = [t for t in range(0, 60) if y4(t) == 0]
    assert empty == [25] and all(y4(t) == F(16, 100) * (t - 25) ** 2 for t in range(0, 26))
    first, last, allr = (y4(5) - y4(0)) / 5, (y4(25) - y4(20)) / 5, (y4(25) - y4(0)) / 25
    assert first / last == 9
    ans = answer_to(ents, "y = 100 - 8t + 0.16 t^2")
    says(ans, "empty after 25 minutes", f"rates are {num_str(first)}, {num_str(last)} and {num_str(allr)} cm/min",
         "nine times", f"{num_str(F(100, 8))} minutes")


def check_004_exponential():
    ents = entries(4)

    # town: 2400 * 1.06^t
    ans = answer_to(ents, "2400 residents")
    says(ans, f"{round(2400 * 1.06 ** 10)} residents", f"= {dec(math.log(2) / math.log(1.06), 2)} years",
         f"= {2400 + 10 * 144} after", f"that is {round(2400 * 0.06)}")

    # bacteria doubling every 8 hours
    ans = answer_to(ents, "doubles every 8 hours")
    b = 2 ** (1 / 8)
    says(ans, f"= {round(500 * 2 ** 2.5)} cells", f"= {dec(b, 4)}", f"about {dec(100 * (b - 1), 2)}% per hour",
         f"1.125^8 = {dec(1.125 ** 8, 2)}")

    # tracer, half-life 12 days
    ans = answer_to(ents, "half-life of 12 days")
    amount, days = 80.0, 0
    while amount > 10:
        amount, days = amount / 2, days + 12
    b = 0.5 ** (1 / 12)
    says(ans, f"= {dec(80 * 0.5 ** 2.5, 2)} mg", f"after {days} days", f"= {dec(b, 4)}",
         f"about {dec(100 * (1 - b), 2)}% per day", f"0.9583^12 = {dec(round(1 - 0.5 / 12, 4) ** 12, 2)}")

    # drug: 200 mg -> 150 mg in 4 h
    ans = answer_to(ents, "in a patient's blood")
    T = 4 * math.log(0.5) / math.log(150 / 200)
    says(ans, f"about {dec(T, 2)} hours", f"= {num_str(F(200) * F(3, 4) ** 3)} mg")
    assert T > 8  # longer than the linear estimate, as the answer says

    # account at 4.5%
    ans = answer_to(ents, "4.5% interest")
    year = next(n for n in range(1, 100) if 1.045 ** n >= 2)
    says(ans, f"= {dec(math.log(2) / math.log(1.045), 2)} years", f"end of year {year}",
         f"1.045^{year - 1} = {dec(1.045 ** (year - 1), 3)}", f"1.045^{year} = {dec(1.045 ** year, 3)}",
         f"70 / 4.5 = {dec(70 / 4.5, 2)}")

    # y = A b^x through two points; also the insect counts
    for q_part, (x1, y1), (x2, y2), x_eval in (("(1, 12) and (3, 48)", (1, 12), (3, 48), 5),
                                               ("(2, 50) and (5, 3.2)", (2, 50), (5, F(32, 10)), None),
                                               ("population of insects", (1, 3000), (3, 6750), 6)):
        bb = exact_root(F(y2) / F(y1), x2 - x1)
        A = F(y1) / bb ** x1
        assert A * bb ** x2 == y2
        ans = answer_to(ents, q_part)
        says(ans, f"b = {num_str(bb)}", f"{num_str(A)} * {num_str(bb)}^")
        if x_eval is not None:
            says(ans, num_str(A * bb ** x_eval))
        if bb > 1:
            says(ans, f"{round(100 * (bb - 1))}% per week" if "insects" in q_part else f"A = {num_str(A)}")
        if "insects" in q_part:
            says(ans, f"= {dec(math.log(2) / math.log(float(bb)), 2)} weeks")
        if bb < 1:
            says(ans, f"= {dec(math.log(0.5) / math.log(float(bb)), 4)}", "decay")

    # Q = 40 e^(0.05 t)
    ans = answer_to(ents, "40 e^(0.05 t)")
    says(ans, f"b = e^0.05 = {dec(math.exp(0.05), 5)}", f"about {dec(100 * (math.exp(0.05) - 1), 2)}% per year",
         f"= {dec(math.log(2) / 0.05, 2)} years")
    assert math.isclose(math.log(2) / math.log(math.exp(0.05)), math.log(2) / 0.05)

    # leaking tank, 8% per minute
    ans = answer_to(ents, "leaking tank")
    y10 = 90 * 0.92 ** 10
    says(ans, f"= {dec(math.log(0.5) / math.log(0.92), 2)} minutes", f"= {dec(y10, 2)} cm",
         f"= {dec((y10 - 90) / 10, 2)} cm/min", f"{dec(0.08 * 90, 1)} cm")


def check_004_zeros():
    ents = entries(4)

    # factorable polynomials: the stated zeros rebuild the polynomial exactly
    cases = (("x^2 - 5x - 14 by", [1, -5, -14], 1, [7, -2]),
             ("6x^2 + x - 2 = 0", [6, 1, -2], 6, [F(-2, 3), F(1, 2)]),
             ("x^3 - 4x^2 - 12x.", [1, -4, -12, 0], 1, [-2, 0, 6]),
             ("x^3 + 3x^2 - 4x - 12", [1, 3, -4, -12], 1, [-3, -2, 2]),
             ("2x^3 - 3x^2 - 11x + 6", [2, -3, -11, 6], 2, [3, F(1, 2), -2]),
             ("x^4 - 13x^2 + 36", [1, 0, -13, 0, 36], 1, [-3, -2, 2, 3]),
             ("x^3 - 7x + 6", [1, 0, -7, 6], 1, [1, 2, -3]))
    for q_part, coeffs, lead, zeros in cases:
        assert from_roots(lead, zeros) == coeffs, q_part
        ans = answer_to(ents, q_part)
        for z in zeros:
            assert poly_eval(coeffs, z) == 0
            says(ans, frac_str(z))

    # rational root test: exactly the stated zeros among the candidates
    p = [2, -3, -11, 6]
    cands = {F(s * a, b) for a in (1, 2, 3, 6) for b in (1, 2) for s in (1, -1)}
    assert {c for c in cands if poly_eval(p, c) == 0} == {3, F(1, 2), -2}
    ans = answer_to(ents, "rational root test")
    for x in (1, -1, 2, 3):
        says(ans, f"f({x}) = ")
        stated = ans.split(f"f({x}) = ")[1].split("\r\n")[0].split(" = ")[-1].rstrip(".")
        assert stated == str(poly_eval(p, x)), (x, stated)
    q, r = synthetic(p, 3)
    assert r == 0
    says(ans, "gives " + ", ".join(str(c) for c in q) + " and remainder 0")
    q, r = synthetic([1, 0, -7, 6], 1)
    assert r == 0
    says(answer_to(ents, "x^3 - 7x + 6"), "gives " + ", ".join(str(c) for c in q) + " with remainder 0")

    # quadratic formula
    ans = answer_to(ents, "quadratic formula to find")
    d, zs = quad_zeros(2, -4, -3)
    assert d == 40 and all(math.isclose(z, 1 + s * math.sqrt(10) / 2) for z, s in zip(zs, (-1, 1)))
    says(ans, f"= {d}.", f"= {dec(zs[1], 3)}", f"= {dec(zs[0], 3)}", "1 +- `sqrt(10) / 2")

    # discriminants
    ans = answer_to(ents, "Use the discriminant")
    for coeffs, zeros in (([1, 2, 5], []), ([1, -6, 9], [3]), ([3, -2, -1], [F(-1, 3), 1])):
        d = coeffs[1] ** 2 - 4 * coeffs[0] * coeffs[2]
        says(ans, f"= {d}")
        assert len(zeros) == (2 if d > 0 else 1 if d == 0 else 0)
        for z in zeros:
            assert poly_eval(coeffs, z) == 0
            says(ans, frac_str(z))
    assert min(poly_eval([1, 2, 5], F(k, 10)) for k in range(-50, 50)) == 4

    # depth 32 cm: t^2 - 120 t + 2000 = 0, only one root in the domain
    ans = answer_to(ents, "When is the depth 32 cm")
    scaled = [F(2, 100) * 50, F(-24, 10) * 50, (72 - 32) * 50]
    assert scaled == [1, -120, 2000]
    _, ts = quad_zeros(*scaled)
    assert ts == [20, 100] and [t for t in ts if 0 <= t <= 60] == [20]
    says(ans, "t = 20 or t = 100", "32 cm at t = 20 seconds", "14400 - 8000")


# ---------------------------------------------------------------- assignment 5

def check_005():
    ents = entries(5)

    # straight rate graph from (0, 6) to (10, 2)
    ans = answer_to(ents, "(0, 6) to the point (10, 2)")
    slope = F(2 - 6, 10 - 0)
    area = F(6 + 2, 2) * 10
    says(ans, f"slope is {num_str(slope)} liters/minute per minute", f"area is {area} liters",
         f"25 + {area} = {25 + area} liters")

    # rate table -4, -3, -1.5 at 0, 5, 10 minutes
    ans = answer_to(ents, "rate (cm/min)")
    ts, rs = [0, 5, 10], [F(-4), F(-3), F(-3, 2)]
    slopes = [(rs[i + 1] - rs[i]) / (ts[i + 1] - ts[i]) for i in range(2)]
    areas = [(rs[i] + rs[i + 1]) / 2 * (ts[i + 1] - ts[i]) for i in range(2)]
    total = sum(areas)
    for s in slopes:
        says(ans, f"{num_str(s)} cm/min per minute")
    for a in areas:
        says(ans, f"gives {num_str(a)} cm")
    says(ans, f"= {num_str(total)} cm", f"60 - {num_str(-total)} = {num_str(60 + total)} cm")

    # 2/(x - 1) + 3/(x + 2) = (5x + 1)/((x - 1)(x + 2))
    ans = answer_to(ents, "2/(x - 1) + 3/(x + 2)")
    for x in (F(2), F(-5), F(1, 3), F(7, 2)):
        assert F(2) / (x - 1) + F(3) / (x + 2) == (5 * x + 1) / ((x - 1) * (x + 2))
    assert poly_mul([1, -1], [1, 2]) == [1, 1, -2]
    x = F(2)
    says(ans, "(5x + 1) / ((x - 1)(x + 2))", "(5x + 1) / (x^2 + x - 2)",
         f"= {num_str(2 / (x - 1) + 3 / (x + 2))}", f"that is {num_str(5 / (2 * x + 1))}")

    # (x^2 - 9)/(x^2 + x - 6) and the rationalised difference quotient
    ans = answer_to(ents, "(x^2 - 9) / (x^2 + x - 6)")
    assert poly_mul([1, -3], [1, 3]) == [1, 0, -9] and poly_mul([1, 3], [1, -2]) == [1, 1, -6]
    for x in (F(1), F(0), F(5), F(-1, 2)):
        assert (x * x - 9) / (x * x + x - 6) == (x - 3) / (x - 2)
    says(ans, f"= {num_str((F(1) - 9) / (1 + 1 - 6))}, and", "(x - 3) / (x - 2)", "not equal to -3")
    for x, h in ((4.0, 5.0), (2.0, 0.5), (9.0, -1.0), (1.0, 1e-3)):
        assert math.isclose((math.sqrt(x + h) - math.sqrt(x)) / h, 1 / (math.sqrt(x + h) + math.sqrt(x)),
                            rel_tol=1e-9)
    says(ans, f"= {(3 - 2) / 5}, and 1 / (3 + 2) = {1 / (3 + 2)}", "1 / (2 `sqrt(x))")


if __name__ == "__main__":
    check_001()
    check_003()
    check_004_rates()
    check_004_exponential()
    check_004_zeros()
    check_005()
    print("ok")
