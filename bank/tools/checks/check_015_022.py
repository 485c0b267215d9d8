#!/usr/bin/env python3
"""Recomputes the key results of the given answers in assignments 15 to 22
(content/015.txt ... content/022.txt) and checks that the answers state them.

Each problem is set up from its data (polynomials with exact fractions), the
data are checked against the question text, the results are computed
independently (exact arithmetic, cross-checked by numerical differentiation)
and compared with the numbers the answer text states.  Standard library only.
"""
import math
import os
import re
from fractions import Fraction as F

HERE = os.path.dirname(os.path.abspath(__file__))
CONTENT = os.path.normpath(os.path.join(HERE, "..", "..", "content"))
CRLF = "\r\n"


# ----------------------------------------------------------------- loading

def unescape(line):
    out, i = [], 0
    while i < len(line):
        if line[i] == "\\":
            nxt = line[i + 1]
            if nxt in "\\@":
                out.append(nxt)
            elif nxt != "e":
                raise ValueError("unknown escape in " + line)
            i += 2
        else:
            out.append(line[i])
            i += 1
    return "".join(out)


def load(num):
    """Entries of content/NNN.txt as the program's loader builds them."""
    path = os.path.join(CONTENT, "%03d.txt" % num)
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    steps = []
    for line in lines:
        if line.startswith("@"):
            steps.append([line[:2], []])
        elif steps:
            steps[-1][1].append(unescape(line))
    entries = []
    for kind, text in steps:
        while text and text[0] == "":
            text.pop(0)
        while text and text[-1] == "":
            text.pop()
        if kind == "@+":
            entries[-1] += CRLF.join(text)
        else:
            entries.append(CRLF.join(text))
    return entries


def is_prompt(e):
    return e.startswith("`a**")


def problem(entries, tag):
    """Question whose text cites `tag` ("Section 2.3.14") and the text of its
    given answer (consecutive answer entries after it, prompts excluded)."""
    hits = [i for i, e in enumerate(entries)
            if e.startswith("`q") and re.search(re.escape(tag) + r"\b", e)]
    assert len(hits) == 1, "question %s found %d times" % (tag, len(hits))
    i = hits[0]
    parts = []
    for e in entries[i + 1:]:
        if e == "":
            continue
        if e.startswith("`a") and not is_prompt(e):
            parts.append(e[2:])
            continue
        break
    assert parts, "no given answer after " + tag
    assert parts[-1].endswith("**"), tag + ": answer does not end with **"
    for p in parts:
        assert "**" not in p.rstrip("*"), tag + ": ** inside the answer"
    return entries[i], CRLF.join(parts)


# ------------------------------------------------------- reading the claims

NUM = re.compile(r"^-?\d+(\.\d+)?(/-?\d+(\.\d+)?)?$")
STOP = re.compile(r"\r\n|, |; |\. | and | so | <| >| ft| dollars| per"
                  r"| subscribers| lamps| seconds|\*\*")


def claim(text, label, after=None):
    """The value the text states after `label`: the last member of the chain
    a = b = ... = value that follows the label (searched after `after`)."""
    start = 0
    if after is not None:
        start = text.index(after) + len(after)
    pos = text.index(label, start) + len(label)
    rest = text[pos:]
    m = STOP.search(rest)
    piece = rest[:m.start()] if m else rest
    last = piece.split("=")[-1].replace(" ", "").rstrip(".")
    if last.startswith("(") and last.endswith(")"):
        last = last[1:-1]
    assert NUM.match(last), "cannot read a number after %r: %r" % (label, piece)
    if "/" in last:
        a, b = last.split("/")
        return F(a) / F(b)
    return F(last)


def says(text, *phrases):
    for p in phrases:
        assert p in text, "missing in text: %r" % p


def fmt(q):
    q = F(q)
    return str(q.numerator) if q.denominator == 1 else "%d/%d" % (q.numerator, q.denominator)


def dec(q):
    """Decimal form of a fraction with a terminating expansion (0.5, -1.5)."""
    q = F(q)
    s = "%.10f" % float(q)
    s = s.rstrip("0").rstrip(".")
    assert F(s) == q
    return s


# ------------------------------------------------------------- polynomials
# A polynomial is a list of Fractions, constant term first.

def P(*coeffs_high_first):
    return [F(c) for c in reversed(coeffs_high_first)]


def pval(p, x):
    r = F(0) if isinstance(x, (int, F)) else 0.0
    for c in reversed(p):
        r = r * x + (c if isinstance(r, F) else float(c))
    return r


def pder(p):
    return [i * c for i, c in enumerate(p)][1:] or [F(0)]


def pmul(p, q):
    r = [F(0)] * (len(p) + len(q) - 1)
    for i, a in enumerate(p):
        for j, b in enumerate(q):
            r[i + j] += a * b
    return r


def psub(p, q):
    n = max(len(p), len(q))
    r = [(p[i] if i < len(p) else 0) - (q[i] if i < len(q) else 0) for i in range(n)]
    while len(r) > 1 and r[-1] == 0:
        r.pop()
    return r


def pfmt(p, v="x"):
    """Course notation: x^4 - 3x^3 + 2x - 7."""
    out = []
    for k in range(len(p) - 1, -1, -1):
        c = p[k]
        if c == 0:
            continue
        a = abs(c)
        coef = dec(a) if not (a == 1 and k > 0) else ""
        term = coef + ("" if k == 0 else v if k == 1 else "%s^%d" % (v, k))
        if not out:
            out.append(("-" if c < 0 else "") + term)
        else:
            out.append(("- " if c < 0 else "+ ") + term)
    return " ".join(out) or "0"


def divisors(n):
    n = abs(n)
    return [d for d in range(1, n + 1) if n % d == 0]


def rational_roots(p):
    """All rational roots of a polynomial with rational coefficients."""
    p = list(p)
    while len(p) > 1 and p[-1] == 0:
        p.pop()
    roots = set()
    while len(p) > 1 and p[0] == 0:      # factor x out
        roots.add(F(0))
        p = p[1:]
    if len(p) == 1:
        return roots
    scale = math.lcm(*[c.denominator for c in p])
    ints = [int(c * scale) for c in p]
    for a in divisors(ints[0]):
        for b in divisors(ints[-1]):
            for r in (F(a, b), F(-a, b)):
                if pval(p, r) == 0:
                    roots.add(r)
    return roots


def rder(p, q, x):
    """Exact derivative of p/q at x (quotient rule)."""
    return (pval(pder(p), x) * pval(q, x) - pval(p, x) * pval(pder(q), x)) / pval(q, x) ** 2


# ------------------------------------------------------ numerical cross-check

def nd(f, x, h=1e-5):
    return (f(x + h) - f(x - h)) / (2 * h)


def close(a, b, tol=1e-6):
    return math.isclose(float(a), float(b), rel_tol=tol, abs_tol=tol)


def same_function(f, g, points):
    for x in points:
        assert close(f(x), g(x)), "formulas differ at %r: %r vs %r" % (x, f(x), g(x))


def derivative_matches(f, fprime, points, tol=1e-5):
    for x in points:
        assert close(nd(f, x), fprime(x), tol), \
            "derivative wrong at %r: numerical %r, stated %r" % (x, nd(f, x), fprime(x))


def cbrt(x):
    return math.copysign(abs(x) ** (1 / 3), x)


# =================================================================== 015

def check_015():
    e = load(15)
    assert e[0] == "015.  `query 15" and e[1] == "assignment # 15 "

    q, a = problem(e, "Section 2.3.14")
    s = P(-16, 64, 6)
    says(q, "s(t) = " + pfmt(s, "t"), "[1, 3]")
    ds = pder(s)
    says(a, "s'(t) = " + pfmt(ds, "t"))
    assert claim(a, "s(1) = ") == pval(s, 1)
    assert claim(a, "s(3) = ") == pval(s, 3)
    avg = (pval(s, 3) - pval(s, 1)) / (3 - 1)
    assert claim(a, "average rate = ") == avg
    assert claim(a, "s'(1) = ") == pval(ds, 1)
    assert claim(a, "s'(3) = ") == pval(ds, 3)
    derivative_matches(lambda t: pval(s, t), lambda t: pval(ds, t), [0.5, 1, 3])
    says(a, "rising at %s ft/s" % fmt(pval(ds, 1)), "falling at %s ft/s" % fmt(-pval(ds, 3)))
    assert pval(ds, 1) > 0 > pval(ds, 3)

    q, a = problem(e, "Section 2.3.41")
    p = P("-0.02", 34, -2500)
    says(q, "P = " + pfmt(p), "x = 300", "P(301) - P(300)")
    dp = pder(p)
    says(a, "P'(x) = " + pfmt(dp))
    assert claim(a, "P'(300) = ") == pval(dp, 300)
    gain = pval(p, 301) - pval(p, 300)
    assert claim(a, "P(301) - P(300) = ") == gain
    assert abs(gain - pval(dp, 300)) < F(1, 10)        # "very good estimate"
    says(a, "$%s" % fmt(pval(dp, 300)))
    assert claim(a, "profit itself: P(300) = ") == pval(p, 300)
    (x0,) = rational_roots(dp)
    assert claim(a, "that is x = ") == x0
    assert pval(dp, x0 - 1) > 0 > pval(dp, x0 + 1)      # adds below, lowers beyond
    assert claim(a, "P(%s) = " % fmt(x0)) == pval(p, x0)


# =================================================================== 016

def check_016():
    e = load(16)
    assert " " in e and e.count(" ") == 1               # the blank-only entry

    q, a = problem(e, "Section 2.4.11")
    fn, fd = P(3, 1), P(1, -2)
    gn, gd = P(1, 0, 1), P(2, 0)
    says(q, "f(x) = (%s) / (%s), at x = 3" % (pfmt(fn), pfmt(fd)),
         "g(t) = (%s) / (%s), at t = 2" % (pfmt(gn, "t"), pfmt(gd, "t")))
    assert claim(a, "f'(3) = ") == rder(fn, fd, 3)
    assert claim(a, "g'(2) = ") == rder(gn, gd, 2)
    pts = [F(-3), F(1, 2), F(3), F(5)]
    for x in pts:
        assert F(-7) / (x - 2) ** 2 == rder(fn, fd, x)                  # -7 / (x - 2)^2
        assert (x * x - 1) / (2 * x * x) == rder(gn, gd, x)           # (t^2 - 1) / (2t^2)
    says(a, "= -7 / (x - 2)^2", "(t^2 - 1) / (2t^2)")
    reversed_order = (pval(fn, 3) * pval(pder(fd), 3) - pval(pder(fn), 3) * pval(fd, 3)) / pval(fd, 3) ** 2
    assert reversed_order == -rder(fn, fd, 3)
    says(a, "here +%s instead of %s" % (fmt(reversed_order), fmt(rder(fn, fd, 3))))

    q, a = problem(e, "Section 2.4.52")
    n, d = P(1, 0, 0), P(1, 0, 1)
    says(q, "y = %s / (%s)" % (pfmt(n), pfmt(d)))
    num = psub(pmul(pder(n), d), pmul(n, pder(d)))
    assert pfmt(num) == "2x"
    says(a, "= 2x / (x^2 + 1)^2")
    roots = rational_roots(num)
    assert roots == {0} and all(pval(d, r) != 0 for r in roots)
    says(a, *["(%s, %s)" % (fmt(r), fmt(pval(n, r) / pval(d, r))) for r in roots])

    q, a = problem(e, "Section 2.4.56")
    n, d = P(1, 0, -3), P(1, -2)
    says(q, "f(x) = (%s) / (%s)" % (pfmt(n), pfmt(d)))
    num = psub(pmul(pder(n), d), pmul(n, pder(d)))
    says(a, "= (%s) / (x - 2)^2" % pfmt(num))
    roots = sorted(rational_roots(num))
    assert roots == [1, 3] and all(pval(d, r) != 0 for r in roots)
    says(a, "x = %s or x = %s" % tuple(fmt(r) for r in roots))
    for r in roots:
        assert claim(a, "f(%s) = " % fmt(r)) == pval(n, r) / pval(d, r)
        says(a, "(%s, %s)" % (fmt(r), fmt(pval(n, r) / pval(d, r))))

    q, a = problem(e, "Section 2.4.47")
    n, d = P(2, 0), P(1, 0, 4)
    says(q, "y = %s / (%s) at x = 1" % (pfmt(n), pfmt(d)))
    y1 = pval(n, 1) / pval(d, 1)
    m = rder(n, d, 1)
    b = y1 - m * 1
    assert claim(a, "y(1) = ") == y1
    assert claim(a, "At x = 1 the slope is ") == m
    says(a, "y = (%s)x + %s" % (fmt(m), fmt(b)))
    num = psub(pmul(pder(n), d), pmul(n, pder(d)))
    assert pfmt(num) == "-2x^2 + 8"
    says(a, "= (8 - 2x^2) / (x^2 + 4)^2")
    roots = sorted(rational_roots(num))
    assert roots == [-2, 2]
    for r in roots:
        says(a, "(%s, %s)" % (fmt(r), fmt(pval(n, r) / pval(d, r))))

    q, a = problem(e, "Section 2.4.63")
    c = P("0.5", 10, 800)
    says(q, "C = " + pfmt(c), "at x = 20")
    x = P(1, 0)
    assert claim(a, "A'(20) = ") == rder(c, x, 20)
    num = psub(pmul(pder(c), x), pmul(c, pder(x)))
    says(a, "(%s) / x^2" % pfmt(num))
    (x0,) = [r for r in rational_roots(num) if r > 0]
    says(a, "x = %s (only the positive root" % fmt(x0))
    assert rder(c, x, x0 - 10) < 0 < rder(c, x, x0 + 10)    # minimum of average cost
    avg = pval(c, x0) / x0
    assert claim(a, "A(%s) = " % fmt(x0)) == avg
    assert pval(pder(c), x0) == avg
    says(a, "C'(x) = " + pfmt(pder(c)), "(both %s)" % fmt(avg))
    says(a, "about $%.2f per unit" % -float(rder(c, x, 20)))


# =================================================================== 017

def check_017():
    e = load(17)

    q, a = problem(e, "Section 2.5.6")
    says(q, "y = (4x - 7)^5", "y = `sqrt(x^2 + 9)", "y = 3 / (2x + 1)^4")
    pts = [0.2, 1.0, 2.5, 3.7]
    derivative_matches(lambda x: (4 * x - 7) ** 5, lambda x: 20 * (4 * x - 7) ** 4, pts)
    derivative_matches(lambda x: math.sqrt(x * x + 9), lambda x: x / math.sqrt(x * x + 9), pts)
    derivative_matches(lambda x: 3 / (2 * x + 1) ** 4, lambda x: -24 / (2 * x + 1) ** 5, pts)
    says(a, "= 20(4x - 7)^4", "= x / `sqrt(x^2 + 9)", "= -24 / (2x + 1)^5",
         "u = 4x - 7, y = u^5", "u = x^2 + 9", "u = 2x + 1, y = 3 / u^4")

    q, a = problem(e, "Section 2.5.24")
    u = P(1, -3, 1)
    says(q, "f(x) = (%s)^4" % pfmt(u), "at x = 2")
    f = lambda x: pval(u, x) ** 4
    fp = lambda x: 4 * pval(u, x) ** 3 * pval(pder(u), x)   # general power rule
    derivative_matches(f, fp, [-1.5, 0.3, 2.0, 2.8])
    says(a, "f'(x) = 4(%s)^3 (%s)" % (pfmt(u), pfmt(pder(u))))
    assert claim(a, "f(2) = ") == f(F(2))
    assert claim(a, "f'(2) = ") == fp(F(2))
    m, b = fp(F(2)), f(F(2)) - 2 * fp(F(2))
    says(a, "y = %sx + %s" % (fmt(m), fmt(b)))

    q, a = problem(e, "Section 2.5.37")
    d = P(1, 0, 2)
    says(q, "f(x) = 6 / (%s)^2" % pfmt(d), "f'(1)")
    f = lambda x: 6 / pval(d, x) ** 2
    fp = lambda x: -24 * x / pval(d, x) ** 3
    derivative_matches(f, fp, [-2.0, -0.4, 1.0, 3.1])
    says(a, "= -24x / (x^2 + 2)^3")
    assert claim(a, "f'(1) = ") == fp(F(1))
    assert F(6) * (-2) * 2 == -24                        # 6(-2)(2x) = -24x

    q, a = problem(e, "Section 2.5.62")
    says(q, "N(t) = 200 `sqrt(4t + 9)", "N(4)", "t = 4")
    N = lambda t: 200 * math.sqrt(4 * t + 9)
    Np = lambda t: 400 / math.sqrt(4 * t + 9)
    derivative_matches(N, Np, [0.0, 4.0, 10.0])
    r = math.isqrt(4 * 4 + 9)
    assert r * r == 25
    assert claim(a, "so N(4) = ") == 200 * r
    assert claim(a, "N'(4) = ") == F(400, r)
    assert claim(a, "would give ") == F(100, r) == F(400, r) / 4
    assert Np(10) < Np(4)                                 # growth slows down


# =================================================================== 018

def check_018():
    e = load(18)
    assert e[1].startswith("`a ") and "**" not in e[1] and CRLF not in e[1]
    assert is_prompt(e[2]) and not e[2].rstrip().endswith("**") and CRLF not in e[2]
    assert not any(x.startswith("`q") for x in e[:3])

    q, a = problem(e, "Section 2.5.44")
    u = P(1, 0, -5)
    says(q, "y = (%s)^3 at the point (2, -1)" % pfmt(u))
    y = lambda x: pval(u, x) ** 3
    yp = lambda x: 3 * pval(u, x) ** 2 * pval(pder(u), x)
    derivative_matches(y, yp, [-1.0, 0.5, 2.0])
    assert y(F(2)) == -1
    m = yp(F(2))
    assert claim(a, "Slope at x = 2: ") == m
    says(a, "y = %sx - %s" % (fmt(m), fmt(-(y(F(2)) - 2 * m))))
    wrong = 3 * pval(u, F(2)) ** 2                        # factor 2x forgotten
    says(a, "slope %s and the wrong line y = %sx - %s" % (fmt(wrong), fmt(wrong), fmt(-(y(F(2)) - 2 * wrong))))

    q, a = problem(e, "Section 2.5.70")
    says(q, "V(t) = 24000 / (1 + 0.5t)^2", "$24000")
    V = lambda t: 24000 / (1 + F(1, 2) * t) ** 2
    Vp = lambda t: 24000 * (-2) * (1 + F(1, 2) * t) ** -3 * F(1, 2)
    derivative_matches(lambda t: float(V(F(t))), lambda t: float(Vp(F(t))), [0, 2, 5])
    assert V(F(0)) == 24000
    assert claim(a, "V'(0) = ") == Vp(F(0))
    assert claim(a, "V'(2) = ") == Vp(F(2))
    assert claim(a, "V(2) = ") == V(F(2))
    says(a, "(%s and %s dollars per year)" % (fmt(2 * Vp(F(0))), fmt(2 * Vp(F(2)))))


# =================================================================== 019

def check_019():
    e = load(19)

    q, a = problem(e, "Section 2.6.8")
    f = P(1, -3, 0, 2, -7)
    says(q, "f(x) = " + pfmt(f))
    d = f
    for name in ["f'(x)", "f''(x)", "f'''(x)", "f^(4)(x)"]:
        d = pder(d)
        says(a, "%s = %s" % (name, pfmt(d)))
    assert pder(d) == [0]
    says(a, "every derivative after the fourth is 0")
    assert claim(a, "f''(2) = ") == pval(pder(pder(f)), 2)

    q, a = problem(e, "Section 2.6.19")
    says(q, "g(x) = 4/x")
    c, k = F(4), -1                                       # g = c x^k
    for name in ["g'(x)", "g''(x)", "g'''(x)"]:
        c, k = c * k, k - 1
        says(a, "%s = %sx^(%d)" % (name, fmt(c), k))
        if name == "g''(x)":
            g2 = (c, k)
    g3 = (c, k)
    assert claim(a, "g''(2) = ") == g2[0] * F(2) ** g2[1]
    assert claim(a, "g'''(2) = ") == g3[0] * F(2) ** g3[1]
    h = 1e-3                                              # numerical g''(2)
    g = lambda x: 4 / x
    assert close((g(2 + h) - 2 * g(2) + g(2 - h)) / h ** 2, g2[0] * F(2) ** g2[1], 1e-4)

    q, a = problem(e, "Section 2.6.36")
    s = P(-16, -32, 240)
    says(q, "s(t) = %s feet" % pfmt(s, "t"), "240 feet", "speed 32 ft/s")
    v, acc = pder(s), pder(pder(s))
    says(a, "v(t) = s'(t) = %s ft/s" % pfmt(v, "t"), "a(t) = s''(t) = %s ft/s^2" % pfmt(acc, "t"))
    roots = rational_roots(s)
    assert roots == {F(3), F(-5)}
    t0 = max(roots)
    says(a, "so t = %s seconds" % fmt(t0), "(t + 5)(t - 3) = 0")
    assert claim(a, "Velocity at impact: v(%s) = " % fmt(t0)) == pval(v, t0)
    says(a, "speed of %s ft/s" % fmt(-pval(v, t0)))
    assert claim(a, "Check: v(0) = ") == pval(v, 0) == -32


# =================================================================== 020

def partials(Fp, x, y):
    """Exact partial derivatives of a polynomial {(i, j): c} in x and y."""
    fx = sum(c * i * x ** (i - 1) * y ** j for (i, j), c in Fp.items() if i)
    fy = sum(c * j * x ** i * y ** (j - 1) for (i, j), c in Fp.items() if j)
    return F(fx), F(fy)


def peval(Fp, x, y):
    return sum(c * x ** i * y ** j for (i, j), c in Fp.items())


def check_020():
    e = load(20)
    answers = [x for x in e if x.startswith("`a")]
    assert sum(1 for x in answers if x[2:3].isalpha()) == 1

    q, a = problem(e, "Section 2.7.12")
    says(q, "x^2 + y^2 = 25", "(3, 4)", "(3, -4)")
    circle = {(2, 0): 1, (0, 2): 1, (0, 0): -25}
    slopes = {}
    for pt in [(3, 4), (3, -4)]:
        assert peval(circle, *pt) == 0
        fx, fy = partials(circle, *pt)
        slopes[pt] = -fx / fy
        assert slopes[pt] == F(-pt[0], pt[1])             # -x/y
    assert claim(a, "At (3, 4) the slope is ") == slopes[(3, 4)]
    assert claim(a, "at (3, -4) it is ") == slopes[(3, -4)]
    m = slopes[(3, 4)]
    says(a, "y = -(%s)x + %s" % (fmt(-m), fmt(4 - 3 * m)))
    y_top = lambda x: math.sqrt(25 - x * x)
    assert close(nd(y_top, 3.0), m)

    q, a = problem(e, "Section 2.7.28")
    says(q, "x^3 + y^3 = 6xy", "(3, 3)")
    folium = {(3, 0): 1, (0, 3): 1, (1, 1): -6}
    assert peval(folium, 3, 3) == 0
    for pt in [(3, 3), (1, 2), (-2, 5), (F(1, 2), 4)]:
        fx, fy = partials(folium, *pt)
        x, y = map(F, pt)
        assert -fx / fy == (2 * y - x * x) / (y * y - 2 * x)
    says(a, "y' = (6y - 3x^2) / (3y^2 - 6x) = (2y - x^2) / (y^2 - 2x)")
    fx, fy = partials(folium, 3, 3)
    m = -fx / fy
    assert claim(a, "At (3, 3): y' = ") == m
    assert m == -1
    says(a, "y = -x + %s" % fmt(3 - 3 * m))
    wrong = F(-3 * 9, 3 * 9 - 6 * 3)                      # 6y term dropped
    assert claim(a, "the wrong slope ") == wrong != m

    q, a = problem(e, "Section 2.7.45")
    says(q, "x^2 + 3xp + p^2 = 79", "x = 5")
    demand = {(2, 0): 1, (1, 1): 3, (0, 2): 1, (0, 0): -79}
    x0 = 5
    quad = P(1, 3 * x0, x0 * x0 - 79)                     # in p
    says(a, "p^2 + %sp - %s = 0" % (fmt(3 * x0), fmt(79 - x0 * x0)))
    roots = rational_roots(quad)
    assert roots == {F(3), F(-18)}
    p0 = max(roots)
    says(a, "so p = %s dollars" % fmt(p0))
    fx, fp = partials(demand, x0, p0)
    dpdx = -fx / fp
    assert claim(a, "At x = 5, p = 3: `dp/`dx = ") == dpdx
    says(a, "about %.3f" % float(dpdx), "about %d cents" % int(-100 * dpdx))
    # numerically: solve for the positive price near x = 5 and differentiate
    price = lambda x: (-3 * x + math.sqrt(9 * x * x - 4 * (x * x - 79))) / 2
    assert close(price(5.0), p0) and close(nd(price, 5.0), dpdx)


# =================================================================== 021

def check_021():
    e = load(21)

    q, a = problem(e, "Section 2.8.18")
    R, C = P("-0.02", 50, 0), P(12, 4000)
    assert pfmt(C) == "12x + 4000"
    assert pfmt(R) == "-0.02x^2 + 50x"
    says(q, "R = 50x - 0.02x^2", "C = 4000 + 12x dollars", "30 units per week", "x = 500")
    rate, x0 = 30, 500
    dR = pval(pder(R), x0) * rate
    dC = pval(pder(C), x0) * rate
    at = "At x = 500:"
    assert claim(a, "`dR/`dt = ", after=at) == dR
    assert claim(a, "`dC/`dt = ", after=at) == dC
    assert claim(a, "`dP/`dt = ", after=at) == dR - dC
    profit = lambda t: float(pval(R, x0 + rate * t) - pval(C, x0 + rate * t))
    assert close(nd(profit, 0.0), dR - dC)

    q, a = problem(e, "Section 2.8.27")
    says(q, "13-foot ladder", "2 ft/s", "5 feet")
    L, x0, dx = 13, 5, 2
    y0 = math.isqrt(L * L - x0 * x0)
    assert y0 * y0 == L * L - x0 * x0
    says(a, "x^2 + y^2 = %d" % (L * L))
    assert claim(a, "When x = 5: y = ") == y0
    dy = -F(x0, y0) * dx
    assert claim(a, "`dy/`dt = ", after="When x = 5") == dy
    says(a, "sliding down at %s ft/s, about %.2f" % (fmt(-dy), float(-dy)))
    height = lambda t: math.sqrt(L * L - (x0 + dx * t) ** 2)
    assert close(nd(height, 0.0), dy)


# =================================================================== 022

def sign_lines(a, fprime_at):
    """Each test-value line 'x = c ...' must call f increasing exactly when
    f'(c) > 0; returns the test values found."""
    seen = []
    for line in a.split(CRLF):
        m = re.match(r"x = (-?\d+)( in |: )", line)
        if not m:
            continue
        c = int(m.group(1))
        up = fprime_at(c) > 0
        assert ("increasing" in line) == up and ("decreasing" in line) == (not up), line
        seen.append(c)
    return seen


def check_022():
    e = load(22)
    assert is_prompt(e[12]) and not e[12].rstrip().endswith("**") and CRLF not in e[12]

    q, a = problem(e, "Section 3.1.16")
    f = P(1, -6, 9, 1)
    says(q, "f(x) = " + pfmt(f))
    idx = e.index(q)
    first = next(x for x in e[idx + 1:] if x)
    assert first.startswith("`a") and "**" not in first    # answer in two entries
    df = pder(f)
    says(a, "f'(x) = " + pfmt(df), "3(x - 1)(x - 3)")
    crit = sorted(rational_roots(df))
    assert crit == [1, 3]
    says(a, "0 at x = %s and at x = %s" % tuple(fmt(c) for c in crit))
    tests = sign_lines(a, lambda c: pval(df, c))
    assert tests == [0, 2, 4]
    assert tests[0] < crit[0] < tests[1] < crit[1] < tests[2]
    for c in tests:
        assert claim(a, "f'(%d) = " % c) == pval(df, c)
    for c in crit:
        assert claim(a, "f(%s) = " % fmt(c)) == pval(f, c)
    says(a, "increasing on (-infinity, 1) and on (3, infinity)", "decreasing on (1, 3)")

    q, a = problem(e, "Section 3.1.29")
    says(q, "f(x) = x^(2/3)(x - 5)")
    f = lambda x: cbrt(x) ** 2 * (x - 5)
    fp = lambda x: (5 * x - 10) / (3 * cbrt(x))
    derivative_matches(f, fp, [-2.3, -0.6, 0.7, 1.5, 4.0, 9.0])
    says(a, "f'(x) = (5/3)x^(2/3) - (10/3)x^(-1/3) = (5x - 10) / (3x^(1/3))",
         "The critical numbers are 0 and 2")
    assert rational_roots(P(5, -10)) == {2}
    icbrt = {-1: -1, 1: 1, 8: 2}
    for c, r in icbrt.items():
        assert r ** 3 == c
        says(a, "x = %d: numerator %d %s 0, denominator %d %s 0"
             % (c, 5 * c - 10, "<" if 5 * c - 10 < 0 else ">", 3 * r, "<" if r < 0 else ">"))
    tests = sign_lines(a, lambda c: F(5 * c - 10, 3 * icbrt[c]))
    assert tests == [-1, 1, 8]
    says(a, "about %.2f" % f(2.0), "f(0) = 0")


if __name__ == "__main__":
    for check in [check_015, check_016, check_017, check_018,
                  check_019, check_020, check_021, check_022]:
        check()
    print("ok")
