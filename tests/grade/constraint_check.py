"""Constraints of grading, checked from outside the program.

The end-to-end tests read the constraints as `relalg --grade REF
--explain-constraints` lists them, read an input file's tables with the
row-line rules, and check on their own that a counterexample keeps every
constraint, and which rows leave with a row taken away (the rows that refer
to it, and so on). Written plainly, apart from the program's code.
"""
import re


def split_values(line):
    """The values of a row line: runs between blanks and commas, a quoted run
    (from a value's first apostrophe to the next) kept whole."""
    out, i, n = [], 0, len(line)
    while i < n:
        while i < n and line[i] in b" ,":
            i += 1
        if i == n:
            break
        start, quoted = i, False
        while i < n and line[i] not in b" ,":
            if line[i:i + 1] == b"'" and not quoted:
                quoted = True
                close = line.find(b"'", i + 1)
                i = n if close < 0 else close + 1
                continue
            i += 1
        out.append(line[start:i])
    return out


def to_int(text):
    """C's atoi, clamped to 32 bits."""
    m = re.match(rb"[ \t\n\v\f\r]*([+-]?)(\d*)", text)
    v = int(m.group(2)) if m.group(2) else 0
    v = -v if m.group(1) == b"-" else v
    return max(-2 ** 31, min(2 ** 31 - 1, v))


class Row(list):
    """A row's cells, with the line they were read from."""
    line = b""


def read_tables(text):
    """{name: {"header": line, "columns": [...], "ints": [...], "rows":
    [Row...]}} of an input's table blocks (the query line skipped), in the
    order of the file."""
    tables, cur = {}, None
    for line in text.split(b"\n")[1:]:
        if line == b"":
            cur = None
            continue
        if cur is None:
            name, _, rest = line.partition(b"(")
            cols, ints = [], []
            for d in rest.split(b")")[0].split(b","):
                words = d.split()
                cols.append(words[0] if words else b"")
                ints.append(len(words) > 1 and words[1] == b"int")
            cur = tables[name] = {"header": line, "columns": cols, "ints": ints, "rows": []}
            continue
        vals = split_values(line)
        vals += [b""] * (len(cur["columns"]) - len(vals))
        row = Row(to_int(v) if k else v for v, k in zip(vals, cur["ints"]))
        row.line = line
        cur["rows"].append(row)
    return tables


def _side(text):
    """'T(c, d) where x = V' -> (T, [c, d], (x, V) or None)."""
    text = text.strip()
    m = re.match(rb"^(.*?)\(([^)]*)\)\s*(?:where\s+(\S+)\s*=\s*(.+))?$", text)
    cols = [c.strip() for c in m.group(2).split(b",")]
    where = (m.group(3), m.group(4).strip()) if m.group(3) else None
    return m.group(1).strip(), cols, where


def parse_constraints(listing):
    """The constraints of a --explain-constraints listing (one exercise)."""
    out = []
    for line in listing.split(b"\n"):
        line = re.sub(rb"  # added$", b"", line).strip()
        if not line or line.startswith(b"#"):
            continue
        kind, _, rest = line.partition(b" ")
        if kind == b"key":
            t, cols, _ = _side(rest)
            out.append(("key", t, cols))
        elif kind == b"reference":
            left, _, right = rest.partition(b"->")
            out.append(("reference", _side(left), _side(right)))
        elif kind == b"values":
            side, _, vals = rest.partition(b"=")
            t, cols, _ = _side(side)
            out.append(("values", t, cols[0], split_values(vals)))
        elif kind == b"order":
            out.append(("order", rest.strip()))
    return out


def _cell(table, row, col):
    i = len(table["columns"]) - 1 - table["columns"][::-1].index(col)
    return row[i]


def _admits(table, row, where):
    if where is None:
        return True
    col, v = where
    i = len(table["columns"]) - 1 - table["columns"][::-1].index(col)
    want = to_int(v) if table["ints"][i] else v
    return row[i] == want


def broken(tables, constraints):
    """The constraints the tables break (a table absent counts as empty)."""
    out = []
    empty = {"columns": [], "ints": [], "rows": []}
    for c in constraints:
        if c[0] == "key":
            t = tables.get(c[1], empty)
            keys = [tuple(_cell(t, r, k) for k in c[2]) for r in t["rows"]]
            if len(keys) != len(set(keys)):
                out.append(c)
        elif c[0] == "reference":
            (st, scol, swhere), (tt, tcol, twhere) = c[1], c[2]
            s, t = tables.get(st, empty), tables.get(tt, empty)
            have = {_cell(t, r, tcol[0]) for r in t["rows"] if _admits(t, r, twhere)}
            if any(_cell(s, r, scol[0]) not in have for r in s["rows"] if _admits(s, r, swhere)):
                out.append(c)
        elif c[0] == "values":
            t = tables.get(c[1], empty)
            if t["rows"]:
                i = len(t["columns"]) - 1 - t["columns"][::-1].index(c[2])
                allowed = [to_int(v) for v in c[3]] if t["ints"][i] else c[3]
                if any(r[i] not in allowed for r in t["rows"]):
                    out.append(c)
        elif c[0] == "order":
            rows = tables.get(c[1], empty)["rows"]
            if any(not rows[i - 1] < rows[i] for i in range(1, len(rows))):
                out.append(c)
    return out


def without(tables, name, index, constraints):
    """The tables without row `index` of table `name`, and without the rows
    left with no partner by a reference, and so on."""
    out = {k: {**v, "rows": list(v["rows"])} for k, v in tables.items()}
    del out[name]["rows"][index]
    refs = [c for c in constraints if c[0] == "reference"]
    changed = True
    while changed:
        changed = False
        for (st, scol, swhere), (tt, tcol, twhere) in (c[1:] for c in refs):
            if st not in out:
                continue
            t = out.get(tt, {"columns": [], "ints": [], "rows": []})
            have = {_cell(t, r, tcol[0]) for r in t["rows"] if _admits(t, r, twhere)}
            s = out[st]
            keep = [r for r in s["rows"] if not _admits(s, r, swhere) or _cell(s, r, scol[0]) in have]
            if len(keep) != len(s["rows"]):
                s["rows"] = keep
                changed = True
    return out


def render(query, tables):
    """An input text: the query, then the tables, each its header line and
    its rows' lines."""
    out = [query]
    for k, t in enumerate(tables.values()):
        if k > 0:
            out.append(b"")
        out.append(t["header"])
        out.extend(r.line for r in t["rows"])
    return b"\n".join(out) + b"\n"
