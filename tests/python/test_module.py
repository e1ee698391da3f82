"""torvo.analyse, analyse_many, codecs and the command `python3 -m torvo`."""
import base64
import json
import os
import shutil
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


def test_a_name_that_is_not_utf8_keeps_its_bytes(samples, tmp_path):
    sample = next(p for p in samples if p.endswith(".avi"))
    folder = os.fsencode(tmp_path)
    names = [folder + b"/latin1-\xe9t\xe9.avi", folder + b"/cut-\xc3.avi", folder + b"/lf\n\xff.avi"]
    for name in names:
        os.symlink(os.fsencode(sample), name)
    missing = folder + b"/gone-\xff.avi"
    given = names + [missing]
    # torvo-cli: names from a NUL-separated list; "file" readable, "file_bytes" exact.
    run = subprocess.run([os.environ["TORVO_CLI"], "--json", "--no-scan", "-0", "-f", "-"],
                         input=b"\0".join(given) + b"\0", capture_output=True, check=False)
    lines = [json.loads(line) for line in run.stdout.decode("utf-8").splitlines()]
    assert [base64.b64decode(line["file_bytes"], validate=True) for line in lines] == given
    assert lines[0]["file"] == os.fsdecode(folder) + "/latin1-\\xE9t\\xE9.avi"
    assert lines[1]["file"].endswith("/cut-\\xC3.avi") and lines[2]["file"].endswith("/lf\n\\xFF.avi")
    assert lines[3]["error"]["code"] == "not_found"
    # A UTF-8 name needs no bytes beside it.
    assert "file_bytes" not in cli_reports([sample], "--no-scan")[0]
    # Python: bytes in, bytes out; str in, the same str (os.fsdecode) out.
    assert torvo.analyse(names[0], scan=False)["file"] == names[0]
    assert [r["file"] for r in torvo.analyse_many(given, scan=False)] == given
    texts = [os.fsdecode(n) for n in given]
    reports = list(torvo.analyse_many(texts, scan=False))
    assert [r["file"] for r in reports] == texts
    assert [os.fsencode(r["file"]) for r in reports] == given
    # Beside the name, the report is the command line's.
    strip = [{k: v for k, v in r.items() if k not in ("file", "file_bytes")} for r in lines]
    assert [{k: v for k, v in r.items() if k != "file"} for r in reports] == strip
    # python3 -m torvo writes the command line's lines.
    module = subprocess.run([sys.executable, "-m", "torvo", "--no-scan", *texts], capture_output=True, check=False)
    assert [json.loads(line) for line in module.stdout.decode("utf-8").splitlines()] == lines


def test_analyse_many_keeps_the_order_and_the_errors(samples, tmp_path):
    names = samples + [str(tmp_path / "missing.mpg")] + samples[:3]
    one = [comparable(r) for r in torvo.analyse_many(names, workers=1)]
    two = [comparable(r) for r in torvo.analyse_many(names, workers=2)]
    assert one == two
    assert [r["file"] for r in one] == names
    assert [i for i, r in enumerate(one) if "error" in r] == [len(samples)]
    assert one[: len(samples)] == [comparable(torvo.analyse(p)) for p in samples]


def test_folders_stand_for_their_media_files(tmp_path):
    data = os.environ["TORVO_TEST_DATA"]
    (tmp_path / "media").mkdir()
    shutil.copy(os.path.join(data, "wave_pcm.wav"), tmp_path / "media" / "sound")  # no extension: still media
    shutil.copy(os.path.join(data, "image.png"), tmp_path / "media" / "image.avi")  # named as media: is not
    (tmp_path / "texts").mkdir()
    (tmp_path / "texts" / "a.txt").write_text("text")
    calls = []
    reports = list(torvo.analyse_many([tmp_path / "media", tmp_path / "texts"], workers=1,
                                      progress=lambda *a: calls.append(a)))
    assert calls == [(1, 2), (2, 2)]  # the total counts what the folders expand to
    # In the order the names were given, the folder without media where it was named.
    assert [r["file"] for r in reports] == [str(tmp_path / "media" / "sound"), str(tmp_path / "texts")]
    assert reports[0]["container"]["format"] == "wav"
    assert reports[1]["error"]["code"] == "no_media_files"


def test_progress_counts_each_report_before_it_is_yielded(samples):
    calls = []
    seen = [calls[-1] if calls else None for _ in torvo.analyse_many(samples, scan=False,
                                                                     progress=lambda *a: calls.append(a))]
    assert calls == [(i, len(samples)) for i in range(1, len(samples) + 1)]
    assert seen == calls
    with pytest.raises(torvo.TorvoError):
        torvo.analyse_many(samples, progress=3)


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
