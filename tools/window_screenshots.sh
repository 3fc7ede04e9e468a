#!/usr/bin/env bash
# Photographs the installed desktop program under Xvfb, on a private audio server, with a window manager (openbox)
# and a notification area (trayer), in English and Portuguese. Everything is reached as a user reaches it, with
# xdotool clicks and keys on the real window, tray icon and menus; the pictures are cut from Xvfb's frame buffer
# (tools/xwd_png.py). In OUTDIR: window_<tab>_<lang>.png for the four tabs, tray_menu_<lang>.png,
# dialog_<configure|devices|update|about|customize|warning|nolock>_<lang>.png (nolock: a start whose instance lock
# cannot be made), window_large_icons_<lang>.png (the Limiter tab with large toolbar icons and labels below
# them, and the Bypass button that Customize adds). The audio-program warning comes as it
# would for a user: a program named like a player runs, "Use this preferred audio device" is off, no sound
# plays, and 25 s after the start the warning is due. Called by tools/screenshots.sh.
# Usage: window_screenshots.sh OUTDIR BUILD_DIR
set -euo pipefail
outdir=$(realpath -m "$1")
build=$(realpath "$2")
root=$(cd "$(dirname "$0")/.." && pwd)
TONVEX_PACER=$build/tools/tonvex-latency-probe
PRIVATE_AUDIO_DIR=$(mktemp -d /tmp/tonvex-shots.XXXXXX)
work=$PRIVATE_AUDIO_DIR
. "$root/tools/private_audio_server.sh"
program_pid=
helpers=
trap 'for p in $helpers; do kill "$p" 2>/dev/null || true; done; private_session_end "$program_pid"' EXIT

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
mkdir -p "$work/fb" "$outdir"
private_display_start "$work" -fbdir "$work/fb" || exit 1
helpers=$PRIVATE_DISPLAY_PID
private_server_start
export DISPLAY=$PRIVATE_DISPLAY QT_QPA_PLATFORM=xcb
openbox --sm-disable >/dev/null 2>&1 &
helpers="$helpers $!"
trayer --edge bottom --align right --widthtype request --height 24 --SetDockType true >/dev/null 2>&1 &
helpers="$helpers $!"
timeout 10 xdotool search --sync --class trayer >/dev/null
# A player the warning looks for: a copy of sleep under a player's name.
cp "$(command -v sleep)" "$work/vlc"
"$work/vlc" 600 &
helpers="$helpers $!"

cut() {  # NAME X Y WIDTH HEIGHT: a part of the screen
  "$root/tools/xwd_png.py" "$work/fb/Xvfb_screen0" "$outdir/$1.png" "$2" "$3" "$4" "$5"
  echo "$outdir/$1.png"
}
away() { xdotool mousemove 1010 10; sleep 0.6; }
place() {  # WINDOW: sets X Y WIDTH HEIGHT of its client area (the corner found by moving the pointer there)
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove --window "$1" 0 0
  eval "$(xdotool getmouselocation --shell)"
}
photograph() {  # NAME WINDOW: with openbox's frame (its default theme: a 19-pixel title bar, 1-pixel borders)
  place "$2"
  away
  cut "$1" $((X - 1)) $((Y - 20)) $((WIDTH + 2)) $((HEIGHT + 21))
}
shown() { xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null | sort; }
new_window() {  # the program's window that was not shown before (waits up to 30 s)
  for _ in $(seq 300); do
    found=$(comm -13 "$work/before" <(shown) | tail -n 1)
    [ -n "$found" ] && { echo "$found"; return 0; }
    sleep 0.1
  done
  return 1
}
click() { xdotool mousemove --window "$window" "$1" "$2" click "${3:-1}"; sleep 0.4; }
tray_menu() {  # a click on the icon in trayer opens its menu
  shown >"$work/before"
  xdotool mousemove --window "$(xdotool search --onlyvisible --class trayer | head -n 1)" 12 12 click 1
  menu=$(new_window)
}
dialog() {  # NAME KEYS...: the keys open a dialog; it is photographed and closed with Escape
  local name=$1
  shift
  [ $# -eq 0 ] || xdotool key --delay 80 "$@"
  photograph "$name" "$(new_window)"
  xdotool key Escape
  sleep 0.4
}
tabs=(165 230 310 383)

for lang in en pt; do
  export XDG_CONFIG_HOME=$work/config-$lang HOME=$work/home-$lang
  mkdir -p "$HOME" "$XDG_CONFIG_HOME/tonvex"
  printf '[Software\\Brevalto\\Tonvex]\n"version"="1.0"\n"preferred"="0"\n' >"$XDG_CONFIG_HOME/tonvex/user.reg"
  # The language comes from the desktop's locale, as on a user's desktop: the machine file names none.
  unset LANGUAGE LC_ALL LC_MESSAGES
  export LANG=$([ "$lang" = pt ] && echo pt_BR.UTF-8 || echo en_US.UTF-8)
  "$prefix/bin/tonvex" >"$work/program-$lang.log" 2>&1 &
  program_pid=$!
  started=$SECONDS
  window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Tonvex v1\.0$' | head -n 1)
  sleep 1
  click 350 15 && xdotool type --delay 60 "Rock" && xdotool key Return  # a preset worth looking at
  tab=0
  for name in monitor equalizer compression limiter; do
    click "${tabs[$tab]}" 67
    photograph "window_${name}_$lang" "$window"
    tab=$((tab + 1))
  done
  click "${tabs[0]}" 67
  # The tray menu, cut with the icon below it; its entries then open the dialogs (Down from the top:
  # Open, Devices, Configure, Updates, About).
  tray_menu
  place "$menu"
  away
  cut "tray_menu_$lang" "$X" "$Y" $((1024 - X)) $((768 - Y))
  xdotool key Escape
  for entry in devices:2 configure:3 update:4 about:5; do
    tray_menu
    shown >"$work/before"
    dialog "dialog_${entry%:*}_$lang" $(printf 'Down %.0s' $(seq "${entry#*:}")) Return
  done
  # The toolbar's context menu; its last entry is Customize.
  click 700 15 3
  shown >"$work/before"
  dialog "dialog_customize_$lang" Up Return
  # The warning is due 25 s after the start.
  shown >"$work/before"
  dialog "dialog_warning_$lang"
  echo "warning after $((SECONDS - started)) s"
  echo "window manager's actions: $(xprop -id "$window" _NET_WM_ALLOWED_ACTIONS | cut -d= -f2)"
  kill -TERM "$program_pid"
  wait "$program_pid" || true
  # Large icons with labels below and a limit that brings the Limiter's warning line: the window grows by
  # what the toolbar grows, so the line at the panels' bottom stays whole.
  printf '[Software\\Brevalto\\Tonvex]\n"version"="1.0"\n"preferred"="1"\n"limiter_left"="110"\n"limiter_right"="110"\n%s\n' \
    '[Software\Brevalto\Tonvex\Settings]' >"$XDG_CONFIG_HOME/tonvex/user.reg"
  printf '"ToolBarEx1"="1 0 57601 57603 0 32781 1046 0 32786 0 32795 57664"\n' >>"$XDG_CONFIG_HOME/tonvex/user.reg"
  "$prefix/bin/tonvex" >>"$work/program-$lang.log" 2>&1 &
  program_pid=$!
  window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Tonvex v1\.0$' | head -n 1)
  sleep 1
  place "$window"
  click "${tabs[3]}" $((67 + HEIGHT - 349))
  photograph "window_large_icons_$lang" "$window"
  kill -TERM "$program_pid"
  wait "$program_pid" || true
  program_pid=
  # A start whose instance lock cannot be made (the runtime folder is a file here) says so and ends.
  : >"$work/not-a-folder"
  XDG_RUNTIME_DIR=$work/not-a-folder "$prefix/bin/tonvex" >"$work/nolock-$lang.log" 2>&1 &
  program_pid=$!
  : >"$work/before"
  dialog "dialog_nolock_$lang"
  wait "$program_pid" || true
  program_pid=
done
