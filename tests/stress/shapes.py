#!/usr/bin/env python3
"""Deeply nested input shapes over a small table, for the stress checks and
bench/stress_shapes.sh.

    shapes.py list               the shape names, one a line
    shapes.py NAME LEVELS FILE   writes the input of shape NAME nested
                                 LEVELS deep to FILE

Each result is the same at every even depth of 4 or more, so a shallow run
checked against the reference tells what a deep one must give.
"""
import sys

TABLES = "R(a int, b text)\n2, 'y'\n1, 'x'\n2, 'y'\n3, 'z'\n\nS(c int)\n7\n"

SHAPES = {
    # Operations whose closing parentheses never come.
    "union_unclosed": lambda n: "union(R," * n + "R",
    "minus_unclosed": lambda n: "minus(R," * n + "R",
    "project_unclosed": lambda n: "project(" * n + "R",
    "rename_unclosed": lambda n: "rename(" * n + "R",
    "product_rename_unclosed": lambda n: "product(S,rename(" * n + "R",
    # Conditions.
    "not_unclosed": lambda n: "select(R," + "NOT(" * n + "EQ(a,1)",
    "not_double_paren_unclosed": lambda n: "select(R," + "NOT((" * n + "EQ(a,1)",
    "and_unclosed": lambda n: "select(R," + "AND(EQ(a,1)," * n + "EQ(a,1)",
    "or_balanced": lambda n: "select(R," + "OR(EQ(a,2)," * n + "EQ(a,1)" + ")" * n + ")",
    # Long runs after a call.
    "groups_after_condition": lambda n: "select(R,EQ(a,1)" + "(x)" * n + ")",
    "groups_after_query": lambda n: "select(R,EQ(a,1))" + "(R)" * n,
    "surplus_closing": lambda n: "union(R,R)" + ")" * n,
    # Blanks around every token of a deep query.
    "blanks_everywhere": lambda n: "union( R , " + " union ( R , " * (n - 1) + " R " + " ) " * n,
    # A rename target nested in parentheses.
    "rename_target_parens": lambda n: "rename(R,N" + "(" * n + "x,y" + ")" * n + ")",
}


def main(argv):
    if len(argv) == 2 and argv[1] == "list":
        print("\n".join(SHAPES))
        return 0
    if len(argv) != 4 or argv[1] not in SHAPES:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[3], "w") as f:
        f.write(SHAPES[argv[1]](int(argv[2])) + "\n" + TABLES)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
