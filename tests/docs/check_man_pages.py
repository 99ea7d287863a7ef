#!/usr/bin/env python3
"""Compares a manual page with its program's --help, so that the two stay in step.

  check_man_pages.py wavoryctl PAGE.1.in PROGRAM   every command of the help tree has a subsection
                                                   under COMMANDS with its options, and no more
  check_man_pages.py wavory PAGE.1.in PROGRAM      the options of --help are those under OPTIONS
  check_man_pages.py wavory-sim PAGE.1.in PROGRAM  the commands of --help are those under COMMANDS

Every page must also format without a warning from man at 80 columns (as lintian checks it).
Each difference is printed with the place to fix; the exit status is 1 when there is one.
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
from collections import OrderedDict

OPTION = re.compile(r"(?<![\w-])--?[A-Za-z][\w-]*")
HELP = {"-h", "--help"}
problems = []


def run_help(program, args):
    env = dict(os.environ, COLUMNS="200")
    out = subprocess.run([program, *args, "--help"], capture_output=True, text=True, env=env, timeout=30)
    if out.returncode != 0:
        problems.append("%s %s --help exited %d" % (program, " ".join(args), out.returncode))
    return out.stdout


# ---- the programs' help ----

def cli11_sections(text):
    """Entries per section of a CLI11 help: {"Options": [first column, ...], ...}."""
    sections, current = {}, None
    for line in text.splitlines():
        heading = re.match(r"^(\w+):$", line)
        if heading:
            current = sections.setdefault(heading.group(1), [])
        elif current is not None and re.match(r"^  \S", line):
            current.append(line.split()[0])
        elif not line.strip():
            current = None
    return sections


def cli11_tree(program):
    """{command path: (options, positionals)} for the whole tree of subcommands."""
    tree, queue = OrderedDict(), [()]
    while queue:
        path = queue.pop(0)
        sections = cli11_sections(run_help(program, list(path)))
        options = set()
        for entry in sections.get("Options", []):
            for name in re.sub(r"\{[^}]*\}", "", entry).split(","):
                if name.startswith("-"):
                    options.add(name)
        tree[path] = (options, sections.get("Positionals", []))
        queue += [path + (name,) for name in sections.get("Subcommands", [])]
    return tree


def usage_entries(text):
    """First columns of an indented usage text ("  --adapter NAME   what it does")."""
    return [re.split(r"\s{2,}", line.strip())[0] for line in text.splitlines() if re.match(r"^  \S", line)]


# ---- the manual page ----

def roff_text(line):
    """The text of one roff line, fonts and escapes removed (".BI \\-\\-a " b"" -> "--a b")."""
    words = line
    macro = re.match(r"^\.([A-Z]{1,2})(\s|$)", line)
    if macro:
        args = shlex.split(line[len(macro.group(0)):].replace("\\", "\\\\"))
        joiner = "" if len(macro.group(1)) == 2 and macro.group(1) not in ("TP", "SS", "SH") else " "
        words = joiner.join(args).replace("\\\\", "\\")
    words = re.sub(r"\\f[BIRP]", "", words)
    words = words.replace("\\:", "").replace("\\-", "-").replace("\\(dq", '"').replace("\\e", "\\")
    return words.strip()


def page_sections(page):
    """{(".SH" title, ".SS" title or None): {"tags": [tag texts], "lines": [...], "same": [...]}}."""
    sections, key = OrderedDict(), None
    lines = open(page, encoding="utf-8").read().splitlines()
    sh = None
    for i, line in enumerate(lines):
        if line.startswith(".SH "):
            sh, key = roff_text(line), (roff_text(line), None)
        elif line.startswith(".SS "):
            key = (sh, roff_text(line))
        elif key is None:
            continue
        section = sections.setdefault(key, {"tags": [], "lines": [], "same": []})
        if line.startswith(".TP") and i + 1 < len(lines):
            section["tags"].append(roff_text(lines[i + 1]))
        same = re.match(r'^\.\\"\s*same options as:\s*(.+)$', line)
        if same:
            section["same"].append(same.group(1).strip())
        section["lines"].append(line)
    return sections


def options_in(tags):
    return {o for tag in tags for o in OPTION.findall(tag)}


def check_formatting(page):
    """man's own warnings at 80 columns, on the page as installed (version filled in)."""
    if not shutil.which("man"):
        return
    with tempfile.NamedTemporaryFile("w", suffix=".1", encoding="utf-8") as f:
        f.write(open(page, encoding="utf-8").read().replace("@PROJECT_VERSION@", "0.0"))
        f.flush()
        env = dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80")
        out = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", f.name],
                             capture_output=True, text=True, env=env)
        for line in out.stderr.splitlines():
            problems.append("%s: %s" % (os.path.basename(page), line))


# ---- the checks ----

def check_wavoryctl(page, program):
    name = os.path.basename(program)
    tree = cli11_tree(program)
    sections = page_sections(page)
    top_options = tree[()][0]
    documented_top = options_in(sections.get(("OPTIONS", None), {"tags": []})["tags"])
    for option in sorted(top_options - documented_top):
        problems.append("%s --help lists %s; add a .TP entry under .SH OPTIONS" % (name, option))
    for option in sorted(documented_top - top_options):
        problems.append("the page's OPTIONS has %s, which %s --help does not list" % (option, name))

    commands = {title: s for (sh, title), s in sections.items() if sh == "COMMANDS" and title}
    for path, (options, positionals) in tree.items():
        if not path:
            continue
        title = " ".join(path)
        where = "%s %s" % (name, title)
        if title not in commands:
            problems.append('%s: no subsection .SS "%s" under COMMANDS' % (where, title))
            continue
        section = commands[title]
        documented = options_in(section["tags"])
        for other in section["same"]:
            documented |= options_in(commands.get(other, {"tags": []})["tags"])
        for option in sorted(options - top_options - HELP - documented):
            problems.append('%s --help lists %s; add a .TP entry under .SS "%s"' % (where, option, title))
        for option in sorted(documented - options - top_options):
            problems.append('the page documents %s under .SS "%s", which %s --help does not list'
                            % (option, title, where))
        synopsis = " ".join(roff_text(line) for line in section["lines"][: section["lines"].index(".PP")]
                            if ".PP" in section["lines"]) if ".PP" in section["lines"] else ""
        for positional in positionals:
            if not re.search(r"\b%s\b" % re.escape(positional), synopsis):
                problems.append('%s takes "%s"; name it in the synopsis of .SS "%s"' % (where, positional, title))
    known = {" ".join(p) for p in tree}
    for title in commands:
        if title not in known:
            problems.append('the page has .SS "%s", which is no command of %s --help' % (title, name))


def check_wavory(page, program):
    name = os.path.basename(program)
    listed = {o for entry in usage_entries(run_help(program, [])) for o in OPTION.findall(entry)}
    documented = options_in(page_sections(page).get(("OPTIONS", None), {"tags": []})["tags"])
    for option in sorted(listed - documented):
        problems.append("%s --help lists %s; add a .TP entry under .SH OPTIONS" % (name, option))
    for option in sorted(documented - listed):
        problems.append("the page's OPTIONS has %s, which %s --help does not list" % (option, name))


def words_of(entries):
    """The command words of "unplug | plug" or "reset [SCENARIO.json]" entries."""
    return {part.split()[0] for entry in entries for part in re.split(r"\s*[|,]\s*", entry) if part.strip()}


def check_wavory_sim(page, program):
    name = os.path.basename(program)
    listed = words_of(usage_entries(run_help(program, [])))
    documented = words_of(page_sections(page).get(("COMMANDS", None), {"tags": []})["tags"])
    for word in sorted(listed - documented):
        problems.append("%s --help lists %s; add a .TP entry under .SH COMMANDS" % (name, word))
    for word in sorted(documented - listed):
        problems.append("the page's COMMANDS has %s, which %s --help does not list" % (word, name))


CHECKS = {"wavoryctl": check_wavoryctl, "wavory": check_wavory, "wavory-sim": check_wavory_sim}


def main(argv):
    if len(argv) != 4 or argv[1] not in CHECKS:
        print(__doc__, file=sys.stderr)
        return 2
    kind, page, program = argv[1:]
    CHECKS[kind](page, program)
    check_formatting(page)
    for problem in problems:
        print("FAIL: " + problem)
    print("%s: %s" % (os.path.basename(page), "%d differences" % len(problems) if problems else "in step"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
