#!/bin/sh
# Regenerates the viewer's icons in this directory with ImageMagick.
# Every glyph is drawn on a 256x256 transparent canvas and scaled down to 64x64,
# which gives clean anti-aliased edges. The images are committed; the build does
# not run this script.
#
# Usage: resources/images/make-icons.sh   (needs ImageMagick's `magick` or `convert`)
set -eu

cd "$(dirname "$0")"
IM=$(command -v magick || command -v convert) || {
    echo "make-icons.sh: ImageMagick (magick or convert) is required" >&2
    exit 1
}

# Palette shared by all icons.
BLUE='#1E6BB8'
LIGHT='#D3E3F4'
DARK='#1B2B3C'
AMBER='#F2A531'
AMBERD='#D4861A'
RED='#D9363E'
GREEN='#2E9E56'
GREY='#5B6770'
PURPLE='#8E44AD'
YELLOW='#F4C20D'
FONT=DejaVu-Sans-Bold

# icon NAME DRAW-ARGS... : draw on a transparent 256x256 canvas, write NAME at 64x64.
icon() {
    name=$1
    shift
    "$IM" -size 256x256 xc:none -stroke none "$@" -resize 64x64 -strip \
        -define png:exclude-chunks=date,time "PNG32:$name"
}

# --- Connection ---------------------------------------------------------------
# Two interlocked chain links: connected.
icon link_lidar.png -fill none -stroke "$BLUE" -strokewidth 22 \
    -draw "translate 128,128 rotate -45 roundrectangle -108,-38 14,38 38,38" \
    -draw "translate 128,128 rotate -45 roundrectangle -14,-38 108,38 38,38"

# The same links pulled apart with a spark between them: disconnected.
icon link_lidar_broken.png -fill none -stroke "$GREY" -strokewidth 22 \
    -draw "translate 128,128 rotate -45 roundrectangle -118,-34 -30,34 34,34" \
    -draw "translate 128,128 rotate -45 roundrectangle 30,-34 118,34 34,34" \
    -stroke "$RED" -strokewidth 12 -draw "stroke-linecap round" \
    -draw "translate 128,128 rotate -45 line 0,-44 0,-84" \
    -draw "translate 128,128 rotate -45 line 0,44 0,84" \
    -draw "translate 128,128 rotate -45 line -10,-40 -24,-66" \
    -draw "translate 128,128 rotate -45 line 10,40 24,66"

# Red light with pause bars: freezes the live view.
icon Red.png -fill "$RED" -draw "circle 128,128 128,20" \
    -fill white -draw "roundrectangle 88,76 114,180 6,6" -draw "roundrectangle 142,76 168,180 6,6"

# --- View tools -----------------------------------------------------------------
# Point table: a sheet with a header row (JPEG on white).
"$IM" -size 256x256 xc:white \
    -fill white -stroke "$BLUE" -strokewidth 12 -draw "roundrectangle 28,36 228,220 16,16" \
    -fill "$BLUE" -stroke none -draw "roundrectangle 28,36 228,92 16,16" -draw "rectangle 28,70 228,92" \
    -stroke "$GREY" -strokewidth 8 -draw "line 34,138 222,138" -draw "line 34,180 222,180" \
    -draw "line 96,92 96,214" \
    -resize 64x64 -strip -quality 90 -sampling-factor 1x1 JPEG:LidarDataList.jpg

# Measurement grid.
icon Grid.png -fill none -stroke "$BLUE" -strokewidth 14 \
    -draw "roundrectangle 36,36 220,220 14,14" -strokewidth 8 \
    -draw "line 82,36 82,220" -draw "line 128,36 128,220" -draw "line 174,36 174,220" \
    -draw "line 36,82 220,82" -draw "line 36,128 220,128" -draw "line 36,174 220,174"

# Orientation axes: x red, y green, z blue.
icon Coordinate.png -draw "stroke-linecap round" -strokewidth 14 -fill none \
    -stroke "$RED" -draw "line 96,164 200,164" -stroke none -fill "$RED" -draw "polygon 236,164 196,142 196,186" \
    -stroke "$GREEN" -fill none -draw "line 96,164 54,206" -stroke none -fill "$GREEN" -draw "polygon 30,230 40,186 74,220" \
    -stroke "$BLUE" -fill none -draw "line 96,164 96,60" -stroke none -fill "$BLUE" -draw "polygon 96,24 74,64 118,64" \
    -fill "$DARK" -draw "circle 96,164 96,152"

# Box selection: dashed rubber band and a pointer.
icon select.png -fill none -stroke "$BLUE" -strokewidth 12 \
    -draw "stroke-dasharray 22 14 rectangle 28,36 204,180" \
    -stroke white -strokewidth 10 -fill "$DARK" -draw "stroke-linejoin round" \
    -draw "polygon 140,116 140,240 170,212 190,250 214,240 194,202 234,200"

# Ruler with tick marks between two picked points: measures in the view.
icon Measure.png -fill "$AMBER" -stroke "$AMBERD" -strokewidth 6 \
    -draw "translate 128,136 rotate -30 roundrectangle -112,-30 112,30 8,8" \
    -stroke "$DARK" -strokewidth 8 \
    -draw "translate 128,136 rotate -30 line -84,-30 -84,4" -draw "translate 128,136 rotate -30 line -56,-30 -56,-10" \
    -draw "translate 128,136 rotate -30 line -28,-30 -28,4" -draw "translate 128,136 rotate -30 line 0,-30 0,-10" \
    -draw "translate 128,136 rotate -30 line 28,-30 28,4" -draw "translate 128,136 rotate -30 line 56,-30 56,-10" \
    -draw "translate 128,136 rotate -30 line 84,-30 84,4" \
    -stroke none -fill "$PURPLE" -draw "circle 38,188 38,164" -draw "circle 218,76 218,52"

# Eraser over a base line: clears the selection.
icon clear.png -fill "$BLUE" -draw "translate 132,116 rotate -40 roundrectangle -96,-44 96,44 18,18" \
    -fill "$RED" -draw "translate 132,116 rotate -40 roundrectangle -96,-44 -16,44 18,18" \
    -draw "translate 132,116 rotate -40 rectangle -40,-44 -16,44" \
    -fill none -stroke "$GREY" -strokewidth 12 -draw "stroke-linecap round" -draw "line 40,224 216,224"

# Camera presets: a cube with the viewed face filled.
cube_front='polygon 56,104 160,104 160,208 56,208'
cube_top='polygon 56,104 104,56 208,56 160,104'
cube_right='polygon 160,104 208,56 208,160 160,208'
icon zhengshi.png -stroke "$BLUE" -strokewidth 10 -draw "stroke-linejoin round" \
    -fill "$LIGHT" -draw "$cube_top" -draw "$cube_right" -fill "$BLUE" -draw "$cube_front"
icon fushi.png -stroke "$BLUE" -strokewidth 10 -draw "stroke-linejoin round" \
    -fill "$LIGHT" -draw "$cube_front" -draw "$cube_right" -fill "$BLUE" -draw "$cube_top"
# Mirrored cube so that its left side shows.
icon zuoshi.png -stroke "$BLUE" -strokewidth 10 -draw "stroke-linejoin round" \
    -fill "$LIGHT" -draw "polygon 96,104 200,104 200,208 96,208" \
    -draw "polygon 96,104 48,56 152,56 200,104" \
    -fill "$BLUE" -draw "polygon 96,104 48,56 48,160 96,208"

# --- Capture files and playback --------------------------------------------------
# Open folder.
icon OpenCaptureFile.png -fill "$AMBERD" -draw "roundrectangle 28,44 112,96 12,12" \
    -draw "roundrectangle 28,64 212,208 14,14" \
    -fill "$AMBER" -draw "polygon 64,108 244,108 208,208 28,208" \
    -fill none -stroke "$BLUE" -strokewidth 10 -draw "stroke-linecap round" \
    -draw "polyline 78,160 102,160 116,136 134,184 150,148 162,160 186,160"

media() {
    name=$1
    shift
    icon "$name" -fill "$BLUE" -stroke "$BLUE" -strokewidth 14 -draw "stroke-linejoin round" "$@"
}
media Play.png -draw "polygon 84,52 200,128 84,204"
media Pause.png -draw "roundrectangle 70,56 108,200 6,6" -draw "roundrectangle 148,56 186,200 6,6"
media Seekforward.png -draw "polygon 40,72 124,128 40,184" -draw "polygon 132,72 216,128 132,184"
media Seekbackward.png -draw "polygon 216,72 132,128 216,184" -draw "polygon 124,72 40,128 124,184"
media Gotostop.png -draw "polygon 30,72 102,128 30,184" -draw "polygon 110,72 182,128 110,184" \
    -draw "rectangle 200,68 220,188"
media Gotostart.png -draw "polygon 226,72 154,128 226,184" -draw "polygon 146,72 74,128 146,184" \
    -draw "rectangle 36,68 56,188"

# Record: red dot in a ring.
icon Record.png -fill none -stroke "$RED" -strokewidth 16 -draw "circle 128,128 128,24" \
    -stroke none -fill "$RED" -draw "circle 128,128 128,66"

# --- Device tools ------------------------------------------------------------------
# Gear: device parameters.
gear() {
    name=$1
    icon "$name" -fill "$BLUE" -draw "circle 128,128 128,46" \
        -draw "translate 128,128 rotate 0 roundrectangle -20,-112 20,-60 6,6" \
        -draw "translate 128,128 rotate 45 roundrectangle -20,-112 20,-60 6,6" \
        -draw "translate 128,128 rotate 90 roundrectangle -20,-112 20,-60 6,6" \
        -draw "translate 128,128 rotate 135 roundrectangle -20,-112 20,-60 6,6" \
        -draw "translate 128,128 rotate 180 roundrectangle -20,-112 20,-60 6,6" \
        -draw "translate 128,128 rotate 225 roundrectangle -20,-112 20,-60 6,6" \
        -draw "translate 128,128 rotate 270 roundrectangle -20,-112 20,-60 6,6" \
        -draw "translate 128,128 rotate 315 roundrectangle -20,-112 20,-60 6,6" \
        \( -size 256x256 xc:none -fill black -draw "circle 128,128 128,94" \) \
        -compose DstOut -composite -compose Over
}
gear InteractionSetUp.png

# Sliders: advanced settings.
icon AdvancedSetting.png -fill none -stroke "$GREY" -strokewidth 14 -draw "stroke-linecap round" \
    -draw "line 36,64 220,64" -draw "line 36,128 220,128" -draw "line 36,192 220,192" \
    -stroke "$BLUE" -strokewidth 12 -fill "$AMBER" \
    -draw "circle 96,64 96,40" -draw "circle 172,128 172,104" -draw "circle 120,192 120,168"

# Fan of laser beams: channel selection.
icon Chanel.png -fill none -stroke "$BLUE" -strokewidth 10 -draw "stroke-linecap round" \
    -draw "line 52,128 212,40" -draw "line 52,128 222,84" -draw "line 52,128 226,128" \
    -draw "line 52,128 222,172" -draw "line 52,128 212,216" \
    -stroke none -fill "$AMBER" \
    -draw "circle 212,40 212,26" -draw "circle 222,84 222,70" -draw "circle 226,128 226,114" \
    -draw "circle 222,172 222,158" -draw "circle 212,216 212,202" \
    -fill "$DARK" -draw "roundrectangle 24,92 68,164 10,10"

# Document with a CSV label.
icon Csv.png -fill white -stroke "$GREY" -strokewidth 10 -draw "stroke-linejoin round" \
    -draw "polygon 60,20 164,20 212,68 212,236 60,236 60,20" \
    -fill "$LIGHT" -draw "polygon 164,20 164,68 212,68" \
    -stroke none -fill "$GREEN" -draw "roundrectangle 24,112 188,184 10,10" \
    -fill white -font "$FONT" -pointsize 58 -draw "text 34,170 'CSV'"

# Ruler: echo / measurement selection.
icon Measure_mentGrid.png -fill "$AMBER" -stroke "$AMBERD" -strokewidth 6 \
    -draw "translate 128,128 rotate -35 roundrectangle -116,-36 116,36 8,8" \
    -stroke "$DARK" -strokewidth 8 \
    -draw "translate 128,128 rotate -35 line -88,-36 -88,-2" \
    -draw "translate 128,128 rotate -35 line -58,-36 -58,-16" \
    -draw "translate 128,128 rotate -35 line -28,-36 -28,-2" \
    -draw "translate 128,128 rotate -35 line 2,-36 2,-16" \
    -draw "translate 128,128 rotate -35 line 32,-36 32,-2" \
    -draw "translate 128,128 rotate -35 line 62,-36 62,-16" \
    -draw "translate 128,128 rotate -35 line 92,-36 92,-2"

# Colour modes.
swatch() {
    icon "$1" -fill "$2" -stroke "$3" -strokewidth 10 -draw "circle 128,128 128,28"
}
swatch Purple.png "$PURPLE" '#6C3483'
swatch Green.png "$GREEN" '#237A42'
swatch Yellow.png "$YELLOW" '#C99A06'
icon Color.png \
    -fill "$RED" -draw "path 'M 128,128 L 128,24 A 104,104 0 0,1 232,128 Z'" \
    -fill "$YELLOW" -draw "path 'M 128,128 L 232,128 A 104,104 0 0,1 128,232 Z'" \
    -fill "$GREEN" -draw "path 'M 128,128 L 128,232 A 104,104 0 0,1 24,128 Z'" \
    -fill "$BLUE" -draw "path 'M 128,128 L 24,128 A 104,104 0 0,1 128,24 Z'"

# --- Help ------------------------------------------------------------------------------
icon About.png -fill "$BLUE" -draw "circle 128,128 128,20" \
    -fill white -draw "circle 128,74 128,56" -draw "roundrectangle 110,106 146,200 8,8"

# Open book: user guide.
icon User.png -fill "$BLUE" \
    -draw "path 'M 122,68 Q 78,44 20,56 L 20,200 Q 78,188 122,212 Z'" \
    -draw "path 'M 134,68 Q 178,44 236,56 L 236,200 Q 178,188 134,212 Z'" \
    -fill none -stroke white -strokewidth 8 -draw "stroke-linecap round" \
    -draw "path 'M 44,92 Q 76,86 102,96'" -draw "path 'M 44,124 Q 76,118 102,128'" \
    -draw "path 'M 154,96 Q 180,86 212,92'" -draw "path 'M 154,128 Q 180,118 212,124'"

# Code brackets: developer guide.
icon Develop.png -fill none -stroke "$BLUE" -strokewidth 22 \
    -draw "stroke-linecap round" -draw "stroke-linejoin round" \
    -draw "polyline 84,64 28,128 84,192" -draw "polyline 172,64 228,128 172,192" \
    -stroke "$AMBER" -draw "line 146,44 110,212"

# --- Configuration dialogs -----------------------------------------------------------
icon YES.png -fill "$GREEN" -draw "circle 128,128 128,20" \
    -fill none -stroke white -strokewidth 24 -draw "stroke-linecap round" -draw "stroke-linejoin round" \
    -draw "polyline 74,132 112,170 184,92"
icon NO.png -fill "$RED" -draw "circle 128,128 128,20" \
    -fill none -stroke white -strokewidth 24 -draw "stroke-linecap round" \
    -draw "line 86,86 170,170" -draw "line 170,86 86,170"
# Circular arrow: reset / output rate.
icon ResetCameraposition.png -fill none -stroke "$BLUE" -strokewidth 22 -draw "stroke-linecap round" \
    -draw "arc 40,40 216,216 -50 220" \
    -stroke none -fill "$BLUE" -draw "polygon 137,32 198,30 166,86"
# Motor speed badges.
for hz in 5 10 20; do
    icon "$hz.png" -fill "$BLUE" -draw "circle 128,128 128,20" \
        -fill white -font "$FONT" -pointsize 110 -gravity center -draw "text 0,4 '$hz'"
done

# --- The scanner ----------------------------------------------------------------------
# Cylinder head with its emitter window and beams, circled by a rotation arrow
# whose front half passes behind the head.
scanner() {
    "$IM" -size 256x256 xc:none \
        -fill none -stroke "$BLUE" -strokewidth 14 -draw "stroke-linecap round" \
        -draw "ellipse 128,62 100,34 150,384" \
        -stroke none -fill "$BLUE" -draw "polygon 176,100 206,62 226,98" \
        -fill none -stroke "$AMBER" -strokewidth 9 \
        -draw "line 128,147 236,104" -draw "line 128,147 242,147" -draw "line 128,147 236,190" \
        -stroke none -fill "$AMBER" \
        -draw "circle 236,104 236,93" -draw "circle 242,147 242,136" -draw "circle 236,190 236,179" \
        -fill "$DARK" -draw "roundrectangle 82,74 174,232 16,16" \
        -fill "$BLUE" -draw "ellipse 128,76 46,15 0,360" \
        -fill "$AMBER" -draw "rectangle 82,130 174,164" \
        "$@"
}
scanner -resize 64x64 -strip -define png:exclude-chunks=date,time PNG32:Sensor.png
scanner -strip -depth 8 \( +clone -resize 48x48 \) \( -clone 0 -resize 32x32 \) \( -clone 0 -resize 16x16 \) \
    -define png:exclude-chunks=date,time ICO:halvik.ico
