#!/usr/bin/env python3
"""Recomputes the results stated in the given answers of assignments 23 to 29
(Sections 3.2 to 3.8) and checks the entry rules that bankstat does not check.

The numbers are computed here from the data of each problem (exact fractions
where possible) and then looked up in the answer text, so a wrong number in
an answer, or a wrong computation here, makes the check fail.
Run: python3 check_023_029.py   (prints "ok")
"""
import math
import re
import sys
from fractions import Fraction as F
from pathlib import Path

TOOLS = Path(__file__).resolve().parents[1]
CONTENT = TOOLS.parent / "content"
sys.path.insert(0, str(TOOLS))
import bankstat  # noqa: E402  (the project's own parser of content files)

CRLF = "\r\n"


# ---------------------------------------------------------------- helpers
def entries(num):
    return [e for e, _ in bankstat.entries_of(str(CONTENT / f"{num:03d}.txt"))]


def is_prompt(e):
    return e.startswith("`a**")


def given_answers(num):
    """Given answers in order; an answer continued over several answer
    entries (all but the last without '**') is joined into one text."""
    out, cur = [], []
    for e in entries(num):
        if e.startswith("`a") and not is_prompt(e):
            cur.append(e[2:])
            if e.rstrip(" ").endswith("**"):
                out.append(CRLF.join(cur))
                cur = []
    assert not cur, f"{num:03d}: answer part without a closing '**' part"
    return out


def num(tok):
    """Fraction from a number as written in the text: 45,000  $540,000  -1/3  1.25"""
    m = re.match(r"\$?(-?[\d,]*\d(?:\.\d+)?)(?:/(\d+))?", tok.strip())
    assert m, f"no number at {tok[:30]!r}"
    v = F(m.group(1).replace(",", ""))
    return v / int(m.group(2)) if m.group(2) else v


TERMINATORS = (", ", "; ", ". ", " <", " >", " but ", " and ", " is ", ":")


def stated(text, lhs):
    """All numeric values the text gives for lhs: for each 'lhs = a = b = v'
    the last member v of the chain of equalities."""
    vals = []
    for m in re.finditer(re.escape(lhs) + " = ", text):
        if m.start() > 0 and (text[m.start() - 1].isalnum() or text[m.start() - 1] == "'"):
            continue
        rest = text[m.end():].split(CRLF)[0]
        cut = min([rest.find(t) for t in TERMINATORS if rest.find(t) > 0] + [len(rest)])
        last = rest[:cut].split(" = ")[-1]
        if re.match(r"\$?-?\d", last):  # a formula such as dy = f'(x) dx is skipped
            vals.append(num(last))
    assert vals, f"no value stated for {lhs!r}"
    return vals


def same(text, lhs, value):
    for v in stated(text, lhs):
        assert v == value, f"{lhs}: text says {v}, computed {value}"


def has(text, *parts):
    for p in parts:
        assert p in text, f"missing {p!r}"


def fmt(q):
    """Fraction as the text writes it: 6, -15, 1.25, -1/3."""
    q = F(q)
    if q.denominator == 1:
        return str(q.numerator)
    d = q.denominator
    while d % 2 == 0:
        d //= 2
    while d % 5 == 0:
        d //= 5
    if d == 1:
        s = f"{float(q):.10f}".rstrip("0")
        return s
    return f"{q.numerator}/{q.denominator}"


def commas(q):
    q = F(q)
    assert q.denominator == 1, q
    return f"{q.numerator:,}"


def money(q):
    q = F(q)
    return f"${q.numerator:,}" if q.denominator == 1 else f"${float(q):,.2f}"


def poly(*c):
    """Polynomial from coefficients, highest power first, as a function."""
    c = [F(x) for x in c]
    return lambda x: sum(a * F(x) ** (len(c) - 1 - i) for i, a in enumerate(c))


def dpoly(*c):
    n = len(c) - 1
    return tuple(F(a) * (n - i) for i, a in enumerate(c[:-1]))


def quad_roots(a, b, c):
    """Rational roots of a x^2 + b x + c (the problems are built to have them)."""
    a, b, c = F(a), F(b), F(c)
    disc = b * b - 4 * a * c
    assert disc >= 0
    rn, rd = math.isqrt(disc.numerator), math.isqrt(disc.denominator)
    assert rn * rn == disc.numerator and rd * rd == disc.denominator, "irrational roots"
    r = F(rn, rd)
    return sorted({(-b - r) / (2 * a), (-b + r) / (2 * a)})


def num_deriv(f, x, h=1e-6):
    return (f(x + h) - f(x - h)) / (2 * h)


def agrees(f, fprime, points, tol=1e-5):
    """The stated derivative fprime matches the slope of f at each point."""
    for x in points:
        a, b = num_deriv(f, x), fprime(x)
        assert abs(a - b) <= tol * max(1, abs(b)), f"derivative wrong at {x}: {a} vs {b}"


def classify(fp, c, h=F(1, 100)):
    """First-derivative test at critical number c."""
    left, right = fp(c - h), fp(c + h)
    if left > 0 > right:
        return "max"
    if left < 0 < right:
        return "min"
    return "none"


# ---------------------------------------------------------------- format rules
def check_format():
    closing = "Add comments on any surprises or insights"
    for n in range(23, 30):
        es = entries(n)
        assert es[0] == f"{n:03d}.  `query {n}", es[0]
        nonempty = [e for e in es if e]
        for e in es[1:]:
            assert "{}" not in e and not e.startswith(CRLF) and not e.endswith(CRLF)
            assert len(e) < 3017 and e.count(CRLF) < 64
            assert not re.match(r"\d{3}", e[2:]), e[:20]
            assert not e.lower().startswith("`routine") and not re.match(r"\d{3}\.", e)
            if e.startswith("`q"):
                assert len(e) <= 280, f"{n}: question too long"
                assert "**" not in e
                assert re.match(rf"`q ?Section 3\.{n - 21}\.\d+ ", e), e[:30]
            elif is_prompt(e):
                assert CRLF not in e and not e.rstrip(" ").endswith("**")
                assert "**" not in e[4:] and len(e) > 20
            elif e.startswith("`a"):
                body = e.rstrip(" ")
                inner = body[:-2] if body.endswith("**") else body
                assert "**" not in inner, f"{n}: '**' inside an answer"
            elif e and e.strip():
                assert e.startswith(closing) and e is nonempty[-1], f"{n}: stray text {e[:30]!r}"
        # every question but one unanswered one in 025 is followed by an answer
        kinds = ["Q" if e.startswith("`q") else "A" for e in nonempty if e[:2] in ("`q", "`a")]
        assert kinds[0] == "Q" and kinds[-1] == "A"
        unanswered = sum(a == b == "Q" for a, b in zip(kinds, kinds[1:]))
        assert unanswered == (1 if n == 25 else 0), f"{n}: question without an answer"
    last = [e for e in entries(25) if e][-1]
    assert last.startswith(closing)
    assert "   " in entries(25)


# ---------------------------------------------------------------- 023
def check_023():
    a1, a2, a3 = given_answers(23)
    c = (1, -6, 9, 2)
    f, fp = poly(*c), poly(*dpoly(*c))
    crit = quad_roots(*dpoly(*c))
    assert all(fp(x) == 0 for x in crit)
    has(a1, "critical numbers are x = %s and x = %s" % tuple(map(fmt, crit)))
    for t in (0, 2, 4):
        same(a1, f"f'({t})", fp(t))
    for x in crit:
        kind = {"max": "maximum", "min": "minimum"}[classify(fp, x)]
        same(a1, f"f({fmt(x)})", f(x))
        has(a1, f"relative {kind} ({fmt(x)}, {fmt(f(x))})")

    c = (2, -3, -12, 5)
    f, fp = poly(*c), poly(*dpoly(*c))
    lo, hi = -2, 3
    crit = [x for x in quad_roots(*dpoly(*c)) if lo <= x <= hi]
    cand = [F(lo)] + crit + [F(hi)]
    for x in cand + [F(5)]:
        same(a2, f"f({fmt(x)})", f(x))
    xmax, xmin = max(cand, key=f), min(cand, key=f)
    has(a2, f"absolute maximum is {fmt(f(xmax))}, at x = {fmt(xmax)}",
        f"absolute minimum is {fmt(f(xmin))}, at x = {fmt(xmin)}")
    assert max([F(lo)] + quad_roots(*dpoly(*c)) + [F(5)], key=f) == 5  # the [-2, 5] remark

    C = lambda t: F(5) * t / (F(t) ** 2 + 4)
    dC = lambda t: (20 - 5 * t * t) / (t * t + 4) ** 2
    agrees(lambda t: 5 * t / (t * t + 4), dC, [0.3, 1, 2, 3.5, 5.9])
    crit = [t for t in quad_roots(-5, 0, 20) if 0 <= t <= 6]
    cand = [F(0)] + crit + [F(6)]
    for t in cand:
        same(a3, f"C({fmt(t)})", C(t))
    tmax = max(cand, key=C)
    has(a3, f"greatest {fmt(tmax)} hours", f"greatest concentration is {fmt(C(tmax))} milligrams")


# ---------------------------------------------------------------- 024
def check_024():
    a1, a2, a3, a4 = given_answers(24)
    c = (1, -4, 0, 0, 10)
    f, d2 = poly(*c), poly(*dpoly(*dpoly(*c)))
    zeros = quad_roots(*dpoly(*dpoly(*c)))
    for t in (-1, 1, 3):
        same(a1, f"f''({t})", d2(t))
    pts = [z for z in zeros if d2(z - F(1, 100)) * d2(z + F(1, 100)) < 0]
    assert pts == zeros
    for z in pts:
        same(a1, f"f({fmt(z)})", f(z))
    has(a1, "points of inflection " + " and ".join(f"({fmt(z)}, {fmt(f(z))})" for z in pts))

    c = (1, -3, -24, 7)
    f, fp, d2 = poly(*c), poly(*dpoly(*c)), poly(*dpoly(*dpoly(*c)))
    crit = quad_roots(*dpoly(*c))
    parts = []
    for x in crit:
        same(a2, f"f''({fmt(x)})", d2(x))
        same(a2, f"f({fmt(x)})", f(x))
        assert d2(x) != 0
        parts.append(("maximum" if d2(x) < 0 else "minimum", x))
    infl = -F(dpoly(*dpoly(*c))[1]) / dpoly(*dpoly(*c))[0]
    parts.sort()
    has(a2, "Result: relative %s (%s, %s), relative %s (%s, %s), point of inflection (%s, %s)"
        % (parts[0][0], fmt(parts[0][1]), fmt(f(parts[0][1])),
           parts[1][0], fmt(parts[1][1]), fmt(f(parts[1][1])), fmt(infl), fmt(f(infl))))

    a, b, k = F("0.02"), F(8), F(1250)
    avg = lambda x: a * x + b + k / x
    x2 = k / a
    x0 = math.isqrt(int(x2))
    assert x0 * x0 == x2
    assert avg(x0) < avg(x0 - 1) and avg(x0) < avg(x0 + 1)
    assert 2 * a * x0 + b == avg(x0)  # marginal cost equals average cost at the minimum
    same(a3, f"Cbar({x0})", avg(x0))
    same(a3, f"C'({x0})", 2 * a * x0 + b)
    has(a3, f"x^2 = 1250 / 0.02 = {x2}", f"produce {x0} units", f"{money(avg(x0))} per unit")

    c = (F("-0.5"), 12, 5, 100)
    S, Sp, Spp = poly(*c), poly(*dpoly(*c)), poly(*dpoly(*dpoly(*c)))
    x8 = -F(dpoly(*dpoly(*c))[1]) / dpoly(*dpoly(*c))[0]
    assert Spp(x8) == 0 and Spp(x8 - 1) > 0 > Spp(x8 + 1)
    grid = [F(i, 10) for i in range(0, 201)]
    assert max(grid, key=Sp) == x8  # S' is largest at the point of diminishing returns
    same(a4, f"S({fmt(x8)})", S(x8))
    same(a4, f"S'({fmt(x8)})", Sp(x8))
    has(a4, f"({fmt(x8)}, {fmt(S(x8))})", money(1000 * x8) + " of advertising",
        money(1000 * S(x8)), money(1000 * Sp(x8)))


# ---------------------------------------------------------------- 025
def check_025():
    a1, a3 = given_answers(25)
    L = 600
    A = lambda x: x * (L - 2 * x)
    xs = [F(i, 2) for i in range(0, 2 * L // 2 + 1)]
    xb = max(xs, key=A)
    assert 600 - 4 * xb == 0
    for x in (0, L // 2, xb):
        same(a1, f"A({fmt(x)})", A(x))
    has(a1, f"perpendicular to the river are {xb} m", f"river is {L - 2 * xb} m",
        f"area is {commas(A(xb))} square meters")
    sq = F(L, 4)
    has(a1, f"{sq} m by {sq} m square with an area of {commas(sq * sq)} square meters")
    assert sq * sq * 2 == A(xb)  # "only half as much"

    V = 32000
    S = lambda x: F(x) ** 2 + F(4 * V) / x
    x = round((2 * V) ** (1 / 3))
    assert x ** 3 == 2 * V
    h = F(V, x * x)
    assert all(S(x) < S(x + d) for d in (F(-1, 10), F(1, 10), -5, 5))
    has(a3, f"x^3 = {2 * V}", f"x = {x}", f"h = {V} / {x * x} = {fmt(h)}",
        f"S({x}) = {x * x} + {4 * V} / {x} = {x * x} + {4 * V // x} = {fmt(S(x))}",
        f"base {x} cm by {x} cm and a height of {fmt(h)} cm, using {fmt(S(x))} square")
    assert h * 2 == x
    cube = V ** (1 / 3)
    has(a3, f"cube about {cube:.1f} cm")
    Sc = lambda y: 2 * y * y + 4 * V / y
    assert Sc(cube) < Sc(cube - 0.1) and Sc(cube) < Sc(cube + 0.1)


# ---------------------------------------------------------------- 026
def check_026():
    (a,) = given_answers(26)
    r0, D0, lend = F("0.04"), F(8_000_000), F("0.09")
    k = D0 / r0 ** 2
    P = lambda r: (lend - r) * k * r ** 2
    r_best = 2 * lend / 3  # from k r (2*lend - 3 r) = 0
    grid = [F(i, 10000) for i in range(0, 901)]
    assert max(grid, key=P) == r_best
    assert P(0) == 0 == P(lend)
    assert 2 * lend - 6 * r_best < 0
    has(a, f"k = 8,000,000 / {fmt(r0 ** 2)} = {commas(k)}", f"r = 0.18 / 3 = {fmt(r_best)}",
        f"D = {commas(k)}({fmt(r_best ** 2)}) = {commas(k * r_best ** 2)}",
        f"= {commas(P(r_best))}", f"pay {fmt(100 * r_best)}% a year",
        f"${fmt(k * r_best ** 2 / 1_000_000)} million in deposits", f"profit is {money(P(r_best))}")
    for pct in (5, 7):
        r = F(pct, 100)
        assert P(r) < P(r_best)
        has(a, f"at {pct}% ", f"is {fmt(lend - r)}({commas(k * r * r)}) = {money(P(r))}")


# ---------------------------------------------------------------- 027
def check_027():
    a1, a2 = given_answers(27)
    g = lambda x: (x + 3) / (x - 2)
    assert g(F("1.99")) == -499 and g(F("2.01")) == 501
    has(a1, f"x = 1.99 gives 4.99 / (-0.01) = {fmt(g(F('1.99')))}",
        f"x = 2.01 gives 5.01 / 0.01 = {fmt(g(F('2.01')))}")
    assert g(2 - 1e-9) < -1e8 and g(2 + 1e-9) > 1e8
    has(a1, "limit from the left is -infinity and the limit from the right is infinity")
    h = lambda x: abs(x - 4) / (x - 4)
    left, right = h(F(4) - F(1, 10 ** 6)), h(F(4) + F(1, 10 ** 6))
    assert all(h(4 - d) == left and h(4 + d) == right for d in (F(1, 3), 1, 7))
    has(a1, f"limit from the left = {fmt(left)}", f"limit from the right = {fmt(right)}")
    assert left != right

    big = 1e9
    lim1 = (4 * big ** 2 - 5 * big) / (2 * big ** 2 + 7)
    lim2 = 3 * -big / (big ** 2 + 1)
    assert abs(lim1 - 4 / 2) < 1e-6 and abs(lim2) < 1e-6
    has(a2, "the limit is 4 / 2 = 2", "to 1, so the limit is 0")

    f = lambda x: (2 * F(x) + 1) / (F(x) - 3)
    ff = lambda x: (2 * x + 1) / (x - 3)
    agrees(ff, lambda x: -7 / (x - 3) ** 2, [-10, -0.5, 2.5, 3.5, 10])
    agrees(lambda x: -7 / (x - 3) ** 2, lambda x: 14 / (x - 3) ** 3, [-10, 0, 2.5, 3.5, 10])
    top = 2 * 3 + 1  # numerator at the zero x = 3 of the denominator
    assert top != 0
    has(a2, f"the numerator there is {top}, not zero")
    assert abs(ff(1e9) - 2) < 1e-6 and abs(ff(-1e9) - 2) < 1e-6
    assert ff(3 + 1e-9) > 1e8 and ff(3 - 1e-9) < -1e8
    for x in (-10, 4, 10, 2, 0):
        same(a2, f"f({x})", f(x))
    root = -F(1) / 2  # from 2x + 1 = 0
    assert f(root) == 0
    has(a2, f"(0, {fmt(f(0))})", f"x-intercept is ({root.numerator}/{root.denominator}, 0)",
        f"about {float(f(-10)):.2f}")
    assert f(-10) < 2 < f(10) and f(4) > f(2)


# ---------------------------------------------------------------- 028
def check_028():
    a1, a2 = given_answers(28)
    c = (1, -3, -9, 27)
    f, fp = poly(*c), poly(*dpoly(*c))
    assert all(f(x) == (F(x) - 3) ** 2 * (F(x) + 3) for x in range(-6, 7))
    crit = quad_roots(*dpoly(*c))
    roots = [x for x in range(-10, 11) if f(x) == 0]
    has(a1, f"y-intercept is (0, {fmt(f(0))})",
        "x-intercepts are " + " and ".join(f"({x}, 0)" for x in roots),
        "Critical numbers: x = %s and x = %s" % tuple(map(fmt, crit)))
    for x in crit:
        same(a1, f"f({fmt(x)})", f(x))
        kind = {"max": "maximum", "min": "minimum"}[classify(fp, x)]
        has(a1.lower(), f"relative {kind} f({fmt(x)})")
    infl = -F(dpoly(*dpoly(*c))[1]) / dpoly(*dpoly(*c))[0]
    has(a1, f"= ({fmt(infl)}, {fmt(f(infl))})", f"peaks at ({fmt(crit[0])}, {fmt(f(crit[0]))})")
    assert infl == sum(crit) / 2 and f(infl) == (f(crit[0]) + f(crit[1])) / 2
    assert fp(3) == 0 and f(3) == 0  # touches the axis at its minimum

    f = lambda x: F(x) + F(4) / x
    agrees(lambda x: x + 4 / x, lambda x: 1 - 4 / x ** 2, [-5, -2, -0.5, 0.5, 2, 5])
    agrees(lambda x: 1 - 4 / x ** 2, lambda x: 8 / x ** 3, [-5, -1, 0.7, 3])
    assert all(f(-x) == -f(x) for x in (F(1, 3), 1, 2, 7))
    crit = quad_roots(1, 0, -4)
    fp = lambda x: 1 - F(4) / (F(x) ** 2)
    for x in crit:
        same(a2, f"f({fmt(x)})", f(x))
        kind = {"max": "maximum", "min": "minimum"}[classify(fp, x)]
        has(a2.lower(), f"relative {kind} f({fmt(x)})")
    has(a2, f"bottoms out at (2, {fmt(f(2))})", f"peak at (-2, {fmt(f(-2))})")
    assert f(-2) < f(2)
    assert all(f(x) - x > 0 for x in (1, 10, 100)) and abs(f(10 ** 6) - 10 ** 6) < F(1, 10 ** 5)


# ---------------------------------------------------------------- 029
def check_029():
    a1, a2, a3 = given_answers(29)
    c = (3, -5, 2)
    f, fp = poly(*c), poly(*dpoly(*c))
    x, dx = F(2), F("0.1")
    dy, Dy = fp(x) * dx, f(x + dx) - f(x)
    same(a1, "dy", dy)
    same(a1, "delta y", Dy)
    same(a1, f"f({fmt(x + dx)})", f(x + dx))
    assert Dy - dy == 3 * dx ** 2
    has(a1, f"off by {fmt(Dy - dy)}, about {round(100 * (Dy - dy) / Dy)}%",
        f"dx = 0.01 it would be only {fmt(3 * F('0.01') ** 2)}")

    L = lambda t: 5 + F(1, 10) * (t - 25)
    agrees(math.sqrt, lambda t: 1 / (2 * math.sqrt(t)), [25])
    slope = 1 / (2 * F(math.isqrt(25)))
    same(a2, "f'(25)", slope)
    assert all(L(t) == 5 + slope * (t - 25) for t in (24, 26))
    e26, e245 = L(26), L(F("24.5"))
    has(a2, f"L(26) = 5 + 0.1 = {fmt(e26)}", f"L(24.5) = 5 - 0.05 = {fmt(e245)}",
        f"`sqrt(26) = {math.sqrt(26):.4f}", f"`sqrt(24.5) = {math.sqrt(24.5):.4f}",
        f"by about {float(e26) - math.sqrt(26):.3f} and {float(e245) - math.sqrt(24.5):.4f}",
        f"estimate {fmt(5 + F(2, 10))}")
    assert float(e26) > math.sqrt(26) and float(e245) > math.sqrt(24.5)

    P = poly(F("-0.015"), 36, -2000)
    Pp = poly(*dpoly(F("-0.015"), 36, -2000))
    x0, x1 = 800, 810
    dP, DP = Pp(x0) * (x1 - x0), P(x1) - P(x0)
    same(a3, "dP", dP)
    same(a3, f"P({x0})", P(x0))
    same(a3, f"P({x1})", P(x1))
    same(a3, "delta P", DP)
    assert dP - DP == F("0.015") * (x1 - x0) ** 2
    has(a3, f"marginal profit at {x0} units is {money(Pp(x0))} per unit",
        f"increase of {money(DP)} with an error of only {money(dP - DP)}, about "
        f"{float(100 * (dP - DP) / DP):.1f}%")


if __name__ == "__main__":
    check_format()
    check_023()
    check_024()
    check_025()
    check_026()
    check_027()
    check_028()
    check_029()
    print("ok")
