#!/usr/bin/env python3
"""Write data/collation.txt, the collation table Tarnwick ships.

Output: one collation per line, "name<TAB>id<TAB>code page\n", ASCII only,
no header, sorted by name.  The id is the 32-bit collation value as the
boot page stores it, written as an UNSIGNED decimal (0..4294967295); the
source lists the SQL_* ids whose top bit is set as negative signed numbers,
they are converted here (e.g. SQL_Danish_Pref_CP1_CI_AS -1224683515 ->
3070283781 = 0xB700D005).

Source: collations.tsv (name, collation_id, code_page) from the shared
folder beside the repository.  Ground truth, checked on every run:
  * the collation ids seen in real data files (built in below, and every
    corpus/*/expected.json when the corpus is present): each must map to
    its collationName and codePage in the output;
  * no id may occur twice with different names.  Policy for such a
    duplicate: the name a corpus file shows for that id wins; a duplicate
    without corpus evidence stops the run, so that a person decides (the
    current collations.tsv has no duplicate ids at all);
  * every id must agree with the bit layout that the ids themselves show,
    decoded from the name (see expected_windows_bits / check_sql), so a
    typo in one row cannot slip through;
  * code pages: Windows ANSI code pages (874, 932, 936, 949, 950,
    1250-1258), the OEM code pages 437/850 only for the SQL_*_CP437/CP850
    collations, and 0 for the Unicode-only collations (kept as the source
    says; their count is printed);
  * coverage: the collation families the program must know are present.

Usage: make_collation_table.py [--source TSV] [--corpus DIR] [--output FILE]
                               [--check]
--check compares the existing output file with what would be written and
exits 1 if they differ, without writing.
"""

import argparse
import json
import os
import re
import sys

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SHARED = os.path.join(os.path.dirname(REPO), "shared")

# Facts from real files (corpus README, "Collation ids seen in these files").
KNOWN_IDS = {
    872468488: ("SQL_Latin1_General_CP1_CI_AS", 1252),  # 0x3400D008
    53256: ("Latin1_General_CI_AS", 1252),  # low 16 bits of the above
    53268: ("Romanian_CI_AS", 1250),  # SQL Server 2008 file
}

ANSI_CODE_PAGES = {874, 932, 936, 949, 950} | set(range(1250, 1259))
OEM_CODE_PAGES = {437, 850}

# Code page every collation of a locale family must have (families the
# program has to handle; the others only have to be consistent).
FAMILY_CODE_PAGES = {
    "Latin1_General": 1252,
    "Chinese_PRC": 936,
    "Chinese_PRC_Stroke": 936,
    "Chinese_Simplified_Pinyin": 936,
    "Chinese_Simplified_Stroke_Order": 936,
    "Chinese_Taiwan_Stroke": 950,
    "Chinese_Taiwan_Bopomofo": 950,
    "Chinese_Hong_Kong_Stroke": 950,
    "Chinese_Traditional_Bopomofo": 950,
    "Chinese_Traditional_Pinyin": 950,
    "Chinese_Traditional_Stroke_Count": 950,
    "Chinese_Traditional_Stroke_Order": 950,
    "Japanese": 932,
    "Japanese_Unicode": 932,
    "Japanese_XJIS": 932,
    "Japanese_Bushu_Kakusu": 932,
    "Korean": 949,
    "Korean_Wansung": 949,
    "Cyrillic_General": 1251,
    "Ukrainian": 1251,
    "Greek": 1253,
    "Turkish": 1254,
    "Arabic": 1256,
    "Hebrew": 1255,
    "Thai": 874,
    "Vietnamese": 1258,
    "Estonian": 1257,
    "Latvian": 1257,
    "Lithuanian": 1257,
    "Czech": 1250,
    "Polish": 1250,
    "Hungarian": 1250,
    "Croatian": 1250,
    "Slovak": 1250,
    "Slovenian": 1250,
    "Romanian": 1250,
    "Albanian": 1250,
}

# Names that must be in the output (coverage of the required families).
REQUIRED_NAMES = [
    "Latin1_General_CI_AS", "Latin1_General_CS_AS", "Latin1_General_BIN",
    "Latin1_General_BIN2", "Latin1_General_100_CI_AS", "Latin1_General_100_CS_AS",
    "Latin1_General_100_BIN", "Latin1_General_100_BIN2", "Chinese_PRC_CI_AS",
    "Chinese_Taiwan_Stroke_CI_AS", "Japanese_CI_AS", "Korean_Wansung_CI_AS",
    "Cyrillic_General_CI_AS", "Greek_CI_AS", "Turkish_CI_AS", "Arabic_CI_AS",
    "Hebrew_CI_AS", "Thai_CI_AS", "Vietnamese_CI_AS", "Lithuanian_CI_AS",
    "Czech_CI_AS", "Polish_CI_AS", "Hungarian_CI_AS", "Romanian_CI_AS",
    "SQL_Latin1_General_CP1_CI_AS", "SQL_Latin1_General_CP1_CS_AS",
]

WINDOWS_NAME = re.compile(r"^(?P<family>[A-Za-z0-9_]+?)(?:_(?P<ver>90|100|140))?"
                          r"_(?P<style>BIN2?|C[IS]_A[IS](?:_KS)?(?:_WS)?(?:_SC)?(?:_VSS)?)$")
SQL_NAME = re.compile(r"^SQL_.*_CP(?P<cp>\d+)_(?P<style>BIN2?|C[IS]_A[IS])$")
VERSION_BITS = {None: 0, "90": 1, "100": 2, "140": 3}  # bits 17-19 of the id


class TableError(Exception):
    pass


def expected_windows_bits(ver, style):
    """Flag and version bits that the ids in the source show for a style.

    Low byte: locale index (one per family and version); 0x100 supplementary
    characters (always on for the 140 versions, which have no _SC names);
    0x200 variation-selector insensitive (140 versions without _VSS);
    0x800 BIN2; 0x1000 case-insensitive; 0x2000 accent-insensitive;
    0x4000 kana-insensitive (no _KS); 0x8000 width-insensitive (no _WS);
    0x10000 BIN; bits 17-19 version.
    """
    bits = VERSION_BITS[ver] << 17
    if style == "BIN":
        return bits | 0x10000
    if style == "BIN2":
        return bits | 0x800
    tokens = set(style.split("_"))
    if "CI" in tokens:
        bits |= 0x1000
    if "AI" in tokens:
        bits |= 0x2000
    if "KS" not in tokens:
        bits |= 0x4000
    if "WS" not in tokens:
        bits |= 0x8000
    if "SC" in tokens or ver == "140":
        bits |= 0x100
    if ver == "140" and "VSS" not in tokens:
        bits |= 0x200
    return bits


def read_source(path):
    rows = []
    with open(path, "rb") as f:
        data = f.read()
    try:
        text = data.decode("ascii")
    except UnicodeDecodeError as e:
        raise TableError("%s: not ASCII (%s)" % (path, e))
    for lineno, line in enumerate(text.splitlines(), 1):
        if not line.strip():
            continue
        fields = line.split("\t")
        if len(fields) != 3:
            raise TableError("%s:%d: expected 3 fields, got %d" % (path, lineno, len(fields)))
        name, cid, cp = (x.strip() for x in fields)
        if lineno == 1 and not cid.lstrip("-").isdigit():
            continue  # header
        if not re.fullmatch(r"[A-Za-z0-9_]+", name):
            raise TableError("%s:%d: odd collation name %r" % (path, lineno, name))
        try:
            cid_v, cp_v = int(cid), int(cp)
        except ValueError:
            raise TableError("%s:%d: id or code page is not a number" % (path, lineno))
        if not -(1 << 31) <= cid_v < (1 << 32):
            raise TableError("%s:%d: id %d is not a 32-bit value" % (path, lineno, cid_v))
        rows.append((name, cid_v & 0xFFFFFFFF, cp_v))
    return rows


def read_corpus(corpus_dir):
    """Return ({id: (name, code page, folder)}, number of files read)."""
    facts = {}
    files = 0
    if not corpus_dir or not os.path.isdir(corpus_dir):
        return facts, files
    for entry in sorted(os.listdir(corpus_dir)):
        path = os.path.join(corpus_dir, entry, "expected.json")
        if not os.path.isfile(path):
            continue
        with open(path, encoding="utf-8") as f:
            doc = json.load(f)
        files += 1
        try:
            cid = int(doc["collationId"]) & 0xFFFFFFFF
            fact = (doc["collationName"], int(doc["codePage"]), entry)
        except (KeyError, TypeError, ValueError) as e:
            raise TableError("%s: no usable collation fields (%s)" % (path, e))
        old = facts.get(cid)
        if old and old[:2] != fact[:2]:
            raise TableError("corpus disagrees with itself on id %d: %s vs %s" % (cid, old, fact))
        facts[cid] = fact
    return facts, files


def dedupe(rows, evidence):
    """One row per name and one name per id; see the policy at the top."""
    by_name = {}
    for name, cid, cp in rows:
        if name in by_name and by_name[name] != (cid, cp):
            raise TableError("%s listed twice with different values: %s vs %s"
                             % (name, by_name[name], (cid, cp)))
        by_name[name] = (cid, cp)
    by_id = {}
    for name, (cid, cp) in by_name.items():
        by_id.setdefault(cid, []).append((name, cp))
    out = []
    resolved = []
    for cid, names in by_id.items():
        if len(names) > 1:
            known = evidence.get(cid)
            pick = [n for n in names if known and n[0] == known[0]]
            if not pick:
                raise TableError("id %d (0x%08X) has several names %s and no file shows which"
                                 % (cid, cid, sorted(n for n, _ in names)))
            resolved.append((cid, pick[0][0], sorted(n for n, _ in names if n != pick[0][0])))
            names = pick
        out.append((names[0][0], cid, names[0][1]))
    out.sort(key=lambda r: r[0])
    return out, resolved


def check_structure(table):
    """Check every id against the layout decoded from its name."""
    by_id = {cid: name for name, cid, _ in table}
    locale_index = {}  # (family, version) -> low byte
    family_cp = {}
    for name, cid, cp in table:
        if name.startswith("SQL_"):
            continue
        m = WINDOWS_NAME.match(name)
        if not m:
            raise TableError("%s: not a recognised Windows collation name" % name)
        fam, ver, style = m.group("family"), m.group("ver"), m.group("style")
        bits = expected_windows_bits(ver, style)
        if cid >> 20:
            raise TableError("%s: Windows id 0x%08X has bits above bit 19" % (name, cid))
        if cid & ~0xFF != bits:
            raise TableError("%s: id 0x%08X, flags expected 0x%05X" % (name, cid, bits))
        idx = cid & 0xFF
        if locale_index.setdefault((fam, ver), idx) != idx:
            raise TableError("%s: locale index 0x%02X, its family has 0x%02X"
                             % (name, idx, locale_index[(fam, ver)]))
        if family_cp.setdefault(fam, cp) != cp:
            raise TableError("%s: code page %d, its family has %d" % (name, cp, family_cp[fam]))
        if cp != 0 and cp not in ANSI_CODE_PAGES:
            raise TableError("%s: implausible code page %d" % (name, cp))
    owners = {}
    for key, idx in locale_index.items():
        other = owners.setdefault((idx, key[1]), key)
        if other != key:
            raise TableError("locale index 0x%02X used by %s and %s" % (idx, other, key))
    for fam, cp in FAMILY_CODE_PAGES.items():
        if fam not in family_cp:
            raise TableError("no collation of family %s" % fam)
        if family_cp[fam] != cp:
            raise TableError("family %s has code page %d, expected %d" % (fam, family_cp[fam], cp))

    sort_ids = {}
    for name, cid, cp in table:
        if not name.startswith("SQL_"):
            continue
        m = SQL_NAME.match(name)
        if not m:
            raise TableError("%s: not a recognised SQL collation name" % name)
        want_cp = 1252 if m.group("cp") == "1" else int(m.group("cp"))
        if cp != want_cp:
            raise TableError("%s: code page %d, the name says %d" % (name, cp, want_cp))
        if cp not in ANSI_CODE_PAGES and cp not in OEM_CODE_PAGES:
            raise TableError("%s: implausible code page %d" % (name, cp))
        sort_id, low = cid >> 24, cid & 0xFFFFFF
        if sort_id == 0:
            raise TableError("%s: SQL id 0x%08X has no sort order byte" % (name, cid))
        # The low 24 bits are a plain (unversioned) Windows collation with
        # the same comparison style: CI_AS -> Xxx_CI_AS, BIN -> Xxx_BIN ...
        base = by_id.get(low)
        style = m.group("style")
        if base is None or base.startswith("SQL_") or not base.endswith("_" + style):
            raise TableError("%s: low 24 bits 0x%06X are not a Windows %s collation (%s)"
                             % (name, low, style, base))
        if low & ~0xFF != expected_windows_bits(None, style):
            raise TableError("%s: style bits of 0x%08X do not match %s" % (name, cid, style))
        # One sort order per SQL collation; only a BIN / BIN2 pair shares one.
        sort_ids.setdefault(sort_id, []).append(style)
    for sort_id, styles in sort_ids.items():
        if len(styles) > 1 and sorted(styles) != ["BIN", "BIN2"]:
            raise TableError("sort order %d shared by %s" % (sort_id, styles))
    return family_cp


def check_facts(table, facts, label):
    by_id = {cid: (name, cp) for name, cid, cp in table}
    for cid, fact in sorted(facts.items()):
        got = by_id.get(cid)
        if got != tuple(fact[:2]):
            raise TableError("%s: id %d (0x%08X) must be %s / %d, table has %s"
                             % (label, cid, cid, fact[0], fact[1], got))


def render(table):
    lines = []
    for name, cid, cp in table:
        line = "%s\t%d\t%d\n" % (name, cid, cp)
        line.encode("ascii")
        lines.append(line)
    return "".join(lines)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--source", default=os.path.join(SHARED, "collations.tsv"))
    ap.add_argument("--corpus", default=os.path.join(SHARED, "corpus"))
    ap.add_argument("--output", default=os.path.join(REPO, "data", "collation.txt"))
    ap.add_argument("--check", action="store_true",
                    help="compare the output file instead of writing it")
    args = ap.parse_args(argv)

    try:
        rows = read_source(args.source)
        corpus, corpus_files = read_corpus(args.corpus)
        evidence = {cid: (n, cp) for cid, (n, cp) in KNOWN_IDS.items()}
        evidence.update({cid: f[:2] for cid, f in corpus.items()})
        table, resolved = dedupe(rows, evidence)
        family_cp = check_structure(table)
        check_facts(table, KNOWN_IDS, "known id")
        check_facts(table, corpus, "corpus")
        names = {r[0] for r in table}
        missing = [n for n in REQUIRED_NAMES if n not in names]
        if missing:
            raise TableError("required collations missing: %s" % ", ".join(missing))
    except (TableError, OSError) as e:
        print("make_collation_table: %s" % e, file=sys.stderr)
        return 2

    text = render(table)
    sql = sum(1 for r in table if r[0].startswith("SQL_"))
    zero_fams = sorted(f for f, cp in family_cp.items() if cp == 0)
    zero = sum(1 for r in table if r[2] == 0)
    print("%d collations (%d SQL_, %d Windows) from %d source rows; %d duplicate ids resolved"
          % (len(table), sql, len(table) - sql, len(rows), len(resolved)))
    for cid, kept, dropped in resolved:
        print("  id %d: kept %s (a real file shows it), dropped %s" % (cid, kept, ", ".join(dropped)))
    print("code page 0 (Unicode-only): %d collations, families %s" % (zero, ", ".join(zero_fams)))
    if corpus:
        print("corpus: %d files, ids %s all match" % (corpus_files, sorted(corpus)))
    else:
        print("corpus: not found at %s, only the built-in ids were checked" % args.corpus)

    if args.check:
        try:
            with open(args.output, "rb") as f:
                current = f.read()
        except OSError:
            current = None
        if current != text.encode("ascii"):
            print("%s is out of date" % args.output, file=sys.stderr)
            return 1
        print("%s is up to date" % args.output)
        return 0
    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    with open(args.output, "wb") as f:
        f.write(text.encode("ascii"))
    print("wrote %s" % args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
