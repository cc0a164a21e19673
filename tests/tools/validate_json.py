#!/usr/bin/python3
"""Validates JSON documents against docs/cli-schema.json (draft 2020-12).

usage: validate_json.py SCHEMA [DEFINITION DOCUMENT...]
With only SCHEMA, checks that the schema itself is valid. Otherwise each
DOCUMENT file must be one JSON value valid against #/$defs/DEFINITION.
Prints one line per problem and exits 1 when there is any.
"""
import json
import sys

import jsonschema


def main(argv):
    with open(argv[1], encoding="utf-8") as handle:
        schema = json.load(handle)
    jsonschema.Draft202012Validator.check_schema(schema)
    if len(argv) < 4:
        return 0
    definition = argv[2]
    if definition not in schema.get("$defs", {}):
        print(f"no definition named {definition}")
        return 1
    wrapped = dict(schema)
    wrapped["$ref"] = f"#/$defs/{definition}"
    validator = jsonschema.Draft202012Validator(wrapped)
    problems = 0
    for path in argv[3:]:
        with open(path, encoding="utf-8") as handle:
            document = json.load(handle)
        for error in validator.iter_errors(document):
            problems += 1
            where = "/".join(str(part) for part in error.absolute_path)
            print(f"{path}: /{where}: {error.message}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
