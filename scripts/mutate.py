#!/usr/bin/env python3
"""A mutation sample: how many small seeded faults in the product does the suite catch?

  scripts/mutate.py --seeds 1-60 --list mutants.txt [--build build/mutate]

Each seed picks one mutant from the product sources (*.cpp under foundation/,
http/, proxy/, viewer/): a comparison flipped, a whole-number constant moved
by one, a condition negated, a statement deleted, or two arguments swapped.
The chosen mutants are written to the list file; when the list exists, it is
replayed instead, each mutant found again by the text of its line (in the same
file if it is still there, else anywhere in the product), so the same sample
can be measured again after the code has moved. For each mutant the file is
changed, the subsystem's tests are rebuilt and run (ctest -L with the top
folder's label), and the file is restored. The result is killed (a test
failed), survived, did not compile, or gone (its line no longer exists).
"""
import argparse, os, random, re, subprocess, sys, time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PRODUCT = ("foundation", "http", "proxy", "viewer")
FLIP = {"<": ">=", ">": "<=", "<=": ">", ">=": "<", "==": "!=", "!=": "=="}
OPERATORS = ("flip", "constant", "negate", "delete", "swap")


def product_files():
    found = []
    for top in PRODUCT:
        for d, dirs, files in os.walk(os.path.join(ROOT, top)):
            dirs.sort()
            found += [os.path.relpath(os.path.join(d, f), ROOT) for f in sorted(files) if f.endswith(".cpp")]
    return found


def masked(line):
    """The line with string and character literals and a trailing comment blanked out."""
    out, quote, i = [], None, 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out += "  "
                i += 2
                continue
            out.append(" " if c != quote else c)
            if c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            out += " " * (len(line) - i)
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def closing_paren(text, start):
    depth = 0
    for i in range(start, len(text)):
        if text[i] == "(":
            depth += 1
        elif text[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


def candidates(line, previous):
    """Every (operator, mutated line) this line allows."""
    s = line.strip()
    if not s or s.startswith(("//", "#", "*", "/*")) or "static_assert" in s:
        return []
    m = masked(line)
    result = []
    for match in re.finditer(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)", m):
        op = match.group(1)
        result.append(("flip", line[:match.start()] + FLIP[op] + line[match.end():]))
    for match in re.finditer(r"(?<![\w.])(\d+)(?![\w.])", m):
        value = int(match.group(1))
        result.append(("constant", line[:match.start()] + str(value + 1) + line[match.end():]))
    for match in re.finditer(r"\b(if|while) \(", m):
        open_at = match.end() - 1
        close_at = closing_paren(m, open_at)
        if close_at > 0:
            cond = line[open_at + 1:close_at]
            result.append(("negate", line[:open_at + 1] + "!(" + cond + ")" + line[close_at:]))
    statement = re.match(r"\s*([\w.\->\[\]*:]+\s*(=|\+=|-=|\|=|&=)\s|[\w.\->:]+\(|\+\+|--)", m)
    if (statement and s.endswith(";") and not s.startswith(("return", "case", "delete ", "throw"))
            and m.count("(") == m.count(")") and previous.rstrip().endswith((";", "{", "}", ":"))):
        indent = line[:len(line) - len(line.lstrip())]
        result.append(("delete", indent + ";\n"))
    for match in re.finditer(r"\b\w+\(([\w.\->]+), ([\w.\->]+)\)", m):
        a, b = match.group(1), match.group(2)
        if a != b:
            start = match.start(1)
            result.append(("swap", line[:start] + b + ", " + a + line[match.end(2):]))
    return result


def generate(seeds):
    pool = []
    for path in product_files():
        lines = open(os.path.join(ROOT, path), encoding="utf-8", errors="surrogateescape").readlines()
        previous = ""
        for n, line in enumerate(lines):
            for op, new in candidates(line, previous):
                occurrence = sum(1 for l in lines[:n] if l == line)
                pool.append((path, occurrence, op, line, new))
            if line.strip():
                previous = line
    if not pool:
        sys.exit("mutate.py: no place to mutate was found")
    chosen = []
    for seed in seeds:
        rng = random.Random(seed)
        op = rng.choice(OPERATORS)
        of_kind = [c for c in pool if c[2] == op]
        chosen.append((seed,) + rng.choice(of_kind))
    return chosen


def write_list(path, mutants):
    with open(path, "w", encoding="utf-8", errors="surrogateescape") as f:
        for seed, file, occurrence, op, old, new in mutants:
            f.write(f"{seed}\t{file}\t{occurrence}\t{op}\t{old.rstrip(chr(10))!r}\t{new.rstrip(chr(10))!r}\n")


def read_list(path):
    import ast
    mutants = []
    for row in open(path, encoding="utf-8", errors="surrogateescape"):
        seed, file, occurrence, op, old, new = row.rstrip("\n").split("\t")
        mutants.append((int(seed), file, int(occurrence), op, ast.literal_eval(old) + "\n", ast.literal_eval(new) + "\n"))
    return mutants


def locate(file, occurrence, old):
    """(path, line index) of the mutant's line now, or None when it is gone."""
    def find(path, wanted):
        full = os.path.join(ROOT, path)
        if not os.path.exists(full):
            return []
        lines = open(full, encoding="utf-8", errors="surrogateescape").readlines()
        return [i for i, l in enumerate(lines) if l.strip() == wanted.strip()]
    hits = find(file, old)
    if hits:
        return file, hits[min(occurrence, len(hits) - 1)]
    elsewhere = [(p, i) for p in product_files() for i in find(p, old)]
    return elsewhere[0] if len(elsewhere) == 1 else None


def run(cmd, log, timeout):
    with open(log, "a") as out:
        out.write("\n$ " + " ".join(cmd) + "\n")
        out.flush()
        try:
            return subprocess.run(cmd, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT, timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            out.write("timed out\n")
            return -1


def label_of(path):
    return "^" + path.split("/")[0]


def build_targets(path):
    top = path.split("/")[0]
    return [f"tests/{top}/all"]


def parse_seeds(text):
    seeds = []
    for part in text.split(","):
        if "-" in part:
            a, b = part.split("-")
            seeds += range(int(a), int(b) + 1)
        else:
            seeds.append(int(part))
    return seeds


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--seeds", default="1-60", help="e.g. 1-60 or 1,5,9 (default 1-60)")
    ap.add_argument("--list", required=True, help="mutant list: written when missing, replayed when present")
    ap.add_argument("--build", default="build/mutate", help="build folder (default build/mutate)")
    ap.add_argument("--test-timeout", type=int, default=120, help="seconds per test (default 120)")
    args = ap.parse_args()

    build = os.path.join(ROOT, args.build)
    log = build + ".log"
    if os.path.exists(args.list):
        mutants = read_list(args.list)
        print(f"replaying {len(mutants)} mutants from {args.list}")
    else:
        mutants = generate(parse_seeds(args.seeds))
        write_list(args.list, mutants)
        print(f"{len(mutants)} mutants written to {args.list}")

    os.makedirs(build, exist_ok=True)
    if run(["cmake", "-S", ROOT, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug", "-DBUILD_BENCH=OFF"], log, 600) != 0 \
            or run(["cmake", "--build", build], log, 7200) != 0:
        sys.exit(f"mutate.py: the unmutated build failed (see {log})")
    green = {}
    results = []
    started = time.time()
    for seed, file, occurrence, op, old, new in mutants:
        where = locate(file, occurrence, old)
        if where is None:
            results.append((seed, "gone", file, op, old, new))
            print(f"seed {seed:3d} {op:8} {file}: gone")
            continue
        path, index = where
        label = label_of(path)
        ctest = ["ctest", "--test-dir", build, "-L", label, "-LE", "browser", "-j", str(os.cpu_count()),
                 "--timeout", str(args.test_timeout), "--stop-on-failure"]
        if label not in green:
            green[label] = run(ctest, log, 3600) == 0
            if not green[label]:
                sys.exit(f"mutate.py: the tests selected by label {label} fail without a mutant (see {log})")
        full = os.path.join(ROOT, path)
        original = open(full, encoding="utf-8", errors="surrogateescape").readlines()
        mutated = list(original)
        indent = original[index][:len(original[index]) - len(original[index].lstrip())]
        mutated[index] = indent + new.lstrip() if op != "delete" else indent + ";\n"
        try:
            open(full, "w", encoding="utf-8", errors="surrogateescape").writelines(mutated)
            if run(["cmake", "--build", build, "--target"] + build_targets(path), log, 3600) != 0:
                outcome = "did not compile"
            else:
                outcome = "survived" if run(ctest, log, 3600) == 0 else "killed"
        finally:
            open(full, "w", encoding="utf-8", errors="surrogateescape").writelines(original)
        results.append((seed, outcome, path, op, old, new))
        print(f"seed {seed:3d} {op:8} {path}:{index + 1}: {outcome}", flush=True)

    counts = {k: sum(1 for r in results if r[1] == k) for k in ("killed", "survived", "did not compile", "gone")}
    print(f"\n{len(results)} mutants in {int(time.time() - started)} s: " +
          ", ".join(f"{k} {v}" for k, v in counts.items()))
    survivors = [r for r in results if r[1] == "survived"]
    if survivors:
        print("survivors:")
        for seed, _, path, op, old, new in survivors:
            print(f"  seed {seed} {op} {path}\n    - {old.strip()}\n    + {new.strip()}")
    # the sample must leave the build as it found it
    run(["cmake", "--build", build], log, 7200)


if __name__ == "__main__":
    main()
