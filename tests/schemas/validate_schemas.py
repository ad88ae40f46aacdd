#!/usr/bin/env python3
"""Checks the JSON Schemas of schemas/ with Debian's python3-jsonschema.

  validate_schemas.py SCHEMA_DIR demo DEMO_DIR
      Each schema is a valid draft 2020-12 schema, and the demo's config.json
      and three catalogues in DEMO_DIR pass it.

  validate_schemas.py SCHEMA_DIR cases CASES_JSON
      The table of entries: the schema accepts each entry exactly when the
      program does (tests/schemas/schema_agreement_test.cpp runs the same
      table through the program), except where "schemaAccepts" says that the
      schema is stricter. The table of whole documents: each passes or fails
      as "valid" says.

  validate_schemas.py SCHEMA_DIR output PROGRAM INTRO_DIR
      PROGRAM --check --format json, run on a copy of the intro in INTRO_DIR
      and on copies spoilt in several ways, writes a document that
      check-output.schema.json accepts, whose counts match its findings.

Ends with a line "N passed, N failed"; the exit status is 1 when any failed.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile

from jsonschema import Draft202012Validator

# Schema name -> the file it describes, relative to an intro's folder
FILES = {
    "config": "config.json",
    "textures": "assets/textures.json",
    "sprites": "assets/sprites.json",
    "music": "assets/music.json",
    "show": "assets/show.json",
}


def load_validators(schema_dir):
    validators = {}
    for name in FILES:
        with open(os.path.join(schema_dir, name + ".schema.json"), encoding="utf-8") as f:
            schema = json.load(f)
        Draft202012Validator.check_schema(schema)
        validators[name] = Draft202012Validator(schema)
    return validators


def first_error(validator, document):
    error = next(iter(validator.iter_errors(document)), None)
    return None if error is None else error.message


def check_demo(validators, demo_dir):
    failures = []
    for name, path in FILES.items():
        # The show file is optional, and the demo plays the built-in show
        if name == "show" and not os.path.exists(os.path.join(demo_dir, path)):
            continue
        with open(os.path.join(demo_dir, path), encoding="utf-8") as f:
            document = json.load(f)
        error = first_error(validators[name], document)
        if error is not None:
            failures.append(f"{path}: refused: {error}")
    return len(FILES), failures


def entry_document(case):
    if case["catalogue"] == "config":
        return case["entry"]
    return {case["catalogue"]: {"k": case["entry"]}}


def check_cases(validators, cases_path):
    with open(cases_path, encoding="utf-8") as f:
        cases = json.load(f)
    failures = []
    count = 0
    for case in cases["entries"]:
        count += 1
        wanted = case.get("schemaAccepts", case["accepted"])
        error = first_error(validators[case["catalogue"]], entry_document(case))
        if (error is None) != wanted:
            said = "accepted" if error is None else f"refused ({error})"
            failures.append(f"{case['catalogue']} entry '{case['name']}': {said}, expected "
                            f"{'accepted' if wanted else 'refused'}")
    for case in cases["documents"]:
        count += 1
        error = first_error(validators[case["schema"]], case["document"])
        if (error is None) != case["valid"]:
            said = "accepted" if error is None else f"refused ({error})"
            failures.append(f"{case['schema']} document '{case['name']}': {said}, expected "
                            f"{'accepted' if case['valid'] else 'refused'}")
    return count, failures


def edit_json(path, change):
    with open(path, encoding="utf-8") as f:
        document = json.load(f)
    change(document)
    with open(path, "w", encoding="utf-8") as f:
        json.dump(document, f)


def write(path, text):
    with open(path, "wb") as f:
        f.write(text)


# Ways to spoil an intro, each giving findings of other kinds
SPOILS = {
    "as it is": lambda d: None,
    "unknown names": lambda d: (
        edit_json(os.path.join(d, "config.json"), lambda c: c.update({"fulscreen": True})),
        edit_json(os.path.join(d, "assets/sprites.json"), lambda c: c["sprites"]["title"].update({"rectw": 1}))),
    "no sprites": lambda d: os.remove(os.path.join(d, "assets/sprites.json")),
    "broken music": lambda d: write(os.path.join(d, "assets/music.json"), b'{"music": {\n  "song": {"file" 3}}}'),
    "keys not UTF-8": lambda d: write(os.path.join(d, "assets/textures.json"),
                                      b'{"textures": {"\xff\xfe/~": {"file": "nothere\xff.png"}}}'),
}


def check_output(schema_dir, program, intro_dir):
    with open(os.path.join(schema_dir, "check-output.schema.json"), encoding="utf-8") as f:
        schema = json.load(f)
    Draft202012Validator.check_schema(schema)
    validator = Draft202012Validator(schema)
    failures = []
    env = dict(os.environ, ALSOFT_DRIVERS="null")
    env.pop("DISPLAY", None)
    for name, spoil in SPOILS.items():
        with tempfile.TemporaryDirectory() as work:
            intro = os.path.join(work, "intro")
            shutil.copytree(intro_dir, intro)
            spoil(intro)
            run = subprocess.run([program, "--check", "--format", "json"], cwd=intro, env=env,
                                 capture_output=True, timeout=120)
            try:
                document = json.loads(run.stdout)
            except ValueError as error:
                failures.append(f"{name}: not JSON ({error}): {run.stdout[:200]!r}")
                continue
            error = first_error(validator, document)
            if error is not None:
                failures.append(f"{name}: refused: {error}")
                continue
            problems = sum(1 for f in document["findings"] if f["severity"] == "problem")
            if document["problems"] != problems or document["notes"] != len(document["findings"]) - problems:
                failures.append(f"{name}: the counts do not match the findings")
            if run.returncode != (1 if problems else 0):
                failures.append(f"{name}: exit status {run.returncode} with {problems} problems")
    return len(SPOILS), failures


def main(argv):
    if len(argv) == 5 and argv[2] == "output":
        count, failures = check_output(argv[1], argv[3], argv[4])
        for failure in failures:
            print(failure)
        print(f"{count - len(failures)} passed, {len(failures)} failed")
        return 1 if failures else 0
    if len(argv) != 4 or argv[2] not in ("demo", "cases"):
        print(__doc__, file=sys.stderr)
        return 2
    validators = load_validators(argv[1])
    if argv[2] == "demo":
        count, failures = check_demo(validators, argv[3])
    else:
        count, failures = check_cases(validators, argv[3])
    for failure in failures:
        print(failure)
    print(f"{count - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
