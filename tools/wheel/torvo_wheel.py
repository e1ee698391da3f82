"""The build backend of `pip install .` (PEP 517): CMake builds the module for
the interpreter that runs pip, and the wheel is packed here.

It needs nothing beyond the standard library, CMake and the packages of
tools/packages.txt, so that it works offline in any interpreter: a venv of
Debian's python3 (which carries pip and setuptools but not `wheel`, without
which setuptools cannot build a wheel), a pyenv or conda interpreter, or the
system's. Debian 12 packages no CMake-driving backend (scikit-build-core
came later).

The wheel holds the package torvo with its native part, the GStreamer module
and the codec database; the module finds both beside itself.

Settings: CMAKE_ARGS (environment) or --config-settings=cmake.args="..."
add CMake options; TORVO_WHEEL_BUILD_DIR chooses the build folder (default:
build-wheel/<interpreter> in the checkout, kept so that a second install
builds only what changed).
"""
import base64
import hashlib
import io
import os
import re
import shlex
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import zipfile

_NAME = "torvo"
_SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def _version():
    with open(os.path.join(_SOURCE, "CMakeLists.txt"), encoding="utf-8") as f:
        match = re.search(r"project\(\s*Torvo\s+VERSION\s+([0-9.]+)", f.read())
    if not match:
        raise RuntimeError("no project version in CMakeLists.txt")
    return match.group(1)


def _tag():
    impl = sys.implementation.name
    if impl != "cpython":
        raise RuntimeError(f"the torvo module is built for CPython, not {impl}")
    python = f"cp{sys.version_info[0]}{sys.version_info[1]}"
    abi = python + getattr(sys, "abiflags", "")
    platform = re.sub(r"[-.]", "_", sysconfig.get_platform())
    return f"{python}-{abi}-{platform}"


def _metadata():
    return (
        "Metadata-Version: 2.1\n"
        f"Name: {_NAME}\n"
        f"Version: {_version()}\n"
        "Summary: Codec information for media files (the torvo-cli report as Python dicts, and over Dask)\n"
        "Requires-Python: >=3.9\n"
        "Provides-Extra: dask\n"
        "Requires-Dist: dask[bag,dataframe]; extra == 'dask'\n"
        "Requires-Dist: pandas; extra == 'dask'\n"
    )


def _dist_info():
    return f"{_NAME}-{_version()}.dist-info"


def _write_dist_info(directory, tag):
    info = os.path.join(directory, _dist_info())
    os.makedirs(info, exist_ok=True)
    with open(os.path.join(info, "METADATA"), "w", encoding="utf-8") as f:
        f.write(_metadata())
    if tag is not None:
        with open(os.path.join(info, "WHEEL"), "w", encoding="utf-8") as f:
            f.write(f"Wheel-Version: 1.0\nGenerator: torvo_wheel\nRoot-Is-Purelib: false\nTag: {tag}\n")
    return os.path.basename(info)


def _cmake_args(config_settings):
    args = shlex.split(os.environ.get("CMAKE_ARGS", ""))
    if config_settings:
        args += shlex.split(config_settings.get("cmake.args", ""))
    return args


def _run(command):
    print("+", " ".join(shlex.quote(c) for c in command), file=sys.stderr, flush=True)
    subprocess.run(command, check=True)


def _build(config_settings, staging):
    # One build folder per Python version: interpreters of the same version
    # (a venv, pyenv, the system's) share the core and rebuild only the
    # module, against the headers of the interpreter at hand (its previous
    # findings are dropped).
    build = os.environ.get("TORVO_WHEEL_BUILD_DIR") or os.path.join(
        _SOURCE, "build-wheel", sys.implementation.cache_tag)
    configure = ["cmake", "-S", _SOURCE, "-B", build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DTORVO_TESTS=OFF",
                 "-DTORVO_PYTHON=ON", "-DTORVO_PYTHON_WHEEL=ON", "-U_Python*", "-UPython_*",
                 f"-DPython_EXECUTABLE={sys.executable}", "-DCMAKE_INSTALL_PREFIX=/"]
    if shutil.which("ninja") and not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        configure += ["-G", "Ninja"]
    if shutil.which("ccache"):
        configure += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
    _run(configure + _cmake_args(config_settings))
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
    _run(["cmake", "--build", build, "--target", "_torvo", "torvo-gst", "-j", jobs])
    _run(["cmake", "--install", build, "--component", "python", "--prefix", staging, "--strip"])


def _record_line(arcname, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{arcname},sha256={digest},{len(data)}"


# PEP 517 hooks.

def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    return _write_dist_info(metadata_directory, _tag())


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    tag = _tag()
    staging = os.path.join(wheel_directory, ".torvo-staging")
    shutil.rmtree(staging, ignore_errors=True)
    try:
        _build(config_settings, staging)
        _write_dist_info(staging, tag)
        name = f"{_NAME}-{_version()}-{tag}.whl"
        records = []
        with zipfile.ZipFile(os.path.join(wheel_directory, name), "w", zipfile.ZIP_DEFLATED) as wheel:
            # The package first, the dist-info (RECORD last) after it, as wheels are read.
            for top in (_NAME, _dist_info()):
                for root, dirs, files in os.walk(os.path.join(staging, top)):
                    dirs.sort()
                    for file in sorted(files):
                        path = os.path.join(root, file)
                        arcname = os.path.relpath(path, staging).replace(os.sep, "/")
                        with open(path, "rb") as f:
                            data = f.read()
                        wheel.writestr(zipfile.ZipInfo.from_file(path, arcname), data)
                        records.append(_record_line(arcname, data))
            record = f"{_dist_info()}/RECORD"
            wheel.writestr(record, "\n".join(records + [f"{record},,"]) + "\n")
        return name
    finally:
        shutil.rmtree(staging, ignore_errors=True)


def build_sdist(sdist_directory, config_settings=None):
    # The files under version control, as a checkout has them.
    listed = subprocess.run(["git", "-C", _SOURCE, "ls-files", "-z"], check=True, capture_output=True).stdout
    base = f"{_NAME}-{_version()}"
    name = f"{base}.tar.gz"
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz", format=tarfile.PAX_FORMAT) as sdist:
        for path in filter(None, listed.decode("utf-8", "surrogateescape").split("\0")):
            sdist.add(os.path.join(_SOURCE, path), f"{base}/{path}", recursive=False)
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        data = _metadata().encode()
        info.size = len(data)
        sdist.addfile(info, io.BytesIO(data))
    return name
