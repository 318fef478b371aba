"""The module as Python users meet it: enumerations, docstrings, signatures and the type stub."""
import ast
import enum
import inspect
import pathlib
import re

import numpy as np
import pytest

import korvan

ENUMS = ["OutputPorts", "InputPorts", "TriggerBehaviour", "State", "ScanMode", "TimelineEvent"]


@pytest.mark.parametrize("name", ENUMS)
def test_enumerations_are_int_enums_that_compare_with_ints_and_numpy(name):
    cls = getattr(korvan, name)
    assert issubclass(cls, enum.IntEnum) and cls.__module__ == "korvan"
    values = np.array([m.value for m in cls], dtype=np.int64)
    for member in cls:
        assert member == member.value and hash(member) == hash(member.value)
        np.testing.assert_array_equal(values == member, values == member.value)


def test_enumerations_are_taken_as_ints_and_come_back_as_members(dev):
    laser = dev.add_laser(int(korvan.OutputPorts.LaserOutput2))
    try:
        port = dev.get_port_for_laser(laser)
        assert port is korvan.OutputPorts.LaserOutput2
    finally:
        dev.remove_laser(laser)
    assert korvan.is_sequence_active(2) and not korvan.is_sequence_active(korvan.State.Idle)
    with pytest.raises(TypeError):
        dev.set_output_default(1, 0)  # 1 is no output port
    with pytest.raises(TypeError):
        dev.set_output_default(True, 0)


def test_timeline_events_select_rows_of_the_timeline_array(sim, dev, laser):
    dev.run([korvan.SequencePoint(30000, 30000, laser_ids=[laser], intensities=[5000], use_calibration=False)])
    table = sim.timeline_array()
    moves = table[table["event"] == korvan.TimelineEvent.MirrorX]
    assert len(moves) > 0
    assert [r.event for r in sim.timeline()].count(korvan.TimelineEvent.MirrorX) == len(moves)


# ---- Docstrings and signatures ------------------------------------------------------------

def native_members():
    """(qualified name, object) of every public function, method and property of the module."""
    for name, obj in sorted(vars(korvan).items()):
        if name.startswith("_") or inspect.ismodule(obj):
            continue
        if inspect.isclass(obj):
            if issubclass(obj, (enum.Enum, BaseException)):
                continue
            for member, value in sorted(vars(obj).items()):
                # __init__ counts where the class is made from Python (it has a signature then).
                made = member == "__init__" and (getattr(value, "__doc__", "") or "").startswith("__init__(self")
                if not member.startswith("_") or made:
                    yield f"{name}.{member}", value
        elif callable(obj):
            yield name, obj


def doc_text(obj):
    """The docstring without the signature lines the binding writes in front of it."""
    if isinstance(obj, (staticmethod, classmethod)):
        obj = obj.__func__
    lines = (inspect.getdoc(obj) or "").splitlines()
    if not isinstance(obj, property) and lines and "(" in lines[0]:
        lines = lines[1:]
    return "\n".join(line for line in lines if line.strip())


def test_every_public_function_method_and_property_has_a_docstring():
    missing = [name for name, obj in native_members() if not doc_text(obj)]
    assert not missing, "without a docstring: " + ", ".join(missing)


def test_signatures_name_python_types_not_cpp_ones():
    cpp = re.compile(r"std::|unsigned |::|\bconst\b|&")
    found = [(name, line) for name, obj in native_members() if not isinstance(obj, property)
             for line in (getattr(obj, "__doc__", None) or "").splitlines()[:1] if cpp.search(line)]
    assert not found, found


# ---- The type stub ------------------------------------------------------------------------

STUB = pathlib.Path(__file__).parents[1] / "korvan" / "__init__.pyi"  # the sources' stub


def stub_tree():
    return ast.parse(STUB.read_text())


def split_top_level(text):
    parts, depth, quote, current = [], 0, None, ""
    for ch in text:
        if quote:
            quote = None if ch == quote else quote
        elif ch in "'\"":
            quote = ch
        elif ch in "([{<":
            depth += 1
        elif ch in ")]}>" and depth > 0:
            depth -= 1
        elif ch == "," and depth == 0:
            parts.append(current.strip())
            current = ""
            continue
        current += ch
    return [p for p in parts + [current.strip()] if p]


def runtime_parameters(func):
    """Parameter names of a native function from the signature the binding writes."""
    first = (func.__doc__ or "").splitlines()[0]
    inside = first[first.index("(") + 1:first.rindex(")")]
    return [part.split(":")[0].split("=")[0].strip() for part in split_top_level(inside)]


def stub_parameters(node):
    a = node.args
    names = [x.arg for x in a.posonlyargs + a.args]
    if a.vararg:
        names.append("*" + a.vararg.arg)
    elif a.kwonlyargs:
        names.append("*")
    names += [x.arg for x in a.kwonlyargs]
    if a.kwarg:
        names.append("**" + a.kwarg.arg)
    return names


def stub_members(cls_node):
    out = {}
    for node in cls_node.body:
        if isinstance(node, ast.FunctionDef):
            out[node.name] = node
        elif isinstance(node, ast.AnnAssign):
            out[node.target.id] = node
        elif isinstance(node, ast.Assign):
            out[node.targets[0].id] = node
    return out


def compare_signature(where, func, node):
    if func.__doc__.startswith(func.__name__ + "(*args, **kwargs)"):
        return  # overloaded
    runtime, stub = runtime_parameters(func), stub_parameters(node)
    if "**kwargs" in runtime:  # keywords the stub spells out
        runtime = runtime[:runtime.index("**kwargs")]
        stub = stub[:len(runtime)]
    assert runtime == stub, where


def test_the_stub_declares_every_name_of_the_module_with_its_signature():
    tree = stub_tree()
    declared = {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            declared[node.name] = node
        elif isinstance(node, ast.AnnAssign):
            declared[node.target.id] = node
    public = {n for n, v in vars(korvan).items() if not n.startswith("_") and not inspect.ismodule(v)}
    assert sorted(public - set(declared)) == [], "not in the stub"
    aliases = {"Point", "Progress", "Elements", "PathLike"}
    assert sorted(set(declared) - public - aliases) == [], "in the stub only"
    for name, node in declared.items():
        obj = getattr(korvan, name, None)
        if isinstance(node, ast.FunctionDef) and inspect.isbuiltin(obj):
            compare_signature(name, obj, node)
        if not isinstance(node, ast.ClassDef):
            continue
        members = stub_members(node)
        if issubclass(obj, enum.Enum):
            assert {m: ast.literal_eval(n.value) for m, n in members.items()} == \
                {m.name: m.value for m in obj}, name
            continue
        if issubclass(obj, BaseException):
            continue
        runtime = {m for klass in obj.__mro__ if klass.__module__.startswith("korvan") for m, v in vars(klass).items()
                   if not m.startswith("_") or m in ("__enter__", "__exit__", "_repr_svg_")
                   or (m == "__init__" and (v.__doc__ or "").startswith("__init__(self"))}
        assert sorted(runtime - set(members) - inherited(obj, tree)) == [], name
        assert sorted(set(members) - runtime) == [], name
        for member, mnode in members.items():
            value = inspect.getattr_static(obj, member)
            if isinstance(mnode, ast.FunctionDef) and not isinstance(value, property):
                func = getattr(obj, member)
                if inspect.isroutine(func) and func.__doc__ and "(" in func.__doc__.splitlines()[0]:
                    compare_signature(f"{name}.{member}", func, mnode)


def inherited(obj, tree):
    """Members the stub declares on a base class of `obj`."""
    names = set()
    for node in tree.body:
        if isinstance(node, ast.ClassDef) and node.name != obj.__name__ and \
                node.name in [k.__name__ for k in obj.__mro__[1:]]:
            names |= set(stub_members(node))
    return names


def test_every_class_shows_its_fields():
    default = [name for name, cls in vars(korvan).items() if inspect.isclass(cls) and not name.startswith("_")
               and not issubclass(cls, (enum.Enum, BaseException)) and cls.__repr__ is object.__repr__]
    bound_default = [name for name, cls in vars(korvan).items() if inspect.isclass(cls)
                     and not issubclass(cls, (enum.Enum, BaseException))
                     and "__repr__" not in {m for k in cls.__mro__[:-1] for m in vars(k)
                                            if k.__module__.startswith("korvan")}]
    assert default == [] and bound_default == []
    point = korvan.SequencePoint(640, 512, laser_ids=[1], intensities=[8000], repeat_count=39)
    assert repr(point) == ("SequencePoint(x=640.0, y=512.0, laser_ids=[1], intensities=[8000], repeat_count=39, "
                           "start_tick=0)")
    assert repr(korvan.SequenceSetTTL(korvan.OutputPorts.TTLOutput1, 1, start_tick=5)) == \
        "SequenceSetTTL(port=OutputPorts.TTLOutput1, value=1, repeat_count=0, start_tick=5)"
    assert repr(korvan.Calibration(4)).startswith("Calibration(point_count=4, scan_step_size=")
