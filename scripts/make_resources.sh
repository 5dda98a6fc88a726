#!/usr/bin/env bash
# Makes the player's own clips, pictures and sound in resources/ with ffmpeg:
#   intro.mp4           start-up clip (6 s), plays until the song catalogue has loaded
#   idle.mp4            idle clip (10 s, loops seamlessly) shown while nothing is queued
#   banner.png          stand-in picture for the up-next panel when a song has no thumbnail
#   score_bg.png        background of the score screen
#   vcplayer_score.mp3  fanfare and applause for the score screen
# Needs ffmpeg (with libx264, libmp3lame, drawtext) and fonts-dejavu-core (Vietnamese glyphs).
# The results are committed; run this again only to change them.
set -euo pipefail
cd "$(dirname "$0")/.."

out=resources
font_dir=/usr/share/fonts/truetype/dejavu
bold="$font_dir/DejaVuSans-Bold.ttf"
regular="$font_dir/DejaVuSans.ttf"
for f in "$bold" "$regular"; do
  [ -f "$f" ] || { echo "missing font $f (install fonts-dejavu-core)" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "ffmpeg is missing (scripts/bootstrap.sh installs it)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# Texts live in files so that drawtext needs no escaping (and keeps the UTF-8 as it is).
printf '%s' "Vocalis Player" >"$work/title.txt"
printf '%s' "Karaoke cho mọi nhà" >"$work/tagline.txt"
printf '%s' "Vui lòng chọn bài hát" >"$work/invite.txt"
printf '%s' "Chọn bài trên máy tính hoặc trên điện thoại với ứng dụng Vocalis Remote" >"$work/hint.txt"
printf '%s' "♪" >"$work/note1.txt"
printf '%s' "♫" >"$work/note2.txt"
printf '%s' "ĐIỂM CỦA BẠN" >"$work/score_title.txt"
printf '%s' "Tuyệt vời!" >"$work/score_cheer.txt"

ffmpeg_quiet() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# A deep night-blue stage with two soft coloured lights circling once per `period` seconds,
# drawn small and scaled up (a smooth gradient loses nothing and it is much faster).
stage() {  # stage PERIOD DURATION
  local period=$1 duration=$2
  local a="2*PI*T/$period"
  local g1="exp(-(pow(X-W*(0.5+0.30*cos($a)),2)+pow(Y-H*(0.42+0.20*sin($a)),2))/(2*pow(W*0.22,2)))"
  local g2="exp(-(pow(X-W*(0.5-0.30*cos($a+0.9)),2)+pow(Y-H*(0.60-0.18*sin($a+0.9)),2))/(2*pow(W*0.26,2)))"
  printf "color=c=black:s=320x180:r=25:d=%s,format=gbrp,geq=r='clip(14+26*Y/H+120*%s+20*%s,0,255)':g='clip(10+6*Y/H+24*%s+70*%s,0,255)':b='clip(40+30*(1-Y/H)+100*%s+140*%s,0,255)',scale=1280:720:flags=bicubic,format=yuv420p" \
    "$duration" "$g1" "$g2" "$g1" "$g2" "$g1" "$g2"
}

text() {  # text FILE FONT SIZE Y ALPHA [extra drawtext options]
  printf "drawtext=fontfile=%s:textfile=%s:fontsize=%s:fontcolor=white:x=(w-text_w)/2:y='%s':alpha='%s':shadowcolor=black@0.55:shadowx=3:shadowy=3%s" \
    "$2" "$1" "$3" "$4" "$5" "${6:-}"
}

encode_clip() {  # encode_clip GRAPH_FILE AUDIO_EXPR DURATION OUTPUT
  ffmpeg_quiet -filter_complex_script "$1" \
    -f lavfi -i "aevalsrc=exprs='$2':s=48000:d=$3:c=stereo" \
    -map '[v]' -map 0:a -c:v libx264 -preset medium -crf 26 -tune animation -pix_fmt yuv420p -r 25 \
    -g 50 -c:a aac -b:a 128k -ar 48000 -ac 2 -movflags +faststart -t "$3" "$4"
}

# --- intro: the name rises out of the dark, then the tagline; fades in and out ------------
fade_in="if(lt(t,0.6),0,if(lt(t,1.6),(t-0.6),1))"
fade_tag="if(lt(t,1.8),0,if(lt(t,2.8),(t-1.8),1))"
{
  printf '%s,' "$(stage 12 6)"
  printf '%s,' "$(text "$work/note2.txt" "$regular" 90 "h*0.20-20*min(t/1.6,1)" "$fade_in" ":fontcolor=0xFFD36E")"
  printf '%s,' "$(text "$work/title.txt" "$bold" 118 "h*0.38+30*(1-min(t/1.6,1))" "$fade_in")"
  printf '%s,' "$(text "$work/tagline.txt" "$regular" 48 "h*0.58" "$fade_tag" ":fontcolor=0xF2E6FF")"
  printf 'fade=t=in:st=0:d=0.5,fade=t=out:st=5.4:d=0.6[v]'
} >"$work/intro.graph"
# A bright chime (C major arpeggio) over a warm pad that swells and fades.
chime="0.22*(sin(2*PI*523.25*t)*exp(-3*(t-0.6))*gte(t,0.6)+sin(2*PI*659.25*t)*exp(-3*(t-0.9))*gte(t,0.9)+sin(2*PI*783.99*t)*exp(-3*(t-1.2))*gte(t,1.2)+sin(2*PI*1046.5*t)*exp(-2*(t-1.5))*gte(t,1.5))"
pad="0.07*(sin(2*PI*130.81*t)+0.8*sin(2*PI*196*t)+0.6*sin(2*PI*261.63*t)+0.4*sin(2*PI*329.63*t))*min(t/1.5,1)*min((6-t)/1.2,1)"
encode_clip "$work/intro.graph" "$chime+$pad|$chime+$pad" 6 "$out/intro.mp4"

# --- idle: a calm loop that invites guests to choose a song --------------------------------
# Everything moves with a period that divides 10 s, so the loop has no seam.
pulse="0.88+0.12*cos(2*PI*t/5)"
{
  printf '%s,' "$(stage 10 10)"
  printf '%s,' "$(text "$work/note1.txt" "$regular" 70 "h*0.16+14*sin(2*PI*t/5)" "0.9" ":fontcolor=0xFFD36E:x=w*0.30")"
  printf '%s,' "$(text "$work/note2.txt" "$regular" 84 "h*0.14-14*sin(2*PI*t/5)" "0.9" ":fontcolor=0xFFD36E:x=w*0.66")"
  printf '%s,' "$(text "$work/title.txt" "$bold" 104 "h*0.28" "1")"
  printf '%s,' "$(text "$work/invite.txt" "$bold" 66 "h*0.52" "$pulse" ":fontcolor=0xFFE9A8")"
  printf '%s[v]' "$(text "$work/hint.txt" "$regular" 28 "h*0.84" "0.85" ":fontcolor=0xDCD3F0")"
} >"$work/idle.graph"
# A soft pad breathing once per loop; every frequency is a whole number of cycles in 10 s.
idle_pad="0.035*(sin(2*PI*130.8*t)+0.7*sin(2*PI*196*t)+0.5*sin(2*PI*261.6*t)+0.35*sin(2*PI*329.6*t))*(0.65-0.35*cos(2*PI*t/10))"
encode_clip "$work/idle.graph" "$idle_pad|$idle_pad" 10 "$out/idle.mp4"

# --- banner: the up-next stand-in picture ------------------------------------------------
{
  printf '%s,' "$(stage 10 1 | sed 's/scale=1280:720/scale=640:360/')"
  printf '%s,' "$(text "$work/note2.txt" "$regular" 64 "h*0.12" "1" ":fontcolor=0xFFD36E")"
  printf '%s,' "$(text "$work/title.txt" "$bold" 62 "h*0.44" "1")"
  printf '%s[v]' "$(text "$work/tagline.txt" "$regular" 28 "h*0.66" "1" ":fontcolor=0xF2E6FF")"
} >"$work/banner.graph"
ffmpeg_quiet -filter_complex_script "$work/banner.graph" -map '[v]' -frames:v 1 -pix_fmt rgb24 "$out/banner.png"

# --- score background: a stage light, confetti and stars, the middle left for the number ---
{
  printf "color=c=black:s=480x270:d=1,format=gbrp,geq=r='clip(30+200*exp(-(pow(X-W/2,2)+pow(Y-H*0.55,2))/(2*pow(W*0.28,2)))+20*Y/H,0,255)':g='clip(8+150*exp(-(pow(X-W/2,2)+pow(Y-H*0.55,2))/(2*pow(W*0.24,2))),0,255)':b='clip(60+40*(1-Y/H)+30*exp(-(pow(X-W/2,2)+pow(Y-H*0.55,2))/(2*pow(W*0.3,2))),0,255)',scale=1920:1080:flags=bicubic,"
  # Confetti in fixed places (a fixed seed), kept off the middle where the score stands.
  awk 'BEGIN {
    srand(20261207);
    split("0xFFD36E 0xFF6FA8 0x6FE3FF 0xB48CFF 0xFFFFFF 0x8CFFB4", colours, " ");
    n = 0;
    while (n < 140) {
      x = int(rand() * 1900); y = int(rand() * 1060);
      if (x > 560 && x < 1360 && y > 330 && y < 860) continue;  # the score
      if (x > 520 && x < 1400 && y > 100 && y < 270) continue;  # the heading
      if (x > 700 && x < 1220 && y > 840 && y < 970) continue;  # the cheer
      w = 8 + int(rand() * 18); h = 6 + int(rand() * 10);
      printf "drawbox=x=%d:y=%d:w=%d:h=%d:color=%s@0.85:t=fill,", x, y, w, h, colours[1 + int(rand() * 6)];
      n++;
    }
  }'
  for star in "260:170:90" "1580:150:110" "150:780:70" "1700:820:80" "900:60:60" "480:930:50" "1380:960:56"; do
    IFS=: read -r sx sy size <<<"$star"
    printf "drawtext=fontfile=%s:text='★':fontsize=%s:fontcolor=0xFFD36E:x=%s:y=%s:shadowcolor=black@0.4:shadowx=3:shadowy=3," \
      "$regular" "$size" "$sx" "$sy"
  done
  printf '%s,' "$(text "$work/score_title.txt" "$bold" 92 "h*0.12" "1" ":fontcolor=0xFFE9A8")"
  printf '%s[v]' "$(text "$work/score_cheer.txt" "$bold" 72 "h*0.80" "1")"
} >"$work/score.graph"
ffmpeg_quiet -filter_complex_script "$work/score.graph" -map '[v]' -frames:v 1 -pix_fmt rgb24 "$out/score_bg.png"

# --- score sound: a short brass fanfare, then applause that swells and dies away ---------
brass() {  # brass FREQ START LENGTH -> a note with five harmonics and a soft attack
  printf "(sin(2*PI*%s*t)+0.5*sin(4*PI*%s*t)+0.33*sin(6*PI*%s*t)+0.25*sin(8*PI*%s*t)+0.2*sin(10*PI*%s*t))*between(t,%s,%s+%s)*min((t-%s)*30,1)*exp(-1.2*(t-%s))" \
    "$1" "$1" "$1" "$1" "$1" "$2" "$2" "$3" "$2" "$2"
}
fanfare="0.09*($(brass 392 0.00 0.16)+$(brass 523.25 0.18 0.16)+$(brass 659.25 0.36 0.16)+$(brass 783.99 0.54 1.6)+$(brass 523.25 0.54 1.6))"
ffmpeg_quiet \
  -f lavfi -i "aevalsrc=exprs='$fanfare|$fanfare':s=44100:d=7" \
  -f lavfi -i "anoisesrc=color=pink:amplitude=0.5:seed=7:d=7:r=44100" \
  -f lavfi -i "anoisesrc=color=white:amplitude=0.5:seed=11:d=7:r=44100" \
  -filter_complex "[1]highpass=f=700,lowpass=f=5000,tremolo=f=9.3:d=0.8,tremolo=f=6.1:d=0.6,volume=3.2[left];\
[2]highpass=f=900,lowpass=f=6000,tremolo=f=7.7:d=0.8,tremolo=f=11.3:d=0.5,volume=2.4[right];\
[left][right]join=inputs=2:channel_layout=stereo,afade=t=in:st=0.5:d=1.2,afade=t=out:st=4.8:d=2.2[applause];\
[0][applause]amix=inputs=2:normalize=0,alimiter=limit=0.9,afade=t=out:st=6.5:d=0.5[a]" \
  -map '[a]' -c:a libmp3lame -b:a 128k -ar 44100 "$out/vcplayer_score.mp3"

ls -l "$out"
