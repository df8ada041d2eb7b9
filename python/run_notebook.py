"""Runs a notebook from its own folder, every cell, and fails on the first error.

    python3 python/run_notebook.py examples/notebook/cone-study.ipynb

The notebook is left as it is (its outputs stay stripped in the repository).
"""
import os
import sys

import nbformat
from nbclient import NotebookClient

path = os.path.abspath(sys.argv[1])
os.environ.setdefault("PYDEVD_DISABLE_FILE_VALIDATION", "1")  # ipykernel's debugger note
# The kernel runs in the notebook's folder: the package's path must not be relative.
os.environ["PYTHONPATH"] = os.pathsep.join(os.path.abspath(p) for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p)
nb = nbformat.read(path, as_version=4)
# The kernel inherits the environment (PYTHONPATH to the package of the build).
client = NotebookClient(nb, timeout=600, kernel_name="python3", resources={"metadata": {"path": os.path.dirname(path)}})
client.execute()
cells = sum(1 for c in nb.cells if c.cell_type == "code")
print(f"{os.path.basename(path)}: {cells} cells run, 0 failed")
