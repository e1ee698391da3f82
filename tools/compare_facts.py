#!/usr/bin/env python3
"""Compares the basic facts torvo-cli states about media files with ffprobe's
and mediainfo's: frame size, frame rate, sample rate, channels and duration.

A fact counts only where ffprobe and mediainfo agree with each other; Torvo
then agrees, disagrees or leaves it out (a missing fact counts against it).
torvo-cli scans whole AVI and MPEG files, as the report a person reads does.
Prints the agreement per fact and, with --verbose, every miss.

With --streams it compares the typed report's streams instead, stream by
stream (the n-th video, audio or image stream of each tool, attached
pictures being images): codec id, width, height, frame rate, sample rate,
channels, bits per sample and duration, from `torvo-cli --json --no-scan`
(or --scan with --scan). The codec id is compared with ffprobe's alone (the
tools name codecs differently); the others count where ffprobe and
mediainfo agree. A stream ffprobe lists and Torvo does not counts as
missing for every fact. It also counts, per fact, the streams ffprobe states a
value for and Torvo leaves null.

    tools/compare_facts.py [--cli build/src/app/cli/torvo-cli] [--db data/Torvo27.dat] [--verbose]
                           [--streams [--scan]] DIR_OR_FILE...
"""

import argparse
import json
import os
import re
import subprocess
import sys

FACTS = ("width", "height", "frame_rate", "sample_rate", "channels", "duration")
TIMEOUT = 120


def run_json(command):
    try:
        done = subprocess.run(command, capture_output=True, timeout=TIMEOUT, check=False)
    except (OSError, subprocess.TimeoutExpired) as error:
        return None, str(error)
    text = done.stdout.decode("utf-8", "replace").strip()
    if not text:
        return None, "no output (exit %d)" % done.returncode
    try:
        return json.loads(text.splitlines()[0] if text.startswith("{\"file\"") else text), None
    except ValueError as error:
        return None, "bad JSON: %s" % error


def number(value):
    if value is None:
        return None
    if isinstance(value, (int, float)):
        return float(value)
    match = re.match(r"\s*(-?[0-9]+(?:\.[0-9]+)?)(?:\s*/\s*([0-9]+))?", str(value))
    if not match:
        return None
    if match.group(2):
        denominator = float(match.group(2))
        return float(match.group(1)) / denominator if denominator else None
    return float(match.group(1))


def duration_text_seconds(text):
    """Torvo's "m:ss.mmm" or "h:mm:ss" as seconds."""
    if not text:
        return None
    parts = text.split(":")
    try:
        values = [float(p) for p in parts]
    except ValueError:
        return None
    seconds = 0.0
    for v in values:
        seconds = seconds * 60 + v
    return seconds


def torvo_facts(cli, database, path):
    report, error = run_json([cli, "--json", "--scan"] + (["--db", database] if database else []) + [path])
    if report is None:
        return None, error
    fields = report.get("fields", {})
    facts = {
        "width": number(fields.get("VIDEO_SIZE_X")),
        "height": number(fields.get("VIDEO_SIZE_Y")),
        "frame_rate": number(fields.get("VIDEO_FRAMES_PER_SEC")),
        "sample_rate": number(fields.get("AUDIO_SAMPLE_RATE")),
        "channels": number(fields.get("AUDIO_CHANNEL_COUNT")),
        "duration": duration_text_seconds(fields.get("CONT_DURATION")),
    }
    return facts, None


def first(streams, kind):
    return next((s for s in streams if s.get("codec_type") == kind and
                 not s.get("disposition", {}).get("attached_pic")), None)


def ffprobe_facts(path):
    report, error = run_json(["ffprobe", "-v", "error", "-print_format", "json", "-show_format",
                              "-show_streams", path])
    if report is None:
        return None, error
    streams = report.get("streams", [])
    video, audio = first(streams, "video"), first(streams, "audio")
    facts = dict.fromkeys(FACTS)
    if video:
        facts["width"] = number(video.get("width"))
        facts["height"] = number(video.get("height"))
        facts["frame_rate"] = number(video.get("avg_frame_rate")) or number(video.get("r_frame_rate"))
    if audio:
        facts["sample_rate"] = number(audio.get("sample_rate"))
        facts["channels"] = number(audio.get("channels"))
    facts["duration"] = number(report.get("format", {}).get("duration"))
    return facts, None


def mediainfo_facts(path):
    report, error = run_json(["mediainfo", "--Output=JSON", path])
    if report is None:
        return None, error
    tracks = (report.get("media") or {}).get("track", [])
    by_type = {}
    for track in tracks:
        by_type.setdefault(track.get("@type"), track)
    general, video, audio = by_type.get("General", {}), by_type.get("Video"), by_type.get("Audio")
    facts = dict.fromkeys(FACTS)
    if video:
        facts["width"] = number(video.get("Width"))
        facts["height"] = number(video.get("Height"))
        facts["frame_rate"] = number(video.get("FrameRate"))
    if audio:
        facts["sample_rate"] = number(audio.get("SamplingRate"))
        facts["channels"] = number(audio.get("Channels"))
    facts["duration"] = number(general.get("Duration"))
    return facts, None


STREAM_FACTS = ("codec", "width", "height", "frame_rate", "sample_rate", "channels", "bits_per_sample",
                "duration")


def stream_kind(stream):
    """video, audio or image, as ffprobe types a stream (a cover is an image)."""
    kind = stream.get("codec_type")
    if kind == "video" and stream.get("disposition", {}).get("attached_pic"):
        return "image"
    return kind


def ffprobe_streams(path):
    report, error = run_json(["ffprobe", "-v", "error", "-print_format", "json", "-show_format",
                              "-show_streams", path])
    if report is None:
        return None, error
    streams = []
    for s in report.get("streams", []):
        kind = stream_kind(s)
        if kind not in ("video", "audio", "image"):
            continue
        bits = number(s.get("bits_per_raw_sample")) or number(s.get("bits_per_sample"))
        rate = number(s.get("avg_frame_rate")) or number(s.get("r_frame_rate"))
        streams.append({
            "kind": kind,
            "codec": s.get("codec_name"),
            "width": number(s.get("width")) if kind != "audio" else None,
            "height": number(s.get("height")) if kind != "audio" else None,
            "frame_rate": rate if kind == "video" else None,
            "sample_rate": number(s.get("sample_rate")) if kind == "audio" else None,
            "channels": number(s.get("channels")) if kind == "audio" else None,
            "bits_per_sample": bits if kind == "audio" and bits else None,
            # An attached picture has no playing time of its own (ffprobe gives it the file's).
            "duration": None if kind == "image" else
                        number(s.get("duration")) or clock_seconds((s.get("tags") or {}).get("DURATION")),
        })
    return streams, None


def clock_seconds(text):
    """A Matroska DURATION tag ("00:00:03.000000000") as seconds."""
    return duration_text_seconds(text) if text and ":" in text else None


def mediainfo_streams(path):
    report, error = run_json(["mediainfo", "--Output=JSON", path])
    if report is None:
        return None, error
    streams = []
    for t in (report.get("media") or {}).get("track", []):
        kind = {"Video": "video", "Audio": "audio", "Image": "image"}.get(t.get("@type"))
        if not kind:
            continue
        streams.append({
            "kind": kind,
            "codec": None,
            "width": number(t.get("Width")) if kind != "audio" else None,
            "height": number(t.get("Height")) if kind != "audio" else None,
            "frame_rate": number(t.get("FrameRate")) if kind == "video" else None,
            "sample_rate": number(t.get("SamplingRate")) if kind == "audio" else None,
            "channels": number(t.get("Channels")) if kind == "audio" else None,
            "bits_per_sample": number(t.get("BitDepth")) if kind == "audio" else None,
            "duration": number(t.get("Duration")),
        })
    return streams, None


def torvo_streams(cli, database, path, scan):
    report, error = run_json([cli, "--json", "--scan" if scan else "--no-scan"] +
                             (["--db", database] if database else []) + [path])
    if report is None:
        return None, error
    streams = []
    for s in report.get("streams", []):
        kind = s.get("type")
        streams.append({"kind": kind, **{fact: (s.get(fact) if fact == "codec" else number(s.get(fact)))
                                          for fact in STREAM_FACTS}})
    return streams, None


def nth_of_kind(streams, kind, n):
    found = [s for s in streams if s["kind"] == kind]
    return found[n] if n < len(found) else None


def compare_streams(args):
    counted = {fact: 0 for fact in STREAM_FACTS}
    agreed = {fact: 0 for fact in STREAM_FACTS}
    files = failures = 0
    # Streams ffprobe times (or sizes, rates) and Torvo leaves null, whatever mediainfo says.
    stated = {fact: 0 for fact in STREAM_FACTS}
    left_null = {fact: 0 for fact in STREAM_FACTS}
    extensions = set() if args.every_file else media_extensions(args.cli)
    for path in media_files(args.paths, args.every_file, extensions):
        (ffprobe, _), (mediainfo, _) = ffprobe_streams(path), mediainfo_streams(path)
        if not ffprobe:
            continue
        files += 1
        torvo, error = torvo_streams(args.cli, args.db, path, args.scan)
        if torvo is None:
            failures += 1
            print("%s: torvo-cli failed: %s" % (path, error))
            torvo = []
        seen = {}
        for peer in ffprobe:
            n = seen.get(peer["kind"], 0)
            seen[peer["kind"]] = n + 1
            other = nth_of_kind(mediainfo or [], peer["kind"], n)
            ours = nth_of_kind(torvo, peer["kind"], n) or {}
            for fact in STREAM_FACTS:
                if peer[fact] is not None:
                    stated[fact] += 1
                    if ours.get(fact) is None:
                        left_null[fact] += 1
                        if args.verbose:
                            print("%s: %s #%d %s null, ffprobe %s" % (path, peer["kind"], n, fact, peer[fact]))
                if fact == "codec":
                    if not peer["codec"]:
                        continue
                elif not agree(fact, peer[fact], other[fact] if other else None):
                    continue
                counted[fact] += 1
                if agree(fact, ours.get(fact), peer[fact]):
                    agreed[fact] += 1
                elif args.verbose:
                    print("%s: %s #%d %s torvo %s, ffprobe %s, mediainfo %s" %
                          (path, peer["kind"], n, fact, ours.get(fact), peer[fact],
                           other[fact] if other else None))
    print("files %d, torvo-cli failures %d" % (files, failures))
    for fact in STREAM_FACTS:
        share = 100.0 * agreed[fact] / counted[fact] if counted[fact] else 0.0
        print("%-16s %5d of %5d  %6.2f %%" % (fact, agreed[fact], counted[fact], share))
    total_counted, total_agreed = sum(counted.values()), sum(agreed.values())
    share = 100.0 * total_agreed / total_counted if total_counted else 0.0
    print("%-16s %5d of %5d  %6.2f %%" % ("all", total_agreed, total_counted, share))
    print("null where ffprobe states a value:")
    for fact in STREAM_FACTS:
        print("%-16s %5d of %5d" % (fact, left_null[fact], stated[fact]))
    return 0


def agree(fact, a, b):
    if a is None or b is None:
        return False
    if fact == "duration":
        return abs(a - b) <= max(0.05, 0.01 * max(a, b))
    if fact == "frame_rate":
        return abs(a - b) <= 0.01 or abs(a - b) <= 0.001 * max(a, b)
    if fact == "codec":
        return a == b
    return a == b


def media_extensions(cli):
    """The usual extensions of the formats torvo-cli reads, from its format registry."""
    done = subprocess.run([cli, "--formats", "--json"], capture_output=True, check=True)
    extensions = set()
    for line in done.stdout.decode().splitlines():
        extensions.update("." + e for e in json.loads(line)["extensions"].split())
    return extensions


def media_files(arguments, every_file, extensions):
    for argument in arguments:
        if os.path.isdir(argument):
            for root, _, names in os.walk(argument, followlinks=True):
                for name in sorted(names):
                    if every_file or os.path.splitext(name)[1].lower() in extensions:
                        yield os.path.join(root, name)
        else:
            yield argument


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("paths", nargs="+")
    parser.add_argument("--cli", default="build/src/app/cli/torvo-cli")
    parser.add_argument("--db", help="the codec database, when torvo-cli does not find its own")
    parser.add_argument("--verbose", action="store_true")
    parser.add_argument("--every-file", action="store_true", help="not only the usual media file extensions")
    parser.add_argument("--streams", action="store_true", help="compare the typed report's streams")
    parser.add_argument("--scan", action="store_true", help="with --streams: let torvo-cli scan whole files")
    args = parser.parse_args()
    if args.streams:
        return compare_streams(args)

    counted = {fact: 0 for fact in FACTS}
    agreed = {fact: 0 for fact in FACTS}
    files = failures = 0
    extensions = set() if args.every_file else media_extensions(args.cli)
    for path in media_files(args.paths, args.every_file, extensions):
        (ffprobe, _), (mediainfo, _) = ffprobe_facts(path), mediainfo_facts(path)
        if ffprobe is None or mediainfo is None:
            continue  # neither outside tool takes it for media
        files += 1
        torvo, error = torvo_facts(args.cli, args.db, path)
        if torvo is None:
            failures += 1
            print("%s: torvo-cli failed: %s" % (path, error))
            torvo = dict.fromkeys(FACTS)
        for fact in FACTS:
            if not agree(fact, ffprobe[fact], mediainfo[fact]):
                continue
            counted[fact] += 1
            if agree(fact, torvo[fact], ffprobe[fact]):
                agreed[fact] += 1
            elif args.verbose:
                print("%s: %s torvo %s, ffprobe %s, mediainfo %s" %
                      (path, fact, torvo[fact], ffprobe[fact], mediainfo[fact]))

    total_counted = sum(counted.values())
    total_agreed = sum(agreed.values())
    print("files %d, torvo-cli failures %d" % (files, failures))
    for fact in FACTS:
        share = 100.0 * agreed[fact] / counted[fact] if counted[fact] else 0.0
        print("%-12s %5d of %5d  %6.2f %%" % (fact, agreed[fact], counted[fact], share))
    share = 100.0 * total_agreed / total_counted if total_counted else 0.0
    print("%-12s %5d of %5d  %6.2f %%" % ("all", total_agreed, total_counted, share))
    return 0


if __name__ == "__main__":
    sys.exit(main())
