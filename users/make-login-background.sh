#!/usr/bin/env bash
# Draws the login window's background (801 x 455, baseline JPEG): a sky gradient, a band of light along
# the bottom and a few soft circles. Needs ImageMagick. Usage: ./make-login-background.sh [OUT]
set -euo pipefail
out="${1:-$(dirname "$0")/login-background.jpg}"
/usr/bin/convert -size 801x455 gradient:'#1d4f91-#bfe3ff' \
    -fill 'rgba(255,255,255,0.18)' -draw 'circle 660,90 660,250' \
    -fill 'rgba(255,255,255,0.12)' -draw 'circle 120,380 120,520' \
    -fill 'rgba(255,255,255,0.10)' -draw 'circle 420,-60 420,120' \
    -fill 'rgba(255,255,255,0.35)' -draw 'rectangle 0,400 801,455' \
    -fill 'rgba(20,60,120,0.55)' -draw 'rectangle 0,398 801,401' \
    -strip -interlace none -sampling-factor 2x2 -quality 88 "jpeg:$out"
