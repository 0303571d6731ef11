#!/usr/bin/env bash
# Fills build-native/fuzz-corpus/<target>/ with starting inputs for the fuzz targets: real
# samples from ../shared/realdata (copied or cut into single inputs here, never into the repo),
# the project's own fixtures, and the few hand-made seeds of tests/fuzz/seeds. Idempotent: a
# file already in a corpus under the same name is overwritten, inputs the fuzzer added stay.
# Usage: tests/fuzz/make_seeds.sh [corpus root]   (default build-native/fuzz-corpus)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
corpus=${1:-$here/build-native/fuzz-corpus}
real=${QM_REALDATA:-$here/../shared/realdata}
fixtures=$here/tests/fixtures
seeds=$here/tests/fuzz/seeds

targets=(aircraft_cfg airport_file airports_db bgl_file feed_handshake manifest parameters_xml qnh_json
         text_decoding traffic_line type_data_base usercfg version_file zip_archive)
for t in "${targets[@]}"; do
  mkdir -p "$corpus/$t"
  if [ -d "$seeds/$t" ]; then cp -f "$seeds/$t"/* "$corpus/$t/"; fi
done

# Whole files copied under a name of their own (folder and file name joined).
copy_into() { # target file...
  local target=$1; shift
  for f in "$@"; do
    [ -f "$f" ] || continue
    cp -f "$f" "$corpus/$target/$(echo "${f#"$here"/}" | tr '/ ' '__')"
  done
}

# The cutting of line-based samples and the building of archives and UTF-16 texts.
python3 - "$corpus" "$real" "$fixtures" <<'PY'
import glob, io, os, re, sys, zipfile
corpus, real, fixtures = sys.argv[1:4]

def put(target, name, data):
    if isinstance(data, str):
        data = data.encode('utf-8')
    with open(os.path.join(corpus, target, name), 'wb') as f:
        f.write(data)

def lines(path, limit):
    with open(path, 'rb') as f:
        return [l.rstrip(b'\r\n') for l in f.read().split(b'\n') if l.strip()][:limit]

rt = os.path.join(real, 'realtraffic')
# Traffic datagrams: one line each; weather lines mixed into the captures go to the QNH reader.
n = 0
for path in sorted(glob.glob(os.path.join(rt, 'rttfc_*.txt')) + glob.glob(os.path.join(rt, 'aitfc_*'))):
    for line in lines(path, 40):
        target = 'qnh_json' if line.lstrip().startswith(b'{') else 'traffic_line'
        put(target, 'real_%d' % n, line)
        n += 1
# Weather datagrams: "<epoch> : {json}" per line, the prefix cut; the documentation's example whole.
for path in sorted(glob.glob(os.path.join(rt, 'weather_*'))):
    if 'v10_doc' in path:
        with open(path, 'rb') as f:
            put('qnh_json', os.path.basename(path), f.read())
        continue
    for line in lines(path, 20):
        put('qnh_json', 'real_%d' % n, re.sub(rb'^\s*\d+\s*:\s*', b'', line))
        n += 1
# The feed's JSON replies to the version question, one per line.
for path in glob.glob(os.path.join(rt, 'tcp_replies_*')):
    for line in lines(path, 20):
        put('feed_handshake', 'real_%d' % n, line + b'\r\n')
        n += 1

# Text files in every encoding the decoder tells apart: the real samples as they are, and
# UTF-16 forms of a few of them made here (no real sample uses UTF-16).
texts = sorted(glob.glob(os.path.join(real, 'pln', '*')) + glob.glob(os.path.join(real, 'usercfg', '*')))
for i, path in enumerate(texts):
    with open(path, 'rb') as f:
        data = f.read()[:8192]
    put('text_decoding', 'real_%d' % i, data)
    if i < 2:
        text = data.decode('utf-8', 'replace').lstrip('\ufeff')
        put('text_decoding', 'utf16le_%d' % i, b'\xff\xfe' + text.encode('utf-16-le'))
        put('text_decoding', 'utf16be_%d' % i, b'\xfe\xff' + text.encode('utf-16-be'))

# aircraft.cfg: the harness reads the first byte as the choice of reader (0: livery scan).
cfgs = sorted(glob.glob(os.path.join(real, 'aircraft_cfg', '*')) +
              glob.glob(os.path.join(real, 'packages', '*', 'SimObjects', '**', 'aircraft.cfg'), recursive=True)[:6] +
              glob.glob(os.path.join(fixtures, 'livery_scan', '**', 'aircraft.cfg'), recursive=True))
for i, path in enumerate(cfgs):
    with open(path, 'rb') as f:
        data = f.read()
    put('aircraft_cfg', 'cfg_%d' % i, b'\x00' + data)
    if i < 2:
        put('aircraft_cfg', 'ivao_%d' % i, b'\x01' + data)
        text = data.decode('utf-8', 'replace')
        put('aircraft_cfg', 'utf16_%d' % i, b'\x00\xff\xfe' + text.encode('utf-16-le'))

# Archives as the download site sends them: a version file and small text entries, one stored
# and one deflated, built from real package files.
small = sorted(glob.glob(os.path.join(real, 'manifest', '*')))[:2]
for method, name in ((zipfile.ZIP_STORED, 'stored.zip'), (zipfile.ZIP_DEFLATED, 'deflated.zip')):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, 'w', method) as z:
        z.writestr('release/', b'')
        z.writestr('version.json', b'{"major":10,"minor":10,"patch":11}')
        for path in small:
            z.write(path, os.path.basename(path))
    put('zip_archive', name, buf.getvalue())
PY

copy_into usercfg "$real"/usercfg/*
copy_into manifest "$real"/manifest/* "$real"/packages/*/manifest.json
copy_into bgl_file "$real"/bgl/*
# The compiled airports of the packages (a few of each, the smallest first: short runs).
while IFS= read -r f; do copy_into bgl_file "$f"; done < <(find "$real/packages" -iname '*.bgl' -size -200k 2>/dev/null | sort | head -n 12)
copy_into airport_file "$fixtures"/airports/*.xml
copy_into parameters_xml "$fixtures"/airports/golden_generated.xml
# The program's own airports data base, when a Windows build has written it: its first lines.
for db in "$here"/build/stage/input/airports_msfs.xml; do
  [ -f "$db" ] && { head -c 4096 "$db"; printf '\n</airports>\n'; } > "$corpus/airports_db/stage_head.xml"
done

for t in "${targets[@]}"; do printf '%-16s %4d inputs\n' "$t" "$(find "$corpus/$t" -type f | wc -l)"; done
