#!/usr/bin/env python3
"""Recomputes the results stated in the given answers of assignments 10 to 14
and checks that the answer texts state them.

Each problem's data (zeros, coefficients, points, step sizes) is entered here;
the results are computed from the data with exact fractions, turned into text
the way the answers write them, and looked up in the answer belonging to the
question (found by its section number or a phrase of the question). A wrong
number in an answer, or an answer that no longer follows its question, fails.
The file layout (counts, closing prompt, question lengths) is checked as well.

Run: python3 check_010_014.py   (prints "ok")
"""
import math
import os
import sys
from fractions import Fraction as F

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.dirname(HERE)
CONTENT = os.path.join(os.path.dirname(TOOLS), "content")
sys.path.insert(0, TOOLS)
from bankstat import entries_of, kind_of, stats  # noqa: E402


# ---------------------------------------------------------------- text access

_cache = {}


def entries(num):
    if num not in _cache:
        path = os.path.join(CONTENT, f"{num:03d}.txt")
        _cache[num] = [e for e, _ in entries_of(path)]
    return _cache[num]


def answer(num, key):
    """Text of the given answer(s) directly following the one question that
    contains key (empty entries skipped; consecutive answers joined)."""
    ents = [e for e in entries(num) if e]
    hits = [i for i, e in enumerate(ents) if kind_of(e) == "Q" and key in e]
    assert len(hits) == 1, f"{num:03d}: {len(hits)} questions contain {key!r}"
    parts = []
    for e in ents[hits[0] + 1:]:
        if kind_of(e) != "A":
            break
        parts.append(e)
    assert parts, f"{num:03d}: no answer after question {key!r}"
    return "\r\n".join(parts)


def has(text, *needles):
    """Each needle occurs in text; a needle ending in a digit must not go on
    with more digits there ("= 100" does not match "= 1000" or "= 100.5")."""
    for s in needles:
        at, found = text.find(s), False
        while at >= 0 and not found:
            rest = text[at + len(s):at + len(s) + 2]
            found = not (s[-1].isdigit() and rest[:1].isdigit()
                         or s[-1].isdigit() and rest[:1] == "." and rest[1:].isdigit())
            at = text.find(s, at + 1)
        assert found, f"answer lacks {s!r}:\n{text[:200]!r}..."


# ---------------------------------------------------------------- numbers

def dec(q):
    """Exact decimal text of a fraction whose denominator has only the factors
    2 and 5 (11.994001, -0.07, 25); 'p/q' for any other fraction."""
    q = F(q)
    for places in range(0, 40):
        scaled = q * 10 ** places
        if scaled.denominator == 1:
            if places == 0:
                return str(q.numerator)
            digits = str(abs(scaled.numerator)).rjust(places + 1, "0")
            return ("-" if q < 0 else "") + digits[:-places] + "." + digits[-places:]
    return frac(q)


def frac(q):
    q = F(q)
    return str(q.numerator) if q.denominator == 1 else f"{q.numerator}/{q.denominator}"


# ---------------------------------------------------------------- polynomials

class Poly:
    """Polynomial with Fraction coefficients, c[k] belongs to x^k."""

    def __init__(self, coeffs):
        c = [F(a) for a in coeffs]
        while len(c) > 1 and c[-1] == 0:
            c.pop()
        self.c = c

    @staticmethod
    def from_zeros(zeros):
        p = Poly([1])
        for r in zeros:
            p = p * Poly([-F(r), 1])
        return p

    def __mul__(self, o):
        if not isinstance(o, Poly):
            return Poly([a * F(o) for a in self.c])
        out = [F(0)] * (len(self.c) + len(o.c) - 1)
        for i, a in enumerate(self.c):
            for j, b in enumerate(o.c):
                out[i + j] += a * b
        return Poly(out)

    __rmul__ = __mul__

    def __add__(self, o):
        n = max(len(self.c), len(o.c))
        return Poly([(self.c[i] if i < len(self.c) else 0) + (o.c[i] if i < len(o.c) else 0)
                     for i in range(n)])

    def __sub__(self, o):
        return self + o * -1

    def __call__(self, x):
        v = F(0)
        for a in reversed(self.c):
            v = v * x + a
        return v

    def deriv(self):
        return Poly([k * a for k, a in enumerate(self.c)][1:] or [0])

    def div_linear(self, r):
        """Quotient by (x - r), asserting the remainder is 0."""
        out = []
        acc = F(0)
        for a in reversed(self.c):
            acc = acc * r + a
            out.append(acc)
        assert out[-1] == 0, "not divisible"
        return Poly(list(reversed(out[:-1])) or [0])

    def compose(self, inner):
        """self(inner(x)) as a polynomial."""
        out = Poly([0])
        for a in reversed(self.c):
            out = out * inner + Poly([a])
        return out

    def degree(self):
        return len(self.c) - 1

    def text(self, var="x", ascending=False):
        order = range(len(self.c)) if ascending else range(len(self.c) - 1, -1, -1)
        terms = [(k, self.c[k]) for k in order if self.c[k] != 0]
        if not terms:
            return "0"
        out = ""
        for n, (k, a) in enumerate(terms):
            mag = dec(abs(a))
            if k > 0 and abs(a) == 1:
                mag = ""
            mono = "" if k == 0 else (var if k == 1 else f"{var}^{k}")
            sign = ("-" if a < 0 else "") if n == 0 else (" - " if a < 0 else " + ")
            out += sign + mag + mono
        return out


X = Poly([0, 1])


def diff_quotient(p):
    """(p(x + h) - p(x)) / h as {(i, j): coeff} for x^i h^j."""
    out = {}
    for k, a in enumerate(p.c):
        for j in range(1, k + 1):
            key = (k - j, j - 1)
            out[key] = out.get(key, 0) + a * math.comb(k, j)
    return {key: v for key, v in out.items() if v != 0}


def biv_text(terms):
    keys = sorted(terms, key=lambda ij: (-(ij[0] + ij[1]), -ij[0]))
    out = ""
    for n, key in enumerate(keys):
        a = terms[key]
        i, j = key
        mono = ("" if i == 0 else "x" if i == 1 else f"x^{i}") + \
               ("" if j == 0 else "h" if j == 1 else f"h^{j}")
        mag = "" if (mono and abs(a) == 1) else dec(abs(a))
        sign = ("-" if a < 0 else "") if n == 0 else (" - " if a < 0 else " + ")
        out += sign + mag + mono
    return out


def limit_rational(num, den, c):
    """Limit of num/den at c: cancels common factors (x - c); None when the
    denominator still vanishes and the numerator does not (no finite limit)."""
    while num(c) == 0 and den(c) == 0:
        num, den = num.div_linear(c), den.div_linear(c)
    if den(c) == 0:
        return None
    return num(c) / den(c)


def exact_sqrt(q):
    q = F(q)
    a, b = math.isqrt(q.numerator), math.isqrt(q.denominator)
    assert a * a == q.numerator and b * b == q.denominator, f"{q} is not a square"
    return F(a, b)


def check_layout():
    quotas = {
        10: dict(entries=35, Q=7, A=6, U=1, E=20, Q_breaks=1, A_breaks=5, Q_blank=2,
                 A_blank=6, A_end_stars=6, A_has_stars=6),
        11: dict(entries=23, Q=3, A=3, U=2, E=14, Q_breaks=0, A_breaks=2, Q_blank=1,
                 A_blank=3, A_end_stars=3, A_has_stars=3),
        12: dict(entries=45, Q=9, A=10, U=2, E=23, Q_breaks=1, A_breaks=7, Q_blank=2,
                 A_blank=10, A_end_stars=8, A_has_stars=8),
        13: dict(entries=24, Q=5, A=5, U=0, E=13, Q_breaks=1, A_breaks=4, Q_blank=1,
                 A_blank=4, A_end_stars=5, A_has_stars=5),
        14: dict(entries=17, Q=4, A=4, U=1, E=7, Q_breaks=0, A_breaks=3, Q_blank=1,
                 A_blank=4, A_end_stars=4, A_has_stars=4),
    }
    closing = {10: True, 11: True, 12: True, 13: False, 14: False}
    for num, want in quotas.items():
        ents = entries(num)
        s = stats([(e, 0) for e in ents])
        got = {k: s[k] for k in want}
        assert got == want, f"{num:03d}: counts {got} != {want}"
        assert ents[0] == f"{num:03d}.  `query {num}", f"{num:03d}: heading {ents[0]!r}"
        assert s["longest_q"] <= 280 and s["longest"] < 3017 and s["most_breaks"] < 64
        assert not s["non_ascii"], f"{num:03d}: non-ASCII {s['non_ascii']}"
        run = 0
        for e in ents[1:]:
            run = run + 1 if e == "" else 0
            assert run <= 5, f"{num:03d}: more than 5 empty entries in a row"
            assert "{}" not in e and not e.startswith("\r\n") and not e.endswith("\r\n")
            k = kind_of(e)
            assert k != "H", f"{num:03d}: second heading"
            if k == "Q":
                assert "**" not in e, f"{num:03d}: '**' in a question"
            if k in "QA":
                assert not e[2:5].isdigit(), f"{num:03d}: digits right after a marker"
        untagged = [e for e in ents if kind_of(e) == "U"]
        last = [e for e in ents if e][-1]
        is_closing = last.lstrip(" *").startswith("Add comments on any surprises or insights")
        assert is_closing == closing[num], f"{num:03d}: closing prompt"
        for e in untagged:
            assert e == " " or (e is last and is_closing), f"{num:03d}: stray untagged {e!r}"


# ---------------------------------------------------------------- 010

def check_010():
    # cubic with zeros -2, 1, 3 through (2, 12)
    a1 = answer(10, "zeros are x = -2, x = 1 and x = 3")
    monic = Poly.from_zeros([-2, 1, 3])
    a = F(12) / monic(2)
    p = monic * a
    assert p(2) == 12 and all(p(r) == 0 for r in (-2, 1, 3)) and p.degree() == 3
    has(a1, f"so a = {frac(a)}", f"= {monic.text()}.", f"p(x) = {p.text()}.",
        f"passes through (2, {frac(monic(2))})", f"= {frac(p(1))}.")
    # double zero at 1, simple zero at -3, through (2, 10)
    a2 = answer(10, "double zero")
    monic = Poly.from_zeros([1, 1, -3])
    a = F(10) / monic(2)
    p = monic * a
    assert p.deriv()(1) == 0 and p(1) == 0 and p(-3) == 0 and p.deriv()(-3) != 0
    has(a2, f"so a = {frac(a)}", f"= {monic.text()}\r\n", f"p(x) = {p.text()}.",
        f"The degree is {p.degree()}", f"y-intercept is p(0) = {frac(p(0))}")
    # the question meant for the student's own work has no given answer
    ents = [e for e in entries(10) if e]
    i = [k for k, e in enumerate(ents) if "y-intercept 16" in e]
    assert len(i) == 1 and kind_of(ents[i[0] + 1]) == "Q"

    # 1.5.6 table for (x^3 - 8) / (x - 2)
    a4 = answer(10, "Section 1.5.6 ")
    num, den = X * X * X - Poly([8]), X - Poly([2])
    for s in ("1.9", "1.99", "1.999", "2.001", "2.01", "2.1"):
        x = F(s)
        has(a4, f"x = {s}: f(x) = {dec(num(x) / den(x))}\r\n")
    lim = limit_rational(num, den, 2)
    has(a4, f"lim (x -> 2) f(x) = {frac(lim)}.", f"f(x) = {num.div_linear(2).text()},")

    # 1.5.14 direct substitution
    a5 = answer(10, "Section 1.5.14 ")
    num, den = Poly([5, -2, 0, 3]), Poly([4, 0, 1])
    assert den(-1) != 0
    has(a5, f"= -3 + 2 + 5 = {frac(num(-1))}", f"= {frac(den(-1))};",
        f"the limit is {frac(num(-1) / den(-1))}.")
    root = exact_sqrt(2 * 2 ** 2 + 1)
    has(a5, f"= {frac(root)} and the factor (x - 4) tends to {frac(2 - 4)}",
        f"the limit is {frac(root)} * ({frac(2 - 4)}) = {frac(root * (2 - 4))}.")

    # 1.5.22 factoring
    a6 = answer(10, "Section 1.5.22 ")
    la = limit_rational(Poly([-12, -1, 1]), Poly([-16, 0, 1]), 4)
    lb = limit_rational(Poly([-6, 1, 1]), Poly([0, 3, 1]), -3)
    lc = limit_rational(Poly([1, 0, 1]), Poly([-1, 1]), 1)
    has(a6, f"lim (x -> 4) (x + 3) / (x + 4) = {frac(la)}.",
        f"lim (x -> -3) (x - 2) / x = (-5) / (-3) = {frac(lb)}.")
    assert lc is None
    g = lambda x: (x * x + 1) / (x - 1)  # noqa: E731
    assert g(F("1.001")) > 1000 and g(F("0.999")) < -1000
    has(a6, "numerator tends to 2", "So the limit does not exist.")

    # 1.5.30 rationalising
    a7 = answer(10, "Section 1.5.30 ")
    la = 1 / (exact_sqrt(9) + 3)
    f = lambda x: (math.sqrt(x + 9) - 3) / x  # noqa: E731
    assert abs(f(1e-7) - la) < 1e-6 and abs(f(-1e-7) - la) < 1e-6
    lb = exact_sqrt(4) + 2
    g = lambda x: (x - 4) / (math.sqrt(x) - 2)  # noqa: E731
    assert abs(g(4 + 1e-9) - lb) < 1e-6 and abs(g(4 - 1e-9) - lb) < 1e-6
    has(a7, f"= 1 / (3 + 3) = {frac(la)}.", f"= 2 + 2 = {frac(lb)}.",
        f"about {f(0.01):.5f}", f"1/6 = {float(la):.5f}")


# ---------------------------------------------------------------- 011

def check_011():
    a1 = answer(11, "Section 1.6.8 ")
    num, den = Poly([-4, 0, 1]), Poly([6, -5, 1])
    disc = den.c[1] ** 2 - 4 * den.c[2] * den.c[0]
    r = sorted(((-den.c[1] + s * exact_sqrt(disc)) / (2 * den.c[2]) for s in (-1, 1)))
    has(a1, f"gives x = {frac(r[0])} and x = {frac(r[1])}.")
    removable = [x for x in r if limit_rational(num, den, x) is not None]
    assert removable == [2]
    has(a1, f"defining f(2) = {frac(limit_rational(num, den, 2))} fills the hole")
    assert limit_rational(num, den, 3) is None
    has(a1, "the discontinuity is not removable")

    # k x^2 - 3 (x < c) and 3x + k (x >= c) meet at c = 2
    a2 = answer(11, "Section 1.6.20 ")
    c = 2
    k = F(3 * c + 3, c * c - 1)
    assert k * c * c - 3 == 3 * c + k
    has(a2, f"k = {frac(k)}.", f"at the point ({c}, {frac(3 * c + k)})",
        f"= {frac(c * c)}k - 3.")

    # copy shop: 0.25 per copy up to 100, 0.20 on the whole order above
    a3 = answer(11, "Section 1.6.28 ")
    low, high, brk = F("0.25"), F("0.20"), 100
    left, right = low * brk, high * brk
    assert left != right
    has(a3, f"C(100) = 0.25 * 100 = {dec(left)}", f"approach 0.20 * 100 = {dec(right)}",
        f"drops by ${dec(left - right)}", f"0.20 * 101 = ${float(high * 101):.2f}")
    cheaper = [n for n in range(brk + 1, 1000) if high * n < left]
    assert cheaper == list(range(brk + 1, cheaper[-1] + 1))
    has(a3, f"from {brk + 1} to {cheaper[-1]} copies", f"x < {cheaper[-1] + 1}.")


# ---------------------------------------------------------------- 012

def check_012():
    a1 = answer(12, "Section 2.1.4 ")
    f = Poly([2, -5, 3])
    dq = diff_quotient(f)
    top = {(i, j + 1): v for (i, j), v in dq.items()}
    has(a1, f"f(x + h) - f(x) = {biv_text(top)}.", f"= {biv_text(dq)}.",
        f"= {f.deriv().text()}.", f"f'(1) = 6 - 5 = {frac(f.deriv()(1))}.")

    a2 = answer(12, "Section 2.1.8 ")
    f = lambda x: 1 / (x + 2)  # noqa: E731
    claimed = lambda x: F(-1) / (x + 2) ** 2  # noqa: E731
    for x in (F(-1), F(0), F(3, 2), F(5)):
        for h in (F(1), F(1, 10), F(-1, 7)):
            assert (f(x + h) - f(x)) / h == F(-1) / ((x + h + 2) * (x + 2))
        h = F(1, 10 ** 9)
        assert abs((f(x + h) - f(x)) / h - claimed(x)) < F(1, 10 ** 6)
    has(a2, "f'(x) = -1 / (x + 2)^2.",
        f"f'(0) = {frac(claimed(0))} and f'(2) = {frac(claimed(2))}.")

    a3 = answer(12, "Section 2.1.12 ")
    for x, want in ((9, 1 / (2 * exact_sqrt(9))), (100, 1 / (2 * exact_sqrt(100)))):
        h = 1e-7
        assert abs((math.sqrt(x + h) - math.sqrt(x)) / h - want) < 1e-6
    has(a3, "f'(x) = 1 / (`sqrt(x) + `sqrt(x)) = 1 / (2`sqrt(x)).",
        f"f'(9) = 1 / (2 * 3) = {frac(1 / (2 * exact_sqrt(9)))}.",
        f"only {frac(1 / (2 * exact_sqrt(100)))})")

    a4 = answer(12, "Section 2.1.16 ")
    f = Poly([0, -2, 0, 1])
    m, y0 = f.deriv()(2), f(2)
    tangent = Poly([y0 - 2 * m, m])
    has(a4, f"(f(x + h) - f(x)) / h = {biv_text(diff_quotient(f))}.",
        f"f'(x) = {f.deriv().text()}.", f"f'(2) = 12 - 2 = {frac(m)}.",
        f"= (2, {frac(y0)}), and has slope {frac(m)}", f"that is y = {tangent.text()}.")

    a5 = answer(12, "Section 2.1.20 ")
    f = Poly([0, 1, 1])
    lines = a5.split("\r\n")
    for h in (F(1), F("0.1"), F("0.01")):
        row = [ln for ln in lines if ln.startswith(f"h = {dec(h)}:")]
        assert len(row) == 1, f"no table row for h = {h}"
        slope = (f(1 + h) - f(1)) / h
        assert f"f({dec(1 + h)}) = " in row[0] and f"= {dec(f(1 + h))}, slope " in row[0], row[0]
        assert row[0].endswith(f"= {dec(slope)}"), row[0]
    in_h = f.compose(Poly([1, 1]))  # f(1 + h) as a polynomial in h
    assert all(in_h(F(t)) == f(1 + F(t)) for t in range(-3, 4))
    step = in_h - Poly([f(1)])
    has(a5, f"= {in_h.text('h', ascending=True)},",
        f"= ({step.text('h', ascending=True)}) / h = {Poly(step.c[1:]).text('h', True)},",
        f"f'(1) = lim (h -> 0) ({Poly(step.c[1:]).text('h', True)}) = {frac(f.deriv()(1))}.",
        f"The slopes approach {frac(f.deriv()(1))}.")

    a6 = answer(12, "Section 2.1.26 ")
    f = lambda x: F(4) / x  # noqa: E731
    for h in (F(1), F(1, 3), F(-1, 5)):
        assert (f(2 + h) - f(2)) / h == F(-2) / (2 + h)
    m = F(-2) / 2
    tangent = Poly([f(2) - 2 * m, m])
    has(a6, f"f'(2) = -2/2 = {frac(m)}.", f"that is y = {tangent.text()}.")
    meet = Poly([4]) - X * tangent  # 4/x = line, times x
    assert meet.c[1] ** 2 - 4 * meet.c[2] * meet.c[0] == 0 and meet(2) == 0
    has(a6, f"leads to {meet.text()} = 0")

    a7 = answer(12, "Section 2.1.30 ")
    f = lambda x: abs(x - 3)  # noqa: E731
    right = {(f(3 + h) - f(3)) / h for h in (F(1, 10), F(1, 1000), F(1, 10 ** 6))}
    left = {(f(3 + h) - f(3)) / h for h in (F(-1, 10), F(-1, 1000), F(-1, 10 ** 6))}
    assert len(right) == len(left) == 1 and right != left
    has(a7, f"lim (h -> 0+) |h| / h = {frac(right.pop())} and "
            f"lim (h -> 0-) |h| / h = {frac(left.pop())}.")

    a8 = answer(12, "Section 2.1.34 ")
    cbrt = lambda t: math.copysign(abs(t) ** (1 / 3), t)  # noqa: E731
    for h, word in ((0.001, "this is"), (0.000001, "it is"), (-0.001, "it is")):
        q = cbrt(h) ** 2 / h
        has(a8, f"h = {h:f}".rstrip("0") + f" {word} 1/{'(' if h < 0 else ''}"
                f"{round(cbrt(h), 6):g}{')' if h < 0 else ''} = {round(q)}")
        assert abs(q - 1 / cbrt(h)) < 1e-6
    assert cbrt(1e-9) ** 2 < 1e-5  # continuity: f(h) -> 0

    a9 = answer(12, "Section 2.1.38 ")
    sq, f_r, g_r = Poly([0, 0, 1]), Poly([-1, 2]), Poly([-2, 3])
    assert sq(1) == f_r(1) == g_r(1) == 1
    left_dq = Poly((sq.compose(Poly([1, 1])) - Poly([sq(1)])).c[1:])  # ((1 + h)^2 - 1) / h
    assert all(left_dq(F(t)) == (sq(1 + F(t)) - sq(1)) / F(t) for t in (1, 2, -3))
    has(a9, f"((1 + h)^2 - 1) / h = {left_dq.text('h', True)}, which tends to {frac(left_dq(0))}",
        f"= 2h / h = {frac(f_r.c[1])}.", f"= 3h / h = {frac(g_r.c[1])}.",
        f"f'(1) = {frac(sq.deriv()(1))}.")
    assert sq.deriv()(1) == f_r.c[1] and sq.deriv()(1) != g_r.c[1]


# ---------------------------------------------------------------- 013

def power_terms_deriv(terms):
    return [(c * n, n - 1) for c, n in terms if c * n != 0]


def pow_exact(x, n):
    """x^n for a rational n with denominator 1 or 2 and a square x."""
    n = F(n)
    assert n.denominator in (1, 2)
    base = exact_sqrt(x) if n.denominator == 2 else F(x)
    return base ** n.numerator


def term_text(c, n):
    return f"{frac(abs(c))}x^({frac(n)})"


def check_013():
    a1 = answer(13, "Section 2.2.6 ")
    f = Poly([-9, 7, -3, 0, 0, 4])
    d = f.deriv()
    has(a1, f"f'(x) = {d.text()}.", f"= 20 - 6 + 7 = {frac(d(1))}",
        f"= 20 + 6 + 7 = {frac(d(-1))}.")

    a2 = answer(13, "Section 2.2.12 ")
    terms = [(F(6), F(1, 2)), (F(3), F(-2)), (F(-5), F(-1))]
    dterms = power_terms_deriv(terms)
    text = term_text(*dterms[0]) + "".join(
        (" - " if c < 0 else " + ") + term_text(c, n) for c, n in dterms[1:])
    val = sum(c * pow_exact(4, n) for c, n in dterms)
    fl = lambda x: 6 * math.sqrt(x) + 3 / x ** 2 - 5 / x  # noqa: E731
    assert abs((fl(4 + 1e-6) - fl(4 - 1e-6)) / 2e-6 - float(val)) < 1e-6
    has(a2, f"So f'(x) = {text} =", f"= {frac(val)} = {dec(val)}.")

    a3 = answer(13, "Section 2.2.18 ")
    y = Poly([2, 0, -4, 1])
    d = y.deriv()
    tangent = Poly([y(3) - 3 * d(3), d(3)])
    has(a3, f"y' = {d.text()}.", f"the point is (3, {frac(y(3))})",
        f"= {frac(d(3))} is the slope", f"so y = {tangent.text()}.")
    assert d.c[0] == 0
    other = -d.c[1] / d.c[2]
    assert d(other) == 0
    has(a3, f"x = 0 or x = {frac(other)}.", f"(0, {frac(y(0))})", f"= {frac(y(other))}, so",
        f"({frac(other)}, {frac(y(other))}), about ({float(other):.3f}, {float(y(other)):.3f})")

    a4 = answer(13, "Section 2.2.30 ")
    C = Poly([500, 40, F("-0.3"), F("0.002")])
    d = C.deriv()
    has(a4, f"C'(x) = {d.text()}.", f"= 15 - 30 + 40 = {dec(d(50))}.",
        f"C(50) = 250 - 750 + 2000 + 500 = {dec(C(50))}\r\n",
        f"C(51) = 265.302 - 780.3 + 2040 + 500 = {dec(C(51))}\r\n",
        f"C(51) - C(50) = {dec(C(51) - C(50))} dollars.")
    assert abs(C(51) - C(50) - d(50)) < F(1, 100)

    a5 = answer(13, "Section 2.2.34 ")
    fixed, lin, quad = F(1200), F(15), F("0.05")
    A = lambda x: fixed / x + lin + quad * x  # noqa: E731
    dA = lambda x: -fixed / x ** 2 + quad  # noqa: E731
    for x in (F(50), F(100), F(300)):
        h = F(1, 10 ** 8)
        assert abs((A(x + h) - A(x)) / h - dA(x)) < F(1, 10 ** 6)
    has(a5, f"= -0.12 + 0.05 = {dec(dA(100))}.", f"A(100) = 12 + 15 + 5 = {dec(A(100))} dollars")
    xstar_sq = fixed / quad
    xstar = math.sqrt(xstar_sq)
    assert abs(float(dA(F(xstar)))) < 1e-9
    best = min(range(100, 250), key=lambda n: A(F(n)))
    has(a5, f"x^2 = {frac(xstar_sq)}", f"about {xstar:.1f} units", f"about {best} units")


# ---------------------------------------------------------------- 014

def check_014():
    a1 = answer(14, "Section 2.3.4 ")
    P = Poly([5000, 400, 30])
    avg = (P(6) - P(2)) / (6 - 2)
    d = P.deriv()
    has(a1, f"P(2) = 5000 + 800 + 120 = {frac(P(2))}", f"P(6) = 5000 + 2400 + 1080 = {frac(P(6))}",
        f"= {frac(P(6) - P(2))} / 4 = {frac(avg)} people", f"P'(t) = {d.text('t', True)},",
        f"P'(2) = {frac(d(2))} people", f"P'(6) = {frac(d(6))} people",
        f"P'(4) = 400 + 240 = {frac(d(4))}.", f"about {round(P(6) / 6)})")
    assert d(4) == avg and d(2) < avg < d(6)

    a2 = answer(14, "Section 2.3.10 ")
    s = Poly([0, 80, -16])
    v = s.deriv()
    top = -v.c[0] / v.c[1]
    has(a2, f"s(1) = 80 - 16 = {frac(s(1))}", f"s(2) = 160 - 64 = {frac(s(2))}",
        f"= {frac((s(2) - s(1)) / 1)} feet per second", f"v(t) = s'(t) = {v.text('t', True)},",
        f"v(1) = {frac(v(1))} feet", f"v(2) = {frac(v(2))} feet", f"gives t = {dec(top)} seconds",
        f"s(2.5) = 200 - 100 = {frac(s(top))} feet", f"v(1.5) = 80 - 48 = {frac(v(F(3, 2)))}.")
    assert v(F(3, 2)) == s(2) - s(1)

    a3 = answer(14, "Section 2.3.16 ")
    C = Poly([3000, 12, F("-0.01")])
    d = C.deriv()
    has(a3, f"C'(x) = {d.text('x', True)}\r\n", f"C'(200) = 12 - 4 = {dec(d(200))} dollars",
        f"C(200) = 3000 + 2400 - 400 = {dec(C(200))}\r\n",
        f"C(201) = 3000 + 2412 - 404.01 = {dec(C(201))}\r\n",
        f"C(201) - C(200) = {dec(C(201) - C(200))} dollars",
        f"= 5000 / 200 = {dec(C(200) / 200)} dollars per unit")
    assert abs(C(201) - C(200) - d(200)) <= F(1, 100)
    assert min(d(x) for x in range(0, 601)) >= 0 and d(601) < 0

    a4 = answer(14, "Section 2.3.22 ")
    R, Cost = Poly([0, 50, F("-0.02")]), Poly([4000, 10])
    P = R - Cost
    d = P.deriv()
    has(a4, f"= {P.text()}.", f"P'(x) = {d.text()}.")
    for x in (500, 1000, 1200):
        has(a4, f"P'({x}) = {dec(d.c[1] * x)} + {dec(d.c[0])} = {dec(d(x))}\r\n")
    best = -d.c[0] / d.c[1]
    assert R.deriv()(best) == Cost.deriv()(best)
    has(a4, f"The sign changes at x = {frac(best)}", f"= {dec(P(best))} dollars.")
    wrong = R + Cost - Poly([2 * 4000])  # + 10x instead of - 10x
    has(a4, f"marginal profit to {wrong.deriv().text('x', True)}",
        f"best level to {frac(-wrong.deriv().c[0] / wrong.deriv().c[1])} units")


if __name__ == "__main__":
    check_layout()
    check_010()
    check_011()
    check_012()
    check_013()
    check_014()
    print("ok")
