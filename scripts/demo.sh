#!/usr/bin/env bash
# The main job, end to end: generates a short sample recording with two takes, starts the backend
# with a throw-away home folder (the real settings and Desktop are never touched), queues the
# recording, runs start_cut, prints the events as they arrive and says where the clip is.
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
send() {
  echo ">> $1"
  printf '%s\n' "$1" >&"${BACKEND[1]}"
}

clip=""
started=0
while IFS= read -r -t 300 line <&"${BACKEND[0]}"; do
  echo "<< $line"
  case $line in
    *'"event": "ready"'*)
      send '{"cmd": "bootstrap"}'
      send '{"cmd": "set_config", "payload": {"trim_padding": 0.3}}'
      send "{\"cmd\": \"add_cut_files\", \"payload\": {\"paths\": [$(json_text "$recording")]}}"
      send "{\"cmd\": \"start_cut\", \"payload\": {\"output_folder\": $(json_text "$work/clips")}}"
      started=1
      ;;
    *'"msg": "Gespeichert: '*)
      clip=${line#*'"msg": "Gespeichert: '}
      clip=${clip%%'", "level"'*}
      ;;
    *'"event": "notify"'*)
      [ "$started" = 1 ] && break
      ;;
  esac
done
exec {BACKEND[1]}>&-
wait "$BACKEND_PID" || true

if [ -z "$clip" ]; then
  echo "Kein Clip entstanden; Fehlerbericht: $work/home/Desktop/TavelmorStudio_ERROR.txt" >&2
  exit 1
fi
echo
echo "Clip: $clip"
ffprobe -v error -show_entries format=duration:format_tags=TAVELMOR_C_IN,TAVELMOR_C_OUT \
  -of default=noprint_wrappers=1 "$clip"
echo "Alles liegt in $work (zum Wegwerfen: rm -rf '$work')"
