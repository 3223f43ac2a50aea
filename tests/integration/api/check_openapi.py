"""Checks vesk-api's OpenAPI document and the answers a test collected against it.

usage: check_openapi.py OPENAPI.json ANSWERS.json
ANSWERS: [{"method", "route" (the documented path), "status", "content_type", "body"}]
The document must be OpenAPI 3.1 whose schemas are valid JSON Schema 2020-12 and whose
references all resolve; every answer must be documented (path, method, status, media type)
and its JSON body valid against the documented schema; every documented operation of a group the
answers touch (operations are grouped by their tags) must have been answered at least once. Prints each fault and exits 1 when there is one.
"""
import json
import sys

import jsonschema

METHODS = {"get", "put", "post", "delete", "patch", "head", "options"}


def refs(node):
    if isinstance(node, dict):
        for key, value in node.items():
            if key == "$ref" and isinstance(value, str):
                yield value
            else:
                yield from refs(value)
    elif isinstance(node, list):
        for value in node:
            yield from refs(value)


def resolve(doc, ref):
    node = doc
    for part in ref.lstrip("#/").split("/"):
        node = node[part.replace("~1", "/").replace("~0", "~")]
    return node


def deref(doc, node):
    while isinstance(node, dict) and "$ref" in node:
        node = resolve(doc, node["$ref"])
    return node


def main():
    doc = json.load(open(sys.argv[1]))
    answers = json.load(open(sys.argv[2]))
    faults = []
    if not str(doc.get("openapi", "")).startswith("3.1."):
        faults.append("openapi is not 3.1.x")
    for field in ("title", "version"):
        if field not in doc.get("info", {}):
            faults.append("info." + field + " is missing")
    for ref in refs(doc):
        try:
            resolve(doc, ref)
        except (KeyError, TypeError):
            faults.append("unresolved $ref " + ref)
    validator = jsonschema.Draft202012Validator
    for name, schema in doc.get("components", {}).get("schemas", {}).items():
        try:
            validator.check_schema(schema)
        except jsonschema.SchemaError as e:
            faults.append("schema " + name + ": " + e.message)
    operations = {}
    for path, item in doc.get("paths", {}).items():
        for method, op in item.items():
            if method in METHODS:
                if not op.get("responses"):
                    faults.append(method.upper() + " " + path + " documents no response")
                operations[(method.upper(), path)] = op
    resolver = jsonschema.RefResolver.from_schema(doc)
    seen = set()
    for a in answers:
        where = "%s %s -> %s" % (a["method"], a["route"], a["status"])
        op = operations.get((a["method"], a["route"]))
        if op is None:
            faults.append(where + ": not in the document")
            continue
        seen.add((a["method"], a["route"]))
        response = op["responses"].get(str(a["status"]))
        if response is None:
            faults.append(where + ": status not documented")
            continue
        response = deref(doc, response)
        media = a["content_type"].split(";")[0].strip()
        content = response.get("content", {})
        if not media and not content and not a["body"]:
            continue  # an answer documented without a body, given without one
        if media not in content:
            faults.append(where + ": media type " + media + " not documented (" + ", ".join(content) + ")")
            continue
        schema = content[media].get("schema", {})
        body = a["body"]
        if media.endswith("json"):
            try:
                body = json.loads(body)
            except ValueError:
                faults.append(where + ": body is not JSON")
                continue
        try:
            validator(schema, resolver=resolver).validate(body)
        except jsonschema.ValidationError as e:
            faults.append(where + ": " + e.message + " at " + "/".join(str(p) for p in e.absolute_path))
    group = lambda key: tuple(operations[key].get("tags", []))
    touched = {group(key) for key in seen}
    for method, path in sorted(key for key in set(operations) - seen if group(key) in touched):
        faults.append(method + " " + path + ": documented but never answered in the test")
    for f in faults:
        print(f)
    print("%d answers checked against %d documented operations, %d faults" % (len(answers), len(operations), len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
