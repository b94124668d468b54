"""Applies the one-line changes of scripts/mutations.txt one at a time and runs their tests.

Each change is four lines, separated from the next by a blank line:
    path of the source file
    the exact text to replace (found once)
    its replacement
    test executable and gtest filter, after a screen scale in DPI where it needs one ("192 ")
A "\\n" in the texts stands for a line break. An entry that no longer matches the code, or no
longer builds, fails the run as a missed change does.
"""
import pathlib
import subprocess
import sys


def changes(root):
    text = (root / "scripts" / "mutations.txt").read_text()
    blocks = [b for b in text.split("\n\n") if b.strip() and not b.lstrip().startswith("#")]
    for block in blocks:
        lines = [line for line in block.splitlines() if not line.startswith("#")]
        path, original, replacement, test = lines
        original, replacement = original.replace("\\n", "\n"), replacement.replace("\\n", "\n")
        scale = test.split(" ", 1)[0] if test.split(" ", 1)[0].isdigit() else ""
        executable, _, test_filter = test[len(scale):].strip().partition(" ")
        yield path, original, replacement, executable, test_filter, scale


def caught(root, build, change):
    path, original, replacement, executable, test_filter, scale = change
    source = root / path
    kept = source.read_text()
    if kept.count(original) != 1:
        return "not found once"
    source.write_text(kept.replace(original, replacement))
    try:
        built = subprocess.run(["cmake", "--build", str(build), "--target", executable, "--parallel", "2"],
                               capture_output=True, text=True)
        if built.returncode != 0:
            return "does not build"
        program = str(build / "bin" / (executable + ".exe"))
        command = ["wine", program, "--gtest_filter=" + test_filter]
        if scale:
            command = ["bash", str(root / "tests" / "support" / "at_dpi.sh"), scale, program, test_filter]
        run = subprocess.run(command, capture_output=True, text=True, timeout=300)
        if run.returncode == 127 or "Running 0 tests" in run.stdout:
            return "does not run"  # a script or an executable missing, or a filter that names no test
        return "caught" if run.returncode != 0 else "MISSED"
    except subprocess.TimeoutExpired:
        return "caught (hung)"
    finally:
        source.write_text(kept)


def main():
    root, build = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    wanted = {int(n) for n in sys.argv[3:]}
    missed = 0
    for number, change in enumerate(changes(root), 1):
        if wanted and number not in wanted:
            continue
        verdict = caught(root, build, change)
        missed += not verdict.startswith("caught")
        print(f"{number:3} {verdict:15} {change[0]}: {change[2].strip()[:70]}", flush=True)
    subprocess.run(["cmake", "--build", str(build), "--parallel", "2"], capture_output=True)
    sys.exit(1 if missed else 0)


main()
