# pip install . from the repository root: the same package as pip install ./bindings/python.
import runpy

runpy.run_path("bindings/python/setup.py", run_name="__main__")
