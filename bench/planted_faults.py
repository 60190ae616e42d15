#!/usr/bin/python3
"""Plants single faults in a copy of the tree and tells which ones the tests catch.

Each fault (planted_faults.txt beside this script) breaks one promise the architecture makes of the
platform stand-in or the sound path with a small textual patch. For each: the patch is applied to a scratch copy of the committed tree
(never to this one), the test binaries that could see it are rebuilt, a chosen set of tests runs,
and the file is put back. A fault is caught when a test fails; it survived when all pass.

    bench/planted_faults.py [--list] [NAME-REGEX]

The copy lives in build-faults/ (FAULTS_DIR overrides) and is built once, then rebuilt
incrementally per fault (ccache helps the first build). It is made afresh from HEAD on each run, so
commit what is to be measured. The sound-server and real-output tests are never run.
Exit status: 0 when every fault planted was caught, 1 when one survived, 2 on a broken run.
"""
import os
import re
import shutil
import subprocess
import sys
import time

def Load(path):
    """The faults of planted_faults.txt: (name, promise, [(file, old, new), ...], targets, tests)."""
    faults = []
    for number, line in enumerate(open(path).read().split("\n"), 1):
        if not line or line.startswith("#"):
            continue
        word, _, rest = line.partition(" ")
        if word == "fault":
            faults.append({"name": rest, "promise": "", "build": [], "tests": "", "patches": []})
        elif not faults:
            raise SystemExit(f"{path}:{number}: a fault starts with 'fault NAME'")
        elif word in ("promise", "tests"):
            faults[-1][word] = rest
        elif word == "build":
            faults[-1]["build"] = rest.split()
        elif word == "in":
            faults[-1]["patches"].append([rest, None, None])
        elif line[0] in "-+" and faults[-1]["patches"]:
            patch = faults[-1]["patches"][-1]
            at = 1 if line[0] == "-" else 2
            patch[at] = line[1:] if patch[at] is None else patch[at] + "\n" + line[1:]
        else:
            raise SystemExit(f"{path}:{number}: not understood: {line}")
    return [(f["name"], f["promise"], [(p[0], p[1] or "", p[2] or "") for p in f["patches"]], f["build"], f["tests"])
            for f in faults]


FAULTS = Load(os.path.join(os.path.dirname(os.path.abspath(__file__)), "planted_faults.txt"))


def Mirror(source, target):
    """Makes `target` hold what `source` holds, touching only the files that differ (its build/ stays)."""
    wanted = set()
    for folder, _, files in os.walk(source):
        for f in files:
            relative = os.path.relpath(os.path.join(folder, f), source)
            wanted.add(relative)
            src, dst = os.path.join(source, relative), os.path.join(target, relative)
            with open(src, "rb") as a:
                data = a.read()
            if os.path.isfile(dst) and not os.path.islink(dst):
                with open(dst, "rb") as b:
                    if b.read() == data:
                        continue
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            shutil.copy2(src, dst)
    for folder, dirs, files in os.walk(target):
        if os.path.relpath(folder, target) == ".":
            dirs[:] = [d for d in dirs if d != "build"]
        for f in files:
            relative = os.path.relpath(os.path.join(folder, f), target)
            if relative not in wanted:
                os.remove(os.path.join(target, relative))


def run(command, cwd, log):
    with open(log, "a") as out:
        out.write("$ " + " ".join(command) + "\n")
        out.flush()
        return subprocess.run(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT).returncode


def main():
    args = sys.argv[1:]
    if args and args[0] == "--list":
        for name, promise, *_ in FAULTS:
            print(f"{name:32} {promise}")
        return 0
    only = re.compile(args[0]) if args else None
    repo = subprocess.run(["git", "rev-parse", "--show-toplevel"], cwd=os.path.dirname(os.path.abspath(__file__)),
                          capture_output=True, text=True, check=True).stdout.strip()
    work = os.environ.get("FAULTS_DIR", os.path.join(repo, "build-faults"))
    tree = os.path.join(work, "tree")
    build = os.path.join(tree, "build")
    log = os.path.join(work, "faults.log")
    os.makedirs(tree, exist_ok=True)
    open(log, "w").close()
    # The committed tree, laid over the copy: files that did not change keep their times, so the
    # copy's build stays valid from one run to the next.
    archive = subprocess.run(["git", "archive", "HEAD"], cwd=repo, capture_output=True, check=True).stdout
    stage = os.path.join(work, "stage")
    shutil.rmtree(stage, ignore_errors=True)
    os.makedirs(stage)
    subprocess.run(["tar", "-x", "-C", stage], input=archive, check=True)
    Mirror(stage, tree)
    shutil.rmtree(stage)
    jobs = os.environ.get("FAULTS_JOBS", "2")
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")) and run(["cmake", "--preset", "default"], tree, log):
        print(f"configuring the copy failed: see {log}")
        return 2
    print("building the copy ...", flush=True)
    if run(["cmake", "--build", "build", "-j", jobs, "--target", "cadenzo_checks"], tree, log):
        print(f"building the copy failed: see {log}")
        return 2

    caught = survived = broken = 0
    for name, promise, patches, targets, tests in FAULTS:
        if only and not only.search(name):
            continue
        started = time.monotonic()
        originals = {}
        applied = True
        for path, old, new in patches:
            full = os.path.join(tree, path)
            current = open(full).read()
            originals.setdefault(full, current)
            if current.count(old) != 1:
                applied = False
                break
            open(full, "w").write(current.replace(old, new))
        verdict = "NOT PLANTED"  # its text is no longer in the file: the fault needs updating
        if applied:
            with open(log, "a") as out:
                out.write(f"\n=== {name}\n")
            if run(["cmake", "--build", "build", "-j", jobs, "--target", *targets], tree, log):
                verdict = "broken (does not build)"
            else:
                failed = run(["ctest", "--test-dir", "build", "-j", jobs, "-R", tests, "-LE", "real-output|sound-server",
                              "--timeout", "120", "--stop-on-failure", "--no-tests=error"], tree, log)
                verdict = "caught" if failed else "SURVIVED"
        for full, text in originals.items():
            open(full, "w").write(text)
        if verdict == "caught":
            caught += 1
        elif verdict == "SURVIVED":
            survived += 1
        else:
            broken += 1
        print(f"{verdict:10} {name:32} {promise} ({time.monotonic() - started:.0f} s)", flush=True)
    # The copy is left as committed, its build brought back in step for the next run.
    run(["cmake", "--build", "build", "-j", jobs, "--target", "cadenzo_checks"], tree, log)
    print(f"{caught} caught, {survived} survived, {broken} not planted of {caught + survived + broken} faults")
    return 2 if broken else (1 if survived else 0)


if __name__ == "__main__":
    sys.exit(main())
