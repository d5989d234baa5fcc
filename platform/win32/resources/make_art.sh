#!/usr/bin/env bash
# Draws the Windows programs' pictures with ImageMagick and the Nanum fonts:
#   warning_picture.bmp  the installer's question that the warning window shows, 486 x 336
#   pelto.ico            the programs' icon, 16, 32, 48 and 256 pixels (the 256 one PNG-compressed)
# Usage: make_art.sh OUTPUT_FOLDER [CONVERT]   (CONVERT: ImageMagick's convert program)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../../scripts/lib/fail-loudly.sh"

out=${1:?output folder}
convert=${2:-convert}
fonts=/usr/share/fonts/truetype/nanum
regular=$fonts/NanumGothic.ttf
bold=$fonts/NanumGothicBold.ttf
for f in "$regular" "$bold"; do
    [[ -f $f ]] || { echo "make_art.sh: font $f missing (Debian package fonts-nanum)" >&2; exit 1; }
done
mkdir -p "$out"

# The picture: the suite's setup wizard with its question box in front, as the user meets
# it during the installation. The warning window outlines the box (41,100 .. 455,282 in
# picture coordinates) and tells the user to answer it with "아니오".
"$convert" -size 486x336 xc:'#F0F0F0' \
    `# the setup wizard behind: title bar, white header, progress, buttons` \
    -fill '#2B5797' -draw 'rectangle 0,0 485,25' \
    -font "$bold" -pointsize 12 -fill white -annotate +10+18 '펠토 설치' \
    -fill white -draw 'rectangle 0,26 485,78' \
    -fill '#A0A0A0' -draw 'line 0,79 485,79' \
    -font "$bold" -pointsize 13 -fill black -annotate +18+48 '설치 준비' \
    -font "$regular" -pointsize 11 -fill '#404040' \
    -annotate +30+67 '이 컴퓨터에 설치된 프로그램을 확인하고 있습니다.' \
    -fill '#F0F0F0' -stroke '#A0A0A0' -draw 'rectangle 18,292 467,305' \
    -fill '#3C8CE0' -stroke none -draw 'rectangle 19,293 120,304' \
    -fill '#E1E1E1' -stroke '#ADADAD' \
    -draw 'rectangle 230,310 310,332' -draw 'rectangle 316,310 396,332' \
    -draw 'rectangle 402,310 478,332' -stroke none \
    -font "$regular" -pointsize 11 -fill '#A0A0A0' \
    -annotate +246+325 '< 뒤로(B)' -annotate +332+325 '다음(N) >' -annotate +424+325 '취소' \
    `# the question box in front: shadow, frame, title bar` \
    -fill '#00000030' -draw 'rectangle 49,111 454,280' \
    -fill '#FFFFFF' -stroke '#5A7EB5' -draw 'rectangle 45,107 449,275' -stroke none \
    -fill '#2B5797' -draw 'rectangle 46,108 448,130' \
    -font "$bold" -pointsize 12 -fill white -annotate +55+124 '펠토 설치' \
    -fill '#F0F0F0' -draw 'rectangle 46,228 448,274' \
    `# the question mark icon` \
    -fill '#2F6FC8' -draw 'circle 76,166 76,150' \
    -font "$bold" -pointsize 22 -fill white -annotate +69+174 '?' \
    `# the question (the warning window's design names the same text)` \
    -font "$regular" -pointsize 12 -fill black \
    -annotate +104+160 'C:\\Pelto_H 폴더에 이미 설치된 펠토 프로그램이 있습니다.' \
    -annotate +104+182 '설치를 중단하고 기존 프로그램을 그대로' \
    -annotate +104+200 '사용하시겠습니까?' \
    `# the two answers; 아니오 is the one to press` \
    -fill '#E1E1E1' -stroke '#ADADAD' -draw 'rectangle 264,240 348,264' \
    -stroke '#0078D7' -draw 'rectangle 356,240 440,264' -stroke none \
    -font "$regular" -pointsize 12 -fill black \
    -annotate +290+257 '예(Y)' -annotate +374+257 '아니오(N)' \
    -type TrueColor BMP3:"$out/warning_picture.bmp"

# The icon: a blue tile with a white P over a downward arrow (an installer).
"$convert" -size 256x256 xc:none \
    -fill '#2B5797' -draw 'roundrectangle 8,8 247,247 44,44' \
    -fill white -font "$bold" -pointsize 170 -gravity center -annotate +0-18 'P' \
    -fill '#F5B400' -draw 'polygon 150,176 230,176 190,232' \
    -gravity northwest \
    -depth 8 -define icon:auto-resize=256,48,32,16 "$out/pelto.ico"
