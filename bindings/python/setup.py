"""Builds the extension with the repository's CMake project and packs it with its libraries.

The C++ libraries live two folders up; CMake builds only the target `korvan_python` and installs
its component `python` into a staging folder, from which the extension and libkorvan/libtessel
(the shared libraries it needs, found through an $ORIGIN rpath) go into the package folder.

Environment: KORVAN_PIP_BUILD_DIR (CMake build folder, default build/pip in the repository, kept
between runs so that a second install only relinks), CMAKE_BUILD_PARALLEL_LEVEL (jobs, default 2),
KORVAN_PIP_CMAKE_ARGS (extra configure arguments, split at spaces).
"""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent


def ProjectVersion():
    text = (ROOT / "CMakeLists.txt").read_text()
    match = re.search(r"project\(\s*korvan\s+VERSION\s+([0-9.]+)", text)
    if not match:
        raise RuntimeError("no project version in " + str(ROOT / "CMakeLists.txt"))
    return match.group(1)


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build_dir = Path(os.environ.get("KORVAN_PIP_BUILD_DIR") or ROOT / "build" / "pip").resolve()
        stage = Path(self.build_temp).resolve() / "korvan-stage"
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(build_dir),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DKORVAN_BUILD_TESTS=OFF", "-DKORVAN_BUILD_BENCHMARKS=OFF",
            "-DKORVAN_BUILD_EXAMPLES=OFF", "-DKORVAN_BUILD_PYTHON=ON",
            "-DKORVAN_PYTHON_BUNDLE_LIBS=ON", "-DKORVAN_PYTHON_INSTALL_DIR=.",
            # The interpreter running pip (a venv's), so the extension fits it.
            "-DPython3_EXECUTABLE=" + sys.executable,
        ]
        if not (build_dir / "CMakeCache.txt").exists() and shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        if shutil.which("ccache"):
            configure += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
        configure += os.environ.get("KORVAN_PIP_CMAKE_ARGS", "").split()
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.check_call(configure)
        subprocess.check_call(["cmake", "--build", str(build_dir), "--target", "korvan_python", "-j", jobs])
        shutil.rmtree(stage, ignore_errors=True)
        subprocess.check_call(
            ["cmake", "--install", str(build_dir), "--component", "python", "--prefix", str(stage)])

        built = stage / "korvan"
        extensions = list(built.glob("_korvan*.so"))
        if len(extensions) != 1:
            raise RuntimeError("CMake installed no single extension into " + str(built))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(extensions[0], target)
        # The loader asks for the sonames (libkorvan.so.0), which CMake installs as links to the
        # fully versioned files; a wheel holds no links, so each soname gets the file's content.
        for lib in built.glob("lib*.so*"):
            if lib.is_symlink():
                shutil.copyfile(lib.resolve(), target.parent / lib.name)


setup(
    name="korvan",
    version=ProjectVersion(),
    description="Python interface of the korvan laser scanning device SDK",
    python_requires=">=3.9",
    install_requires=["numpy"],
    classifiers=[
        "Programming Language :: C++",
        "Programming Language :: Python :: 3",
        "Operating System :: POSIX :: Linux",
        "Typing :: Typed",
    ],
    # Relative to the folder pip builds in: this one, or the repository root (its setup.py).
    package_dir={"korvan": os.path.relpath(HERE / "korvan")},
    packages=["korvan"],
    package_data={"korvan": ["__init__.pyi", "py.typed"]},
    ext_modules=[CMakeExtension("korvan._korvan")],
    cmdclass={"build_ext": CMakeBuild},
    zip_safe=False,
)
