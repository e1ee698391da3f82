"""torvo.analyse, analyse_many, codecs and the command `python3 -m torvo`."""
import json
import os
import subprocess
import sys

import pytest

import torvo
from conftest import cli_reports, comparable


def test_analyse_equals_one_cli_line_for_every_sample(samples, cli_scanned):
    assert len(cli_scanned) == len(samples)
    differing = [p for p, line in zip(samples, cli_scanned) if comparable(torvo.analyse(p)) != comparable(line)]
    assert differing == []
    # Header analysis alone and codec use off are the command line's too.
    some = samples[:: max(1, len(samples) // 12)]
    plain = cli_reports(some, "--no-scan")
    assert [torvo.analyse(p, scan=False) for p in some] == plain
    assert all("scan" not in r for r in plain)
    off = [torvo.analyse(p, scan=False, codecs=False) for p in some]
    assert {s["decoder"] for r in off for s in r["streams"]} == {"disabled", "not_needed"}  # PCM needs none
    assert any(s["decoder"] != "disabled" for r in plain for s in r["streams"])


def test_a_file_that_cannot_be_analysed_is_its_error_object(tmp_path):
    missing = str(tmp_path / "no-such-file.avi")
    assert torvo.analyse(missing)["error"]["code"] == "not_found"
    assert torvo.analyse(missing) == cli_reports([missing])[0]
    assert torvo.analyse(str(tmp_path))["error"]["code"] == "is_directory"
    # A name that is not UTF-8 is analysed under its bytes and shown with U+FFFD.
    odd = tmp_path / os.fsdecode(b"bad\xffname.mp3")
    report = torvo.analyse(os.fsencode(odd))
    assert report["error"]["code"] == "not_found"
    assert report["file"].endswith("bad\ufffdname.mp3")


def test_analyse_many_keeps_the_order_and_the_errors(samples, tmp_path):
    names = samples + [str(tmp_path / "missing.mpg")] + samples[:3]
    one = [comparable(r) for r in torvo.analyse_many(names, workers=1)]
    two = [comparable(r) for r in torvo.analyse_many(names, workers=2)]
    assert one == two
    assert [r["file"] for r in one] == names
    assert [i for i, r in enumerate(one) if "error" in r] == [len(samples)]
    assert one[: len(samples)] == [comparable(torvo.analyse(p)) for p in samples]


def test_an_iterator_dropped_early_stops_its_run(samples):
    reports = torvo.analyse_many(samples * 20, workers=2)
    first = next(reports)
    assert first["file"] == samples[0]
    reports.close()  # joins the run at once, with most files not analysed
    assert list(reports) == []


@pytest.mark.parametrize(
    "call",
    [
        lambda: torvo.analyse(42),
        lambda: torvo.analyse(""),
        lambda: torvo.analyse("a\0b"),
        lambda: torvo.analyse("x.avi", scan="yes"),
        lambda: torvo.analyse_many("one-name.avi"),
        lambda: torvo.analyse_many([b"a.avi", 3]),
        lambda: torvo.analyse_many(7),
        lambda: torvo.analyse_many(["a.avi"], workers=0),
        lambda: torvo.analyse_many(["a.avi"], workers=1.5),
        lambda: torvo.open_database("/nonexistent/Torvo27.dat"),
    ],
)
def test_misuse_raises_torvo_error(call):
    with pytest.raises(torvo.TorvoError):
        call()


def test_codecs_are_the_cli_codec_list():
    codecs = torvo.codecs()
    run = subprocess.run([os.environ["TORVO_CLI"], "--codecs", "--json"], capture_output=True, check=True)
    assert codecs == [json.loads(line) for line in run.stdout.decode().splitlines()]
    assert any(c["element"] for c in codecs)


def test_python_m_torvo_prints_json_lines(samples, tmp_path):
    names = samples[:4] + [str(tmp_path / "gone.ts")]
    run = subprocess.run([sys.executable, "-m", "torvo", "--no-scan", *names], capture_output=True, check=False)
    lines = [json.loads(line) for line in run.stdout.decode().splitlines()]
    assert run.returncode == 1  # one file failed
    assert lines == cli_reports(names, "--no-scan")
    usage = subprocess.run([sys.executable, "-m", "torvo", "-j", "0", names[0]], capture_output=True, check=False)
    assert usage.returncode == 2 and b"workers" in usage.stderr


def test_report_lines_are_read_as_json_loads_reads_them():
    import random

    from torvo import _torvo

    rng = random.Random(5)
    alphabet = 'a"\\/\b\f\n\r\t\x01\x1f\x7fé€\U0001d11e\ud800'
    for _ in range(2000):
        text = "".join(rng.choice(alphabet) for _ in range(rng.randrange(8)))
        value = {text: [text, rng.randrange(-10**20, 10**20), rng.random() * 10 ** rng.randrange(-8, 25), None, True]}
        # A lone surrogate only escaped: as raw text it is no UTF-8 at all.
        for ascii in (True, False) if "\ud800" not in text else (True,):
            line = json.dumps(value, ensure_ascii=ascii)
            assert _torvo.loads(line) == json.loads(line), line
    for bad in ["", "{", '{"a" 1}', "[1,]", '"\\x"', "nul", '"a', "1 2"]:
        with pytest.raises(torvo.TorvoError):
            _torvo.loads(bad)


def test_without_the_gstreamer_module_statuses_are_undetermined_with_a_warning(tmp_path):
    # A fresh process pointed at a module that is not there, with a cache of its own.
    program = (
        "import json, sys, warnings, torvo\n"
        "with warnings.catch_warnings(record=True) as caught:\n"
        "    warnings.simplefilter('always')\n"
        "    reports = [torvo.analyse(sys.argv[1], scan=False)]\n"
        "    reports += list(torvo.analyse_many(sys.argv[1:], scan=False))\n"
        "said = [str(w.message) for w in caught if issubclass(w.category, torvo.CodecStatusWarning)]\n"
        "print(json.dumps({'decoders': [s['decoder'] for r in reports for s in r['streams'] if 'decoder' in s],"
        " 'warnings': said}))\n"
    )
    data = os.environ["TORVO_TEST_DATA"]
    files = [os.path.join(data, "containers", "mp4_h264_aac.mp4"), os.path.join(data, "ac3_stereo.ac3")]
    environment = dict(os.environ, TORVO_GST_MODULE=str(tmp_path / "moved" / "torvo-gst.so"),
                       XDG_CACHE_HOME=str(tmp_path / "cache"))
    run = subprocess.run([sys.executable, "-c", program, *files], capture_output=True, check=True, env=environment)
    result = json.loads(run.stdout)
    assert len(result["decoders"]) >= 5
    assert set(result["decoders"]) == {"undetermined"}
    assert len(result["warnings"]) == 1
    assert "torvo-gst.so" in result["warnings"][0]
