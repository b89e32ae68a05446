#!/usr/bin/env bash
# The main job, end to end: generates a short sample recording with two takes, starts the backend
# with a throw-away home folder (the real settings and Desktop are never touched), queues the
# recording, runs start_cut, prints the events as they arrive and says where the clip is; then
# exports the clip list as an MP4 master and as a DaVinci Resolve timeline.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/tavelmor-demo.XXXXXX")
mkdir -p "$work/home/Desktop" "$work/clips"
recording="$work/Aufnahme mit zwei Takes.mp4"

# Take 1 (0-2 s) is discarded, a pause (2-4.5 s), take 2 (4.5-8 s) is kept, silence to the end.
echo "Erzeuge Beispielaufnahme: $recording"
ffmpeg -hide_banner -loglevel error -nostdin -y \
  -f lavfi -i "testsrc2=size=640x360:rate=30" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000" -t 9 \
  -af "volume='between(t,0,2)+between(t,4.5,8)':eval=frame" \
  -map 0:v -map 1:a -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac "$recording"

json_text() { # a string as a JSON string literal
  local text=${1//\\/\\\\}
  printf '"%s"' "${text//\"/\\\"}"
}

coproc BACKEND { HOME="$work/home" exec build/tavelmor-backend; }
backend_pid=$BACKEND_PID
backend_in=${BACKEND[1]}
send() {
  echo ">> $1"
  printf '%s\n' "$1" >&"$backend_in"
}

clip=""
exports=()
step=start
while IFS= read -r -t 300 line <&"${BACKEND[0]}"; do
  echo "<< $line"
  case $line in
    *'"event": "ready"'*)
      send '{"cmd": "bootstrap"}'
      send '{"cmd": "set_config", "payload": {"trim_padding": 0.3}}'
      send "{\"cmd\": \"add_cut_files\", \"payload\": {\"paths\": [$(json_text "$recording")]}}"
      send "{\"cmd\": \"start_cut\", \"payload\": {\"output_folder\": $(json_text "$work/clips")}}"
      step=cut
      ;;
    *'"panel": "cut", "msg": "Gespeichert: '*)
      clip=${line#*'"msg": "Gespeichert: '}
      clip=${clip%%'", "level"'*}
      ;;
    *'"event": "notify"'*'"message": "Gespeichert: '*)
      saved=${line#*'"message": "Gespeichert: '}
      exports+=("${saved%'"}'}")
      ;;&
    *'"event": "notify"'*)
      case $step in
        cut) send '{"cmd": "start_export", "payload": {"mode": "mp4"}}'; step=mp4 ;;
        mp4) send '{"cmd": "start_export", "payload": {"mode": "xml"}}'; step=xml ;;
        xml) break ;;
      esac
      ;;
  esac
done
exec {backend_in}>&-
wait "$backend_pid" || true

if [ -z "$clip" ]; then
  echo "Kein Clip entstanden; Fehlerbericht: $work/home/Desktop/TavelmorStudio_ERROR.txt" >&2
  exit 1
fi
echo
echo "Clip: $clip"
ffprobe -v error -show_entries format=duration:format_tags=TAVELMOR_C_IN,TAVELMOR_C_OUT \
  -of default=noprint_wrappers=1 "$clip"
for export in "${exports[@]}"; do echo "Export: $export"; done
echo "Alles liegt in $work (zum Wegwerfen: rm -rf '$work')"
