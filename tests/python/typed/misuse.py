"""Calls that the torvo stubs reject (each line names the error mypy gives)."""
import torvo

torvo.analyse(3)  # arg-type
torvo.analyse_many(["a.avi"], workers="2")  # arg-type
torvo.analyse_many(["a.avi"], progress=lambda done: None)  # arg-type
count: int = torvo.__version__  # assignment
