#!/usr/bin/env python3
"""Scores the map-area detector against pages with known truth.

    tools/detect-eval.py [-v] PLANO_MILLER_BINARY PAGES_DIR

PAGES_DIR holds the images and truth.csv, as written by
tests/data/detect/pages/make-pages.sh (columns file, width, height, left, right, bottom, top,
projection, lonMin, lonMax, latMin, latMax, parallels, meridians, frame, style).
The binary is run as `BINARY --detect IMAGE` on every page (60 s each); its [Convert] values
and exit status are compared with the truth. -v also prints the detector's comment lines.
Standard library only.
"""

import argparse
import csv
import os
import subprocess
import sys

TIMEOUT = 60
SIDES = ("left", "right", "bottom", "top")
KEYS = {"MarginLeft": "left", "MarginRight": "right", "MarginBottom": "bottom", "MarginTop": "top",
        "MapProjection": "projection", "LongitudeMinimum": "lonMin", "LongitudeMaximum": "lonMax",
        "LatitudeMinimum": "latMin", "LatitudeMaximum": "latMax"}


def around(a, b):
    """Distance in degrees between two longitudes, around the circle."""
    d = (a - b) % 360.0
    return min(d, 360.0 - d)


def span(lo, hi):
    """The box's eastward extent, 0 < span <= 360; equal ends mean the full circle."""
    s = (hi - lo) % 360.0
    return 360.0 if s == 0 else s


def run(binary, image):
    """Runs the detector; returns (status, values, comments, reason)."""
    try:
        p = subprocess.run([binary, "--detect", image], capture_output=True, text=True,
                           timeout=TIMEOUT, errors="replace")
    except subprocess.TimeoutExpired:
        return "timeout", {}, [], "no answer in %d s" % TIMEOUT
    except OSError as e:
        return "error", {}, [], str(e)
    comments, values, group = [], {}, None
    for line in p.stdout.splitlines():
        s = line.strip()
        if s.startswith(";"):
            comments.append(s)
        elif s.startswith("[") and s.endswith("]"):
            group = s[1:-1]
        elif "=" in s and group == "Convert":
            k, v = s.split("=", 1)
            if k.strip() in KEYS:
                values[KEYS[k.strip()]] = v.strip()
    if p.returncode != 0:
        text = [l.strip() for l in (p.stderr + "\n" + p.stdout).splitlines() if l.strip() and not l.strip().startswith(";")]
        reason = " | ".join(text[-2:]) if text else "(no message)"
        status = "refused" if p.returncode > 0 else "crash(%d)" % -p.returncode
        return status, values, comments, "exit %d: %s" % (p.returncode, reason)
    parsed = {}
    try:
        for k in SIDES:
            parsed[k] = int(values[k])
        for k in ("lonMin", "lonMax", "latMin", "latMax"):
            parsed[k] = float(values[k])
        parsed["projection"] = values["projection"]
    except (KeyError, ValueError) as e:
        return "unparsed", values, comments, "exit 0 but [Convert] incomplete (%s)" % e
    return "ok", parsed, comments, ""


def share(n, d):
    return "%d/%d = %5.1f%%" % (n, d, 100.0 * n / d) if d else "%d/0" % n


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("-v", "--verbose", action="store_true", help="print the detector's comment lines per page")
    ap.add_argument("binary")
    ap.add_argument("pages")
    a = ap.parse_args()
    with open(os.path.join(a.pages, "truth.csv"), newline="") as f:
        truth = list(csv.DictReader(f))
    if not truth:
        sys.exit("detect-eval: no pages in truth.csv")

    n = len(truth)
    ok_pages = 0
    sides1 = sides3 = 0
    proj_n = proj_right = 0
    grid_n = lat_ok = lon_ok = 0
    worst = []
    refusals = []
    print("%-38s %-8s %5s %5s %5s %5s %-9s %6s %6s  %s" % ("file", "status", "dL", "dR", "dB", "dT", "proj", "dLat", "dLon", "note"))
    for t in truth:
        image = os.path.join(a.pages, t["file"])
        status, got, comments, reason = run(a.binary, image)
        graticule = t["parallels"] == "1" or t["meridians"] == "1"
        if t["parallels"] == "1":
            proj_n += 1
        if graticule:
            grid_n += 1
        if status != "ok":
            refusals.append((t["file"], status, reason))
            print("%-38s %-8s %5s %5s %5s %5s %-9s %6s %6s  %s" % (t["file"], status, "-", "-", "-", "-", "-", "-", "-", reason[:90]))
        else:
            ok_pages += 1
            err = {k: got[k] - int(t[k]) for k in SIDES}
            sides1 += sum(abs(e) <= 1 for e in err.values())
            sides3 += sum(abs(e) <= 3 for e in err.values())
            proj = "right" if got["projection"] == t["projection"] else "WRONG:" + got["projection"][:3]
            if t["parallels"] == "1" and got["projection"] == t["projection"]:
                proj_right += 1
            dlat = max(abs(got["latMin"] - float(t["latMin"])), abs(got["latMax"] - float(t["latMax"])))
            tlo, thi = float(t["lonMin"]), float(t["lonMax"])
            dlon = max(around(got["lonMin"], tlo),
                       around(got["lonMin"] + span(got["lonMin"], got["lonMax"]), tlo + span(tlo, thi)))
            if graticule:
                lat_ok += dlat <= 1.0
                lon_ok += dlon <= 1.0
            note = []
            if max(abs(e) for e in err.values()) > 10:
                worst.append(t["file"])
                note.append("AREA OFF >10 px")
            note.append("box %g..%g / %g..%g" % (got["lonMin"], got["lonMax"], got["latMin"], got["latMax"]))
            print("%-38s %-8s %+5d %+5d %+5d %+5d %-9s %6.2f %6.2f  %s" % (
                t["file"], status, err["left"], err["right"], err["bottom"], err["top"], proj, dlat, dlon, "; ".join(note)))
        if a.verbose:
            for c in comments:
                print("      " + c)

    print()
    print("pages: %d, detected (exit 0): %d, refused or failed: %d" % (n, ok_pages, n - ok_pages))
    print("sides within 1 px: %s of detected, %s of all" % (share(sides1, 4 * ok_pages), share(sides1, 4 * n)))
    print("sides within 3 px: %s of detected, %s of all" % (share(sides3, 4 * ok_pages), share(sides3, 4 * n)))
    print("projection right (pages drawing parallels; refusals wrong): %s" % share(proj_right, proj_n))
    print("latitudes within 1 deg (pages drawing a graticule; refusals wrong): %s" % share(lat_ok, grid_n))
    print("longitudes within 1 deg (pages drawing a graticule; refusals wrong): %s" % share(lon_ok, grid_n))
    print("exit 0 with a side off by more than 10 px (worst outcome): %d%s" % (len(worst), (": " + ", ".join(worst)) if worst else ""))
    print("refusals and failures: %d" % len(refusals))
    for f, s, r in refusals:
        print("  %s: %s: %s" % (f, s, r))


if __name__ == "__main__":
    main()
