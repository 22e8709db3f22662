#!/bin/sh
# Regenerates the panel bitmap and the window icon (ImageMagick). The PNG files are committed,
# so a build never needs this script; run it from this folder after changing the art.
set -e

BG='rgb(160,160,164)'

# Four 31x31 images on a 64x64 sheet: lit LED (0,0), dark LED (32,0),
# switch with the lever up (0,33), switch with the lever down (32,33).
led() { # centre-x centre-y fill highlight
    echo "-fill $3 -stroke black -strokewidth 2 -draw \"circle $1,$2 $1,$(($2 - 13))\"" \
         "-fill $4 -stroke none -draw \"circle $(($1 - 5)),$(($2 - 5)) $(($1 - 5)),$(($2 - 8))\""
}
switch() { # image-left image-top lever-direction(up|down)
    x=$1 y=$2
    if [ "$3" = up ]; then l0=$((y + 4)) l1=$((y + 15)) k=$((y + 4)); else
        l0=$((y + 15)) l1=$((y + 26)) k=$((y + 26)); fi
    echo "-fill '#505050' -stroke black -strokewidth 1" \
         "-draw \"roundrectangle $((x + 4)),$((y + 9)) $((x + 26)),$((y + 21)) 3,3\"" \
         "-fill '#b8b8b8' -draw \"circle $((x + 15)),$((y + 15)) $((x + 15)),$((y + 10))\"" \
         "-fill '#e8e8e8' -draw \"rectangle $((x + 13)),$l0 $((x + 17)),$l1\"" \
         "-fill '#f8f8f8' -draw \"circle $((x + 15)),$k $((x + 15)),$((k - 3))\""
}

eval convert -size 64x64 "xc:'$BG'" +antialias \
    $(led 15 15 "'#e01010'" "'#ff9c9c'") \
    $(led 47 15 "'#d4d4d4'" "'#f4f4f4'") \
    $(switch 0 33 up) \
    $(switch 32 33 down) \
    -type Palette PNG8:kvxpart.png

# Window icon, 32x32 in 16 colours: a controller case with one lit LED and one switch.
eval convert -size 32x32 "xc:'$BG'" +antialias \
    -fill "'#404048'" -stroke black -draw "'roundrectangle 2,4 29,27 3,3'" \
    -fill "'#e01010'" -draw "'circle 10,11 10,7'" \
    -fill "'#d4d4d4'" -draw "'circle 21,11 21,7'" \
    -fill "'#b8b8b8'" -draw "'circle 15,21 15,18'" \
    -fill "'#f8f8f8'" -draw "'rectangle 14,16 16,21'" \
    -colors 16 PNG8:kvxicon.png
