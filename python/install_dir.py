"""Prints where this Python's packages go under an install prefix (argv[1])."""
import sys
import sysconfig

prefix = sys.argv[1].rstrip("/") or "/"
path = sysconfig.get_path("platlib", "posix_prefix", vars={"base": prefix, "platbase": prefix})
# Debian's Python reads /usr/local/lib/python3.X/dist-packages, the layout of
# its own scheme for packages installed by hand.
if prefix == "/usr/local" and "posix_local" in sysconfig.get_scheme_names():
    path = sysconfig.get_path("platlib", "posix_local", vars={"base": "/usr", "platbase": "/usr"})
print(path)
