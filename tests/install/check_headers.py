#!/usr/bin/env python3
"""Checks the installed headers as an application sees them:

  check_headers.py PREFIX LIBDIR

- each header compiles alone, as C++17, with only PREFIX/include on the include path;
- it includes no header of the SDK from outside PREFIX (e.g. an older install elsewhere);
- every function it declares and does not define (no inline, constexpr, template, defaulted,
  deleted or pure virtual one) is exported by one of the installed libraries, so that an
  application calling it links.

Uses libclang's Python bindings (Debian: python3-clang).
"""
import functools
import pathlib
import subprocess
import sys

try:
    import clang.cindex as ci
except ImportError:  # another python3 ahead on the PATH: use Debian's bindings all the same
    sys.path.append("/usr/lib/python3/dist-packages")
    try:
        import clang.cindex as ci
    except ImportError:
        sys.exit("libclang's Python bindings are missing: apt-get install python3-clang (scripts/setup.sh)")

SDK_DIRS = ("korvan", "tessel", "sim")
FUNCTION_KINDS = {
    ci.CursorKind.FUNCTION_DECL,
    ci.CursorKind.CXX_METHOD,
    ci.CursorKind.CONSTRUCTOR,
    ci.CursorKind.DESTRUCTOR,
    ci.CursorKind.CONVERSION_FUNCTION,
}
TEMPLATE_KINDS = {ci.CursorKind.CLASS_TEMPLATE, ci.CursorKind.CLASS_TEMPLATE_PARTIAL_SPECIALIZATION}


def exported_symbols(libdir):
    symbols = set()
    for lib in sorted(libdir.glob("lib*.so")):
        out = subprocess.run(["nm", "-D", "--defined-only", str(lib)], check=True, capture_output=True, text=True)
        symbols.update(line.split()[-1] for line in out.stdout.splitlines() if line.strip())
    return symbols


@functools.lru_cache(maxsize=None)
def is_within(path, root):
    try:
        pathlib.Path(path).resolve().relative_to(root)
        return True
    except ValueError:
        return False


def sdk_cursors(cursor, include):
    """The cursors declared in the SDK's headers; subtrees from elsewhere (std) are not entered."""
    for child in cursor.get_children():
        if child.location.file and is_within(child.location.file.name, include):
            yield child
            yield from sdk_cursors(child, include)


def needs_symbol(cursor, include):
    """True for a declared function whose code must come from a library."""
    if cursor.kind not in FUNCTION_KINDS or cursor.linkage != ci.LinkageKind.EXTERNAL:
        return False
    parent = cursor.semantic_parent
    while parent is not None and parent.kind != ci.CursorKind.TRANSLATION_UNIT:
        if parent.kind in TEMPLATE_KINDS:
            return False
        parent = parent.semantic_parent
    if cursor.is_pure_virtual_method() or cursor.is_default_method():
        return False
    definition = cursor.get_definition()
    if definition is not None and definition.location.file and is_within(definition.location.file.name, include):
        return False
    words = [t.spelling for t in cursor.get_tokens()]
    if "inline" in words or "constexpr" in words:
        return False
    if "delete" in words and "=" in words[words.index("delete") - 1 : words.index("delete")]:
        return False
    return True


def candidates(mangled):
    """The names the compiler may have emitted: constructors and destructors come in variants."""
    names = {mangled}
    for a, b in (("C1E", "C2E"), ("C2E", "C1E"), ("D1E", "D2E"), ("D2E", "D1E"), ("D0E", "D1E")):
        if a in mangled:
            names.add(mangled.replace(a, b))
    return names


def main():
    prefix = pathlib.Path(sys.argv[1]).resolve()
    include = prefix / "include"
    symbols = exported_symbols(prefix / sys.argv[2])
    headers = sorted(p for d in SDK_DIRS for p in (include / d).rglob("*.h"))
    if not headers:
        sys.exit(f"no headers under {include}")
    index = ci.Index.create()
    problems, checked, seen = [], 0, set()
    for header in headers:
        name = header.relative_to(include)
        tu = index.parse(str(header), args=["-x", "c++", "-std=c++17", "-Wno-pragma-once-outside-header", f"-I{include}"])
        for d in tu.diagnostics:
            if d.severity >= ci.Diagnostic.Error:
                problems.append(f"{name} does not compile alone: {d}")
        for inc in tu.get_includes():
            path = inc.include.name
            if not is_within(path, include) and any(f"/{d}/" in path for d in SDK_DIRS):
                problems.append(f"{name} includes {path}, which is not installed")
        for cursor in sdk_cursors(tu.cursor, include):
            if not needs_symbol(cursor, include):
                continue
            mangled = cursor.mangled_name
            if mangled in seen:
                continue
            seen.add(mangled)
            checked += 1
            if not candidates(mangled) & symbols:
                where = f"{pathlib.Path(cursor.location.file.name).relative_to(include)}:{cursor.location.line}"
                problems.append(f"{where}: {cursor.displayname} ({mangled}) is declared but no library exports it")
    for p in problems:
        print(p)
    print(f"{len(headers)} headers, {checked} declared functions checked against {len(symbols)} exported symbols, "
          f"{len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
