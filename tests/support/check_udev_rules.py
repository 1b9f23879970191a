"""Syntax check of udev rules files, for udev versions without `udevadm verify`.

Each rule line is a comma-separated list of KEY[{attr}] OP "value" items; match
keys take == or !=, assignment keys take =, +=, -= or :=; a rule needs at least
one item, GOTO targets need a LABEL.  Exit status 1 with the offending line on
any error.
"""
import re
import sys

MATCH_KEYS = {"ACTION", "DEVPATH", "KERNEL", "KERNELS", "NAME", "SYMLINK", "SUBSYSTEM", "SUBSYSTEMS", "DRIVER",
              "DRIVERS", "ATTR", "ATTRS", "SYSCTL", "ENV", "CONST", "TAG", "TAGS", "TEST", "PROGRAM", "RESULT"}
ASSIGN_KEYS = {"NAME", "SYMLINK", "OWNER", "GROUP", "MODE", "SECLABEL", "ATTR", "SYSCTL", "ENV", "TAG", "RUN",
               "LABEL", "GOTO", "IMPORT", "OPTIONS"}
WITH_ATTRIBUTE = {"ATTR", "ATTRS", "SYSCTL", "ENV", "CONST", "TEST", "RUN", "IMPORT", "SECLABEL"}
ITEM = re.compile(r'\s*([A-Z]+)(\{[^}]+\})?\s*(==|!=|\+=|-=|:=|=)\s*"((?:[^"\\]|\\.)*)"\s*(,|$)')


def check_line(text):
    pos, items = 0, []
    while pos < len(text):
        m = ITEM.match(text, pos)
        if not m:
            return None, "cannot read an item at column %d" % (pos + 1)
        key, attribute, op, value, _ = m.groups()
        if attribute and key not in WITH_ATTRIBUTE:
            return None, "%s takes no {attribute}" % key
        if key in WITH_ATTRIBUTE - {"TEST", "RUN", "IMPORT"} and not attribute:
            return None, "%s needs an {attribute}" % key
        if op in ("==", "!=") and key not in MATCH_KEYS:
            return None, "%s cannot be matched" % key
        if op not in ("==", "!=") and key not in ASSIGN_KEYS:
            return None, "%s cannot be assigned" % key
        items.append((key, op, value))
        pos = m.end()
    if not items:
        return None, "empty rule"
    return items, None


def main(paths):
    failed = False
    for path in paths:
        labels, gotos = set(), []
        with open(path, encoding="utf-8") as f:
            lines = f.read().split("\n")
        for number, line in enumerate(lines, 1):
            text = line.strip()
            if not text or text.startswith("#"):
                continue
            if line.endswith("\\"):
                print("%s:%d: continued lines are not used here" % (path, number))
                failed = True
                continue
            items, error = check_line(text)
            if error:
                print("%s:%d: %s: %s" % (path, number, error, text))
                failed = True
                continue
            for key, op, value in items:
                if key == "LABEL":
                    labels.add(value)
                if key == "GOTO":
                    gotos.append((number, value))
        for number, label in gotos:
            if label not in labels:
                print("%s:%d: GOTO to a missing LABEL %s" % (path, number, label))
                failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
