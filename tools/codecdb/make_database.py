#!/usr/bin/env python3
"""Writes data/Torvo27.dat from the lists beside this script.

Each list is one record per line with '|' between the fields; lines that begin
with '#' are comments. The GUIDs of FourCCs and format tags are derived here,
as are the project's own GUIDs for stream types Windows has no identifier for.
Run it after changing a list: python3 tools/codecdb/make_database.py
"""
import re
import sys
import uuid
from pathlib import Path

HERE = Path(__file__).resolve().parent
OUTPUT = HERE.parent.parent / "data" / "Torvo27.dat"
MAX_SIZE = 0x40000
CAPACITY = {"video": 849, "audio": 349, "vfw": 599, "guids": 599, "ftyps": 99, "userdata": 199}

# FourCCs whose subtype GUID is listed (DirectShow's MEDIASUBTYPE_<FourCC>).
FOURCC_GUIDS = """
XVID DIVX DX50 DIV3 DIV4 MP43 MP42 MPG4 MP4S M4S2 MP4V FMP4 3IV2 H264 h264 X264 x264 AVC1 avc1 HEVC hvc1 hev1
AV01 VP80 VP90 VP6F FLV1 H263 M263 H261 MPG1 MPG2 MJPG mjpg IJPG dmb1 CVID cvid IV31 IV32 IV41 IV50 MSVC CRAM
WHAM MRLE WMV1 WMV2 WMV3 WMVA WVC1 WMVP WVP2 MSS1 MSS2 HFYU FFV1 LAGS TSCC CSCD SVQ1 SVQ3 dvsd dvhd dvsl dv25
dv50 dvh1 DVSD CDVC apcn apch AVdn cfhd YUY2 YUYV YVYU UYVY HDYC Y41P Y411 Y211 IYUV I420 YV12 YV16 NV12 NV21
AYUV IF09 YVU9 Y800 v210 P010 IMC1 IMC2 IMC3 IMC4 CLJR
""".split()

# Format tags whose GUID is listed; DirectShow's own subtype names where they differ.
TAG_GUIDS = {
    0x0001: "MEDIASUBTYPE_PCM", 0x0002: None, 0x0003: "MEDIASUBTYPE_IEEE_FLOAT", 0x0006: None, 0x0007: None,
    0x0008: None, 0x0009: "MEDIASUBTYPE_DRM_Audio", 0x000a: None, 0x0011: None, 0x0022: None, 0x0031: None,
    0x0050: "MEDIASUBTYPE_MPEG1AudioPayload", 0x0055: "MEDIASUBTYPE_MP3", 0x0057: None, 0x0058: None,
    0x0092: "MEDIASUBTYPE_DOLBY_AC3_SPDIF", 0x00ff: "MEDIASUBTYPE_RAW_AAC1", 0x0130: None,
    0x0160: "MEDIASUBTYPE_MSAUDIO1", 0x0161: "MEDIASUBTYPE_WMAUDIO2", 0x0162: "MEDIASUBTYPE_WMAUDIO3",
    0x0163: "MEDIASUBTYPE_WMAUDIO_LOSSLESS", 0x0164: "MEDIASUBTYPE_WMASPDIF", 0x0270: None, 0x0272: None,
    0x0401: None, 0x0450: None, 0x1600: "MEDIASUBTYPE_MPEG_ADTS_AAC", 0x1601: "MEDIASUBTYPE_MPEG_RAW_AAC",
    0x1602: "MEDIASUBTYPE_MPEG_LOAS", 0x1610: "MEDIASUBTYPE_MPEG_HEAAC", 0x2000: "MEDIASUBTYPE_DVM",
    0x2001: "MEDIASUBTYPE_DTS2", 0x5756: None, 0x674f: None, 0x6750: None, 0x6751: None, 0x676f: None, 0x6770: None,
    0x6771: None, 0x77a1: None, 0xa106: None, 0xa109: None, 0xf1ac: None, 0xfffe: None,
}

# GStreamer stream types without a Windows identifier: (caps, kind, name, description).
# Their GUID is the name-based UUID (version 5, URL namespace) of "torvo:caps:" + caps,
# so the platform layer computes the same GUID without reading this file.
PROJECT_TYPES = [
    ("subtitle", "Основной тип", "MEDIATYPE_Subtitle", "субтитры (свой GUID Torvo)"),
    ("application/ogg", "Подтип", "MEDIASUBTYPE_Ogg", "контейнер Ogg (свой GUID Torvo)"),
    ("video/x-matroska", "Подтип", "MEDIASUBTYPE_Matroska", "контейнер Matroska (свой GUID Torvo)"),
    ("video/webm", "Подтип", "MEDIASUBTYPE_WebM", "контейнер WebM (свой GUID Torvo)"),
    ("video/x-flv", "Подтип", "MEDIASUBTYPE_FLV", "контейнер Flash Video (свой GUID Torvo)"),
    ("video/x-dv-stream", "Подтип", "MEDIASUBTYPE_DV_Stream", "файл DV (свой GUID Torvo)"),
    ("application/mxf", "Подтип", "MEDIASUBTYPE_MXF", "контейнер MXF (свой GUID Torvo)"),
    ("video/x-ivf", "Подтип", "MEDIASUBTYPE_IVF", "контейнер IVF (свой GUID Torvo)"),
    ("application/x-id3", "Подтип", "MEDIASUBTYPE_ID3", "файл с тегом ID3 (свой GUID Torvo)"),
    ("audio/x-flac-stream", "Подтип", "MEDIASUBTYPE_FLAC_Stream", "файл FLAC (свой GUID Torvo)"),
    ("video/x-theora", "Подтип", "MEDIASUBTYPE_Theora", "Theora (свой GUID Torvo)"),
    ("video/x-dirac", "Подтип", "MEDIASUBTYPE_Dirac", "Dirac (свой GUID Torvo)"),
    ("video/x-jpeg2000", "Подтип", "MEDIASUBTYPE_JPEG2000", "JPEG 2000 (свой GUID Torvo)"),
    ("audio/x-vorbis", "Подтип", "MEDIASUBTYPE_Vorbis", "Vorbis (свой GUID Torvo)"),
    ("audio/x-opus", "Подтип", "MEDIASUBTYPE_Opus", "Opus (свой GUID Torvo)"),
    ("audio/x-speex", "Подтип", "MEDIASUBTYPE_Speex", "Speex (свой GUID Torvo)"),
    ("audio/x-alac", "Подтип", "MEDIASUBTYPE_ALAC", "Apple Lossless (свой GUID Torvo)"),
    ("audio/x-ape", "Подтип", "MEDIASUBTYPE_APE", "Monkey's Audio (свой GUID Torvo)"),
    ("audio/x-true-hd", "Подтип", "MEDIASUBTYPE_TrueHD", "Dolby TrueHD (свой GUID Torvo)"),
    ("audio/x-eac3", "Подтип", "MEDIASUBTYPE_EAC3", "Dolby Digital Plus (свой GUID Torvo)"),
    ("audio/x-mlp", "Подтип", "MEDIASUBTYPE_MLP", "Meridian Lossless Packing (свой GUID Torvo)"),
    ("audio/x-sbc", "Подтип", "MEDIASUBTYPE_SBC", "Bluetooth SBC (свой GUID Torvo)"),
    ("application/x-ssa", "Подтип", "MEDIASUBTYPE_SSA", "субтитры SSA (свой GUID Torvo)"),
    ("application/x-ass", "Подтип", "MEDIASUBTYPE_ASS", "субтитры ASS (свой GUID Torvo)"),
    ("application/x-subtitle-vtt", "Подтип", "MEDIASUBTYPE_WebVTT", "субтитры WebVTT (свой GUID Torvo)"),
    ("subpicture/x-pgs", "Подтип", "MEDIASUBTYPE_PGS", "субтитры Blu-ray PGS (свой GUID Torvo)"),
    ("subpicture/x-dvb", "Подтип", "MEDIASUBTYPE_DVB_Subtitle", "субтитры DVB (свой GUID Torvo)"),
]

HEADING = """\
# Torvo27.dat: the codec database of Torvo.
#
# Sections: [video codecs] [audio codecs] [vfw messages] [guids] [ftyps] [userdata mapping].
# A record is one line of four fields separated by tabs and ended by CR LF.
# Lines beginning with '#', '@', a blank or a tab are comments.
# In [video codecs] a maker beginning with '*' marks a format that needs no codec.
# GUIDs that Windows lacks are UUID v5 (URL namespace) of "torvo:caps:" + GStreamer caps name.
# Written from public knowledge of FourCCs, WAVE format tags and error codes.
# Generated by tools/codecdb/make_database.py from the lists beside it.
"""


def read_list(name, fields):
    records = []
    for number, line in enumerate((HERE / name).read_text(encoding="utf-8").splitlines(), 1):
        if not line or line.startswith("#"):
            continue
        parts = line.split("|")
        if len(parts) != fields:
            sys.exit(f"{name}:{number}: {len(parts)} fields, expected {fields}")
        records.append(parts)
    return records


def fourcc_guid(fourcc):
    value = int.from_bytes(fourcc.encode("ascii"), "little")
    return "{%08X-0000-0010-8000-00AA00389B71}" % value


def tag_guid(tag):
    return "{%08X-0000-0010-8000-00AA00389B71}" % tag


def project_guid(caps):
    return "{%s}" % str(uuid.uuid5(uuid.NAMESPACE_URL, "torvo:caps:" + caps)).upper()


def check_unique(section, keys, fold=True):
    seen = set()
    for key in keys:
        k = key.lower() if fold else key
        if k in seen:
            sys.exit(f"[{section}]: duplicate key {key!r}")
        seen.add(k)


def main():
    video = read_list("video_codecs.txt", 3)
    audio = read_list("audio_formats.txt", 3)
    vfw = read_list("vfw_messages.txt", 3)
    named = read_list("guids.txt", 4)
    errors = read_list("hresults.txt", 3)
    ftyps = read_list("ftyps.txt", 2)
    userdata = read_list("userdata_mapping.txt", 3)

    for fourcc, _, _ in video:
        if not 1 <= len(fourcc) <= 4:
            sys.exit(f"FourCC {fourcc!r} is not one to four characters")
    for tag, _, _ in audio:
        if not re.fullmatch(r"0x[0-9a-f]{4}", tag):
            sys.exit(f"format tag {tag!r} is not in the 0x%04x form")
    for code, _, _ in errors:
        if not re.fullmatch(r"0x[0-9a-f]{8}", code):
            sys.exit(f"error code {code!r} is not in the 0x%08x form")

    video_names = {fourcc: name for fourcc, name, _ in video}
    audio_by_tag = {int(tag, 16): (constant, text) for tag, constant, text in audio}

    sections = {}
    sections["video codecs"] = [(f, n, m, "") for f, n, m in video]
    sections["audio codecs"] = [(t, c, d, "") for t, c, d in audio]
    sections["vfw messages"] = [(n, v, m, "") for n, v, m in vfw]
    guids = [tuple(r) for r in named]
    for fourcc in FOURCC_GUIDS:
        name = video_names.get(fourcc) or video_names.get(fourcc.upper()) or fourcc
        guids.append((fourcc_guid(fourcc), "Подтип (FourCC)", "MEDIASUBTYPE_" + fourcc, name))
    for tag, name in TAG_GUIDS.items():
        constant, text = audio_by_tag[tag]
        guids.append((tag_guid(tag), "Подтип (тег формата)", name or constant, text))
    for caps, kind, name, text in PROJECT_TYPES:
        guids.append((project_guid(caps), kind, name, text + ": " + caps))
    guids += [(code, message, constant, "") for code, constant, message in errors]
    sections["guids"] = guids
    sections["ftyps"] = [(b, d, "", "") for b, d in ftyps]
    sections["userdata mapping"] = [(l, p, n, "") for l, p, n in userdata]

    check_unique("video codecs", (r[0] for r in sections["video codecs"]))
    check_unique("audio codecs", (r[0] for r in sections["audio codecs"]))
    check_unique("guids", (r[0] for r in guids))
    check_unique("ftyps", (r[0] for r in sections["ftyps"]))
    check_unique("userdata mapping", (r[0] for r in sections["userdata mapping"]), fold=False)

    limits = dict(zip(["video codecs", "audio codecs", "vfw messages", "guids", "ftyps", "userdata mapping"],
                      CAPACITY.values()))
    lines = HEADING.splitlines()
    for section, records in sections.items():
        if len(records) > limits[section]:
            sys.exit(f"[{section}]: {len(records)} records, room for {limits[section]}")
        lines += ["", f"[{section}]"]
        for record in records:
            if any(("\t" in f or "\r" in f or "\n" in f) for f in record) or record[0][:1] in "#@ \t[":
                sys.exit(f"[{section}]: unusable record {record!r}")
            lines.append("\t".join(record))
        print(f"[{section}]: {len(records)} records")
    data = ("\r\n".join(lines) + "\r\n").encode("utf-8")
    if len(data) > MAX_SIZE:
        sys.exit(f"database is {len(data)} bytes, over {MAX_SIZE}")
    OUTPUT.write_bytes(data)
    print(f"{OUTPUT}: {len(data)} bytes")


if __name__ == "__main__":
    main()
