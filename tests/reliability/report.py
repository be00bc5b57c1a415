"""Builds RELIABILITY.md from test results: ctest's JUnit files of the normal and the sanitizer
run, the fuzz runs' figures and the soak's, by the rows of catalogue.tsv."""
import datetime
import os
import re
import subprocess
import xml.etree.ElementTree as ET

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RUNS = [("normal build", "build/results/junit.xml"),
        ("sanitizers", "build-asan/results/junit.xml")]


def load_junit(path):
    """Test name -> (status, tries)."""
    results = {}
    if not os.path.exists(path):
        return None
    for case in ET.parse(path).getroot().iter("testcase"):
        name = case.get("name", "")
        status = case.get("status", "")
        if case.find("failure") is not None or case.find("error") is not None:
            status = "fail"
        elif case.find("skipped") is not None or status in ("notrun", "disabled"):
            status = "skipped"
        else:
            status = "pass" if status in ("", "run", "pass") else status
        out = case.findtext("system-out") or ""
        tries = sum(int(n) for n in re.findall(r"\[reliability\] tries: (\d+)", out)) or 1
        results[name] = (status, tries)
    return results


def fuzz_figures(target):
    path = os.path.join(ROOT, "build-fuzz/results", target + ".tsv")
    if not os.path.exists(path):
        return None
    fields = open(path).read().split("\t")
    keys = ["target", "runs", "seconds", "cov", "ft", "speed", "inputs", "status"]
    return dict(zip(keys, [f.strip() for f in fields]))


def soak_section(path):
    """The soak's figures and verdicts, from the output of scripts/soak.sh."""
    lines = ["## Soak", "",
             "`scripts/soak.sh` (not in CI): the real launcher under a virtual X server, one",
             "encryption job and one decryption job over 10,000 small files and over one 5 GiB",
             "file, every output compared byte for byte, the launcher's memory from /proc.", ""]
    if not os.path.exists(path):
        return lines + ["Not run yet."]
    text = open(path, errors="replace").read()
    # Each test's figures are the [soak] lines between its RUN line and its verdict.
    tests, current = {}, None
    for line in text.splitlines():
        run = re.match(r"^\[ RUN\s+\] (Soak\.\w+)", line)
        verdict = re.match(r"^\[\s+(OK|FAILED|SKIPPED)\s+\] (Soak\.\w+)", line)
        figures = re.match(r"^\[soak\] (.*)$", line)
        if run:
            current = run.group(1)
            tests[current] = {"verdict": None, "figures": [], "why": []}
        elif verdict and verdict.group(2) in tests:
            tests[verdict.group(2)]["verdict"] = verdict.group(1)
            current = None
        elif figures and current:
            tests[current]["figures"].append(figures.group(1))
        elif current and line and not line.startswith(("[", "..", "Expected", "  ")):
            tests[current]["why"].append(line.strip())
    for name, test in sorted(tests.items()):
        held = {"OK": "held", "FAILED": "**failed**", "SKIPPED": "skipped", None: "did not end"}
        reason = " (%s)" % "; ".join(sorted(set(test["why"]))) if test["verdict"] == "FAILED" and test["why"] else ""
        lines.append("- %s: %s%s" % (name, held[test["verdict"]], reason))
        lines.extend("  - %s" % f for f in test["figures"])
    return lines


def main():
    runs = [(label, load_junit(os.path.join(ROOT, path))) for label, path in RUNS]
    rows = []
    for line in open(os.path.join(ROOT, "tests/reliability/catalogue.tsv")):
        if not line.strip() or line.startswith("#"):
            continue
        kind, what, source = line.rstrip("\n").split("\t")
        if source.startswith("fuzz:"):
            f = fuzz_figures(source[5:])
            if f is None:
                rows.append((kind, what, "not run", "not run"))
                continue
            tried = "%s inputs in %s s (%s exec/s), coverage %s edges, corpus %s" % (
                f["runs"], f["seconds"], f["speed"], f["cov"], f["inputs"])
            held = "held" if f["status"] == "held" else "**broken**"
            rows.append((kind, what, tried, held))
            continue
        pattern = re.compile(source[5:])
        tried_parts, held_parts = [], []
        for label, results in runs:
            if results is None:
                held_parts.append("%s: not run" % label)
                continue
            matched = {n: r for n, r in results.items() if pattern.search(n)}
            ran = {n: r for n, r in matched.items() if r[0] != "skipped"}
            passed = sum(1 for r in ran.values() if r[0] == "pass")
            tries = sum(r[1] for r in ran.values())
            skipped = len(matched) - len(ran)
            tried_parts.append("%s: %d tests, %d tries" % (label, len(ran), tries))
            verdict = "held" if ran and passed == len(ran) else (
                "not run" if not ran else "**%d of %d failed**" % (len(ran) - passed, len(ran)))
            if skipped:
                verdict += " (%d skipped)" % skipped
            held_parts.append("%s: %s" % (label, verdict))
        rows.append((kind, what, "; ".join(tried_parts) or "not run", "; ".join(held_parts)))

    try:
        commit = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"],
                                capture_output=True, text=True).stdout.strip()
    except OSError:
        commit = "unknown"
    out = ["# Reliability", "",
           "What is tried against Zembra (hostile inputs, faults, load), how often, and what held.",
           "Generated by `scripts/reliability-report.sh` from the results of the last",
           "`scripts/test.sh` (commit %s, %s); do not edit by hand." % (
               commit, datetime.datetime.utcnow().strftime("%Y-%m-%d %H:%M UTC")),
           "",
           "| kind | what is tried | how often | what held |",
           "|---|---|---|---|"]
    for kind, what, tried, held in rows:
        out.append("| %s | %s | %s | %s |" % (kind, what, tried, held))
    out.append("")
    out += soak_section(os.path.join(ROOT, "build/results/soak.txt"))
    out.append("")
    with open(os.path.join(ROOT, "RELIABILITY.md"), "w") as f:
        f.write("\n".join(out))
    print("wrote RELIABILITY.md")


main()
