#!/usr/bin/env bash
# Draws every picture the client ships: chat faces, level, head and state icons, entrance
# pictures, stamps, gifts and the program icon. All of them are drawn here from shapes and
# from glyphs of the freely licensed fonts Debian ships (DejaVu, Noto CJK), so the set is ours
# and can be remade at will. Run it after changing a picture and commit res/img.
#
# Small icons get a twice-as-large "@2x" companion so they stay sharp at 200% scaling.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/res/img}

# The real ImageMagick, not a wrapper that may stand in front of it.
IM=$(command -v convert-im6.q16 || command -v magick || command -v convert) || {
  echo "ImageMagick is not installed (apt-get install imagemagick)" >&2
  exit 1
}
cjk_font=$(fc-match -f '%{file}' 'Noto Sans CJK SC:style=Bold' 2>/dev/null || true)
latin_font=$(fc-match -f '%{file}' 'DejaVu Sans:style=Bold' 2>/dev/null || true)
[ -n "$cjk_font" ] && [ -n "$latin_font" ] || {
  echo "fonts-noto-cjk and fonts-dejavu-core are needed" >&2
  exit 1
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"/{face,level,head,display,enter,stamp,gift,app}

# GIF keeps one transparent colour: cut the alpha at half so edges stay clean.
hard_alpha=(-channel A -threshold 50% +channel)

# ---------------------------------------------------------------------------------------
# Chat faces: 96x96 drawings scaled to 24 (1x) and 48 (2x), two frames each.
face_colors=("#ffd43b" "#ffc078" "#ff8787" "#b2f2bb" "#a5d8ff" "#d0bfff" "#ffe066" "#fcc2d7")
eyes_kinds=(dots happy wide wink sleepy glasses cross heart)
mouth_kinds=(smile grin flat frown open tongue)

draw_eyes() {  # kind, frame → draw arguments on stdout
  local kind=$1 frame=$2
  if [ "$frame" = 2 ] && [ "$kind" != sleepy ] && [ "$kind" != cross ]; then
    echo "stroke #4a2c00 stroke-width 5 fill none line 26,40 40,40 line 56,40 70,40"
    return
  fi
  case $kind in
    dots) echo "fill #4a2c00 stroke none circle 33,40 33,47 circle 63,40 63,47" ;;
    happy) echo "fill none stroke #4a2c00 stroke-width 5 arc 24,34 42,50 180,360 arc 54,34 72,50 180,360" ;;
    wide) echo "fill white stroke #4a2c00 stroke-width 3 circle 33,40 33,51 circle 63,40 63,51 fill #4a2c00 stroke none circle 34,42 34,46 circle 64,42 64,46" ;;
    wink) echo "fill #4a2c00 stroke none circle 33,40 33,47 fill none stroke #4a2c00 stroke-width 5 line 55,41 71,41" ;;
    sleepy) echo "fill none stroke #4a2c00 stroke-width 5 arc 24,32 42,46 0,180 arc 54,32 72,46 0,180" ;;
    glasses) echo "fill #212529 stroke #212529 stroke-width 2 roundrectangle 18,32 45,50 5,5 roundrectangle 51,32 78,50 5,5 line 45,38 51,38" ;;
    cross) echo "fill none stroke #4a2c00 stroke-width 5 line 26,33 40,47 line 40,33 26,47 line 56,33 70,47 line 70,33 56,47" ;;
    heart) echo "fill #e03131 stroke none circle 29,37 29,42 circle 37,37 37,42 polygon 24,39 42,39 33,50 circle 59,37 59,42 circle 67,37 67,42 polygon 54,39 72,39 63,50" ;;
  esac
}

draw_mouth() {  # kind, frame
  local kind=$1 frame=$2
  case $kind in
    smile) echo "fill none stroke #4a2c00 stroke-width 5 arc 30,50 66,74 20,160" ;;
    grin)
      if [ "$frame" = 2 ]; then
        echo "fill #c92a2a stroke #4a2c00 stroke-width 4 ellipse 48,64 17,11 0,360"
      else
        echo "fill white stroke #4a2c00 stroke-width 4 path 'M 28,58 Q 48,84 68,58 Z'"
      fi
      ;;
    flat) echo "fill none stroke #4a2c00 stroke-width 5 line 34,66 62,66" ;;
    frown) echo "fill none stroke #4a2c00 stroke-width 5 arc 32,62 64,82 200,340" ;;
    open)
      local r=8
      [ "$frame" = 2 ] && r=11
      echo "fill #862e2e stroke #4a2c00 stroke-width 4 ellipse 48,66 $r,$r 0,360"
      ;;
    tongue) echo "fill none stroke #4a2c00 stroke-width 5 arc 30,50 66,72 20,160 fill #f06595 stroke #4a2c00 stroke-width 3 ellipse 54,72 7,8 0,180" ;;
  esac
}

face_count=40
for ((i = 0; i < face_count; i++)); do
  color=${face_colors[$((i % ${#face_colors[@]}))]}
  eyes=${eyes_kinds[$(((i / 2) % ${#eyes_kinds[@]}))]}
  mouth=${mouth_kinds[$(((i * 5 / 3) % ${#mouth_kinds[@]}))]}
  extra=""
  case $((i % 5)) in
    1) extra="fill #ff8fab stroke none ellipse 22,58 8,5 0,360 ellipse 74,58 8,5 0,360" ;;
    3) extra="fill #74c0fc stroke #1c7ed6 stroke-width 2 path 'M 78,18 Q 88,34 78,38 Q 68,34 78,18 Z'" ;;
  esac
  for frame in 1 2; do
    "$IM" -size 96x96 xc:none \
      -fill "$color" -stroke "#5c3d00" -strokewidth 4 -draw "circle 48,48 48,6" \
      -draw "$(draw_eyes "$eyes" "$frame")" \
      -draw "$(draw_mouth "$mouth" "$frame")" \
      ${extra:+-draw "$extra"} \
      "$tmp/f$frame.png"
  done
  name=$(printf '%02d' "$i")
  for size in 24 48; do
    suffix=""
    [ $size = 48 ] && suffix="@2x"
    "$IM" -dispose background \
      \( "$tmp/f1.png" -resize ${size}x${size} "${hard_alpha[@]}" -set delay 180 \) \
      \( "$tmp/f2.png" -resize ${size}x${size} "${hard_alpha[@]}" -set delay 25 \) \
      -loop 0 "$out/face/$name$suffix.gif"
  done
done
cat >"$out/face/config.ini" <<EOF
; Chat faces: tokens |#00 to |#$(printf '%02d' $((face_count - 1))) in a text.
[Main]
FaceCount=$face_count
Width=24
Hight=24
EOF

# ---------------------------------------------------------------------------------------
# Small icons: drawn on a 64x64 canvas, kept as 16 (1x) and 32 (2x) PNG files.
icon() {  # name, then convert arguments drawing on a 64x64 transparent canvas
  local name=$1
  shift
  "$IM" -size 64x64 xc:none "$@" "$tmp/icon.png"
  "$IM" "$tmp/icon.png" -resize 16x16 -strip "$name.png"
  "$IM" "$tmp/icon.png" -resize 32x32 -strip "$name@2x.png"
}

# Level badges 0..9: a shield whose colour climbs with the level, the digit in white.
level_colors=("#adb5bd" "#69db7c" "#38d9a9" "#3bc9db" "#4dabf7" "#748ffc" "#9775fa" "#f783ac" "#ff922b" "#fab005")
for level in $(seq 0 9); do
  icon "$out/level/$level" \
    -fill "${level_colors[$level]}" -stroke "#343a40" -strokewidth 3 \
    -draw "path 'M 32,3 L 58,12 L 56,38 Q 52,54 32,61 Q 12,54 8,38 L 6,12 Z'" \
    -font "$latin_font" -pointsize 40 -fill white -stroke "#212529" -strokewidth 1.5 \
    -gravity center -annotate +0+1 "$level"
done

# Heads by rank code: a person's outline in the rank's colour; the owner wears a crown.
head() {  # rank, colour, extra drawing
  icon "$out/head/$1" \
    -fill "$2" -stroke "#343a40" -strokewidth 3 \
    -draw "circle 32,22 32,8" -draw "path 'M 8,60 Q 8,36 32,36 Q 56,36 56,60 Z'" \
    ${3:+-draw "$3"}
}
head 10 "#ced4da" ""
head 20 "#74c0fc" ""
head 30 "#63e6be" "fill #2b8a3e stroke none circle 50,50 50,58"
head 40 "#b197fc" "fill #5f3dc4 stroke none circle 50,50 50,58"
head 50 "#f783ac" "fill #a61e4d stroke none circle 50,50 50,58"
head 60 "#ffd43b" "fill #f59f00 stroke #343a40 stroke-width 2 polygon 18,12 22,0 28,8 32,0 36,8 42,0 46,12"
head 70 "#ffa94d" "fill #d9480f stroke none polygon 50,44 53,51 60,51 54,55 57,62 50,58 43,62 46,55 40,51 47,51"
head 80 "#ff6b6b" "fill #c92a2a stroke none polygon 50,44 53,51 60,51 54,55 57,62 50,58 43,62 46,55 40,51 47,51"

# Member states and hall list marks.
icon "$out/display/mic" -fill "#e03131" -stroke "#343a40" -strokewidth 3 \
  -draw "roundrectangle 22,4 42,40 10,10" -fill none -draw "arc 14,20 50,48 0,180" \
  -draw "line 32,48 32,58" -draw "line 22,58 42,58"
icon "$out/display/mic2" -fill "#f59f00" -stroke "#343a40" -strokewidth 3 \
  -draw "roundrectangle 22,4 42,40 10,10" -fill none -draw "arc 14,20 50,48 0,180" \
  -draw "line 32,48 32,58" -draw "line 22,58 42,58"
icon "$out/display/privmic" -fill "#7048e8" -stroke "#343a40" -strokewidth 3 \
  -draw "roundrectangle 22,4 42,40 10,10" -fill none -draw "arc 14,20 50,48 0,180" \
  -draw "line 32,48 32,58" -draw "line 22,58 42,58"
icon "$out/display/queue" -fill "#495057" -stroke none \
  -draw "roundrectangle 6,8 58,18 4,4" -draw "roundrectangle 6,27 58,37 4,4" \
  -draw "roundrectangle 6,46 40,56 4,4"
icon "$out/display/camera" -fill "#1c7ed6" -stroke "#343a40" -strokewidth 3 \
  -draw "roundrectangle 4,16 44,50 6,6" -draw "polygon 46,28 60,18 60,48 46,38"
icon "$out/display/vip" -fill "#fab005" -stroke "#343a40" -strokewidth 3 \
  -draw "polygon 6,22 18,8 46,8 58,22 32,58" \
  -fill none -strokewidth 2 -draw "line 6,22 58,22 line 18,8 26,22 line 46,8 38,22 line 26,22 32,58 line 38,22 32,58"
icon "$out/display/hidden" -fill none -stroke "#868e96" -strokewidth 4 \
  -draw "path 'M 4,32 Q 32,6 60,32 Q 32,58 4,32 Z'" -fill "#868e96" -draw "circle 32,32 32,40" \
  -stroke "#e03131" -draw "line 8,56 56,8"
icon "$out/display/blocked" -fill none -stroke "#e03131" -strokewidth 6 \
  -draw "circle 32,32 32,6" -draw "line 14,14 50,50"
icon "$out/display/room" -fill "#adb5bd" -stroke "#343a40" -strokewidth 3 \
  -draw "polygon 32,4 60,30 52,30 52,58 12,58 12,30 4,30" -fill "#fff" -draw "rectangle 26,40 38,58"
icon "$out/display/mark1" -fill "#20c997" -stroke "#343a40" -strokewidth 3 \
  -draw "polygon 32,4 60,30 52,30 52,58 12,58 12,30 4,30" -fill "#fff" -draw "rectangle 26,40 38,58"
icon "$out/display/mark2" -fill "#fcc419" -stroke "#343a40" -strokewidth 3 \
  -draw "polygon 32,3 40,23 61,24 45,38 50,59 32,47 14,59 19,38 3,24 24,23"

# ---------------------------------------------------------------------------------------
# Entrance pictures: a vehicle that drives in, then waits; VIP ones sparkle.
vehicle_frames() {  # output, colour, kind (car|bike|truck|boat|air), vip flag
  local output=$1 color=$2 kind=$3 vip=$4 frames=() x
  for x in -60 -30 0 0 0; do
    local body
    case $kind in
      bike) body="fill none stroke #343a40 stroke-width 4 circle $((x + 34)),46 $((x + 34)),56 circle $((x + 78)),46 $((x + 78)),56 line $((x + 34)),46 $((x + 54)),24 line $((x + 54)),24 $((x + 78)),46 stroke $color stroke-width 6 line $((x + 48)),22 $((x + 66)),22" ;;
      truck) body="fill $color stroke #343a40 stroke-width 3 rectangle $((x + 14)),14 $((x + 70)),46 roundrectangle $((x + 70)),24 $((x + 102)),46 6,6 fill #d0ebff rectangle $((x + 80)),28 $((x + 96)),36 fill #343a40 circle $((x + 32)),50 $((x + 32)),58 circle $((x + 86)),50 $((x + 86)),58" ;;
      boat) body="fill $color stroke #343a40 stroke-width 3 polygon $((x + 10)),36 $((x + 110)),36 $((x + 96)),54 $((x + 22)),54 fill white rectangle $((x + 40)),20 $((x + 80)),36 fill #4dabf7 stroke none rectangle 0,54 120,60" ;;
      air) body="fill $color stroke #343a40 stroke-width 3 ellipse $((x + 60)),26 26,22 0,360 fill #e8590c rectangle $((x + 50)),50 $((x + 70)),58 stroke #343a40 stroke-width 2 line $((x + 42)),42 $((x + 52)),50 line $((x + 78)),42 $((x + 68)),50" ;;
      *) body="fill $color stroke #343a40 stroke-width 3 roundrectangle $((x + 10)),28 $((x + 110)),48 8,8 path 'M $((x + 30)),28 L $((x + 42)),12 L $((x + 80)),12 L $((x + 94)),28 Z' fill #d0ebff path 'M $((x + 38)),27 L $((x + 46)),16 L $((x + 60)),16 L $((x + 60)),27 Z' fill #343a40 circle $((x + 32)),50 $((x + 32)),58 circle $((x + 88)),50 $((x + 88)),58" ;;
    esac
    local sparkle=""
    if [ "$vip" = 1 ] && [ "$x" = 0 ]; then
      sparkle="fill #fcc419 stroke none polygon 8,4 10,10 16,12 10,14 8,20 6,14 0,12 6,10 polygon 108,2 110,8 116,10 110,12 108,18 106,12 100,10 106,8"
    fi
    "$IM" -size 120x60 xc:none -draw "$body" ${sparkle:+-draw "$sparkle"} "$tmp/v${#frames[@]}.png"
    frames+=("$tmp/v${#frames[@]}.png")
  done
  "$IM" -dispose background -delay 12 "${frames[@]:0:2}" -delay 60 "${frames[@]:2}" \
    "${hard_alpha[@]}" -loop 0 "$output"
}

enter_names=("自行车" "小汽车" "吉普车" "跑车" "卡车" "敞篷车")
enter_kinds=(bike car car car truck car)
enter_colors=("#40c057" "#4dabf7" "#82c91e" "#fa5252" "#fd7e14" "#e64980")
vip_names=("豪华轿车" "游艇" "热气球" "金色跑车")
vip_kinds=(car boat air car)
vip_colors=("#343a40" "#f8f9fa" "#f783ac" "#fab005")
{
  echo "; Entrance pictures: NN.gif for members, vipNN.gif for VIP members."
  echo "[Main]"
  echo "Count=${#enter_names[@]}"
  echo "VipCount=${#vip_names[@]}"
  echo "[Des]"
} >"$out/enter/config.ini"
for i in "${!enter_names[@]}"; do
  n=$(printf '%02d' $((i + 1)))
  vehicle_frames "$out/enter/$n.gif" "${enter_colors[$i]}" "${enter_kinds[$i]}" 0
  echo "$n=${enter_names[$i]}" >>"$out/enter/config.ini"
done
for i in "${!vip_names[@]}"; do
  n=$(printf '%02d' $((i + 1)))
  vehicle_frames "$out/enter/vip$n.gif" "${vip_colors[$i]}" "${vip_kinds[$i]}" 1
  echo "Vip$n=${vip_names[$i]}" >>"$out/enter/config.ini"
done

# ---------------------------------------------------------------------------------------
# Stamps: a red seal with one character, 20x20 BMP on white (they sit before names).
stamp_chars=(赞 酷 萌 帅 美 乐 福 星 王 侠 仙 神)
for i in "${!stamp_chars[@]}"; do
  "$IM" -size 80x80 xc:white -fill white -stroke "#c92a2a" -strokewidth 7 \
    -draw "roundrectangle 5,5 75,75 12,12" -font "$cjk_font" -pointsize 50 -fill "#c92a2a" \
    -stroke none -gravity center -annotate +0+0 "${stamp_chars[$i]}" \
    -resize 20x20 -type TrueColor "BMP3:$out/stamp/$((i + 1)).bmp"
done

# ---------------------------------------------------------------------------------------
# Gifts: 48x48 pictures; numbers from 1001 on are the animated ones.
gift() {  # number, frames (draw strings...)
  local number=$1 args=()
  shift
  local k=0
  for drawing in "$@"; do
    "$IM" -size 96x96 xc:none -stroke "#343a40" -strokewidth 3 -draw "$drawing" \
      -resize 48x48 "$tmp/g$k.png"
    args+=("$tmp/g$k.png")
    k=$((k + 1))
  done
  "$IM" -dispose background -delay 30 "${args[@]}" "${hard_alpha[@]}" -loop 0 "$out/gift/$number.gif"
}
flower="fill #f783ac circle 48,26 48,40 circle 26,44 26,58 circle 70,44 70,58 circle 36,68 36,82 circle 60,68 60,82 fill #fcc419 circle 48,50 48,62"
heart="fill #e03131 circle 32,36 32,58 circle 64,36 64,58 polygon 12,44 84,44 48,88"
cake="fill #ffe3e3 rectangle 16,48 80,86 fill #f06595 rectangle 16,48 80,58 fill #fab005 rectangle 44,22 52,48 fill #ff922b circle 48,16 48,22"
star="fill #fcc419 polygon 48,6 59,36 92,37 66,57 75,90 48,70 21,90 30,57 4,37 37,36"
gem="fill #4dabf7 polygon 20,30 36,12 60,12 76,30 48,86 line 20,30 76,30 line 36,12 42,30 line 60,12 54,30 line 42,30 48,86 line 54,30 48,86"
balloon="fill #ff6b6b ellipse 48,38 26,32 0,360 fill none line 48,70 44,92"
cup="fill #ffd43b rectangle 30,20 66,58 fill none arc 58,26 82,50 270,90 arc 14,26 38,50 90,270 fill #ffd43b rectangle 42,58 54,74 rectangle 30,74 66,84"
ring="fill none stroke #fab005 stroke-width 8 circle 48,58 48,30 fill #74c0fc stroke #343a40 stroke-width 3 polygon 36,20 48,6 60,20 48,34"
gift 1 "$flower"
gift 2 "$heart"
gift 3 "$cake"
gift 4 "$star"
gift 5 "$gem"
gift 6 "$balloon"
gift 7 "$cup"
gift 8 "$ring"
gift 1001 "$heart" "fill #ff8787 circle 32,36 32,54 circle 64,36 64,54 polygon 16,42 80,42 48,82"
gift 1002 "$star" "fill #ffe066 polygon 48,14 57,38 84,39 63,55 70,82 48,66 26,82 33,55 12,39 39,38"
gift 1003 "$flower" "fill #e64980 circle 48,26 48,40 circle 26,44 26,58 circle 70,44 70,58 circle 36,68 36,82 circle 60,68 60,82 fill #fcc419 circle 48,50 48,62"
gift 1004 "$gem" "fill #a5d8ff polygon 20,30 36,12 60,12 76,30 48,86"

# ---------------------------------------------------------------------------------------
# The program icon: a speech bubble with a sound wave, on a rounded square.
"$IM" -size 256x256 xc:none -fill "#1971c2" -stroke none -draw "roundrectangle 8,8 248,248 48,48" \
  -fill white -draw "path 'M 48,60 L 208,60 Q 220,60 220,72 L 220,160 Q 220,172 208,172 L 112,172 L 72,208 L 80,172 L 48,172 Q 36,172 36,160 L 36,72 Q 36,60 48,60 Z'" \
  -stroke "#1971c2" -strokewidth 12 -fill none \
  -draw "line 84,104 84,128" -draw "line 112,88 112,144" -draw "line 140,96 140,136" \
  -draw "line 168,80 168,152" -draw "line 196,104 196,128" \
  "$tmp/app.png"
for size in 16 32 48 64 128 256; do
  "$IM" "$tmp/app.png" -resize ${size}x${size} -strip "$out/app/tavo-$size.png"
done
# The same drawing as a scalable icon for the desktop's icon theme.
cat >"$out/app/tavo.svg" <<'SVG'
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <rect x="8" y="8" width="240" height="240" rx="48" ry="48" fill="#1971c2"/>
  <path d="M 48,60 L 208,60 Q 220,60 220,72 L 220,160 Q 220,172 208,172 L 112,172 L 72,208 L 80,172 L 48,172 Q 36,172 36,160 L 36,72 Q 36,60 48,60 Z" fill="#ffffff"/>
  <g stroke="#1971c2" stroke-width="12" fill="none">
    <line x1="84" y1="104" x2="84" y2="128"/>
    <line x1="112" y1="88" x2="112" y2="144"/>
    <line x1="140" y1="96" x2="140" y2="136"/>
    <line x1="168" y1="80" x2="168" y2="152"/>
    <line x1="196" y1="104" x2="196" y2="128"/>
  </g>
</svg>
SVG

echo "pictures written to $out"
