#!/usr/bin/env bash
# Builds a sample library of about 40 items of every type, with pictures,
# folders and tags, through folionest-cli. For screenshots and trying the app.
#   scripts/make-sample-library.sh DIR [path/to/folionest-cli]
set -euo pipefail
DIR=${1:?usage: $0 DIR [folionest-cli]}
CLI=${2:-$(dirname "$0")/../build/release/src/folionest-cli}
command -v convert >/dev/null || { echo "needs imagemagick" >&2; exit 1; }
mkdir -p "$DIR/files"
cli() { "$CLI" --container "$DIR" "$@"; }
picture() { # name colours label
  convert -size 800x500 "plasma:$2" -blur 0x3 -gravity center -fill white -stroke '#0006' -strokewidth 2 \
    -pointsize 64 -annotate 0 "$3" "$DIR/files/$1"
}

research=$(cli folder add Research --icon books.vertical --color '#AF52DE')
papers=$(cli folder add Papers --parent "$research" --icon doc.text --color '#5856D6')
cooking=$(cli folder add Cooking --icon cart --color '#FF9500')
travel=$(cli folder add Travel --icon map --color '#34C759')
work=$(cli folder add Work --icon briefcase --color '#007AFF')
t_read=$(cli tag add "To Read" --color '#FF3B30')
t_ref=$(cli tag add Reference --color '#007AFF')
t_idea=$(cli tag add Ideas --color '#FFCC00')
t_fav=$(cli tag add Inspiration --color '#AF52DE')

n=0
add() { # url title folder tags favorite note colours
  local id
  id=$(cli add --no-fetch "$1" --title "$2" ${6:+--note "$6"})
  n=$((n + 1))
  [[ -n $3 ]] && cli edit "$id" --folder "$3" >/dev/null
  for t in $4; do cli tag attach "$id" "$t"; done
  [[ $5 == fav ]] && cli edit "$id" --favorite on >/dev/null
  if [[ -n ${7:-} ]]; then
    picture "p$n.jpg" "$7" "$(echo "$2" | cut -c1-14)"
    cli edit "$id" --picture "$DIR/files/p$n.jpg" >/dev/null
  fi
  echo "$id"
}

add https://www.example.org/articles/slow-reading "The Art of Slow Reading" "$research" "$t_read $t_idea" fav "Chapter 3 is the heart of it." "steelblue-lightblue" >/dev/null
add https://blog.example.com/rust-ownership "Understanding Ownership in Rust" "$work" "$t_ref" no "" "orange-gold" >/dev/null
add https://www.youtube.com/watch?v=dQw4w9WgXcQ "Sourdough From Scratch" "$cooking" "$t_fav" fav "Starter ratio 1:5:5" "wheat-tan" >/dev/null
add https://vimeo.com/76979871 "Timelapse of the Alps" "$travel" "$t_fav" no "" "skyblue-white" >/dev/null
add https://twitter.com/somebody/status/1 "Thread on typography" "" "$t_idea" no "" "purple-pink" >/dev/null
add https://www.instagram.com/p/abc/ "Market in Lisbon" "$travel" "" fav "" "tomato-yellow" >/dev/null
add https://news.example.net/2026/12/city-parks "Why Cities Need More Parks" "" "$t_read" no "" "forestgreen-lightgreen" >/dev/null
add https://arxiv.org/abs/1706.03762 "Attention Is All You Need" "$papers" "$t_ref $t_read" fav "Classic." "navy-cornflowerblue" >/dev/null
add https://arxiv.org/pdf/2001.08361.pdf "Scaling Laws for Neural Language Models" "$papers" "$t_ref" no "" "" >/dev/null
add https://recipes.example.com/risotto "Mushroom Risotto" "$cooking" "" no "Use arborio." "sienna-khaki" >/dev/null
add https://www.linkedin.com/posts/someone "Hiring: Qt engineers" "$work" "" no "" "" >/dev/null
add https://docs.example.dev/guide/getting-started "Getting Started Guide" "$work" "$t_ref" no "" "slategray-lightsteelblue" >/dev/null
add https://www.tiktok.com/@chef/video/1 "Knife skills in 60 seconds" "$cooking" "$t_idea" no "" "" >/dev/null
add https://travel.example.com/kyoto "Three Days in Kyoto" "$travel" "$t_read" fav "" "crimson-orange" >/dev/null
add https://github.com/example/project "A tiny Lisp in C" "$work" "$t_idea" no "" "black-dimgray" >/dev/null
add https://www.dailymotion.com/video/x1 "Jazz at the Blue Note" "" "$t_fav" no "" "midnightblue-gold" >/dev/null
add https://www.example.org/essays/attention "On Attention" "$research" "$t_read" no "" "" >/dev/null
add https://threads.net/@a/post/2 "Small thoughts on design" "" "$t_idea" no "" "teal-aquamarine" >/dev/null
add https://garden.example.org/tomatoes "Growing Tomatoes on a Balcony" "" "" no "" "green-red" >/dev/null
add https://maps.example.com/trail "Coastal Trail Map" "$travel" "" no "" "olive-beige" >/dev/null
for i in 1 2 3 4 5 6; do
  add "https://www.example.com/read/$i" "Weekend reading #$i" "" "$t_read" no "" "" >/dev/null
done

# Pictures as files and as pasted screenshots.
for c in "coral-navy:Harbour at Dusk" "plum-lightpink:Blossoms" "darkcyan-white:Glacier" "gold-brown:Autumn Leaves"; do
  name=${c#*:}; file="$DIR/files/${name// /_}.jpg"
  convert -size 1600x1000 "plasma:${c%%:*}" -blur 0x2 "$file"
  cli add-file "$file" >/dev/null
done
for i in 1 2 3; do
  convert -size 1280x800 xc:'#f5f5f7' -fill '#007aff' -draw "rectangle 40,40 600,120" -fill '#333' \
    -pointsize 40 -annotate +60+200 "Screenshot $i" "$DIR/files/shot$i.png"
  cli add-image "$DIR/files/shot$i.png" >/dev/null
done

# Documents referred to by their file.
printf 'Meeting notes\n- ship it\n' > "$DIR/files/Meeting notes.md"
printf '%%PDF-1.4\n%% sample\n' > "$DIR/files/Tax.Return.2025.pdf"
printf 'a,b\n1,2\n' > "$DIR/files/budget.csv"
printf 'int main() { return 0; }\n' > "$DIR/files/hello.cpp"
for f in "Meeting notes.md" Tax.Return.2025.pdf budget.csv hello.cpp; do
  id=$(cli add-file "$DIR/files/$f"); cli edit "$id" --folder "$work" >/dev/null
done

# A couple archived.
for id in $(cli list --json | head -3 | sed -n 's/.*"id":"\([^"]*\)".*/\1/p'); do
  cli edit "$id" --archived on >/dev/null
done
cli counts
