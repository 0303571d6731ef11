#!/usr/bin/env bash
# Sets everything up, builds, and runs Quillmarsh's main job under Wine: the program in a folder
# of its own (build/run/program) with its settings below build/run/appdata, an installed
# simulator folder, the download site served on 127.0.0.1, the stand-in simulator with a
# scenario at Los Angeles, and our RealTraffic peer replaying a recording toward the program.
# On a real $DISPLAY the program runs until its window is closed; under Xvfb (no $DISPLAY) it
# runs --seconds N (default 90). Then a screenshot of the main window is written, the window is
# closed as the close button does, and a summary of what the simulator saw is printed.
#   scripts/run.sh [--seconds N] [--no-sim] [--no-journal]
# --no-sim leaves the simulator away: the program waits for it, as on a PC where it is not started.
# --no-journal switches the stand-in's journal off (it writes a line for every aircraft in every
# frame, inside the program's process): for measuring what the program itself costs.
# For runs against a bad site or hostile peers (tools/run/hostile_runs.sh):
#   QUILLMARSH_SITE_ROUTES   more options of qm_httpd, e.g. "--route MSFS/dbase.zip stall"
#   QUILLMARSH_RUN_HOOK      a command called as `<hook> program <run folder>` once the site is
#                            served and the settings are written, and as `<hook> peer <run folder>`
#                            once the program started, before RealTraffic's peer starts
# The program's process id is written to build/run/program.pid while it runs.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${QM_BUILD_DIR:-$here/build}
seconds=""
no_sim=0
journal=1
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --no-sim) no_sim=1; shift ;;
    --no-journal) journal=0; shift ;;
    *) echo "usage: $0 [--seconds N] [--no-sim] [--no-journal]" >&2; exit 2 ;;
  esac
done
had_display=${DISPLAY:-}
bash "$here/scripts/build.sh" >/dev/null
source "$here/scripts/wine-env.sh"
helpers=()
cleanup() {
  for p in "${helpers[@]}"; do kill "$p" >/dev/null 2>&1 || true; done
  qm_wine_stop
}
trap cleanup EXIT
if [ -z "$seconds" ] && [ -z "$had_display" ]; then seconds=90; fi

RUN_DIR="$BUILD_DIR/run"
PROGRAM_DIR="$RUN_DIR/program"
APPDATA="$RUN_DIR/appdata"
mkdir -p "$PROGRAM_DIR" "$APPDATA/Roaming" "$APPDATA/Local"
cp -r "$BUILD_DIR/stage/." "$PROGRAM_DIR/"
# The stand-in simulator is the program's SimConnect.dll here; on a user's PC it is Microsoft's.
cp "$BUILD_DIR/stand_in/SimConnect.dll" "$PROGRAM_DIR/SimConnect.dll"
export QUILLMARSH_APPDATA_ROOT=$(winepath -w "$APPDATA")

# An installed simulator (its packages folder, with our AI traffic package in its Community
# folder) and RealTraffic on this PC.
rm -rf "$RUN_DIR/msfs/Community"
mkdir -p "$RUN_DIR/msfs/Community" "$RUN_DIR/msfs/Official" "$APPDATA/Roaming/InsideSystems"
cp -r "$here/tools/run/community/." "$RUN_DIR/msfs/Community/"
rm -f "$RUN_DIR/msfs/Community/.gitattributes"
touch "$APPDATA/Roaming/InsideSystems/RealTraffic.jar"

# The scenario (the user at a gate of Los Angeles unless another is given) sets the simulator
# (MSFS 2020 or, for "SunRise", 2024) and the park airport: the one nearest the user aircraft.
SCENARIO=${QUILLMARSH_SIM_SCENARIO_FILE:-$here/tools/run/klax_scenario.json}
RECORDING=${QUILLMARSH_RECORDING:-$here/tools/rtpeer/recordings/klax_20200617.rec}
# Paths given relative to where the command was started: the steps below run in other folders.
SCENARIO=$(readlink -f "$SCENARIO")
RECORDING=$(readlink -f "$RECORDING")
for f in "$SCENARIO" "$RECORDING"; do
  [ -f "$f" ] || { echo "run.sh: no such file: $f" >&2; exit 2; }
done
# A capture of the feed (anything but a recording, *.rec) is laid into a recording first.
case "$RECORDING" in
  *.rec) ;;
  *)
    converted="$RUN_DIR/$(basename "${RECORDING%.*}").rec"
    wine "$BUILD_DIR/tools/bin/rtpeer.exe" convert "$(winepath -w "$RECORDING")" "$(winepath -w "$converted")" \
      </dev/null || { echo "run.sh: cannot convert $RECORDING" >&2; exit 2; }
    RECORDING=$converted ;;
esac
read -r sim_folder park_icao < <(python3 "$here/tools/run/run_summary.py" scenario "$SCENARIO" \
  "$BUILD_DIR/stage/input/airports_msfs.xml")

# The download site: the published version is the one that runs, so no update is offered.
mkdir -p "$RUN_DIR/site/release"
version=$(sed -n 's/^project(Quillmarsh VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")
printf '%s\n' "$version" > "$RUN_DIR/site/release/version.json"
# The aircraft type data base (made at build time from public data, tools/dbase), for either
# simulator.
for folder in MSFS MSFS2024; do
  mkdir -p "$RUN_DIR/site/$folder"
  cp "$BUILD_DIR/data/dbase.zip" "$RUN_DIR/site/$folder/dbase.zip"
done
# The stock airport file of the park airport: its stands are where aircraft of the real traffic
# stand still (the run's recording, and captures of Los Angeles where shared/ has them; reports
# farther than 3 nm from the airport are left out). Archived airport files always lie below MSFS/.
mkdir -p "$RUN_DIR/site/MSFS/archive/stock"
rm -f "$RUN_DIR"/site/MSFS/archive/stock/*.xml
stock="$RUN_DIR/site/MSFS/archive/stock/$park_icao.xml"
python3 "$here/tools/run/make_stock_airport.py" "$park_icao" "$BUILD_DIR/stage/input/airports_msfs.xml" \
  "$stock" "$RECORDING" "$here/tools/rtpeer/recordings/klax_20200617.rec" \
  "$here/../shared/realdata/realtraffic/aitfc_KLAX_20210125_Test.csv" >/dev/null
rm -f "$RUN_DIR/site.port"
# Read as words without file-name expansion: a route may be "*".
read -r -a site_routes <<<"${QUILLMARSH_SITE_ROUTES:-}"
wine "$BUILD_DIR/tools/bin/qm_httpd.exe" --root "$(winepath -w "$RUN_DIR/site")" \
  --port-file "$(winepath -w "$RUN_DIR/site.port")" "${site_routes[@]}" >"$RUN_DIR/site.log" 2>&1 </dev/null &
helpers+=($!)
for _ in $(seq 1 100); do [ -s "$RUN_DIR/site.port" ] && break; sleep 0.1; done
port=$(tr -dc '0-9' < "$RUN_DIR/site.port")

# The program's settings: the simulator's folder, the site and the range (others are kept).
python3 - "$APPDATA/Roaming/Quillmarsh/parameters.xml" "$(winepath -w "$RUN_DIR/msfs")" "http://127.0.0.1:$port/" \
  "$sim_folder" <<'PY'
import os, sys, xml.etree.ElementTree as ET
path, packages, site, sim_folder = sys.argv[1:5]
os.makedirs(os.path.dirname(path), exist_ok=True)
try:
    tree = ET.parse(path); root = tree.getroot()
except (OSError, ET.ParseError):
    root = ET.Element("parameters"); tree = ET.ElementTree(root)
# A fixed 40 nm range: the recording's traffic spreads over the Los Angeles basin, while the
# automatic range of a user on the ground is 10 nm.
# The liveries are scanned at every start of a run, as after installing new AI packages.
# The simulator mode follows the scenario's simulator; both simulators' packages are the run's folder.
for key, value in (("MSFS_2020", "true" if sim_folder == "MSFS" else "false"), ("MSFS_INSTALL_PATH", packages),
                   ("MSFS_2024_INSTALL_PATH", packages), ("DOWNLOAD_SITE", site), ("AUTO_RANGE", "false"),
                   ("LATERAL_RANGE", "40"), ("SCAN_LIVERIES", "true"), ("LIG_AUTOMATIC", "true")):
    node = next((p for p in root.iter("parameter") if p.get("name") == key), None)
    if node is None:
        node = ET.SubElement(root, "parameter", name=key)
    node.set("value", value)
tree.write(path, encoding="utf-8", xml_declaration=True)
PY

# The stand-in simulator: its scenario, and the journal of what it saw (one JSON object a line).
# The simulator lists the titles of the AI packages of its Community folder as installed, those of
# helicopter models as rotorcraft (announced with the helicopter object type, as the simulator does).
# Its ground is that of the airports of the airports data base within 60 nm of the user (beyond the
# run's 40 nm range), each at its elevation, unless the scenario lists airports of its own.
python3 - "$SCENARIO" "$RUN_DIR/msfs/Community" "$RUN_DIR/scenario.json" "$BUILD_DIR/stage/input/airports_msfs.xml" <<'PY'
import json, math, pathlib, re, sys
import xml.etree.ElementTree as ET
scenario = json.load(open(sys.argv[1], encoding="utf-8"))
if "airports" not in scenario:
    user = scenario.get("user", {})
    lat0, lon0 = math.radians(float(user.get("latitude", 0))), math.radians(float(user.get("longitude", 0)))
    def nm_from_user(lat, lon):
        lat, lon = math.radians(lat), math.radians(lon)
        h = math.sin((lat - lat0) / 2) ** 2 + math.cos(lat0) * math.cos(lat) * math.sin((lon - lon0) / 2) ** 2
        return 2 * 6371008.8 * math.asin(math.sqrt(min(1.0, h))) / 1852
    scenario["airports"] = [
        {"code": e.get("code"), "latitude": float(e.get("lat")), "longitude": float(e.get("lon")),
         "elevation": float(e.get("alt", "0"))}
        for e in ET.parse(sys.argv[4]).getroot().iter("airport")
        if nm_from_user(float(e.get("lat")), float(e.get("lon"))) <= 60]
titles = scenario.setdefault("installedTitles", [])
rotorcraft = scenario.setdefault("rotorcraftTitles", [])
for cfg in sorted(pathlib.Path(sys.argv[2]).rglob("*")):
    if cfg.name.lower() != "aircraft.cfg": continue
    data = cfg.read_bytes()
    text = data.decode("utf-16") if data[:2] == b"\xff\xfe" else data.decode("utf-8-sig", errors="replace")
    helicopter = re.search(r'(?im)^\s*category\s*=\s*"?helicopter"?', text) is not None
    for m in re.finditer(r'(?im)^\s*title\s*=\s*"([^"]+)"', text):
        title = m.group(1).strip()
        if title not in titles: titles.append(title)
        if helicopter and title not in rotorcraft: rotorcraft.append(title)
json.dump(scenario, open(sys.argv[3], "w", encoding="utf-8"), indent=2)
PY
JOURNAL="$RUN_DIR/sim-journal.jsonl"
# The peer appends to its log: each run starts a new one (the summary measures against it).
rm -f "$JOURNAL" "$RUN_DIR/rtpeer.log"
if [ "$no_sim" = 1 ]; then
  unset QUILLMARSH_SIM_SCENARIO
else
  export QUILLMARSH_SIM_SCENARIO=$(winepath -w "$RUN_DIR/scenario.json")
fi
# Without the variable the stand-in keeps no journal.
if [ "$journal" = 1 ]; then
  export QUILLMARSH_SIM_JOURNAL=$(winepath -w "$JOURNAL")
else
  unset QUILLMARSH_SIM_JOURNAL
fi

if [ -n "${QUILLMARSH_RUN_HOOK:-}" ]; then "$QUILLMARSH_RUN_HOOK" program "$RUN_DIR"; fi
cd "$PROGRAM_DIR"
rm -f "$RUN_DIR/program.pid"
# Wine's launcher execs the loader, which becomes the program's process: this id is the program.
wine Quillmarsh.exe >/dev/null 2>&1 </dev/null &
pid=$!
echo "$pid" >"$RUN_DIR/program.pid"
if [ -n "${QUILLMARSH_RUN_HOOK:-}" ]; then "$QUILLMARSH_RUN_HOOK" peer "$RUN_DIR"; fi

# RealTraffic: traffic and QNH datagrams from a recording, and the feed server's client.
wine "$BUILD_DIR/tools/bin/rtpeer.exe" play "$(winepath -w "$RECORDING")" --loop \
  --log "$(winepath -w "$RUN_DIR/rtpeer.log")" >/dev/null 2>&1 </dev/null &
helpers+=($!)

window=""
for _ in $(seq 1 100); do
  window=$(xdotool search --onlyvisible --name '^Quillmarsh$' 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.2
done
if [ -z "$window" ]; then
  echo "Quillmarsh did not show its window; see $PROGRAM_DIR/Log.txt" >&2
  exit 1
fi
echo "Quillmarsh is running (program folder $PROGRAM_DIR)"

if [ -n "$seconds" ]; then
  sleep "$seconds"
  png="$RUN_DIR/quillmarsh.png"
  import -window "$window" "$png" 2>/dev/null || import -window root "$png"
  echo "screenshot: $png"
  close_asked=$(date +%s.%N)
  xdotool key --window "$window" alt+F4 2>/dev/null || xdotool windowclose "$window" || true
fi
status=0
wait "$pid" || status=$?
rm -f "$RUN_DIR/program.pid"
echo "Quillmarsh ended with exit code $status"
if [ -n "${close_asked:-}" ]; then
  awk -v asked="$close_asked" -v ended="$(date +%s.%N)" \
    'BEGIN { printf "closed %.2f s after the close request\n", ended - asked }'
fi
echo "log: $PROGRAM_DIR/Log.txt"
echo "RealTraffic peer log: $RUN_DIR/rtpeer.log ($(grep -c "Qs121=" "$RUN_DIR/rtpeer.log" 2>/dev/null || true) position lines received)"
if [ -f "$JOURNAL" ]; then
  python3 - "$JOURNAL" <<'PY'
import collections, json, sys
kinds = collections.Counter(); tails = set(); posed = set()
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    try: e = json.loads(line)
    except ValueError: continue
    kinds[e.get("kind")] += 1
    if e.get("kind") == "created": tails.add(e.get("tail", ""))
    if e.get("kind") == "pose": posed.add(e.get("object"))
print("the simulator saw: " + ", ".join(f"{n} {k}" for k, n in sorted(kinds.items())))
print(f"AI aircraft created: {kinds['created']} ({', '.join(sorted(tails)[:12])}{' ...' if len(tails) > 12 else ''}); "
      f"moved: {len(posed)}; removed: {kinds['removed']}")
PY
  # Per created aircraft its callsign, type and livery title (the type from the matcher's log line).
  python3 - "$JOURNAL" "$PROGRAM_DIR/Log.txt" <<'PY'
import json, re, sys
types = {}
for line in open(sys.argv[2], encoding="utf-8", errors="replace"):
    m = re.match(r"^ {10}(\S+)\s.*\s(\S+)\s+(\S+)\s+=[1-6]= ", line)
    if m: types[m.group(1)] = m.group(3)
rows = []
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    try: e = json.loads(line)
    except ValueError: continue
    if e.get("kind") == "created": rows.append((e.get("tail", ""), types.get(e.get("tail", ""), "?"), e.get("title", "")))
for tail, type_code, title in rows: print(f"  {tail:8} {type_code:4} {title}")
PY
  # The static aircraft of the park airport: where, in which heading, and whether they ever moved.
  python3 - "$JOURNAL" <<'PY'
import json, sys
created, moved, removed = {}, set(), set()
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    try: e = json.loads(line)
    except ValueError: continue
    if e.get("kind") == "created" and str(e.get("tail", "")).endswith("*"): created[e["object"]] = e
    elif e.get("kind") == "pose": moved.add(e.get("object"))
    elif e.get("kind") == "removed": removed.add(e.get("object"))
print(f"static aircraft created: {len(created)}, moved: {len(moved & set(created))}, removed: {len(removed & set(created))}")
for obj, e in created.items():
    print(f"  {e['tail']:9} {e['lat']:.6f},{e['lon']:.6f} heading {e['heading']:5.1f}  {e.get('title', '')}"
          f"{'  (removed)' if obj in removed else ''}")
PY
  # Why each aircraft went.
  echo "removals:"
  python3 "$here/tools/run/run_summary.py" removals "$JOURNAL"
  # How closely the live aircraft kept to their reports, as the peer sent them.
  python3 "$here/tools/run/run_summary.py" tracks "$JOURNAL" "$RUN_DIR/rtpeer.log"
  # The live traffic livery matching summary of the log (written when the program ends).
  sed -n '/live traffic livery matching summary/,/^\*\{100\}/p' "$PROGRAM_DIR/Log.txt"
  picture="$RUN_DIR/tracks.png"
  # The park airport's stands as the program read them: the airport file its scan made below the
  # program folder (third-party scenery before Vendrake's, as the program looks them up) when
  # there is one, else the stock file the site served.
  for folder in my_thirdparty my_vendrake; do
    airport_file=$(find "$PROGRAM_DIR/airports/$folder" -maxdepth 1 -iname "$park_icao.xml" 2>/dev/null | head -n1)
    if [ -n "$airport_file" ]; then stock=$airport_file; break; fi
  done
  echo "park airport: $park_icao ($stock)"
  python3 "$here/tools/journal_plot/journal_plot.py" "$JOURNAL" --stands "$stock" --out "$picture" >/dev/null && echo "tracks: $picture"
  python3 "$here/tools/journal_plot/journal_plot.py" "$JOURNAL" --stands "$stock" --zoom-stands \
    --out "$RUN_DIR/tracks_$(echo "$park_icao" | tr 'A-Z' 'a-z').png" >/dev/null && \
    echo "the airport's stands: $RUN_DIR/tracks_$(echo "$park_icao" | tr 'A-Z' 'a-z').png"
  echo "journal: $JOURNAL"
else
  echo "journal: off"
fi
